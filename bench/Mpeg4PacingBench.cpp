// MPEG-4 streams of 30 pictures a second, served framed by the emulated
// camera at 30 a second and shown through the MPEG-4 stream: with
// B-pictures from ffmpeg's encoder and from Xvid (unpacked and packed), and
// without B-pictures for comparison. Prints the planes sent, the pictures
// shown, their rate from the first to the last, and the longest gap.
//
//   bench_mpeg4_pacing [pictures]
#include "Common.h"
#include "HttpEmulator.h"
#include "stream/CHTTPMP4Strm.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Kind {
    const char* name;
    const char* encoder; // ffmpeg's options
    const char* file;    // its ending picks the format
};

const Kind kKinds[] = {
    {"mpeg4, no B-pictures", "-c:v mpeg4 -bf 0 -f m4v", "a.m4v"},
    {"mpeg4 -bf 2", "-c:v mpeg4 -bf 2 -f m4v", "b.m4v"},
    {"libxvid -bf 2", "-c:v libxvid -bf 2 -flags +global_header -bsf:v dump_extra -f m4v", "c.m4v"},
    {"libxvid -bf 2, packed", "-c:v libxvid -bf 2 -f avi", "d.avi"},
};

// Delivery times; the waiter wakes at each.
struct Shown {
    std::mutex mutex;
    std::condition_variable cond;
    std::vector<Clock::time_point> times;

    static void Callback(void* user, tagBITMAPINFOHEADER*, unsigned char*, unsigned long)
    {
        auto* self = static_cast<Shown*>(user);
        std::lock_guard<std::mutex> lock(self->mutex);
        self->times.push_back(Clock::now());
        self->cond.notify_all();
    }
};

bool Make(const std::string& dir, const Kind& kind, int pictures)
{
    const std::string cmd =
        "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=320x240:"
        "rate=30:duration=" +
        std::to_string(pictures / 30 + 1) + " -frames:v " + std::to_string(pictures) +
        " -g 30 -q:v 4 -pix_fmt yuv420p " + kind.encoder + " " + dir + "/" + kind.file;
    return std::system(cmd.c_str()) == 0;
}

void Print(const Kind& kind, Shown& shown)
{
    std::lock_guard<std::mutex> lock(shown.mutex);
    const std::vector<Clock::time_point>& t = shown.times;
    double gap = 0;
    for (size_t i = 1; i < t.size(); ++i)
        gap = std::max(gap, std::chrono::duration<double>(t[i] - t[i - 1]).count());
    const double span = t.size() > 1 ? std::chrono::duration<double>(t.back() - t[0]).count() : 0;
    std::printf("%-24s %4zu shown %7.2f pictures/s %7.1f ms longest gap\n", kind.name, t.size(),
                span > 0 ? double(t.size() - 1) / span : 0.0, 1000 * gap);
}

} // namespace

int main(int argc, char** argv)
{
    const int pictures = argc > 1 ? std::max(60, std::atoi(argv[1])) : 300;
    SetDiagSink([](DiagStream, const char*) {});
    std::string routes;
    for (const Kind& kind : kKinds)
        routes += std::string(routes.empty() ? "" : ",") + "\"/" + kind.file +
                  R"(":{"at_end":"stall","body":{"generator":"media_packets:acvs","args":{)" +
                  R"("codec":"mpeg4","fps":30,"end_magic":true,"file":")" + kind.file + "\"}}}";
    testsupport::HttpEmulator cam(R"({"routes":{)" + routes + "}}");
    for (const Kind& kind : kKinds)
        if (!Make(cam.Dir(), kind, pictures)) {
            std::fprintf(stderr, "ffmpeg could not make %s\n", kind.name);
            return 1;
        }
    std::printf("320x240 MPEG-4, %d pictures at 30 a second from the camera, all at once\n",
                pictures);
    std::vector<Shown> shown(std::size(kKinds));
    std::vector<CHTTPMP4Strm*> streams;
    for (size_t i = 0; i < shown.size(); ++i) {
        auto* s = new CHTTPMP4Strm(1124, false, 0);
        if (!s->Create())
            return 1;
        s->SetCallbackRenderMode(true, &Shown::Callback, &shown[i]);
        if (!s->InitDecoder(false))
            return 1;
        s->Connect("127.0.0.1", unsigned(cam.Port()), (std::string("/") + kKinds[i].file).c_str(),
                   false);
        streams.push_back(s);
    }
    // At 30 a second all are shown after pictures / 30 s; a slower pacing
    // is cut off at three times that. The decoder holds its last picture
    // back, and libxvid keeps its last B-pictures.
    const auto end = Clock::now() + std::chrono::milliseconds(100 * pictures);
    for (size_t i = 0; i < shown.size(); ++i) {
        {
            std::unique_lock<std::mutex> lock(shown[i].mutex);
            shown[i].cond.wait_until(lock, end,
                                     [&] { return int(shown[i].times.size()) >= pictures - 3; });
        }
        streams[i]->UninitDecoder();
        streams[i]->Destroy();
        Print(kKinds[i], shown[i]);
    }
    cam.Stop();
    return 0;
}
