// Settings records read and written through the camera list, checked byte
// by byte in what the emulated camera received.
#include "CmdTestUtil.h"

using namespace cmdtest;

namespace {

// The single request of this command camera 0 logged, its record after the
// authentication block.
Bytes OnlyRecord(const LandapEmulator& emu, uint16_t command, size_t recordSize)
{
    auto reqs = RequestsTo(emu, 0, command);
    EXPECT_EQ(1u, reqs.size());
    if (reqs.empty())
        return {};
    EXPECT_EQ(kAuth + recordSize, BodyLen(reqs.back()));
    Bytes body = Body(reqs.back());
    EXPECT_EQ(kAuth + recordSize, body.size());
    EXPECT_EQ(Hex(AdminSecret()), Hex(Bytes(body.begin(), body.begin() + kAuth)));
    return Bytes(body.begin() + kAuth, body.end());
}

} // namespace

TEST(FinderCmdSettings, BasicSettingWrittenCommittedAndReadBack)
{
    auto c0 = StartCamera(0, "\"camera_name\": \"Old\", \"web_port\": 80");
    CLANDAPMgr mgr;
    int i = Find(mgr, 0);
    ASSERT_GE(i, 0);

    _LANDAP_Basic_Set b;
    std::snprintf(b.CameraName, sizeof b.CameraName, "Porch");
    b.IPAddr = Addr("192.0.2.50");
    b.WebPort = 8443;
    b.Reserved = 0x02;
    b.CustomizedDNS = 1;
    b.SubnetMask = Addr("255.255.255.0");
    b.Gateway = Addr("192.0.2.254");
    b.DNS1 = Addr("192.0.2.53");
    b.DNS2 = Addr("198.51.100.53");
    b.DHCP = 0;
    testsupport::CaptureDiagOut();
    EXPECT_EQ(kFinderOk, mgr.SetCameraSetting(i, &b));
    EXPECT_EQ(kFinderFail, mgr.SetCameraSetting(i, nullptr));
    std::string out = testsupport::TakeDiagOut();

    Bytes want(89, 0);
    PutText(want, 0, "Porch");
    PutAddr(want, 64, "192.0.2.50");
    PutLE(want, 68, 8443, 2);
    want[70] = 0x02; // HTTPS flag kept
    want[71] = 1;
    PutAddr(want, 72, "255.255.255.0");
    PutAddr(want, 76, "192.0.2.254");
    PutAddr(want, 80, "192.0.2.53");
    PutAddr(want, 84, "198.51.100.53");
    EXPECT_EQ(Hex(want), Hex(OnlyRecord(*c0, 0xA2, 89)));

    // Pending until the commit; the refresh then shows the new setting.
    testsupport::CaptureDiagOut();
    ASSERT_EQ(kFinderOk, mgr.UpdateCameraNetwork(i));
    EXPECT_STREQ("Old", mgr.GetLANDAPObj(i)->GetDeviceInfo().BasicSet.CameraName);
    EXPECT_EQ(kFinderOk, mgr.CommitSettings(i));
    ASSERT_EQ(kFinderOk, mgr.UpdateCameraNetwork(i));
    out = testsupport::TakeDiagOut();
    const _LANDAP_Basic_Set& now = mgr.GetLANDAPObj(i)->GetDeviceInfo().BasicSet;
    EXPECT_STREQ("Porch", now.CameraName);
    EXPECT_EQ(8443, now.WebPort);
    EXPECT_EQ(0x02, now.Reserved);
    EXPECT_EQ(Addr("192.0.2.50"), mgr.GetLANDAPObj(i)->GetCamAddr());

    // The network-setting path: name, port and the two bytes after it zero.
    _NetworkSetting ns;
    ns.DHCP = 1;
    ns.IPAddr = Addr("192.0.2.60");
    ns.SubnetMask = Addr("255.255.0.0");
    ns.Gateway = Addr("192.0.2.1");
    ns.DNS1 = Addr("192.0.2.2");
    ns.DNS2 = Addr("192.0.2.3");
    testsupport::CaptureDiagOut();
    EXPECT_EQ(kFinderOk, mgr.SetCameraNetwork(i, &ns));
    testsupport::TakeDiagOut();
    EXPECT_TRUE(mgr.GetLANDAPObj(i)->IsNetworkChanged());
    auto reqs = RequestsTo(*c0, 0, 0xA2);
    ASSERT_EQ(2u, reqs.size());
    Bytes want2(89, 0);
    PutAddr(want2, 64, "192.0.2.60");
    PutAddr(want2, 72, "255.255.0.0");
    PutAddr(want2, 76, "192.0.2.1");
    PutAddr(want2, 80, "192.0.2.2");
    PutAddr(want2, 84, "192.0.2.3");
    want2[88] = 1;
    Bytes body = Body(reqs[1]);
    EXPECT_EQ(Hex(AuthPlus(want2)), Hex(body));
    // The request after the commit is addressed to the new address.
    uint32_t target = 0;
    std::memcpy(&target, reqs[1].bytes.data() + 12, 4);
    EXPECT_EQ(Addr("192.0.2.50"), target);
}

