// A notify stream fed through the worker's receive path without a
// connection, and the events it hands to its owner.
#ifndef RILO_FED_NOTIFY_H
#define RILO_FED_NOTIFY_H

#include "stream/CHTTPNotify.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace notifytest {

struct Event {
    std::string first;  // "stream", or the text of a text argument
    unsigned long second = 0;
    long third = 0;
    std::string secondText, thirdText;

    bool operator==(const Event& o) const
    {
        return first == o.first && second == o.second && third == o.third &&
               secondText == o.secondText && thirdText == o.thirdText;
    }
};

inline std::ostream& operator<<(std::ostream& os, const Event& e)
{
    return os << "{" << e.first << ", " << e.second << " '" << e.secondText << "', " << e.third
              << " '" << e.thirdText << "'}";
}

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
            unsigned long n = OnDataReceived(reinterpret_cast<unsigned char*>(&copy[pos]),
                                             copy.size() - pos);
            ASSERT_GT(n, 0u);
            pos += n;
        }
    }
    uint32_t Held() const { return m_dwContent; }
    std::vector<Event> events;

private:
    static bool Capture(void* ctx, const CHTTPNotify* stream, const NotifyEventPost& ev)
    {
        auto* self = static_cast<FedNotify*>(ctx);
        Event e;
        e.first = ev.pszFirst ? ev.pszFirst : (ev.pFirst == stream ? "stream" : "?");
        e.second = ev.dwSecond;
        e.third = long(ev.dwThird);
        if (ev.pszSecond) {
            e.second = 0;
            e.secondText = ev.pszSecond;
        }
        if (ev.pszThird) {
            e.third = 0;
            e.thirdText = ev.pszThird;
        }
        self->events.push_back(e);
        return true;
    }
};

} // namespace notifytest

#endif
