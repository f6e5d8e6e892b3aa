// The emulated LANDAP camera against hand-built requests, inside scripts/netlab.

#include "ChildProcess.h"
#include "Emulator.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <set>
#include <string>
#include <vector>

using testsupport::LandapEmulator;
using testsupport::MonotonicNow;
using testsupport::NetlabEnv;
using Bytes = std::vector<uint8_t>;

namespace {

constexpr uint16_t kPort = 62976;
constexpr uint16_t kTessel12Port = 62977;

uint16_t U16(const Bytes& b, size_t at)
{
    return static_cast<uint16_t>(b.at(at) | b.at(at + 1) << 8);
}
uint32_t U32(const Bytes& b, size_t at)
{
    return U16(b, at) | static_cast<uint32_t>(U16(b, at + 2)) << 16;
}
void Put16(Bytes& b, size_t at, uint16_t v)
{
    b.at(at) = static_cast<uint8_t>(v);
    b.at(at + 1) = static_cast<uint8_t>(v >> 8);
}

std::string Base64(const std::string& in)
{
    static const char* k = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < in.size(); i += 3) {
        uint32_t n = static_cast<uint8_t>(in[i]) << 16;
        if (i + 1 < in.size())
            n |= static_cast<uint8_t>(in[i + 1]) << 8;
        if (i + 2 < in.size())
            n |= static_cast<uint8_t>(in[i + 2]);
        out += k[n >> 18 & 63];
        out += k[n >> 12 & 63];
        out += i + 1 < in.size() ? k[n >> 6 & 63] : '=';
        out += i + 2 < in.size() ? k[n & 63] : '=';
    }
    return out;
}

Bytes Auth(const std::string& user, const std::string& password)
{
    Bytes b(128, 0);
    const std::string u = Base64(user).substr(0, 64), p = Base64(password).substr(0, 64);
    memcpy(b.data(), u.data(), u.size());
    memcpy(b.data() + 64, p.data(), p.size());
    return b;
}

Bytes MacBytes(const std::string& text)
{
    Bytes mac;
    for (size_t i = 0; i < text.size(); i += 3)
        mac.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    return mac;
}

Bytes Request(uint16_t seq, uint16_t cmd, const Bytes& mac, const Bytes& body = {},
              uint16_t status = 0x7777)
{
    Bytes d(22, 0);
    Put16(d, 0, 0xFDFD);
    Put16(d, 2, seq);
    Put16(d, 4, cmd);
    memcpy(&d[6], mac.data(), 6);
    Put16(d, 16, status);
    Put16(d, 18, 1);
    Put16(d, 20, static_cast<uint16_t>(body.size()));
    d.insert(d.end(), body.begin(), body.end());
    return d;
}

// A client socket in the host namespace that broadcasts like the finder does.
class Client {
public:
    Client()
    {
        m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        int on = 1;
        setsockopt(m_fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
    }
    ~Client() { close(m_fd); }
    int LocalPort() const { return m_port; }

    void Send(const Bytes& d, uint16_t port = kPort)
    {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
        ASSERT_EQ(sendto(m_fd, d.data(), d.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&to),
                         sizeof to),
                  static_cast<ssize_t>(d.size()));
    }

    // Every datagram until quietMs pass without one; the first may take
    // firstMs (a loaded machine can be slow to answer). Bounded in time and count.
    std::vector<Bytes> Collect(int quietMs = 400, int firstMs = 5000, double maxSeconds = 10.0)
    {
        std::vector<Bytes> out;
        const double end = MonotonicNow() + maxSeconds;
        while (out.size() < 2000 && MonotonicNow() < end) {
            pollfd p{m_fd, POLLIN, 0};
            if (poll(&p, 1, out.empty() ? firstMs : quietMs) <= 0)
                break;
            Bytes b(65536);
            const ssize_t n = recv(m_fd, b.data(), b.size(), 0);
            if (n < 0)
                break;
            b.resize(static_cast<size_t>(n));
            out.push_back(std::move(b));
        }
        return out;
    }

