// Discovery, refresh, exchange and interface tests inside a netlab test LAN,
// against the emulated cameras.
#include "commands/CmdTestUtil.h"
#include "DiagCapture.h"
#include "Emulator.h"
#include "landap/CLANDAPMgr.h"
#include "landap/CLANDAPObj.h"
#include "net/CBCModule.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

using cmdtest::Addr;
using cmdtest::ParseMac;
using testsupport::CamEnv;
using testsupport::Clock;
using testsupport::LandapEmulator;
using testsupport::LoggedRequest;
using testsupport::NetlabEnv;
using testsupport::SecondsSince;

namespace {

// One emulated camera in netlab camera namespace i, with the netlab MAC and
// address; extra holds further JSON members of the camera object.
std::unique_ptr<LandapEmulator> StartCamera(int i, const std::string& model,
                                            const std::string& extra = "")
{
    return testsupport::StartNetlabCamera(
        i, "\"model\": \"" + model + "\", \"web_port\": " + std::to_string(8000 + i) +
               ", \"gateway\": \"192.0.2.254\"" + (extra.empty() ? "" : ", " + extra));
}

// Requests addressed to camera i (discovery broadcasts excluded).
int CountRequests(const LandapEmulator& emu, int i, uint16_t command, int status = -1)
{
    MAC_ADDR mac = ParseMac(CamEnv(i, "MAC"));
    int n = 0;
    for (const LoggedRequest& r : emu.Requests())
        if (r.bytes.size() >= 22 && r.Command() == command &&
            (status < 0 || r.Status() == status) &&
            std::memcmp(r.bytes.data() + 6, mac.addr, 6) == 0)
            ++n;
    return n;
}

// Runs a search with a short quiet time and returns what it printed.
std::string Search(CLANDAPMgr& mgr, FinderResult* result = nullptr)
{
    return testsupport::TimedSearch([&] {
        testsupport::CaptureDiagOut();
        FinderResult r = mgr.Refresh(1000, nullptr, nullptr);
        if (result)
            *result = r;
        return testsupport::TakeDiagOut();
    });
}

// A missed camera's message: what the search listed, what it printed, and
// what every camera logged, on one clock.
std::string Report(const CLANDAPMgr& mgr)
{
    std::string listed = "the search listed:";
    for (int i = 0; i < mgr.GetCameraNum(); ++i) {
        MAC_ADDR m{};
        char text[24];
        mgr.GetCameraMAC(i, &m);
        std::snprintf(text, sizeof text, " %02x:%02x:%02x:%02x:%02x:%02x", m.addr[0], m.addr[1],
                      m.addr[2], m.addr[3], m.addr[4], m.addr[5]);
        listed += text;
    }
    return listed + "\n" + testsupport::LastSearchReport();
}

bool Contains(const std::string& text, const std::string& what)
{
    return text.find(what) != std::string::npos;
}

} // namespace

