// The MJPEG stream against the ffmpeg command line on the same 1280x720
// pictures, in alternating rounds:
//   (a) the stream from the emulated camera (unpaced, loopback) with a
//       counting callback;
//   (b) ffmpeg -threads 1 -f mpjpeg -i http://... -pix_fmt rgba -f null -
//   (c) ffmpeg -threads 1 -f mjpeg -i pictures.mjpeg -pix_fmt rgba -f null -
//   (d) libavcodec decoding and RGBA conversion of the pictures from memory.
// Prints pictures per second and CPU time per picture of each, and the ratios.
//
//   bench_mjpeg_stream [pictures per run] [rounds]
#include "Common.h"
#include "HttpEmulator.h"
#include "stream/CHTTPMJPStrm.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

const int kWidth = 1280, kHeight = 720, kDistinct = 30;
// In-process runs are timed after this many pictures: the steady state.
const int kWarmUp = kDistinct;

struct Figures {
    double wall = 0; // seconds
    double cpu = 0;  // seconds, user and system
    int pictures = 0;
    double Rate() const { return pictures / wall; }
    double CpuMs() const { return 1000 * cpu / pictures; }
};

double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double CpuSeconds(const rusage& r)
{
    return double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
           (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

double SelfCpu()
{
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return CpuSeconds(r);
}

// Runs a program to its end: wall time and its own CPU time.
Figures RunProgram(const std::vector<std::string>& args, int pictures)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    Figures f;
    f.pictures = pictures;
    const double start = Now();
    pid_t pid;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        throw std::runtime_error("cannot start " + args[0]);
    int status = 0;
    rusage ru{};
    if (wait4(pid, &status, 0, &ru) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(args[0] + " failed");
    f.wall = Now() - start;
    f.cpu = CpuSeconds(ru);
    return f;
}

// kDistinct pictures, and pictures.mjpeg holding count of them in turn.
std::vector<std::string> MakePictures(const std::string& dir, int count)
{
    RunProgram({"ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                "testsrc2=size=1280x720:rate=30", "-frames:v", std::to_string(kDistinct), "-q:v",
                "3", "-pix_fmt", "yuvj420p", dir + "/p%02d.jpg"},
               0);
    std::vector<std::string> jpegs;
    for (int i = 1; i <= kDistinct; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "/p%02d.jpg", i);
        std::ifstream in(dir + name, std::ios::binary);
        jpegs.emplace_back(std::string(std::istreambuf_iterator<char>(in), {}));
    }
    std::ofstream all(dir + "/pictures.mjpeg", std::ios::binary);
    for (int i = 0; i < count; ++i)
        all << jpegs[size_t(i % kDistinct)];
    return jpegs;
}

// (a): from the picture after the warm-up to the last one counted.
struct Counter {
    std::mutex mu;
    std::condition_variable cv;
    int target = 0;
    std::atomic<int> seen{0};
    double startWall = 0, startCpu = 0, endWall = 0, endCpu = 0;

    static void OnPicture(void* user, BITMAPINFOHEADER*, unsigned char*, unsigned long)
    {
        auto* c = static_cast<Counter*>(user);
        const int n = ++c->seen;
        if (n == kWarmUp) {
            c->startWall = Now();
            c->startCpu = SelfCpu();
        }
        if (n != c->target)
            return;
        std::lock_guard<std::mutex> g(c->mu);
        c->endWall = Now();
        c->endCpu = SelfCpu();
        c->cv.notify_all();
    }
};

Figures RunStream(int port, int pictures)
{
    Counter counter;
    counter.target = kWarmUp + pictures;
    auto* s = new CHTTPMJPStrm(1124, false, 0);
    if (!s->Create())
        throw std::runtime_error("stream worker did not start");
    s->SetCallbackRenderMode(true, Counter::OnPicture, &counter);
    s->InitDecoder(false);
    s->Connect("127.0.0.1", unsigned(port), "/video/mjpg.cgi", false);
    {
        std::unique_lock<std::mutex> lock(counter.mu);
        if (!counter.cv.wait_for(lock, std::chrono::seconds(300),
                                 [&] { return counter.endWall != 0; }))
            throw std::runtime_error("the stream did not deliver");
    }
    s->UninitDecoder();
    s->Destroy();
    Figures f;
    f.pictures = pictures;
    f.wall = counter.endWall - counter.startWall;
    f.cpu = counter.endCpu - counter.startCpu;
    return f;
}

// (d): decoding and converting from memory, each picture in a padded buffer.
Figures RunLimit(const std::vector<std::string>& jpegs, int pictures)
{
    std::vector<std::vector<uint8_t>> padded;
    for (const std::string& j : jpegs) {
        padded.emplace_back(j.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        std::copy(j.begin(), j.end(), padded.back().begin());
    }
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->thread_count = 1;
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    if (!ctx || !pkt || !frame || avcodec_open2(ctx, codec, nullptr) < 0)
        throw std::runtime_error("no MJPEG decoder");
    SwsContext* sws = nullptr;
    std::vector<uint8_t> rgba(size_t(kWidth) * kHeight * 4 + 1024);
    double startWall = 0, startCpu = 0;
    for (int i = 0; i < kWarmUp + pictures; ++i) {
        if (i == kWarmUp) {
            startWall = Now();
            startCpu = SelfCpu();
        }
        std::vector<uint8_t>& p = padded[size_t(i % kDistinct)];
        pkt->data = p.data();
        pkt->size = int(p.size() - AV_INPUT_BUFFER_PADDING_SIZE);
        if (avcodec_send_packet(ctx, pkt) < 0 || avcodec_receive_frame(ctx, frame) < 0)
            throw std::runtime_error("decode failed");
        if (!sws) {
            // Same conversion as the stream's: full-range input, bicubic, same size.
            sws = sws_getContext(frame->width, frame->height, AV_PIX_FMT_YUV420P, frame->width,
                                 frame->height, AV_PIX_FMT_RGBA, SWS_BICUBIC, nullptr, nullptr,
                                 nullptr);
            sws_setColorspaceDetails(sws, sws_getCoefficients(SWS_CS_DEFAULT), 1,
                                     sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
        }
        uint8_t* planes[4] = {rgba.data(), nullptr, nullptr, nullptr};
        int strides[4] = {frame->width * 4, 0, 0, 0};
        sws_scale(sws, frame->data, frame->linesize, 0, frame->height, planes, strides);
        av_frame_unref(frame);
    }
    Figures f;
    f.pictures = pictures;
    f.wall = Now() - startWall;
    f.cpu = SelfCpu() - startCpu;
    sws_freeContext(sws);
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&ctx);
    return f;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void Print(const char* name, const Figures& f)
{
    std::printf("  %s %7.1f pictures/s  %6.3f ms CPU/picture\n", name, f.Rate(), f.CpuMs());
}

} // namespace

int main(int argc, char** argv)
{
    const int pictures = argc > 1 ? std::max(60, std::atoi(argv[1])) : 600;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    SetDiagSink([](DiagStream, const char*) {});
    char tmpl[] = "/tmp/rilo-bench-mjpeg-XXXXXX";
    if (!mkdtemp(tmpl))
        return 1;
    const std::string dir = tmpl;
    int rc = 0;
    try {
        const std::vector<std::string> jpegs = MakePictures(dir, pictures);
        std::string parts;
        for (int i = 1; i <= kDistinct; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "p%02d.jpg", i);
            parts +=
                std::string(parts.empty() ? "" : ",") + "{\"file\":\"" + dir + "/" + name + "\"}";
        }
        testsupport::HttpEmulator cam(R"({"body":{"multipart":{"fps":0,"parts":[)" + parts +
                                      "]}}}");
        const std::string url =
            "http://127.0.0.1:" + std::to_string(cam.Port()) + "/video/mjpg.cgi";
        const std::string n = std::to_string(pictures);
        std::vector<double> rate[4], cpu[4];
        std::printf("%d pictures of %dx%d per run, %d rounds\n", pictures, kWidth, kHeight, rounds);
        for (int r = 1; r <= rounds; ++r) {
            const Figures f[4] = {
                RunStream(cam.Port(), pictures),
                RunProgram({"ffmpeg", "-nostdin", "-v", "error", "-threads", "1", "-f", "mpjpeg",
                            "-i", url, "-frames:v", n, "-pix_fmt", "rgba", "-f", "null", "-"},
                           pictures),
                RunProgram({"ffmpeg", "-nostdin", "-v", "error", "-threads", "1", "-f", "mjpeg",
                            "-i", dir + "/pictures.mjpeg", "-pix_fmt", "rgba", "-f", "null", "-"},
                           pictures),
                RunLimit(jpegs, pictures),
            };
            std::printf("round %d\n", r);
            const char* names[4] = {"(a) stream      ", "(b) ffmpeg http ", "(c) ffmpeg file ",
                                    "(d) limit       "};
            for (int i = 0; i < 4; ++i) {
                Print(names[i], f[i]);
                rate[i].push_back(f[i].Rate());
                cpu[i].push_back(f[i].CpuMs());
            }
        }
        std::printf("medians: (a) %.1f/s %.3f ms  (b) %.1f/s %.3f ms  (c) %.1f/s %.3f ms  (d) "
                    "%.1f/s %.3f ms\n",
                    Median(rate[0]), Median(cpu[0]), Median(rate[1]), Median(cpu[1]),
                    Median(rate[2]), Median(cpu[2]), Median(rate[3]), Median(cpu[3]));
        std::printf("rate (a)/(b) = %.2f (goal >= 1.2)\n", Median(rate[0]) / Median(rate[1]));
        std::printf("CPU per picture (a)/(c) = %.2f (goal <= 0.9)\n",
                    Median(cpu[0]) / Median(cpu[2]));
        std::printf("CPU per picture (a)/(d) = %.2f (goal <= 1.1)\n",
                    Median(cpu[0]) / Median(cpu[3]));
        cam.Stop();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_mjpeg_stream: %s\n", e.what());
        rc = 1;
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return rc;
}