    std::vector<Bytes> Exchange(const Bytes& d, uint16_t port = kPort, int quietMs = 400)
    {
        Send(d, port);
        return Collect(quietMs);
    }

private:
    int m_fd = -1;
    int m_port = 0;
};

// No reply to d: the emulator has logged it, and nothing came in a quiet
// time after that.
bool NoReply(Client& c, const LandapEmulator& emu, const Bytes& d, uint16_t port = kPort)
{
    const size_t before = emu.Requests().size();
    c.Send(d, port);
    const double end = MonotonicNow() + 10.0;
    while (emu.Requests().size() <= before && MonotonicNow() < end)
        usleep(10000);
    return c.Collect(400, 400).empty();
}

std::string Camera(const std::string& mac, const std::string& ip, const std::string& extra = "")
{
    return "{\"mac\": \"" + mac + "\", \"ip\": \"" + ip +
           "\", \"model\": \"RC-200\", \"user\": \"admin\", \"password\": \"secret\"" + extra + "}";
}

std::string OneCamera(const std::string& extra = "")
{
    return "{\"cameras\": [" +
           Camera(NetlabEnv("NETLAB_CAM0_MAC"), NetlabEnv("NETLAB_CAM0_ADDR"), extra) + "]}";
}

void ExpectReplyHeader(const Bytes& r, uint16_t seq, uint16_t cmd, const Bytes& mac,
                       uint16_t status, size_t bodyLen)
{
    ASSERT_EQ(r.size(), 22 + bodyLen);
    EXPECT_EQ(U16(r, 0), 0xFEEE);
    EXPECT_EQ(U16(r, 2), seq);
    EXPECT_EQ(U16(r, 4), cmd);
    EXPECT_EQ(Bytes(r.begin() + 6, r.begin() + 12), mac);
    EXPECT_EQ(U16(r, 16), status);
    EXPECT_EQ(U16(r, 18), 1);
    EXPECT_EQ(U16(r, 20), bodyLen);
}

const Bytes kAnyMac(6, 0xFF);

} // namespace

TEST(EmulatorDiscovery, AnswersBroadcastAndLogsTheRequest)
{
    LandapEmulator emu(NetlabEnv("NETLAB_CAM0_NS"), OneCamera());
    // Kept for the record only: a start that hangs fails at the emulator's
    // own readiness bound, and a loaded machine may take seconds.
    RecordProperty("start_ms", static_cast<int>(emu.StartSeconds() * 1000));
    Client c;
    const Bytes req = Request(0x1234, 0xA1, kAnyMac, {}, 0);
    auto replies = c.Exchange(req);
    ASSERT_EQ(replies.size(), 1u);
    const Bytes& r = replies[0];
    const Bytes mac = MacBytes(NetlabEnv("NETLAB_CAM0_MAC"));
    ExpectReplyHeader(r, 0x1234, 0xA1, mac, 0, 312);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&r[22 + 128])), "RC-200");
    EXPECT_EQ(Bytes(r.begin() + 22 + 198, r.begin() + 22 + 204), mac);
    in_addr ip{};
    inet_pton(AF_INET, NetlabEnv("NETLAB_CAM0_ADDR").c_str(), &ip);
    EXPECT_EQ(memcmp(&r[22 + 268], &ip, 4), 0);

    auto log = emu.Requests();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].bytes, req);
    EXPECT_EQ(log[0].camera, NetlabEnv("NETLAB_CAM0_MAC"));
    EXPECT_EQ(log[0].port, kPort);
    EXPECT_EQ(log[0].fromAddr, NetlabEnv("NETLAB_HOST_ADDR"));
    EXPECT_EQ(log[0].fromPort, c.LocalPort());
    EXPECT_GT(log[0].time, 0);
}

