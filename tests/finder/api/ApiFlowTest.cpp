// The exported finder functions end to end, in the order a wizard uses them,
// against emulated cameras inside a netlab test LAN. Only the public header
// and the test support are used.
#include "RiloLANFinderLib.h"

#include "ApiNetUtil.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

using apitest::AddrBytes;
using apitest::CamEnv;
using apitest::Clock;
using apitest::RequestsTo;
using apitest::SecondsSince;
using apitest::StartCamera;
using testsupport::NetlabMacs;
using testsupport::ParseMac;

namespace {

// Camera clocks are read in this zone.
const bool kZoneSet = [] {
    setenv("TZ", "UTC0", 1);
    tzset();
    return true;
}();

// A handle; owns it. Searches through the exported functions.
class Finder : public testsupport::CameraSearch {
public:
    Finder() : m_h(RiloCreateFinder()) {}
    ~Finder() override { RiloDestroyFinder(m_h); }
    void* h() const { return m_h; }

    int Search()
    {
        testsupport::TimedSearch([this] { return RunSearch(); });
        return m_searchResult;
    }
    // Index of netlab camera i in the list, or -1.
    int IndexOf(int cam) { return IndexOfMac(ParseMac(CamEnv(cam, "MAC"))); }
    int Login(int idx, const char* user = "admin", const char* password = "secret")
    {
        return RiloSetFinderCamAuth(m_h, idx, user, password);
    }

protected:
    std::string RunSearch() override
    {
        testing::internal::CaptureStdout();
        m_searchResult = RiloFinderSearch(m_h, 0);
        return testing::internal::GetCapturedStdout();
    }
    int IndexOfMac(const testsupport::Mac& m) override
    {
        MAC_ADDR mac;
        std::memcpy(mac.addr, m.data(), 6);
        return RiloFindCameraIdxByMAC(m_h, &mac);
    }
    bool SetCredentials(int idx, const char* user, const char* password) override
    {
        return Login(idx, user, password) == RILO_FINDER_OK;
    }

private:
    void* m_h;
    int m_searchResult = RILO_FINDER_FAIL;
};

_RiloCamSettings* AsSettings(void* record)
{
    return static_cast<_RiloCamSettings*>(record);
}

// Body of the last logged request, after the authentication block.
std::vector<uint8_t> LastRecord(const testsupport::LandapEmulator& emu, int cam, uint16_t command)
{
    auto reqs = RequestsTo(emu, cam, command);
    if (reqs.empty())
        return {};
    const std::vector<uint8_t>& b = reqs.back().bytes;
    if (b.size() < 22 + 128)
        return {};
    return std::vector<uint8_t>(b.begin() + 22 + 128, b.end());
}

} // namespace

// ---- 1, 2: search, count and information -----------------------------------------

