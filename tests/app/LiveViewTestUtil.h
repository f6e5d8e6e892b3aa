#ifndef RILO_TESTS_APP_LIVEVIEWTESTUTIL_H
#define RILO_TESTS_APP_LIVEVIEWTESTUTIL_H

// The live picture's test picture: blocks of plain colours, 4 across and 3
// down, made into a JPEG picture by ffmpeg, and the emulated camera's MJPEG
// endpoint serving it.

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

namespace liveviewtest {

constexpr int kBlocksAcross = 4;
constexpr int kBlocksDown = 3;

using Colour = std::array<int, 3>;

inline Colour BlockColour(int col, int row)
{
    static const Colour colours[kBlocksDown][kBlocksAcross] = {
        {{{230, 30, 30}}, {{30, 200, 40}}, {{40, 60, 220}}, {{240, 220, 40}}},
        {{{30, 210, 220}}, {{210, 40, 200}}, {{250, 250, 250}}, {{20, 20, 20}}},
        {{{240, 140, 20}}, {{128, 128, 128}}, {{120, 60, 20}}, {{150, 200, 250}}},
    };
    return colours[row][col];
}

// The block the point (x, y) of a width x height picture falls into.
inline Colour ColourAt(int x, int y, int width, int height)
{
    return BlockColour(x * kBlocksAcross / width, y * kBlocksDown / height);
}

inline bool Near(const Colour& a, const uint8_t* rgb, int tolerance)
{
    for (int k = 0; k < 3; ++k)
        if (std::abs(a[size_t(k)] - int(rgb[k])) > tolerance)
            return false;
    return true;
}

// Writes dir/name.jpg, a width x height block picture (sides multiples of
// 16 x the blocks, so no block shares a coding unit with another).
inline bool MakeBlockPicture(const std::string& dir, const std::string& name, int width, int height)
{
    std::string rgb(size_t(width) * size_t(height) * 3, '\0');
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Colour c = ColourAt(x, y, width, height);
            for (int k = 0; k < 3; ++k)
                rgb[(size_t(y) * size_t(width) + size_t(x)) * 3 + size_t(k)] = char(c[size_t(k)]);
        }
    const std::string raw = dir + "/" + name + ".rgb";
    std::ofstream(raw, std::ios::binary) << rgb;
    const std::string cmd = "ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt rgb24 -s " +
                            std::to_string(width) + "x" + std::to_string(height) + " -i '" + raw +
                            "' -frames:v 1 -pix_fmt yuvj420p -q:v 2 '" + dir + "/" + name + ".jpg'";
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The emulator's configuration: the picture at fps on the MJPEG endpoint of
// profile 3, Basic authorization as admin / secret; extra route keys first.
inline std::string CameraConfig(const std::string& jpeg, int fps, const std::string& routeKeys = "")
{
    return R"({"auth":"basic","user":"admin","password":"secret","routes":{"/video/mjpg.cgi":{)" +
           routeKeys + R"("body":{"multipart":{"fps":)" + std::to_string(fps) +
           R"(,"parts":[{"file":")" + jpeg + R"("}]}}}}})";
}

} // namespace liveviewtest

#endif