TEST(FinderDiscovery, ThreeCamerasInReplyOrderWithTheirRecords)
{
    // Reply order is set by the delays: cam2 (the other subnet) first.
    auto c0 = StartCamera(0, "RC-A", "\"command_faults\": {\"discovery\": {\"delay_ms\": 300}}");
    auto c1 = StartCamera(1, "RC-B", "\"command_faults\": {\"discovery\": {\"delay_ms\": 600}}");
    auto c2 = StartCamera(2, "RC-C", "\"mask\": \"255.255.255.0\"");

    CLANDAPMgr mgr;
    FinderResult result = kFinderFail;
    std::string out = Search(mgr, &result);
    EXPECT_EQ(kFinderOk, result);
    ASSERT_EQ(3, mgr.GetCameraNum()) << Report(mgr);

    const int order[3] = {2, 0, 1};
    const char* models[3] = {"RC-A", "RC-B", "RC-C"};
    for (int idx = 0; idx < 3; ++idx) {
        int cam = order[idx];
        SCOPED_TRACE("camera " + std::to_string(cam));
        MAC_ADDR want = ParseMac(CamEnv(cam, "MAC"));
        MAC_ADDR got{};
        ASSERT_EQ(kFinderOk, mgr.GetCameraMAC(idx, &got));
        EXPECT_EQ(0, std::memcmp(want.addr, got.addr, 6));
        CLANDAPObj* obj = mgr.GetLANDAPObj(idx);
        ASSERT_NE(nullptr, obj);
        const _LANDAP_Device_Info& info = obj->GetDeviceInfo();
        EXPECT_STREQ(models[cam], info.ModelName);
        EXPECT_EQ(0, std::memcmp(want.addr, info.MAC, 6));
        EXPECT_EQ(8000 + cam, info.BasicSet.WebPort);
        EXPECT_EQ(Addr(CamEnv(cam, "ADDR")), obj->GetCamAddr());
        _NetworkSetting ns;
        ASSERT_EQ(kFinderOk, mgr.GetCameraNetwork(idx, &ns));
        EXPECT_EQ(Addr(CamEnv(cam, "ADDR")), ns.IPAddr);
        EXPECT_EQ(Addr("255.255.255.0"), ns.SubnetMask);
        EXPECT_EQ(Addr("192.0.2.254"), ns.Gateway);
        EXPECT_EQ(0u, ns.DHCP);
    }

    // Every camera saw exactly one broadcast discovery request.
    for (auto* emu : {c0.get(), c1.get(), c2.get()}) {
        auto reqs = emu->Requests();
        ASSERT_EQ(1u, reqs.size());
        EXPECT_EQ(0xA1, reqs[0].Command());
        EXPECT_EQ(0, reqs[0].Status());
        EXPECT_EQ(22u, reqs[0].bytes.size());
        EXPECT_EQ(0, std::memcmp(reqs[0].bytes.data() + 6, g_NULLMac, 6));
    }
}

TEST(FinderDiscovery, BadRepliesAreDroppedWithTheirMessages)
{
    // cam0: the good camera, answering three times plus one junk datagram;
    // cam1: an older sequence number; cam2: cut to 40 bytes; a fourth camera
    // beside cam0 with a 300-byte body.
    auto c0 = StartCamera(0, "RC-A",
                          "\"command_faults\": {\"discovery\": {\"duplicates\": 2, \"junk\": 1}}");
    auto c1 = StartCamera(1, "RC-B", "\"command_faults\": {\"discovery\": {\"stale_seq\": 1}}");
    auto c2 = StartCamera(2, "RC-C", "\"command_faults\": {\"discovery\": {\"truncate\": 40}}");
    LandapEmulator odd(CamEnv(0, "NS"),
                       "{\"cameras\": [{\"mac\": \"02:00:5e:00:09:09\", \"ip\": \"192.0.2.9\", "
                       "\"command_faults\": {\"discovery\": {\"body_size\": 300}}}]}");

    CLANDAPMgr mgr;
    FinderResult result = kFinderFail;
    std::string out = Search(mgr, &result);
    EXPECT_EQ(kFinderOk, result);
    ASSERT_EQ(1, mgr.GetCameraNum()) << Report(mgr);
    MAC_ADDR want = ParseMac(CamEnv(0, "MAC"));
    EXPECT_EQ(0, mgr.FindCamIdxByMAC(&want));

    EXPECT_TRUE(Contains(out, "Unknown packet received from addr: " + CamEnv(0, "ADDR") + "\n"))
        << out;
    EXPECT_TRUE(
        Contains(out, "Bad packet received from addr: " + CamEnv(1, "ADDR") + ", Error code: 0\n"))
        << out;
    EXPECT_TRUE(Contains(out, "Immature packet received from addr: " + CamEnv(2, "ADDR") +
                                  ", expect body: 312, only: 18\n"))
        << out;
    EXPECT_FALSE(Contains(out, "192.0.2.9")) << "the wrong-size body is dropped silently";
}

TEST(FinderDiscovery, NewSearchVoidsTheOldList)
{
    auto c0 = StartCamera(0, "RC-A");
    auto c1 = StartCamera(1, "RC-B");
    auto c2 = StartCamera(2, "RC-C");
    CLANDAPMgr mgr;
    Search(mgr);
    ASSERT_EQ(3, mgr.GetCameraNum()) << Report(mgr);
    uint16_t seq = mgr.GetSeqNo();

    c0->Stop();
    c2->Stop();
    Search(mgr);
    EXPECT_EQ(uint16_t(seq + 1), mgr.GetSeqNo());
    ASSERT_EQ(1, mgr.GetCameraNum()) << Report(mgr);
    EXPECT_EQ(nullptr, mgr.GetCameraObj(1));
    MAC_ADDR m{};
    EXPECT_EQ(kFinderFail, mgr.GetCameraMAC(1, &m));
    MAC_ADDR want = ParseMac(CamEnv(1, "MAC"));
    EXPECT_EQ(0, mgr.FindCamIdxByMAC(&want));

    c1->Stop();
    FinderResult result = kFinderOk;
    Search(mgr, &result);
    EXPECT_EQ(kFinderFail, result);
    EXPECT_EQ(0, mgr.GetCameraNum()) << Report(mgr);
}

