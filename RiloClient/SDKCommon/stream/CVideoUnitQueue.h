// The hand-over of a video stream's units to its decode thread: the
// stream's configuration cache, the transfer queue, and the rules that a
// decoder starts at a key unit after its configuration, and that after a
// unit was dropped for a full queue only a key unit is queued again.
#ifndef RILO_CVIDEOUNITQUEUE_H
#define RILO_CVIDEOUNITQUEUE_H

#include "codec/CTransferQueue.h"

#include <cstdint>
#include <vector>

class CVideoUnitQueue {
public:
    // waitForKey: the stream's flag, set while only key units may pass.
    CVideoUnitQueue(int nBuffers, unsigned long dwBufferSize, bool& waitForKey);

    CVideoUnitQueue(const CVideoUnitQueue&) = delete;
    CVideoUnitQueue& operator=(const CVideoUnitQueue&) = delete;

    // The configuration cache, receive thread only.
    bool IsCachedConfig(const uint8_t* p, uint32_t len) const;
    // False (cache unchanged) when it cannot be stored.
    bool CacheConfig(const uint8_t* p, uint32_t len);
    const uint8_t* Config() const { return m_config.data(); }
    uint32_t ConfigLen() const { return uint32_t(m_config.size()); }

    // The rest with the stream's lock held. At a decoder start: units of
    // an earlier run are dropped, the configuration goes first, decoding
    // starts at a key unit.
    void Restart();
    // The cached configuration, now: into a free buffer, else forced in.
    void PutConfig();
    // A unit that is not a configuration, by the rules above.
    void PutUnit(const uint8_t* p, uint32_t len, bool bKey);

    // The decode thread's data source (context: this queue).
    static unsigned long GetFrameData(unsigned int nParam, unsigned char* pBuffer,
                                      unsigned long dwCapacity, void* pContext,
                                      unsigned int* pBacklog, unsigned long dwLastKind);

private:
    CTransferQueue m_queue;
    bool& m_bWaitForKey;
    bool m_bConfigSent;
    std::vector<uint8_t> m_config;
};

#endif
