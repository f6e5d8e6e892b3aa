// Helpers of the codec tests: a scratch folder, the ffmpeg command line as
// the reference, and byte and sample conversions.
#ifndef RILO_CODEC_TEST_UTIL_H
#define RILO_CODEC_TEST_UTIL_H

#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace codectest {

using Bytes = std::vector<uint8_t>;

// A folder of its own for one test, removed with everything in it.
class TempDir {
public:
    TempDir()
    {
        char templ[] = "/tmp/rilo-codec-XXXXXX";
        if (mkdtemp(templ))
            m_path = templ;
    }
    ~TempDir()
    {
        if (!m_path.empty())
            (void)std::system(("rm -rf '" + m_path + "'").c_str());
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string Path(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Runs ffmpeg with the given arguments, quietly; false when it fails or is
// missing (scripts/setup installs it).
inline bool FFmpeg(const std::string& args)
{
    const std::string cmd = "ffmpeg -nostdin -hide_banner -loglevel error -y " + args;
    const int rc = std::system(cmd.c_str());
    if (rc != 0)
        ADD_FAILURE() << "failed (" << rc << "): " << cmd;
    return rc == 0;
}

inline Bytes ReadBytes(const std::string& path)
{
    const std::string s = testsupport::ReadFile(path);
    return Bytes(s.begin(), s.end());
}

inline void WriteBytes(const std::string& path, const Bytes& data)
{
    testsupport::WriteFile(path, std::string(data.begin(), data.end()), "codec test");
}

inline std::vector<int16_t> ToSamples(const uint8_t* data, size_t bytes)
{
    std::vector<int16_t> out(bytes / 2);
    if (!out.empty())
        std::memcpy(out.data(), data, out.size() * 2);
    return out;
}

inline std::vector<int16_t> ToSamples(const Bytes& data)
{
    return ToSamples(data.data(), data.size());
}

inline uint32_t LE32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void PutLE16(Bytes& out, unsigned v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

inline void PutLE32(Bytes& out, uint32_t v)
{
    PutLE16(out, v & 0xFFFF);
    PutLE16(out, v >> 16);
}

// PSNR over R, G and B of a picture of ours against ffmpeg's RGBA decode
// (top row first). order gives the byte offsets of R, G, B in a pixel of
// ours; bottomUp, that our rows run from the bottom.
inline double PsnrRgb(const uint8_t* ours, int bytesPerPixel, const int order[3], bool bottomUp,
                      const uint8_t* refRgba, int width, int height)
{
    double se = 0;
    for (int y = 0; y < height; ++y) {
        const int row = bottomUp ? height - 1 - y : y;
        for (int x = 0; x < width; ++x) {
            const uint8_t* o = ours + (size_t(row) * width + x) * bytesPerPixel;
            const uint8_t* r = refRgba + (size_t(y) * width + x) * 4;
            for (int c = 0; c < 3; ++c)
                se += (o[order[c]] - r[c]) * double(o[order[c]] - r[c]);
        }
    }
    const double mse = se / (3.0 * width * height);
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

// Index of the first differing sample, or -1 when both are equal.
inline long FirstDifference(const std::vector<int16_t>& a, const std::vector<int16_t>& b)
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i)
        if (a[i] != b[i])
            return long(i);
    return a.size() == b.size() ? -1 : long(n);
}

} // namespace codectest

#endif