// ---- a burst of replies ----------------------------------------------------------

namespace {

// What one discovery reply (334 bytes) takes of a receive buffer with the
// kernel's bookkeeping: about 1.3 KB, counted generously.
constexpr int kBytesPerReply = 2048;
constexpr int kMaxBurst = 500;
constexpr int kCamerasPerEmulator = 100;

std::string BurstMac(int k)
{
    char text[32];
    std::snprintf(text, sizeof text, "02:00:5e:10:%02x:%02x", k >> 8, k & 0xFF);
    return text;
}

std::string BurstAddr(int k)
{
    return (k < 250 ? "198.51.100." : "192.0.2.") + std::to_string(k % 250 + 2);
}

// Datagrams this network namespace dropped for a full receive buffer.
long UdpReceiveBufferErrors()
{
    std::ifstream snmp("/proc/net/snmp");
    std::string names, values, line;
    while (std::getline(snmp, line))
        if (line.rfind("Udp: ", 0) == 0)
            (names.empty() ? names : values) = line;
    std::istringstream n(names), v(values);
    std::string name, value;
    while (n >> name && v >> value)
        if (name == "RcvbufErrors")
            return std::stol(value);
    return -1;
}

} // namespace

TEST(FinderBurst, EveryCameraThatAnswersIsListed)
{
    // The burst is what the buffer the kernel grants a search can hold, so
    // the test holds where net.core.rmem_max is small too.
    CBCModule probe;
    ASSERT_EQ(0, probe.Create(nullptr, 0, 1));
    const int granted = probe.SetReceiveBuffer(CLANDAPMgr::kSearchReceiveBuffer);
    probe.Destroy();
    const int burst = std::min(kMaxBurst, granted / kBytesPerReply);
    ASSERT_GE(burst, 100) << "receive buffer granted: " << granted;

    std::vector<std::unique_ptr<LandapEmulator>> emulators;
    std::vector<std::string> macs;
    auto t0 = Clock::now();
    for (int first = 0; first < burst; first += kCamerasPerEmulator) {
        std::vector<std::string> cameras;
        for (int k = first; k < std::min(burst, first + kCamerasPerEmulator); ++k) {
            macs.push_back(BurstMac(k));
            cameras.push_back(testsupport::CameraJson(macs.back(), BurstAddr(k), ""));
        }
        emulators.push_back(
            testsupport::StartCameras(CamEnv(int(emulators.size() % 3), "NS"), cameras));
    }

    const double startSeconds = SecondsSince(t0);
    const long dropsBefore = UdpReceiveBufferErrors();
    CLANDAPMgr mgr;
    std::string out = Search(mgr);
    const long drops = UdpReceiveBufferErrors() - dropsBefore;
    int missing = 0;
    for (const std::string& mac : macs) {
        MAC_ADDR m = ParseMac(mac);
        missing += mgr.FindCamIdxByMAC(&m) < 0 ? 1 : 0;
    }
    std::printf("burst: %d cameras in %zu emulators (started in %.1f s) answered at once, %d "
                "listed; receive "
                "buffer granted %d bytes; %ld replies dropped\n",
                burst, emulators.size(), startSeconds, mgr.GetCameraNum(), granted, drops);
    EXPECT_EQ(0, missing);
    EXPECT_EQ(burst, mgr.GetCameraNum()) << Report(mgr);
    EXPECT_EQ(0, drops) << "replies the kernel dropped for a full receive buffer";
}

