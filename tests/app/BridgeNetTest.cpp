// The bridge object on the headless backend against emulated cameras in a
// test LAN: every method of the search, settings, wireless and remote-access
// contract, with the callback texts byte for byte, and where the live
// picture looks for the camera.
#include "BridgeTestUtil.h"
#include "Emulator.h"
#include "HttpEmulator.h"
#include "LiveViewTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

using bridgetest::N;
using bridgetest::Page;
using bridgetest::S;
using testsupport::LandapEmulator;
using testsupport::NetlabEnv;

namespace {

std::string CamEnv(int i, const char* what)
{
    return NetlabEnv(("NETLAB_CAM" + std::to_string(i) + "_" + what).c_str());
}

// "02:00:5e:00:02:01" as the bridge writes it: "02005E000201".
std::string MacText(int i)
{
    std::string mac = CamEnv(i, "MAC"), out;
    for (char c : mac)
        if (c != ':')
            out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// One emulated camera in netlab camera namespace i; replies to discovery are
// spaced so that the finder lists the cameras in namespace order.
std::unique_ptr<LandapEmulator> StartCamera(int i, const std::string& model,
                                            const std::string& extra = "")
{
    std::string discovery = "\"discovery\": {\"delay_ms\": " + std::to_string(300 * i) + "}";
    std::string faults = "\"command_faults\": {" + discovery + "}";
    std::string rest = extra;
    // A test's own command faults join the discovery spacing.
    size_t at = rest.find("\"command_faults\": {");
    if (at != std::string::npos) {
        rest.insert(at + std::string("\"command_faults\": {").size(), discovery + ", ");
        faults.clear();
    }
    std::string cfg =
        "{\"cameras\": [{\"mac\": \"" + CamEnv(i, "MAC") + "\", \"ip\": \"" + CamEnv(i, "ADDR") +
        "\", \"model\": \"" + model + "\", \"web_port\": " + std::to_string(8000 + i) +
        ", \"gateway\": \"192.0.2.254\", \"dns1\": \"192.0.2.53\", \"user\": \"admin\"" +
        ", \"password\": \"secret\"" + (faults.empty() ? "" : ", " + faults) +
        (rest.empty() ? "" : ", " + rest) + "}]}";
    return std::make_unique<LandapEmulator>(CamEnv(i, "NS"), cfg);
}

// Requests with this command that the emulator took as its own camera's
// (every emulator also logs the broadcasts meant for the others).
int CountCommand(const LandapEmulator& emu, uint16_t command, int cam = -1)
{
    int n = 0;
    for (const auto& r : emu.Requests())
        if (r.bytes.size() >= 22 && r.Command() == command &&
            (cam < 0 || r.camera == CamEnv(cam, "MAC")))
            ++n;
    return n;
}

// A camera name and an SSID that try to break out of their string literals.
const char* kHostileNameJson = R"("Cam \"A\" \\ back\nline\u2028sep</script>")";
const char* kHostileNameScript = R"(Cam \"A\" \\ back\nline\u2028sep<\/script>)";

// Logs in to the camera at index 0 after a search.
void Login(Page& page)
{
    ASSERT_EQ(0, page.Int("VerifyAuth_ID_Password_", {N(0), S("admin"), S("secret")}));
}

} // namespace

// ---- search -------------------------------------------------------------------

TEST(BridgeSearch, TwoCamerasOfTheModelInIndexOrderThenCompletion)
{
    auto c0 = StartCamera(0, "RC-100");
    auto c1 = StartCamera(1, "RC-100");
    auto c2 = StartCamera(2, "RC-200");
    Page page;
    page.Call("SearchCamera_", {S("RC-100")});
    EXPECT_EQ(1u, page.platform.LiveTimers());
    EXPECT_EQ(1, page.Int("CheckThreadComplete") == 0 ? 1 : 0);
    // A tick before the worker has finished does nothing.
    page.platform.FireTimers();
    EXPECT_TRUE(page.Scripts().empty());
    ASSERT_TRUE(page.WaitComplete());
    EXPECT_EQ(1u, page.platform.LiveTimers());
    page.platform.FireTimers();
    EXPECT_EQ(0u, page.platform.LiveTimers());
    std::vector<std::string> want = {"AddCameraList(\"" + MacText(0) + "\",\"0\")",
                                     "AddCameraList(\"" + MacText(1) + "\",\"1\")",
                                     "CompleteSearch()"};
    EXPECT_EQ(want, page.Scripts());
    EXPECT_EQ(2, static_cast<int>(page.platform.Get("iCamCount").number()));
    // The timer is gone: further ticks say nothing.
    page.platform.FireTimers();
    EXPECT_TRUE(page.Scripts().empty());
}

