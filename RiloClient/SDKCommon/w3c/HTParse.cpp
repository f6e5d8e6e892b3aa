#include "w3c/HTParse.h"

#include "RiloAssert.h"
#include "w3c/HTMemory.h"
#include "w3c/HTString.h"

#include <cctype>
#include <cstddef>
#include <cstring>

namespace {

// Pointers into a private copy of a URL, null when absent.
struct UrlParts {
    char* access = nullptr;
    char* host = nullptr;
    char* absolute = nullptr; // after its "/"
    char* relative = nullptr;
    char* fragment = nullptr;
};

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

HTMemoryText CopyOf(const char* text)
{
    char* copy = nullptr;
    HTSACopy(&copy, text);
    return HTMemoryText(copy);
}

// Takes the access off the front of name, dropping white space before the
// stop and any "URL:" prefixes. Returns where the rest starts.
char* ScanAccess(char* name, UrlParts* parts)
{
    char* start = name;
    char* w = name;
    char* r = name;
    while (*r && *r != '/' && *r != '?') {
        if (std::isspace(static_cast<unsigned char>(*r))) {
            ++r;
        } else if (*r != ':') {
            *w++ = *r++;
        } else if (w - start == 3 && strncasecomp(start, "URL", 3) == 0) {
            ++r;
            start = w;
        } else {
            *w = '\0';
            parts->access = start;
            ++r;
            std::memmove(w + 1, r, std::strlen(r) + 1);
            return w + 1;
        }
    }
    std::memmove(w, r, std::strlen(r) + 1);
    return start;
}

// Cuts name in place into its parts.
void Scan(char* name, UrlParts* parts)
{
    *parts = UrlParts();
    if (char* space = std::strchr(name, ' '))
        *space = '\0';
    if (char* hash = std::strchr(name, '#')) {
        *hash = '\0';
        parts->fragment = hash + 1;
    }
    char* p = ScanAccess(name, parts);
    if (p[0] == '/' && p[1] == '/') {
        parts->host = p + 2;
        if (char* slash = std::strchr(parts->host, '/')) {
            *slash = '\0';
            parts->absolute = slash + 1;
        }
    } else if (p[0] == '/') {
        parts->absolute = p + 1;
    } else if (*p) {
        parts->relative = p;
    }
}

bool Differ(const char* a, const char* b)
{
    return a && b && std::strcmp(a, b) != 0;
}

// A result buffer that refuses to write past its end.
class ParseOutput {
public:
    explicit ParseOutput(size_t capacity)
        : m_pBuf(static_cast<char*>(HTMemory_malloc(capacity))), m_nCap(capacity)
    {
        if (!m_pBuf)
            HTMemory_outofmem("parse space", __FILE__, __LINE__);
        m_pBuf.get()[0] = '\0';
    }
    void Add(const char* text, size_t len)
    {
        RILO_ASSERT(len < m_nCap - m_nLen);
        std::memcpy(m_pBuf.get() + m_nLen, text, len);
        m_nLen += len;
        m_pBuf.get()[m_nLen] = '\0';
    }
    void Add(const char* text) { Add(text, std::strlen(text)); }
    const char* Text() const { return m_pBuf.get(); }

private:
    HTMemoryText m_pBuf;
    size_t m_nCap;
    size_t m_nLen = 0;
};

void AddPath(ParseOutput* out, const UrlParts& given, const UrlParts& related, bool punctuate)
{
    if (given.absolute) {
        if (punctuate)
            out->Add("/");
        out->Add(given.absolute);
    } else if (related.absolute) {
        out->Add("/");
        if (given.relative) {
            // The related path's last step (with its query) gives way.
            size_t end = std::strcspn(related.absolute, "?");
            size_t keep = end;
            while (keep > 0 && related.absolute[keep - 1] != '/')
                --keep;
            out->Add(related.absolute, keep);
            out->Add(given.relative);
        } else {
            out->Add(related.absolute);
        }
    } else if (given.relative) {
        out->Add(given.relative);
    } else if (related.relative) {
        out->Add(related.relative);
    } else {
        out->Add("/");
    }
}

// Reads the digits at text; -1 when their number is above 65535.
int ReadPort(const char* text, const char** end)
{
    int value = 0;
    for (; IsDigit(*text); ++text) {
        if (value <= 65535)
            value = value * 10 + (*text - '0');
    }
    *end = text;
    return value > 65535 ? -1 : value;
}

// Where the path starts: after the scheme and the "//" host, if any.
size_t SiteEnd(const char* url)
{
    size_t i = HTURL_isAbsolute(url) ? size_t(std::strchr(url, ':') - url) + 1 : 0;
    if (url[i] == '/' && url[i + 1] == '/')
        i += 2 + std::strcspn(url + i + 2, "/?#");
    return i;
}

int DefaultPort(const char* scheme, size_t len)
{
    struct Known {
        const char* name;
        int port;
    };
    static const Known known[] = {{"http", 80}, {"gopher", 70}, {"ftp", 21}};
    for (const Known& k : known) {
        if (std::strlen(k.name) == len && std::strncmp(scheme, k.name, len) == 0)
            return k.port;
    }
    return -1;
}

void LowerCase(char* from, char* to)
{
    for (; from < to; ++from)
        *from = char(std::tolower(static_cast<unsigned char>(*from)));
}

void Remove(char* from, char* to)
{
    std::memmove(from, to, std::strlen(to) + 1);
}

// Rewrites the host text that starts at host; returns where it now ends.
char* SimplifyHost(char* host, int defaultPort)
{
    char* end = host + std::strcspn(host, "/?#");
    for (char* at = host; at < end; ++at) {
        if (*at == '@')
            host = at + 1;
    }
    LowerCase(host, end);

    const char saved = *end;
    *end = '\0';
    int port = 0;
    char* colon = const_cast<char*>(HTParsePort(host, &port));
    *end = saved;
    if (colon && port == defaultPort) {
        Remove(colon, end);
        end = colon;
    }
    char* hostEnd = colon ? colon : end;
    if (hostEnd > host && hostEnd[-1] == '.') {
        Remove(hostEnd - 1, hostEnd);
        --end;
    }
    return end;
}

// Removes empty, "." and ".." steps from the path at path (up to its query
// or fragment). The result is never longer, so it is written in place.
class PathSimplifier {
public:
    explicit PathSimplifier(char* path)
        : m_pPath(path), m_nEnd(std::strcspn(path, "?#")), m_nBase(path[0] == '/' ? 1 : 0),
          m_nFloor(m_nBase), m_nOut(m_nBase)
    {
    }