TEST(FinderRefresh, CameraAnsweringOnlyTheSecondPass)
{
    // Only requests without the 0x7777 marker are answered.
    auto c0 = StartCamera(0, "RC-A", "\"command_faults\": {\"refresh\": {\"only_status\": 0}}");
    CLANDAPMgr mgr;
    Search(mgr);
    ASSERT_EQ(1, mgr.GetCameraNum()) << Report(mgr);
    uint16_t seq = mgr.GetSeqNo();

    testsupport::CaptureDiagOut();
    auto t0 = Clock::now();
    FinderResult rc = mgr.UpdateCameraNetwork(0);
    double took = SecondsSince(t0);
    std::string out = testsupport::TakeDiagOut();
    EXPECT_EQ(kFinderOk, rc) << out;
    EXPECT_EQ(4, CountRequests(*c0, 0, 0xA1, 0x7777));
    EXPECT_EQ(1, CountRequests(*c0, 0, 0xA1, 0));
    EXPECT_TRUE(Contains(out, "Retry 1 time\nRetry 2 time\nRetry 3 time\n")) << out;
    EXPECT_LT(took, 20.0);
    EXPECT_EQ(uint16_t(seq + 1), mgr.GetSeqNo());
    // The refresh request carries the camera's MAC and address.
    auto reqs = c0->Requests();
    ASSERT_FALSE(reqs.empty());
    const auto& last = reqs.back().bytes;
    MAC_ADDR want = ParseMac(CamEnv(0, "MAC"));
    EXPECT_EQ(0, std::memcmp(last.data() + 6, want.addr, 6));
    uint32_t ip = 0;
    std::memcpy(&ip, last.data() + 12, 4);
    EXPECT_EQ(Addr(CamEnv(0, "ADDR")), ip);
    _NetworkSetting ns;
    ASSERT_EQ(kFinderOk, mgr.GetCameraNetwork(0, &ns));
    EXPECT_EQ(Addr(CamEnv(0, "ADDR")), ns.IPAddr);
}

TEST(FinderRefresh, ForeignSenderIsSkippedAndItsFloodBounded)
{
    // cam0's answer comes behind a datagram of another MAC; cam1 says nothing
    // itself while another MAC floods us for 20 s.
    auto c0 = StartCamera(0, "RC-A",
                          "\"command_faults\": {\"refresh\": {\"flood\": {\"reply\": true, "
                          "\"interval_ms\": 100, \"duration_ms\": 150}}}");
    auto c1 = StartCamera(1, "RC-B",
                          "\"command_faults\": {\"refresh\": {\"flood\": {\"interval_ms\": 20, "
                          "\"duration_ms\": 20000}}}");
    CLANDAPMgr mgr;
    Search(mgr);
    ASSERT_EQ(2, mgr.GetCameraNum()) << Report(mgr);
    MAC_ADDR m0 = ParseMac(CamEnv(0, "MAC")), m1 = ParseMac(CamEnv(1, "MAC"));
    int i0 = mgr.FindCamIdxByMAC(&m0), i1 = mgr.FindCamIdxByMAC(&m1);

    testsupport::CaptureDiagOut();
    EXPECT_EQ(kFinderOk, mgr.UpdateCameraNetwork(i0));
    EXPECT_EQ(1, CountRequests(*c0, 0, 0xA1, 0x7777)) << "no resend for a foreign reply";

    auto t0 = Clock::now();
    EXPECT_EQ(kFinderFail, mgr.UpdateCameraNetwork(i1));
    double took = SecondsSince(t0);
    testsupport::TakeDiagOut();
    EXPECT_LT(took, 8.0);
    // One send per pass: each foreign datagram spent a try.
    EXPECT_EQ(1, CountRequests(*c1, 1, 0xA1, 0x7777));
    EXPECT_EQ(1, CountRequests(*c1, 1, 0xA1, 0));
}

// Builds a commit request in the camera's packet buffer and runs the exchange.
static int Commit(CLANDAPObj* cam, uint16_t seq, std::string* out, double* took)
{
    cam->SetAuthentication("admin", "secret");
    cam->ClearCmdResult();
    cam->BuildAuthRequest(LandapCmdCommitSettings, seq);
    testsupport::CaptureDiagOut();
    auto t0 = Clock::now();
    int n = cam->CommitData(&cam->Packet(), cam->Packet().bytes, CLANDAPObj::kSetReplySize,
                            LandapBaseTimeout, 1, LandapPort);
    *took = SecondsSince(t0);
    *out = testsupport::TakeDiagOut();
    return n;
}