TEST(FinderCmdSettings, WirelessAndCapabilityRoundTrip)
{
    auto c0 = StartCamera(
        0,
        "\"wireless\": {\"enable\": 1, \"channel\": 6, \"ssid\": \"HomeNet\", \"mode\": 1, "
        "\"encryption\": 2, \"authentication\": 3, \"tx_rate\": 5, \"wpa_key\": \"passphrase\"}, "
        "\"capability\": {\"channels\": 2046, \"modes\": 3, \"encryptions\": 31, "
        "\"authentications\": 63, \"b7\": 7, \"b8\": 8, \"b9\": 9, \"u32_10\": 305419896}");
    CLANDAPMgr mgr;
    int i = Find(mgr, 0);
    ASSERT_GE(i, 0);
    testsupport::CaptureDiagOut();

    _LANDAPWirelessSettings w;
    ASSERT_EQ(kFinderOk, mgr.GetCameraWireless(i, &w));
    EXPECT_EQ(1, w.WirelessEnable);
    EXPECT_EQ(6, w.WirelessChannel);
    EXPECT_STREQ("HomeNet", w.SSID);
    EXPECT_EQ(1, w.WirelessMode);
    EXPECT_EQ(2, w.Encryption);
    EXPECT_EQ(3, w.Authentication);
    EXPECT_EQ(5, w.TxRate);
    EXPECT_STREQ("passphrase", w.WPAKey);

    _LANDAPWirelessCapability cap;
    ASSERT_EQ(kFinderOk, mgr.GetCameraWirelessCap(i, &cap));
    EXPECT_EQ(2046u, cap.ChannelBitmap);
    EXPECT_EQ(3, cap.WirelessModeBits);
    EXPECT_EQ(31, cap.EncryptionBits);
    EXPECT_EQ(63, cap.AuthenticationBits);
    EXPECT_EQ(9, cap.ExtraBytes[2]);
    EXPECT_EQ(0x12345678u, cap.ExtraWord);

    _LANDAPWirelessSettings n;
    n.WirelessEnable = 1;
    n.WirelessChannel = 11;
    std::snprintf(n.SSID, sizeof n.SSID, "Garden");
    n.WirelessMode = 1;
    n.Encryption = 2;
    n.Authentication = 3;
    n.WEPKeyLen = 4;
    n.WEPKeyFormat = 1;
    n.WEPDefKey = 2;
    n.TxRate = 0;
    std::snprintf(n.WEPKey1, sizeof n.WEPKey1, "k1");
    std::snprintf(n.WEPKey4, sizeof n.WEPKey4, "k4");
    std::snprintf(n.WPAKey, sizeof n.WPAKey, "open sesame");
    EXPECT_EQ(kFinderOk, mgr.SetCameraWireless(i, &n));
    _LANDAPWirelessSettings back;
    ASSERT_EQ(kFinderOk, mgr.GetCameraWireless(i, &back));
    testsupport::TakeDiagOut();
    EXPECT_STREQ("Garden", back.SSID);
    EXPECT_EQ(11, back.WirelessChannel);
    EXPECT_STREQ("k4", back.WEPKey4);
    EXPECT_EQ(2, back.WEPDefKey);

    Bytes want(238, 0);
    want[0] = 1;
    want[1] = 11;
    PutText(want, 2, "Garden");
    PutLE(want, 38, 0x0214321, 4);
    PutText(want, 42, "k1");
    PutText(want, 138, "k4");
    PutText(want, 170, "open sesame");
    EXPECT_EQ(Hex(want), Hex(OnlyRecord(*c0, 0xA9, 238)));
    for (const auto& r : RequestsTo(*c0, 0, 0xA8))
        EXPECT_EQ(Hex(AdminSecret()), Hex(Body(r)));
}