TEST(FinderApiRoad, SearchCountAndInformation)
{
    ASSERT_TRUE(kZoneSet);
    auto c0 = StartCamera(0);
    auto c2 = StartCamera(2, "\"model\": \"RC-200\", \"mask\": \"255.255.255.0\"");
    Finder f;
    ASSERT_EQ(RILO_FINDER_OK, f.Search());
    ASSERT_EQ(2, RiloGetCameraNum(f.h())) << testsupport::LastSearchReport();
    int i0 = f.IndexOf(0);
    int i2 = f.IndexOf(2);
    ASSERT_GE(i0, 0);
    ASSERT_GE(i2, 0);
    EXPECT_NE(i0, i2);
    MAC_ADDR mac;
    ASSERT_EQ(RILO_FINDER_OK, RiloGetCameraMAC(f.h(), i2, &mac));
    EXPECT_EQ(0, std::memcmp(ParseMac(CamEnv(2, "MAC")).data(), mac.addr, 6));
    EXPECT_EQ(RILO_FINDER_FAIL, RiloGetCameraMAC(f.h(), 2, &mac));

    size_t refreshes = RequestsTo(*c0, 0, 0xA1).size();
    _RiloLANDAPCamInfo info;
    std::memset(&info, 0, sizeof info);
    unsigned long size = sizeof info;
    ASSERT_EQ(RILO_FINDER_OK, RiloGetCameraInfo(f.h(), i0, &info, &size));
    EXPECT_EQ(376u, size);
    EXPECT_GT(RequestsTo(*c0, 0, 0xA1).size(), refreshes) << "the information is read again";
    EXPECT_EQ(1, info.SettingsHdr.CamSettingsType);
    EXPECT_EQ(368u, info.SettingsHdr.SettingsBodyLen);
    EXPECT_STREQ("RC-100", info.Body.ModelName);
    EXPECT_STREQ("Porch", info.Body.BasicSet.CameraName);
    EXPECT_STREQ("192.0.2.2", info.Body.BasicSet.Network.szCamIP);
    EXPECT_STREQ("255.255.255.0", info.Body.BasicSet.Network.szCamSubnetMask);
    EXPECT_STREQ("192.0.2.1", info.Body.BasicSet.Network.szCamGateway);
    EXPECT_STREQ("192.0.2.53", info.Body.BasicSet.Network.szCamDNS1);
    EXPECT_EQ(0, info.Body.BasicSet.Network.bCamUseDHCP);
    EXPECT_EQ(2, info.Body.BasicSet.Network.Reserved);
    EXPECT_EQ(8080, info.Body.BasicSet.WebPort);
    EXPECT_EQ(
        0, std::memcmp(ParseMac(CamEnv(0, "MAC")).data(), info.Body.MACAddress.UniData.String, 6));
    EXPECT_EQ(1706745599u, info.Body.Datetime);

    // Too small: the camera is still read, then the size comes back.
    refreshes = RequestsTo(*c0, 0, 0xA1).size();
    size = 0;
    EXPECT_EQ(RILO_FINDER_TOO_SMALL, RiloGetCameraInfo(f.h(), i0, nullptr, &size));
    EXPECT_EQ(376u, size);
    EXPECT_GT(RequestsTo(*c0, 0, 0xA1).size(), refreshes);
    size = 375;
    EXPECT_EQ(RILO_FINDER_TOO_SMALL, RiloGetCameraInfo(f.h(), i0, &info, &size));
    EXPECT_EQ(376u, size);

    // The kept copy: no traffic.
    refreshes = RequestsTo(*c0, 0, 0xA1).size();
    _RiloLANDAPCamInfo kept;
    size = sizeof kept;
    ASSERT_EQ(RILO_FINDER_OK, RiloGetCameraInfoL(f.h(), i2, &kept, &size));
    EXPECT_STREQ("RC-200", kept.Body.ModelName);
    EXPECT_STREQ("198.51.100.7", kept.Body.BasicSet.Network.szCamIP);
    EXPECT_EQ(refreshes, RequestsTo(*c0, 0, 0xA1).size());

    _RiloNetworkInfo net;
    std::memset(&net, 0x5A, sizeof net);
    ASSERT_EQ(RILO_FINDER_OK, RiloGetCameraNetwork(f.h(), i0, &net));
    EXPECT_EQ(0, net.bCamUseDHCP);
    EXPECT_STREQ("192.0.2.2", net.szCamIP);
    EXPECT_STREQ("0.0.0.0", net.szCamDNS2);
    EXPECT_EQ(0x5A, net.CustomizedDNS);
    EXPECT_EQ(0x5A, net.Reserved);

    // Another mode keeps the list; a new search without cam2 voids its index.
    EXPECT_EQ(RILO_FINDER_FAIL, RiloFinderSearch(f.h(), 1));
    EXPECT_EQ(2, RiloGetCameraNum(f.h())) << testsupport::LastSearchReport();
    c2->Stop();
    ASSERT_EQ(RILO_FINDER_OK, f.Search());
    EXPECT_EQ(1, RiloGetCameraNum(f.h())) << testsupport::LastSearchReport();
    EXPECT_EQ(-1, f.IndexOf(2));
}

TEST(FinderApiRoad, SearchWithoutCamerasFails)
{
    Finder f;
    auto t0 = Clock::now();
    EXPECT_EQ(RILO_FINDER_FAIL, f.Search());
    EXPECT_GE(SecondsSince(t0), 2.9) << "the quiet time of a search";
    EXPECT_EQ(0, RiloGetCameraNum(f.h())) << testsupport::LastSearchReport();
}

// ---- 3: credentials and verification -------------------------------------------

