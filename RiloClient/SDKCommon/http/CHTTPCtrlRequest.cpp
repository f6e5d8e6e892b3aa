// Request, authorization and reply parsing of the HTTP worker.
#include "http/CHTTPCtrl.h"

#include "net/CCliSocket.h"
#include "net/CHttpConnect.h"
#include "CMD5Checksum.h"
#include "net/CTimerService.h"
#include "Common.h"
#include "RiloAssert.h"

#include <poll.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

const char CHTTPCtrl::kClientNonce[] = "5e2b7c90a41f3d86b0c9e7a2d4f61b38";

namespace {

const uint32_t kSendTimeoutMs = 5000;
// Digest answers after stale=true on one connection, beyond the first answer.
const int kMaxStaleResends = 3;

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

// Position of "\r\n\r\n" in p[from, n) at a position above 0, or -1.
long FindHeaderEnd(const char* p, unsigned long n, unsigned long from)
{
    for (unsigned long i = from ? from : 1; i + 4 <= n; ++i)
        if (p[i] == '\r' && p[i + 1] == '\n' && p[i + 2] == '\r' && p[i + 3] == '\n')
            return long(i);
    return -1;
}

void Md5Text(const char* text, char out[33])
{
    CMD5Checksum::GetMD5(reinterpret_cast<const uint8_t*>(text), unsigned(std::strlen(text)), out);
}

// The parameters of one Digest challenge, starting at p (after the scheme
// name), up to the next scheme or the end of the field value.
bool ParseDigestParams(const char* p, const char* end, DigestChallenge* ch)
{
    bool sawNonce = false;
    while (p < end) {
        while (p < end && (IsBlank(*p) || *p == ','))
            ++p;
        const char* name = p;
        while (p < end && IsTokenChar(*p))
            ++p;
        size_t nameLen = size_t(p - name);
        if (nameLen == 0)
            break;
        const char* q = p;
        while (q < end && IsBlank(*q))
            ++q;
        if (q >= end || *q != '=')
            break; // a token without "=": the next challenge's scheme
        p = q + 1;
        while (p < end && IsBlank(*p))
            ++p;
        char value[128];
        size_t vl = 0;
        bool tooLong = false;
        if (p < end && *p == '"') {
            ++p;
            bool closed = false;
            while (p < end) {
                char c = *p++;
                if (c == '"') {
                    closed = true;
                    break;
                }
                if (c == '\\' && p < end)
                    c = *p++;
                if (vl + 1 < sizeof value)
                    value[vl++] = c;
                else
                    tooLong = true;
            }
            if (!closed)
                return false;
        } else {
            while (p < end && IsTokenChar(*p)) {
                if (vl + 1 < sizeof value)
                    value[vl++] = *p;
                else
                    tooLong = true;
                ++p;
            }
        }
        value[vl] = 0;
        char* dst = nullptr;
        if (nameLen == 5 && EqualNoCase(name, "nonce", 5)) {
            dst = ch->nonce;
            sawNonce = true;
        } else if (nameLen == 5 && EqualNoCase(name, "realm", 5)) {
            dst = ch->realm;
        } else if (nameLen == 3 && EqualNoCase(name, "qop", 3)) {
            dst = ch->qop;
        } else if (nameLen == 5 && EqualNoCase(name, "stale", 5)) {
            ch->stale = vl == 4 && EqualNoCase(value, "true", 4);
        }
        if (dst) {
            // A cut nonce or realm would only give a wrong answer.
            if (tooLong)
                return false;
            std::memcpy(dst, value, vl + 1);
        }
    }
    return sawNonce;
}

} // namespace