TEST(FinderCommit, SilentCameraGetsEightGrowingTries)
{
    auto c0 = StartCamera(
        0, "RC-A", "\"password\": \"secret\", \"command_faults\": {\"0xC0\": {\"silent\": true}}");
    CLANDAPMgr mgr;
    Search(mgr);
    ASSERT_EQ(1, mgr.GetCameraNum()) << Report(mgr);
    std::string out;
    double took = 0;
    EXPECT_EQ(0, Commit(mgr.GetLANDAPObj(0), 500, &out, &took));
    EXPECT_EQ(8, CountRequests(*c0, 0, 0xC0));
    EXPECT_GT(took, 20.0);
    EXPECT_LT(took, 45.0);
    std::string expect;
    for (int left = 6; left >= 0; --left)
        expect +=
            "Commit Data result:  0 bytes!\nGet iRet=0 != nRcvSize=38, so Retry : last iRetry=" +
            std::to_string(left) + "\n";
    expect += "Commit Data result:  0 bytes!\n";
    EXPECT_TRUE(Contains(out, expect)) << out;
    EXPECT_EQ(kFinderFail, mgr.GetLANDAPObj(0)->CheckSetReply(0, 500));
}

TEST(FinderCommit, ResultsRefusalsAndTheStatusFourStop)
{
    auto c0 = StartCamera(0, "RC-A",
                          "\"password\": \"secret\", \"command_faults\": {\"0xC0\": "
                          "{\"result_value\": 5, \"wait_ms\": 3000}}");
    auto c1 = StartCamera(1, "RC-B",
                          "\"password\": \"secret\", \"command_faults\": {\"0xC0\": "
                          "{\"status\": 4, \"error_code\": 9}}");
    CLANDAPMgr mgr;
    Search(mgr);
    ASSERT_EQ(2, mgr.GetCameraNum()) << Report(mgr);
    MAC_ADDR m0 = ParseMac(CamEnv(0, "MAC"));
    CLANDAPObj* cam = mgr.GetLANDAPObj(mgr.FindCamIdxByMAC(&m0));
    ASSERT_NE(nullptr, cam);

    std::string out;
    double took = 0;
    int n = Commit(cam, 600, &out, &took);
    EXPECT_EQ(38, n) << out;
    EXPECT_EQ(1, CountRequests(*c0, 0, 0xC0));
    EXPECT_EQ(kFinderOk, cam->CheckSetReply(n, 600));
    EXPECT_EQ(5u, cam->GetCmdResult().value);
    EXPECT_EQ(3000u, cam->GetCmdResult().waitMs);
    // The body carried both credentials as Base64.
    const LoggedRequest lastReq = c0->Requests().back();
    const std::vector<uint8_t>& req = lastReq.bytes;
    ASSERT_EQ(22u + 128u, req.size());
    EXPECT_EQ(0, std::memcmp(req.data() + 22, "YWRtaW4=", 9));
    EXPECT_EQ(0, std::memcmp(req.data() + 22 + 64, "c2VjcmV0", 9));
    EXPECT_EQ(0x7777, lastReq.Status());

    // Wrong password: the camera refuses with status 2; one full reply.
    cam->SetAuthentication("admin", "wrong");
    cam->BuildAuthRequest(LandapCmdCommitSettings, 601);
    n = cam->CommitData(&cam->Packet(), cam->Packet().bytes, 38, LandapBaseTimeout, 1, LandapPort);
    EXPECT_EQ(kFinderCamRefused, cam->CheckSetReply(n, 601));
    EXPECT_EQ(kFinderFail, cam->CheckSetReply(n, 602)) << "reply to another request";

    // cam1 answers a 4-byte body with status 4: the retries stop at once.
    MAC_ADDR m1 = ParseMac(CamEnv(1, "MAC"));
    CLANDAPObj* cam1 = mgr.GetLANDAPObj(mgr.FindCamIdxByMAC(&m1));
    cam1->SetAuthentication("admin", "secret");
    cam1->BuildAuthRequest(LandapCmdCommitSettings, 603);
    testsupport::CaptureDiagOut();
    auto t0 = Clock::now();
    n = cam1->CommitData(&cam1->Packet(), cam1->Packet().bytes, 38, LandapBaseTimeout, 1,
                         LandapPort);
    took = SecondsSince(t0);
    out = testsupport::TakeDiagOut();
    EXPECT_EQ(26, n) << out;
    EXPECT_EQ(1, CountRequests(*c1, 1, 0xC0));
    EXPECT_LT(took, 5.0);
    EXPECT_EQ(kFinderCamFailed, cam1->CheckSetReply(n, 603));
    EXPECT_EQ(0u, cam1->GetCmdResult().code) << "a refusal leaves the cleared result";
}

