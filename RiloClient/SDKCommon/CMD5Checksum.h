#ifndef RILO_CMD5CHECKSUM_H
#define RILO_CMD5CHECKSUM_H

#include <cstdint>

// MD5 message digest (RFC 1321) as 32 lower-case hexadecimal digits.
class CMD5Checksum {
public:
    CMD5Checksum();
    virtual ~CMD5Checksum() = default;

    // Digest of length bytes into out, which must hold 33 bytes.
    static void GetMD5(const uint8_t* data, unsigned length, char* out);

    void Update(const uint8_t* data, unsigned long length);
    // Pads, appends the length and writes the text (33 bytes) into out.
    void Final(char* out);

protected:
    void Transform(const uint8_t block[64]);
    static void DWordToByte(uint8_t* out, const uint32_t* in, unsigned length);
    static void ByteToDWord(uint32_t* out, const uint8_t* in, unsigned length);

private:
    uint8_t m_lpszBuffer[64];
    uint32_t m_nCount[2]; // message length in bits, low word first
    uint32_t m_lMD5[4];
    char m_szText[64];
};

#endif
