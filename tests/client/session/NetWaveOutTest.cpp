// The talk-back sender against the emulated camera's speaker endpoint on
// loopback: request bytes per variant and authorization, packet headers and
// pacing, a camera that stalls at the probe reply or resets mid-stream.
#include "DiagCapture.h"
#include "http/HttpCtrlTestUtil.h"
#include "session/CNetWaveOut.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <time.h>

#include <atomic>
#include <cstring>
#include <memory>

using httptest::Eventually;
using httptest::Md5Hex;
using httptest::Now;
using httptest::QuotedParam;
using testsupport::HttpEmulator;
using testsupport::HttpLoggedData;

namespace {

const char kCnonce[] = "5e2b7c90a41f3d86b0c9e7a2d4f61b38";
const unsigned kBlock = 1024;

// What the talk-back callback saw.
struct Calls {
    std::mutex mu;
    std::vector<std::pair<unsigned long, unsigned long>> calls; // code, sender

    static bool On(void* user, unsigned long code, unsigned long sender)
    {
        auto* c = static_cast<Calls*>(user);
        std::lock_guard<std::mutex> g(c->mu);
        c->calls.emplace_back(code, sender);
        return true;
    }
    std::vector<std::pair<unsigned long, unsigned long>> Get()
    {
        std::lock_guard<std::mutex> g(mu);
        return calls;
    }
};

std::vector<uint8_t> Block(unsigned n, unsigned salt)
{
    std::vector<uint8_t> b(n);
    for (unsigned i = 0; i < n; ++i)
        b[i] = uint8_t(i * 7 + salt * 31 + 1);
    return b;
}

uint32_t Le(const std::vector<uint8_t>& b, size_t at, int width)
{
    uint32_t v = 0;
    for (int i = width - 1; i >= 0; --i)
        v = v << 8 | b[at + i];
    return v;
}

double WallNow()
{
    timeval tv;
    gettimeofday(&tv, nullptr);
    return tv.tv_sec + tv.tv_usec / 1e6;
}

// The request as the camera must see it, written from the variant table.
std::string Request(const std::string& object, const std::string& hostPort,
                    const std::string& length, const std::string& extra, const std::string& auth)
{
    return "POST " + object + " HTTP/1.1\r\nAccept: */*\r\nHost: " + hostPort +
           "\r\nUser-Agent: RiloClient/1.0.0\r\nContent-Type: audio/ACAS\r\n" + extra +
           "Content-Length:" + length + "\r\nConnection: Keep-Alive\r\n" +
           (auth.empty() ? "" : "Authorization: " + auth + "\r\n") + "\r\n";
}

// The Digest answer to the nonce the camera gave, computed here.
std::string DigestFor(const std::string& object, const std::string& nonce)
{
    const std::string ha1 = Md5Hex("admin:camera:pw");
    const std::string ha2 = Md5Hex("POST:" + object);
    const std::string response =
        Md5Hex(ha1 + ":" + nonce + ":00000001:" + kCnonce + ":auth:" + ha2);
    return "Digest username=\"admin\",realm=\"camera\",uri=\"" + object + "\",nonce=\"" + nonce +
           "\",cnonce=\"" + kCnonce + "\",nc=\"00000001\",response=\"" + response +
           "\",qop=\"auth\"";
}

void ExpectPacket(const HttpLoggedData& got, uint32_t seq, const std::vector<uint8_t>& payload,
                  double fedFrom, double fedTo)
{
    SCOPED_TRACE("packet " + std::to_string(seq));
    ASSERT_EQ(got.bytes.size(), 40 + payload.size());
    EXPECT_EQ(Le(got.bytes, 0, 4), 0xF6010000u);
    EXPECT_EQ(Le(got.bytes, 4, 4), 40u);
    EXPECT_EQ(Le(got.bytes, 8, 4), payload.size());
    EXPECT_EQ(Le(got.bytes, 12, 4), seq);
    const double stamp = Le(got.bytes, 16, 4) + Le(got.bytes, 20, 4) / 1e6;
    EXPECT_GE(stamp, fedFrom - 0.001); // the moment it was fed
    EXPECT_LE(stamp, fedTo + 0.001);
    EXPECT_EQ(Le(got.bytes, 24, 4), 0u);
    EXPECT_EQ(Le(got.bytes, 28, 2), 16u);
    EXPECT_EQ(Le(got.bytes, 30, 2), 1u);
    EXPECT_EQ(Le(got.bytes, 32, 2), 8000u);
    EXPECT_EQ(Le(got.bytes, 34, 2), 16u);
    EXPECT_EQ(Le(got.bytes, 36, 4), 0u);
    EXPECT_TRUE(std::equal(payload.begin(), payload.end(), got.bytes.begin() + 40));
}

// A sender set up as the exported start functions do it.
std::unique_ptr<CNetWaveOut> Sender(const std::string& host, int port, const std::string& object,
                                    int path, int authType, const std::string& ready = "")
{
    auto w = std::make_unique<CNetWaveOut>();
    w->SetExtraInfo(path);
    // As the exported start functions give it.
    const std::string url = "http://" + host + ":" + std::to_string(port) + object;
    EXPECT_TRUE(w->AssignURL(url.c_str())) << url;
    w->SetBufferSize(4, kBlock);
    if (!ready.empty())
        w->SetAuthorization(ready.c_str());
    else
        w->SetAuthData("admin", "pw", authType);
    return w;
}

struct VariantCase {
    const char* name;
    int path;
    int authType;
    const char* camAuth; // the emulator's "auth"
    const char* object;
    const char* listen; // emulator address; the sender's host is it, bracketed for IPv6
    std::string length; // Content-Length of the streaming request
    std::string extra;
    bool zeros;              // 4 zero bytes follow the streaming request
    std::string probeLength; // Digest: Content-Length of the probe
    std::string ready;       // a ready Authorization value instead of SetAuthData
};

} // namespace