// The handle of an earlier search, destroyed as the wizard does before the
// next, changes nothing of the newer handle's list or credentials.
TEST(FinderApiAuth, CredentialsAndVerification)
{
    auto c0 = StartCamera(0);
    auto c1 = StartCamera(1, "\"command_faults\": {\"0xA3\": {\"auth_fail_status\": 2}}");
    void* earlier = RiloCreateFinder();
    RiloDestroyFinder(earlier);
    Finder f;
    std::vector<int> idx;
    ASSERT_TRUE(f.SearchAndIndex(NetlabMacs({0, 1}), &idx, nullptr));
    const int i0 = idx[0], i1 = idx[1];

    EXPECT_EQ(RILO_FINDER_OK, f.Login(i0));
    testing::internal::CaptureStdout();
    EXPECT_EQ(RILO_FINDER_FAIL, RiloSetFinderCamAuth(earlier, i0, "admin", "wrong"));
    EXPECT_EQ(RILO_FINDER_FAIL, RiloFinderSearch(earlier, 1));
    RiloDestroyFinder(earlier);
    EXPECT_EQ("Rilo Lib: Error of parameter!\nRilo Lib: Error of parameter!\n",
              testing::internal::GetCapturedStdout());
    EXPECT_EQ(2, RiloGetCameraNum(f.h()));
    EXPECT_EQ(RILO_FINDER_OK, RiloFinderVerifyAuth(f.h(), i0));
    EXPECT_EQ(RILO_FINDER_OK, f.Login(i0, "admin", "wrong"));
    EXPECT_EQ(RILO_FINDER_AUTH_STATUS4, RiloFinderVerifyAuth(f.h(), i0)) << "status 4";
    EXPECT_EQ(RILO_FINDER_OK, f.Login(i1, "admin", "wrong"));
    EXPECT_EQ(RILO_FINDER_REFUSED, RiloFinderVerifyAuth(f.h(), i1)) << "refused";
    EXPECT_EQ(RILO_FINDER_OK, f.Login(i1));
    EXPECT_EQ(RILO_FINDER_OK, RiloFinderVerifyAuth(f.h(), i1));

    std::string huge(1000, 'x');
    EXPECT_EQ(RILO_FINDER_OK, f.Login(i0, huge.c_str(), huge.c_str()));
    EXPECT_EQ(RILO_FINDER_AUTH_STATUS4, RiloFinderVerifyAuth(f.h(), i0));
    EXPECT_EQ(RILO_FINDER_FAIL, f.Login(5));
    EXPECT_EQ(RILO_FINDER_FAIL, RiloFinderVerifyAuth(f.h(), 5));
}

// ---- 4: supported commands -------------------------------------------------------

TEST(FinderApiOptions, SupportedCommandsWithTheNeededCount)
{
    auto c0 = StartCamera(
        0, "\"supported_commands\": [\"0xA1\", \"0xA6\", \"0xA8\", \"0xB1\", \"0xC0\", \"0xC9\"]");
    Finder f;
    ASSERT_EQ(RILO_FINDER_OK, f.Search());
    ASSERT_EQ(RILO_FINDER_OK, f.Login(0));
    uint16_t codes[50] = {};
    int count = 2;
    EXPECT_EQ(RILO_FINDER_TOO_SMALL, RiloGetLANDAPOptionCmd(f.h(), 0, codes, &count));
    EXPECT_EQ(5, count);
    count = 50;
    ASSERT_EQ(RILO_FINDER_OK, RiloGetLANDAPOptionCmd(f.h(), 0, codes, &count));
    ASSERT_EQ(5, count);
    const uint16_t want[5] = {0xA6, 0xA8, 0xB1, 0xC0, 0xC9};
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(want[k], codes[k]) << k;
    EXPECT_EQ(1u, RequestsTo(*c0, 0, 0xA5).size()) << "served from the cache afterwards";
}

// ---- 5: a fixed address, then DHCP ---------------------------------------------

