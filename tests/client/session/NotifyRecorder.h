// What the application's notify handler received. Most events carry no user
// pointer (their first word is the stream), so one recorder serves the process.
#ifndef RILO_NOTIFY_RECORDER_H
#define RILO_NOTIFY_RECORDER_H

#include "stream/CHTTPNotify.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace notifytest {

struct Call {
    void* first = nullptr;
    unsigned long second = 0, third = 0;
    std::string firstText, secondText, thirdText; // what text words pointed at
    std::thread::id thread;

    bool IsGeneral() const { return second >= 0x100000; }
};

class NotifyRecorder {
public:
    static NotifyRecorder& Get()
    {
        static NotifyRecorder r;
        return r;
    }

    // Which words are texts follows from the event's kind; they are read
    // after a held call is let go.
    static void Handler(void* first, unsigned long second, unsigned long third)
    {
        NotifyRecorder& r = Get();
        std::unique_lock<std::mutex> g(r.mu_);
        r.holding_ = r.hold_;
        r.cv_.notify_all();
        r.cv_.wait(g, [&] { return !r.hold_; });
        Call c{first, second, third, "", "", "", std::this_thread::get_id()};
        const unsigned id = unsigned(second & 0xFFFF);
        if (second == 0) {
            c.firstText = static_cast<const char*>(first);
        } else if (c.IsGeneral()) {
            c.secondText = reinterpret_cast<const char*>(second);
            c.thirdText = reinterpret_cast<const char*>(third);
        } else if (id == nevCameraName || (id >= nevPan && id <= nevZoom)) {
            c.thirdText = reinterpret_cast<const char*>(third);
        }
        r.late_ += !r.open_;
        r.calls_.push_back(c);
        r.cv_.notify_all();
    }

    void Reset()
    {
        std::lock_guard<std::mutex> g(mu_);
        calls_.clear();
        open_ = true;
        hold_ = holding_ = false;
        late_ = 0;
    }
    // A call between Close and the next Open counts as late.
    void Open() { Set(open_, true); }
    void Close() { Set(open_, false); }
    // The next call waits, before it reads anything, until Release.
    void Hold() { Set(hold_, true); }
    void Release() { Set(hold_, false); }
    int Late()
    {
        return Locked([&] { return late_; });
    }
    std::vector<Call> Calls()
    {
        return Locked([&] { return calls_; });
    }
    size_t Count()
    {
        return Locked([&] { return calls_.size(); });
    }

    bool WaitHolding()
    {
        return WaitUntil([&] { return holding_; });
    }
    bool WaitCount(size_t n)
    {
        return WaitUntil([&] { return calls_.size() >= n; });
    }
    // Waits until pred(calls so far) holds.
    template <class Pred>
    bool WaitFor(Pred pred)
    {
        return WaitUntil([&] { return pred(calls_); });
    }

private:
    template <class Pred>
    bool WaitUntil(Pred pred)
    {
        std::unique_lock<std::mutex> g(mu_);
        return cv_.wait_for(g, std::chrono::seconds(20), pred);
    }
    NotifyRecorder() = default;
    void Set(bool& flag, bool value)
    {
        std::lock_guard<std::mutex> g(mu_);
        flag = value;
        cv_.notify_all();
    }
    template <class F>
    auto Locked(F f) -> decltype(f())
    {
        std::lock_guard<std::mutex> g(mu_);
        return f();
    }

    std::mutex mu_;
    std::condition_variable cv_;
    std::vector<Call> calls_;
    bool open_ = true, hold_ = false, holding_ = false;
    int late_ = 0;
};

} // namespace notifytest

#endif