    void Run()
    {
        bool trailing = false;
        for (size_t r = m_nBase;;) {
            size_t stepEnd = r;
            while (stepEnd < m_nEnd && m_pPath[stepEnd] != '/')
                ++stepEnd;
            trailing = Step(r, stepEnd - r);
            if (stepEnd >= m_nEnd)
                break;
            r = stepEnd + 1;
        }
        if (trailing && m_nOut > m_nBase)
            m_pPath[m_nOut++] = '/';
        Remove(m_pPath + m_nOut, m_pPath + m_nEnd);
    }

private:
    // Handles the step at r; true when it leaves a directory ("/" at the end).
    bool Step(size_t r, size_t len)
    {
        const char* step = m_pPath + r;
        if (len == 0 || (len == 1 && step[0] == '.'))
            return true;
        if (len == 2 && step[0] == '.' && step[1] == '.') {
            if (m_nOut > m_nFloor) {
                while (m_nOut > m_nFloor && m_pPath[m_nOut - 1] != '/')
                    --m_nOut;
                if (m_nOut > m_nFloor)
                    --m_nOut; // the separator before the dropped step
                return true;
            }
            if (m_nBase == 1)
                return true; // nothing above the root
            Keep(r, len);
            m_nFloor = m_nOut; // a leading ".." of a relative path stays
            return false;
        }
        Keep(r, len);
        return false;
    }

    // Writes never overtake reads: a step goes out with at most the
    // separator it came in with.
    void Keep(size_t r, size_t len)
    {
        if (m_nOut > m_nBase)
            m_pPath[m_nOut++] = '/';
        std::memmove(m_pPath + m_nOut, m_pPath + r, len);
        m_nOut += len;
    }

    char* m_pPath;
    size_t m_nEnd;
    size_t m_nBase;  // 1 after the leading "/" of an absolute path
    size_t m_nFloor; // ".." does not climb above this
    size_t m_nOut;
};

} // namespace

