#include "http/HttpParse.h"

#include "CMD5Checksum.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// Room for the texts hashed for a Digest answer: user, realm and password
// of up to 1024 bytes each, and the separators.
const size_t kDigestTextSize = 3 * 1024 + 160;

char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool EqualNoCase(const char* a, const char* b, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool IsTokenChar(char c)
{
    return c > ' ' && c < 127 && !std::strchr("()<>@,;:\\\"/[]?={}", c);
}

void Md5Text(const char* text, char out[33])
{
    CMD5Checksum::GetMD5(reinterpret_cast<const uint8_t*>(text), unsigned(std::strlen(text)), out);
}

// One item of a WWW-Authenticate value: a token (a scheme or a parameter
// name) and, when "=" follows it, its value (quoted or a token), unquoted.
struct AuthItem {
    const char* name;
    size_t nameLen;
    bool hasValue;
    bool closed;  // a quoted value found its closing quote
    bool tooLong; // the value did not fit value[]
    char value[128];
    size_t valueLen;

    bool Is(const char* word) const
    {
        return nameLen == std::strlen(word) && EqualNoCase(name, word, nameLen);
    }
};

// Reads the item after *pp (past blanks and commas) up to end and moves *pp
// past it; without "=", *pp stays right after the token. False when no
// token is there.
bool NextAuthItem(const char** pp, const char* end, AuthItem* item)
{
    const char* p = *pp;
    while (p < end && (IsBlank(*p) || *p == ','))
        ++p;
    item->name = p;
    while (p < end && IsTokenChar(*p))
        ++p;
    item->nameLen = size_t(p - item->name);
    item->hasValue = false;
    item->closed = true;
    item->tooLong = false;
    item->valueLen = 0;
    item->value[0] = 0;
    *pp = p;
    if (item->nameLen == 0)
        return false;
    const char* q = p;
    while (q < end && IsBlank(*q))
        ++q;
    if (q >= end || *q != '=')
        return true;
    item->hasValue = true;
    p = q + 1;
    while (p < end && IsBlank(*p))
        ++p;
    size_t vl = 0;
    auto put = [&](char c) {
        if (vl + 1 < sizeof item->value)
            item->value[vl++] = c;
        else
            item->tooLong = true;
    };
    if (p < end && *p == '"') {
        ++p;
        item->closed = false;
        while (p < end) {
            char c = *p++;
            if (c == '"') {
                item->closed = true;
                break;
            }
            if (c == '\\' && p < end)
                c = *p++;
            put(c);
        }
    } else {
        while (p < end && IsTokenChar(*p))
            put(*p++);
    }
    item->value[vl] = 0;
    item->valueLen = vl;
    *pp = p;
    return true;
}

// The parameters of one Digest challenge, starting at p (after the scheme
// name), up to the next scheme or the end of the field value.
bool ParseDigestParams(const char* p, const char* end, DigestChallenge* ch)
{
    bool sawNonce = false;
    AuthItem item;
    // A token without "=" is the next challenge's scheme.
    while (NextAuthItem(&p, end, &item) && item.hasValue) {
        if (!item.closed)
            return false;
        char* dst = nullptr;
        if (item.Is("nonce")) {
            dst = ch->nonce;
            sawNonce = true;
        } else if (item.Is("realm")) {
            dst = ch->realm;
        } else if (item.Is("qop")) {
            dst = ch->qop;
        } else if (item.Is("stale")) {
            ch->stale = item.valueLen == 4 && EqualNoCase(item.value, "true", 4);
        }
        if (dst) {
            // A cut nonce or realm would only give a wrong answer.
            if (item.tooLong)
                return false;
            std::memcpy(dst, item.value, item.valueLen + 1);
        }
    }
    return sawNonce;
}

// Calls fn(value, end) with the value of each field whose name (colon
// included) starts a line, until fn returns true.
template <typename Fn>
void ForEachField(const char* header, unsigned long length, const char* field, Fn fn)
{
    const size_t fl = std::strlen(field);
    for (unsigned long i = 0; i + fl <= length; ++i) {
        if ((i != 0 && header[i - 1] != '\n') || !EqualNoCase(header + i, field, fl))
            continue;
        const char* p = header + i + fl;
        const char* end = p;
        while (end < header + length && *end != '\r' && *end != '\n')
            ++end;
        if (fn(p, end))
            return;
    }
}

// Whether the comma-separated list [p, end) holds token (case-insensitive).
bool ListHasToken(const char* p, const char* end, const char* token)
{
    const size_t tl = std::strlen(token);
    while (p < end) {
        while (p < end && (IsBlank(*p) || *p == ','))
            ++p;
        const char* start = p;
        while (p < end && *p != ',')
            ++p;
        const char* last = p;
        while (last > start && IsBlank(last[-1]))
            --last;
        if (size_t(last - start) == tl && EqualNoCase(start, token, tl))
            return true;
    }
    return false;
}

} // namespace