TEST(FinderApiAddress, FixedAddressThenDHCP)
{
    auto c0 = StartCamera(0, "\"command_faults\": {\"0xA2\": {\"result_value\": 7}}");
    Finder f;
    ASSERT_EQ(RILO_FINDER_OK, f.Search());
    ASSERT_EQ(RILO_FINDER_OK, f.Login(0));
    _RiloLANDAPCamInfo info;
    unsigned long size = sizeof info;
    ASSERT_EQ(RILO_FINDER_OK, RiloGetCameraInfo(f.h(), 0, &info, &size));

    _RiloNetworkInfo& n = info.Body.BasicSet.Network;
    n.bCamUseDHCP = 0;
    std::strcpy(n.szCamIP, "192.0.2.50");
    std::strcpy(n.szCamSubnetMask, "255.255.255.0");
    std::strcpy(n.szCamGateway, "192.0.2.1");
    std::strcpy(n.szCamDNS1, "192.0.2.53");
    n.szCamDNS2[0] = '\0';
    _RiloFinderResult res{99, 99, 99};
    ASSERT_EQ(RILO_FINDER_OK, RiloSetCameraInfo(f.h(), 0, AsSettings(&info), sizeof info, &res, 0));
    EXPECT_EQ(0u, res.Code);
    EXPECT_EQ(7u, res.Value);
    EXPECT_EQ(0u, res.WaitMs);

    std::vector<uint8_t> rec = LastRecord(*c0, 0, 0xA2);
    ASSERT_EQ(89u, rec.size());
    EXPECT_EQ(0, std::memcmp("Porch", rec.data(), 6));
    EXPECT_EQ(AddrBytes("192.0.2.50"), std::vector<uint8_t>(rec.begin() + 64, rec.begin() + 68));
    EXPECT_EQ(0x90, rec[68]); // 8080
    EXPECT_EQ(0x1F, rec[69]);
    EXPECT_EQ(2, rec[70]) << "the HTTPS flag goes back as read";
    EXPECT_EQ(AddrBytes("255.255.255.0"), std::vector<uint8_t>(rec.begin() + 72, rec.begin() + 76));
    EXPECT_EQ(AddrBytes("192.0.2.1"), std::vector<uint8_t>(rec.begin() + 76, rec.begin() + 80));
    EXPECT_EQ(AddrBytes("192.0.2.53"), std::vector<uint8_t>(rec.begin() + 80, rec.begin() + 84));
    EXPECT_EQ(std::vector<uint8_t>(4, 0xFF),
              std::vector<uint8_t>(rec.begin() + 84, rec.begin() + 88));
    EXPECT_EQ(0, rec[88]);

    // A record too short is not sent; the result is still the last one.
    size_t sets = RequestsTo(*c0, 0, 0xA2).size();
    _RiloLANDAPCamInfo bad = info;
    bad.SettingsHdr.SettingsBodyLen = 155;
    res = _RiloFinderResult{99, 99, 99};
    EXPECT_EQ(RILO_FINDER_FAIL, RiloSetCameraInfo(f.h(), 0, AsSettings(&bad), sizeof bad, &res, 0));
    EXPECT_EQ(sets, RequestsTo(*c0, 0, 0xA2).size());
    EXPECT_EQ(7u, res.Value);

    ASSERT_EQ(RILO_FINDER_OK, RiloCommitSettings(f.h(), 0, &res, 0));
    ASSERT_EQ(RILO_FINDER_OK, RiloGetCameraInfo(f.h(), 0, &info, &size));
    EXPECT_STREQ("192.0.2.50", info.Body.BasicSet.Network.szCamIP);

    info.Body.BasicSet.Network.bCamUseDHCP = 1;
    ASSERT_EQ(RILO_FINDER_OK, RiloSetCameraInfo(f.h(), 0, AsSettings(&info), sizeof info, &res, 0));
    rec = LastRecord(*c0, 0, 0xA2);
    ASSERT_EQ(89u, rec.size());
    EXPECT_EQ(1, rec[88]);
}

TEST(FinderApiAddress, FreeAddressOnTheCamerasInterface)
{
    auto c0 = StartCamera(0);
    Finder f;
    ASSERT_EQ(RILO_FINDER_OK, f.Search());
    char text[32] = {};
    short len = 9;
    EXPECT_EQ(RILO_FINDER_TOO_SMALL, RiloGetFreeIP(f.h(), 0, text, &len));
    EXPECT_EQ(10, len);
    len = 10;
    ASSERT_EQ(RILO_FINDER_OK, RiloGetFreeIP(f.h(), 0, text, &len));
    EXPECT_STREQ("192.0.2.2", text) << "eth0 is 192.0.2.1/24";
    EXPECT_EQ(10, len);
    len = sizeof text;
    EXPECT_EQ(RILO_FINDER_FAIL, RiloGetFreeIP(f.h(), 1, text, &len));
}

// ---- 6: password change -----------------------------------------------------------

TEST(FinderApiPassword, ChangeWithAndWithoutALostReply)
{
    auto c0 = StartCamera(0);
    auto c1 = StartCamera(1, "\"command_faults\": {\"0xA4\": {\"wrong_seq\": true}}");
    Finder f;
    std::vector<int> idx;
    ASSERT_TRUE(f.SearchAndIndex(NetlabMacs({0, 1}), &idx));
    const int i0 = idx[0], i1 = idx[1];

    _RiloFinderResult res{};
    EXPECT_EQ(RILO_FINDER_OK, RiloChangeAdminPassword(f.h(), i0, "admin", "newpw", &res, 0));
    EXPECT_EQ(RILO_FINDER_AUTH_STATUS4, RiloFinderVerifyAuth(f.h(), i0))
        << "the old password is gone";
    ASSERT_EQ(RILO_FINDER_OK, f.Login(i0, "admin", "newpw"));
    EXPECT_EQ(RILO_FINDER_OK, RiloFinderVerifyAuth(f.h(), i0));

    // The camera takes the change but its reply is unusable.
    EXPECT_EQ(RILO_FINDER_FAIL, RiloChangeAdminPassword(f.h(), i1, "admin", "other", &res, 0));
    EXPECT_EQ(1u, RequestsTo(*c1, 1, 0xA4).size());
    ASSERT_EQ(RILO_FINDER_OK, f.Login(i1, "admin", "other"));
    EXPECT_EQ(RILO_FINDER_OK, RiloFinderVerifyAuth(f.h(), i1));
}

// ---- 7: wireless and the other settings records ----------------------------------

