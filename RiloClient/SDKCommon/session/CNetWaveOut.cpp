// Talk-back sender: one POST to the camera's speaker, then paced packets.
#include "session/CNetWaveOut.h"

#include "http/CHTTPCtrl.h"
#include "http/HttpParse.h"
#include "net/NetResolve.h"
#include "session/CameraURL.h"
#include "Common.h"
#include "RiloAssert.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <exception>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

enum { kIoStopped = -2, kIoFailed = -1, kIoTimedOut = 0, kIoReady = 1 };

const uint32_t kHdr = MediaPacketHeader::kSize;
const unsigned char kZeros[4] = {0, 0, 0, 0};
const ResolveDiag kResolveDiag = {kDiagOut, "[NetWaveOut::Connect]", "[NetWaveOut::Connect]"};

// The sender whose thread this is (null on any other thread): a stop from its
// callback must not wait for the thread it runs on.
thread_local const CNetWaveOut* t_pSending = nullptr;

int RemainingMs(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? int(left.count()) : 0;
}

// Waits until fd has the events, the stop fd fires or the deadline passes.
int WaitFd(int fd, short events, int stopFd, Clock::time_point deadline)
{
    for (;;) {
        pollfd fds[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
        int rc = poll(fds, 2, RemainingMs(deadline));
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc < 0)
            return kIoFailed;
        if (fds[1].revents)
            return kIoStopped;
        if (rc == 0)
            return kIoTimedOut;
        return kIoReady;
    }
}

// Sends all of data, giving up when a time-out passes without progress.
// The byte count, or kIoFailed (errno set), or kIoStopped.
int SendAll(int fd, const void* data, size_t len, int stopFd)
{
    const auto* p = static_cast<const uint8_t*>(data);
    size_t sent = 0;
    while (sent < len) {
        ssize_t n = send(fd, p + sent, len - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return kIoFailed;
        int w = WaitFd(fd, POLLOUT, stopFd,
                       Clock::now() + std::chrono::milliseconds(CNetWaveOut::kIoTimeoutMs));
        if (w == kIoStopped)
            return kIoStopped;
        if (w != kIoReady) {
            errno = w == kIoTimedOut ? ETIMEDOUT : errno;
            return kIoFailed;
        }
    }
    return int(sent);
}

// Reads a reply header up to its blank line (or cap - 1 bytes) before the
// deadline. The bytes read (0: nothing before the peer closed or the
// time-out), or kIoStopped.
int ReadReplyHeader(int fd, char* buf, size_t cap, int stopFd, Clock::time_point deadline)
{
    size_t got = 0;
    buf[0] = 0;
    while (got + 1 < cap && !std::strstr(buf, "\r\n\r\n")) {
        int w = WaitFd(fd, POLLIN, stopFd, deadline);
        if (w == kIoStopped)
            return kIoStopped;
        if (w != kIoReady)
            break;
        ssize_t n = recv(fd, buf + got, cap - 1 - got, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            continue;
        if (n <= 0)
            break;
        // A NUL in the reply would hide the rest from the text search.
        std::replace(buf + got, buf + got + n, '\0', ' ');
        got += size_t(n);
        buf[got] = 0;
    }
    return int(got);
}

// A non-blocking connect that gives up at the time-out or the stop fd.
bool ConnectWithin(int fd, const sockaddr_storage& addr, socklen_t len, int stopFd)
{
    if (connect(fd, reinterpret_cast<const sockaddr*>(&addr), len) == 0)
        return true;
    if (errno != EINPROGRESS && errno != EINTR)
        return false;
    auto deadline = Clock::now() + std::chrono::milliseconds(CNetWaveOut::kConnectTimeoutMs);
    if (WaitFd(fd, POLLOUT, stopFd, deadline) != kIoReady)
        return false;
    int err = 0;
    socklen_t errLen = sizeof err;
    return getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &errLen) == 0 && err == 0;
}

} // namespace

CNetWaveOut::CNetWaveOut()
    : m_szHost(), m_nPort(0), m_szObject(), m_strAuthorization(), m_szAgent(), m_nAuthType(2),
      m_szUser(), m_szPassword(), m_wfx{1, 1, 8000, 16000, 2, 16, 0}, m_nBufferCount(8),
      m_nPacketSize(2048), m_nPath(1), m_dwPacketCounter(0), m_bStop(false), m_pfnCallback(nullptr),
      m_pCallbackUser(nullptr), m_bRunning(false), m_bSenderAlive(false), m_nGeneration(0),
      m_nSenders(0)
{
    RiloCopyText(m_szAgent, sizeof m_szAgent, CHTTPCtrl::kAgent);
}

