#ifndef RILO_CLIBMODULE_H
#define RILO_CLIBMODULE_H

#include "RiloClientLib.h"
#include "session/CNetWaveOut.h"

#include <memory>

class CHTTPNotifyLive;
class CHTTPSCHLive;

// The record behind a stream handle (with a live session) or a notify handle
// (with an event session): the camera's address and credentials until a
// start hands them on, the recording settings, and the talk-back sender.
class CLibModule {
public:
    enum { kTextSize = 1024 };

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

    // The authorization step of a start: the ready value when there is one,
    // else user, password and type.
    template <class Target>
    void ApplyAuthorization(Target* pTarget) const
    {
        if (m_strAuthData[0])
            pTarget->SetAuthorization(m_strAuthData);
        else
            pTarget->SetAuthData(m_szUser, m_szPass, m_nAuthType);
    }

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

    std::unique_ptr<CHTTPSCHLive> m_pLive;
    int m_nProfileID;
    unsigned m_nModalType;
    unsigned m_nCreateParam;
    char m_szHost[kTextSize];
    int m_nPort;
    char m_szUser[kTextSize];
    char m_szPass[kTextSize];
    char m_strAuthData[kTextSize];
    int m_nAuthType;
    int m_nConnectMode;
    char m_strAuthOpt[kTextSize];
    int m_nRecIntervalKind;
    int m_nRecIntervalValue;
    StreamEventHandler m_pfnStreamNotify;
    void* m_pStreamNotifyUser;
    std::unique_ptr<CHTTPNotifyLive> m_pNotifyLive;
    CNetWaveOut m_WaveOut;

private:
    static bool StoreText(char (&field)[kTextSize], const char* lpszText);
    // The credentials of a talk start: the ready value, or user and password
    // (from the stored realm option, Base64 "user:password", when set).
    void ApplyTalkCredentials(int nAuthType);
};

// The start's video URL and stream kind by the handle's model code, handed
// to its live session; the fixed-URL families force *pProfile to 0. False
// without a session or when the URL does not fit or is not taken.
bool DetermineAssignVideoModalType(CLibModule* h, int* pProfile);
// The audio URL likewise; false (with a message) for a model without audio.
bool DetermineAssignAudioModalType(CLibModule* h);

#endif
