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
// may stop or destroy its session; render and audio callbacks run under a
// lock of their stream's (the MJPEG stream's and its connection's, the
// decoder's, the audio connection's) and must not call into the session but
// for IsLiveVideo and IsLiveAudio, which take no lock. They run inside the
// session's CDeliveryScope, so the exported functions can tell.
//
// CHTTPSCHLiveRecord.cpp holds the recording control and the event handling.
#ifndef RILO_CHTTPSCHLIVE_H
#define RILO_CHTTPSCHLIVE_H

#include "LockedCallback.h"
#include "RiloClientLib.h"
#include "session/CProfileStreams.h"
#include "session/CSessionMsgQueue.h"
#include "session/CSessionSettings.h"
#include "session/LiveSessionMaps.h"
#include "session/StreamOwner.h"

#include <atomic>
#include <string>
#include <vector>

class CAVIWriter;
class CHTTPAudStrm;
class CHTTPCtrl;
class CHTTPVisStrm;
class CRecorderHooks;

class CHTTPSCHLive : public CSessionSettings {
public:
    enum : unsigned int {
        kVideoNotifyMsg = 1124,
        kAudioNotifyMsg = 1125,
        kDefaultDelayThreshold = 10,
        kDefaultProxyPort = 8080,
    };
    // Stream kinds of AssignURL; any other value is MJPEG.
    enum : unsigned int { kKindMPEG4 = 0, kKindMJPEG = 1, kKindH264 = 2 };
    static const unsigned long kDefaultDiskReserve = 0xC800000ul; // 200 MiB

    CHTTPSCHLive();
    virtual ~CHTTPSCHLive();

    // Configuration (credentials, proxy and connect mode: CSessionSettings).
    bool Create(unsigned int value);
    bool Destroy();
    bool AssignURL(const char* lpszURL, unsigned int nKind);
    bool AssignAudioURL(const char* lpszURL, unsigned int nKind);
    void AssignServerInfo(const char* lpszServer, unsigned int nPort);
    void AssignReqObject(const char* lpszObject, unsigned int nKind);
    void SetDelayThreshold(unsigned int nThreshold);
    bool SetCallbackRenderMode(bool bMode, VideoRenderCallback pfnCallback, void* user);
    bool SetAudioCallbackRender(AudioRenderCallback pfnCallback, void* user);
    void SetStreamNotifyCB(StreamEventHandler pfnHandler, void* user);
    void SetLimitSpace(unsigned long bytes);
    void SetRecordingInterval(long value, long kind);

    // Video streams by profile (m_streams).
    CHTTPVisStrm* GetStreamByProfileID(int nProfileID);
    // Makes the profile-0 stream.
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
    template <class Stream>
    CAVIWriter* OpenRecorderOn(Stream& stream, const char* lpszPath, CAVIWriter* pShared);
    static void CloseRecorderOn(CRecorderHooks& stream, CAVIWriter* pWriter);
    // An application callback as a stream is given it (the target is the
    // callback's user value). The audio stream tells a listener other than
    // the last one the format anew, so another application audio callback
    // gets the other of two targets.
    template <class Fn>
    struct DeliveryTarget {
        DeliveryTarget(CHTTPSCHLive* s) : pSession(s) {}
        CHTTPSCHLive* const pSession;
        LockedCallback<Fn> callback; // a start that is refused does not change it
    };
    typedef DeliveryTarget<AudioRenderCallback> AudioTarget;

    // Unlocked steps of the locked operations.
    void StopLiveVideoLocked();
    void StopRecordVideoLocked();
    void StopLiveAudioLocked();
    // Rendering opened on the audio stream and the stream told it is live.
    bool OpenLiveAudio();
    void StopRecordAudioLocked();
    StreamPtr<CHTTPVisStrm> NewVideoStream();
    // Makes the profile's stream: 1 made (not connected yet), -1 the
    // profile has one, 0 failed.
    int MakeStream(int nProfileID);
    // Connects a stream just made; one that cannot connect is stopped.
    bool ConnectNewStream(int nProfileID);
    // Makes and connects the profile's stream, or takes the one there is.
    bool MakeOrJoinStream(int nProfileID);
    void DropUnusedStream(int nProfileID);
    bool ConfigureStream(CHTTPCtrl& stream, HTTPNotifyMessageCB pfnNotify);
    // A stream taken out of the session, ended when the session mutex is released.
    void Retire(StreamPtr<CHTTPCtrl> pStream);
    void FinishRetired();
    void Deliver(const livemaps::EventAction& act);
    // What the streams call: the application's callback taken when rendering
    // opened, run inside this session's delivery scope.
    template <class Fn, class... Args>
    static void DeliverTo(void* target, Args... args);
    AudioTarget* TakeAudioTarget(AudioRenderCallback pfn, void* user);

    // Under the session mutex (CSessionSettings::m_mutex) unless said.
    unsigned int m_nCreateValue;
    std::string m_strURL;
    std::string m_strAudioURL;
    std::string m_strHost;
    unsigned int m_nPort;
    std::string m_strAudioHost;
    unsigned int m_nAudioPort;
    std::string m_strReqObject;
    std::string m_strAudioReqObject;
    unsigned int m_nDelayThreshold;
    // Written under the session mutex, read without it (from callbacks too).
    std::atomic<bool> m_bLiveVideo;
    CAVIWriter* m_hVideoRecorder;
    std::atomic<bool> m_bLiveAudio;
    unsigned int m_nStreamKind;
    bool m_bDecoderFlag;
    bool m_bVideoReconnect;
    bool m_bAudioReconnect;
    bool m_bRenderMode;
    CallbackTarget<VideoRenderCallback> m_render;
    CallbackTarget<AudioRenderCallback> m_audio;
    LockedCallback<StreamEventHandler> m_handler; // under its own lock
    bool m_bRecordVideoFirst;
    CAVIWriter* m_hAudioRecorder;
    int m_nAudioUseCount;
    long m_nIntervalValue;
    long m_nIntervalKind;
    unsigned long m_dwDiskReserve;
    int m_nLiveProfile;
    int m_nRecordProfile;

    // The callbacks the streams deliver to.
    DeliveryTarget<VideoRenderCallback> m_pictureTarget;
    AudioTarget m_audioTargets[2];
    int m_nAudioTarget;

    // The streams post into the queue, so it outlives them.
    CSessionMsgQueue m_queue;
    CProfileStreams m_streams;
    StreamPtr<CHTTPAudStrm> m_pHttpAudCtrl;
    std::vector<StreamPtr<CHTTPCtrl>> m_retired;
};

// The session mutex for one locked operation. Streams taken out of the
// session under it are ended (worker joined, queued events dropped) once it
// is released, so no worker is joined under the session mutex.
class CHTTPSCHLive::CSessionLock {
public:
    explicit CSessionLock(CHTTPSCHLive& s) : m_s(s) { m_s.m_mutex.lock(); }
    ~CSessionLock()
    {
        m_s.m_mutex.unlock();
        m_s.FinishRetired();
    }
    CSessionLock(const CSessionLock&) = delete;
    CSessionLock& operator=(const CSessionLock&) = delete;

private:
    CHTTPSCHLive& m_s;
};

#endif