char* HTParse(const char* aName, const char* relatedName, int wanted)
{
    if (!aName)
        return nullptr;
    if (!relatedName)
        relatedName = "";
    // Every part comes from one of the names, plus at most five marks.
    ParseOutput out(std::strlen(aName) + std::strlen(relatedName) + 10);
    HTMemoryText name = CopyOf(aName);
    HTMemoryText rel = CopyOf(relatedName);
    UrlParts given;
    UrlParts related;
    Scan(name.get(), &given);
    Scan(rel.get(), &related);

    // A different scheme or host makes the related name's rest meaningless.
    if (Differ(given.access, related.access))
        related.host = related.absolute = related.relative = related.fragment = nullptr;
    if (Differ(given.host, related.host))
        related.absolute = related.relative = related.fragment = nullptr;

    const bool punctuate = wanted & PARSE_PUNCTUATION;
    const char* access = given.access ? given.access : related.access;
    if ((wanted & PARSE_ACCESS) && access) {
        out.Add(access);
        if (punctuate)
            out.Add(":");
    }
    const char* host = given.host ? given.host : related.host;
    if ((wanted & PARSE_HOST) && host) {
        if (punctuate)
            out.Add("//");
        out.Add(host);
    }
    if (wanted & PARSE_PATH)
        AddPath(&out, given, related, punctuate);
    const char* fragment =
        given.fragment ? given.fragment : (given.absolute ? related.fragment : nullptr);
    if ((wanted & PARSE_FRAGMENT) && fragment) {
        if (punctuate)
            out.Add("#");
        out.Add(fragment);
    }
    return CopyOf(out.Text()).release();
}

const char* HTParsePort(const char* host, int* port)
{
    int value = 0;
    const char* found = nullptr;
    ptrdiff_t depth = 0;
    for (const char* p = host; p && *p && !found; ++p) {
        if (*p == '[') {
            ++depth;
        } else if (*p == ']') {
            --depth;
        } else if (*p == ':' && depth == 0 && IsDigit(p[1])) {
            const char* end = nullptr;
            value = ReadPort(p + 1, &end);
            if (*end == '\0' && value >= 0)
                found = p;
            else
                p = end - 1;
        }
    }
    if (port)
        *port = value < 0 ? 0 : value;
    return found;
}

bool HTURL_isAbsolute(const char* url)
{
    if (!url)
        return false;
    const char* stop = url + std::strcspn(url, ":/?#");
    return *stop == ':';
}

bool HTCleanTelnetString(char* str)
{
    for (char* p = str; p && *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c != '\t' && !(c >= 32 && c <= 126) && !(c >= 160 && c <= 254)) {
            *p = '\0';
            return true;
        }
    }
    return false;
}

char* HTRelative(const char* aName, const char* relatedName)
{
    if (!aName)
        return nullptr;
    if (!relatedName)
        return CopyOf(aName).release();
    const size_t site = SiteEnd(aName);
    if (site != SiteEnd(relatedName) || std::strncmp(aName, relatedName, site) != 0)
        return CopyOf(aName).release();

    // The last "/" of the directories both paths share.
    size_t i = site;
    size_t shared = 0;
    while (aName[i] && aName[i] == relatedName[i] && aName[i] != '?' && aName[i] != '#') {
        if (aName[i] == '/')
            shared = i + 1;
        ++i;
    }
    if (shared == 0)
        return CopyOf(aName).release();

    size_t levels = 0;
    for (const char* p = relatedName + shared; *p && *p != '?' && *p != '#'; ++p)
        levels += *p == '/';
    const char* rest = aName + shared;
    const size_t restLen = std::strlen(rest);
    const bool same = levels == 0 && restLen == 0;
    char* result = static_cast<char*>(HTMemory_malloc(levels * 3 + restLen + 3));
    if (!result)
        HTMemory_outofmem("HTRelative", __FILE__, __LINE__);
    char* w = result;
    for (size_t k = 0; k < levels; ++k, w += 3)
        std::memcpy(w, "../", 3);
    std::memcpy(w, same ? "./" : rest, same ? 3 : restLen + 1);
    return result;
}

char* HTSimplify(char* url)
{
    if (!url)
        return nullptr;
    char* p = url;
    int defaultPort = -1;
    if (HTURL_isAbsolute(url)) {
        char* colon = std::strchr(url, ':');
        LowerCase(url, colon);
        defaultPort = DefaultPort(url, size_t(colon - url));
        p = colon + 1;
    }
    if (p[0] == '/' && p[1] == '/')
        p = SimplifyHost(p + 2, defaultPort);
    PathSimplifier(p).Run();
    return url;
}
