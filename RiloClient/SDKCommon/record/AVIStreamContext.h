// One stream of a recording file: its headers, its timeline and its chunks.
#ifndef RILO_AVISTREAMCONTEXT_H
#define RILO_AVISTREAMCONTEXT_H

#include "record/AVIDefs.h"

#include <cstdint>
#include <vector>

class CAVIFile;

// What the streams of one file share: the header area's end, the movi list's
// size and the idx1 entries. The writer owns it, one per file, so two open
// files never share an index; it grows with the file.
struct AVIShareData {
    uint32_t dwHeaderEnd = 0;   // just past the last stream header written; 0 before any
    uint32_t dwMoviSize = 4;    // the "movi" word and every chunk so far, pads included
    std::vector<uint8_t> index; // idx1 entries, 16 bytes each
};

class AVIStreamContext {
public:
    enum WriteOutcome { woWritten, woDropped, woFailed };

    AVIStreamContext();
    ~AVIStreamContext();
    AVIStreamContext(const AVIStreamContext&) = delete;
    AVIStreamContext& operator=(const AVIStreamContext&) = delete;

    // Makes the stream's list and header; for video, writes the main header.
    bool CreateStream(CAVIFile* pFile, int nType, const AVISTREAMINFO* pStrmInfo,
                      AVIShareData* pShare);
    // Adds the stream's "strf" chunk to its list.
    bool SetFormat(const void* lpFormat, long cbFormat);
    // Writes the list at pos of the header area as stream nStreamNo, and
    // the padding chunk's head after it: the position after the list, 0
    // when it does not fit or is not written.
    uint32_t WriteHeader(uint32_t pos, int nStreamNo);
    // Pads the header area and opens the movi list; once per file.
    bool EndOfHeader();

    // A video frame on the 30 frames-per-second timeline, lead slots later.
    WriteOutcome WriteFrame(const uint8_t* pData, uint32_t nLen, uint32_t dwFlags, uint64_t nStamp,
                            uint32_t nValue, int64_t nLead);
    // An audio packet after nLead blocks of silence and silence for the
    // packets lost since the last one.
    WriteOutcome WriteSample(const uint8_t* pData, uint32_t nLen, uint32_t dwFlags, uint64_t nStamp,
                             uint32_t nSeq, int64_t nLead);
    void Release();

    int GetMediaType() const { return m_nMediaType; }
    int64_t GetPosition() const { return m_nPosition; }
    uint64_t GetLengthOffset() const { return m_nLengthOffset; }
    uint32_t GetScale() const { return m_dwScale; }
    uint32_t GetRate() const { return m_info.dwRate; }
    uint32_t GetSampleSize() const { return m_info.dwSampleSize; }

private:
    bool AVIFileCreateStream(CAVIFile* pFile, const AVISTREAMINFO* pStrmInfo, AVIShareData* pShare);
    // Empty chunks up to position, then one chunk of len bytes counting count slots.
    bool AVIStreamWrite(int64_t nPosition, int64_t nCount, const uint8_t* pData, uint32_t nLen,
                        uint32_t dwFlags);
    bool WriteSilence(int64_t nBlocks, uint32_t dwFlags);
    // The entries of nEmpty empty chunks and then of one chunk of dwLen bytes.
    void AddIndexEntries(uint32_t id, int64_t nEmpty, uint32_t dwFlags, uint32_t dwLen);
    uint32_t ChunkId() const;
    void AdvanceVideoTimeline(uint64_t nStamp);

    int m_nMediaType;
    uint32_t m_dwScale;
    int64_t m_nPosition; // the slot (video) or block (audio) of the next chunk
    uint64_t m_nLastStamp;
    uint32_t m_dwLastValue; // audio: the last sequence number
    AVISTREAMINFO m_info;
    int64_t m_nRemainder; // 100 ns units left over on the video timeline
    std::vector<uint8_t> m_silence;
    std::vector<uint8_t> m_heads;  // chunk heads of one write, kept for the next
    std::vector<uint8_t> m_header; // "LIST" ... "strl", "strh", "strf"
    CAVIFile* m_pFile;
    uint64_t m_nLengthOffset; // dwLength in this stream's header
    int m_nStreamNo;
    int64_t m_nWrittenSlots; // slots present in the file, empty chunks included
    AVIShareData* m_pShareData;
};

#endif
