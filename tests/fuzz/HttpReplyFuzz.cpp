// Reply headers and bodies from a camera, Digest challenges among them, fed
// to the HTTP worker's receive path in pieces of any size.
#include "http/CHTTPCtrl.h"
#include "http/HttpParse.h"
#include "FuzzInit.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// A worker without thread or transport: what it would send or raise goes nowhere.
class FuzzCtrl : public CHTTPCtrl {
public:
    FuzzCtrl(int authType, uint32_t size) : CHTTPCtrl(1124, false, authType)
    {
        m_dwSizeContent = size;
        PrepareContentBuffer(true);
        SetAuthData("admin", "pw");
    }
    ~FuzzCtrl() override { PrepareContentBuffer(false); }
    void ProcessContent() override
    {
        // Cut half of what is held, like a stream that keeps a partial unit.
        uint32_t cut = m_dwContent / 2;
        std::memmove(m_pContent, m_pContent + cut, m_dwContent - cut);
        m_dwContent -= cut;
    }
};

} // namespace

RILO_FUZZ_INITIALIZE(false)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const int authType = 1 + data[0] % 4;
    const uint32_t contentSize = 64u << (data[1] % 8);
    FuzzCtrl w(authType, contentSize);

    const char* text = reinterpret_cast<const char*>(data + 2);
    const unsigned long len = size - 2;
    DigestChallenge ch{};
    if (ParseDigestChallenge(text, len, &ch)) {
        if (strnlen(ch.nonce, sizeof ch.nonce) == sizeof ch.nonce ||
            strnlen(ch.realm, sizeof ch.realm) == sizeof ch.realm ||
            strnlen(ch.qop, sizeof ch.qop) == sizeof ch.qop)
            __builtin_trap();
        char out[1024];
        BuildDigestAuthorization("GET", "/video/mjpg.cgi", "admin", "pw", ch,
                                 CHTTPCtrl::kClientNonce, out, sizeof out);
    }
    (void)ParseStatusCode(text, len);
    (void)ReplyEndsConnection(text, len);

    // Pieces whose sizes come from the data itself.
    std::string copy(text, len);
    unsigned long pos = 0;
    size_t k = 0;
    while (pos < len) {
        unsigned long piece = 1 + (static_cast<unsigned char>(copy[k++ % len]) * 37u) % 3000u;
        if (piece > len - pos)
            piece = len - pos;
        unsigned long used = w.OnDataReceived(reinterpret_cast<unsigned char*>(&copy[pos]), piece);
        if (used > piece)
            __builtin_trap();
        // The transport keeps what was not consumed and offers it again
        // with what comes next.
        pos += used ? used : piece;
    }
    return 0;
}
