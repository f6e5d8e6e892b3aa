// A recording HTTP worker for the tests, and an MD5 of its own (OpenSSL's)
// to check the Digest answers independently of the library's.
#ifndef RILO_HTTPCTRL_TEST_UTIL_H
#define RILO_HTTPCTRL_TEST_UTIL_H

#include "http/CHTTPCtrl.h"
#include "HttpEmulator.h"

#include <openssl/evp.h>

#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace httptest {

inline double Now()
{
    return testsupport::MonotonicNow();
}

inline std::string Md5Hex(const std::string& s)
{
    unsigned char d[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    EVP_Digest(s.data(), s.size(), d, &n, EVP_md5(), nullptr);
    std::string out;
    char b[3];
    for (unsigned i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, "%02x", d[i]);
        out += b;
    }
    return out;
}

// The value of key="..." in a Digest text.
inline std::string QuotedParam(const std::string& text, const std::string& key)
{
    size_t i = text.find(key + "=\"");
    if (i == std::string::npos)
        return "";
    i += key.size() + 2;
    return text.substr(i, text.find('"', i) - i);
}

inline std::string RequestText(const std::string& object, int port, const std::string& auth)
{
    std::string s = "GET " + object +
                    " HTTP/1.1\r\nAccept: */*\r\nHost: 127.0.0.1:" + std::to_string(port) +
                    "\r\nUser-Agent: RiloClient/1.0.0\r\nConnection: Keep-Alive\r\n";
    if (!auth.empty())
        s += "Authorization: " + auth + "\r\n";
    return s + "\r\n";
}

inline bool Eventually(const std::function<bool()>& cond, double seconds)
{
    double end = Now() + seconds;
    while (!cond()) {
        if (Now() > end)
            return false;
        usleep(5000);
    }
    return true;
}

inline unsigned long ConnEvent(int reason)
{
    return static_cast<unsigned long>(reason) * 65536ul + 1ul;
}

// What a worker delivered: its events with their times, and its content.
struct Recorder {
    std::mutex mu;
    std::vector<std::pair<double, unsigned long>> events;
    std::string content;
    std::atomic<int> connects{0};
    std::atomic<int> disconnects{0}; // caller Disconnects the worker has handled
    std::atomic<uint64_t> seen{0};   // content bytes that reached ProcessContent
    std::atomic<bool> wrongStream{false};
    unsigned long stream = 0;

    static bool OnEvent(void* user, unsigned long stream, unsigned long value)
    {
        auto* r = static_cast<Recorder*>(user);
        std::lock_guard<std::mutex> g(r->mu);
        if (r->stream && stream != r->stream)
            r->wrongStream = true;
        r->events.emplace_back(Now(), value);
        return true;
    }
    size_t Count(unsigned long value)
    {
        std::lock_guard<std::mutex> g(mu);
        size_t n = 0;
        for (auto& e : events)
            n += e.second == value;
        return n;
    }
    size_t CountAll()
    {
        std::lock_guard<std::mutex> g(mu);
        return events.size();
    }
    std::vector<unsigned long> Values()
    {
        std::lock_guard<std::mutex> g(mu);
        std::vector<unsigned long> v;
        for (auto& e : events)
            v.push_back(e.second);
        return v;
    }
    bool WaitEvent(unsigned long value, double seconds)
    {
        return Eventually([&] { return Count(value) > 0; }, seconds);
    }
    std::string Content()
    {
        std::lock_guard<std::mutex> g(mu);
        return content;
    }
    bool WaitContent(size_t n, double seconds)
    {
        return Eventually([&] { return Content().size() >= n; }, seconds);
    }
};

// A worker whose content goes to a Recorder. With keep false its
// ProcessContent cuts nothing, like a stream waiting for a unit's end.
class TestCtrl : public CHTTPCtrl {
public:
    TestCtrl(Recorder* r, bool tls, int authType, uint32_t contentSize = 0, bool keep = true)
        : CHTTPCtrl(1124, tls, authType), m_rec(r), m_keep(keep)
    {
        if (contentSize)
            m_dwSizeContent = contentSize;
        r->stream = reinterpret_cast<unsigned long>(this);
        SetNotifyMessageCB(Recorder::OnEvent, r);
    }
    void ProcessContent() override
    {
        if (m_keep) {
            std::lock_guard<std::mutex> g(m_rec->mu);
            m_rec->content.append(reinterpret_cast<char*>(m_pContent), m_dwContent);
            m_rec->seen += m_dwContent;
            m_dwContent = 0;
            return;
        }
        // A full buffer is offered once more before the worker resets it;
        // the next call then holds only new bytes.
        if (m_dwContent == m_dwSizeContent && m_prev == m_dwSizeContent) {
            if (m_offeredFull)
                m_rec->seen += m_dwContent;
            m_offeredFull = !m_offeredFull;
        } else if (m_dwContent >= m_prev) {
            m_rec->seen += m_dwContent - m_prev;
            m_offeredFull = false;
        } else {
            m_rec->seen += m_dwContent;
            m_offeredFull = false;
        }
        m_prev = m_dwContent;
    }
    bool ConnectSvr() override
    {
        ++m_rec->connects;
        m_prev = 0;
        return CHTTPCtrl::ConnectSvr();
    }
    int OnThreadMessage(unsigned int message, unsigned long wParam, unsigned long lParam) override
    {
        int r = CHTTPCtrl::OnThreadMessage(message, wParam, lParam);
        if (message == WM_HTTPCTRL_FIRST && wParam == HTTPCMD_DISCONNECT)
            ++m_rec->disconnects;
        return r;
    }

private:
    Recorder* m_rec;
    bool m_keep;
    uint32_t m_prev = 0;
    bool m_offeredFull = false;
};

// Makes, configures and connects a worker; Destroy() deletes it.
inline TestCtrl* StartWorker(Recorder& rec, int port, const std::string& object, int authType,
                             const std::string& authorization = "", const std::string& user = "",
                             const std::string& password = "", bool tls = false,
                             uint32_t contentSize = 0, bool keep = true)
{
    auto* w = new TestCtrl(&rec, tls, authType, contentSize, keep);
    if (!w->Create()) {
        w->Destroy();
        return nullptr;
    }
    w->SetAuthorization(authorization.c_str());
    w->SetAuthData(user.c_str(), password.c_str());
    w->Connect("127.0.0.1", unsigned(port), object.c_str(), true);
    return w;
}

} // namespace httptest

#endif