CNetWaveOut::~CNetWaveOut()
{
    UninitWaveOut();
}

void CNetWaveOut::SetExtraInfo(int nPath)
{
    std::lock_guard<std::mutex> g(m_cfgLock);
    m_nPath = nPath;
}

bool CNetWaveOut::AssignURL(const char* lpszURL)
{
    RILO_ASSERT(lpszURL != NULL);
    CameraURL url;
    return SplitCameraURL(lpszURL, &url) &&
           AssignTarget(url.host.c_str(), int(url.port), url.path.c_str());
}

bool CNetWaveOut::AssignTarget(const char* lpszHost, int nPort, const char* lpszObject)
{
    if (!lpszHost || !*lpszHost || std::strlen(lpszHost) >= kTextSize || nPort <= 0 ||
        nPort > 65535)
        return false;
    const char* object = lpszObject && *lpszObject ? lpszObject : "/";
    if (std::strlen(object) >= kTextSize)
        return false;
    std::lock_guard<std::mutex> g(m_cfgLock);
    RiloCopyText(m_szHost, sizeof m_szHost, lpszHost);
    m_nPort = uint16_t(nPort);
    RiloCopyText(m_szObject, sizeof m_szObject, object);
    return true;
}

void CNetWaveOut::SetBufferSize(unsigned int nCount, unsigned int nSize)
{
    std::lock_guard<std::mutex> g(m_cfgLock);
    m_nBufferCount = nCount;
    m_nPacketSize = nSize;
}

void CNetWaveOut::SetFormat(unsigned short wBits, unsigned short wChannels, unsigned long nRate)
{
    std::lock_guard<std::mutex> g(m_cfgLock);
    m_wfx.wBitsPerSample = wBits;
    m_wfx.nChannels = wChannels;
    m_wfx.nSamplesPerSec = uint32_t(nRate);
    m_wfx.nBlockAlign = uint16_t(wChannels * (wBits / 8));
    m_wfx.nAvgBytesPerSec = uint32_t(nRate * m_wfx.nBlockAlign);
}

void CNetWaveOut::SetAuthorization(const char* lpszValue)
{
    std::lock_guard<std::mutex> g(m_cfgLock);
    m_strAuthorization[0] = 0;
    if (lpszValue && *lpszValue)
        RiloCopyText(m_strAuthorization, sizeof m_strAuthorization, lpszValue);
}

void CNetWaveOut::SetAuthData(const char* lpszUser, const char* lpszPass, int nType)
{
    RILO_ASSERT(lpszUser != NULL);
    RILO_ASSERT(lpszPass != NULL);
    std::lock_guard<std::mutex> g(m_cfgLock);
    m_strAuthorization[0] = 0;
    m_nAuthType = nType;
    std::string value;
    if (nType == 1) {
        value = std::string(lpszUser) + ":" + lpszPass;
    } else if (nType == 2) {
        std::vector<char> encoded(4 * ((std::strlen(lpszUser) + std::strlen(lpszPass) + 3) / 3) +
                                  2);
        EncBase64AuthData(lpszUser, lpszPass, encoded.data(), unsigned(encoded.size()));
        value = std::string("Basic ") + encoded.data();
    } else if (nType == 3 || nType == 4) {
        RiloCopyText(m_szUser, sizeof m_szUser, lpszUser);
        RiloCopyText(m_szPassword, sizeof m_szPassword, lpszPass);
    }
    // A value cut short could only be refused: better none at all.
    if (value.size() < sizeof m_strAuthorization)
        RiloCopyText(m_strAuthorization, sizeof m_strAuthorization, value.c_str());
}

size_t CNetWaveOut::MaxQueued() const
{
    const uint64_t bytes = uint64_t(m_wfx.nAvgBytesPerSec) * kMaxQueuedMs / 1000;
    const uint64_t size = m_nPacketSize ? m_nPacketSize : 1;
    return size_t(std::max<uint64_t>(1, (bytes + size - 1) / size));
}