TEST(NetWaveOut, RequestBytesPerVariantAndAuthorizationThenPackets)
{
    const std::string s2 = "dev-speaker-session: speaker2\r\n";
    const std::vector<VariantCase> cases = {
        {"path 1, Basic", 1, 2, "basic", "/dev/speaker.cgi", "127.0.0.1", "4", "", true, "", ""},
        {"path 1, user:password", 1, 1, "exact", "/dev/speaker.cgi", "127.0.0.1", "4", "", true, "",
         ""},
        {"path 1, Digest probe", 1, 3, "digest", "/av2/speaker.cgi", "127.0.0.1", "4", "", true,
         "4", ""},
        {"path 2, Digest probe", 2, 4, "digest", "/dev/speaker2.cgi", "127.0.0.1", "2147483647", s2,
         false, "2147483647", ""},
        {"path 2, Basic, IPv6, a query", 2, 2, "basic", "/dev/speaker2.cgi?ch=1", "::1",
         "2147483647", s2, false, "", ""},
        {"path 3, Digest probe", 3, 3, "digest", "/dev2/dgtalkie.cgi", "127.0.0.1", "2000000000",
         "", true, "0", ""},
        {"path 3, ready Basic value", 3, 2, "basic", "/dev2/dgtalkie.cgi", "127.0.0.1",
         "2000000000", "", true, "", "Basic YWRtaW46cHc="},
        {"path 1, no authorization", 1, 0, "none", "/dev/speaker.cgi", "127.0.0.1", "4", "", true,
         "", ""},
    };
    for (const VariantCase& c : cases) {
        SCOPED_TRACE(c.name);
        HttpEmulator cam(std::string(R"({"auth": ")") + c.camAuth +
                             R"(", "user": "admin", "password": "pw",
                                "authorization": "admin:pw", "speaker": {}})",
                         "", c.listen);
        const bool v6 = std::string(c.listen) == "::1";
        const std::string host = v6 ? "[::1]" : c.listen;
        Calls calls;
        auto w = Sender(host, cam.Port(), c.object, c.path, c.authType, c.ready);
        ASSERT_TRUE(w->InitWaveOut(Calls::On, &calls));
        std::vector<std::vector<uint8_t>> blocks;
        const double from = WallNow();
        for (unsigned i = 0; i < 3; ++i) {
            blocks.push_back(Block(kBlock, i));
            EXPECT_EQ(w->FeedAudioData(blocks.back().data(), kBlock), 0);
        }
        const double to = WallNow();
        ASSERT_TRUE(Eventually([&] { return cam.SpeakerPackets().size() >= 3; }, 10));
        w->UninitWaveOut();

        const std::string hostPort = host + ":" + std::to_string(cam.Port());
        const auto reqs = cam.Requests();
        const bool digest = !c.probeLength.empty();
        ASSERT_EQ(reqs.size(), digest ? 2u : 1u);
        std::string auth = c.ready;
        if (c.authType == 1)
            auth = "admin:pw";
        if (c.authType == 2 && auth.empty())
            auth = "Basic YWRtaW46cHc=";
        if (digest) {
            EXPECT_EQ(reqs[0].Text(), Request(c.object, hostPort, c.probeLength, c.extra, ""));
            EXPECT_EQ(reqs[0].auth, "missing");
            EXPECT_EQ(reqs[1].connection, reqs[0].connection); // the same connection
            auth = DigestFor(c.object, QuotedParam(reqs[1].Text(), "nonce"));
        }
        EXPECT_EQ(reqs.back().Text(), Request(c.object, hostPort, c.length, c.extra, auth));
        EXPECT_EQ(reqs.back().auth, std::string(c.camAuth) == "none" ? "none" : "ok");

        const auto junk = cam.SpeakerJunk();
        if (c.zeros) {
            ASSERT_EQ(junk.size(), 1u);
            EXPECT_EQ(junk[0].bytes, std::vector<uint8_t>(4, 0));
        } else {
            EXPECT_TRUE(junk.empty());
        }
        const auto packets = cam.SpeakerPackets();
        ASSERT_EQ(packets.size(), 3u);
        for (unsigned i = 0; i < 3; ++i)
            ExpectPacket(packets[i], i, blocks[i], from, to);
        EXPECT_TRUE(calls.Get().empty());
    }
}

