// Offline checks of the LANDAP codecs, the authentication block, the
// set-result decoding and the discovery reply handling.
#include "Common.h"
#include "DiagCapture.h"
#include "landap/CLANDAPMgr.h"
#include "landap/CLANDAPObj.h"
#include "landap/LandapAuth.h"
#include "landap/LandapHeader.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

uint32_t Addr(const char* text)
{
    in_addr a{};
    inet_pton(AF_INET, text, &a);
    return a.s_addr;
}

MAC_ADDR Mac(uint8_t last)
{
    return MAC_ADDR{{0x02, 0x00, 0x5e, 0x00, 0x02, last}};
}

std::vector<uint8_t> DeviceInfoBody(uint8_t macLast, const char* ip, const char* model)
{
    _LANDAP_Device_Info d;
    std::snprintf(d.ModelName, sizeof d.ModelName, "%s", model);
    MAC_ADDR m = Mac(macLast);
    std::memcpy(d.MAC, m.addr, 6);
    d.BasicSet.IPAddr = Addr(ip);
    d.BasicSet.SubnetMask = Addr("255.255.255.0");
    d.BasicSet.Gateway = Addr("192.0.2.254");
    d.BasicSet.DNS1 = Addr("192.0.2.53");
    d.BasicSet.DNS2 = Addr("192.0.2.54");
    d.BasicSet.DHCP = 7; // any non-zero value means DHCP
    d.BasicSet.WebPort = 8080;
    std::vector<uint8_t> body(_LANDAP_Device_Info::WireSize);
    d.Encode(body.data(), body.size());
    return body;
}

std::vector<uint8_t> Reply(uint16_t seq, const MAC_ADDR& mac, const std::vector<uint8_t>& body,
                           uint16_t status = 0)
{
    LandapHeader h;
    h.LandapSignature = LandapReplySignature;
    h.LandapSeqNo = seq;
    h.LandapCommand = LandapCmdGetDeviceInfo;
    std::memcpy(h.LandapTargetMAC, mac.addr, 6);
    h.LandapStatus = status;
    h.LandapFixedOne = 1;
    h.LandapBodyLen = uint16_t(body.size());
    std::vector<uint8_t> d(LandapHeader::WireSize);
    h.Encode(d.data());
    d.insert(d.end(), body.begin(), body.end());
    return d;
}

struct Notified {
    std::vector<std::vector<uint8_t>> bodies;
};

unsigned long Notify(void* ctx, void* body, unsigned long len)
{
    auto* n = static_cast<Notified*>(ctx);
    auto* p = static_cast<uint8_t*>(body);
    n->bodies.emplace_back(p, p + len);
    return 0;
}

// The manager with its notification set, fed datagrams by hand.
class TestMgr : public CLANDAPMgr {
public:
    void SetNotify(LANCamNotify n, void* ctx)
    {
        m_Notify = n;
        m_NotifyCtx = ctx;
    }
    std::string Feed(const std::vector<uint8_t>& d, const char* from = "192.0.2.9")
    {
        sockaddr_in s{};
        s.sin_family = AF_INET;
        s.sin_addr.s_addr = Addr(from);
        uint32_t bound = Addr("192.0.2.1");
        testsupport::CaptureDiagOut();
        DoFoundCamera(d.data(), d.size(), &s, &bound);
        return testsupport::TakeDiagOut();
    }
};

// A valid camera object for exchanges built offline.
std::unique_ptr<CLANDAPObj> MakeCam(uint8_t macLast)
{
    auto cam = std::make_unique<CLANDAPObj>();
    auto body = DeviceInfoBody(macLast, "192.0.2.2", "RC-100");
    MAC_ADDR m = Mac(macLast);
    uint32_t intf = 0;
    EXPECT_EQ(kFinderOk, cam->AssignInitData(body.data(), body.size(), &m, &intf));
    return cam;
}

} // namespace

TEST(LandapCodec, HeaderRoundTripAtOffsets)
{
    LandapHeader h;
    h.LandapSignature = LandapRequestSignature;
    h.LandapSeqNo = 0x1234;
    h.LandapCommand = LandapCmdQueryTessel12URL;
    const uint8_t mac[6] = {1, 2, 3, 4, 5, 6};
    std::memcpy(h.LandapTargetMAC, mac, 6);
    h.LandapTargetIP = Addr("192.0.2.2");
    h.LandapStatus = LandapRequestMarker;
    h.LandapFixedOne = 1;
    h.LandapBodyLen = 0x0180;
    uint8_t b[22];
    h.Encode(b);
    const uint8_t want[22] = {0xFD, 0xFD, 0x34, 0x12, 0x05, 0x01, 1,    2, 3, 4,    5,
                              6,    192,  0,    2,    2,    0x77, 0x77, 1, 0, 0x80, 0x01};
    EXPECT_EQ(0, std::memcmp(b, want, 22));
    LandapHeader d = LandapHeader::Decode(b);
    EXPECT_EQ(0x1234, d.LandapSeqNo);
    EXPECT_EQ(0x105, d.LandapCommand);
    EXPECT_EQ(Addr("192.0.2.2"), d.LandapTargetIP);
    EXPECT_EQ(0x180, d.LandapBodyLen);
}

