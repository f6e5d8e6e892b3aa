// Start-up, shutdown, the request pattern and the camera search and settings
// methods of the bridge object.
#include "HTMLControl.h"

#include "ScriptText.h"

#include <cstdio>
#include <cstring>

using scripttext::Call;
using scripttext::CopyToField;
using scripttext::FieldText;

HTMLControl::HTMLControl(const platform::Services& services) : m_services(services)
{
    BuildScriptSurface();
}

HTMLControl::~HTMLControl()
{
    JoinWorkersForTest();
    if (tCheckComplete)
        m_services.loop->Invalidate(tCheckComplete);
    StopLiveView();
    if (void* h = hFinder.exchange(nullptr))
        RiloDestroyFinder(h);
}

std::string HTMLControl::BundleParentDir()
{
    return m_services.app->BundleParentDir();
}

void HTMLControl::awakeFromNib()
{
    // The application made the window and the web view; the page is loaded
    // from beside the program.
    char page[4096];
    std::snprintf(page, sizeof page, "%s%s", BundleParentDir().c_str(), "MacHtml/index.html");
    m_services.app->LoadFile(page);
    // A second call (the page may make one) must not lose a handle or a timer.
    if (tCheckComplete)
        m_services.loop->Invalidate(tCheckComplete);
    tCheckComplete = 0;
    iCamCount = 0;
    StopLiveView();
    std::lock_guard<std::mutex> lock(m_finderMutex);
    if (void* h = hFinder.exchange(nullptr))
        RiloDestroyFinder(h);
}

void HTMLControl::webViewDidClearWindowObject()
{
    m_services.script->Publish("FinderObj", this);
}

void HTMLControl::CallScriptFunction(const std::string& script)
{
    m_services.script->Evaluate(script);
}

int HTMLControl::windowShouldClose()
{
    // Closing the window must not lose typed or unsaved settings or a running
    // save without a question, so the page is asked as its own Close asks; a
    // page that cannot answer (not loaded, broken) closes at once.
    platform::ScriptValue asked = m_services.script->Evaluate(
        "typeof AskBeforeClosing === \"function\" && AskBeforeClosing() === true");
    if (asked.kind() == platform::ScriptValue::Kind::Number && asked.number() == 1)
        return 1;
    Shutdown();
    return 0;
}

void HTMLControl::Shutdown()
{
    StopLiveView();
    // A worker that still runs keeps its handle: the process ends under it.
    bool busy = false;
    {
        std::lock_guard<std::mutex> lock(m_workersMutex);
        for (const Worker& w : m_workers)
            busy = busy || !w.done->load();
    }
    if (!busy) {
        std::lock_guard<std::mutex> lock(m_finderMutex);
        if (void* h = hFinder.exchange(nullptr))
            RiloDestroyFinder(h);
    }
    m_services.app->Terminate();
}

void HTMLControl::StartWorker(std::function<void()> fn)
{
    std::lock_guard<std::mutex> lock(m_workersMutex);
    for (auto it = m_workers.begin(); it != m_workers.end();) {
        if (it->done->load()) {
            it->thread.join();
            it = m_workers.erase(it);
        } else {
            ++it;
        }
    }
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread t([fn = std::move(fn), done] {
        fn();
        done->store(true);
    });
    m_workers.push_back(Worker{std::move(t), done});
}

void HTMLControl::StartWorker(void (HTMLControl::*body)(int), int index)
{
    StartWorker([this, body, index] { (this->*body)(index); });
}

void HTMLControl::JoinWorkersForTest()
{
    std::vector<Worker> workers;
    {
        std::lock_guard<std::mutex> lock(m_workersMutex);
        workers.swap(m_workers);
    }
    for (Worker& w : workers)
        w.thread.join();
}

void HTMLControl::SetTesselTimingForTest(int recheckMs, int limitMs)
{
    m_tesselRecheckMs = recheckMs;
    m_tesselLimitMs = limitMs;
}

int HTMLControl::CheckThreadComplete()
{
    return bComplete.load(std::memory_order_acquire) != 0 ? 1 : 0;
}

// ---- search ----------------------------------------------------------------

void HTMLControl::SearchCamera(const std::string& model)
{
    bComplete.store(0);
    iCamCount = 0;
    StartWorker([this, model] { DoSearchCamera(model); });
    // An older timer would go on reporting the list every second.
    if (tCheckComplete)
        m_services.loop->Invalidate(tCheckComplete);
    tCheckComplete = m_services.loop->ScheduleRepeating(1.0, [this] { FinishSearchCamera(); });
}

