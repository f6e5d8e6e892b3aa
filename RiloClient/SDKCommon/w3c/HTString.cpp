#include "w3c/HTString.h"

#include "w3c/HTMemory.h"

#include <cctype>
#include <cstdarg>
#include <cstring>

namespace {

int Lower(char c)
{
    return std::tolower(static_cast<unsigned char>(c));
}

// Compares at most n characters, never past either text's end.
int CompareN(const char* a, const char* b, size_t n, bool caseless)
{
    for (size_t i = 0; i < n; ++i) {
        if (!a[i] && !b[i])
            return 0;
        if (!a[i])
            return -1;
        if (!b[i])
            return 1;
        int ca = caseless ? Lower(a[i]) : static_cast<unsigned char>(a[i]);
        int cb = caseless ? Lower(b[i]) : static_cast<unsigned char>(b[i]);
        if (ca != cb)
            return ca - cb;
    }
    return 0;
}

int TailCompare(const char* s1, const char* s2, bool caseless)
{
    if (!s1 || !s2)
        return s1 == s2 ? 0 : (s1 ? 1 : -1);
    size_t l1 = std::strlen(s1);
    size_t l2 = std::strlen(s2);
    const char* tail = l2 >= l1 ? s2 + (l2 - l1) : s2;
    return CompareN(s1, tail, l1 + 1, caseless);
}

bool Match(const char* tmpl, const char* name, bool caseless)
{
    if (!tmpl || !name)
        return false;
    const char* star = std::strchr(tmpl, '*');
    if (!star)
        return CompareN(tmpl, name, std::strlen(tmpl) + 1, caseless) == 0;
    size_t pre = size_t(star - tmpl);
    size_t post = std::strlen(star + 1);
    size_t len = std::strlen(name);
    return len >= pre + post && CompareN(tmpl, name, pre, caseless) == 0 &&
           CompareN(star + 1, name + (len - post), post, caseless) == 0;
}

// *dest becomes head followed by the texts of ap up to a null pointer; head
// may be null or *dest itself, since the old *dest is freed last.
char* JoinV(char** dest, const char* head, va_list ap)
{
    va_list count;
    va_copy(count, ap);
    size_t total = head ? std::strlen(head) : 0;
    while (const char* part = va_arg(count, const char*))
        total += std::strlen(part);
    va_end(count);

    char* out = static_cast<char*>(HTMemory_malloc(total + 1));
    if (!out)
        HTMemory_outofmem("StrAllocMCopy", __FILE__, __LINE__);
    size_t len = 0;
    if (head) {
        std::memcpy(out, head, std::strlen(head));
        len = std::strlen(head);
    }
    while (const char* part = va_arg(ap, const char*)) {
        std::memcpy(out + len, part, std::strlen(part));
        len += std::strlen(part);
    }
    out[len] = '\0';
    HTMemory_free(*dest);
    *dest = out;
    return out;
}

char* Join(char** dest, const char* head, ...)
{
    va_list ap;
    va_start(ap, head);
    char* out = JoinV(dest, head, ap);
    va_end(ap);
    return out;
}

} // namespace

int strcasecomp(const char* a, const char* b)
{
    return CompareN(a ? a : "", b ? b : "", size_t(-1), true);
}

int strncasecomp(const char* a, const char* b, int n)
{
    return n <= 0 ? 0 : CompareN(a ? a : "", b ? b : "", size_t(n), true);
}

int tailcomp(const char* s1, const char* s2)
{
    return TailCompare(s1, s2, false);
}

int tailcasecomp(const char* s1, const char* s2)
{
    return TailCompare(s1, s2, true);
}

bool HTStrMatch(const char* tmpl, const char* name)
{
    return Match(tmpl, name, false);
}

bool HTStrCaseMatch(const char* tmpl, const char* name)
{
    return Match(tmpl, name, true);
}

const char* HTStrCaseStr(const char* s1, const char* s2)
{
    if (!s1 || !s2)
        return nullptr;
    size_t len = std::strlen(s2);
    for (const char* p = s1;; ++p) {
        if (CompareN(s2, p, len, true) == 0)
            return p;
        if (!*p)
            return nullptr;
    }
}

char* HTStrip(char* s)
{
    if (!s)
        return nullptr;
    while (std::isspace(static_cast<unsigned char>(*s)))
        ++s;
    char* end = s + std::strlen(s);
    while (end > s && std::isspace(static_cast<unsigned char>(end[-1])))
        --end;
    *end = '\0';
    return s;
}

char* HTSACopy(char** dest, const char* src)
{
    if (!dest)
        return nullptr;
    if (src)
        return Join(dest, nullptr, src, static_cast<const char*>(nullptr));
    HTMemory_free(*dest);
    *dest = nullptr;
    return nullptr;
}

char* HTSACat(char** dest, const char* src)
{
    if (!dest)
        return nullptr;
    if (!src)
        return *dest;
    return Join(dest, *dest, src, static_cast<const char*>(nullptr));
}

char* StrAllocMCopy(char** dest, ...)
{
    if (!dest)
        return nullptr;
    va_list ap;
    va_start(ap, dest);
    char* out = JoinV(dest, nullptr, ap);
    va_end(ap);
    return out;
}

char* StrAllocMCat(char** dest, ...)
{
    if (!dest)
        return nullptr;
    va_list ap;
    va_start(ap, dest);
    char* out = JoinV(dest, *dest, ap);
    va_end(ap);
    return out;
}
