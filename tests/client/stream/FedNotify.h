// A notify stream fed through the worker's receive path without a
// connection, and the events it hands to its owner.
#ifndef RILO_FED_NOTIFY_H
#define RILO_FED_NOTIFY_H

#include "stream/CHTTPNotify.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace notifytest {

// An event as text: "id.flag value" for a table or special event (a text
// value in quotes), "'tag' 'value'" for a general event, a first word that
// is a text in front in quotes.
typedef std::string Event;

inline void NoHandler(void*, unsigned long, unsigned long) {}

// A stream with its content buffer and a 200 header already taken, so that
// fed bytes go straight to the line parser.
class FedNotify : public CHTTPNotify {
public:
    explicit FedNotify(unsigned long contentType = 0) : CHTTPNotify(1325, false, 2)
    {
        SetContentType(contentType);
        SetParentCallback(this, NoHandler);
        SetNotifyPoster(Capture, this);
        PrepareContentBuffer(true);
        Feed("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n");
    }
    void Feed(const std::string& s)
    {
        std::string copy = s;
        unsigned long pos = 0;
        while (pos < copy.size()) {
            unsigned long n =
                OnDataReceived(reinterpret_cast<unsigned char*>(&copy[pos]), copy.size() - pos);
            ASSERT_GT(n, 0u);
            pos += n;
        }
    }
    uint32_t Held() const { return m_dwContent; }
    std::vector<Event> events;

private:
    static bool Capture(void* ctx, const CHTTPNotify* stream, const NotifyEventPost& ev)
    {
        auto quoted = [](const char* t) { return "'" + std::string(t) + "'"; };
        Event e = ev.pszFirst ? quoted(ev.pszFirst) + " " : (ev.pFirst == stream ? "" : "? ");
        e += ev.pszSecond
                 ? quoted(ev.pszSecond)
                 : std::to_string(ev.dwSecond & 0xFFFF) + "." + std::to_string(ev.dwSecond >> 16);
        e += " " + (ev.pszThird ? quoted(ev.pszThird) : std::to_string(long(ev.dwThird)));
        static_cast<FedNotify*>(ctx)->events.push_back(e);
        return true;
    }
};

} // namespace notifytest

#endif
