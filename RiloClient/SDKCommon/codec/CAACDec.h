#ifndef RILO_CAACDEC_H
#define RILO_CAACDEC_H

#include "codec/CPacketFeeder.h"
#include "codec/FFmpegPtr.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

struct AVCodec;

// AAC (ADTS) to interleaved 16-bit PCM in host order. Every operation takes
// the decoder's lock, so dec_stop on one thread waits for a dec_main on
// another.
class CAACDec {
public:
    CAACDec();
    virtual ~CAACDec();
    CAACDec(const CAACDec&) = delete;
    CAACDec& operator=(const CAACDec&) = delete;

    // 0; -1 without an AAC decoder. The decoder opens at the first
    // dec_main: a stream that never carries AAC does not pay for it.
    int dec_init();
    // Decodes one packet (any number of whole frames). pcm is grown to hold
    // every decoded frame (its capacity never shrinks) and holds the PCM in
    // its first *pOutLen bytes. Returns 0, or -1 without dec_init, when the
    // decoder does not open or when a frame fails to decode: *pOutLen is
    // then 0, so nothing of the packet passes as PCM.
    int dec_main(const uint8_t* data, int len, std::vector<uint8_t>& pcm, int* pOutLen);
    void dec_stop();
    void dec_end() {}

    // Sample rate and channels of the last decoded frame (the PCM as it
    // comes out, which for HE-AAC is not what the packet header says); 0
    // before the first.
    int GetSampleRate() const;
    int GetChannels() const;

private:
    struct ResamplerKey {
        int format = -1;
        int rate = 0;
        int channels = 0;
        int order = -1;
        uint64_t mask = 0;
        bool operator==(const ResamplerKey& o) const;
    };
    bool AppendFrame(const AVFrame& frame, std::vector<uint8_t>& pcm, size_t* used);
    bool PrepareResampler(const AVFrame& frame);
    // Opens the decoder dec_init found, unless it is open.
    bool OpenLocked();
    void StopLocked();

    mutable std::mutex m_mutex;

    const AVCodec* m_pCodec = nullptr;
    AVCodecContextPtr m_pContext;
    AVFramePtr m_pFrame;
    CPacketFeeder m_feeder;
    SwrContextPtr m_pResampler;
    ResamplerKey m_resamplerKey;
    int m_nSampleRate = 0;
    int m_nChannels = 0;
};

#endif