TEST(FinderCmdSettings, AdvancedNetworkRoundTrip)
{
    auto c0 = StartCamera(
        0, "\"adv_network\": {\"features\": 3, \"ddns_index\": 1, \"ddns_uid\": \"me\", "
           "\"ddns_server\": \"dyn.example.invalid\"}");
    CLANDAPMgr mgr;
    int i = Find(mgr, 0);
    ASSERT_GE(i, 0);
    testsupport::CaptureDiagOut();
    _LANDAPAdvNetworkSettings a;
    ASSERT_EQ(kFinderOk, mgr.GetCameraAdvNetwork(i, &a));
    EXPECT_EQ(3, a.Features);
    EXPECT_EQ(1, a.DDNSIndex);
    EXPECT_STREQ("me", a.DDNSUID);
    EXPECT_STREQ("dyn.example.invalid", a.DDNSServer);

    _LANDAPAdvNetworkSettings n;
    n.PPPoECredentials = 1;
    std::snprintf(n.PPPoEUID, sizeof n.PPPoEUID, "isp-user");
    std::snprintf(n.PPPoEPWD, sizeof n.PPPoEPWD, "isp-pass");
    n.Features = 0x05;
    n.Status = 0x07;
    n.DDNSIndex = 0;
    std::snprintf(n.DDNSUID, sizeof n.DDNSUID, "you");
    std::snprintf(n.DDNSPWD, sizeof n.DDNSPWD, "pw");
    std::snprintf(n.DDNSServer, sizeof n.DDNSServer, "s");
    EXPECT_EQ(kFinderOk, mgr.SetCameraAdvNetwork(i, &n));
    _LANDAPAdvNetworkSettings back;
    ASSERT_EQ(kFinderOk, mgr.GetCameraAdvNetwork(i, &back));
    testsupport::TakeDiagOut();
    EXPECT_STREQ("isp-pass", back.PPPoEPWD);
    EXPECT_EQ(0x05, back.Features);

    Bytes want(324, 0);
    want[0] = 1;
    PutText(want, 1, "isp-user");
    PutText(want, 65, "isp-pass");
    want[129] = 0x05;
    want[130] = 0x07;
    PutText(want, 132, "you");
    PutText(want, 196, "pw");
    PutText(want, 260, "s");
    EXPECT_EQ(Hex(want), Hex(OnlyRecord(*c0, 0xA7, 324)));
}

TEST(FinderCmdSettings, DatetimeAndSimpleWirelessRoundTrip)
{
    auto c0 = StartCamera(
        0, "\"time\": \"20240131235959\", \"datetime\": {\"u16_16\": 480, \"b18\": 1, \"b19\": 2, "
           "\"text20\": \"pool.ntp.invalid\"}, \"simple_wireless\": {\"b0\": 1, \"ssid\": \"Lab\", "
           "\"b37\": -5, \"b38\": 2, \"b39\": 3, \"b40\": 4, \"key\": \"abc\"}");
    CLANDAPMgr mgr;
    int i = Find(mgr, 0);
    ASSERT_GE(i, 0);
    testsupport::CaptureDiagOut();

    _LANDAPDatetime d;
    ASSERT_EQ(kFinderOk, mgr.GetCameraDatetime(i, &d));
    EXPECT_STREQ("20240131235959", d.LocalTime);
    EXPECT_EQ(480, d.Value16);
    EXPECT_EQ(1, d.Value18);
    EXPECT_EQ(2, d.Value19);
    EXPECT_STREQ("pool.ntp.invalid", d.Text20);
    std::snprintf(d.LocalTime, sizeof d.LocalTime, "20250704120000");
    d.Value16 = 0xBEEF;
    d.Value19 = 9;
    EXPECT_EQ(kFinderOk, mgr.SetCameraDatetime(i, &d));
    _LANDAPDatetime back;
    ASSERT_EQ(kFinderOk, mgr.GetCameraDatetime(i, &back));
    EXPECT_STREQ("20250704120000", back.LocalTime);

    _LANDAPSimpleWireless s;
    ASSERT_EQ(kFinderOk, mgr.GetCameraSimpleWireless(i, &s));
    EXPECT_EQ(1, s.Value0);
    EXPECT_STREQ("Lab", s.SSID);
    EXPECT_EQ(-5, s.Value37);
    EXPECT_EQ(4, s.Value40);
    EXPECT_STREQ("abc", s.Key);
    s.Value37 = -128;
    std::snprintf(s.SSID, sizeof s.SSID, "Shed");
    std::snprintf(s.Key, sizeof s.Key, "%s", std::string(67, 'K').c_str());
    EXPECT_EQ(kFinderOk, mgr.SetCameraSimpleWireless(i, &s));
    _LANDAPSimpleWireless sback;
    ASSERT_EQ(kFinderOk, mgr.GetCameraSimpleWireless(i, &sback));
    testsupport::TakeDiagOut();
    EXPECT_STREQ("Shed", sback.SSID);
    EXPECT_EQ(std::string(67, 'K'), sback.Key);

    Bytes want(100, 0);
    PutText(want, 0, "20250704120000");
    PutLE(want, 16, 0xBEEF, 2);
    want[18] = 1;
    want[19] = 9;
    PutText(want, 20, "pool.ntp.invalid");
    EXPECT_EQ(Hex(want), Hex(OnlyRecord(*c0, 0xAD, 100)));

    Bytes ws(108, 0);
    ws[0] = 1;
    PutText(ws, 1, "Shed");
    ws[37] = 0x80;
    ws[38] = 2;
    ws[39] = 3;
    ws[40] = 4;
    PutText(ws, 41, std::string(67, 'K'));
    EXPECT_EQ(Hex(ws), Hex(OnlyRecord(*c0, 0xB0, 108)));
}