CNetWaveOut::Session CNetWaveOut::TakeSettings(WaveOutEventCB pfnCallback, void* pUser)
{
    Session session;
    std::lock_guard<std::mutex> g(m_cfgLock);
    RiloCopyText(session.szHost, sizeof session.szHost, m_szHost);
    session.nPort = m_nPort;
    RiloCopyText(session.szObject, sizeof session.szObject, m_szObject);
    RiloCopyText(session.szAuthorization, sizeof session.szAuthorization, m_strAuthorization);
    RiloCopyText(session.szUser, sizeof session.szUser, m_szUser);
    RiloCopyText(session.szPassword, sizeof session.szPassword, m_szPassword);
    session.nPath = m_nPath;
    session.nAuthType = m_nPath == 3 ? 3 : m_nAuthType;
    session.dwPacketSize = m_nPacketSize;
    double interval = m_wfx.nAvgBytesPerSec ? double(m_nPacketSize) / m_wfx.nAvgBytesPerSec * 1000.0
                                            : 4294967295.0;
    session.dwIntervalMs = uint32_t(std::min(std::max(interval, 0.0), 4294967295.0));
    session.nStopFd = -1;
    session.pfnCallback = pfnCallback;
    session.pCallbackUser = pUser;
    return session;
}

bool CNetWaveOut::InitWaveOut(WaveOutEventCB pfnCallback, void* pUser)
{
    {
        std::lock_guard<std::mutex> run(m_runLock);
        if (m_bRunning && m_bSenderAlive)
            return true;
    }
    // Taken first: a stop from the ending sender's callback clears the
    // authorization, and this start was asked with it.
    Session session = TakeSettings(pfnCallback, pUser);
    // A sender that ended on its own is ended for good: a new one starts
    // rather than a success being reported that sends nothing.
    StopSender();
    UniqueFd stopFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!stopFd.Valid())
        return false;
    if (StartSender(session, std::move(stopFd)))
        return true;
    UninitWaveOut();
    return false;
}

bool CNetWaveOut::StartSender(Session session, UniqueFd stopFd)
{
    // Held until the sender is counted: a stop from its callback waits.
    std::lock_guard<std::mutex> run(m_runLock);
    if (m_bRunning)
        return true; // the talk-back callback started one meanwhile
    {
        std::lock_guard<std::mutex> g(m_queueLock);
        m_dwPacketCounter = 0;
        m_bStop = false;
    }
    m_pfnCallback = session.pfnCallback;
    m_pCallbackUser = session.pCallbackUser;
    try {
        auto fd = std::make_shared<UniqueFd>(std::move(stopFd));
        session.nStopFd = fd->Get();
        // Detached: a stop waits for the count, which also covers a thread
        // that a stop from its own callback could not have joined.
        std::thread(&CNetWaveOut::SenderThread, this, session, fd, m_nGeneration + 1).detach();
        m_stopFd = std::move(fd);
    } catch (const std::exception&) {
        return false;
    }
    ++m_nGeneration;
    ++m_nSenders;
    m_bSenderAlive = true;
    m_bRunning = true;
    return true;
}

void CNetWaveOut::SignalStopLocked()
{
    {
        std::lock_guard<std::mutex> g(m_queueLock);
        m_bStop = true;
    }
    m_queueCond.notify_all();
    if (m_stopFd) {
        const uint64_t one = 1;
        ssize_t ignored = write(m_stopFd->Get(), &one, sizeof one);
        (void)ignored;
        m_stopFd.reset();
    }
    m_bRunning = false;
    m_bSenderAlive = false;
}

void CNetWaveOut::StopSender()
{
    std::unique_lock<std::mutex> run(m_runLock);
    SignalStopLocked();
    // From the talk-back callback: its sender ends once the callback returns.
    if (t_pSending == this)
        return;
    while (m_nSenders > 0) {
        m_senderEnded.wait(run);
        // One that an ending sender's callback started is stopped too.
        SignalStopLocked();
    }
}

void CNetWaveOut::UninitWaveOut()
{
    StopSender();
    {
        std::lock_guard<std::mutex> g(m_queueLock);
        while (!m_queue.empty()) {
            UninitBuffer(m_queue.front().get());
            m_queue.pop_front();
        }
    }
    std::lock_guard<std::mutex> g(m_cfgLock);
    m_strAuthorization[0] = 0;
}

bool CNetWaveOut::InitBuffer(_tagAudio_Data_Format* pBuffer, uint32_t dwSize,
                             const WAVEFORMATEX& fmt)
{
    pBuffer->header = MediaPacketHeader{};
    pBuffer->pbData.reset(new (std::nothrow) uint8_t[dwSize ? dwSize : 1]());
    RILO_ASSERT(pBuffer->pbData);
    MediaPacketHeader& h = pBuffer->header;
    h.dwMagic = MediaPacketHeader::kAudioMagic;
    h.dwHeaderLen = kHdr;
    h.dwPayloadLen = dwSize;
    h.wFormatTag = 16;
    h.wChannels = fmt.nChannels;
    h.wSampleRate = uint16_t(fmt.nSamplesPerSec);
    h.wBitsPerSample = fmt.wBitsPerSample;
    return true;
}

