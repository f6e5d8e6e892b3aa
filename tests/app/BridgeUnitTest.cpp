// The bridge's texts, conversions and scripting surface, and its start-up and
// shutdown, offline: nothing here reaches a network.
#include "BridgeTestUtil.h"
#include "ScriptText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <vector>

using bridgetest::N;
using bridgetest::Page;
using bridgetest::S;
using platform::ScriptValue;
using scripttext::Call;
using scripttext::CopyToField;
using scripttext::FieldText;
using scripttext::QuoteBody;
using scripttext::ValidUtf8;

TEST(ScriptTextQuote, EveryBreakingCharacterIsEscaped)
{
    EXPECT_EQ("plain text", QuoteBody("plain text"));
    EXPECT_EQ("a\\\"b\\\\c", QuoteBody("a\"b\\c"));
    EXPECT_EQ("l1\\nl2\\rl3\\tx", QuoteBody("l1\nl2\rl3\tx"));
    EXPECT_EQ("\\u2028\\u2029", QuoteBody("\xE2\x80\xA8\xE2\x80\xA9"));
    EXPECT_EQ("\\u0000\\u0001\\u001F\\u007F", QuoteBody(std::string("\0\x01\x1F\x7F", 4)));
    EXPECT_EQ("<\\/script>", QuoteBody("</script>"));
    // Other non-ASCII text passes as it is.
    EXPECT_EQ("Caf\xC3\xA9 \xE2\x80\xA6", QuoteBody("Caf\xC3\xA9 \xE2\x80\xA6"));
    EXPECT_EQ("F(\"a\",\"1\")", Call("F", {"a", "1"}));
    EXPECT_EQ("CompleteSearch()", Call("CompleteSearch", {}));
}

TEST(ScriptTextUtf8, InvalidBytesBecomeReplacementCharacters)
{
    EXPECT_EQ("ok", ValidUtf8("ok"));
    EXPECT_EQ("a\xEF\xBF\xBD"
              "b",
              ValidUtf8("a\xFF"
                        "b"));
    // Overlong, surrogate and cut sequences.
    EXPECT_EQ("\xEF\xBF\xBD\xEF\xBF\xBD", ValidUtf8("\xC0\xAF"));
    EXPECT_EQ("\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD", ValidUtf8("\xED\xA0\x80"));
    EXPECT_EQ("x\xEF\xBF\xBD\xEF\xBF\xBD", ValidUtf8("x\xE2\x80"));
    EXPECT_EQ("\xF0\x9F\x98\x80", ValidUtf8("\xF0\x9F\x98\x80"));
}