TEST(FinderAdapters, VethLinksWithFixedMACs)
{
    CAdapterEnumerator e;
    e.Refresh();
    int n = e.GetAdapterNum();
    int lo = -1, eth0 = -1, eth1 = -1;
    for (int i = 0; i < n; ++i) {
        std::string name = e.GetAdapter(i)->name;
        if (name == "lo")
            lo = i;
        if (name == "eth0")
            eth0 = i;
        if (name == "eth1")
            eth1 = i;
    }
    ASSERT_GE(lo, 0);
    ASSERT_GE(eth0, 0);
    ASSERT_GE(eth1, 0);

    char text[64];
    EXPECT_EQ(1, e.GetAdapterLocalIP(lo, text, sizeof text));
    EXPECT_STREQ("", text) << "loopback is listed without an address";

    EXPECT_EQ(1, e.GetAdapterLocalIP(eth0, text, sizeof text));
    EXPECT_EQ(NetlabEnv("NETLAB_HOST_ADDR"), text);
    EXPECT_EQ(1, e.GetAdapterMask(eth0, text, sizeof text));
    EXPECT_STREQ("255.255.255.0", text);
    EXPECT_EQ(1, e.GetAdapterBroadcastAddr(eth0, text, sizeof text));
    EXPECT_STREQ("192.0.2.255", text);

    EXPECT_EQ(1, e.GetAdapterLocalIP(eth1, text, sizeof text));
    EXPECT_STREQ("192.0.2.200", text);
    EXPECT_EQ(1, e.GetAdapterMask(eth1, text, sizeof text));
    EXPECT_STREQ("255.255.255.255", text);
    EXPECT_EQ(1, e.GetAdapterBroadcastAddr(eth1, text, sizeof text));
    EXPECT_STREQ("", text) << "no broadcast address on eth1";

    MAC_ADDR mac{};
    MAC_ADDR want0 = ParseMac(NetlabEnv("NETLAB_HOST_MAC")),
             want1 = ParseMac(NetlabEnv("NETLAB_HOST_MAC1"));
    ASSERT_EQ(1, e.GetAdapterMAC(eth0, &mac));
    EXPECT_EQ(0, std::memcmp(want0.addr, mac.addr, 6));
    ASSERT_EQ(1, e.GetAdapterMAC(eth1, &mac));
    EXPECT_EQ(0, std::memcmp(want1.addr, mac.addr, 6));
    EXPECT_EQ(eth0, e.FindAdapterMAC(&want0));
    EXPECT_EQ(eth1, e.FindAdapterMAC(&want1));

    // Address 0 takes the first adapter with address, mask and broadcast:
    // never loopback, never eth1.
    uint32_t any = 0;
    EXPECT_EQ(eth0, e.FindAdapterIP(&any));
    uint32_t a1 = Addr("192.0.2.200"), none = Addr("255.255.255.255"), other = Addr("192.0.2.77");
    EXPECT_EQ(eth1, e.FindAdapterIP(&a1));
    EXPECT_EQ(-1, e.FindAdapterIP(&none)) << "an empty address text matches nothing";
    EXPECT_EQ(-1, e.FindAdapterIP(&other));
    EXPECT_EQ(-1, e.FindAdapterIP(nullptr));

    // Bounded copies: a 16-byte buffer holds the 15-character mask.
    char small[16];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(1, e.GetAdapterMask(eth1, small, sizeof small));
    EXPECT_STREQ("255.255.255.255", small);
    char tiny[4];
    EXPECT_EQ(1, e.GetAdapterLocalIP(eth1, tiny, sizeof tiny));
    EXPECT_EQ(0, std::memcmp(tiny, "192.", 4));
    EXPECT_EQ(0, e.GetAdapterMask(n, text, sizeof text));
    EXPECT_EQ(0, e.GetAdapterMAC(-1, &mac));
    EXPECT_EQ(0, e.GetAdapterMask(eth0, nullptr, 4));

    e.Reset();
    EXPECT_EQ(0, e.GetAdapterNum());
}