TEST(BridgeSearch, OnlyOtherModelsEndsWithCompletionAlone)
{
    auto c0 = StartCamera(0, "RC-100");
    Page page;
    std::vector<std::string> want = {"CompleteSearch()"};
    EXPECT_EQ(want, page.Search("RC-999"));
}

TEST(BridgeSearch, SearchKeepsTheEarlierOutcomeAndASecondSearchOneTimer)
{
    auto c0 = StartCamera(0, "RC-100");
    Page page;
    ASSERT_EQ((std::vector<std::string>{"AddCameraList(\"" + MacText(0) + "\",\"0\")",
                                        "CompleteSearch()"}),
              page.Search("RC-100"));
    page.Call("TryWireless_", {N(0)});
    ASSERT_TRUE(page.WaitComplete());
    ASSERT_EQ(1, page.Int("QueryResult"));
    // Two searches in a row: the first timer does not live on to repeat
    // the list every second.
    page.Call("SearchCamera_", {S("RC-100")});
    page.Call("SearchCamera_", {S("RC-100")});
    EXPECT_EQ(1u, page.platform.LiveTimers());
    ASSERT_TRUE(page.WaitComplete());
    page.control->JoinWorkersForTest();
    page.platform.FireTimers();
    page.platform.FireTimers();
    std::vector<std::string> want = {"AddCameraList(\"" + MacText(0) + "\",\"0\")",
                                     "CompleteSearch()"};
    EXPECT_EQ(want, page.Scripts());
    EXPECT_EQ(1, page.Int("QueryResult"));
}

// ---- camera information -----------------------------------------------------

TEST(BridgeInfo, CameraInfoTextsAndAddresses)
{
    auto c0 = StartCamera(0, "RC-100",
                          std::string("\"camera_name\": ") + kHostileNameJson + ", \"flags\": 3");
    auto c1 = StartCamera(1, "RC-100", "\"camera_name\": \"Yard\"");
    Page page;
    page.Search("RC-100");
    EXPECT_EQ(1, page.Int("GetCameraInfo_", {N(0)}));
    std::vector<std::string> want = {
        std::string("GatherCameraInfo(\"0\",\"192.0.2.2\",\"255.255.255.0\","
                    "\"192.0.2.254\",\"192.0.2.53\",\"0.0.0.0\",\"8000\",\"") +
        kHostileNameScript + "\",\"1\")"};
    EXPECT_EQ(want, page.Scripts());
    // The index may come as a string, as from a page's form field.
    EXPECT_EQ(1, page.Int("GetCameraInfo_", {S("1")}));
    want = {"GatherCameraInfo(\"0\",\"192.0.2.3\",\"255.255.255.0\",\"192.0.2.254\",\"192.0.2.53\","
            "\"0.0.0.0\","
            "\"8001\",\"Yard\",\"0\")"};
    EXPECT_EQ(want, page.Scripts());

    EXPECT_EQ("https://192.0.2.2:8000", page.Text("GetAddress_", {N(0)}));
    EXPECT_EQ("http://192.0.2.3:8001", page.Text("GetAddress_", {N(1)}));
    EXPECT_EQ("", page.Text("GetAddress_", {N(7)}));
    EXPECT_EQ(0, page.Int("GetCameraInfo_", {N(7)}));
    EXPECT_TRUE(page.Scripts().empty());
}

