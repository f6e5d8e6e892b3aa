// Request, authorization and reply handling of the HTTP worker.
#include "http/CHTTPCtrl.h"

#include "Common.h"
#include "RiloAssert.h"
#include "http/HttpParse.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

const char CHTTPCtrl::kClientNonce[] = "5e2b7c90a41f3d86b0c9e7a2d4f61b38";

namespace {

// Digest answers after stale=true on one connection, beyond the first answer.
const int kMaxStaleResends = 3;

// Position of "\r\n\r\n" in p[from, n) at a position above 0, or -1.
long FindHeaderEnd(const char* p, unsigned long n, unsigned long from)
{
    for (unsigned long i = from ? from : 1; i + 4 <= n; ++i)
        if (p[i] == '\r' && p[i + 1] == '\n' && p[i + 2] == '\r' && p[i + 3] == '\n')
            return long(i);
    return -1;
}

} // namespace

void CHTTPCtrl::SetAuthData(const char* lpszUser, const char* lpszPass)
{
    std::lock_guard<std::mutex> g(m_dataLock);
    if (lpszUser && *lpszUser)
        RiloCopyText(m_szUser, sizeof m_szUser, lpszUser);
    if (lpszPass && *lpszPass)
        RiloCopyText(m_szPassword, sizeof m_szPassword, lpszPass);
}

void CHTTPCtrl::SetAuthorization(const char* lpszAuth)
{
    std::lock_guard<std::mutex> g(m_dataLock);
    m_strAuthorization = lpszAuth ? lpszAuth : "";
}

bool CHTTPCtrl::OnDetermineRequest(char*, int)
{
    return false;
}

bool CHTTPCtrl::SendRequest()
{
    if (!IsConnected())
        return false;
    char szHook[kTextSize];
    std::memset(szHook, 0, sizeof szHook);
    if (OnDetermineRequest(szHook, int(sizeof szHook))) {
        szHook[sizeof szHook - 1] = 0;
        return SendText(szHook, int(std::strlen(szHook)));
    }
    std::string authLine;
    {
        std::lock_guard<std::mutex> g(m_dataLock);
        if (!m_strAuthorization.empty())
            authLine = "Authorization: " + m_strAuthorization + "\r\n";
    }
    // Sized to what it holds: a long Authorization value goes out whole.
    std::vector<char> request(3 * kTextSize + authLine.size() + 256);
    int n;
    if (m_bConnUseProxy && m_szConnProxy[0]) {
        const char* obj = m_szConnObject[0] == '/' ? m_szConnObject + 1 : m_szConnObject;
        n = std::snprintf(request.data(), request.size(),
                          "GET Http://%s:%d/%s HTTP/1.1\r\nAccept: */*\r\nHost: %s:%u\r\n"
                          "User-Agent: %s\r\nConnection: Keep-Alive\r\n%s\r\n",
                          m_szConnHost, int(m_nConnPort), obj, m_szConnHost, m_nConnPort, m_szAgent,
                          authLine.c_str());
    } else {
        n = std::snprintf(request.data(), request.size(),
                          "GET %s HTTP/1.1\r\nAccept: */*\r\nHost: %s:%u\r\nUser-Agent: %s\r\n"
                          "Connection: Keep-Alive\r\n%s\r\n",
                          m_szConnObject, m_szConnHost, m_nConnPort, m_szAgent, authLine.c_str());
    }
    if (n < 0 || size_t(n) >= request.size()) {
        // A cut request would be another request; none goes out.
        DiagPrint(kDiagOut, "[CHTTPCtrl::SendRequest]error = %d\r\n", EMSGSIZE);
        return false;
    }
    return SendText(request.data(), n);
}

