#ifndef RILO_CVIDEODECTHREAD_H
#define RILO_CVIDEODECTHREAD_H

#include "RiloClientLib.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

class CFFVideoDecoder;
class CTransferQueue;

// The data source of a decode thread, called on the decode thread: copies
// one unit of at most dwCapacity bytes into pBuffer, waiting a short time
// (about 100 ms at most) for one, and answers the bytes copied (0: none
// came). nParam is the value the owner gave Initialize; pBacklog, when not
// null, receives the number of units still waiting; dwLastKind says what the
// thread made of the previous unit (1 a new configuration, 2 a
// configuration it could not use, else 0).
typedef unsigned long (*FrameSourceProc)(unsigned int nParam, unsigned char* pBuffer,
                                         unsigned long dwCapacity, void* pContext,
                                         unsigned int* pBacklog, unsigned long dwLastKind);

// The body of a stream's FrameSourceProc: waits up to dwWaitMs for the
// oldest queued unit, copies as much of it as fits into pBuffer, gives the
// queue buffer back, stores the number still queued through pBacklog (may
// be null) and answers the bytes copied (0 when none came).
unsigned long TakeQueuedUnit(CTransferQueue* pQueue, unsigned long dwWaitMs, unsigned char* pBuffer,
                             unsigned long dwCapacity, unsigned int* pBacklog);

// The decode thread of a video stream, shared by the MPEG-4 and H.264
// decoders: it pulls units from the stream's data source, lets the format
// handle each (HandleUnit), paces pictures on signed due times of the
// monotonic clock, keeps frame and byte rates, and delivers each picture to
// the render callback while it holds this object's lock.
//
// The output buffer and frame descriptor follow each decoded picture. A unit
// that gives no new picture delivers the last one again; before the first
// picture nothing is delivered.
//
// Use by a stream: SetFrameSource, SetPacing and SetRenderCallback, then
// StartDecodingProc; StopDecodingProc when done. After StopDecodingProc has
// returned no callback runs. The render callback must not call back into
// this object (the lock is not recursive), and StopDecodingProc must not be
// called from the callback.
class CVideoDecThread {
public:
    // Bytes of the unit buffer, and the most a unit may have: larger than
    // the stream queues' buffers, so that every unit is decoded whole.
    enum : unsigned long { kUnitBufferSize = 0x80000 };

    virtual ~CVideoDecThread();
    CVideoDecThread(const CVideoDecThread&) = delete;
    CVideoDecThread& operator=(const CVideoDecThread&) = delete;

    // Taken by the thread when it starts.
    void SetFrameSource(FrameSourceProc pfnSource, void* pContext);
    // Pacing is on by default; off, pictures go out as fast as they decode.
    void SetPacing(bool bOn);
    // Backlog (queued units) above which pacing is shortened; default 10.
    void SetDelayThreshold(unsigned int nThreshold);
    // With bOn, pictures go to pfn(pUser, ...); without, both are cleared.
    void SetRenderCallback(bool bOn, VideoRenderCallback pfn, void* pUser);

    // 0 running; -2 a thread exists already; -1 the thread could not be
    // created, could not open its decoder, or failed at once.
    int StartDecodingProc();
    // Ends the thread and waits for it; returns within about one data
    // source wait.
    void StopDecodingProc();
    // Frames per second and bytes per second / 128 over the last closed
    // window of about a second. Pointers required.
    void GetFPS(double* pdbFPS);
    void GetBPS(unsigned long* pdwBPS);

protected:
    // Results of ProcessFrame.
    enum { kFrameNew = 0, kFrameFailed = -1, kFrameNone = -2, kFrameNoBuffer = -3 };

    CVideoDecThread();

    // The format's steps, on the decode thread. OpenDecoder false ends the
    // thread before it runs.
    virtual bool OpenDecoder() = 0;
    virtual void OnDecodingStarted() = 0;
    virtual void HandleUnit(unsigned char* pUnit, unsigned long dwLen) = 0;
    virtual void CloseDecoder() = 0;

