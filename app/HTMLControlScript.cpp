// The scripting surface of the bridge object: every method under its
// scripting name (each ":" of the selector becomes "_") and every field as a
// readable property.
#include "HTMLControl.h"

#include "ScriptText.h"

using platform::ScriptArgs;
using platform::ScriptValue;
using scripttext::FieldText;

namespace {

ScriptValue Arg(const ScriptArgs& a, size_t i)
{
    return i < a.size() ? a[i] : ScriptValue();
}
int I(const ScriptArgs& a, size_t i)
{
    return Arg(a, i).ToInt();
}
std::string S(const ScriptArgs& a, size_t i)
{
    return Arg(a, i).ToText();
}

ScriptValue Num(double n)
{
    return ScriptValue::Number(n);
}
ScriptValue Str(const std::string& s)
{
    return ScriptValue::String(s);
}
const ScriptValue kNone;

ScriptValue CamInfoObject(const _RiloLANDAPCamInfo& r)
{
    const _RiloLANDAPInfoBody& b = r.Body;
    const _RiloNetworkInfo& n = b.BasicSet.Network;
    const auto& m = b.MACAddress.UniData.Digit;
    return ScriptValue::Object({
        {"CamSettingsType", Num(r.SettingsHdr.CamSettingsType)},
        {"SettingsBodyLen", Num(r.SettingsHdr.SettingsBodyLen)},
        {"bCamUseDHCP", Num(n.bCamUseDHCP)},
        {"szCamIP", Str(FieldText(n.szCamIP))},
        {"szCamSubnetMask", Str(FieldText(n.szCamSubnetMask))},
        {"szCamGateway", Str(FieldText(n.szCamGateway))},
        {"szCamDNS1", Str(FieldText(n.szCamDNS1))},
        {"szCamDNS2", Str(FieldText(n.szCamDNS2))},
        {"CustomizedDNS", Num(n.CustomizedDNS)},
        {"Reserved", Num(n.Reserved)},
        {"CameraName", Str(FieldText(b.BasicSet.CameraName))},
        {"WebPort", Num(b.BasicSet.WebPort)},
        {"MACAddress",
         ScriptValue::Array({Num(m.d1), Num(m.d2), Num(m.d3), Num(m.d4), Num(m.d5), Num(m.d6)})},
        {"BrandName", Str(FieldText(b.BrandName))},
        {"ProdName", Str(FieldText(b.ProdName))},
        {"ModelName", Str(FieldText(b.ModelName))},
        {"FWVer", Str(FieldText(b.FWVer))},
        {"ProdType", Num(b.ProdType)},
        {"ProdHWSpec", Num(b.ProdHWSpec)},
        {"Datetime", Num(b.Datetime)},
        {"Timezone", Num(b.Timezone)},
        {"DST", Num(b.DST)},
    });
}

ScriptValue WirelessObject(const _RiloLANDAPWireless& r)
{
    const _RiloLANDAPWirelessBody& w = r.Body;
    return ScriptValue::Object({
        {"CamSettingsType", Num(r.SettingsHdr.CamSettingsType)},
        {"SettingsBodyLen", Num(r.SettingsHdr.SettingsBodyLen)},
        {"WirelessEnable", Num(w.WirelessEnable)},
        {"WirelessMode", Num(w.WirelessMode)},
        {"SSID", Str(FieldText(w.SSID))},
        {"WirelessChannel", Num(w.WirelessChannel)},
        {"Authentication", Num(w.Authentication)},
        {"Encryption", Num(w.Encryption)},
        {"WEPKeyLen", Num(w.WEPKeyLen)},
        {"WEPKeyFormat", Num(w.WEPKeyFormat)},
        {"WEPDefKey", Num(w.WEPDefKey)},
        {"WEPKey1", Str(FieldText(w.WEPKey1))},
        {"WEPKey2", Str(FieldText(w.WEPKey2))},
        {"WEPKey3", Str(FieldText(w.WEPKey3))},
        {"WEPKey4", Str(FieldText(w.WEPKey4))},
        {"WPAKey", Str(FieldText(w.WPAKey))},
        {"TxRate", Num(w.TxRate)},
    });
}

ScriptValue StationObject(const _RiloWirelessSiteSurInfo& s)
{
    return ScriptValue::Object({
        {"SSID", Str(FieldText(s.SSID))},
        {"SignalStrength", Num(s.SignalStrength)},
        {"WirelessMode", Num(s.WirelessMode)},
        {"Encryption", Num(s.Encryption)},
        {"Authentication", Num(s.Authentication)},
        {"Channel", Num(s.Channel)},
    });
}

} // namespace