bool CHTTPCtrl::SendText(const char* text, int length)
{
    if (!m_pTransport)
        return false;
    // All of it or a failure, within the transport's send time-out.
    if (m_pTransport->SendWithin(text, length) == length)
        return true;
    DiagPrint(kDiagOut, "[CHTTPCtrl::SendRequest]error = %d\r\n", m_pTransport->GetLastError());
    return false;
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

bool CHTTPCtrl::GrowContentBuffer(uint32_t dwSize)
{
    if (dwSize <= m_dwSizeContent)
        return true;
    std::unique_ptr<unsigned char[]> grown(new (std::nothrow) unsigned char[dwSize]);
    if (!grown)
        return false;
    if (m_dwContent)
        std::memcpy(grown.get(), m_pContent, m_dwContent);
    delete[] m_pContent;
    m_pContent = grown.release();
    m_dwSizeContent = dwSize;
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
    if (!m_bKeepDigestCount) {
        m_nDigestSent = 0;
        m_nStaleSent = 0;
    }
    m_bKeepDigestCount = false;
    m_dwContent = 0;
}

bool CHTTPCtrl::AcceptHTTPHeader()
{
    if (m_dwHeaderLen == 0) {
        HandleConnEvent(cerBadStatus, false);
        return false;
    }
    int nStatusCode = ParseStatusCode(m_szHeader, m_dwHeaderLen);
    DiagPrint(kDiagOut, "[CHTTPCtrl::AcceptHTTPHeader] nStatusCode = %d\n", nStatusCode);
    DiagPrint(kDiagOut, "header info: %s\n", m_szHeader);
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
        DiagPrint(kDiagOut, "CHTTPCtrl::CheckContentType: Failed to get content-type\n");
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
        DiagPrint(kDiagOut, "Call Ondisconnect because of received data 0\n");
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
        DiagPrint(kDiagOut, "[HTTPCtrl] OnDataReceive buffer full!!!!\n");
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
            DiagPrint(kDiagOut, "[HTTPCtrl] OnDataReceive buffer full!!!!\n");
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
        DiagPrint(kDiagOut, "[CHTTPCtrl::DigestRetry] no Digest challenge\n");
        FailReceive(cerAuthFailed);
        return false;
    }
    // Once per request, also when it needs a new connection; again only
    // when the server calls the nonce stale.
    bool allowed = m_nDigestSent == 0 || (ch.stale && m_nStaleSent < kMaxStaleResends);
    if (!allowed) {
        DiagPrint(kDiagOut, "[CHTTPCtrl::DigestRetry] credentials refused\n");
        FailReceive(cerAuthFailed);
        return false;
    }
    if (m_nDigestSent > 0)
        ++m_nStaleSent;
    ++m_nDigestSent;

    char user[kTextSize], password[kTextSize];
    {
        std::lock_guard<std::mutex> g(m_dataLock);
        std::memcpy(user, m_szUser, sizeof user);
        std::memcpy(password, m_szPassword, sizeof password);
    }
    // Room for the longest user name and URI the worker keeps.
    char value[4 * kTextSize];
    if (!BuildDigestAuthorization("GET", m_szConnObject, user, password, ch, kClientNonce, value,
                                  sizeof value)) {
        DiagPrint(kDiagOut, "[CHTTPCtrl::SendRequest]error = %d\r\n", EMSGSIZE);
        FailReceive(cerSendFailed);
        return false;
    }
    {
        std::lock_guard<std::mutex> g(m_dataLock);
        m_strAuthorization = value;
    }
    if (ReplyEndsConnection(m_szHeader, m_dwHeaderLen)) {
        // An answer on a connection the server is closing is lost, and its
        // close would read as a second failure.
        m_bRxFailed = true;
        PostThreadMessage(GetThreadID(), WM_HTTPCTRL_LAST, HTTPNOTE_REOPEN, m_nConnSerial.load());
        return true;
    }
    SkipUnauthorizedBody();
    m_dwHeaderLen = 0;
    m_szHeader[0] = 0;
    if (!SendRequest()) {
        FailReceive(cerSendFailed);
        return false;
    }
    return true;
}

void CHTTPCtrl::SkipUnauthorizedBody()
{
    // The 401's own body is skipped, not taken for content.
    char szLen[64];
    m_dwSkipBody = 0;
    m_bSeekStatus = false;
    if (GetFiledValue(m_szHeader, m_dwHeaderLen, "content-length", szLen, sizeof szLen)) {
        const char* s = szLen;
        while (*s == ':' || *s == ' ' || *s == '\t')
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
}

unsigned long CHTTPCtrl::TakeContent(const unsigned char* p, unsigned long n)
{
    if (m_dwContent >= m_dwSizeContent) {
        ProcessContent();
        if (m_dwContent >= m_dwSizeContent) {
            // Nothing could be cut from a full buffer: start afresh rather
            // than stall the connection until the transport gives up.
            DiagPrint(kDiagOut,
                      "[CHTTPCtrl::OnDataReceived] content buffer full, %u bytes dropped\n",
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