TEST(BridgeInfo, FullWidthTextsStopAtTheirFields)
{
    auto c0 = StartCamera(
        0, "RC-100",
        "\"camera_name\": \"Wide\", \"command_faults\": {\"refresh\": {\"full_width\": true}}");
    Page page;
    page.Search("RC-100");
    ASSERT_EQ(1, page.Int("GetCameraInfo_", {N(0)}));
    auto scripts = page.Scripts();
    ASSERT_EQ(1u, scripts.size());
    // The name fills its field, continued with "#", and nothing from behind
    // the field follows it.
    std::string name = page.platform.Get("DevInfo").Member("CameraName").string();
    EXPECT_GE(name.size(), 63u);
    EXPECT_LE(name.size(), 64u);
    EXPECT_EQ("Wide" + std::string(name.size() - 4, '#'), name);
    EXPECT_NE(std::string::npos, scripts[0].find(",\"" + name + "\","));
}

TEST(BridgeInfo, TryWirelessReadsUntilTheCameraAnswers)
{
    auto c0 = StartCamera(0, "RC-100", "\"command_faults\": {\"refresh\": {\"drop_first\": 8}}");
    Page page;
    page.Search("RC-100");
    page.Call("TryWireless_", {N(0)});
    ASSERT_TRUE(page.WaitComplete(120));
    EXPECT_EQ(1, page.Int("QueryResult"));
    EXPECT_EQ("192.0.2.2", page.platform.Get("DevInfo").Member("szCamIP").string());
    // A camera the finder does not know: every attempt fails at once.
    page.Call("TryWireless_", {N(9)});
    ASSERT_TRUE(page.WaitComplete());
    EXPECT_EQ(0, page.Int("QueryResult"));
}

TEST(BridgeInfo, VerifyAuthAndSupportedCommands)
{
    auto c0 = StartCamera(0, "RC-100", "\"supported_commands\": [\"0xA1\", \"0xB1\", \"0xC0\"]");
    Page page;
    page.Search("RC-100");
    // The camera answers wrong credentials with status 4.
    EXPECT_EQ(-8, page.Int("VerifyAuth_ID_Password_", {N(0), S("admin"), S("wrong")}));
    EXPECT_EQ(-1, page.Int("VerifyAuth_ID_Password_", {N(5), S("admin"), S("secret")}));
    Login(page);

    page.Call("GetOptionCmd_", {N(0)});
    ASSERT_TRUE(page.WaitComplete());
    EXPECT_EQ(1, page.Int("CheckGetOptionCmd"));
    EXPECT_EQ((std::vector<std::string>{"GatherOptionCmd(\"1\",\"1\",\"0\")"}), page.Scripts());
    // A failed read: no call, and the flags as they were.
    page.Call("GetOptionCmd_", {N(5)});
    ASSERT_TRUE(page.WaitComplete());
    EXPECT_EQ(0, page.Int("CheckGetOptionCmd"));
    EXPECT_TRUE(page.Scripts().empty());
    EXPECT_EQ(1, static_cast<int>(page.platform.Get("bIintSitesurvey").number()));
}

TEST(BridgeInfo, FixedAddressCutToItsFieldsThenDhcpAndCommit)
{
    auto c0 = StartCamera(0, "RC-100", "\"camera_name\": \"Porch\"");
    Page page;
    page.Search("RC-100");
    Login(page);
    ASSERT_EQ(1, page.Int("GetCameraInfo_", {N(0)}));
    page.Scripts();
    page.Call("SetupFixed_IP_Mask_Gateway_DNS1_DNS2_",
              {N(0), S("192.0.2.77"), S("255.255.255.0"), S("192.0.2.1"), S("192.0.2.53"),
               S("198.51.100.100.extra.text")});
    ASSERT_TRUE(page.WaitComplete());
    EXPECT_EQ(1, page.Int("QueryResult"));
    EXPECT_EQ("198.51.100.100.", page.platform.Get("DevInfo").Member("szCamDNS2").string());
    page.Call("CommitSettings_", {N(0)});
    ASSERT_TRUE(page.WaitComplete());
    ASSERT_EQ(1, page.Int("GetCameraInfo_", {N(0)}));
    // The name went back as it was read; the address is the new one.
    std::vector<std::string> want = {
        "GatherCameraInfo(\"0\",\"192.0.2.77\",\"255.255.255.0\",\"192.0.2.1\","
        "\"192.0.2.53\",\"255.255.255.255\",\"8000\",\"Porch\",\"0\")"};
    EXPECT_EQ(want, page.Scripts());

    page.Call("SetupDHCP_", {N(0)});
    ASSERT_TRUE(page.WaitComplete());
    EXPECT_EQ(1, page.Int("QueryResult"));
    page.Call("CommitSettings_", {N(0)});
    ASSERT_TRUE(page.WaitComplete());
    ASSERT_EQ(1, page.Int("GetCameraInfo_", {N(0)}));
    EXPECT_EQ(1, static_cast<int>(page.platform.Get("DevInfo").Member("bCamUseDHCP").number()));
    EXPECT_EQ(2, CountCommand(*c0, 0xA2, 0));
    EXPECT_EQ(2, CountCommand(*c0, 0xC0, 0));
}

