#ifndef RILO_APP_HTMLCONTROL_H
#define RILO_APP_HTMLCONTROL_H

// The bridge object published to the wizard page as FinderObj. Every method
// the page calls runs on the page's main loop; slow requests run on worker
// threads that write their results into fields and end by setting
// bComplete, which the page polls.

#include "CLiveView.h"
#include "platform/Platform.h"
#include "RiloLANFinderLib.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class HTMLControl : public platform::ScriptBridge {
public:
    static constexpr int kMaxCameras = 64;
    static constexpr int kMaxStations = 128;
    // Where the live picture goes in the 720 x 480 window.
    static constexpr platform::Rect LiveViewRect{535, 335, 160, 120};

    explicit HTMLControl(const platform::Services& services);
    ~HTMLControl() override;
    HTMLControl(const HTMLControl&) = delete;
    HTMLControl& operator=(const HTMLControl&) = delete;

    // Start-up, publication and shutdown.
    void awakeFromNib();
    void webViewDidClearWindowObject();
    platform::ScriptValue webViewContextMenuItems() { return platform::ScriptValue::Null(); }
    int webViewShouldChangeSelectedDOMRange() { return 1; }
    // 1 when the page asks the user first (the program keeps running), else
    // 0 after the shutdown.
    int windowShouldClose();
    void CloseWizard() { Shutdown(); }
    void CallScriptFunction(const std::string& script);

    // Camera search and settings.
    void SearchCamera(const std::string& model);
    void DoSearchCamera(const std::string& model);
    void FinishSearchCamera();
    int CheckThreadComplete();
    int QueryResult() { return bSuccess.load(); }
    int QueryAuthError() { return AuthError.load(); }
    std::string GetAddress(int index);
    int GetCameraInfo(int index);
    void TryWireless(int index);
    void DoTryWireless(int index);
    long VerifyAuth(int index, const std::string& user, const std::string& password);
    void GetOptionCmd(int index);
    void DoGetOptionCmd(int index);
    int CheckGetOptionCmd();
    void SetupDHCP(int index);
    void SetupFixed(int index, const std::string& ip, const std::string& mask,
                    const std::string& gateway, const std::string& dns1, const std::string& dns2);
    void DoSetupCameraInfo(int index);
    void SetupAuth(int index, const std::string& user, const std::string& password,
                   const std::string& oldPassword);
    void DoSetupAuth(int index);
    void CommitSettings(int index);
    void DoCommitSettings(int index);

    // Wireless, site survey and remote access.
    int GetWirelessCap(int index);
    int GetWirelessInfo(int index);
    void SetupWireless(int index, int enable, const std::string& ssid, int mode, int channel,
                       int auth, int encryption, int wepLen, int wepFormat, int wepDefault,
                       const std::string& wepKey, const std::string& wpaKey);
    void DoSetupWireless(int index);
    int InitSiteSurvey(int index);
    void GetSiteSurveyInfo(int index);
    void DoGetSiteSurveyInfo(int index);
    void FinishSiteSurvey();
    int FinishRescanSiteSurvey();
    int IsAlreadyEnableTessel(int index);
    void EnableTessel(int index);
    void DoEnableTessel(int index);
    void IsTesselWorkable(int index);
    void DoIsTesselWorkable(int index);
    void GetTavvelURL(int index);
    void DoGetTavvelURL(int index);
    std::string GetURL();

    // The live picture: started from the page, drawn by a 0.1 s timer.
    void LiveView(int index, const std::string& ip, int port, const std::string& user,
                  const std::string& password, int authType);
    void StopLiveView();
    void DrawLiveView();

    // Desktop services: browser, clipboard, documents beside the program, the
    // web view's size and bookmark files on the desktop.
    void OpenBrowser(const std::string& address);
    void ClipboardData(const std::string& text);
    void OpenPDF(const std::string& relativePath);
    void SetWindowSizeWidth(int width, int height);
    void CreateShortcut(const std::string& name, const std::string& url);
    void CreateNonCloudShortcut(const std::string& name, const std::string& address,
                                const std::string& mac);
    // The bookmark for address on the desktop, named after name and tag.
    void WriteShortcutFile(const std::string& name, const std::string& address,
                           const std::string& tag);

    // The scripting surface: methods under their scripting names, fields as
    // readable properties.
    const std::vector<Method>& ScriptMethods() override;
    const std::vector<Property>& ScriptProperties() override;

    // Test-only: the pause before remote access is polled again after it
    // reported trouble (20 s in the product), and the limit of the whole
    // readiness wait. Not part of the exported interface.
    void SetTesselTimingForTest(int recheckMs, int limitMs);
    // Test-only: waits for every worker thread to end.
    void JoinWorkersForTest();

    // The folder that holds the program, with its trailing "/".
    std::string BundleParentDir();

    using FinderHandle = void*;

    // Fields, as the page may read them.
    std::atomic<FinderHandle> hFinder{nullptr};
    platform::RunLoop::TimerId tCheckComplete = 0;
    std::atomic<int> bComplete{0};
    std::atomic<int> bSuccess{0};
    _RiloLANDAPWireless Wireless{};
    _RiloWirelessSiteSurInfo WSSIArray[kMaxStations]{};
    std::atomic<int> WSS_iSize{0};
    std::atomic<int> bIintSitesurvey{0}, bCommit{0}, bQueryNetwork{0};
    _RiloLANDAPCamInfo DevInfo{};
    char szAuthID[32]{}, szAuthPassword[32]{}, szAuthOldPassword[32]{};
    std::atomic<int> AuthError{0};
    char szCamMac[kMaxCameras][16]{};
    int iCamIndex[kMaxCameras]{};
    std::atomic<int> iCamCount{0};
    char szTavvelURL[64]{};
    std::unique_ptr<CLiveView> m_pliveview;
    platform::RunLoop::TimerId tDraw = 0;
    // 1 once the live picture drew a picture of the camera since it started:
    // the page cannot tell otherwise that no picture comes.
    int bLivePicture = 0;

private:
    // Runs fn on a worker thread; the page sees it as detached.
    void StartWorker(void (HTMLControl::*body)(int), int index);
    void StartWorker(std::function<void()> fn);
    // Completion: results written before it are seen by whoever reads 1.
    void Complete() { bComplete.store(1, std::memory_order_release); }
    void Shutdown();
    void BuildScriptSurface();

    platform::Services m_services;
    // Serialises use of the finder handle: the handle is not reentrant, and a
    // search replaces it under the feet of anything else.
    std::mutex m_finderMutex;

    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::mutex m_workersMutex;
    std::vector<Worker> m_workers;

    std::atomic<int> m_tesselRecheckMs{20000};
    std::atomic<int> m_tesselLimitMs{600000};

    std::vector<Method> m_methods;
    std::vector<Property> m_properties;
};

#endif