void CNetWaveOut::UninitBuffer(_tagAudio_Data_Format* pBuffer)
{
    pBuffer->pbData.reset();
}

int CNetWaveOut::FeedAudioData(const unsigned char* pData, unsigned int nLen)
{
    if (!pData)
        return -1;
    if (m_bRunning && !m_bSenderAlive)
        return -1;
    uint32_t size;
    WAVEFORMATEX fmt;
    size_t maxQueued;
    {
        std::lock_guard<std::mutex> g(m_cfgLock);
        size = m_nPacketSize;
        fmt = m_wfx;
        maxQueued = MaxQueued();
    }
    if (nLen != size)
        DiagPrint(kDiagOut, "WaveHdr data is not match.Recevie:%d, Fact:%d\n", int(nLen),
                  int(size));
    PacketPtr packet(new _tagAudio_Data_Format);
    InitBuffer(packet.get(), size, fmt);
    // A short block is filled up with silence, never read past its end.
    std::memcpy(packet->pbData.get(), pData, std::min(nLen, size));
    const uint64_t now = GetTime();
    packet->header.dwSeconds = uint32_t(now / 1000000u);
    packet->header.dwMicroseconds = uint32_t(now % 1000000u);
    {
        std::lock_guard<std::mutex> g(m_queueLock);
        packet->header.dwSequence = m_dwPacketCounter++;
        // Live audio: when the camera falls behind, the oldest goes.
        while (m_queue.size() >= maxQueued)
            m_queue.pop_front();
        m_queue.push_back(std::move(packet));
    }
    m_queueCond.notify_all();
    return 0;
}

CNetWaveOut::PacketPtr CNetWaveOut::WaitForPacket(Clock::time_point due)
{
    std::unique_lock<std::mutex> lk(m_queueLock);
    for (;;) {
        if (m_bStop)
            return nullptr;
        if (Clock::now() < due) {
            m_queueCond.wait_until(lk, due);
        } else if (!m_queue.empty()) {
            PacketPtr packet = std::move(m_queue.front());
            m_queue.pop_front();
            return packet;
        } else {
            m_queueCond.wait(lk);
        }
    }
}

bool CNetWaveOut::IsDigestProbe(const Session& session)
{
    return (session.nAuthType == 3 || session.nAuthType == 4) && session.szAuthorization[0] == 0;
}

bool CNetWaveOut::StopRequested()
{
    std::lock_guard<std::mutex> g(m_queueLock);
    return m_bStop;
}

void CNetWaveOut::Report(const Session& session, unsigned long code)
{
    if (session.pfnCallback)
        session.pfnCallback(session.pCallbackUser, code, reinterpret_cast<unsigned long>(this));
}

void CNetWaveOut::SenderThread(Session session, std::shared_ptr<UniqueFd> stopFd,
                               uint64_t nGeneration)
{
    t_pSending = this;
    const unsigned long code = ProcessThreadProc(session);
    stopFd.reset();
    {
        std::lock_guard<std::mutex> run(m_runLock);
        // A later sender's state is its own.
        if (nGeneration == m_nGeneration)
            m_bSenderAlive = false;
    }
    // The callback may stop or restart the sender; a stop from another
    // thread waits until it has returned.
    if (code)
        Report(session, code);
    std::lock_guard<std::mutex> run(m_runLock);
    --m_nSenders;
    m_senderEnded.notify_all();
    // Nothing of this object is touched once the lock is released: a
    // waiting stop may end the object then.
}