TEST(LandapAuthBlock, HalvesAreCutAndPaddedAt64Characters)
{
    auto cam = MakeCam(1);
    std::string user48(48, 'u');
    std::string user49 = user48 + "X";
    std::string pw(1000, 'p'); // far beyond any fixed buffer

    uint8_t block[128];
    uint16_t len = 0;
    cam->SetAuthentication(user48.c_str(), pw.c_str());
    cam->MakeAuthField(block, &len);
    EXPECT_EQ(128, len);
    unsigned char want48[80] = {};
    Base64_Encode(reinterpret_cast<const unsigned char*>(user48.data()), 48, want48);
    ASSERT_EQ(64u, std::strlen(reinterpret_cast<char*>(want48)));
    EXPECT_EQ(0, std::memcmp(block, want48, 64)) << "64 characters, no terminator";
    unsigned char wantPw[80] = {};
    Base64_Encode(reinterpret_cast<const unsigned char*>(pw.data()), 48, wantPw);
    EXPECT_EQ(0, std::memcmp(block + 64, wantPw, 64));
    EXPECT_EQ(127u, std::strlen(cam->GetPassword())) << "plain copy keeps 127 characters";

    // 49 characters: the same first 64 characters, the rest cut.
    uint8_t block49[128];
    cam->SetAuthentication(user49.c_str(), "");
    cam->MakeAuthField(block49, &len);
    EXPECT_EQ(0, std::memcmp(block49, want48, 64));
    for (int i = 64; i < 128; ++i)
        EXPECT_EQ(0, block49[i]) << "empty password gives zeros";

    // Short values are terminated and padded; absent ones give zeros.
    cam->SetAuthentication("admin", nullptr);
    std::memset(block, 0xAA, sizeof block);
    cam->MakeAuthField(block, &len);
    EXPECT_EQ(std::string("YWRtaW4="), std::string(reinterpret_cast<char*>(block)));
    for (int i = 8; i < 128; ++i)
        EXPECT_EQ(0, block[i]);
    EXPECT_STREQ("", cam->GetPassword());

    // Null pointers do nothing.
    cam->MakeAuthField(nullptr, &len);
    cam->MakeAuthField(block, nullptr);
}

TEST(LandapAuthBlock, RequestsCarryRecordAfterBlockAndWarnWithoutCredentials)
{
    auto cam = MakeCam(1);
    testsupport::CaptureDiagOut();
    cam->WarnIfNoAuthentication(false);
    EXPECT_EQ("Authentication information does not exist!\n", testsupport::TakeDiagOut());

    cam->BuildAuthRequest(LandapCmdCommitSettings, 77);
    LandapHeader h = cam->Packet().Header();
    EXPECT_EQ(128, h.LandapBodyLen);
    EXPECT_EQ(LandapRequestMarker, h.LandapStatus);
    EXPECT_EQ(Addr("192.0.2.2"), h.LandapTargetIP);
    for (int i = 0; i < 128; ++i)
        ASSERT_EQ(0, cam->Packet().Body()[i]) << "empty credentials still give a zero block";

    cam->SetAuthentication("admin", "");
    testsupport::CaptureDiagOut();
    cam->WarnIfNoAuthentication(false);
    cam->WarnIfNoAuthentication(true);
    EXPECT_EQ("Authentication information does not exist!\n", testsupport::TakeDiagOut());

    const uint8_t rec[5] = {9, 8, 7, 6, 5};
    cam->BuildRecordRequest(LandapCmdSetCameraSetting, 78, rec, sizeof rec);
    EXPECT_EQ(133, cam->Packet().Header().LandapBodyLen);
    EXPECT_EQ(0, std::memcmp(cam->Packet().Body(), "YWRtaW4=", 9));
    EXPECT_EQ(0, std::memcmp(cam->Packet().Body() + 128, rec, 5));
}

