// The live session behind one stream handle: the camera's URLs and
// credentials, the video streams by profile (shared by live view and
// recording through use counts), the audio stream, the recorders, and a
// message thread of its own on which stream events reach the application's
// handler.
//
// Lifetime: Create starts the message thread; Destroy (or the destructor)
// stops every stream and recorder, ends the thread and drops what is still
// queued. Once Destroy has returned no callback of this session runs again;
// a Destroy reached from the session's own message thread (a handler that
// ends its session) does not wait for itself, and the session may be deleted
// right after it. The handler runs without any lock of the library held and
// may stop or destroy its session; render and audio callbacks run under
// their stream's lock and must not call the session. They run inside the
// session's CDeliveryScope, so the exported functions can tell.
#ifndef RILO_CHTTPSCHLIVE_H
#define RILO_CHTTPSCHLIVE_H

#include "RiloClientLib.h"
#include "session/CSessionMsgQueue.h"
#include "session/SessionCredentials.h"
#include "session/SessionProxy.h"

#include <deque>
#include <mutex>
#include <string>
#include <vector>

class CAVIWriter;
class CHTTPAudStrm;
class CHTTPCtrl;
class CHTTPVisStrm;

class CHTTPSCHLive {
public:
    enum : unsigned int {
        kVideoNotifyMsg = 1124,
        kAudioNotifyMsg = 1125,
        kDefaultDelayThreshold = 10,
        kDefaultProxyPort = 8080,
    };
    // Stream kinds of AssignURL; any other value is MJPEG.
    enum : unsigned int { kKindMPEG4 = 0, kKindMJPEG = 1, kKindH264 = 2 };
    // Event kinds in the low 16 bits of a stream's event word.
    enum : unsigned int { kEventConnection = 1, kEventRecording = 2 };
    // Handler categories.
    enum : int { kCategoryVideo = 0, kCategoryAudio = 1, kCategoryRecording = 2 };
    // Recording codes the handler receives.
    enum : int {
        kRecordStopped = 21,
        kRecordDiskReserve = 22,
        kRecordWriteError = 23,
        kRecordSpaceQuery = 24,
        kRecordStarted = 65566,
    };
    static const unsigned long kDefaultDiskReserve = 0xC800000ul; // 200 MiB

    // What one stream event becomes.
    struct EventAction {
        int nCategory;
        int nCode;
        bool bStopRecorder; // recording ends before the handler is called
    };
    // The video and audio maps: false when the event is not delivered.
    static bool MapVideoEvent(unsigned long event, EventAction* out);
    static bool MapAudioEvent(unsigned long event, EventAction* out);
    // The clamps of SetRecordingInterval.
    static void ClampRecordingInterval(long* value, long* kind);

    CHTTPSCHLive();
    virtual ~CHTTPSCHLive();
    CHTTPSCHLive(const CHTTPSCHLive&) = delete;
    CHTTPSCHLive& operator=(const CHTTPSCHLive&) = delete;

    // Configuration.
    bool Create(unsigned int value);
    bool Destroy();
    void SetConnectMode(int nMode);
    void SetAuthData(const char* lpszUser, const char* lpszPass, int nType);
    void SetAuthorization(const char* lpszAuth);
    void SetAuthMD5Realm(const char* lpszRealm);
    bool AssignURL(const char* lpszURL, unsigned int nKind);
    bool AssignAudioURL(const char* lpszURL, unsigned int nKind);
    void AssignServerInfo(const char* lpszServer, unsigned int nPort);
    void AssignReqObject(const char* lpszObject, unsigned int nKind);
    void AssignProxy(const char* lpszProxy, unsigned int nPort);
    void UseProxy(bool bUse);
    void UseBypass(bool bUse);
    void AssignSpecifiedBypass(const char* lpszBypass);
    void SetDelayThreshold(unsigned int nThreshold);
    bool SetCallbackRenderMode(bool bMode, VideoRenderCallback pfnCallback, void* user);
    bool SetAudioCallbackRender(AudioRenderCallback pfnCallback, void* user);
    void SetStreamNotifyCB(StreamEventHandler pfnHandler, void* user);
    void SetLimitSpace(unsigned long bytes);
    void SetRecordingInterval(long value, long kind);

    // Video streams by profile.
    CHTTPVisStrm* GetStreamByProfileID(int nProfileID);
    bool AddStreamToArray(CHTTPVisStrm* pStream);
    bool RemoveStreamByProfileID(int nProfileID);
    virtual int CreateHTTP();
    int CreateHTTPByProfileID(int nProfileID);
    int StartHTTPByProfileID(int nProfileID);
    void StopHTTPByProfileID(int nProfileID);
    bool OpenRenderByProfileID(int nProfileID);
    void CloseRenderByProfileID(int nProfileID);
    int AddRefByProfileID(int nProfileID);
    int ReleaseRefByProfileID(int nProfileID);
    bool StartVideoStreamRender(bool bReconnect, int nProfileID);
    bool StartLiveVideo(bool bReconnect, int nProfileID, bool bUnused);
    void StopLiveVideo();
    bool IsLiveVideo();
    bool GetVideoFPS(double* pdbFPS);
    bool GetVideoBPS(unsigned long* pdwBPS);
    int GetCurrentStreamCount();

