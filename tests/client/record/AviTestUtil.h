// Helpers of the recording tests: a private folder, media made by ffmpeg,
// and the views of a recording that ffprobe, ffmpeg, mediainfo and
// GStreamer take.
#ifndef RILO_TESTS_AVITESTUTIL_H
#define RILO_TESTS_AVITESTUTIL_H

#include "AviReader.h"
#include "ChildProcess.h"
#include "record/AVIDefs.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace avitest {

class TempDir {
public:
    TempDir()
    {
        char tmpl[] = "/tmp/rilo-avi-XXXXXX";
        if (!mkdtemp(tmpl))
            throw std::runtime_error("mkdtemp");
        m_path = tmpl;
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string Path(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Runs a shell command; what it printed (standard output and error) goes to
// *out. Returns its exit status, -1 when it did not end normally.
inline int Run(const std::string& cmd, std::string* out = nullptr)
{
    FILE* p = popen((cmd + " 2>&1").c_str(), "r");
    if (!p)
        return -1;
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        text.append(buf, n);
    int status = pclose(p);
    if (out)
        *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline int Ffmpeg(const std::string& args, std::string* out = nullptr)
{
    return Run("ffmpeg -nostdin -v error -y " + args, out);
}

inline AviFile ReadAvi(const std::string& path)
{
    return ParseAvi(testsupport::ReadFile(path));
}

// mediainfo's view: the values of an --Inform template, such as
// "Video;%FrameCount%".
inline std::string MediaInfo(const std::string& file, const std::string& inform)
{
    std::string out;
    Run("mediainfo '--Inform=" + inform + "' '" + file + "'", &out);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

// What ffprobe reads from a recording: each stream's fields (frames counted
// by decoding) and the file's duration. One run: ffmpeg is slow to start.
struct Probe {
    std::vector<std::map<std::string, std::string>> streams;
    double duration = -1;

    std::map<std::string, std::string> Stream(const std::string& codecType) const
    {
        for (const auto& s : streams)
            if (s.count("codec_type") && s.at("codec_type") == codecType)
                return s;
        return {};
    }
};

inline Probe ProbeFile(const std::string& file)
{
    std::string out;
    Run("ffprobe -v error -count_frames -show_entries stream=codec_type,codec_name,width,height,"
        "r_frame_rate,nb_read_frames,duration,sample_rate,channels:format=duration -of compact '" +
            file + "'",
        &out);
    Probe p;
    std::istringstream lines(out);
    std::string line, field;
    while (std::getline(lines, line)) {
        std::map<std::string, std::string> kv;
        std::istringstream fields(line);
        std::getline(fields, field, '|');
        const std::string section = field;
        while (std::getline(fields, field, '|'))
            if (field.find('=') != std::string::npos)
                kv.emplace(field.substr(0, field.find('=')), field.substr(field.find('=') + 1));
        if (section == "stream")
            p.streams.push_back(kv);
        else if (section == "format" && kv.count("duration"))
            p.duration = std::atof(kv["duration"].c_str());
    }
    // Every recording a test reads ends where its RIFF chunk says.
    EXPECT_EQ(MediaInfo(file, "General;%IsTruncated%"), "") << file << " reads as cut short";
    return p;
}

// Decodes the whole file as ffmpeg does: what it says (nothing for a sound
// file), and with pcm the audio as 16-bit mono PCM.
inline std::string DecodeErrors(const std::string& file, const std::string& dir,
                                std::string* pcm = nullptr)
{
    const std::string raw = dir + "/decoded.raw";
    std::string out;
    int rc = Ffmpeg("-i '" + file + "' -map 0:v -f null -" +
                        (pcm ? " -map 0:a -f s16le -ac 1 '" + raw + "'" : ""),
                    &out);
    if (pcm)
        *pcm = testsupport::ReadFile(raw);
    return rc == 0 ? out : "exit " + std::to_string(rc) + ": " + out;
}

// GStreamer's AVI demuxer: for each picture it gives out of the first
// video stream, whether it is one a decoder can start at. Empty when the
// pipeline fails.
inline std::vector<bool> GstPictures(const std::string& file)
{
    std::string out;
    if (Run("gst-launch-1.0 -v filesrc location='" + file +
                "' ! avidemux name=d d.video_0 ! fakesink silent=false",
            &out) != 0)
        return {};
    std::vector<bool> keys;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line))
        if (line.find("last-message = chain") != std::string::npos)
            keys.push_back(line.find("delta-unit") == std::string::npos);
    return keys;
}

// The pictures of a recording as ffmpeg decodes them, in 8-bit grey: all
// of them (at the file's frame rate), or with seek >= 0 the first one
// from that time on, after seeking to it.
inline std::string GreyPictures(const std::string& file, const std::string& dir, double seek = -1)
{
    const std::string raw = dir + "/grey.raw";
    std::remove(raw.c_str());
    std::string at = seek >= 0 ? "-ss " + std::to_string(seek) + " " : "";
    Ffmpeg(at + "-i '" + file + "' -map 0:v " + (seek >= 0 ? "-frames:v 1 " : "") +
           "-f rawvideo -pix_fmt gray '" + raw + "'");
    return testsupport::ReadFile(raw);
}

// Peak signal to noise of two pictures of the same size, in dB; 99 for
// equal ones, 0 when the sizes differ.
inline double Psnr(const std::string& a, const std::string& b)
{
    if (a.size() != b.size() || a.empty())
        return 0;
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        const double d = double(uint8_t(a[i])) - double(uint8_t(b[i]));
        sum += d * d;
    }
    return sum == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * double(a.size()) / sum);
}

inline std::string DecodeAudio(const std::string& file, const std::string& dir)
{
    Ffmpeg("-i '" + file + "' -map 0:a -f s16le -ac 1 '" + dir + "/audio.raw'");
    return testsupport::ReadFile(dir + "/audio.raw");
}

// count JPEG pictures of a moving test pattern.
inline std::vector<std::string> MakeJpegFrames(const TempDir& dir, int count, int w, int h)
{
    if (Ffmpeg("-f lavfi -i testsrc2=size=" + std::to_string(w) + "x" + std::to_string(h) +
               ":rate=30:duration=" + std::to_string(count / 30 + 1) + " -frames:v " +
               std::to_string(count) + " -q:v 6 '" + dir.Path("f%04d.jpg") + "'") != 0)
        throw std::runtime_error("ffmpeg could not make JPEG frames");
    std::vector<std::string> frames;
    for (int i = 1; i <= count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "f%04d.jpg", i);
        frames.push_back(testsupport::ReadFile(dir.Path(name)));
    }
    return frames;
}

