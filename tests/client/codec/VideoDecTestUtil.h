// Helpers of the video decode thread tests: elementary streams made by
// ffmpeg with its own RGBA decode, cut into units as a camera's framed
// stream carries them, queued through a transfer queue to a decode thread,
// and the pictures it delivers.
#ifndef RILO_VIDEO_DEC_TEST_UTIL_H
#define RILO_VIDEO_DEC_TEST_UTIL_H

#include "CodecTestUtil.h"
#include "codec/CH264VideoDec.h"
#include "codec/CMPG4VideoDec.h"
#include "VideoUnits.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace vdtest {

using codectest::Bytes;
using videounits::Unit;
using videounits::UnitFeeder;

// A stream for ffmpeg to make: codec "mpeg4", "xvid" (MPEG-4 by libxvid)
// or "h264", and for H.264 the profile; more encoder options (after the
// defaults, so they win), the picture source and the file format may be
// given.
struct StreamSpec {
    std::string codec;
    int width;
    int height;
    int rate;
    int frames;
    int gop;
    std::string options;
    std::string source = "testsrc2";
    std::string filters = ""; // applied to the source, each led by a comma
    // "" the elementary stream; "avi" keeps the encoder's packets apart.
    std::string format = "";
    // Pictures the encoder keeps at its end (libxvid does not give back the
    // B-pictures it holds).
    int lost = 0;
};

struct Frame {
    int width = 0;
    int height = 0;
    Bytes rgba;
};

// An elementary stream and ffmpeg's decode of each of its pictures.
struct Stream {
    Bytes es;
    std::vector<Frame> frames;
};

inline std::string EncoderOptions(const StreamSpec& s)
{
    const std::string common = " -bf 0 -g " + std::to_string(s.gop) + " -pix_fmt yuv420p ";
    const std::string format =
        " -f " + (s.format.empty() ? s.codec == "h264" ? "h264" : "m4v" : s.format);
    if (s.codec == "mpeg4")
        return common + "-c:v mpeg4 -q:v 4 " + s.options + format;
    if (s.codec == "xvid")
        return common + "-c:v libxvid -threads 1 -q:v 4 " + s.options + format;
    return common + "-c:v libx264 -threads 1 -x264-params repeat-headers=1 " + s.options + format;
}

// Makes the streams in one ffmpeg run and decodes them in another.
inline std::vector<Stream> MakeStreams(const std::vector<StreamSpec>& specs)
{
    codectest::TempDir dir;
    std::string make, decode;
    for (size_t i = 0; i < specs.size(); ++i) {
        const StreamSpec& s = specs[i];
        const std::string es = dir.Path("s" + std::to_string(i) + ".es");
        // Finite sources: ffmpeg 5.1 may go on reading an endless one after
        // its output has all its frames.
        const std::string seconds = std::to_string(double(s.frames + 1) / s.rate);
        make += " -f lavfi -i \"" + s.source + "=size=" + std::to_string(s.width) + "x" +
                std::to_string(s.height) + ":rate=" + std::to_string(s.rate) +
                ":duration=" + seconds + s.filters + "\"";
        decode += " -i " + es;
    }
    for (size_t i = 0; i < specs.size(); ++i) {
        const std::string n = std::to_string(i);
        make += " -map " + n + ":v -frames:v " + std::to_string(specs[i].frames) +
                EncoderOptions(specs[i]) + " " + dir.Path("s" + n + ".es");
        decode += " -map " + n + ":v -f rawvideo -pix_fmt rgba " + dir.Path("s" + n + ".rgba");
    }
    std::vector<Stream> out(specs.size());
    if (!codectest::FFmpeg(make) || !codectest::FFmpeg(decode))
        return out;
    for (size_t i = 0; i < specs.size(); ++i) {
        const StreamSpec& s = specs[i];
        out[i].es = codectest::ReadBytes(dir.Path("s" + std::to_string(i) + ".es"));
        const Bytes rgba = codectest::ReadBytes(dir.Path("s" + std::to_string(i) + ".rgba"));
        const size_t frameBytes = size_t(s.width) * s.height * 4;
        for (size_t at = 0; at + frameBytes <= rgba.size(); at += frameBytes)
            out[i].frames.push_back(
                Frame{s.width, s.height,
                      Bytes(rgba.begin() + long(at), rgba.begin() + long(at + frameBytes))});
        EXPECT_EQ(size_t(s.frames - s.lost), out[i].frames.size()) << "stream " << i;
    }
    return out;
}

// Streams fed one after the other: their units, and all their pictures.
struct Feed {
    std::vector<Unit> units;
    std::vector<Frame> frames;
};

inline Feed Concatenate(const std::string& codec, const std::vector<Stream>& streams)
{
    Feed feed;
    Bytes lastConfig;
    for (const Stream& s : streams) {
        std::vector<Unit> units =
            videounits::CutUnits(codec, s.es, int(feed.frames.size()), &lastConfig);
        feed.units.insert(feed.units.end(), units.begin(), units.end());
        feed.frames.insert(feed.frames.end(), s.frames.begin(), s.frames.end());
    }
    return feed;
}

struct Delivery {
    int unit;
    tagBITMAPINFOHEADER header;
    Bytes pixels; // biSizeImage bytes
    unsigned long bytes;
    double time; // monotonic seconds
};

// The render callback's record. After Close, any call counts as late.
class DeliveryLog {
public:
    explicit DeliveryLog(const UnitFeeder* feeder = nullptr, bool keepPixels = true)
        : m_feeder(feeder), m_keepPixels(keepPixels)
    {
    }