TEST(EmulatorDiscovery, TwoProcessesInOneNamespaceBothAnswer)
{
    const std::string ns = NetlabEnv("NETLAB_CAM0_NS");
    LandapEmulator a(ns, "{\"cameras\": [" + Camera("02:00:5e:10:00:01", "192.0.2.50") + "]}");
    LandapEmulator b(ns, "{\"cameras\": [" + Camera("02:00:5e:10:00:02", "192.0.2.51") + ", " +
                             Camera("02:00:5e:10:00:03", "192.0.2.52") + "]}");
    Client c;
    std::set<Bytes> macs;
    for (const Bytes& r : c.Exchange(Request(7, 0xA1, kAnyMac, {}, 0))) {
        ASSERT_EQ(r.size(), 334u);
        macs.insert(Bytes(r.begin() + 6, r.begin() + 12));
    }
    EXPECT_EQ(macs, (std::set<Bytes>{MacBytes("02:00:5e:10:00:01"), MacBytes("02:00:5e:10:00:02"),
                                     MacBytes("02:00:5e:10:00:03")}));
    // A request to one MAC is answered by that camera only.
    auto replies =
        c.Exchange(Request(8, 0xA3, MacBytes("02:00:5e:10:00:02"), Auth("admin", "secret")));
    ASSERT_EQ(replies.size(), 1u);
    ExpectReplyHeader(replies[0], 8, 0xA3, MacBytes("02:00:5e:10:00:02"), 0, 4);
    EXPECT_EQ(a.Requests().size(), 2u); // its camera saw the discovery; the 0xA3 logged unaddressed
    EXPECT_EQ(b.Requests().size(), 3u);
}

TEST(EmulatorState, CredentialsAndPasswordChange)
{
    LandapEmulator emu(NetlabEnv("NETLAB_CAM0_NS"), OneCamera());
    const Bytes mac = MacBytes(NetlabEnv("NETLAB_CAM0_MAC"));
    Client c;
    auto r = c.Exchange(Request(1, 0xA3, mac, Auth("admin", "secret")));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(U32(r[0], 22), 1u);
    r = c.Exchange(Request(2, 0xA3, mac, Auth("admin", "wrong")));
    ASSERT_EQ(r.size(), 1u);
    ExpectReplyHeader(r[0], 2, 0xA3, mac, 4, 0);

    Bytes change = Auth("admin", "secret");
    const Bytes fresh = Auth("root", "a-password-of-fifty-characters-exactly-0123456789");
    change.insert(change.end(), fresh.begin(), fresh.end());
    r = c.Exchange(Request(3, 0xA4, mac, change));
    ASSERT_EQ(r.size(), 1u);
    ExpectReplyHeader(r[0], 3, 0xA4, mac, 0, 16);
    // The old pair is refused (status 2 for a set), the new one cut at 48 bytes is accepted.
    r = c.Exchange(Request(4, 0xC0, mac, Auth("admin", "secret")));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(U16(r[0], 16), 2);
    r = c.Exchange(
        Request(5, 0xA3, mac, Auth("root", "a-password-of-fifty-characters-exactly-0123456789")));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(U16(r[0], 16), 0);
}

TEST(EmulatorState, SetsReadBackAndBasicSettingWaitsForCommit)
{
    LandapEmulator emu(
        NetlabEnv("NETLAB_CAM0_NS"),
        OneCamera(", \"command_faults\": {\"0xC0\": {\"wait_ms\": 1500, \"result_value\": 9}}"));
    const Bytes mac = MacBytes(NetlabEnv("NETLAB_CAM0_MAC"));
    Client c;
    Bytes wireless = Auth("admin", "secret");
    Bytes rec(238, 0);
    rec[0] = 1;
    memcpy(&rec[2], "HomeNet", 7);
    rec[38] = 0x21;
    rec[39] = 0x03;
    wireless.insert(wireless.end(), rec.begin(), rec.end());
    ASSERT_EQ(c.Exchange(Request(1, 0xA9, mac, wireless)).size(), 1u);
    auto r = c.Exchange(Request(2, 0xA8, mac, Auth("admin", "secret")));
    ASSERT_EQ(r.size(), 1u);
    ExpectReplyHeader(r[0], 2, 0xA8, mac, 0, 252);
    EXPECT_EQ(Bytes(r[0].begin() + 22, r[0].begin() + 22 + 238), rec);

    Bytes basic = Auth("admin", "secret");
    Bytes b(89, 0);
    const uint8_t ip[4] = {192, 0, 2, 77};
    memcpy(&b[64], ip, 4);
    basic.insert(basic.end(), b.begin(), b.end());
    ASSERT_EQ(c.Exchange(Request(3, 0xA2, mac, basic)).size(), 1u);
    r = c.Exchange(Request(4, 0xA1, mac));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_NE(memcmp(&r[0][22 + 268], ip, 4), 0);
    r = c.Exchange(Request(5, 0xC0, mac, Auth("admin", "secret")));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(U32(r[0], 26), 9u);
    EXPECT_EQ(U32(r[0], 30), 1500u);
    r = c.Exchange(Request(6, 0xA1, mac));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(memcmp(&r[0][22 + 268], ip, 4), 0);
}