bool CHTTPCtrl::GetFiledValue(const char* data, unsigned long length, const char* name, char* out,
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

bool CHTTPCtrl::ParseDigestChallenge(const char* header, unsigned long length, DigestChallenge* out)
{
    if (!header || !out)
        return false;
    static const char kField[] = "www-authenticate:";
    const size_t fl = sizeof kField - 1;
    for (unsigned long i = 0; i + fl <= length; ++i) {
        if ((i != 0 && header[i - 1] != '\n') || !EqualNoCase(header + i, kField, fl))
            continue;
        const char* p = header + i + fl;
        const char* end = p;
        while (end < header + length && *end != '\r' && *end != '\n')
            ++end;
        // One field may hold several challenges: "Basic realm=..., Digest ...".
        while (p < end) {
            while (p < end && (IsBlank(*p) || *p == ','))
                ++p;
            const char* scheme = p;
            while (p < end && IsTokenChar(*p))
                ++p;
            size_t sl = size_t(p - scheme);
            if (sl == 0)
                break;
            const char* q = p;
            while (q < end && IsBlank(*q))
                ++q;
            if (q < end && *q == '=') {
                // A parameter of a challenge we skip: step over its value.
                ++q;
                while (q < end && IsBlank(*q))
                    ++q;
                if (q < end && *q == '"') {
                    ++q;
                    while (q < end && *q != '"')
                        q += (*q == '\\' && q + 1 < end) ? 2 : 1;
                    if (q < end)
                        ++q;
                } else {
                    while (q < end && IsTokenChar(*q))
                        ++q;
                }
                p = q;
                continue;
            }
            if (sl == 6 && EqualNoCase(scheme, "digest", 6)) {
                DigestChallenge ch{};
                if (ParseDigestParams(p, end, &ch)) {
                    *out = ch;
                    return true;
                }
            }
        }
    }
    return false;
}

bool CHTTPCtrl::BuildDigestAuthorization(const char* method, const char* uri, const char* user,
                                         const char* password, const DigestChallenge& ch,
                                         const char* cnonce, char* out, size_t outLen)
{
    char text[3 * kTextSize + 160];
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
        n = std::snprintf(out, outLen,
                          "Digest username=\"%s\",realm=\"%s\",uri=\"%s\",nonce=\"%s\",cnonce=\"%s\","
                          "nc=\"%s\",response=\"%s\",qop=\"%s\"",
                          user, ch.realm, uri, ch.nonce, cnonce, nc, response, ch.qop);
    } else {
        n = std::snprintf(text, sizeof text, "%s:%s:%s", ha1, ch.nonce, ha2);
        if (n < 0 || size_t(n) >= sizeof text)
            return false;
        Md5Text(text, response);
        n = std::snprintf(out, outLen,
                          "Digest username=\"%s\",realm=\"%s\",uri=\"%s\",nonce=\"%s\",response=\"%s\"",
                          user, ch.realm, uri, ch.nonce, response);
    }
    if (n < 0 || size_t(n) >= outLen) {
        if (outLen)
            out[0] = 0;
        return false;
    }
    return true;
}

int CHTTPCtrl::ParseStatusCode(const char* header, unsigned long length)
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

void CHTTPCtrl::SetAuthData(const char* lpszUser, const char* lpszPass)
{
    std::lock_guard<std::mutex> g(m_dataLock);
    if (lpszUser && *lpszUser)
        CopyTextOrCut(m_szUser, sizeof m_szUser, lpszUser);
    if (lpszPass && *lpszPass)
        CopyTextOrCut(m_szPassword, sizeof m_szPassword, lpszPass);
}

void CHTTPCtrl::SetAuthorization(const char* lpszAuth)
{
    std::lock_guard<std::mutex> g(m_dataLock);
    m_szAuthorization[0] = 0;
    // A value that does not fit is not sent at all rather than cut.
    if (lpszAuth && *lpszAuth && std::strlen(lpszAuth) < sizeof m_szAuthorization)
        std::strcpy(m_szAuthorization, lpszAuth);
}

void CHTTPCtrl::CopyTextOrCut(char* dst, size_t size, const char* src)
{
    size_t n = std::strlen(src);
    if (n >= size)
        n = size - 1;
    std::memcpy(dst, src, n);
    dst[n] = 0;
}

bool CHTTPCtrl::OnDetermineRequest(char*, int)
{
    return false;
}

