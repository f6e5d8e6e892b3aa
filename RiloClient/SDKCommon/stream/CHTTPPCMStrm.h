// The live audio stream: "audio/ACAS" packets, decoded from G.711 u-law,
// Microsoft ADPCM or AAC (other tags pass as they are), handed to the two
// audio callbacks and to the recorder.
#ifndef RILO_CHTTPPCMSTRM_H
#define RILO_CHTTPPCMSTRM_H

#include "codec/CAACDec.h"
#include "record/AVIDefs.h"
#include "stream/CAudioPacketReader.h"
#include "stream/CHTTPAudStrm.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

// A packet's audio format as the reader passes it on.
struct _tagAudFmt {
    uint32_t nFormatTag;
    uint32_t nChannels;
    uint32_t nSampleRate; // Hz
};

class CHTTPPCMStrm : public CHTTPAudStrm {
public:
    enum {
        kBodyACAS = 5, // the body format of "audio/ACAS"
        kFormatBlockKind = 16,
        kFormatBlockSize = 12,
        kMaxChannels = 8,
    };

    CHTTPPCMStrm(unsigned int nNotifyMsg, bool bTLS, int nAuthType);
    ~CHTTPPCMStrm() override;

    void ProcessContent() override;
    bool CheckContentType() override;
    // Live audio and the recorder each want the AAC decoder: it is made
    // ready for the first of them and stopped after the last.
    bool InitDecoder() override;
    void UninitDecoder() override;
    CAVIWriter* InitRecorder(const char* lpszPath, CAVIWriter* pShared) override;
    int UninitRecorder() override;

    // One packet, on the receive thread: format blocks when the format
    // changed, the packet to the encoded-sample callback, its PCM to the
    // render callback, and the recorder. nSeq is its sequence number.
    void FeedStreamItem(const _tagAudFmt* pFmt, const unsigned char* pData, unsigned long nCount,
                        long long* pStamp, uint32_t nSeq);

private:
    // What a format block says.
    struct PcmFormat {
        uint32_t nChannels = 0;
        uint32_t nBits = 0;
        uint32_t nRate = 0;
        bool operator==(const PcmFormat& o) const
        {
            return nChannels == o.nChannels && nBits == o.nBits && nRate == o.nRate;
        }
        bool operator!=(const PcmFormat& o) const { return !(*this == o); }
    };
    // The samples of one packet for the render callback and the recorder.
    struct Samples {
        unsigned char* pData = nullptr;
        unsigned long nLen = 0;
        PcmFormat fmt;
    };
    // A callback and the format it was last told of.
    struct Listener {
        AudioRenderCallback pfn = nullptr;
        void* user = nullptr;
        AudioRenderCallback pfnTold = nullptr;
        void* userTold = nullptr;
        PcmFormat told;
        bool bDue = true; // a block is owed: the format changed since the last one
    };

    // Where the pass's tags stand: the last listed tag and whether it was refused.
    struct PassTag {
        bool bKnown = false;
        bool bRefused = false;
        uint32_t nTag = 0;
    };
    // Whether the packet with this header tag is fed, and under which tag.
    static bool TagForPacket(uint16_t wTag, PassTag* pPass, uint32_t* pTag);

    enum DecoderUser : unsigned { kDecoderLive = 1, kDecoderRecord = 2 };
    void SetDecoderUser(DecoderUser user, bool bOn);

    bool AcceptFormat(const _tagAudFmt& fmt);
    // Decodes by tag; false when the packet yields no PCM.
    bool Decode(const _tagAudFmt& fmt, unsigned char* pData, unsigned long nCount, Samples* pOut);
    void TakeCallbacks();
    // Sends a block when the listener is owed one or has not seen fmt; then the data.
    static void Tell(Listener& l, const PcmFormat& fmt, long long stamp);
    static void Deliver(const Listener& l, unsigned char* pData, unsigned long nLen,
                        unsigned long nKind, long long stamp);
    // The recorder's format record; false when the packet cannot be recorded.
    static bool RecordFormat(const _tagAudFmt& fmt, const Samples& s, unsigned long nCount,
                             WAVEFORMATEX* pOut);
    static bool SameRecordFormat(const WAVEFORMATEX& a, const WAVEFORMATEX& b);
    // Starts or continues the recording with this packet (MS ADPCM) or its PCM.
    void Record(const _tagAudFmt& fmt, const unsigned char* pPacket, unsigned long nCount,
                const Samples& s, bool bFormatChange, uint32_t nSeq);

    int m_nBodyFormat; // kBodyACAS, or 0: the body is not read
    std::atomic<bool> m_bResetSequence;
    CAudioPacketReader m_reader;

    // Receive thread only.
    WAVEFORMATEX m_wfRecord;       // the format the recording was started with
    std::vector<int16_t> m_ulaw;   // u-law output; grown, never shrunk
    std::vector<uint8_t> m_adpcm;  // ADPCM output; grown, never shrunk
    std::vector<uint8_t> m_aacRaw; // AAC output; grown, never shrunk
    _tagAudFmt m_curFmt;
    _tagAudFmt m_badFmt; // the last refused format reported
    CAACDec m_aac;
    long long m_llLastStamp;
    bool m_bRecordFormatDue; // the format changed since the recorder last saw a packet
    Listener m_enc;
    Listener m_render;

    std::mutex m_decoderUsersLock;
    unsigned m_nDecoderUsers; // DecoderUser bits
};

#endif
