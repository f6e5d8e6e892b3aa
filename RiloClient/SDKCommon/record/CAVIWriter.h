// One RIFF AVI file written from the live streams of one camera: at most one
// video and one audio stream, interleaved in arrival order. Shared by the
// camera's streams and counted by hand: the last Release finishes the file
// (or deletes it when no data reached it) and deletes the writer.
// CAVIWriterFinish.cpp holds the references and the finishing of the file.
#ifndef RILO_CAVIWRITER_H
#define RILO_CAVIWRITER_H

#include "record/AVIDefs.h"
#include "record/AVIStreamContext.h"
#include "record/CAVIFile.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

// Free bytes of the file system holding folder; 0 on success, -1 on failure.
typedef int (*AVIFreeSpaceFunc)(const char* folder, uint64_t* freeBytes);

class CAVIWriter {
public:
    enum {
        kPathSize = 1024,
        kSpaceCheckMs = 10000,
    };
    enum SegmentKind : long { skSeconds = 0, skMinutes = 1, skMiB = 16, skGiB = 17 };

    CAVIWriter();
    CAVIWriter(const CAVIWriter&) = delete;
    CAVIWriter& operator=(const CAVIWriter&) = delete;

    bool CreateFile(const char* lpszFilePath);
    void SetLimitSpace(uint64_t bytes);
    void SetRecordingInterval(long value, long kind);
    // While set, audio is dropped until the first video frame is written.
    void SetWaitForVideo(bool bWait);

    // Adds the stream of type to the file. Width and height serve video,
    // the format audio; the last three arguments are not used.
    AVIStreamContext* AddStream(int nType, long nWidth, long nHeight, const WAVEFORMATEX* pFormat,
                                bool bUnused, uint64_t nUnused1, unsigned long nUnused2);
    AVIStreamContext* GetStream(int nType);
    bool SetFormat(AVIStreamContext* pStrmContext, const void* lpFormat, long cbFormat,
                   bool bUnused);

    // bKey: a picture a reader can start decoding at (flagged in the index).
    int WriteFrame(AVIStreamContext* pContext, const unsigned char* pData, unsigned long nLen,
                   uint64_t nStamp, unsigned long nValue, bool bKey = true);
    int WriteFrame(int nType, const unsigned char* pData, unsigned long nLen, uint64_t nStamp,
                   unsigned long nValue, bool bKey = true);
    int WriteSample(AVIStreamContext* pContext, const unsigned char* pData, unsigned long nLen,
                    uint64_t nStamp, unsigned long nSeq);
    int WriteSample(int nType, const unsigned char* pData, unsigned long nLen, uint64_t nStamp,
                    unsigned long nSeq);

    bool RequestForStop();
    bool IsStreamClose();
    void AddRef();
    // This writer with one more reference, or null when none is left.
    CAVIWriter* DuplicatePoint();
    // Drops one reference: the count still held, or at the last one -1 when
    // the file is kept and 0 when it was deleted (or none was open).
    int Release();
    void ReleaseStream(AVIStreamContext* pContext);

    // Payload bytes accepted so far plus the header area (read without locks).
    uint32_t GetWrittenBytes() const { return m_dwWritten; }
    void Lock() { m_lock.lock(); }
    void Unlock() { m_lock.unlock(); }

    // Tests only: how free space is measured (null: statvfs).
    static void SetFreeSpaceFuncForTest(AVIFreeSpaceFunc fn);

protected:
    virtual ~CAVIWriter(); // through Release only

private:
    AVIStreamContext* FindStream(int nType) const;
    bool HoldsStream(const AVIStreamContext* pContext) const;
    AVIStreamContext* AddStreamLocked(int nType, const AVISTREAMINFO& info, const uint8_t* pFormat,
                                      long cbFormat);
    // The stream headers that are not yet in place, at their places.
    bool WriteStreamHeaders();
    bool PrepareWrite(AVIStreamContext* pContext, int* pResult);
    int Write(AVIStreamContext* pContext, bool bAudio, const unsigned char* pData,
              unsigned long nLen, uint64_t nStamp, unsigned long nValue, bool bKey);
    int WriteLocked(AVIStreamContext* pContext, bool bAudio, const unsigned char* pData,
                    unsigned long nLen, uint64_t nStamp, unsigned long nValue, bool bKey);
    bool SyncVideo(uint64_t nStamp, int64_t* pLead);
    bool SyncAudio(const AVIStreamContext* pContext, uint64_t nStamp, int64_t* pLead);
    void SetStampBase(bool bAudio, uint64_t nStamp, bool bAligned);
    uint32_t MonotonicElapsedMs() const;
    int CheckLimits(bool bAudio, uint64_t nStamp, unsigned long nLen);
    bool CheckReachToSegment(bool bAudio, uint64_t nStamp);
    int IsReachLimitSpace();
    int Accepted(bool bAudio, unsigned long nLen, uint64_t nStamp);
    int WriteFailed();
    void AVIFileRelease();
    void PatchU32(uint64_t off, uint32_t value);

    int m_nRef;
    std::deque<std::unique_ptr<AVIStreamContext>> m_streams;
    CAVIFile m_file;
    AVIShareData m_share;
    char m_szFilePath[kPathSize];
    char m_szFolder[kPathSize];
    std::atomic<uint32_t> m_dwWritten;
    uint64_t m_nReserve;
    long m_nLimitValue;
    long m_nLimitKind;
    uint32_t m_dwLastSpaceCheck;
    bool m_bSpaceChecked;
    bool m_bStop;
    bool m_bFailed; // a write failed: the file is finished as it stands
    uint64_t m_nLastVideoStamp;
    uint64_t m_nLastAudioStamp;
    int m_nSyncState; // 0 none, 1 video first, 2 audio first, 3 aligned
    uint64_t m_nStartStamp;
    uint64_t m_nStampBase[2]; // per video, audio: the stamp of elapsed time 0
    bool m_bWaitVideo;
    bool m_bDataWritten;    // a data chunk reached the file: it is kept
    uint32_t m_dwFirstTick; // monotonic, at the first data chunk
    bool m_bHeaderClosed;
    std::mutex m_lock;
};

#endif
