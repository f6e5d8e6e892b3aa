#ifndef RILO_CNETWAVEOUT_H
#define RILO_CNETWAVEOUT_H

#include "RiloClientLib.h"
#include "net/NetHandles.h"
#include "record/AVIDefs.h"
#include "stream/MediaPacketHeader.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

// The talk-back event callback: (user, code, sender object).
typedef TalkEventCallback WaveOutEventCB;

enum : unsigned long {
    WAVEOUT_SOCKET_ERROR = 1, // the connection or its request failed
    WAVEOUT_SEND_ERROR = 2,   // a packet could not be sent
};

// One queued talk-back packet: its header and packet-size payload bytes.
struct _tagAudio_Data_Format {
    MediaPacketHeader header;
    std::unique_ptr<uint8_t[]> pbData;
};

// Uploads the application's 16-bit mono PCM to the camera's speaker: one
// HTTP POST on a connection of its own, then a packet (header and block)
// per interval, paced on a sender thread.
//
// At most about 2 s of audio waits in the queue: feeding a full queue drops
// the oldest packet. Connect, sends and the Digest probe's reply have
// time-outs, and UninitWaveOut interrupts any of them at once.
//
// InitWaveOut is true exactly when a sender runs (or ran and has reported).
// UninitWaveOut may be called from the talk-back callback while the
// application's thread calls it too, in either order. Called from the
// callback it returns at once; called from any other thread (the destructor
// too) it returns only once every sender of this object has ended and its
// callback has returned, a sender started meanwhile by the callback included.
class CNetWaveOut {
public:
    enum {
        kTextSize = 1024,
        kConnectTimeoutMs = 5000,
        kIoTimeoutMs = 5000, // no progress of a send, or no complete probe reply
        kMaxQueuedMs = 2000,
        kMaxReplyHeader = 8192,
    };

    CNetWaveOut();
    virtual ~CNetWaveOut();
    CNetWaveOut(const CNetWaveOut&) = delete;
    CNetWaveOut& operator=(const CNetWaveOut&) = delete;

    void SetExtraInfo(int nPath);
    // Splits an "http://host[:port]/path?query" URL (port 80 when none; an
    // IPv6 host keeps its brackets); false without a host or for another scheme.
    bool AssignURL(const char* lpszURL);
    void SetBufferSize(unsigned int nCount, unsigned int nSize);
    void SetFormat(unsigned short wBits, unsigned short wChannels, unsigned long nRate);
    void SetAuthorization(const char* lpszValue);
    void SetAuthData(const char* lpszUser, const char* lpszPass, int nType);

    bool InitWaveOut(WaveOutEventCB pfnCallback, void* pUser);
    // 0 when queued; -1 without data or when the sender has ended on its own.
    int FeedAudioData(const unsigned char* pData, unsigned int nLen);
    void UninitWaveOut();

private:
    // What one start of the sender works with, copied when it starts.
    struct Session {
        char szHost[kTextSize];
        uint16_t nPort;
        char szObject[kTextSize];
        char szAuthorization[kTextSize];
        char szUser[kTextSize];
        char szPassword[kTextSize];
        int nAuthType;
        int nPath;
        uint32_t dwPacketSize;
        uint32_t dwIntervalMs;
        int nStopFd;
        WaveOutEventCB pfnCallback;
        void* pCallbackUser;
    };
    typedef std::unique_ptr<_tagAudio_Data_Format> PacketPtr;

    // The second half of AssignURL: the camera's host, port and path; false
    // without a host, for a port outside 1..65535 or texts over 1023 bytes.
    bool AssignTarget(const char* lpszHost, int nPort, const char* lpszObject);
    bool InitBuffer(_tagAudio_Data_Format* pBuffer, uint32_t dwSize, const WAVEFORMATEX& fmt);
    void UninitBuffer(_tagAudio_Data_Format* pBuffer);
    // The sender thread: the upload, then its report; it holds its stop fd.
    void SenderThread(Session session, std::shared_ptr<UniqueFd> stopFd, uint64_t nGeneration);
    // The upload; the report code it ends with (0 for none).
    unsigned long ProcessThreadProc(Session session);
    UniqueFd CreateSocket(Session& session);
    bool SendRequest(int sock, const Session& session);
    bool DigestProbe(int sock, Session& session);
    PacketPtr WaitForPacket(std::chrono::steady_clock::time_point due);
    Session TakeSettings(WaveOutEventCB pfnCallback, void* pUser);
    bool StartSender(Session session, UniqueFd stopFd);
    void StopSender();
    void SignalStopLocked(); // under m_runLock
    static bool IsDigestProbe(const Session& session);
    bool StopRequested();
    void Report(const Session& session, unsigned long code);
    size_t MaxQueued() const; // under m_cfgLock

    // Set by the caller before a start, under m_cfgLock.
    std::mutex m_cfgLock;
    char m_szHost[kTextSize];
    uint16_t m_nPort;
    char m_szObject[kTextSize];
    char m_strAuthorization[kTextSize];
    char m_szAgent[kTextSize];
    int m_nAuthType;
    char m_szUser[kTextSize];
    char m_szPassword[kTextSize];
    WAVEFORMATEX m_wfx;
    unsigned int m_nBufferCount; // kept, not used
    unsigned int m_nPacketSize;
    int m_nPath;

    // The queue, the packet counter and the stop request, under m_queueLock.
    std::mutex m_queueLock;
    std::condition_variable m_queueCond;
    std::deque<PacketPtr> m_queue;
    uint32_t m_dwPacketCounter;
    bool m_bStop;

    // The sender's start and end, under m_runLock; the sender itself reads
    // none of them but the generation (its session holds what it needs).
    std::mutex m_runLock;
    std::condition_variable m_senderEnded;
    WaveOutEventCB m_pfnCallback;
    void* m_pCallbackUser;
    std::atomic<bool> m_bRunning;     // started and not yet stopped
    std::atomic<bool> m_bSenderAlive; // the sender has not ended on its own
    uint64_t m_nGeneration;           // of the sender started last
    int m_nSenders;                   // sender threads not yet past their callback
    // eventfd of the running sender: wakes it out of any socket wait. The
    // sender holds it too, so it stays open while the sender may wait on it.
    std::shared_ptr<UniqueFd> m_stopFd;
};

#endif