TEST(LandapSetReply, DecodingOfResultsAndFailures)
{
    auto cam = MakeCam(3);
    MAC_ADDR mac = Mac(3);
    auto setReply = [&](uint16_t seq, const MAC_ADDR& m, uint16_t status,
                        std::vector<uint8_t> body) {
        auto d = Reply(seq, m, body, status);
        d.resize(CLANDAPObj::kSetReplySize, 0);
        std::memcpy(cam->Packet().bytes, d.data(), d.size());
        return int(LandapHeader::WireSize + body.size());
    };
    std::vector<uint8_t> result16(16, 0);
    result16[4] = 5; // value 5
    result16[8] = 0xB8;
    result16[9] = 0x0B; // wait 3000 ms

    int n = setReply(10, mac, 0, result16);
    EXPECT_EQ(kFinderOk, cam->CheckSetReply(n, 10));
    EXPECT_EQ(0u, cam->GetCmdResult().code);
    EXPECT_EQ(5u, cam->GetCmdResult().value);
    EXPECT_EQ(3000u, cam->GetCmdResult().waitMs);

    n = setReply(11, mac, 0, {7, 0, 0, 0});
    EXPECT_EQ(kFinderCamFailed, cam->CheckSetReply(n, 11));
    EXPECT_EQ(7u, cam->GetCmdResult().code);
    EXPECT_EQ(0u, cam->GetCmdResult().waitMs);

    cam->ClearCmdResult();
    n = setReply(12, mac, 2, result16);
    EXPECT_EQ(kFinderCamRefused, cam->CheckSetReply(n, 12));
    EXPECT_EQ(0u, cam->GetCmdResult().value) << "a refusal leaves the result alone";
    n = setReply(13, mac, 4, result16);
    EXPECT_EQ(kFinderCamFailed, cam->CheckSetReply(n, 13));

    n = setReply(14, mac, 0, result16);
    EXPECT_EQ(kFinderFail, cam->CheckSetReply(n, 15)) << "older request";
    EXPECT_EQ(kFinderFail, cam->CheckSetReply(0, 14)) << "nothing arrived";
    EXPECT_EQ(kFinderFail, cam->CheckSetReply(10, 14)) << "shorter than a header";
    n = setReply(16, Mac(9), 0, result16);
    EXPECT_EQ(kFinderFail, cam->CheckSetReply(n, 16)) << "another camera";
    EXPECT_EQ(kFinderFail, cam->CheckGetReply(n, 16));

    EXPECT_EQ(kFinderBadRecord, cam->ProcessResponse(nullptr));
    setReply(17, mac, 0, result16);
    EXPECT_EQ(kFinderOk, cam->ProcessResponse(&cam->Packet()));

    // A camera object not yet filled matches no reply.
    CLANDAPObj blank;
    std::memcpy(blank.Packet().bytes, cam->Packet().bytes, CLANDAPObj::kSetReplySize);
    EXPECT_EQ(kFinderFail, blank.CheckGetReply(int(CLANDAPObj::kSetReplySize), 17));
}

TEST(LandapDiscoveryReplies, MalformedStaleAndForeignRepliesAreDropped)
{
    TestMgr mgr;
    Notified notified;
    mgr.SetNotify(Notify, &notified);
    uint16_t seq = mgr.GetSeqNo();

    EXPECT_EQ("Unknown packet received from addr: 192.0.2.9\n",
              mgr.Feed(std::vector<uint8_t>(21, 0x30)));
    auto immature = Reply(seq, Mac(1), std::vector<uint8_t>(30, 0));
    immature.resize(40);
    EXPECT_EQ("Immature packet received from addr: 192.0.2.9, expect body: 30, only: 18\n",
              mgr.Feed(immature));
    EXPECT_EQ("Bad packet received from addr: 192.0.2.9, Error code: 0\n",
              mgr.Feed(Reply(uint16_t(seq - 1), Mac(1), DeviceInfoBody(1, "192.0.2.2", "A"))));
    EXPECT_EQ("Bad packet received from addr: 198.51.100.7, Error code: 3\n",
              mgr.Feed(Reply(seq, Mac(1), DeviceInfoBody(1, "192.0.2.2", "A"), 3), "198.51.100.7"));
    auto wrongCmd = Reply(seq, Mac(1), {});
    wrongCmd[4] = 0xA2;
    EXPECT_EQ("Bad packet received from addr: 192.0.2.9, Error code: 0\n", mgr.Feed(wrongCmd));
    EXPECT_EQ("", mgr.Feed(Reply(seq, Mac(1), std::vector<uint8_t>(311, 0))))
        << "a body that is not 312 bytes goes without a message";
    EXPECT_EQ(0, mgr.GetCameraNum());
    EXPECT_TRUE(notified.bodies.empty());
}