bool CHTTPCtrl::SendRequest()
{
    if (!IsConnected())
        return false;
    char szRequest[kTextSize];
    std::memset(szRequest, 0, sizeof szRequest);
    if (!OnDetermineRequest(szRequest, int(sizeof szRequest))) {
        char szAuthLine[kTextSize + 32];
        {
            std::lock_guard<std::mutex> g(m_dataLock);
            if (m_szAuthorization[0])
                std::snprintf(szAuthLine, sizeof szAuthLine, "Authorization: %s\r\n",
                              m_szAuthorization);
            else
                szAuthLine[0] = 0;
        }
        int n;
        if (m_bConnUseProxy && m_szConnProxy[0]) {
            const char* obj = m_szConnObject[0] == '/' ? m_szConnObject + 1 : m_szConnObject;
            n = std::snprintf(szRequest, sizeof szRequest,
                              "GET Http://%s:%d/%s HTTP/1.1\r\nAccept: */*\r\nHost: %s:%u\r\n"
                              "User-Agent: %s\r\nConnection: Keep-Alive\r\n%s\r\n",
                              m_szConnHost, int(m_nConnPort), obj, m_szConnHost, m_nConnPort,
                              m_szAgent, szAuthLine);
        } else {
            n = std::snprintf(szRequest, sizeof szRequest,
                              "GET %s HTTP/1.1\r\nAccept: */*\r\nHost: %s:%u\r\nUser-Agent: %s\r\n"
                              "Connection: Keep-Alive\r\n%s\r\n",
                              m_szConnObject, m_szConnHost, m_nConnPort, m_szAgent, szAuthLine);
        }
        if (n < 0 || size_t(n) >= sizeof szRequest) {
            // A cut request would be another request; none goes out.
            std::printf("[CHTTPCtrl::SendRequest]error = %d\r\n", EMSGSIZE);
            return false;
        }
    } else {
        szRequest[sizeof szRequest - 1] = 0;
    }
    return SendText(szRequest, int(std::strlen(szRequest)));
}

bool CHTTPCtrl::SendText(const char* text, int length)
{
    if (m_pHttpConnect) {
        // Sends everything or reports how far it got within its time-out.
        int r = m_pHttpConnect->Send(text, length);
        if (r == length)
            return true;
        std::printf("[CHTTPCtrl::SendRequest]error = %d\r\n",
                    r < 0 ? m_pHttpConnect->GetLastError() : ETIMEDOUT);
        return false;
    }
    if (!m_pSocket)
        return false;
    std::printf("[Before sendrequest] %s\n", text);
    const uint32_t start = MonotonicTickMs();
    int sent = 0;
    while (sent < length) {
        int r = m_pSocket->Send(text + sent, length - sent, 0);
        if (r > 0) {
            sent += r;
            continue;
        }
        int err = r < 0 ? m_pSocket->GetLastError() : EIO;
        uint32_t spent = MonotonicTickMs() - start;
        if ((err == EAGAIN || err == EWOULDBLOCK || err == EINTR) && spent < kSendTimeoutMs) {
            // A full send buffer: wait until it drains, within the time-out.
            pollfd p{m_pSocket->GetSocketHandle(), POLLOUT, 0};
            if (p.fd < 0)
                err = EBADF;
            else {
                uint32_t left = kSendTimeoutMs - spent;
                poll(&p, 1, int(left < 100 ? left : 100));
                continue;
            }
        }
        std::printf("[CHTTPCtrl::SendRequest]error = %d\r\n", spent >= kSendTimeoutMs ? ETIMEDOUT : err);
        return false;
    }
    return true;
}

bool CHTTPCtrl::PrepareContentBuffer(bool bAlloc)
{
    if (bAlloc) {
        RILO_ASSERT(m_pContent == NULL);
        RILO_ASSERT(m_dwSizeContent != 0);
        m_dwContent = 0;
        m_pContent = new (std::nothrow) unsigned char[m_dwSizeContent];
        return m_pContent != nullptr;
    }
    delete[] m_pContent;
    m_pContent = nullptr;
    m_dwContent = 0;
    return true;
}

void CHTTPCtrl::ProcessContent() {}

void CHTTPCtrl::ResetReceiveState()
{
    m_dwHeaderLen = 0;
    m_szHeader[0] = 0;
    m_bInContent = false;
    m_bRxFailed = false;
    m_dwSkipBody = 0;
    m_bSeekStatus = false;
    m_nDigestSent = 0;
    m_nStaleSent = 0;
    m_dwContent = 0;
}

