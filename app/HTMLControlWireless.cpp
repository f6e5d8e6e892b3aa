// Wireless capability and settings, site survey and remote access.
#include "HTMLControl.h"

#include "Common.h"
#include "ScriptText.h"

#include <algorithm>
#include <chrono>
#include <cstring>

using scripttext::Call;
using scripttext::CopyToField;
using scripttext::FieldText;

namespace {

std::string Bit(unsigned value, int bit)
{
    return std::to_string((value >> bit) & 1u);
}

} // namespace

int HTMLControl::GetWirelessCap(int index)
{
    _RiloLANDAPWirelessCap cap{};
    int rc;
    {
        std::lock_guard<std::mutex> lock(m_finderMutex);
        unsigned long size = sizeof cap;
        rc = RiloGetWirelessCapability(hFinder, index, reinterpret_cast<_RiloCamSettings*>(&cap),
                                       &size);
    }
    if (rc != 0)
        return 0;
    const _RiloLANDAPWirelessCapBody& b = cap.Body;
    CallScriptFunction(
        Call("GatherWirelessCapMode", {Bit(b.WirelessModeBits, 0), Bit(b.WirelessModeBits, 1)}));
    for (int ch = 0; ch < 32; ++ch)
        if ((b.ChannelBitmap >> ch) & 1u)
            CallScriptFunction(Call("GatherWirelessCapChannel", {std::to_string(ch)}));
    std::vector<std::string> auth, enc;
    for (int k = 0; k < 6; ++k)
        auth.push_back(Bit(b.AuthenticationBits, k));
    for (int k = 0; k < 5; ++k)
        enc.push_back(Bit(b.EncryptionBits, k));
    CallScriptFunction(Call("GatherWirelessCapAuth", auth));
    CallScriptFunction(Call("GatherWirelessCapEncryption", enc));
    return 1;
}

int HTMLControl::GetWirelessInfo(int index)
{
    int rc;
    {
        std::lock_guard<std::mutex> lock(m_finderMutex);
        unsigned long size = sizeof Wireless;
        rc = RiloGetWireless(hFinder, index, reinterpret_cast<_RiloCamSettings*>(&Wireless), &size);
    }
    if (rc != 0)
        return 0;
    const _RiloLANDAPWirelessBody& w = Wireless.Body;
    const char* key;
    size_t keySize = sizeof w.WEPKey1;
    switch (w.WEPDefKey) {
    case 1:
        key = w.WEPKey2;
        break;
    case 2:
        key = w.WEPKey3;
        break;
    case 3:
        key = w.WEPKey4;
        break;
    default:
        key = w.WEPKey1;
        break;
    }
    CallScriptFunction(Call(
        "GatherWirelessInfo",
        {std::to_string(w.WirelessEnable), std::to_string(w.WirelessMode), FieldText(w.SSID),
         std::to_string(w.WirelessChannel), std::to_string(w.Authentication),
         std::to_string(w.Encryption), std::to_string(w.WEPKeyLen), std::to_string(w.WEPKeyFormat),
         std::to_string(w.WEPDefKey), FieldText(key, keySize), FieldText(w.WPAKey)}));
    return 1;
}

void HTMLControl::SetupWireless(int index, int enable, const std::string& ssid, int mode,
                                int channel, int auth, int encryption, int wepLen, int wepFormat,
                                int wepDefault, const std::string& wepKey,
                                const std::string& wpaKey)
{
    bComplete.store(0);
    bSuccess = 0;
    _RiloLANDAPWirelessBody& w = Wireless.Body;
    w.WirelessEnable = enable;
    CopyToField(w.SSID, ssid);
    w.WirelessMode = mode;
    w.WirelessChannel = channel;
    w.Authentication = auth;
    w.Encryption = encryption;
    w.WEPKeyLen = wepLen;
    w.WEPKeyFormat = wepFormat;
    w.WEPDefKey = wepDefault;
    switch (wepDefault) {
    case 0:
        CopyToField(w.WEPKey1, wepKey);
        break;
    case 1:
        CopyToField(w.WEPKey2, wepKey);
        break;
    case 2:
        CopyToField(w.WEPKey3, wepKey);
        break;
    case 3:
        CopyToField(w.WEPKey4, wepKey);
        break;
    default:
        break;
    }
    CopyToField(w.WPAKey, wpaKey);
    StartWorker(&HTMLControl::DoSetupWireless, index);
}

void HTMLControl::DoSetupWireless(int index)
{
    {
        std::lock_guard<std::mutex> lock(m_finderMutex);
        _RiloFinderResult result{};
        if (RiloSetWireless(hFinder, index, reinterpret_cast<const _RiloCamSettings*>(&Wireless),
                            sizeof Wireless, &result, 0) == 0)
            bSuccess = 1;
    }
    Complete();
}

// ---- site survey ------------------------------------------------------------