void HTMLControl::DoSearchCamera(const std::string& model)
{
    {
        std::lock_guard<std::mutex> lock(m_finderMutex);
        if (void* old = hFinder.exchange(nullptr))
            RiloDestroyFinder(old);
        void* h = RiloCreateFinder();
        hFinder = h;
        int kept = 0;
        if (h && RiloFinderSearch(h, 0) == 0) {
            int n = RiloGetCameraNum(h);
            for (int i = 0; i < n; ++i) {
                _RiloLANDAPCamInfo info{};
                unsigned long size = sizeof info;
                if (RiloGetCameraInfo(h, i, &info, &size) != 0)
                    continue;
                if (FieldText(info.Body.ModelName) != model)
                    continue;
                if (kept >= kMaxCameras)
                    continue; // the tables are full; further cameras are not offered
                const _RiloMACAddr& m = info.Body.MACAddress;
                std::snprintf(szCamMac[kept], sizeof szCamMac[kept], "%02X%02X%02X%02X%02X%02X",
                              m.UniData.Digit.d1, m.UniData.Digit.d2, m.UniData.Digit.d3,
                              m.UniData.Digit.d4, m.UniData.Digit.d5, m.UniData.Digit.d6);
                iCamIndex[kept] = i;
                ++kept;
            }
        }
        iCamCount = kept;
    }
    Complete();
}

void HTMLControl::FinishSearchCamera()
{
    if (CheckThreadComplete() == 0)
        return;
    if (tCheckComplete)
        m_services.loop->Invalidate(tCheckComplete);
    tCheckComplete = 0;
    int n = iCamCount.load();
    for (int k = 0; k < n && k < kMaxCameras; ++k)
        CallScriptFunction(
            Call("AddCameraList", {FieldText(szCamMac[k]), std::to_string(iCamIndex[k])}));
    CallScriptFunction(Call("CompleteSearch", {}));
}

// ---- camera information -----------------------------------------------------

std::string HTMLControl::GetAddress(int index)
{
    _RiloLANDAPCamInfo info{};
    unsigned long size = sizeof info;
    int rc;
    {
        std::lock_guard<std::mutex> lock(m_finderMutex);
        rc = RiloGetCameraInfo(hFinder, index, &info, &size);
    }
    if (rc != 0)
        return "";
    const _RiloLANDAPBasicSet& b = info.Body.BasicSet;
    const char* scheme = (b.Network.Reserved & 2) ? "https://" : "http://";
    return scheme + FieldText(b.Network.szCamIP) + ":" + std::to_string(b.WebPort);
}

int HTMLControl::GetCameraInfo(int index)
{
    int rc;
    {
        std::lock_guard<std::mutex> lock(m_finderMutex);
        unsigned long size = sizeof DevInfo;
        rc = RiloGetCameraInfo(hFinder, index, &DevInfo, &size);
    }
    if (rc != 0)
        return 0;
    const _RiloLANDAPBasicSet& b = DevInfo.Body.BasicSet;
    const _RiloNetworkInfo& n = b.Network;
    CallScriptFunction(
        Call("GatherCameraInfo",
             {std::to_string(n.bCamUseDHCP), FieldText(n.szCamIP), FieldText(n.szCamSubnetMask),
              FieldText(n.szCamGateway), FieldText(n.szCamDNS1), FieldText(n.szCamDNS2),
              std::to_string(b.WebPort), FieldText(b.CameraName), std::to_string(n.Reserved & 1)}));
    return 1;
}

void HTMLControl::TryWireless(int index)
{
    bComplete.store(0);
    bSuccess = 0;
    StartWorker(&HTMLControl::DoTryWireless, index);
}

void HTMLControl::DoTryWireless(int index)
{
    {
        std::lock_guard<std::mutex> lock(m_finderMutex);
        for (int attempt = 0; attempt < 8; ++attempt) {
            _RiloLANDAPCamInfo scratch{};
            unsigned long size = sizeof scratch;
            if (RiloGetCameraInfo(hFinder, index, &scratch, &size) == 0) {
                size = sizeof DevInfo;
                RiloGetCameraInfo(hFinder, index, &DevInfo, &size);
                bSuccess = 1;
                break;
            }
        }
    }
    Complete();
}

// ---- authentication ---------------------------------------------------------

long HTMLControl::VerifyAuth(int index, const std::string& user, const std::string& password)
{
    std::lock_guard<std::mutex> lock(m_finderMutex);
    if (RiloSetFinderCamAuth(hFinder, index, user.c_str(), password.c_str()) != 0)
        return -1;
    return RiloFinderVerifyAuth(hFinder, index);
}