    // The audio stream.
    virtual int CreateAudioHTTP();
    int StartAudioHTTP();
    void StopAudioHTTP();
    bool OpenRenderAudio();
    void CloseRenderAudio();
    bool StartLiveAudio(bool bReconnect);
    void StopLiveAudio();
    bool IsLiveAudio();

    // Recording.
    bool OpenRecorderByProfileID(const char* lpszPath, int nProfileID);
    void CloseRecorderByProfileID(int nProfileID);
    bool StartVideoStreamRecorder(const char* lpszPath, int nProfileID);
    bool StartRecordVideo(const char* lpszPath, bool bReconnect, int nProfileID);
    void StopRecordVideo();
    bool OpenRecorderAudio(const char* lpszPath, bool bSkip);
    void CloseRecorderAudio();
    bool StartRecordAudio(const char* lpszPath, bool bReconnect, bool bSkip);
    void StopRecordAudio();
    bool StartRecordAvi(const char* lpszPath, bool bReconnect, int nProfileID);
    bool IsRecordVideo();
    bool IsRecordAudio();
    bool IsRecordAvi();

    void StopRecorder();
    void StopAll();

    // Events: the streams' callbacks, run on this session's message thread.
    static bool OnHTTPStreamNotify(void* session, unsigned long stream, unsigned long event);
    static bool OnAudioHTTPStreamNotify(void* session, unsigned long stream, unsigned long event);
    bool DoHTTPStreamNotify(unsigned long stream, unsigned long event);
    bool DoAudioHTTPStreamNotify(unsigned long stream, unsigned long event);
    // Queues callback(parameter, first, second) for the message thread.
    bool PostMessage(SessionMsgCallback pfnCallback, void* param, unsigned long first,
                     unsigned long second);

    bool IsRunning() const { return m_queue.IsRunning(); }
    // Tests only: the profile's use count, -1 without a stream.
    int GetUseCountForTest(int nProfileID);
    CHTTPAudStrm* GetAudioStreamForTest();

private:
    class CSessionLock;
    // An application callback as a stream is given it (the target is the
    // callback's user value). The audio stream tells a listener other than
    // the last one the format anew, so another application audio callback
    // gets the other of two targets.
    template <class Fn>
    struct DeliveryTarget {
        CHTTPSCHLive* pSession;
        Fn pfn;
        void* user;
    };
    typedef DeliveryTarget<AudioRenderCallback> AudioTarget;

    // Unlocked steps of the locked operations.
    void StopLiveVideoLocked();
    void StopRecordVideoLocked();
    void StopLiveAudioLocked();
    void StopRecordAudioLocked();
    CHTTPVisStrm* NewVideoStream();
    // Makes and connects the profile's stream, or takes the one there is.
    bool MakeOrJoinStream(int nProfileID);
    void DropUnusedStream(int nProfileID);
    bool ConfigureStream(CHTTPCtrl* pStream, HTTPNotifyMessageCB pfnNotify);
    // A stream taken out of the session, ended when the session mutex is released.
    void Retire(CHTTPCtrl* pStream);
    void FinishRetired();
    void Deliver(const EventAction& act);
    // What the streams call: the application's callback taken when rendering
    // opened, run inside this session's delivery scope.
    template <class Fn, class... Args>
    static void DeliverTo(void* target, Args... args);
    AudioTarget* TakeAudioTarget(AudioRenderCallback pfn, void* user);

    std::mutex m_mutex; // the session mutex
    unsigned int m_nCreateValue;
    std::string m_strURL;
    std::string m_strAudioURL;
    std::string m_strHost;
    unsigned int m_nPort;
    std::string m_strAudioHost;
    unsigned int m_nAudioPort;
    std::string m_strReqObject;
    std::string m_strAudioReqObject;
    SessionCredentials m_auth;
    unsigned int m_nDelayThreshold;
    bool m_bLiveVideo;
    CAVIWriter* m_hVideoRecorder;
    bool m_bLiveAudio;
    unsigned int m_nStreamKind;
    bool m_bDecoderFlag;
    SessionProxy m_proxy;
    bool m_bVideoReconnect;
    bool m_bAudioReconnect;
    bool m_bRenderMode;
    VideoRenderCallback m_pfnRender;
    void* m_pRenderUser;
    AudioRenderCallback m_pfnAudio;
    void* m_pAudioUser;
    StreamEventHandler m_pfnHandler;
    void* m_pHandlerUser;
    bool m_bRecordVideoFirst;
    CHTTPVisStrm* m_pHttpCtrl; // the profile-0 stream
    CHTTPAudStrm* m_pHttpAudCtrl;
    CAVIWriter* m_hAudioRecorder;
    int m_nAudioUseCount;
    long m_nIntervalValue;
    long m_nIntervalKind;
    unsigned long m_dwDiskReserve;
    std::deque<CHTTPVisStrm*> m_streams;
    int m_nLiveProfile;
    int m_nRecordProfile;
    int m_nConnectMode;

    // The callbacks the streams deliver to, under m_deliverLock: a start
    // that is refused does not change them.
    std::mutex m_deliverLock;
    DeliveryTarget<VideoRenderCallback> m_pictureTarget;
    AudioTarget m_audioTargets[2];
    int m_nAudioTarget;

    std::vector<CHTTPCtrl*> m_retired; // under m_mutex
    CSessionMsgQueue m_queue;
};

#endif