// A tone of seconds, mono at 8000 Hz, in file with the given output options.
inline std::string MakeTone(double seconds, const std::string& options, const std::string& file)
{
    if (Ffmpeg("-f lavfi -i sine=frequency=440:sample_rate=8000 -t " + std::to_string(seconds) +
               " -ac 1 " + options + " '" + file + "'") != 0)
        throw std::runtime_error("ffmpeg could not make " + file);
    return testsupport::ReadFile(file);
}

// A tone as Microsoft ADPCM blocks (mono, 8000 Hz), and the WAV file they came from.
inline std::vector<std::string> MakeMsAdpcmBlocks(const TempDir& dir, double seconds, int block,
                                                  std::string* wavPath)
{
    *wavPath = dir.Path("tone.wav");
    const std::string wav =
        MakeTone(seconds, "-c:a adpcm_ms -block_size " + std::to_string(block), *wavPath);
    size_t pos = 12;
    while (pos + 8 <= wav.size() && wav.compare(pos, 4, "data") != 0)
        pos += 8 + U32At(wav, pos + 4) + (U32At(wav, pos + 4) & 1);
    std::vector<std::string> blocks;
    const size_t end = std::min(wav.size(), pos + 8 + U32At(wav, pos + 4));
    for (size_t at = pos + 8; at + size_t(block) <= end; at += size_t(block))
        blocks.push_back(wav.substr(at, size_t(block)));
    return blocks;
}

inline WAVEFORMATEX PcmFormat()
{
    return WAVEFORMATEX{1, 1, 8000, 16000, 2, 16, 0};
}

// Mono, 8000 Hz, blocks of block bytes: (block - 7) * 2 + 2 samples each.
inline WAVEFORMATEX MsAdpcmFormat(uint16_t block)
{
    uint32_t samples = uint32_t(block - 7) * 2 + 2;
    return WAVEFORMATEX{2, 1, 8000, uint32_t(8000u * block / samples), block, 4, 32};
}

inline const unsigned char* Bytes(const std::string& s)
{
    return reinterpret_cast<const unsigned char*>(s.data());
}

} // namespace avitest

#endif