TEST(FinderApiWireless, ReadAndWrite)
{
    auto c0 = StartCamera(
        0, "\"wireless\": {\"enable\": 1, \"channel\": 6, \"ssid\": \"HomeNet\", \"mode\": 1, "
           "\"encryption\": 2, \"authentication\": 3, \"wpa_key\": \"passphrase\", \"tx_rate\": 5, "
           "\"wep_def_key\": 1, \"wep_key2\": \"abcde\"}");
    Finder f;
    ASSERT_EQ(RILO_FINDER_OK, f.Search());
    ASSERT_EQ(RILO_FINDER_OK, f.Login(0));

    _RiloLANDAPWireless w;
    std::memset(&w, 0, sizeof w);
    unsigned long size = 275;
    EXPECT_EQ(RILO_FINDER_TOO_SMALL, RiloGetWireless(f.h(), 0, AsSettings(&w), &size));
    EXPECT_EQ(276u, size);
    EXPECT_TRUE(RequestsTo(*c0, 0, 0xA8).empty()) << "checked before any traffic";
    ASSERT_EQ(RILO_FINDER_OK, RiloGetWireless(f.h(), 0, AsSettings(&w), &size));
    EXPECT_EQ(276u, size);
    EXPECT_EQ(1, w.SettingsHdr.CamSettingsType);
    EXPECT_EQ(268u, w.SettingsHdr.SettingsBodyLen);
    EXPECT_EQ(1, w.Body.WirelessEnable);
    EXPECT_EQ(6, w.Body.WirelessChannel);
    EXPECT_STREQ("HomeNet", w.Body.SSID);
    EXPECT_EQ(1, w.Body.WirelessMode);
    EXPECT_EQ(2, w.Body.Encryption);
    EXPECT_EQ(3, w.Body.Authentication);
    EXPECT_EQ(5, w.Body.TxRate);
    EXPECT_EQ(1, w.Body.WEPDefKey);
    EXPECT_STREQ("abcde", w.Body.WEPKey2);
    EXPECT_STREQ("passphrase", w.Body.WPAKey);

    _RiloLANDAPWirelessCap cap;
    size = 23;
    EXPECT_EQ(RILO_FINDER_CAP_TOO_SMALL,
              RiloGetWirelessCapability(f.h(), 0, AsSettings(&cap), &size));
    EXPECT_EQ(24u, size);
    ASSERT_EQ(RILO_FINDER_OK, RiloGetWirelessCapability(f.h(), 0, AsSettings(&cap), &size));
    EXPECT_EQ(0x3FFEu, cap.Body.ChannelBitmap);
    EXPECT_EQ(3, cap.Body.WirelessModeBits);
    EXPECT_EQ(0x1F, cap.Body.EncryptionBits);
    EXPECT_EQ(0x3F, cap.Body.AuthenticationBits);

    std::strcpy(w.Body.SSID, "Office");
    w.Body.WirelessMode = 0x13;
    w.Body.WirelessChannel = 11;
    _RiloFinderResult res{};
    ASSERT_EQ(RILO_FINDER_OK, RiloSetWireless(f.h(), 0, AsSettings(&w), sizeof w, &res, 0));
    std::vector<uint8_t> rec = LastRecord(*c0, 0, 0xA9);
    ASSERT_EQ(238u, rec.size());
    EXPECT_EQ(11, rec[1]);
    EXPECT_EQ(0, std::memcmp("Office", rec.data() + 2, 7));
    uint32_t packed = uint32_t(rec[38]) | uint32_t(rec[39]) << 8 | uint32_t(rec[40]) << 16 |
                      uint32_t(rec[41]) << 24;
    EXPECT_EQ(0x05100323u, packed) << std::hex << packed << ": mode nibble 3 of 0x13";

    _RiloLANDAPWireless back;
    size = sizeof back;
    ASSERT_EQ(RILO_FINDER_OK, RiloGetWireless(f.h(), 0, AsSettings(&back), &size));
    EXPECT_STREQ("Office", back.Body.SSID);
    EXPECT_EQ(3, back.Body.WirelessMode);

    size_t sets = RequestsTo(*c0, 0, 0xA9).size();
    w.SettingsHdr.SettingsBodyLen = 267;
    EXPECT_EQ(RILO_FINDER_FAIL, RiloSetWireless(f.h(), 0, AsSettings(&w), sizeof w, &res, 0));
    w.SettingsHdr.SettingsBodyLen = 268;
    EXPECT_EQ(RILO_FINDER_FAIL, RiloSetWireless(f.h(), 0, AsSettings(&w), 275, &res, 0));
    EXPECT_EQ(sets, RequestsTo(*c0, 0, 0xA9).size());
}

