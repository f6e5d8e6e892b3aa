#ifndef RILO_CLIBMODULE_H
#define RILO_CLIBMODULE_H

#include "RiloClientLib.h"
#include "session/CDeliveryScope.h"
#include "session/CNetWaveOut.h"

#include <atomic>
#include <memory>
#include <mutex>

class CHTTPNotifyLive;
class CHTTPSCHLive;

// The record behind a stream handle (with a live session) or a notify handle
// (with an event session): the camera's address and credentials until a
// start hands them on, the recording settings, and the talk-back sender.
//
// The handle's own callbacks may set and start on it while the application's
// thread does, so what the setters store is kept under the handle's lock.
// That lock is a leaf: it is held only while those fields are read or
// written, and never across a call into a session or the talk-back sender.
// (A stop waits in the session for a running event handler, which may want
// the lock.) A start copies the fields and calls the session with the copy.
class CLibModule {
public:
    enum { kTextSize = 1024 };

    // What the setters store, as a start takes it.
    struct Settings {
        char szHost[kTextSize];
        int nPort;
        char szUser[kTextSize];
        char szPass[kTextSize];
        char strAuthData[kTextSize]; // a ready Authorization value, used first
        int nAuthType;
        int nConnectMode;
        char strAuthOpt[kTextSize]; // the realm option
        int nRecIntervalKind;
        int nRecIntervalValue;
        StreamEventHandler pfnStreamNotify;
        void* pStreamNotifyUser;

        // The authorization step of a start: the ready value when there is
        // one, else user, password and type.
        template <class Target>
        void ApplyAuthorization(Target* pTarget) const
        {
            if (strAuthData[0])
                pTarget->SetAuthorization(strAuthData);
            else
                pTarget->SetAuthData(szUser, szPass, nAuthType);
        }
    };

    CLibModule(unsigned nCreateParam, unsigned nModalType);
    virtual ~CLibModule();
    CLibModule(const CLibModule&) = delete;
    CLibModule& operator=(const CLibModule&) = delete;

    // The setters' texts: false, and nothing stored, for one of kTextSize
    // bytes or more. A null text is a programming error.
    static bool FitsText(const char* lpszText);
    bool SetHost(const char* lpszHost, int nPort);
    bool SetCredentials(const char* lpszUser, const char* lpszPass, int nAuthType);
    bool SetAuthData(const char* lpszValue);
    bool SetAuthOption(const char* lpszOption);
    void SetConnectMode(int nMode);
    void SetRecordingInterval(int nKind, int nValue);
    void SetStreamNotify(StreamEventHandler pfnHandler, void* pUser);
    void SetProfileID(int nProfileID);
    // A copy of what the setters stored, taken under the handle's lock.
    Settings TakeSettings() const;
    // True for the first call refused inside one of the handle's callbacks
    // of that kind, whose refusal is then reported.
    bool FirstRefusal(CDeliveryScope::Kind kind);

    // Talk-back on path 1, 2 or 3 (-3 for another), or path 1 without
    // touching the sender's path (RiloStartAudioStreamOutCB).
    int StartTwoWayAudio(int nPath, TalkEventCallback pfnCallback, void* pUser);
    int StartAudioStreamOut(TalkEventCallback pfnCallback, void* pUser);

    // The live session of a stream handle; false when its thread cannot start.
    bool CreateLive();
    // Every live and recording stream stopped, the session ended and freed.
    void StopAllStream();

    // Event notification of a notify handle.
    bool CreateNotify();
    int StartNotify();
    int StopNotify();
    void DestroyNotify();

    // Made with the handle and read-only until it is destroyed; the sessions
    // and the sender lock themselves.
    std::unique_ptr<CHTTPSCHLive> m_pLive;
    const unsigned m_nModalType;
    const unsigned m_nCreateParam;
    std::unique_ptr<CHTTPNotifyLive> m_pNotifyLive;
    CNetWaveOut m_WaveOut;

private:
    static bool StoreText(char (&field)[kTextSize], const char* lpszText);
    bool StoreLocked(char (&field)[kTextSize], const char* lpszText);
    // The credentials of a talk start: the ready value, or user and password
    // (from the stored realm option, Base64 "user:password", when set).
    void ApplyTalkCredentials(const Settings& s, int nAuthType);

    mutable std::mutex m_lock; // the handle's lock, over the two below
    int m_nProfileID;
    Settings m_settings;
    std::atomic<unsigned> m_nRefusalsSaid; // a bit per callback kind
};

// The start's video URL and stream kind by the handle's model code and the
// settings taken, handed to its live session; the fixed-URL families force
// *pProfile to 0. False without a session or when the URL does not fit or
// is not taken.
bool DetermineAssignVideoModalType(CLibModule* h, const CLibModule::Settings& s, int* pProfile);
// The audio URL likewise; false (with a message) for a model without audio.
bool DetermineAssignAudioModalType(CLibModule* h, const CLibModule::Settings& s);

#endif