TEST(NetWaveOut, PacesAt64MsKeepsTheNewest2SecondsAndIdlesQuietly)
{
    HttpEmulator cam(R"({"speaker": {}})");
    Calls calls;
    auto w = Sender("127.0.0.1", cam.Port(), "/dev/speaker.cgi", 1, 0);
    // Fed before the start: only the newest 2 s (32 packets of 64 ms) stay.
    for (unsigned i = 0; i < 100; ++i) {
        auto b = Block(kBlock, i);
        ASSERT_EQ(w->FeedAudioData(b.data(), kBlock), 0);
    }
    ASSERT_TRUE(w->InitWaveOut(Calls::On, &calls));
    ASSERT_TRUE(Eventually([&] { return cam.SpeakerPackets().size() >= 32; }, 20));
    auto packets = cam.SpeakerPackets();
    ASSERT_EQ(packets.size(), 32u);
    for (unsigned k = 0; k < 32; ++k) {
        EXPECT_EQ(Le(packets[k].bytes, 12, 4), 68 + k);
        EXPECT_EQ(packets[k].bytes[40], Block(kBlock, 68 + k)[0]);
    }
    // 31 intervals; one packet per 64 ms, measured where the camera reads.
    const double mean = (packets.back().time - packets.front().time) / 31;
    EXPECT_GT(mean, 0.050);
    EXPECT_LT(mean, 0.090);

    // Nothing queued: the sender waits without using the processor.
    timespec c0, c1;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &c0);
    const double t0 = Now();
    usleep(1000000);
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &c1);
    const double cpu = (c1.tv_sec - c0.tv_sec) + (c1.tv_nsec - c0.tv_nsec) / 1e9;
    EXPECT_LT(cpu / (Now() - t0), 0.05);

    // After the start the sequence begins at 0; a short block is sent
    // filled up with silence, from a buffer of exactly its size.
    auto shortBlock = std::make_unique<uint8_t[]>(100);
    std::memset(shortBlock.get(), 0x5A, 100);
    testsupport::CaptureDiagOut();
    const double from = WallNow();
    EXPECT_EQ(w->FeedAudioData(shortBlock.get(), 100), 0);
    const double to = WallNow();
    const std::string said = testsupport::TakeDiagOut();
    EXPECT_NE(said.find("WaveHdr data is not match.Recevie:100, Fact:1024"), std::string::npos);
    ASSERT_TRUE(Eventually([&] { return cam.SpeakerPackets().size() >= 33; }, 10));
    std::vector<uint8_t> padded(kBlock, 0);
    std::memset(padded.data(), 0x5A, 100);
    ExpectPacket(cam.SpeakerPackets()[32], 0, padded, from, to);
    w->UninitWaveOut();
    EXPECT_TRUE(calls.Get().empty());
}

