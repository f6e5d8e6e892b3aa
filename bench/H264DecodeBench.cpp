// Decodes a 1920x1080 H.264 stream to RGBA through CH264VideoDec with
// pacing off, fed through a transfer queue as the H.264 stream feeds it,
// and with the ffmpeg command line on one thread; prints pictures per
// second, CPU per picture and the ratio of the rates. The stream is made by
// ffmpeg first.
//
//   bench_h264_decode [pictures] [rounds]
#include "VideoUnits.h"
#include "codec/CH264VideoDec.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Figures {
    double seconds = 0;
    double cpuSeconds = 0;
    int pictures = 0;
};

double Seconds(const timeval& t)
{
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

double ProcessCpu()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return Seconds(u.ru_utime) + Seconds(u.ru_stime);
}

// Runs the command line; its wall and CPU time.
bool RunTimed(const std::vector<std::string>& args, Figures* f)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const auto t0 = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage u{};
    if (pid < 0 || wait4(pid, &status, 0, &u) != pid)
        return false;
    f->seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    f->cpuSeconds = Seconds(u.ru_utime) + Seconds(u.ru_stime);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

videounits::Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return videounits::Bytes(std::istreambuf_iterator<char>(in), {});
}

// Counts the pictures; the last one wakes the waiter.
struct Counter {
    std::mutex mutex;
    std::condition_variable cond;
    int pictures = 0;
    Clock::time_point last;

    static void Callback(void* user, tagBITMAPINFOHEADER*, unsigned char*, unsigned long)
    {
        auto* self = static_cast<Counter*>(user);
        std::lock_guard<std::mutex> lock(self->mutex);
        ++self->pictures;
        self->last = Clock::now();
        self->cond.notify_all();
    }
};

// The whole stream through the decode thread. The picture after each new
// configuration is decoded to read the size and not delivered; it counts
// as decoded.
bool RunOurs(const std::vector<videounits::Unit>& units, int pictures, Figures* f)
{
    int configurations = 0;
    for (const videounits::Unit& u : units)
        configurations += u.frame < 0;
    videounits::UnitFeeder feeder(units);
    Counter counter;
    CH264VideoDec dec;
    dec.Initialize(1280);
    dec.SetFrameSource(&videounits::UnitFeeder::Source, &feeder);
    dec.SetPacing(false);
    dec.SetRenderCallback(true, &Counter::Callback, &counter);
    if (dec.StartDecodingProc() != 0)
        return false;
    const double cpu0 = ProcessCpu();
    const auto t0 = Clock::now();
    feeder.Start();
    const int expected = pictures - configurations;
    std::unique_lock<std::mutex> lock(counter.mutex);
    const bool done = counter.cond.wait_for(lock, std::chrono::minutes(5),
                                            [&] { return counter.pictures >= expected; });
    f->seconds = std::chrono::duration<double>(counter.last - t0).count();
    f->cpuSeconds = ProcessCpu() - cpu0;
    f->pictures = pictures;
    lock.unlock();
    dec.StopDecodingProc();
    return done;
}

void Print(const char* who, const Figures& f)
{
    std::printf("%-28s %6d pictures %8.3f s %8.1f pictures/s %7.2f ms CPU/picture\n", who,
                f.pictures, f.seconds, f.pictures / f.seconds, 1000 * f.cpuSeconds / f.pictures);
}

} // namespace

int main(int argc, char** argv)
{
    const int pictures = argc > 1 ? std::atoi(argv[1]) : 250;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    char dir[] = "/tmp/rilo-bench-XXXXXX";
    if (!mkdtemp(dir))
        return 1;
    const std::string file = std::string(dir) + "/stream.h264";
    Figures made;
    if (!RunTimed({"ffmpeg",
                   "-nostdin",
                   "-hide_banner",
                   "-loglevel",
                   "error",
                   "-y",
                   "-f",
                   "lavfi",
                   "-i",
                   "testsrc2=size=1920x1080:rate=25:duration=" + std::to_string(pictures / 25 + 1),
                   "-frames:v",
                   std::to_string(pictures),
                   "-c:v",
                   "libx264",
                   "-profile:v",
                   "main",
                   "-bf",
                   "0",
                   "-g",
                   "50",
                   "-pix_fmt",
                   "yuv420p",
                   "-x264-params",
                   "repeat-headers=1",
                   "-f",
                   "h264",
                   file},
                  &made)) {
        std::fprintf(stderr, "ffmpeg could not make the stream\n");
        return 1;
    }
    videounits::Bytes lastConfig;
    const std::vector<videounits::Unit> units =
        videounits::CutUnits("h264", ReadFile(file), 0, &lastConfig);
    std::printf("1920x1080 H.264 main, %d pictures, %zu units; best of %d rounds\n", pictures,
                units.size(), rounds);

    // ffmpeg's run includes starting and probing, which takes a good part
    // of it: the run of one picture measures that, and the difference is
    // also given.
    const std::vector<std::string> peer = {
        "ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-threads", "1",
        "-i",     file,       "-pix_fmt",     "rgba",      "-f",    "null",     "-"};
    std::vector<std::string> peerOne = peer;
    peerOne.insert(std::find(peerOne.begin(), peerOne.end(), "-pix_fmt"), {"-frames:v", "1"});
    Figures oursBest, peerBest, steadyBest;
    for (int round = 0; round < rounds; ++round) {
        Figures ours, full, one;
        if (!RunOurs(units, pictures, &ours) || !RunTimed(peer, &full) ||
            !RunTimed(peerOne, &one)) {
            std::fprintf(stderr, "round %d failed\n", round);
            return 1;
        }
        full.pictures = pictures;
        const Figures steady{full.seconds - one.seconds, full.cpuSeconds - one.cpuSeconds,
                             pictures - 1};
        Print("CH264VideoDec (pacing off)", ours);
        Print("ffmpeg -threads 1", full);
        Print("ffmpeg, less its start", steady);
        if (round == 0 || ours.seconds < oursBest.seconds)
            oursBest = ours;
        if (round == 0 || full.seconds < peerBest.seconds)
            peerBest = full;
        if (round == 0 || steady.seconds < steadyBest.seconds)
            steadyBest = steady;
    }
    const auto ratios = [&](const char* what, const Figures& f) {
        std::printf("%s: rate ratio (ours / ffmpeg) %.2f, CPU per picture ratio %.2f\n", what,
                    (oursBest.pictures / oursBest.seconds) / (f.pictures / f.seconds),
                    (oursBest.cpuSeconds / oursBest.pictures) / (f.cpuSeconds / f.pictures));
    };
    std::printf("best:\n");
    Print("CH264VideoDec (pacing off)", oursBest);
    Print("ffmpeg -threads 1", peerBest);
    Print("ffmpeg, less its start", steadyBest);
    ratios("whole runs", peerBest);
    ratios("less ffmpeg's start", steadyBest);
    (void)std::system(("rm -rf '" + std::string(dir) + "'").c_str());
    return 0;
}
