#ifndef RILO_BYTEORDER_H
#define RILO_BYTEORDER_H

// Little-endian fields at any offset of a byte buffer, whatever the host's
// byte order and alignment: the cameras' records, the media packet header
// and the AVI file all store their numbers this way.

#include <cstdint>

inline uint16_t GetLE16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t GetLE32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline void PutLE16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

inline void PutLE32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

// Reads little-endian fields one after another, from p on.
class LEReader {
public:
    explicit LEReader(const uint8_t* p) : m_p(p) {}
    LEReader& U16(uint16_t& v)
    {
        v = GetLE16(m_p);
        m_p += 2;
        return *this;
    }
    LEReader& U32(uint32_t& v)
    {
        v = GetLE32(m_p);
        m_p += 4;
        return *this;
    }

private:
    const uint8_t* m_p;
};

// Writes little-endian fields one after another, from p on.
class LEWriter {
public:
    explicit LEWriter(uint8_t* p) : m_p(p) {}
    LEWriter& U16(uint16_t v)
    {
        PutLE16(m_p, v);
        m_p += 2;
        return *this;
    }
    LEWriter& U32(uint32_t v)
    {
        PutLE32(m_p, v);
        m_p += 4;
        return *this;
    }

private:
    uint8_t* m_p;
};

#endif
