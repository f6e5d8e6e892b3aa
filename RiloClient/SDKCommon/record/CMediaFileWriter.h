// The recording facade of one video or audio stream: its settings, and the
// AVI writer it holds one reference of (its own new file, or the file that
// the camera's other stream writes).
#ifndef RILO_CMEDIAFILEWRITER_H
#define RILO_CMEDIAFILEWRITER_H

#include "record/AVIDefs.h"

#include <cstdint>
#include <mutex>

class CAVIWriter;

class CMediaFileWriter {
public:
    CMediaFileWriter();
    virtual ~CMediaFileWriter();
    CMediaFileWriter(const CMediaFileWriter&) = delete;
    CMediaFileWriter& operator=(const CMediaFileWriter&) = delete;

    // With a path: a new writer and file. Without one: attaches to shared.
    // Returns the handle (the writer, with a reference of its own) or null.
    CAVIWriter* SetWriteAVIFile(const char* lpszPath, CAVIWriter* pShared);
    bool StartRecordStream(RecordMediaType nType, int nWidth, int nHeight,
                           const WAVEFORMATEX* pFormat, bool bUnused, uint64_t nStamp,
                           unsigned long nValue);
    // bKey: a picture a reader can start decoding at.
    int RecordAVIFrame(RecordMediaType nType, const unsigned char* pData, unsigned long nLen,
                       uint64_t nStamp, unsigned long nValue, bool bKey = true);
    int RecordAVISample(RecordMediaType nType, const unsigned char* pData, unsigned long nLen,
                        uint64_t nStamp, unsigned long nSeq);
    bool RequestForStop();
    bool IsStreamStarted(RecordMediaType nType);
    void SetVideoFirst(bool bFirst);
    void SetRecordingInterval(long value, long kind);
    void SetLimitSpace(unsigned long bytes);
    uint32_t GetWriteDataSize();
    // Lets go of the writer; what its Release returned is kept.
    void CloseAVI();
    int GetLastReleaseResult();

    void Lock() { m_lock.lock(); }
    void Unlock() { m_lock.unlock(); }

private:
    void ReleaseWriter();

    std::mutex m_lock;
    CAVIWriter* m_pWriter;
    int m_nLastRelease;
    bool m_bVideoFirst;
    long m_nIntervalValue;
    long m_nIntervalKind;
    unsigned long m_nLimitSpace;
};

#endif