    static void Callback(void* user, tagBITMAPINFOHEADER* header, unsigned char* pixels,
                         unsigned long bytes)
    {
        static_cast<DeliveryLog*>(user)->Add(header, pixels, bytes);
    }

    bool WaitFor(size_t count, double seconds)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cond.wait_for(lock, std::chrono::duration<double>(seconds),
                               [&] { return m_log.size() >= count; });
    }
    // Waits for a delivery made for unit or a later one.
    bool WaitForUnit(int unit, double seconds)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cond.wait_for(lock, std::chrono::duration<double>(seconds),
                               [&] { return !m_log.empty() && m_log.back().unit >= unit; });
    }
    std::vector<Delivery> Take()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return std::move(m_log);
    }
    size_t Count()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_log.size();
    }
    // Every delivery also writes the count so far into this file, which
    // holds an emulated camera back. Set before the deliveries begin.
    void CountInto(const std::string& path) { m_countFile = path; }
    void Close() { m_closed = true; }
    void Open() { m_closed = false; }
    int Late() const { return m_late; }

private:
    void Add(tagBITMAPINFOHEADER* header, unsigned char* pixels, unsigned long bytes)
    {
        if (m_closed)
            ++m_late;
        Delivery d{
            m_feeder ? m_feeder->Current() : -1, *header, {}, bytes, testsupport::MonotonicNow()};
        if (m_keepPixels && header->biSizeImage <= bytes)
            d.pixels.assign(pixels, pixels + header->biSizeImage);
        size_t count;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_log.push_back(std::move(d));
            count = m_log.size();
        }
        m_cond.notify_all();
        if (!m_countFile.empty())
            WriteCount(count);
    }
    void WriteCount(size_t count)
    {
        try {
            testsupport::WriteFile(m_countFile, std::to_string(count), "DeliveryLog");
        } catch (const std::exception& e) {
            ADD_FAILURE() << e.what();
        }
    }

    const UnitFeeder* m_feeder;
    const bool m_keepPixels;
    std::mutex m_mutex;
    std::condition_variable m_cond;
    std::vector<Delivery> m_log;
    std::atomic<bool> m_closed{false};
    std::atomic<int> m_late{0};
    std::string m_countFile;
};

// Each stream of specs fed on its own.
inline std::vector<Feed> MakeFeeds(const std::vector<StreamSpec>& specs)
{
    const std::vector<Stream> streams = MakeStreams(specs);
    std::vector<Feed> feeds;
    for (size_t i = 0; i < specs.size(); ++i)
        feeds.push_back(Concatenate(specs[i].codec, {streams[i]}));
    return feeds;
}

// A decoder of the codec, initialised as a stream does, fed by feeder,
// delivering to log, started.
inline std::unique_ptr<CVideoDecThread> StartDecoder(const std::string& codec, UnitFeeder& feeder,
                                                     DeliveryLog& log, bool pacing)
{
    std::unique_ptr<CVideoDecThread> dec;
    if (codec == "mpeg4") {
        auto* p = new CMPG4VideoDec;
        p->Initialize(1280);
        dec.reset(p);
    } else {
        auto* p = new CH264VideoDec;
        p->Initialize(1280);
        dec.reset(p);
    }
    dec->SetFrameSource(&UnitFeeder::Source, &feeder);
    dec->SetPacing(pacing);
    dec->SetRenderCallback(true, &DeliveryLog::Callback, &log);
    EXPECT_EQ(0, dec->StartDecodingProc());
    return dec;
}

// The stream's size as the decoder reports it; false while unknown.
inline bool StreamSize(CVideoDecThread& dec, int* width, int* height)
{
    if (auto* m = dynamic_cast<CMPG4VideoDec*>(&dec)) {
        tagMPEG4StrmConfig c{};
        const bool known = m->GetStrmInfo(&c);
        *width = int(c.dwWidth);
        *height = int(c.dwHeight);
        return known;
    }
    CH264DecInitParam p{};
    const bool known = static_cast<CH264VideoDec&>(dec).GetStrmInfo(&p);
    *width = p.nWidth;
    *height = p.nHeight;
    return known;
}

// The byte count is the output buffer's capacity: the largest picture's
// size so far.
inline void ExpectCapacity(const std::vector<Delivery>& log)
{
    unsigned long capacity = 0;
    for (const Delivery& d : log) {
        capacity = std::max(capacity, (unsigned long)d.header.biSizeImage);
        ASSERT_EQ(capacity, d.bytes);
    }
}

// A delivery is ffmpeg's decode of its unit's picture, with a descriptor
// that says so.
inline void ExpectPicture(const Delivery& d, const Feed& feed)
{
    ASSERT_GE(d.unit, 0);
    const int index = feed.units[size_t(d.unit)].frame;
    ASSERT_GE(index, 0) << "unit " << d.unit << " is a configuration";
    const Frame& f = feed.frames[size_t(index)];
    SCOPED_TRACE("picture " + std::to_string(index));
    EXPECT_EQ(40u, d.header.biSize);
    EXPECT_EQ(f.width, d.header.biWidth);
    EXPECT_EQ(-f.height, d.header.biHeight);
    EXPECT_EQ(1, d.header.biPlanes);
    EXPECT_EQ(32, d.header.biBitCount);
    EXPECT_EQ(0u, d.header.biCompression);
    ASSERT_EQ(f.rgba.size(), d.header.biSizeImage);
    EXPECT_GE(d.bytes, d.header.biSizeImage);
    ASSERT_EQ(f.rgba.size(), d.pixels.size());
    const int rgb[3] = {0, 1, 2};
    EXPECT_GE(codectest::PsnrRgb(d.pixels.data(), 4, rgb, false, f.rgba.data(), f.width, f.height),
              40.0);
}

} // namespace vdtest

#endif