TEST(ScriptTextFields, CopiesStopAtTheField)
{
    struct {
        char field[16];
        char guard[4];
    } rec;
    std::memset(&rec, 'G', sizeof rec);
    CopyToField(rec.field, std::string(40, 'x'));
    EXPECT_EQ(std::string(15, 'x'), FieldText(rec.field));
    EXPECT_EQ(std::string(4, 'G'), std::string(rec.guard, 4));
    // A cut never ends inside a character.
    CopyToField(rec.field, std::string(14, 'a') + "\xC3\xA9");
    EXPECT_EQ(std::string(14, 'a'), FieldText(rec.field));
    CopyToField(rec.field, "short");
    EXPECT_EQ("short", FieldText(rec.field));
    EXPECT_EQ(0, rec.field[15]);
    // A field without a NUL ends at its size.
    char full[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ("abcd", FieldText(full));
}

TEST(ScriptValueConversion, IntegersAndTextsAsPageScriptsGiveThem)
{
    EXPECT_EQ(3, ScriptValue::Number(3.9).ToInt());
    EXPECT_EQ(-3, ScriptValue::Number(-3.9).ToInt());
    EXPECT_EQ(5, ScriptValue::Number(4294967301.0).ToInt());
    EXPECT_EQ(-1, ScriptValue::Number(4294967295.0).ToInt());
    EXPECT_EQ(0, ScriptValue::Number(NAN).ToInt());
    EXPECT_EQ(0, ScriptValue::Number(INFINITY).ToInt());
    EXPECT_EQ(0, ScriptValue::Number(1e300).ToInt());
    EXPECT_EQ(12, ScriptValue::String(" 12 ").ToInt());
    EXPECT_EQ(16, ScriptValue::String("0x10").ToInt());
    EXPECT_EQ(0, ScriptValue::String("12abc").ToInt());
    EXPECT_EQ(0, ScriptValue().ToInt());
    EXPECT_EQ("7", ScriptValue::Number(7).ToText());
    EXPECT_EQ("-2.5", ScriptValue::Number(-2.5).ToText());
    EXPECT_EQ("0", ScriptValue::Number(-0.0).ToText());
    EXPECT_EQ("", ScriptValue().ToText());
    EXPECT_EQ("", ScriptValue::Null().ToText());
}

TEST(BridgeSurface, EveryMethodAndFieldUnderItsScriptingName)
{
    Page page;
    const char* methods[] = {
        "awakeFromNib",
        "webView_didClearWindowObject_forFrame_",
        "webView_contextMenuItemsForElement_defaultMenuItems_",
        "webView_shouldChangeSelectedDOMRange_toDOMRange_affinity_stillSelecting_",
        "windowShouldClose_",
        "CloseWizard",
        "SearchCamera_",
        "DoSearchCamera_",
        "FinishSearchCamera",
        "CheckThreadComplete",
        "QueryResult",
        "QueryAuthError",
        "GetAddress_",
        "GetCameraInfo_",
        "TryWireless_",
        "DoTryWireless_",
        "VerifyAuth_ID_Password_",
        "GetOptionCmd_",
        "DoGetOptionCmd_",
        "CheckGetOptionCmd",
        "SetupDHCP_",
        "SetupFixed_IP_Mask_Gateway_DNS1_DNS2_",
        "DoSetupCameraInfo_",
        "SetupAuth_ID_Password_OldPassword_",
        "DoSetupAuth_",
        "CommitSettings_",
        "DoCommitSettings_",
        "GetWirelessCap_",
        "GetWirelessInfo_",
        ("SetupWireless_Enable_SSID_Mode_Channel_Auth_Encryption_WEPLen_WEPFormat_WEPDefault_"
         "WEPKey_WPAKey_"),
        "DoSetupWireless_",
        "InitSiteSurvey_",
        "GetSiteSurveyInfo_",
        "DoGetSiteSurveyInfo_",
        "FinishSiteSurvey",
        "FinishRescanSiteSurvey",
        "IsAlreadyEnableTessel_",
        "EnableTessel_",
        "DoEnableTessel_",
        "IsTesselWorkable_",
        "DoIsTesselWorkable_",
        "GetTavvelURL_",
        "DoGetTavvelURL_",
        "GetURL",
        "setPHTMLUICtrl_",
        "OpenBrowser_",
        "ClipboardData_",
        "OpenPDF_",
        "SetWindowSizeWidth_Height_",
        "CreateShortcut_URL_",
        "CreateNonCloudShortcut_Address_MAC_"};
    for (const char* m : methods)
        EXPECT_TRUE(page.platform.HasMethod(m)) << m;
    const char* fields[] = {"pHTMLUICtrl",     "hFinder",        "tCheckComplete",    "bComplete",
                            "bSuccess",        "Wireless",       "WSSIArray",         "WSS_iSize",
                            "bIintSitesurvey", "bCommit",        "bQueryNetwork",     "DevInfo",
                            "szAuthID",        "szAuthPassword", "szAuthOldPassword", "AuthError",
                            "szCamMac",        "iCamIndex",      "iCamCount",         "szTavvelURL",
                            "m_pliveview",     "tDraw",          "bLivePicture"};
    for (const char* f : fields)
        EXPECT_FALSE(page.platform.Get(f).IsUndefined()) << f;
    // Names are unique, or one would hide another in the page.
    std::set<std::string> names;
    for (const auto& m : page.control->ScriptMethods())
        EXPECT_TRUE(names.insert(m.name).second) << m.name;
    for (const auto& p : page.control->ScriptProperties())
        EXPECT_TRUE(names.insert(p.name).second) << p.name;

    EXPECT_EQ(ScriptValue::Kind::Null,
              page.Call("webView_contextMenuItemsForElement_defaultMenuItems_").kind());
    EXPECT_EQ(1,
              page.Int("webView_shouldChangeSelectedDOMRange_toDOMRange_affinity_stillSelecting_"));
    EXPECT_EQ(0, page.Int("CheckThreadComplete"));
    EXPECT_EQ(0, static_cast<int>(page.platform.Get("bComplete").number()));
}

TEST(BridgeSurface, ReloadedPageFindsTheSameObject)
{
    Page page;
    page.Call("SetupAuth_ID_Password_OldPassword_",
              {N(0), S("admin"), S(std::string(50, 'p')), S("old")});
    ASSERT_TRUE(page.WaitComplete());
    page.platform.ReloadPage();
    EXPECT_EQ(page.control.get(), page.platform.Published("FinderObj"));
    EXPECT_EQ(std::string(31, 'p'), page.platform.Get("szAuthPassword").string());
    EXPECT_EQ(1, page.Int("CheckThreadComplete"));
    // The page may ask for the publication itself.
    int before = page.platform.publications;
    page.Call("webView_didClearWindowObject_forFrame_", {N(0), N(0), N(0)});
    EXPECT_EQ(before + 1, page.platform.publications);
}

TEST(BridgeSurface, CallbacksOfASynchronousMethodRunBeforeItReturns)
{
    Page page;
    page.Call("CallScriptFunction_", {S("Probe(\"1\")")});
    EXPECT_EQ((std::vector<std::string>{"Probe(\"1\")"}), page.Scripts());
    // Nothing searched yet: no handle, so reads fail quietly and call nothing.
    testing::internal::CaptureStdout();
    EXPECT_EQ(0, page.Int("GetCameraInfo_", {N(0)}));
    EXPECT_EQ("", page.Text("GetAddress_", {N(0)}));
    EXPECT_EQ(-1, page.Int("VerifyAuth_ID_Password_", {N(0), S("a"), S("b")}));
    EXPECT_EQ(0, page.Int("GetWirelessCap_", {N(0)}));
    EXPECT_EQ(0, page.Int("GetWirelessInfo_", {N(0)}));
    EXPECT_EQ(0, page.Int("IsAlreadyEnableTessel_", {N(0)}));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos, out.find("Rilo Lib: Error of parameter!"));
    EXPECT_TRUE(page.Scripts().empty());
}