// ---- password change ----------------------------------------------------------

TEST(BridgeAuth, PasswordChangeTakesTheNewCredentials)
{
    auto c0 = StartCamera(0, "RC-100");
    Page page;
    page.Search("RC-100");
    Login(page);
    page.Call("SetupAuth_ID_Password_OldPassword_",
              {N(0), S("admin"), S("n3w\"pass"), S("secret")});
    ASSERT_TRUE(page.WaitComplete());
    EXPECT_EQ(1, page.Int("QueryResult"));
    EXPECT_EQ(0, page.Int("QueryAuthError"));
    // The finder now carries the new pair: an authenticated read works.
    EXPECT_EQ(1, page.Int("GetWirelessInfo_", {N(0)}));
    EXPECT_EQ(0, page.Int("VerifyAuth_ID_Password_", {N(0), S("admin"), S("n3w\"pass")}));
}

TEST(BridgeAuth, LostReplyButTheChangeTook)
{
    // The camera takes the change, but its reply arrives cut short.
    auto c0 = StartCamera(0, "RC-100", "\"command_faults\": {\"0xA4\": {\"truncate\": 10}}");
    Page page;
    page.Search("RC-100");
    Login(page);
    page.Call("SetupAuth_ID_Password_OldPassword_", {N(0), S("admin"), S("fresh"), S("secret")});
    ASSERT_TRUE(page.WaitComplete(60));
    EXPECT_EQ(1, page.Int("QueryResult"));
    EXPECT_EQ(1, page.Int("GetWirelessInfo_", {N(0)}));
}

TEST(BridgeAuth, RefusedChangeGoesBackToTheOldPassword)
{
    auto c0 = StartCamera(0, "RC-100", "\"command_faults\": {\"0xA4\": {\"silent\": true}}");
    Page page;
    page.Search("RC-100");
    Login(page);
    page.Call("SetupAuth_ID_Password_OldPassword_", {N(0), S("admin"), S("fresh"), S("secret")});
    ASSERT_TRUE(page.WaitComplete(60));
    EXPECT_EQ(0, page.Int("QueryResult"));
    // Requests now go out with the old password again, which still works.
    EXPECT_EQ(1, page.Int("GetWirelessInfo_", {N(0)}));
    EXPECT_EQ(0, page.Int("VerifyAuth_ID_Password_", {N(0), S("admin"), S("secret")}));
}

// ---- wireless -------------------------------------------------------------------

TEST(BridgeWireless, CapabilityCallsInOrder)
{
    auto c0 = StartCamera(0, "RC-100",
                          "\"capability\": {\"channels\": 2047, \"modes\": 2, \"encryptions\": 21, "
                          "\"authentications\": 42}");
    Page page;
    page.Search("RC-100");
    Login(page);
    EXPECT_EQ(1, page.Int("GetWirelessCap_", {N(0)}));
    std::vector<std::string> want = {"GatherWirelessCapMode(\"0\",\"1\")"};
    for (int ch = 0; ch <= 10; ++ch)
        want.push_back("GatherWirelessCapChannel(\"" + std::to_string(ch) + "\")");
    want.push_back("GatherWirelessCapAuth(\"0\",\"1\",\"0\",\"1\",\"0\",\"1\")");
    want.push_back("GatherWirelessCapEncryption(\"1\",\"0\",\"1\",\"0\",\"1\")");
    EXPECT_EQ(want, page.Scripts());
    EXPECT_EQ(0, page.Int("GetWirelessCap_", {N(4)}));
    EXPECT_TRUE(page.Scripts().empty());
}