void HTMLControl::SetupAuth(int index, const std::string& user, const std::string& password,
                            const std::string& oldPassword)
{
    bComplete.store(0);
    bSuccess = 0;
    CopyToField(szAuthID, user);
    CopyToField(szAuthPassword, password);
    CopyToField(szAuthOldPassword, oldPassword);
    StartWorker(&HTMLControl::DoSetupAuth, index);
}

void HTMLControl::DoSetupAuth(int index)
{
    {
        std::lock_guard<std::mutex> lock(m_finderMutex);
        void* h = hFinder;
        _RiloFinderResult result{};
        int rc = RiloChangeAdminPassword(h, index, szAuthID, szAuthPassword, &result, 0);
        if (rc == 0) {
            if (RiloSetFinderCamAuth(h, index, szAuthID, szAuthPassword) == 0)
                bSuccess = 1;
        } else if (RiloSetFinderCamAuth(h, index, szAuthID, szAuthPassword) == 0) {
            // The reply may have been lost after the camera took the change.
            if (RiloFinderVerifyAuth(h, index) == 0)
                bSuccess = 1;
            else
                RiloSetFinderCamAuth(h, index, szAuthID, szAuthOldPassword);
        }
        AuthError = static_cast<int>(result.Code);
    }
    Complete();
}

// ---- supported commands -----------------------------------------------------

void HTMLControl::GetOptionCmd(int index)
{
    bComplete.store(0);
    bSuccess = 0;
    StartWorker(&HTMLControl::DoGetOptionCmd, index);
}

void HTMLControl::DoGetOptionCmd(int index)
{
    {
        std::lock_guard<std::mutex> lock(m_finderMutex);
        uint16_t codes[50] = {};
        int count = 50;
        if (RiloGetLANDAPOptionCmd(hFinder, index, codes, &count) == 0) {
            bSuccess = 1;
            int survey = 0, commit = 0, query = 0;
            if (count > 50)
                count = 50;
            for (int k = 0; k < count; ++k) {
                if (codes[k] == 177)
                    survey = 1;
                else if (codes[k] == 192)
                    commit = 1;
                else if (codes[k] == 201)
                    query = 1;
            }
            bIintSitesurvey = survey;
            bCommit = commit;
            bQueryNetwork = query;
        }
    }
    Complete();
}

int HTMLControl::CheckGetOptionCmd()
{
    if (bSuccess.load() == 0)
        return 0;
    CallScriptFunction(Call("GatherOptionCmd",
                            {std::to_string(bIintSitesurvey.load()), std::to_string(bCommit.load()),
                             std::to_string(bQueryNetwork.load())}));
    return 1;
}

// ---- address settings, commit -------------------------------------------------

void HTMLControl::SetupDHCP(int index)
{
    bComplete.store(0);
    bSuccess = 0;
    DevInfo.Body.BasicSet.Network.bCamUseDHCP = 1;
    StartWorker(&HTMLControl::DoSetupCameraInfo, index);
}

void HTMLControl::SetupFixed(int index, const std::string& ip, const std::string& mask,
                             const std::string& gateway, const std::string& dns1,
                             const std::string& dns2)
{
    bComplete.store(0);
    bSuccess = 0;
    _RiloNetworkInfo& n = DevInfo.Body.BasicSet.Network;
    n.bCamUseDHCP = 0;
    CopyToField(n.szCamIP, ip);
    CopyToField(n.szCamSubnetMask, mask);
    CopyToField(n.szCamGateway, gateway);
    CopyToField(n.szCamDNS1, dns1);
    CopyToField(n.szCamDNS2, dns2);
    StartWorker(&HTMLControl::DoSetupCameraInfo, index);
}

void HTMLControl::DoSetupCameraInfo(int index)
{
    {
        std::lock_guard<std::mutex> lock(m_finderMutex);
        _RiloFinderResult result{};
        if (RiloSetCameraInfo(hFinder, index, reinterpret_cast<const _RiloCamSettings*>(&DevInfo),
                              sizeof DevInfo, &result, 0) == 0)
            bSuccess = 1;
    }
    Complete();
}

void HTMLControl::CommitSettings(int index)
{
    bComplete.store(0);
    StartWorker(&HTMLControl::DoCommitSettings, index);
}

void HTMLControl::DoCommitSettings(int index)
{
    {
        std::lock_guard<std::mutex> lock(m_finderMutex);
        _RiloFinderResult result{};
        RiloCommitSettings(hFinder, index, &result, 0);
    }
    Complete();
}