TEST(FinderApiWireless, OtherSettingsRecords)
{
    auto c0 = StartCamera(
        0, "\"simple_wireless\": {\"b0\": 1, \"ssid\": \"Simple\", \"b37\": -3, \"key\": \"k\"}, "
           "\"adv_network\": {\"features\": 7, \"set_mask\": 3, \"ddns_index\": 1, "
           "\"ddns_server\": \"dyn.example.invalid\"}, "
           "\"ddns_providers\": [\"DDNS-One\", \"DDNS-Two\"], "
           "\"associated_status\": {\"u32_0\": 1, \"u32_4\": 2, \"ssid\": \"HomeNet\"}, "
           "\"datetime\": {\"u16_16\": 540, \"b18\": 1, \"b19\": 2, \"text20\": \"Zone\"}");
    Finder f;
    ASSERT_EQ(RILO_FINDER_OK, f.Search());
    ASSERT_EQ(RILO_FINDER_OK, f.Login(0));
    _RiloFinderResult res{};

    // Simple wireless: the longest key stays inside the camera's record.
    _RiloLANDAPSimpleWireless s;
    unsigned long size = sizeof s;
    ASSERT_EQ(RILO_FINDER_OK, RiloGetSimpleWireless(f.h(), 0, AsSettings(&s), &size));
    EXPECT_EQ(1, s.Body.Value0);
    EXPECT_STREQ("Simple", s.Body.SSID);
    EXPECT_EQ(-3, s.Body.Value37);
    std::memset(s.Body.Key, 'K', 67);
    s.Body.Key[67] = '\0';
    ASSERT_EQ(RILO_FINDER_OK, RiloSetSimpleWireless(f.h(), 0, AsSettings(&s), sizeof s, &res, 0));
    std::vector<uint8_t> rec = LastRecord(*c0, 0, 0xB0);
    ASSERT_EQ(108u, rec.size());
    EXPECT_EQ(std::vector<uint8_t>(66, 'K'),
              std::vector<uint8_t>(rec.begin() + 41, rec.begin() + 107));
    EXPECT_EQ(0, rec[107]);
    EXPECT_EQ(0xFD, rec[37]);

    // Advanced network: flags as bits, PPPoE credentials by mask bit 3.
    _RiloLANDAPAdvNetwork a;
    size = sizeof a;
    ASSERT_EQ(RILO_FINDER_OK, RiloGetAdvNetwork(f.h(), 0, AsSettings(&a), &size));
    EXPECT_EQ(1, a.Body.UPnPSetting);
    EXPECT_EQ(2, a.Body.DDNSSetting);
    EXPECT_EQ(4, a.Body.PPPoESetting);
    EXPECT_EQ(3u, a.Body.dwSet.NetAdvStatus);
    EXPECT_STREQ("dyn.example.invalid", a.Body.DDNSServer);
    a.Body.dwSet.SettingMask = 8;
    a.Body.PPPoESetting = 1;
    std::strcpy(a.Body.PPPoEUID, "pppuser");
    std::strcpy(a.Body.PPPoEPWD, "ppppass");
    ASSERT_EQ(RILO_FINDER_OK, RiloSetAdvNetwork(f.h(), 0, AsSettings(&a), sizeof a, &res, 0));
    rec = LastRecord(*c0, 0, 0xA7);
    ASSERT_EQ(324u, rec.size());
    EXPECT_EQ(1, rec[0]);
    EXPECT_EQ(0, std::memcmp("pppuser", rec.data() + 1, 8));
    EXPECT_EQ(0, rec[129]) << "feature bit 2 stays clear";
    EXPECT_EQ(8, rec[130]);
    EXPECT_EQ(1, rec[131]);

    // DDNS providers: at most the caller's length, the NUL only where it
    // fits.
    int count = 0;
    ASSERT_EQ(RILO_FINDER_OK, RiloGetDDNSProvidersCount(f.h(), 0, &count));
    EXPECT_EQ(2, count);
    char name[12];
    std::memset(name, 'Z', sizeof name);
    ASSERT_EQ(RILO_FINDER_OK, RiloGetDDNSProviderList(f.h(), 0, 1, name, 4));
    EXPECT_EQ("DDNSZZZZZZZZ", std::string(name, sizeof name))
        << "the name fills the 4 bytes: no NUL";
    std::memset(name, 'Z', sizeof name);
    ASSERT_EQ(RILO_FINDER_OK, RiloGetDDNSProviderList(f.h(), 0, 1, name, 9));
    EXPECT_EQ(std::string("DDNS-Two\0ZZZ", sizeof name), std::string(name, sizeof name));
    EXPECT_EQ(RILO_FINDER_FAIL, RiloGetDDNSProviderList(f.h(), 0, 2, name, 8));

    _RiloLANDAPDatetime t;
    std::memset(&t, 0, sizeof t);
    size = sizeof t;
    ASSERT_EQ(RILO_FINDER_OK, RiloGetCameraDatetime(f.h(), 0, AsSettings(&t), &size));
    EXPECT_EQ(1706745599u, t.Body.Datetime);
    EXPECT_EQ(540, t.Body.Value16);
    EXPECT_EQ(1, t.Body.Value18);
    EXPECT_EQ(2, t.Body.Value19);
    EXPECT_STREQ("Zone", t.Body.Text20);
    t.Body.Datetime = 1700000000;
    ASSERT_EQ(RILO_FINDER_OK, RiloSetCameraDatetime(f.h(), 0, AsSettings(&t), 0, &res, 0));
    rec = LastRecord(*c0, 0, 0xAD);
    ASSERT_EQ(100u, rec.size());
    EXPECT_EQ(0, std::memcmp("20231114221320", rec.data(), 15));

    _RiloWirelessAssociatedStatus as;
    size = sizeof as;
    ASSERT_EQ(RILO_FINDER_OK, RiloGetWirelessAssociatedStatus(f.h(), 0, &as, &size));
    EXPECT_EQ(1, as.Value0);
    EXPECT_EQ(2, as.Value4);
    EXPECT_STREQ("HomeNet", as.SSID);

    _RiloCamNetworkStatus ns;
    ASSERT_EQ(RILO_FINDER_OK, RiloQueryNetworkStatus(f.h(), 0, &ns));
    EXPECT_STREQ("192.0.2.2", ns.Addr4);
    EXPECT_STREQ("192.0.2.1", ns.Addr12);
}