TEST(BridgeWireless, ReadPicksTheSelectedKeyAndWriteKeepsTheRest)
{
    auto c0 =
        StartCamera(0, "RC-100",
                    R"("wireless": {"enable": 1, "channel": 6, "ssid": "Home\"Net\\", "mode": 1,
                             "encryption": 2, "authentication": 3, "wep_key_len": 1, "wep_key_format": 1,
                             "wep_def_key": 5, "wep_key1": "one", "wep_key2": "two", "wep_key3": "three",
                             "wep_key4": "four", "wpa_key": "pass\nphrase", "tx_rate": 7})");
    Page page;
    page.Search("RC-100");
    Login(page);
    EXPECT_EQ(1, page.Int("GetWirelessInfo_", {N(0)}));
    std::vector<std::string> want = {
        R"(GatherWirelessInfo("1","1","Home\"Net\\","6","3","2","1","1","5","one","pass\nphrase"))"};
    EXPECT_EQ(want, page.Scripts());

    // Default 5 stores 5 and writes no key; the SSID is cut at 32.
    page.Call("SetupWireless_Enable_SSID_Mode_Channel_Auth_Encryption_WEPLen_WEPFormat_WEPDefault_"
              "WEPKey_WPAKey_",
              {N(0), N(0), S(std::string(40, 's')), N(2), N(11), N(4), N(3), N(2), N(0), N(5),
               S("ignored"), S(std::string(70, 'w'))});
    ASSERT_TRUE(page.WaitComplete());
    EXPECT_EQ(1, page.Int("QueryResult"));
    EXPECT_EQ(1, page.Int("GetWirelessInfo_", {N(0)}));
    want = {"GatherWirelessInfo(\"0\",\"2\",\"" + std::string(32, 's') +
            "\",\"11\",\"4\",\"3\",\"2\",\"0\",\"5\","
            "\"one\",\"" +
            std::string(64, 'w') + "\")"};
    EXPECT_EQ(want, page.Scripts());
    auto w = page.platform.Get("Wireless");
    EXPECT_EQ("two", w.Member("WEPKey2").string());
    EXPECT_EQ(7, static_cast<int>(w.Member("TxRate").number()));

    // Default 2 writes the third key and reports it back.
    page.Call("SetupWireless_Enable_SSID_Mode_Channel_Auth_Encryption_WEPLen_WEPFormat_WEPDefault_"
              "WEPKey_WPAKey_",
              {N(0), N(1), S("Net"), N(1), N(1), N(1), N(1), N(1), N(1), N(2), S("K3"), S("")});
    ASSERT_TRUE(page.WaitComplete());
    EXPECT_EQ(1, page.Int("GetWirelessInfo_", {N(0)}));
    want = {R"(GatherWirelessInfo("1","1","Net","1","1","1","1","1","2","K3",""))"};
    EXPECT_EQ(want, page.Scripts());
}