bool CHTTPCtrl::AcceptHTTPHeader()
{
    if (m_dwHeaderLen == 0) {
        HandleConnEvent(cerBadStatus, false);
        return false;
    }
    int nStatusCode = ParseStatusCode(m_szHeader, m_dwHeaderLen);
    std::printf("[CHTTPCtrl::AcceptHTTPHeader] nStatusCode = %d\n", nStatusCode);
    std::printf("header info: %s\n", m_szHeader);
    if (nStatusCode == 401 || nStatusCode == 403) {
        // A Digest 401 gets its answer from the receive path; a 403 is a
        // refusal whatever the auth type.
        if (nStatusCode == 403 || (m_nAuthType != 3 && m_nAuthType != 4))
            HandleConnEvent(cerAuthFailed, false);
        return false;
    }
    if (nStatusCode <= 399)
        return true;
    HandleConnEvent(cerBadStatus, false);
    return false;
}

bool CHTTPCtrl::CheckContentType()
{
    if (!GetFiledValue(m_szHeader, m_dwHeaderLen, "content-type", m_szContentType,
                       sizeof m_szContentType)) {
        std::puts("CHTTPCtrl::CheckContentType: Failed to get content-type");
        return false;
    }
    return true;
}

unsigned long CHTTPCtrl::SocketDataReceived(void* user, unsigned char* pData, unsigned long dwLen)
{
    return static_cast<CHTTPCtrl*>(user)->OnDataReceived(pData, dwLen);
}

void CHTTPCtrl::FailReceive(int nReason)
{
    // The worker closes the connection; until then its bytes are dropped.
    m_bRxFailed = true;
    HandleConnEvent(nReason, false);
}

unsigned long CHTTPCtrl::OnDataReceived(unsigned char* pData, unsigned long dwLen)
{
    RILO_ASSERT(pData != NULL);
    m_dwLastDataTick = MonotonicTickMs();
    if (dwLen == 0) {
        std::puts("Call Ondisconnect because of received data 0");
        FailReceive(cerClosed);
        return 0;
    }
    unsigned long pos = 0;
    while (pos < dwLen && !m_bRxFailed) {
        const unsigned char* p = pData + pos;
        unsigned long n = dwLen - pos;
        unsigned long used;
        if (m_dwSkipBody > 0) {
            used = m_dwSkipBody < n ? static_cast<unsigned long>(m_dwSkipBody) : n;
            m_dwSkipBody -= used;
        } else if (m_bSeekStatus) {
            used = SeekStatusLine(p, n);
            if (used == 0 && m_bSeekStatus)
                return pos; // a possible status line start: wait for more
        } else if (!m_bInContent) {
            used = CollectHeader(p, n);
        } else {
            used = TakeContent(p, n);
        }
        pos += used;
    }
    return dwLen;
}

unsigned long CHTTPCtrl::SeekStatusLine(const unsigned char* p, unsigned long n)
{
    static const char kStart[] = "HTTP/";
    const unsigned long kl = sizeof kStart - 1;
    for (unsigned long i = 0; i < n; ++i) {
        if (i != 0 && p[i - 1] != '\n')
            continue;
        unsigned long have = n - i < kl ? n - i : kl;
        if (std::memcmp(p + i, kStart, have) != 0)
            continue;
        if (have < kl) {
            // Too short to tell: keep it for the next call.
            return i;
        }
        m_bSeekStatus = false;
        return i;
    }
    return n;
}

unsigned long CHTTPCtrl::CollectHeader(const unsigned char* p, unsigned long n)
{
    unsigned long room = kHeaderSize - m_dwHeaderLen;
    if (room == 0) {
        m_dwHeaderLen = 0;
        m_szHeader[0] = 0;
        std::puts("[HTTPCtrl] OnDataReceive buffer full!!!!");
        FailReceive(cerHeaderTooLong);
        return n;
    }
    unsigned long take = n < room ? n : room;
    const unsigned long old = m_dwHeaderLen;
    std::memcpy(m_szHeader + old, p, take);
    m_dwHeaderLen += uint32_t(take);
    m_szHeader[m_dwHeaderLen] = 0;
    long end = FindHeaderEnd(m_szHeader, m_dwHeaderLen, old > 3 ? old - 3 : 0);
    if (end < 0) {
        if (take < n) {
            m_dwHeaderLen = 0;
            m_szHeader[0] = 0;
            std::puts("[HTTPCtrl] OnDataReceive buffer full!!!!");
            FailReceive(cerHeaderTooLong);
            return n;
        }
        return take;
    }
    const unsigned long headerLen = static_cast<unsigned long>(end) + 4;
    // Bytes after the blank line go back to the loop, for the body.
    const unsigned long used = headerLen - old;
    m_dwHeaderLen = uint32_t(headerLen);
    m_szHeader[headerLen] = 0;
    JudgeHeader();
    return used;
}