TEST(EmulatorState, SiteSurveyInPagesOfTwenty)
{
    LandapEmulator emu(NetlabEnv("NETLAB_CAM0_NS"), OneCamera(", \"stations\": 45"));
    const Bytes mac = MacBytes(NetlabEnv("NETLAB_CAM0_MAC"));
    Client c;
    ASSERT_EQ(c.Exchange(Request(1, 0xB1, mac, Auth("admin", "secret"))).size(), 1u);
    auto pages = c.Exchange(Request(2, 0xAE, mac, Auth("admin", "secret")));
    ASSERT_EQ(pages.size(), 3u);
    ExpectReplyHeader(pages[0], 2, 0xAE, mac, 0, 724);
    ExpectReplyHeader(pages[2], 2, 0xAE, mac, 0, 184);
    EXPECT_EQ(U16(pages[0], 744), 0xFFFF);
    EXPECT_EQ(U16(pages[1], 744), 0xFFFF);
    EXPECT_NE(U16(pages[2], 204), 0xFFFF);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&pages[1][22])), "AP-21");
}

TEST(EmulatorState, RemoteAccessAnswersOnlyOnItsPort)
{
    LandapEmulator emu(NetlabEnv("NETLAB_CAM0_NS"),
                       OneCamera(", \"tessel12\": {\"states\": [[1, 0, 0], [3, 7, 0]], "
                                 "\"url\": \"https://example.invalid/cam\"}"));
    const Bytes mac = MacBytes(NetlabEnv("NETLAB_CAM0_MAC"));
    Client c;
    EXPECT_TRUE(NoReply(c, emu, Request(1, 0xD1, mac)));
    auto r = c.Exchange(Request(2, 0xD1, mac), kTessel12Port);
    ASSERT_EQ(r.size(), 1u);
    ExpectReplyHeader(r[0], 2, 0xD1, mac, 0, 16);
    EXPECT_EQ(r[0][22], 0);
    Bytes enable = Auth("admin", "secret");
    enable.resize(144, 0);
    enable[128] = 1;
    ASSERT_EQ(c.Exchange(Request(3, 0xD2, mac, enable), kTessel12Port).size(), 1u);
    r = c.Exchange(Request(4, 0xD1, mac), kTessel12Port);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0][22], 1);
    std::vector<uint32_t> states;
    for (uint16_t seq = 5; seq < 8; ++seq) {
        r = c.Exchange(Request(seq, 0x102, mac), kTessel12Port);
        ASSERT_EQ(r.size(), 1u);
        states.push_back(U32(r[0], 22));
    }
    EXPECT_EQ(states, (std::vector<uint32_t>{1, 3, 3}));
    r = c.Exchange(Request(8, 0x105, mac, Auth("admin", "secret")), kTessel12Port);
    ASSERT_EQ(r.size(), 1u);
    ExpectReplyHeader(r[0], 8, 0x105, mac, 0, 64);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&r[0][22])), "https://example.invalid/cam");
}