TEST(BridgeWireless, SiteSurveyRowsWithHostileNames)
{
    auto c0 = StartCamera(0, "RC-100",
                          R"("survey_requires_init": true, "stations": [
                               {"ssid": "a\"b\\c\n\u2029</x>", "signal": 80, "mode": 1, "encryption": 2,
                                "authentication": 3, "channel": 6},
                               {"ssid": "Plain", "signal": 20, "mode": 0, "encryption": 0,
                                "authentication": 0, "channel": 11}])");
    Page page;
    page.Search("RC-100");
    Login(page);
    // Before a scan the camera reports nothing.
    page.Call("GetSiteSurveyInfo_", {N(0)});
    ASSERT_TRUE(page.WaitComplete());
    page.Call("FinishSiteSurvey");
    EXPECT_EQ((std::vector<std::string>{"CompleteSiteSurvey()"}), page.Scripts());
    EXPECT_EQ(1, page.Int("FinishRescanSiteSurvey"));
    EXPECT_TRUE(page.Scripts().empty());

    EXPECT_EQ(1, page.Int("InitSiteSurvey_", {N(0)}));
    page.Call("GetSiteSurveyInfo_", {N(0)});
    ASSERT_TRUE(page.WaitComplete());
    EXPECT_EQ(2, static_cast<int>(page.platform.Get("WSS_iSize").number()));
    page.Call("FinishSiteSurvey");
    std::vector<std::string> rows = {
        R"(GatherSiteSurvey("a\"b\\c\n\u2029<\/x>","80","1","2","3","6"))",
        R"(GatherSiteSurvey("Plain","20","0","0","0","11"))"};
    std::vector<std::string> want = rows;
    want.push_back("CompleteSiteSurvey()");
    EXPECT_EQ(want, page.Scripts());
    EXPECT_EQ(1, page.Int("FinishRescanSiteSurvey"));
    EXPECT_EQ(rows, page.Scripts());
    EXPECT_EQ(0, page.Int("InitSiteSurvey_", {N(3)}));
}

TEST(BridgeWireless, MoreStationsThanRoomGiveNoRows)
{
    auto c0 = StartCamera(0, "RC-100", "\"stations\": 140");
    Page page;
    page.Search("RC-100");
    Login(page);
    page.Call("GetSiteSurveyInfo_", {N(0)});
    ASSERT_TRUE(page.WaitComplete());
    EXPECT_EQ(0, static_cast<int>(page.platform.Get("WSS_iSize").number()));
    page.Call("FinishSiteSurvey");
    EXPECT_EQ((std::vector<std::string>{"CompleteSiteSurvey()"}), page.Scripts());
}

// ---- remote access -----------------------------------------------------------------

TEST(BridgeTessel, EnabledFlagAndSwitch)
{
    auto c0 = StartCamera(0, "RC-100", "\"tessel12\": {\"enabled\": true}");
    auto c1 = StartCamera(1, "RC-100", "\"command_faults\": {\"0xD2\": {\"status\": 2}}");
    Page page;
    page.Search("RC-100");
    Login(page);
    EXPECT_EQ(1, page.Int("IsAlreadyEnableTessel_", {N(0)}));
    EXPECT_EQ(0, page.Int("IsAlreadyEnableTessel_", {N(1)}));
    page.Call("EnableTessel_", {N(0)});
    ASSERT_TRUE(page.WaitComplete());
    EXPECT_EQ(1, page.Int("QueryResult"));
    ASSERT_EQ(0, page.Int("VerifyAuth_ID_Password_", {N(1), S("admin"), S("secret")}));
    page.Call("EnableTessel_", {N(1)});
    ASSERT_TRUE(page.WaitComplete());
    EXPECT_EQ(0, page.Int("QueryResult"));
}

TEST(BridgeTessel, ReadinessPolling)
{
    auto c0 = StartCamera(0, "RC-100", "\"tessel12\": {\"states\": [[1,0,0],[1,0,0],[2,0,0]]}");
    auto c1 = StartCamera(1, "RC-100", "\"tessel12\": {\"states\": [[3,0,0],[1,0,0],[2,0,0]]}");
    auto c2 = StartCamera(2, "RC-100", "\"tessel12\": {\"states\": [[3,0,0],[3,0,0]]}");
    Page page;
    page.control->SetTesselTimingForTest(300, 20000);
    page.Search("RC-100");

    // In progress twice, then working: three polls, success.
    page.Call("IsTesselWorkable_", {N(0)});
    ASSERT_TRUE(page.WaitComplete());
    EXPECT_EQ(1, page.Int("QueryResult"));
    EXPECT_EQ(3, CountCommand(*c0, 0x102, 0));

    // Trouble, then after the pause in progress and working: success.
    auto t0 = std::chrono::steady_clock::now();
    page.Call("IsTesselWorkable_", {N(1)});
    ASSERT_TRUE(page.WaitComplete());
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(300));
    EXPECT_EQ(1, page.Int("QueryResult"));
    EXPECT_EQ(3, CountCommand(*c1, 0x102, 1));

    // Trouble twice: failure after exactly two polls.
    page.Call("IsTesselWorkable_", {N(2)});
    ASSERT_TRUE(page.WaitComplete());
    EXPECT_EQ(0, page.Int("QueryResult"));
    EXPECT_EQ(2, CountCommand(*c2, 0x102, 2));
}