void CHTTPCtrl::JudgeHeader()
{
    if (AcceptHTTPHeader()) {
        CheckContentType();
        m_bInContent = true;
        ProcessContent();
        return;
    }
    int status = ParseStatusCode(m_szHeader, m_dwHeaderLen);
    if (m_dwHeaderLen != 0 && status == 401 && (m_nAuthType == 3 || m_nAuthType == 4)) {
        DigestRetry();
        return;
    }
    // Refused: whatever follows belongs to a reply that is not used.
    m_bRxFailed = true;
}

bool CHTTPCtrl::DigestRetry()
{
    DigestChallenge ch{};
    if (!ParseDigestChallenge(m_szHeader, m_dwHeaderLen, &ch)) {
        std::puts("[CHTTPCtrl::DigestRetry] no Digest challenge");
        FailReceive(cerAuthFailed);
        return false;
    }
    // Once per connection; again only when the server calls the nonce stale.
    bool allowed = m_nDigestSent == 0 || (ch.stale && m_nStaleSent < kMaxStaleResends);
    if (!allowed) {
        std::puts("[CHTTPCtrl::DigestRetry] credentials refused");
        FailReceive(cerAuthFailed);
        return false;
    }
    if (m_nDigestSent > 0)
        ++m_nStaleSent;
    ++m_nDigestSent;

    // The 401's own body is skipped, not taken for content.
    char szLen[64];
    m_dwSkipBody = 0;
    m_bSeekStatus = false;
    if (GetFiledValue(m_szHeader, m_dwHeaderLen, "content-length", szLen, sizeof szLen)) {
        const char* s = szLen;
        while (*s == ':' || IsBlank(*s))
            ++s;
        uint64_t v = 0;
        bool digits = false;
        for (; *s >= '0' && *s <= '9' && v < (uint64_t(1) << 40); ++s) {
            v = v * 10 + uint64_t(*s - '0');
            digits = true;
        }
        if (digits)
            m_dwSkipBody = v;
        else
            m_bSeekStatus = true;
    } else {
        m_bSeekStatus = true;
    }

    char user[kTextSize], password[kTextSize];
    {
        std::lock_guard<std::mutex> g(m_dataLock);
        std::memcpy(user, m_szUser, sizeof user);
        std::memcpy(password, m_szPassword, sizeof password);
    }
    char value[kTextSize];
    if (!BuildDigestAuthorization("GET", m_szConnObject, user, password, ch, kClientNonce, value,
                                  sizeof value)) {
        std::printf("[CHTTPCtrl::SendRequest]error = %d\r\n", EMSGSIZE);
        FailReceive(cerSendFailed);
        return false;
    }
    {
        std::lock_guard<std::mutex> g(m_dataLock);
        std::strcpy(m_szAuthorization, value);
    }
    m_dwHeaderLen = 0;
    m_szHeader[0] = 0;
    if (!SendRequest()) {
        FailReceive(cerSendFailed);
        return false;
    }
    return true;
}

unsigned long CHTTPCtrl::TakeContent(const unsigned char* p, unsigned long n)
{
    if (m_dwContent >= m_dwSizeContent) {
        ProcessContent();
        if (m_dwContent >= m_dwSizeContent) {
            // Nothing could be cut from a full buffer: start afresh rather
            // than stall the connection until the transport gives up.
            std::printf("[CHTTPCtrl::OnDataReceived] content buffer full, %u bytes dropped\n",
                        unsigned(m_dwContent));
            m_dwContent = 0;
        }
    }
    unsigned long room = m_dwSizeContent - m_dwContent;
    unsigned long take = n < room ? n : room;
    std::memcpy(m_pContent + m_dwContent, p, take);
    m_dwContent += uint32_t(take);
    ProcessContent();
    return take;
}
