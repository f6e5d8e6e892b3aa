// Recording types and results, and the fixed records of a RIFF AVI file.
// Records are written field by field in little-endian order (AVIPut*), never
// as memory images.
#ifndef RILO_AVIDEFS_H
#define RILO_AVIDEFS_H

#include "ByteOrder.h"
#include "RiloClientLib.h"

#include <cstddef>
#include <cstdint>

// The kind of a recorded stream: bit 16 video, bit 32 audio.
enum RecordMediaType : int {
    rmtVideoMJPEG = 16,
    rmtVideoMPEG4 = 17,
    rmtVideoH264 = 18,
    rmtAudioPCM = 32,
    rmtAudioPCMSamples = 33, // timed by samples: scale 1, rate = samples per second
    rmtAudioIMAADPCM = 34,
    rmtAudioMSADPCM = 35,
};

// Returned by every frame or sample write.
enum RecordResult : int {
    rrWriteError = -1, // the chunk could not be written; the file is finished as it is
    rrOK = 0,          // written, or dropped without error
    rrStopped = 1,     // the file was stopped before; nothing written
    rrAddStreamFailed = 2,
    rrStarted = 3,        // written: the first data chunk of the file
    rrSegmentReached = 4, // nothing written; the file is now stopped
    rrDiskReserve = 5,    // free space at or below the reserve; the file is now stopped
    rrSpaceQueryFailed = 6,
};

inline bool IsVideoRecordType(int type)
{
    return type >= rmtVideoMJPEG && type <= rmtVideoH264;
}

inline bool IsAudioRecordType(int type)
{
    return type >= rmtAudioPCM && type <= rmtAudioMSADPCM;
}

// The audio format as a camera describes it (18 bytes on disk).
#pragma pack(push, 1)
struct WAVEFORMATEX {
    uint16_t wFormatTag;
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX is 18 bytes");

struct AVIRECT {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

// The description of one stream from which its header is made.
struct AVISTREAMINFO {
    uint32_t fccType;
    uint32_t fccHandler;
    uint32_t dwFlags;
    uint32_t dwCaps;
    uint16_t wPriority;
    uint16_t wLanguage;
    uint32_t dwScale;
    uint32_t dwRate;
    uint32_t dwStart;
    uint32_t dwLength;
    uint32_t dwInitialFrames;
    uint32_t dwSuggestedBufferSize;
    uint32_t dwQuality;
    uint32_t dwSampleSize;
    AVIRECT rcFrame;
    uint32_t dwEditCount;
    uint32_t dwFormatChangeCount;
    char szName[64];
};
static_assert(sizeof(AVISTREAMINFO) == 140, "AVISTREAMINFO is 140 bytes");

// "avih".
struct AVIMainHeader {
    uint32_t dwMicroSecPerFrame;
    uint32_t dwMaxBytesPerSec;
    uint32_t dwPaddingGranularity;
    uint32_t dwFlags;
    uint32_t dwTotalFrames;
    uint32_t dwInitialFrames;
    uint32_t dwStreams;
    uint32_t dwSuggestedBufferSize;
    uint32_t dwWidth;
    uint32_t dwHeight;
    uint32_t dwReserved[4];
};
static_assert(sizeof(AVIMainHeader) == 56, "avih is 56 bytes");

// "strh".
struct AVIStreamHeader {
    uint32_t fccType;
    uint32_t fccHandler;
    uint32_t dwFlags;
    uint16_t wPriority;
    uint16_t wLanguage;
    uint32_t dwInitialFrames;
    uint32_t dwScale;
    uint32_t dwRate;
    uint32_t dwStart;
    uint32_t dwLength;
    uint32_t dwSuggestedBufferSize;
    uint32_t dwQuality;
    uint32_t dwSampleSize;
    int16_t rcFrame[4]; // left, top, right, bottom
};
static_assert(sizeof(AVIStreamHeader) == 56, "strh is 56 bytes");

// One "idx1" entry.
struct AVIIndexEntry {
    uint32_t ckid;
    uint32_t dwFlags;
    uint32_t dwChunkOffset; // from the "movi" word
    uint32_t dwChunkLength;
};
static_assert(sizeof(AVIIndexEntry) == 16, "idx1 entry is 16 bytes");

// The file layout: a fixed header area, then the movi list.
enum : uint32_t {
    kAVIPlaceholderSize = 3145728, // sizes and counts until the file is closed
    kAVIOffRiffSize = 4,
    kAVIOffHdrlSize = 16,
    kAVIOffMainHeader = 32,
    kAVIOffMainFlags = 44,
    kAVIOffTotalFrames = 48,
    kAVIOffStreams = 56,
    kAVIFirstStreamList = 88,
    kAVIPadEnd = 2028, // a padding chunk at p holds 2028 - p bytes: it ends at the movi list
    kAVIOffMoviList = 2036,
    kAVIOffMoviSize = 2040,
    kAVIHeaderArea = 2048,     // the first data chunk
    kAVIStrhLengthOffset = 32, // dwLength inside a stream header
    kAVIFlagHasIndex = 0x10,
    kAVIFlagTrustCKType = 0x800,
    kAVIIndexKeyFrame = 0x10,
    kAVIAudioFormatSize = 50,
};

constexpr uint32_t AVIFourCC(const char (&s)[5])
{
    return uint32_t(uint8_t(s[0])) | (uint32_t(uint8_t(s[1])) << 8) |
           (uint32_t(uint8_t(s[2])) << 16) | (uint32_t(uint8_t(s[3])) << 24);
}

// Each writes its record's on-disk bytes (56, 56, 40, 18, 16) at p.
void AVIPutMainHeader(uint8_t* p, const AVIMainHeader& h);
void AVIPutStreamHeader(uint8_t* p, const AVIStreamHeader& h);
void AVIPutBitmapInfo(uint8_t* p, const BITMAPINFOHEADER& h);
void AVIPutWaveFormat(uint8_t* p, const WAVEFORMATEX& w);
void AVIPutIndexEntry(uint8_t* p, const AVIIndexEntry& e);

#endif