TEST(LandapDiscoveryReplies, FirstReplyPerMACWinsInArrivalOrder)
{
    TestMgr mgr;
    Notified notified;
    mgr.SetNotify(Notify, &notified);
    uint16_t seq = mgr.GetSeqNo();
    auto b1 = DeviceInfoBody(1, "192.0.2.2", "first");
    auto b2 = DeviceInfoBody(2, "198.51.100.7", "second");
    mgr.Feed(Reply(seq, Mac(2), b2));
    mgr.Feed(Reply(seq, Mac(1), b1));
    mgr.Feed(Reply(seq, Mac(2), DeviceInfoBody(2, "192.0.2.99", "again")));

    ASSERT_EQ(2, mgr.GetCameraNum());
    ASSERT_EQ(2u, notified.bodies.size());
    EXPECT_EQ(b2, notified.bodies[0]);
    EXPECT_EQ(b1, notified.bodies[1]);

    MAC_ADDR m{};
    ASSERT_EQ(kFinderOk, mgr.GetCameraMAC(0, &m));
    EXPECT_EQ(0, std::memcmp(m.addr, Mac(2).addr, 6));
    MAC_ADDR m1 = Mac(1);
    EXPECT_EQ(1, mgr.FindCamIdxByMAC(&m1));
    CLANDAPObj* cam = mgr.GetLANDAPObj(0);
    ASSERT_NE(nullptr, cam);
    EXPECT_STREQ("second", cam->GetDeviceInfo().ModelName);
    EXPECT_EQ(Addr("198.51.100.7"), cam->GetCamAddr());
    EXPECT_EQ(0, std::memcmp(cam->GetDeviceInfoBytes(), b2.data(), b2.size()));

    _NetworkSetting ns;
    ASSERT_EQ(kFinderOk, mgr.GetCameraNetwork(0, &ns));
    EXPECT_EQ(1u, ns.DHCP);
    EXPECT_EQ(Addr("198.51.100.7"), ns.IPAddr);
    EXPECT_EQ(Addr("255.255.255.0"), ns.SubnetMask);
    EXPECT_EQ(Addr("192.0.2.254"), ns.Gateway);
    EXPECT_EQ(Addr("192.0.2.53"), ns.DNS1);
    EXPECT_EQ(Addr("192.0.2.54"), ns.DNS2);
    uint32_t intf = 0;
    EXPECT_EQ(kFinderOk, mgr.GetCamObjIntf(0, &intf));
    EXPECT_EQ(Addr("192.0.2.1"), intf);

    mgr.Reset();
    EXPECT_EQ(0, mgr.GetCameraNum());
    EXPECT_EQ(nullptr, mgr.FindCamByMAC(&m1));
}

TEST(LandapCameraList, IndexesOutsideTheListNameNoCamera)
{
    TestMgr mgr;
    mgr.Feed(Reply(mgr.GetSeqNo(), Mac(1), DeviceInfoBody(1, "192.0.2.2", "A")));
    ASSERT_EQ(1, mgr.GetCameraNum());
    uint16_t seq = mgr.GetSeqNo();
    _NetworkSetting ns;
    _CmdResult r;
    MAC_ADDR m;
    uint32_t intf;
    for (int i : {-1, 1, 1000}) {
        EXPECT_EQ(nullptr, mgr.GetCameraObj(i));
        EXPECT_EQ(kFinderFail, mgr.GetCameraMAC(i, &m));
        EXPECT_EQ(kFinderFail, mgr.GetCamObjIntf(i, &intf));
        EXPECT_EQ(kFinderFail, mgr.GetLastCmdResult(i, &r));
        EXPECT_EQ(kFinderFail, mgr.SetAuthentication(i, "a", "b"));
        EXPECT_EQ(kFinderFail, mgr.VerifyAuthorization(i));
        EXPECT_EQ(kFinderFail, mgr.UpdateCameraNetwork(i));
        EXPECT_EQ(kFinderFail, mgr.GetCameraNetwork(i, &ns));
        EXPECT_EQ(kFinderFail, mgr.ChangeAdminPassword(i, "a", "b"));
        EXPECT_EQ(kFinderFail, mgr.SetCameraNetwork(i, &ns));
    }
    EXPECT_EQ(seq, mgr.GetSeqNo()) << "no number is spent on a missing camera";
    EXPECT_EQ(kFinderFail, mgr.GetCameraNetwork(0, nullptr));
    EXPECT_EQ(kFinderFail, mgr.ChangeAdminPassword(0, "a", nullptr));
    EXPECT_EQ(kFinderOk, mgr.SetAuthentication(0, "admin", "pw"));
    EXPECT_STREQ("admin", mgr.GetCameraObj(0)->GetUserName());
    EXPECT_EQ(kFinderOk, mgr.GetLastCmdResult(0, &r));
    EXPECT_EQ(kFinderFail, mgr.SearchCamByIntf(nullptr, 8, 0));
    EXPECT_EQ(kFinderFail, mgr.SearchCamByIntf("0.0.0.0", 0, 0));
}
