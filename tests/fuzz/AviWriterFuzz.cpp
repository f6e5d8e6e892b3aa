// The AVI writer driven by fuzzed writes (stamp, sequence number, length,
// kind), with the finished file checked by an independent RIFF walker: what
// the writer keeps must always be a whole AVI file.
#include "FuzzInit.h"
#include "record/AviReader.h"
#include "record/CAVIWriter.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string g_dir;
std::string g_path;
unsigned char g_data[4096 + 64];

int PlentyOfSpace(const char*, uint64_t* bytes)
{
    *bytes = 1ull << 40;
    return 0;
}

// Input: 4 bytes of setup, then 6 bytes per write.
struct Input {
    const uint8_t* p;
    size_t n;
    size_t at = 0;
    uint8_t Byte() { return at < n ? p[at++] : 0; }
    uint16_t U16() { return uint16_t(Byte() | (Byte() << 8)); }
};

WAVEFORMATEX AudioFormat(int type, uint8_t b)
{
    if (type == rmtAudioMSADPCM)
        return WAVEFORMATEX{2, 1, 8000, 4096, 256, 4, 32};
    const uint16_t blocks[] = {1, 2, 4};
    uint16_t block = blocks[b % 3];
    return WAVEFORMATEX{1, 1, 8000, 8000u * block, block, uint16_t(8 * block), 0};
}

void Check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    RiloFuzzInit(false);
    // In memory where there is such a file system: every run writes a file.
    char shm[] = "/dev/shm/rilo-avi-fuzz-XXXXXX";
    char tmp[] = "/tmp/rilo-avi-fuzz-XXXXXX";
    char* tmpl = mkdtemp(shm) ? shm : mkdtemp(tmp);
    if (!tmpl)
        std::abort();
    g_dir = tmpl;
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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4)
        return 0;
    Input in{data, size};
    const uint8_t setup = in.Byte();
    const uint8_t formatByte = in.Byte();
    const long kinds[] = {0, 1, 16, 17};
    const long kind = kinds[(setup >> 4) & 3];
    const long value = in.Byte();
    const int audioTypes[] = {rmtAudioPCM, rmtAudioPCMSamples, rmtAudioIMAADPCM, rmtAudioMSADPCM};
    const int audioType = audioTypes[(setup >> 1) & 3];
    const bool lateAudio = (setup & 8) != 0;
    in.Byte();

    auto* w = new CAVIWriter;
    w->SetWaitForVideo(setup & 1);
    w->SetRecordingInterval(value, kind);
    Check(w->CreateFile(g_path.c_str()));
    Check(w->AddStream(rmtVideoMJPEG, 64, 48, nullptr, false, 0, 0) != nullptr);
    const WAVEFORMATEX format = AudioFormat(audioType, formatByte);
    bool audio = !lateAudio && w->AddStream(audioType, 0, 0, &format, false, 0, 0);

    uint64_t stamp = 1000;
    uint32_t seq = 1;
    while (in.at + 6 <= in.n) {
        const uint8_t op = in.Byte();
        const uint16_t delta = in.U16();
        const int8_t seqStep = int8_t(in.Byte());
        const uint16_t len = in.U16() % 4096;
        // Stamps move by milliseconds, by seconds, back, or are absent.
        uint64_t step = (op & 0x10) ? uint64_t(delta) * 1000 : delta;
        stamp = (op & 0x08) ? (stamp > step ? stamp - step : 1) : stamp + step;
        seq += uint32_t(int32_t(seqStep));
        const uint64_t s = (op & 0x04) ? 0 : stamp;
        if (op == 0xFF) {
            w->RequestForStop();
        } else if ((op & 0xE0) == 0xE0 && !audio) {
            audio = w->AddStream(audioType, 0, 0, &format, false, 0, 0) != nullptr;
        } else if (op & 1) {
            int r = w->WriteSample(audioType, g_data, 64 + len, s, seq);
            Check(r >= rrOK && r <= rrSpaceQueryFailed);
        } else {
            int r = w->WriteFrame(rmtVideoMJPEG, g_data + (op >> 5), len, s, seq);
            Check(r >= rrOK && r <= rrSpaceQueryFailed);
        }
    }
    const int released = w->Release();
    struct stat st;
    const bool exists = stat(g_path.c_str(), &st) == 0;
    Check(released == -1 ? exists : (released == 0 && !exists));
    if (!exists)
        return 0;
    std::ifstream f(g_path, std::ios::binary);
    std::stringstream bytes;
    bytes << f.rdbuf();
    const avitest::AviFile avi = avitest::ParseAvi(bytes.str());
    if (!avi.error.empty()) {
        std::fprintf(stderr, "bad file: %s\n", avi.error.c_str());
        __builtin_trap();
    }
    Check(avi.hasIndex && avi.trailer == "JUNK" && avi.Streams() == avi.streams.size());
    Check(!avi.chunks.empty() && avi.TotalFrames() <= avi.chunks.size());
    unlink(g_path.c_str());
    return 0;
}