TEST(FinderCmdSettings, StatusRecords)
{
    auto c0 = StartCamera(
        0,
        "\"gateway\": \"192.0.2.254\", \"associated_status\": {\"u32_0\": 1, \"u32_4\": 70, "
        "\"ssid\": \"HomeNet\"}, \"network_status\": {\"u32_0\": 2, \"u32_8\": 3, \"u32_16\": 4}");
    CLANDAPMgr mgr;
    int i = Find(mgr, 0);
    ASSERT_GE(i, 0);
    testsupport::CaptureDiagOut();
    _tLANDAP_Wireless_AssociatedStatus a;
    ASSERT_EQ(kFinderOk, mgr.GetWirelessAssociatedStatus(i, &a));
    EXPECT_EQ(1u, a.Value0);
    EXPECT_EQ(70u, a.Value4);
    EXPECT_STREQ("HomeNet", a.Text8);
    _LANDAPNetworkStatus n;
    ASSERT_EQ(kFinderOk, mgr.QueryNetworkStatus(i, &n));
    EXPECT_EQ(kFinderFail, mgr.QueryNetworkStatus(i, nullptr));
    testsupport::TakeDiagOut();
    EXPECT_EQ(2u, n.Value0);
    EXPECT_EQ(Addr(CamEnv(0, "ADDR")), n.Addr4);
    EXPECT_EQ(3u, n.Value8);
    EXPECT_EQ(Addr("192.0.2.254"), n.Addr12);
    EXPECT_EQ(4u, n.Value16);
    for (uint16_t cmd : {0xB2, 0xC9}) {
        auto reqs = RequestsTo(*c0, 0, cmd);
        ASSERT_EQ(1u, reqs.size()) << cmd;
        EXPECT_EQ(Hex(AdminSecret()), Hex(Body(reqs[0])));
    }
}