    // For the steps. The data source parameter passed to every pull.
    void SetSourceParameter(unsigned int nParam) { m_nSourceParam = nParam; }
    // One pull into pBuffer (kUnitBufferSize bytes); 0 when nothing came.
    unsigned long PullUnit(unsigned char* pBuffer);
    void SetLastKind(unsigned long dwKind) { m_dwLastKind = dwKind; }
    bool IsRunning() const { return m_nState.load() == kStateRunning; }
    // Ends the loop with the failed state.
    void SetFailed();
    // When pacing is on: the next picture is due llStep (100-ns units) less
    // the backlog allowance after the last; waits for that time unless it
    // has passed, when the schedule restarts from now.
    void PaceStep(int64_t llStep);
    // The next picture goes out at once and starts the schedule.
    void ResetPacing() { m_bScheduled = false; }
    // Waits up to nMs, or until a stop.
    void IdleWait(int nMs);
    void CountFrame(unsigned long dwBytes);
    // DecodeFrame, then DeliverFrame.
    int ProcessFrame(CFFVideoDecoder& decoder, bool bDecode, const unsigned char* pData,
                     unsigned long dwLen);
    // Decodes the unit when bDecode: kFrameNew when a picture came out,
    // kFrameNone when none did, else kFrameFailed.
    int DecodeFrame(CFFVideoDecoder& decoder, bool bDecode, const unsigned char* pData,
                    unsigned long dwLen);
    // Under the lock, held through the callback: takes a new picture
    // (nDecoded kFrameNew) into the output, then delivers. Answers the
    // result of the whole.
    int DeliverFrame(CFFVideoDecoder& decoder, int nDecoded);

    std::mutex m_mutex; // the output, the descriptor, the rates, the handshake

private:
    enum { kStateStopped = 0, kStateStarting = -1, kStateRunning = 1, kStateFailed = -2 };

    static void DecodeFrameThreadProc(CVideoDecThread* pThis);
    void DoRenderFrameStream();
    void ReportStart();
    void RunLoop(unsigned char* pUnit);
    void ReportEnd();
    void WaitUntil(int64_t llDue);
    void UpdateAllowance();
    void UpdateRates();
    void StopLocked(std::unique_lock<std::mutex>& control);
    // With m_mutex held.
    int TakeDecodedPicture(CFFVideoDecoder& decoder);
    bool AllocBuffer(size_t dwNeed);
    void SetFrameSize(int nWidth, int nHeight);
    void DeliverToCallback();
    void CleanUp();

    std::mutex m_controlMutex; // one start or stop at a time
    std::condition_variable m_cond;
    std::thread m_thread;
    std::atomic<int> m_nState{kStateStopped};
    bool m_bStartReported = false; // guarded by m_mutex
    bool m_bEnded = false;         // guarded by m_mutex
    std::atomic<bool> m_bPacing{true};
    std::atomic<unsigned int> m_nDelayThreshold{10};

    FrameSourceProc m_pfnSource = nullptr; // guarded by m_mutex
    void* m_pSourceContext = nullptr;      // guarded by m_mutex

    // Decode thread only.
    FrameSourceProc m_pfnThreadSource = nullptr;
    void* m_pThreadSourceContext = nullptr;
    unsigned int m_nSourceParam = 0;
    unsigned long m_dwLastKind = 0;
    unsigned int m_nBacklog = 0;
    int64_t m_llAllowance = 0; // 100-ns units
    int64_t m_llNextAllowanceCheck = 0;
    bool m_bScheduled = false;
    int64_t m_llDue = 0;
    uint32_t m_dwFrames = 0;
    uint64_t m_qwBytes = 0;
    int64_t m_llWindowStart = 0;

    // Guarded by m_mutex.
    double m_dbFrameRate = 0;  // frames per 100 ns
    uint32_t m_dwByteRate = 0; // bytes per second
    std::unique_ptr<unsigned char[]> m_pOutput;
    size_t m_dwOutputCapacity = 0; // CPictureConverter::kSpareBytes more are allocated
    bool m_bHasPicture = false;
    tagBITMAPINFOHEADER m_Header{};
    bool m_bCallbackMode = false;
    VideoRenderCallback m_pfnRender = nullptr;
    void* m_pRenderUser = nullptr;
};

#endif