const std::vector<HTMLControl::Method>& HTMLControl::ScriptMethods()
{
    return m_methods;
}

const std::vector<HTMLControl::Property>& HTMLControl::ScriptProperties()
{
    return m_properties;
}

void HTMLControl::BuildScriptSurface()
{
    auto none = [](auto fn) {
        return [fn](const ScriptArgs& a) {
            fn(a);
            return kNone;
        };
    };
    auto num = [](auto fn) {
        return [fn](const ScriptArgs& a) { return Num(static_cast<double>(fn(a))); };
    };
    auto str = [](auto fn) { return [fn](const ScriptArgs& a) { return Str(fn(a)); }; };

    m_methods = {
        // start-up, publication, delegates, shutdown
        {"awakeFromNib", none([this](const ScriptArgs&) { awakeFromNib(); })},
        {"webView_didClearWindowObject_forFrame_",
         none([this](const ScriptArgs&) { webViewDidClearWindowObject(); })},
        {"webView_contextMenuItemsForElement_defaultMenuItems_",
         [this](const ScriptArgs&) { return webViewContextMenuItems(); }},
        {"webView_shouldChangeSelectedDOMRange_toDOMRange_affinity_stillSelecting_",
         num([this](const ScriptArgs&) { return webViewShouldChangeSelectedDOMRange(); })},
        {"windowShouldClose_", num([this](const ScriptArgs&) { return windowShouldClose(); })},
        {"CloseWizard", none([this](const ScriptArgs&) { CloseWizard(); })},
        {"CallScriptFunction_", none([this](const ScriptArgs& a) { CallScriptFunction(S(a, 0)); })},
        // The web view belongs to the application; the page cannot swap it.
        {"setPHTMLUICtrl_", none([](const ScriptArgs&) {})},
        // search and settings
        {"SearchCamera_", none([this](const ScriptArgs& a) { SearchCamera(S(a, 0)); })},
        {"DoSearchCamera_", none([this](const ScriptArgs& a) { DoSearchCamera(S(a, 0)); })},
        {"FinishSearchCamera", none([this](const ScriptArgs&) { FinishSearchCamera(); })},
        {"CheckThreadComplete", num([this](const ScriptArgs&) { return CheckThreadComplete(); })},
        {"QueryResult", num([this](const ScriptArgs&) { return QueryResult(); })},
        {"QueryAuthError", num([this](const ScriptArgs&) { return QueryAuthError(); })},
        {"GetAddress_", str([this](const ScriptArgs& a) { return GetAddress(I(a, 0)); })},
        {"GetCameraInfo_", num([this](const ScriptArgs& a) { return GetCameraInfo(I(a, 0)); })},
        {"TryWireless_", none([this](const ScriptArgs& a) { TryWireless(I(a, 0)); })},
        {"DoTryWireless_", none([this](const ScriptArgs& a) { DoTryWireless(I(a, 0)); })},
        {"VerifyAuth_ID_Password_",
         num([this](const ScriptArgs& a) { return VerifyAuth(I(a, 0), S(a, 1), S(a, 2)); })},
        {"GetOptionCmd_", none([this](const ScriptArgs& a) { GetOptionCmd(I(a, 0)); })},
        {"DoGetOptionCmd_", none([this](const ScriptArgs& a) { DoGetOptionCmd(I(a, 0)); })},
        {"CheckGetOptionCmd", num([this](const ScriptArgs&) { return CheckGetOptionCmd(); })},
        {"SetupDHCP_", none([this](const ScriptArgs& a) { SetupDHCP(I(a, 0)); })},
        {"SetupFixed_IP_Mask_Gateway_DNS1_DNS2_", none([this](const ScriptArgs& a) {
             SetupFixed(I(a, 0), S(a, 1), S(a, 2), S(a, 3), S(a, 4), S(a, 5));
         })},
        {"DoSetupCameraInfo_", none([this](const ScriptArgs& a) { DoSetupCameraInfo(I(a, 0)); })},
        {"SetupAuth_ID_Password_OldPassword_",
         none([this](const ScriptArgs& a) { SetupAuth(I(a, 0), S(a, 1), S(a, 2), S(a, 3)); })},
        {"DoSetupAuth_", none([this](const ScriptArgs& a) { DoSetupAuth(I(a, 0)); })},
        {"CommitSettings_", none([this](const ScriptArgs& a) { CommitSettings(I(a, 0)); })},
        {"DoCommitSettings_", none([this](const ScriptArgs& a) { DoCommitSettings(I(a, 0)); })},
        // wireless, site survey, remote access
        {"GetWirelessCap_", num([this](const ScriptArgs& a) { return GetWirelessCap(I(a, 0)); })},
        {"GetWirelessInfo_", num([this](const ScriptArgs& a) { return GetWirelessInfo(I(a, 0)); })},
        {"SetupWireless_Enable_SSID_Mode_Channel_Auth_Encryption_WEPLen_WEPFormat_WEPDefault_"
         "WEPKey_WPAKey_",
         none([this](const ScriptArgs& a) {
             SetupWireless(I(a, 0), I(a, 1), S(a, 2), I(a, 3), I(a, 4), I(a, 5), I(a, 6), I(a, 7),
                           I(a, 8), I(a, 9), S(a, 10), S(a, 11));
         })},
        {"DoSetupWireless_", none([this](const ScriptArgs& a) { DoSetupWireless(I(a, 0)); })},
        {"InitSiteSurvey_", num([this](const ScriptArgs& a) { return InitSiteSurvey(I(a, 0)); })},
        {"GetSiteSurveyInfo_", none([this](const ScriptArgs& a) { GetSiteSurveyInfo(I(a, 0)); })},
        {"DoGetSiteSurveyInfo_",
         none([this](const ScriptArgs& a) { DoGetSiteSurveyInfo(I(a, 0)); })},
        {"FinishSiteSurvey", none([this](const ScriptArgs&) { FinishSiteSurvey(); })},
        {"FinishRescanSiteSurvey",
         num([this](const ScriptArgs&) { return FinishRescanSiteSurvey(); })},
        {"IsAlreadyEnableTessel_",
         num([this](const ScriptArgs& a) { return IsAlreadyEnableTessel(I(a, 0)); })},
        {"EnableTessel_", none([this](const ScriptArgs& a) { EnableTessel(I(a, 0)); })},
        {"DoEnableTessel_", none([this](const ScriptArgs& a) { DoEnableTessel(I(a, 0)); })},
        {"IsTesselWorkable_", none([this](const ScriptArgs& a) { IsTesselWorkable(I(a, 0)); })},
        {"DoIsTesselWorkable_", none([this](const ScriptArgs& a) { DoIsTesselWorkable(I(a, 0)); })},
        {"GetTavvelURL_", none([this](const ScriptArgs& a) { GetTavvelURL(I(a, 0)); })},
        {"DoGetTavvelURL_", none([this](const ScriptArgs& a) { DoGetTavvelURL(I(a, 0)); })},
        {"GetURL", str([this](const ScriptArgs&) { return GetURL(); })},
        // live picture
        {"LiveView_IP_Port_ID_Password_AuthType_", none([this](const ScriptArgs& a) {
             LiveView(I(a, 0), S(a, 1), I(a, 2), S(a, 3), S(a, 4), I(a, 5));
         })},
        {"StopLiveView", none([this](const ScriptArgs&) { StopLiveView(); })},
        {"DrawLiveView", none([this](const ScriptArgs&) { DrawLiveView(); })},
        // desktop services
        {"OpenBrowser_", none([this](const ScriptArgs& a) { OpenBrowser(S(a, 0)); })},
        {"ClipboardData_", none([this](const ScriptArgs& a) { ClipboardData(S(a, 0)); })},
        {"OpenPDF_", none([this](const ScriptArgs& a) { OpenPDF(S(a, 0)); })},
        {"SetWindowSizeWidth_Height_",
         none([this](const ScriptArgs& a) { SetWindowSizeWidth(I(a, 0), I(a, 1)); })},
        {"CreateShortcut_URL_",
         none([this](const ScriptArgs& a) { CreateShortcut(S(a, 0), S(a, 1)); })},
        {"CreateNonCloudShortcut_Address_MAC_",
         none([this](const ScriptArgs& a) { CreateNonCloudShortcut(S(a, 0), S(a, 1), S(a, 2)); })},
    };

    auto flag = [](bool set) { return Num(set ? 1 : 0); };
    m_properties = {
        {"pHTMLUICtrl", [flag] { return flag(true); }},
        {"hFinder", [this, flag] { return flag(hFinder.load() != nullptr); }},
        {"tCheckComplete", [this, flag] { return flag(tCheckComplete != 0); }},
        {"bComplete", [this] { return Num(bComplete.load(std::memory_order_acquire)); }},
        {"bSuccess", [this] { return Num(bSuccess.load()); }},
        {"Wireless", [this] { return WirelessObject(Wireless); }},
        {"WSSIArray",
         [this] {
             std::vector<ScriptValue> rows;
             int n = WSS_iSize.load();
             for (int k = 0; k < n && k < kMaxStations; ++k)
                 rows.push_back(StationObject(WSSIArray[k]));
             return ScriptValue::Array(std::move(rows));
         }},
        {"WSS_iSize", [this] { return Num(WSS_iSize.load()); }},
        {"bIintSitesurvey", [this] { return Num(bIintSitesurvey.load()); }},
        {"bCommit", [this] { return Num(bCommit.load()); }},
        {"bQueryNetwork", [this] { return Num(bQueryNetwork.load()); }},
        {"DevInfo", [this] { return CamInfoObject(DevInfo); }},
        {"szAuthID", [this] { return Str(FieldText(szAuthID)); }},
        {"szAuthPassword", [this] { return Str(FieldText(szAuthPassword)); }},
        {"szAuthOldPassword", [this] { return Str(FieldText(szAuthOldPassword)); }},
        {"AuthError", [this] { return Num(AuthError.load()); }},
        {"szCamMac",
         [this] {
             std::vector<ScriptValue> rows;
             int n = iCamCount.load();
             for (int k = 0; k < n && k < kMaxCameras; ++k)
                 rows.push_back(Str(FieldText(szCamMac[k])));
             return ScriptValue::Array(std::move(rows));
         }},
        {"iCamIndex",
         [this] {
             std::vector<ScriptValue> rows;
             int n = iCamCount.load();
             for (int k = 0; k < n && k < kMaxCameras; ++k)
                 rows.push_back(Num(iCamIndex[k]));
             return ScriptValue::Array(std::move(rows));
         }},
        {"iCamCount", [this] { return Num(iCamCount.load()); }},
        {"szTavvelURL", [this] { return Str(FieldText(szTavvelURL)); }},
        {"m_pliveview", [this, flag] { return flag(m_pliveview != nullptr); }},
        {"tDraw", [this, flag] { return flag(tDraw != 0); }},
        {"bLivePicture", [this] { return Num(bLivePicture); }},
    };
}