TEST(EmulatorFaults, RefreshKnobsShapeTheReplies)
{
    LandapEmulator emu(
        NetlabEnv("NETLAB_CAM0_NS"),
        OneCamera(", \"command_faults\": {"
                  "\"refresh\": {\"only_status\": 0, \"drop_first\": 1},"
                  "\"0xAC\": {\"wrong_seq\": true, \"duplicates\": 2, \"junk\": 1},"
                  "\"0xAF\": {\"truncate\": 30, \"body_len\": 500},"
                  "\"0xB2\": {\"error_code\": 7, \"wrong_mac\": \"02:00:5e:77:77:77\"}}"));
    const Bytes mac = MacBytes(NetlabEnv("NETLAB_CAM0_MAC"));
    const Bytes auth = Auth("admin", "secret");
    Client c;
    EXPECT_TRUE(NoReply(c, emu, Request(1, 0xA1, mac, {}, 0)));      // dropped
    EXPECT_TRUE(NoReply(c, emu, Request(2, 0xA1, mac, {}, 0x7777))); // wrong status
    EXPECT_EQ(c.Exchange(Request(3, 0xA1, mac, {}, 0)).size(), 1u);

    auto r = c.Exchange(Request(4, 0xAC, mac, auth));
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[0].size(), 21u);
    ExpectReplyHeader(r[1], 5, 0xAC, mac, 0, 100);
    EXPECT_EQ(r[1], r[3]);

    r = c.Exchange(Request(5, 0xAF, mac, auth));
    ASSERT_EQ(r.size(), 1u);
    ASSERT_EQ(r[0].size(), 30u);
    EXPECT_EQ(U16(r[0], 20), 500);

    r = c.Exchange(Request(6, 0xB2, mac, auth));
    ASSERT_EQ(r.size(), 1u);
    ExpectReplyHeader(r[0], 6, 0xB2, MacBytes("02:00:5e:77:77:77"), 0, 4);
    EXPECT_EQ(U32(r[0], 22), 7u);

    auto log = emu.Requests();
    ASSERT_EQ(log.size(), 6u);
    EXPECT_EQ(log[1].Status(), 0x7777);
    EXPECT_EQ(log[3].Command(), 0xAC);
}

TEST(EmulatorFaults, ForeignMacFloodEnds)
{
    LandapEmulator emu(NetlabEnv("NETLAB_CAM0_NS"),
                       OneCamera(", \"command_faults\": {\"refresh\": {\"flood\": "
                                 "{\"interval_ms\": 20, \"duration_ms\": 400}}}"));
    const Bytes mac = MacBytes(NetlabEnv("NETLAB_CAM0_MAC"));
    Client c;
    const double start = MonotonicNow();
    auto r = c.Exchange(Request(1, 0xA1, mac), kPort, 300);
    EXPECT_LT(MonotonicNow() - start, 1.5);
    EXPECT_GE(r.size(), 10u);
    EXPECT_LE(r.size(), 25u);
    for (const Bytes& d : r) {
        ASSERT_EQ(d.size(), 334u);
        EXPECT_NE(Bytes(d.begin() + 6, d.begin() + 12), mac);
    }
}

TEST(EmulatorFaults, EndlessPagesStopAtTheirCount)
{
    LandapEmulator emu(
        NetlabEnv("NETLAB_CAM0_NS"),
        OneCamera(", \"stations\": 3, \"command_faults\": {\"0xAE\": {\"endless_pages\": 30, "
                  "\"page_interval_ms\": 2, \"page_faults\": {\"4\": {\"stale_seq\": 2}}}}"));
    const Bytes mac = MacBytes(NetlabEnv("NETLAB_CAM0_MAC"));
    Client c;
    auto pages = c.Exchange(Request(9, 0xAE, mac, Auth("admin", "secret")));
    ASSERT_EQ(pages.size(), 30u);
    for (size_t i = 0; i < pages.size(); ++i) {
        ExpectReplyHeader(pages[i], i == 4 ? 7 : 9, 0xAE, mac, 0, 724);
        EXPECT_EQ(U16(pages[i], 744), 0xFFFF);
    }
}