TEST(FinderCmdSettings, CommitWaitRestartAndFactoryReset)
{
    auto c0 =
        StartCamera(0, "\"wireless\": {\"ssid\": \"Before\"}, \"command_faults\": {\"0xC0\": "
                       "{\"wait_ms\": 1500, \"result_value\": 1}, \"0xAB\": {\"status\": 2}}");
    CLANDAPMgr mgr;
    int i = Find(mgr, 0);
    ASSERT_GE(i, 0);
    testsupport::CaptureDiagOut();

    _LANDAPWirelessSettings w;
    std::snprintf(w.SSID, sizeof w.SSID, "After");
    ASSERT_EQ(kFinderOk, mgr.SetCameraWireless(i, &w));
    // A restart drops what was not committed.
    EXPECT_EQ(kFinderOk, mgr.ResetCamera(i));
    _LANDAPWirelessSettings got;
    ASSERT_EQ(kFinderOk, mgr.GetCameraWireless(i, &got));
    EXPECT_STREQ("Before", got.SSID);

    ASSERT_EQ(kFinderOk, mgr.SetCameraWireless(i, &w));
    EXPECT_EQ(kFinderOk, mgr.CommitSettings(i));
    _CmdResult r;
    ASSERT_EQ(kFinderOk, mgr.GetLastCmdResult(i, &r));
    EXPECT_EQ(0u, r.code);
    EXPECT_EQ(1u, r.value);
    EXPECT_EQ(1500u, r.waitMs) << "the camera's wait is handed to the caller";
    EXPECT_EQ(kFinderOk, mgr.ResetCamera(i));
    ASSERT_EQ(kFinderOk, mgr.GetLastCmdResult(i, &r));
    EXPECT_EQ(0u, r.waitMs) << "each set starts from a cleared result";
    ASSERT_EQ(kFinderOk, mgr.GetCameraWireless(i, &got));
    EXPECT_STREQ("After", got.SSID);

    // The camera refuses the factory reset with status 2.
    EXPECT_EQ(kFinderCamRefused, mgr.FactoryResetCamera(i));
    ASSERT_EQ(kFinderOk, mgr.GetLastCmdResult(i, &r));
    EXPECT_EQ(0u, r.value);
    EXPECT_EQ(kFinderFail, mgr.CommitSettings(-1));
    testsupport::TakeDiagOut();
    for (uint16_t cmd : {0xAA, 0xAB, 0xC0})
        for (const auto& req : RequestsTo(*c0, 0, cmd))
            EXPECT_EQ(Hex(AdminSecret()), Hex(Body(req))) << cmd;
    EXPECT_EQ(1u, RequestsTo(*c0, 0, 0xC0).size());
}

TEST(FinderCmdSettings, FactoryResetRestoresTheCredentials)
{
    auto c0 = StartCamera(0);
    CLANDAPMgr mgr;
    int i = Find(mgr, 0);
    ASSERT_GE(i, 0);
    testsupport::CaptureDiagOut();
    ASSERT_EQ(kFinderOk, mgr.ChangeAdminPassword(i, "admin", "other"));
    mgr.SetAuthentication(i, "admin", "other");
    EXPECT_EQ(kFinderOk, mgr.FactoryResetCamera(i));
    EXPECT_EQ(kFinderCamAuthFailed, mgr.VerifyAuthorization(i));
    mgr.SetAuthentication(i, "admin", "secret");
    EXPECT_EQ(kFinderOk, mgr.VerifyAuthorization(i));
    testsupport::TakeDiagOut();
}