// ---- 8: site survey ----------------------------------------------------------------

TEST(FinderApiSurvey, ScanThenList)
{
    auto c0 = StartCamera(0, "\"stations\": 45, \"survey_requires_init\": true, "
                             "\"command_faults\": {\"0xB1\": {\"wait_ms\": 400}}");
    Finder f;
    ASSERT_EQ(RILO_FINDER_OK, f.Search());
    ASSERT_EQ(RILO_FINDER_OK, f.Login(0));
    std::vector<_RiloWirelessSiteSurInfo> e(64);
    int count = 64;
    ASSERT_EQ(RILO_FINDER_OK, RiloGetWirelessSiteSurInfo(f.h(), 0, e.data(), &count));
    EXPECT_EQ(0, count) << "no scan yet";

    _RiloFinderResult res{};
    auto t0 = Clock::now();
    ASSERT_EQ(RILO_FINDER_OK, RiloInitWirelessSiteSurvey(f.h(), 0, &res, 0));
    EXPECT_GE(SecondsSince(t0), 0.39);
    EXPECT_EQ(400u, res.WaitMs);

    count = 10;
    EXPECT_EQ(RILO_FINDER_TOO_SMALL, RiloGetWirelessSiteSurInfo(f.h(), 0, e.data(), &count));
    EXPECT_EQ(45, count);
    count = 64;
    ASSERT_EQ(RILO_FINDER_OK, RiloGetWirelessSiteSurInfo(f.h(), 0, e.data(), &count));
    ASSERT_EQ(45, count);
    for (int k = 0; k < 45; ++k) {
        SCOPED_TRACE(k);
        char ssid[8];
        std::snprintf(ssid, sizeof ssid, "AP-%02d", k + 1);
        EXPECT_STREQ(ssid, e[size_t(k)].SSID);
        EXPECT_EQ(100 - k, e[size_t(k)].SignalStrength);
        EXPECT_EQ(k % 3, e[size_t(k)].WirelessMode);
        EXPECT_EQ(k % 5, e[size_t(k)].Encryption);
        EXPECT_EQ(k % 6, e[size_t(k)].Authentication);
        EXPECT_EQ(1 + k % 13, e[size_t(k)].Channel);
    }

    // A capacity below one sends nothing; a vast one allocates no more
    // than a read can bring.
    size_t reads = RequestsTo(*c0, 0, 0xAE).size();
    count = 0;
    EXPECT_EQ(RILO_FINDER_FAIL, RiloGetWirelessSiteSurInfo(f.h(), 0, e.data(), &count));
    count = -2;
    EXPECT_EQ(RILO_FINDER_FAIL, RiloGetWirelessSiteSurInfo(f.h(), 0, e.data(), &count));
    EXPECT_EQ(reads, RequestsTo(*c0, 0, 0xAE).size());
    count = INT_MAX;
    ASSERT_EQ(RILO_FINDER_OK, RiloGetWirelessSiteSurInfo(f.h(), 0, e.data(), &count));
    EXPECT_EQ(45, count);
}

// ---- 9: remote access ---------------------------------------------------------------