TEST(BridgeTessel, ReadinessThatNeverComesEnds)
{
    auto c0 = StartCamera(0, "RC-100", "\"tessel12\": {\"states\": [[1,0,0]]}");
    Page page;
    page.control->SetTesselTimingForTest(200, 1500);
    page.Search("RC-100");
    auto t0 = std::chrono::steady_clock::now();
    page.Call("IsTesselWorkable_", {N(0)});
    ASSERT_TRUE(page.WaitComplete(20));
    EXPECT_EQ(0, page.Int("QueryResult"));
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(1500));
    EXPECT_GE(CountCommand(*c0, 0x102, 0), 5);
}

TEST(BridgeTessel, ServiceAddress)
{
    auto c0 = StartCamera(0, "RC-100",
                          "\"tessel12\": {\"url\": \"https://remote.example.invalid/porch\"}");
    // 64 characters fill the camera's field with no room for the end.
    auto c1 = StartCamera(1, "RC-100",
                          "\"tessel12\": {\"url\": \"https://" + std::string(56, 'x') + "\"}");
    Page page;
    page.Search("RC-100");
    Login(page);
    ASSERT_EQ(0, page.Int("VerifyAuth_ID_Password_", {N(1), S("admin"), S("secret")}));
    page.Call("GetTavvelURL_", {N(0)});
    ASSERT_TRUE(page.WaitComplete());
    EXPECT_EQ(1, page.Int("QueryResult"));
    EXPECT_EQ("https://remote.example.invalid/porch", page.Text("GetURL"));

    page.Call("GetTavvelURL_", {N(1)});
    ASSERT_TRUE(page.WaitComplete());
    EXPECT_EQ(0, page.Int("QueryResult"));
    EXPECT_EQ("", page.Text("GetURL"));
    EXPECT_EQ(5, CountCommand(*c1, 0x105, 1));
}

// ---- live picture -----------------------------------------------------------

namespace {

// Ticks the drawing timer until the camera's pictures are drawn (at most
// 30 s); their count.
int DrawnFrames(Page& page)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
        page.platform.FireTimers();
        int frames = 0;
        for (const auto& d : page.platform.Drawings())
            frames += d.source == "pixels";
        if (frames > 0 || std::chrono::steady_clock::now() > end)
            return frames;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

} // namespace

// The camera's own address and web port come first: a page whose address
// is out of date still gets the picture. A camera the finder cannot read is
// reached at the page's address.
TEST(BridgeLive, CameraAddressFirstThenThePages)
{
    char tmpl[] = "/tmp/rilo-live-net-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    const std::string dir = tmpl;
    ASSERT_TRUE(liveviewtest::MakeBlockPicture(dir, "blocks", 320, 240));
    auto c0 = StartCamera(0, "RC-100");
    testsupport::HttpEmulator web(liveviewtest::CameraConfig(dir + "/blocks.jpg", 10),
                                  CamEnv(0, "NS"), CamEnv(0, "ADDR"), 8000);
    {
        Page page;
        page.Search("RC-100");
        page.Call("LiveView_IP_Port_ID_Password_AuthType_",
                  {S("0"), S("192.0.2.77"), N(1), S("admin"), S("secret"), N(2)});
        EXPECT_GT(DrawnFrames(page), 0) << web.Output();
        EXPECT_EQ(320, page.platform.LastImage()->width());
        page.Call("StopLiveView");
    }
    const size_t asked = web.Requests().size();
    EXPECT_GT(asked, 0u);
    {
        Page page;
        page.Search("RC-100");
        page.Call("LiveView_IP_Port_ID_Password_AuthType_",
                  {N(9), S(CamEnv(0, "ADDR")), N(8000), S("admin"), S("secret"), N(2)});
        EXPECT_GT(DrawnFrames(page), 0) << web.Output();
    }
    EXPECT_GT(web.Requests().size(), asked);
    std::filesystem::remove_all(dir);
}