TEST(NetWaveOut, StopReturnsPromptlyWhileTheCameraStallsAtTheProbe)
{
    HttpEmulator cam(R"({"auth": "digest", "user": "admin", "password": "pw",
                         "speaker": {"stall_probe": true}})");
    Calls calls;
    auto w = Sender("127.0.0.1", cam.Port(), "/dev2/dgtalkie.cgi", 3, 3);
    ASSERT_TRUE(w->InitWaveOut(Calls::On, &calls));
    ASSERT_TRUE(Eventually([&] { return !cam.Requests().empty(); }, 10));
    usleep(200000); // the sender is waiting for the reply now
    const double t0 = Now();
    w->UninitWaveOut();
    EXPECT_LT(Now() - t0, 2.0);
    EXPECT_TRUE(calls.Get().empty()); // a stop is not a failure
    EXPECT_TRUE(cam.SpeakerPackets().empty());
}

TEST(NetWaveOut, ResetMidStreamIsReportedAndARestartReallyStarts)
{
    HttpEmulator cam(R"({"speaker": {"reset_after_packets": 3}})");
    Calls calls;
    auto w = Sender("127.0.0.1", cam.Port(), "/dev/speaker2.cgi", 2, 0);
    ASSERT_TRUE(w->InitWaveOut(Calls::On, &calls));
    for (unsigned i = 0; i < 20; ++i) {
        auto b = Block(kBlock, i);
        w->FeedAudioData(b.data(), kBlock);
    }
    ASSERT_TRUE(Eventually([&] { return !calls.Get().empty(); }, 10));
    const auto got = calls.Get();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].first, 2u);
    EXPECT_EQ(got[0].second, reinterpret_cast<unsigned long>(w.get()));
    // The sender has ended: feeding says so.
    auto b = Block(kBlock, 0);
    EXPECT_EQ(w->FeedAudioData(b.data(), kBlock), -1);
    // A new start connects again rather than report success idly.
    ASSERT_TRUE(w->InitWaveOut(Calls::On, &calls));
    ASSERT_TRUE(Eventually([&] { return cam.Requests().size() >= 2; }, 10));
    EXPECT_EQ(w->FeedAudioData(b.data(), kBlock), 0);
    w->UninitWaveOut();
}