TEST(BridgeLifecycle, RequestsWithoutAHandleStillComplete)
{
    Page page;
    testing::internal::CaptureStdout();
    const char* starters[] = {"TryWireless_",    "GetOptionCmd_",      "SetupDHCP_",
                              "CommitSettings_", "GetSiteSurveyInfo_", "EnableTessel_",
                              "GetTavvelURL_"};
    for (const char* s : starters) {
        page.Call(s, {N(0)});
        ASSERT_TRUE(page.WaitComplete()) << s;
    }
    page.control->SetTesselTimingForTest(10, 1000);
    page.Call("IsTesselWorkable_", {N(0)});
    ASSERT_TRUE(page.WaitComplete());
    EXPECT_EQ(0, page.Int("QueryResult"));
    page.Call("SetupWireless_Enable_SSID_Mode_Channel_Auth_Encryption_WEPLen_WEPFormat_WEPDefault_"
              "WEPKey_WPAKey_",
              {N(0), N(1), S("x")});
    ASSERT_TRUE(page.WaitComplete());
    EXPECT_EQ(0, page.Int("QueryResult"));
    EXPECT_EQ(0, page.Int("CheckGetOptionCmd"));
    EXPECT_EQ("", page.Text("GetURL"));
    testing::internal::GetCapturedStdout();
}

TEST(BridgeLifecycle, CloseAndWindowCloseRunTheShutdown)
{
    for (const char* how : {"CloseWizard", "windowShouldClose_"}) {
        Page page;
        page.Call(how, {N(0)});
        EXPECT_EQ(1, page.platform.terminated) << how;
        EXPECT_EQ(0, static_cast<int>(page.platform.Get("hFinder").number()));
        EXPECT_EQ(0, static_cast<int>(page.platform.Get("tDraw").number()));
    }
}

// The window's close button asks the page first; only a page that says it
// asks the user keeps the program, and the next press asks again.
TEST(BridgeLifecycle, WindowCloseAsksThePageFirst)
{
    Page page;
    std::vector<ScriptValue> answers = {ScriptValue::Number(1), ScriptValue::Number(1),
                                        ScriptValue::Number(0)};
    size_t asked = 0;
    page.platform.scriptResult = [&](const std::string& script) {
        EXPECT_NE(std::string::npos, script.find("AskBeforeClosing()")) << script;
        return asked < answers.size() ? answers[asked++] : ScriptValue();
    };
    EXPECT_EQ(1, page.Int("windowShouldClose_"));
    EXPECT_EQ(1, page.Int("windowShouldClose_"));
    EXPECT_EQ(0, page.platform.terminated);
    EXPECT_EQ(0, page.Int("windowShouldClose_"));
    EXPECT_EQ(1, page.platform.terminated);
    // A page that cannot answer (undefined: not loaded, or it threw) closes.
    Page broken;
    EXPECT_EQ(0, broken.Int("windowShouldClose_"));
    EXPECT_EQ(1, broken.platform.terminated);
}

TEST(BridgeLifecycle, AwakeFromNibLoadsThePageBesideTheProgram)
{
    Page page;
    page.Call("awakeFromNib");
    ASSERT_EQ(1u, page.platform.loadedFiles.size());
    EXPECT_EQ("/tmp/MacHtml/index.html", page.platform.loadedFiles[0]);
    EXPECT_EQ(0, static_cast<int>(page.platform.Get("iCamCount").number()));
}
