// The AVI writer driven by fuzzed writes (stamp, sequence number, length,
// kind), with the finished file checked by an independent RIFF walker: what
// the writer keeps must always be a whole AVI file.
#include "FuzzInit.h"
#include "net/NetHandles.h"
#include "record/AviReader.h"
#include "record/CAVIWriter.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <utility>

namespace {

std::string g_dir, g_path;
// The finished file and what the walker read from it; their room is kept
// from run to run.
std::string g_file;
avitest::AviFile g_avi;
unsigned char g_data[4096 + 64];

int PlentyOfSpace(const char*, uint64_t* bytes)
{
    *bytes = 1ull << 40;
    return 0;
}

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "failed: %s\n", what);
        __builtin_trap();
    }
}

// The finished file into g_file in one read: a stream would grow and copy it.
bool ReadBack()
{
    const UniqueFd fd(open(g_path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st;
    if (!fd.Valid() || fstat(fd.Get(), &st) != 0)
        return false;
    g_file.resize(size_t(st.st_size));
    for (size_t got = 0; got < g_file.size();) {
        const ssize_t n = read(fd.Get(), &g_file[got], g_file.size() - got);
        if (n <= 0)
            return false;
        got += size_t(n);
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    RiloFuzzInit(false);
    // In memory where there is such a file system: every run writes a file.
    char shm[] = "/dev/shm/rilo-avi-fuzz-XXXXXX";
    char tmp[] = "/tmp/rilo-avi-fuzz-XXXXXX";
    char* dir = mkdtemp(shm) ? shm : mkdtemp(tmp);
    if (!dir)
        std::abort();
    g_dir = dir;
    g_path = g_dir + "/f.avi";
    std::atexit([] {
        unlink(g_path.c_str());
        rmdir(g_dir.c_str());
    });
    for (size_t i = 0; i < sizeof g_data; ++i)
        g_data[i] = uint8_t(i * 7);
    CAVIWriter::SetFreeSpaceFuncForTest(PlentyOfSpace);
    return 0;
}

// Input: setup (wait flag, audio type, late audio, segment kind), block
// choice, segment value, then 6 bytes per write: kind, stamp step (u16), sequence
// step (i8), length (u16).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    const uint8_t setup = data[0];
    const int audioTypes[] = {rmtAudioPCM, rmtAudioPCMSamples, rmtAudioIMAADPCM, rmtAudioMSADPCM};
    const int audioType = audioTypes[(setup >> 1) & 3];
    const uint16_t block = audioType == rmtAudioMSADPCM ? 256 : uint16_t(1u << (data[1] % 3));
    const WAVEFORMATEX format = {uint16_t(audioType == rmtAudioMSADPCM ? 2 : 1),
                                 1,
                                 8000,
                                 audioType == rmtAudioMSADPCM ? 4096u : 8000u * block,
                                 block,
                                 uint16_t(audioType == rmtAudioMSADPCM ? 4 : 8 * block),
                                 0};
    const long kinds[] = {0, 1, 16, 17};

    auto* w = new CAVIWriter;
    w->SetWaitForVideo(setup & 1);
    w->SetRecordingInterval(data[2], kinds[(setup >> 4) & 3]);
    Check(w->CreateFile(g_path.c_str()), "create");
    Check(w->AddStream(rmtVideoMJPEG, 64, 48, nullptr, false, 0, 0) != nullptr, "video stream");
    bool audio = !(setup & 8) && w->AddStream(audioType, 0, 0, &format, false, 0, 0);

    uint64_t stamp = 1000;
    uint32_t seq = 1;
    for (size_t at = 3; at + 6 <= size; at += 6) {
        const uint8_t op = data[at];
        const uint64_t delta =
            uint64_t(data[at + 1] | (data[at + 2] << 8)) * ((op & 0x10) ? 1000 : 1);
        seq += uint32_t(int32_t(int8_t(data[at + 3])));
        const uint32_t len = uint32_t(data[at + 4] | (data[at + 5] << 8)) % 4096;
        // Stamps move by milliseconds or seconds, forwards or back, or are absent.
        stamp = (op & 0x08) ? (stamp > delta ? stamp - delta : 1) : stamp + delta;
        const uint64_t s = (op & 0x04) ? 0 : stamp;
        if (op == 0xFF) {
            w->RequestForStop();
        } else if ((op & 0xE0) == 0xE0 && !audio) {
            audio = w->AddStream(audioType, 0, 0, &format, false, 0, 0) != nullptr;
        } else {
            int r = (op & 1) ? w->WriteSample(audioType, g_data, 64 + len, s, seq)
                             : w->WriteFrame(rmtVideoMJPEG, g_data + (op >> 5), len, s, seq);
            Check(r >= rrOK && r <= rrSpaceQueryFailed, "result");
        }
    }
    const int released = w->Release();
    const bool exists = access(g_path.c_str(), F_OK) == 0;
    Check(released == -1 ? exists : (released == 0 && !exists), "kept exactly when written");
    if (!exists)
        return 0;
    Check(ReadBack(), "read back");
    avitest::AviFile& avi = g_avi;
    avitest::ParseAvi(std::move(g_file), avi);
    if (!avi.error.empty())
        std::fprintf(stderr, "bad file: %s\n", avi.error.c_str());
    Check(avi.error.empty() && avi.hasIndex, "a whole file");
    Check(avi.Streams() == avi.streams.size() && avi.TotalFrames() <= avi.chunks.size(), "counts");
    g_file = std::move(avi.bytes);
    unlink(g_path.c_str());
    return 0;
}
