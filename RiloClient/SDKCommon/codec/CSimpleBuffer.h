#ifndef RILO_CSIMPLEBUFFER_H
#define RILO_CSIMPLEBUFFER_H

#include <cstdint>
#include <memory>
#include <mutex>

// A fixed-capacity byte buffer filled from its start. Readers take Data(),
// DataLen() bytes.
class CSimpleBuffer {
public:
    explicit CSimpleBuffer(int nCapacity);

    CSimpleBuffer(const CSimpleBuffer&) = delete;
    CSimpleBuffer& operator=(const CSimpleBuffer&) = delete;

    unsigned long DataLen();
    void Flush();
    // Appends; when fewer than dwLen bytes are free, as many as fit (none
    // into a full buffer). Returns the count written.
    unsigned long Write(const unsigned char* pData, unsigned long dwLen);

    const unsigned char* Data() const { return m_pData.get(); }
    uint32_t Capacity() const { return m_dwCapacity; }

private:
    struct FreeBytes {
        void operator()(unsigned char* p) const;
    };

    std::mutex m_mutex;
    std::unique_ptr<unsigned char[], FreeBytes> m_pData;
    const uint32_t m_dwCapacity;
    uint32_t m_dwLength;
};

#endif