unsigned long CNetWaveOut::ProcessThreadProc(Session session)
{
    Clock::time_point due = Clock::now() + std::chrono::milliseconds(20);
    const std::chrono::milliseconds interval(session.dwIntervalMs);
    UniqueFd sock = CreateSocket(session);
    if (!sock.Valid()) {
        if (StopRequested())
            return 0;
        DiagPrint(kDiagOut, "[CNetWaveOut::ProcessThreadProc]CreateSocket failed! "
                            "WAVEOUT_SOCKET_ERROR will be sent!\n");
        return WAVEOUT_SOCKET_ERROR;
    }
    std::vector<uint8_t> sendBuf(kHdr + size_t(session.dwPacketSize));
    while (PacketPtr packet = WaitForPacket(due)) {
        // Its own length: it may have been fed before the size changed.
        const uint32_t payload = packet->header.dwPayloadLen;
        sendBuf.resize(kHdr + size_t(payload));
        packet->header.Encode(sendBuf.data());
        std::memcpy(sendBuf.data() + kHdr, packet->pbData.get(), payload);
        UninitBuffer(packet.get());
        int rc = SendAll(sock.Get(), sendBuf.data(), sendBuf.size(), session.nStopFd);
        if (rc == kIoStopped)
            break;
        DiagPrint(kDiagOut, "[CNetWaveOut::ProcessThreadProc]data %d is sent!\n", rc);
        if (rc < 0)
            return WAVEOUT_SEND_ERROR;
        due += interval;
    }
    return 0;
}

UniqueFd CNetWaveOut::CreateSocket(Session& session)
{
    std::string host = session.szHost;
    int family = AF_INET;
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
        family = AF_INET6;
    }
    // No linger: closing must not wait for a camera that stopped reading.
    // MSG_NOSIGNAL on every send stands in for a no-SIGPIPE option.
    UniqueFd sock(socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!sock.Valid())
        return UniqueFd();
    sockaddr_storage addr;
    socklen_t len = 0;
    if (ResolveHostAddress(host.c_str(), session.nPort, family, &addr, &len, kResolveDiag) != 0 ||
        !ConnectWithin(sock.Get(), addr, len, session.nStopFd))
        return UniqueFd();
    if (!SendRequest(sock.Get(), session))
        return UniqueFd();
    if (IsDigestProbe(session) && !DigestProbe(sock.Get(), session))
        return UniqueFd();
    return sock;
}

bool CNetWaveOut::DigestProbe(int sock, Session& session)
{
    char reply[kMaxReplyHeader];
    auto deadline = Clock::now() + std::chrono::milliseconds(kIoTimeoutMs);
    int n = ReadReplyHeader(sock, reply, sizeof reply, session.nStopFd, deadline);
    if (n == kIoStopped)
        return false;
    if (n <= 0 || ParseStatusCode(reply, unsigned(n)) != 401)
        return true; // no challenge: the connection stays as it is
    DigestChallenge ch;
    if (!ParseDigestChallenge(reply, unsigned(n), &ch))
        return true;
    if (!BuildDigestAuthorization("POST", session.szObject, session.szUser, session.szPassword, ch,
                                  CHTTPCtrl::kClientNonce, session.szAuthorization,
                                  sizeof session.szAuthorization))
        return true;
    return SendRequest(sock, session);
}

bool CNetWaveOut::SendRequest(int sock, const Session& session)
{
    RILO_ASSERT(sock > 0);
    char auth[kTextSize + 32] = "";
    if (session.szAuthorization[0])
        std::snprintf(auth, sizeof auth, "Authorization: %s\r\n", session.szAuthorization);
    const char* length;
    const char* extra = "";
    bool zeros = true;
    switch (session.nPath) {
    case 1:
        length = "4";
        break;
    case 2:
        extra = "dev-speaker-session: speaker2\r\n";
        length = "2147483647";
        zeros = false;
        break;
    case 3:
        // The Digest probe asks for the challenge with an empty body.
        zeros = !IsDigestProbe(session);
        length = zeros ? "2000000000" : "0";
        break;
    default:
        DiagPrint(kDiagOut, "[CNetWaveOut::SendRequest]invalid m_nPath\n");
        return false;
    }
    std::string req(4 * kTextSize + 512, '\0');
    int n = std::snprintf(&req[0], req.size(),
                          "POST %s HTTP/1.1\r\nAccept: */*\r\nHost: %s:%u\r\nUser-Agent: %s\r\n"
                          "Content-Type: audio/ACAS\r\n%sContent-Length:%s\r\n"
                          "Connection: Keep-Alive\r\n%s\r\n",
                          session.szObject, session.szHost, unsigned(session.nPort), m_szAgent,
                          extra, length, auth);
    if (n < 0 || size_t(n) >= req.size())
        return false;
    req.resize(size_t(n));
    if (session.nPath == 3)
        DiagPrint(kDiagOut, "how about my req: %s, m_strAuthorization=%s\n", req.c_str(),
                  session.szAuthorization);
    if (zeros)
        req.append(reinterpret_cast<const char*>(kZeros), sizeof kZeros);
    return SendAll(sock, req.data(), req.size(), session.nStopFd) == int(req.size());
}