bool GetFiledValue(const char* data, unsigned long length, const char* name, char* out,
                   unsigned long outLen)
{
    if (!out || outLen == 0 || !data || !name)
        return false;
    out[0] = 0;
    const size_t nameLen = std::strlen(name);
    if (nameLen == 0 || nameLen >= length)
        return false;
    const bool nameHasColon = name[nameLen - 1] == ':';
    for (unsigned long i = 0; i + nameLen < length; ++i) {
        if (i != 0 && data[i - 1] != '\n')
            continue;
        if (!EqualNoCase(data + i, name, nameLen))
            continue;
        unsigned long v = i + nameLen;
        // "Content-Type" is not the start of "Content-Type-Options".
        if (!nameHasColon && data[v] != ':' && !IsBlank(data[v]))
            continue;
        unsigned long e = v;
        // A NUL ends it too: the caller reads the value as a C string.
        while (e < length && data[e] != '\r' && data[e] != '\n' && data[e] != 0)
            ++e;
        if (e >= length || e == v || e - v >= outLen)
            return false;
        std::memcpy(out, data + v, e - v);
        out[e - v] = 0;
        return true;
    }
    return false;
}

bool ParseDigestChallenge(const char* header, unsigned long length, DigestChallenge* out)
{
    if (!header || !out)
        return false;
    bool found = false;
    ForEachField(header, length, "www-authenticate:", [&](const char* p, const char* end) {
        // One field may hold several challenges: "Basic realm=..., Digest ...".
        AuthItem item;
        while (NextAuthItem(&p, end, &item)) {
            // A parameter of a challenge we skip has been stepped over.
            if (item.hasValue || !item.Is("digest"))
                continue;
            DigestChallenge ch{};
            if (ParseDigestParams(p, end, &ch)) {
                *out = ch;
                found = true;
                return true;
            }
        }
        return false;
    });
    return found;
}

bool BuildDigestAuthorization(const char* method, const char* uri, const char* user,
                              const char* password, const DigestChallenge& ch, const char* cnonce,
                              char* out, size_t outLen)
{
    char text[kDigestTextSize];
    char ha1[33], ha2[33], response[33];
    int n;
    if (ch.realm[0])
        n = std::snprintf(text, sizeof text, "%s:%s:%s", user, ch.realm, password);
    else
        n = std::snprintf(text, sizeof text, "%s:%s", user, password);
    if (n < 0 || size_t(n) >= sizeof text)
        return false;
    Md5Text(text, ha1);
    n = std::snprintf(text, sizeof text, "%s:%s", method, uri);
    if (n < 0 || size_t(n) >= sizeof text)
        return false;
    Md5Text(text, ha2);
    const char* nc = "00000001";
    const bool withQop = std::strcmp(ch.qop, "auth") == 0 || std::strcmp(ch.qop, "auth-int") == 0;
    if (withQop) {
        n = std::snprintf(text, sizeof text, "%s:%s:%s:%s:%s:%s", ha1, ch.nonce, nc, cnonce, ch.qop,
                          ha2);
        if (n < 0 || size_t(n) >= sizeof text)
            return false;
        Md5Text(text, response);
        n = std::snprintf(
            out, outLen,
            "Digest username=\"%s\",realm=\"%s\",uri=\"%s\",nonce=\"%s\",cnonce=\"%s\","
            "nc=\"%s\",response=\"%s\",qop=\"%s\"",
            user, ch.realm, uri, ch.nonce, cnonce, nc, response, ch.qop);
    } else {
        n = std::snprintf(text, sizeof text, "%s:%s:%s", ha1, ch.nonce, ha2);
        if (n < 0 || size_t(n) >= sizeof text)
            return false;
        Md5Text(text, response);
        n = std::snprintf(
            out, outLen,
            "Digest username=\"%s\",realm=\"%s\",uri=\"%s\",nonce=\"%s\",response=\"%s\"", user,
            ch.realm, uri, ch.nonce, response);
    }
    if (n < 0 || size_t(n) >= outLen) {
        if (outLen)
            out[0] = 0;
        return false;
    }
    return true;
}

int ParseStatusCode(const char* header, unsigned long length)
{
    unsigned long i = 0;
    while (i < length && header[i] != ' ' && header[i] != '\r' && header[i] != '\n')
        ++i;
    if (i >= length || header[i] != ' ')
        return 0;
    ++i;
    long code = 0;
    for (int digits = 0; i < length && header[i] >= '0' && header[i] <= '9' && digits < 9;
         ++i, ++digits)
        code = code * 10 + (header[i] - '0');
    return int(code);
}

bool ReplyEndsConnection(const char* header, unsigned long length)
{
    if (!header)
        return false;
    static const char kOld[] = "HTTP/1.0";
    const bool http10 =
        length >= sizeof kOld - 1 && std::memcmp(header, kOld, sizeof kOld - 1) == 0;
    bool close = false, keepAlive = false;
    // Every Connection field counts: a server may send its options on several lines.
    ForEachField(header, length, "connection:", [&](const char* p, const char* end) {
        close = close || ListHasToken(p, end, "close");
        keepAlive = keepAlive || ListHasToken(p, end, "keep-alive");
        return false;
    });
    return close || (http10 && !keepAlive);
}
