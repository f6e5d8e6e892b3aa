// The recorder hooks that the video and audio stream bases share: the
// stream's recorder, its two flags, the segment settings, and the mapping of
// recording results to owner events. Each hook takes the stream's object
// lock, the lock its subclass holds while it writes to the recorder.
#ifndef RILO_CRECORDERHOOKS_H
#define RILO_CRECORDERHOOKS_H

#include "record/CMediaFileWriter.h"

#include <memory>

class CAVIWriter;
class CBLThread;

class CRecorderHooks {
public:
    CRecorderHooks(const CRecorderHooks&) = delete;
    CRecorderHooks& operator=(const CRecorderHooks&) = delete;

    // Creates the recorder when there is none. With shared (the handle the
    // camera's other stream returned) the path is ignored and this stream
    // joins that file; otherwise a new file at lpszPath, with this stream's
    // segment settings. Returns the writer handle, null on failure.
    virtual CAVIWriter* InitRecorder(const char* lpszPath, CAVIWriter* pShared);
    // Clears both flags and drops the recorder: returns what releasing its
    // writer gave (-1 file kept, 0 deleted, above 0 still shared), 0 without one.
    virtual int UninitRecorder();
    // Releases a handle that InitRecorder returned.
    virtual void ReleaseRecorder(CAVIWriter* hRecoder);
    // Kept for the next InitRecorder; a recorder in use keeps its own.
    virtual void SetRecordingInterval(long value, long kind);
    // The disk reserve of the recorder in use; not kept without one.
    virtual void SetLimitSpace(unsigned long bytes);

    // The owner event of a recording result (code * 65536 + 2, as a 32-bit
    // word): false for results that are not reported.
    static bool AVIResultEvent(int nRet, unsigned long* pValue);

protected:
    // stream: whose object lock guards the recorder.
    explicit CRecorderHooks(CBLThread& stream);
    virtual ~CRecorderHooks();
    // Whether audio waits for the first video frame in a new file.
    virtual bool IsVideoRecordingFirst() const = 0;

    std::unique_ptr<CMediaFileWriter> m_pRecorder;
    bool m_bRecordRequested; // a writer was given; cleared when writing starts at a key unit
    bool m_bRecording;
    long m_nIntervalValue;
    long m_nIntervalKind;

private:
    CBLThread& m_stream;
};

#endif
