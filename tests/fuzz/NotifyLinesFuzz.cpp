// A camera's event body, cut into pieces of any size, through the notify
// stream's line parser and tag tables; and the tag parser alone with small
// buffers. Every event handed out must be well formed.
#include "FuzzInit.h"
#include "stream/CHTTPNotify.h"

#include <cstring>
#include <string>

namespace {

void Handler(void*, unsigned long, unsigned long) {}

void CheckText(const char* text)
{
    if (text && strnlen(text, CHTTPNotify::kTextSize) >= CHTTPNotify::kTextSize)
        __builtin_trap();
}

bool Check(void*, const CHTTPNotify* stream, const NotifyEventPost& ev)
{
    CheckText(ev.pszFirst);
    CheckText(ev.pszSecond);
    CheckText(ev.pszThird);
    if (ev.pszFirst) {
        // Only the close event's second post has a text first.
        if (std::strcmp(ev.pszFirst, "socket closed") != 0)
            __builtin_trap();
        return true;
    }
    if (ev.pFirst != stream)
        __builtin_trap();
    if (ev.pszSecond) {
        // A general event: a tag and its value, both texts.
        if (!ev.pszThird)
            __builtin_trap();
        return true;
    }
    const unsigned long id = ev.dwSecond & 0xFFFF;
    if (id < nevMotion || id > nevGeneral || (ev.dwSecond >> 16) > 3)
        __builtin_trap();
    return true;
}

class FuzzNotify : public CHTTPNotify {
public:
    explicit FuzzNotify(unsigned long type) : CHTTPNotify(1325, false, 2)
    {
        SetContentType(type);
        SetParentCallback(this, Handler);
        SetNotifyPoster(Check, nullptr);
        PrepareContentBuffer(true);
        std::string head = "HTTP/1.1 200 OK\r\n\r\n";
        OnDataReceived(reinterpret_cast<unsigned char*>(&head[0]), head.size());
    }
    uint32_t Held() const { return m_dwContent; }
};

} // namespace

RILO_FUZZ_INITIALIZE(false)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    FuzzNotify s(data[0] & 1);
    std::string body(reinterpret_cast<const char*>(data + 1), size - 1);
    const unsigned step = 1 + (data[0] >> 1);
    size_t pos = 0, k = 0;
    while (pos < body.size()) {
        size_t piece = 1 + (static_cast<unsigned char>(body[k++ % body.size()]) * step) % 700;
        if (piece > body.size() - pos)
            piece = body.size() - pos;
        unsigned long used = s.OnDataReceived(reinterpret_cast<unsigned char*>(&body[pos]), piece);
        if (used == 0 || used > piece)
            __builtin_trap();
        pos += used;
        if (s.Held() > CHTTPNotify::kMaxLine)
            __builtin_trap();
    }

    // The tag parser on the whole body as one line, with buffers that the
    // input sizes.
    char tag[64], name[64];
    const int tagLen = 2 + data[0] % 62;
    const int nameLen = 2 + (size % 62);
    int value = -7;
    int r =
        CHTTPNotify::GetTagEvent(body.data(), int(body.size()), tag, tagLen, value, name, nameLen);
    if (strnlen(tag, sizeof tag) >= size_t(tagLen) || r < -2 || r >= nameLen)
        __builtin_trap();
    if (r > 0 && strnlen(name, sizeof name) != size_t(r))
        __builtin_trap();
    return 0;
}