TEST(FinderApiRemote, EnableQueryAndAddress)
{
    auto c0 = StartCamera(
        0, "\"tessel12\": {\"enabled\": false, \"states\": [[1, 0, 0], [2, 5, 6], [3, 0, 0]], "
           "\"url\": \"https://remote.example.invalid/porch\"}");
    auto c1 = StartCamera(1, "\"command_faults\": {\"0xD2\": {\"status\": 2}}");
    Finder f;
    std::vector<int> idx;
    ASSERT_TRUE(f.SearchAndIndex(NetlabMacs({0, 1}), &idx));
    const int i0 = idx[0], i1 = idx[1];

    int enabled = -1;
    ASSERT_EQ(RILO_FINDER_OK, RiloGetTessel12Enabled(f.h(), i0, &enabled));
    EXPECT_EQ(0, enabled);
    _RiloFinderResult res{};
    ASSERT_EQ(RILO_FINDER_OK, RiloEnableTessel12(f.h(), i0, 1, &res, 0));
    ASSERT_EQ(RILO_FINDER_OK, RiloGetTessel12Enabled(f.h(), i0, &enabled));
    EXPECT_EQ(1, enabled);
    int s = 0, a = 0, b = 0;
    ASSERT_EQ(RILO_FINDER_OK, RiloTessel12QueryProcState(f.h(), i0, &s, &a, &b));
    EXPECT_EQ(1, s);
    ASSERT_EQ(RILO_FINDER_OK, RiloTessel12QueryProcState(f.h(), i0, &s, &a, &b));
    EXPECT_EQ(2, s);
    EXPECT_EQ(5, a);
    EXPECT_EQ(6, b);

    const std::string url = "https://remote.example.invalid/porch";
    char text[80];
    short len = short(url.size());
    EXPECT_EQ(RILO_FINDER_TOO_SMALL, RiloQueryTessel12URL(f.h(), i0, text, &len));
    EXPECT_EQ(short(url.size() + 1), len);
    ASSERT_EQ(RILO_FINDER_OK, RiloQueryTessel12URL(f.h(), i0, text, &len));
    EXPECT_EQ(url, text);
    EXPECT_EQ(short(url.size() + 1), len);

    EXPECT_EQ(RILO_FINDER_REFUSED, RiloEnableTessel12(f.h(), i1, 1, &res, 0)) << "status 2";
}

TEST(FinderApiRemoteSilent, NoAnswerIsNothingAvailable)
{
    auto c0 = StartCamera(0, "\"command_faults\": {\"0xD1\": {\"silent\": true}}");
    Finder f;
    ASSERT_EQ(RILO_FINDER_OK, f.Search());
    int enabled = 77;
    testing::internal::CaptureStdout();
    int rc = RiloGetTessel12Enabled(f.h(), 0, &enabled);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(RILO_FINDER_NOT_AVAILABLE, rc);
    EXPECT_EQ(77, enabled);
}

// ---- 10: commit ---------------------------------------------------------------------

TEST(FinderApiCommit, WaitHonouredOrSkipped)
{
    auto c0 =
        StartCamera(0, "\"command_faults\": {\"0xC0\": {\"wait_ms\": 3000, \"result_value\": 1}}");
    auto c1 = StartCamera(1, "\"command_faults\": {\"0xC0\": {\"wait_ms\": 3000, \"status\": 2}}");
    Finder f;
    std::vector<int> idx;
    ASSERT_TRUE(f.SearchAndIndex(NetlabMacs({0, 1}), &idx));
    const int i0 = idx[0], i1 = idx[1];

    _RiloFinderResult res{};
    auto t0 = Clock::now();
    ASSERT_EQ(RILO_FINDER_OK, RiloCommitSettings(f.h(), i0, &res, 0));
    double waited = SecondsSince(t0);
    // The announced wait is long, so that an exchange slowed by a loaded
    // machine is not taken for it.
    EXPECT_GE(waited, 3.0);
    EXPECT_LT(waited, 6.0);
    EXPECT_EQ(0u, res.Code);
    EXPECT_EQ(1u, res.Value);
    EXPECT_EQ(3000u, res.WaitMs);

    t0 = Clock::now();
    ASSERT_EQ(RILO_FINDER_OK, RiloCommitSettings(f.h(), i0, &res, 1));
    EXPECT_LT(SecondsSince(t0), 2.5) << "noWait 1 skips the wait";
    EXPECT_EQ(3000u, res.WaitMs);

    t0 = Clock::now();
    EXPECT_EQ(RILO_FINDER_FAIL, RiloCommitSettings(f.h(), i1, &res, 0));
    EXPECT_LT(SecondsSince(t0), 2.5) << "a refused commit never sleeps";
}
