#include "ScriptText.h"

#include "Common.h"

#include <cstdint>
#include <cstdio>

namespace scripttext {

namespace {

// Length of the well-formed UTF-8 sequence at p (RFC 3629: no overlongs, no
// surrogates, nothing above U+10FFFF), or 0.
size_t SequenceLength(const unsigned char* p, size_t n)
{
    unsigned char c = p[0];
    if (c < 0x80)
        return 1;
    size_t len;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        if (c == 0xE0)
            lo = 0xA0;
        if (c == 0xED)
            hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        if (c == 0xF0)
            lo = 0x90;
        if (c == 0xF4)
            hi = 0x8F;
    } else {
        return 0;
    }
    if (n < len)
        return 0;
    if (p[1] < lo || p[1] > hi)
        return 0;
    for (size_t i = 2; i < len; ++i)
        if (p[i] < 0x80 || p[i] > 0xBF)
            return 0;
    return len;
}

} // namespace

std::string ValidUtf8(const char* p, size_t n)
{
    std::string out;
    out.reserve(n);
    const unsigned char* u = reinterpret_cast<const unsigned char*>(p);
    size_t i = 0;
    while (i < n) {
        size_t len = SequenceLength(u + i, n - i);
        if (len == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(p + i, len);
            i += len;
        }
    }
    return out;
}

void CopyToField(char* field, size_t n, const std::string& text)
{
    if (n == 0)
        return;
    size_t len = text.size() < n - 1 ? text.size() : n - 1;
    if (len < text.size()) {
        // Back off over continuation bytes so the cut does not split a character.
        size_t cut = len;
        int back = 0;
        while (cut > 0 && back < 3 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
            --cut;
            ++back;
        }
        if (static_cast<unsigned char>(text[cut]) >= 0xC0)
            len = cut;
    }
    RiloCopyText(field, n, text.data(), len);
}

std::string QuoteBody(const std::string& utf8)
{
    std::string out;
    out.reserve(utf8.size() + 8);
    for (size_t i = 0; i < utf8.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        switch (c) {
        case '\\':
            out += "\\\\";
            continue;
        case '"':
            out += "\\\"";
            continue;
        case '\n':
            out += "\\n";
            continue;
        case '\r':
            out += "\\r";
            continue;
        case '\t':
            out += "\\t";
            continue;
        default:
            break;
        }
        if (c < 0x20 || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04X", c);
            out += buf;
            continue;
        }
        // U+2028 and U+2029 end a line in older engines' string literals.
        if (c == 0xE2 && i + 2 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) == 0x80 &&
            (static_cast<unsigned char>(utf8[i + 2]) == 0xA8 ||
             static_cast<unsigned char>(utf8[i + 2]) == 0xA9)) {
            out += static_cast<unsigned char>(utf8[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
            i += 2;
            continue;
        }
        // "</" is harmless in evaluated text but written "<\/" so the same
        // literal stays safe if a page ever inlines it in markup.
        if (c == '/' && i > 0 && utf8[i - 1] == '<') {
            out += "\\/";
            continue;
        }
        out += static_cast<char>(c);
    }
    return out;
}

std::string Call(const char* function, const std::vector<std::string>& args)
{
    std::string s = function;
    s += '(';
    for (size_t i = 0; i < args.size(); ++i) {
        if (i)
            s += ',';
        s += '"';
        s += QuoteBody(args[i]);
        s += '"';
    }
    s += ')';
    return s;
}

} // namespace scripttext