TEST(FinderCmdSettings, MalformedAndFullWidthReplies)
{
    // 0: body lengths that lie, replies to something else; 1: every text
    // filled to its width.
    auto emu = StartExtraCameras(
        {"\"command_faults\": {\"0xA8\": {\"body_len\": 250}, \"0xA6\": {\"body_len\": 524}, "
         "\"0xAF\": {\"wrong_seq\": true}, "
         "\"0xB2\": {\"wrong_mac\": true}, \"0xC9\": {\"status\": 1}}",
         "\"time\": \"20240131235959\", \"faults\": {\"full_width\": true}, "
         "\"wireless\": {\"ssid\": \"S\"}, \"simple_wireless\": {\"key\": \"k\"}"});
    CLANDAPMgr mgr;
    std::vector<int> idx;
    ASSERT_TRUE(ListSearch(mgr).SearchAndIndex(ExtraMacs(2), &idx));
    const int bad = idx[0], full = idx[1];
    testsupport::CaptureDiagOut();

    _LANDAPWirelessSettings w;
    std::snprintf(w.SSID, sizeof w.SSID, "untouched");
    EXPECT_EQ(kFinderFail, mgr.GetCameraWireless(bad, &w));
    EXPECT_STREQ("untouched", w.SSID);
    _LANDAPWirelessCapability cap;
    EXPECT_EQ(kFinderFail, mgr.GetCameraWirelessCap(bad, &cap));
    _LANDAPAdvNetworkSettings a;
    EXPECT_EQ(kFinderFail, mgr.GetCameraAdvNetwork(bad, &a));
    _LANDAPDatetime d;
    _LANDAPSimpleWireless s;
    EXPECT_EQ(kFinderFail, mgr.GetCameraSimpleWireless(bad, &s));
    _tLANDAP_Wireless_AssociatedStatus as;
    EXPECT_EQ(kFinderFail, mgr.GetWirelessAssociatedStatus(bad, &as));
    _LANDAPNetworkStatus ns;
    EXPECT_EQ(kFinderFail, mgr.QueryNetworkStatus(bad, &ns));
    // Each failure came from one exchange.
    for (uint16_t cmd : {0xA6, 0xA8, 0xAF, 0xB2, 0xC9})
        EXPECT_EQ(cmd == 0xA8 ? 2u : 1u, RequestsTo(*emu, ExtraMac(0), cmd).size()) << cmd;

    // Texts without a terminator end at their field.
    ASSERT_EQ(kFinderOk, mgr.GetCameraWireless(full, &w));
    EXPECT_EQ(36u, std::strlen(w.SSID));
    EXPECT_EQ(68u, std::strlen(w.WPAKey));
    EXPECT_EQ(32u, std::strlen(w.WEPKey3));
    ASSERT_EQ(kFinderOk, mgr.GetCameraDatetime(full, &d));
    EXPECT_EQ("20240131235959##", std::string(d.LocalTime));
    EXPECT_EQ(64u, std::strlen(d.Text20));
    ASSERT_EQ(kFinderOk, mgr.GetCameraSimpleWireless(full, &s));
    EXPECT_EQ(36u, std::strlen(s.SSID));
    EXPECT_EQ(67u, std::strlen(s.Key));
    ASSERT_EQ(kFinderOk, mgr.GetWirelessAssociatedStatus(full, &as));
    EXPECT_EQ(36u, std::strlen(as.Text8));
    ASSERT_EQ(kFinderOk, mgr.GetCameraAdvNetwork(full, &a));
    EXPECT_EQ(64u, std::strlen(a.DDNSServer));
    ASSERT_EQ(kFinderOk, mgr.UpdateCameraNetwork(full));
    testsupport::TakeDiagOut();
    const _LANDAP_Device_Info& info = mgr.GetLANDAPObj(full)->GetDeviceInfo();
    EXPECT_EQ(64u, std::strlen(info.BasicSet.CameraName));
    EXPECT_EQ(32u, std::strlen(info.ModelName));
}

TEST(FinderCmdSettings, MissingCredentialsMessage)
{
    auto c0 = StartCamera(0, "\"user\": \"\", \"password\": \"\"");
    CLANDAPMgr mgr;
    int i = Find(mgr, 0, nullptr);
    ASSERT_GE(i, 0);
    const std::string line = "Authentication information does not exist!\n";

    testsupport::CaptureDiagOut();
    _LANDAPDatetime d;
    EXPECT_EQ(kFinderOk, mgr.GetCameraDatetime(i, &d)) << "the empty block still goes out";
    std::string out = testsupport::TakeDiagOut();
    EXPECT_TRUE(Contains(out, line)) << out;
    auto reqs = RequestsTo(*c0, 0, 0xAC);
    ASSERT_EQ(1u, reqs.size());
    EXPECT_EQ(Hex(Bytes(128, 0)), Hex(Body(reqs[0])));

    // The writers say nothing.
    testsupport::CaptureDiagOut();
    _LANDAPWirelessSettings w;
    EXPECT_EQ(kFinderOk, mgr.SetCameraWireless(i, &w));
    _LANDAPDatetime dt;
    EXPECT_EQ(kFinderOk, mgr.SetCameraDatetime(i, &dt));
    out = testsupport::TakeDiagOut();
    EXPECT_FALSE(Contains(out, line)) << out;

    // With only a user name, the association status still asks for both.
    mgr.SetAuthentication(i, "", "pw");
    testsupport::CaptureDiagOut();
    _LANDAPNetworkStatus ns;
    mgr.QueryNetworkStatus(i, &ns);
    out = testsupport::TakeDiagOut();
    EXPECT_FALSE(Contains(out, line)) << out;
    testsupport::CaptureDiagOut();
    _tLANDAP_Wireless_AssociatedStatus as;
    mgr.GetWirelessAssociatedStatus(i, &as);
    out = testsupport::TakeDiagOut();
    EXPECT_TRUE(Contains(out, line)) << out;
}