int HTMLControl::InitSiteSurvey(int index)
{
    std::lock_guard<std::mutex> lock(m_finderMutex);
    _RiloFinderResult result{};
    return RiloInitWirelessSiteSurvey(hFinder, index, &result, 0) == 0 ? 1 : 0;
}

void HTMLControl::GetSiteSurveyInfo(int index)
{
    bComplete.store(0);
    StartWorker(&HTMLControl::DoGetSiteSurveyInfo, index);
}

void HTMLControl::DoGetSiteSurveyInfo(int index)
{
    {
        std::lock_guard<std::mutex> lock(m_finderMutex);
        int count = kMaxStations;
        if (RiloGetWirelessSiteSurInfo(hFinder, index, WSSIArray, &count) != 0 || count < 0)
            count = 0;
        if (count > kMaxStations)
            count = kMaxStations;
        WSS_iSize = count;
    }
    Complete();
}

void HTMLControl::FinishSiteSurvey()
{
    FinishRescanSiteSurvey();
    CallScriptFunction(Call("CompleteSiteSurvey", {}));
}

int HTMLControl::FinishRescanSiteSurvey()
{
    int n = WSS_iSize.load();
    for (int k = 0; k < n && k < kMaxStations; ++k) {
        const _RiloWirelessSiteSurInfo& s = WSSIArray[k];
        CallScriptFunction(Call("GatherSiteSurvey",
                                {FieldText(s.SSID), std::to_string(s.SignalStrength),
                                 std::to_string(s.WirelessMode), std::to_string(s.Encryption),
                                 std::to_string(s.Authentication), std::to_string(s.Channel)}));
    }
    return 1;
}

// ---- remote access ----------------------------------------------------------

int HTMLControl::IsAlreadyEnableTessel(int index)
{
    std::lock_guard<std::mutex> lock(m_finderMutex);
    int flag = 0;
    for (int attempt = 0; attempt < 5; ++attempt)
        if (RiloGetTessel12Enabled(hFinder, index, &flag) == 0)
            break;
    return flag;
}

void HTMLControl::EnableTessel(int index)
{
    bComplete.store(0);
    bSuccess = 1;
    StartWorker(&HTMLControl::DoEnableTessel, index);
}

void HTMLControl::DoEnableTessel(int index)
{
    {
        std::lock_guard<std::mutex> lock(m_finderMutex);
        _RiloFinderResult result{};
        if (RiloEnableTessel12(hFinder, index, 1, &result, 0) != 0)
            bSuccess = 0;
    }
    Complete();
}

void HTMLControl::IsTesselWorkable(int index)
{
    bComplete.store(0);
    bSuccess = 1;
    StartWorker(&HTMLControl::DoIsTesselWorkable, index);
}

void HTMLControl::DoIsTesselWorkable(int index)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(m_tesselLimitMs.load());
    auto poll = [&](int* state) {
        std::lock_guard<std::mutex> lock(m_finderMutex);
        int second = 0, third = 0;
        return RiloTessel12QueryProcState(hFinder, index, state, &second, &third);
    };
    // A camera that reports "in progress" for ever must not keep the page
    // waiting for ever.
    auto expired = [&] { return Clock::now() >= deadline; };

    int state = 0;
    bool recheck = false;
    for (;;) {
        int rc = poll(&state);
        if (rc == 0 && state == 1) {
            if (expired()) {
                bSuccess = 0;
                Complete();
                return;
            }
            SleepMs(200);
            continue;
        }
        if (rc == 0 && state != 3) {
            Complete();
            return;
        }
        bSuccess = 0;
        recheck = true;
        break;
    }
    if (recheck) {
        SleepMs(uint64_t(std::max(0, m_tesselRecheckMs.load())));
        for (;;) {
            int rc = poll(&state);
            if (rc != 0) {
                bSuccess = 0;
                break;
            }
            if (state == 1) {
                if (expired()) {
                    bSuccess = 0;
                    break;
                }
                SleepMs(200);
                continue;
            }
            bSuccess = state == 3 ? 0 : 1;
            break;
        }
    }
    Complete();
}

void HTMLControl::GetTavvelURL(int index)
{
    bComplete.store(0);
    bSuccess = 0;
    std::memset(szTavvelURL, 0, sizeof szTavvelURL);
    StartWorker(&HTMLControl::DoGetTavvelURL, index);
}

void HTMLControl::DoGetTavvelURL(int index)
{
    {
        std::lock_guard<std::mutex> lock(m_finderMutex);
        char url[64];
        for (int attempt = 0; attempt < 5; ++attempt) {
            // The finder writes the needed length back; a room larger than the
            // buffer must never go into the next try.
            short length = sizeof url;
            std::memset(url, 0, sizeof url);
            if (RiloQueryTessel12URL(hFinder, index, url, &length) == 0) {
                CopyToField(szTavvelURL, std::string(url, strnlen(url, sizeof url)));
                bSuccess = 1;
                break;
            }
        }
    }
    Complete();
}

std::string HTMLControl::GetURL()
{
    return FieldText(szTavvelURL);
}