TEST(NetWaveOut, AssignURLTakesHttpUrlsWithAHostAndAUsablePort)
{
    CNetWaveOut w;
    for (const char* good :
         {"http://192.0.2.7/dev/speaker.cgi", "HTTP://camera:8080/dev/speaker.cgi",
          "http://[2001:db8::7]:81/dev2/dgtalkie.cgi?x=1"})
        EXPECT_TRUE(w.AssignURL(good)) << good;
    for (const char* bad :
         {"https://192.0.2.7/dev/speaker.cgi", "rtsp://192.0.2.7/", "http:///dev/speaker.cgi",
          "/dev/speaker.cgi", "http://192.0.2.7:70000/dev/speaker.cgi",
          "http://192.0.2.7:80x/dev/speaker.cgi", "http://[::1]:/x"})
        EXPECT_FALSE(w.AssignURL(bad)) << bad;
}

TEST(NetWaveOut, FailedConnectionAndInvalidVariantGiveCode1)
{
    // A port where nothing listens.
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    const int deadPort = ntohs(a.sin_port);
    close(fd);
    {
        Calls calls;
        auto w = Sender("127.0.0.1", deadPort, "/dev/speaker.cgi", 1, 2);
        ASSERT_TRUE(w->InitWaveOut(Calls::On, &calls));
        ASSERT_TRUE(Eventually([&] { return !calls.Get().empty(); }, 10));
        EXPECT_EQ(calls.Get()[0].first, 1u);
        auto b = Block(kBlock, 0);
        EXPECT_EQ(w->FeedAudioData(b.data(), kBlock), -1);
    }
    {
        // An application that stops the talk-back from inside the callback,
        // in every other round while its own thread stops it too: each start
        // says the sender started, the callback comes at most once (exactly
        // once when only it stops), neither stop ends the sender twice, and
        // the stop of the application's thread returns after the callback.
        struct StopOnCall {
            CNetWaveOut* w;
            std::atomic<unsigned> entered{0}, calls{0};
            std::atomic<unsigned long> code{0};
            static bool On(void* user, unsigned long code, unsigned long)
            {
                auto* s = static_cast<StopOnCall*>(user);
                ++s->entered;
                s->w->UninitWaveOut();
                s->code = code;
                ++s->calls;
                return true;
            }
        };
        auto w = Sender("127.0.0.1", deadPort, "/dev/speaker.cgi", 1, 2);
        StopOnCall stop{w.get()};
        const auto b = Block(kBlock, 0);
        testsupport::CaptureDiagOut(); // a failure line per round
        for (unsigned round = 0; round < 200; ++round) {
            SCOPED_TRACE("round " + std::to_string(round));
            const unsigned before = stop.calls;
            ASSERT_TRUE(w->InitWaveOut(StopOnCall::On, &stop));
            if (round % 2) {
                w->UninitWaveOut();
                // A callback that began before the stop has returned.
                ASSERT_EQ(stop.calls, stop.entered);
                ASSERT_LE(stop.calls - before, 1u);
                continue;
            }
            ASSERT_TRUE(Eventually([&] { return stop.calls != before; }, 10));
            EXPECT_EQ(stop.calls - before, 1u);
            EXPECT_EQ(stop.code, 1u);
            EXPECT_EQ(w->FeedAudioData(b.data(), kBlock), 0); // stopped: queued for a next start
        }
        testsupport::TakeDiagOut();
    }
    HttpEmulator cam(R"({"speaker": {}})");
    Calls calls;
    auto w = Sender("127.0.0.1", cam.Port(), "/dev/speaker.cgi", 7, 2);
    testsupport::CaptureDiagOut();
    ASSERT_TRUE(w->InitWaveOut(Calls::On, &calls));
    const bool called = Eventually([&] { return !calls.Get().empty(); }, 10);
    w->UninitWaveOut();
    const std::string said = testsupport::TakeDiagOut();
    ASSERT_TRUE(called);
    EXPECT_EQ(calls.Get()[0].first, 1u);
    EXPECT_NE(said.find("[CNetWaveOut::SendRequest]invalid m_nPath\n"), std::string::npos);
    EXPECT_TRUE(cam.Requests().empty());
}
