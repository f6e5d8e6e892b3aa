// What the application's notify handler received. Most events carry no user
// pointer (their first word is the stream), so one recorder serves the
// process.
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
    unsigned long second = 0;
    unsigned long third = 0;
    // The texts the words pointed at, read during the call.
    std::string firstText, secondText, thirdText;
    std::thread::id thread;

    unsigned Id() const { return unsigned(second & 0xFFFF); }
    bool IsGeneral() const { return second >= 0x100000; }
};

class NotifyRecorder {
public:
    static NotifyRecorder& Get()
    {
        static NotifyRecorder r;
        return r;
    }

    // The handler: which words are texts follows from the event's kind.
    // The texts are read after a held call is let go.
    static void Handler(void* first, unsigned long second, unsigned long third)
    {
        Get().WaitWhileHeld();
        Call c;
        c.first = first;
        c.second = second;
        c.third = third;
        c.thread = std::this_thread::get_id();
        if (second == 0) {
            c.firstText = static_cast<const char*>(first); // "socket closed"
        } else if (c.IsGeneral()) {
            c.secondText = reinterpret_cast<const char*>(second);
            c.thirdText = reinterpret_cast<const char*>(third);
        } else if (c.Id() == nevCameraName || (c.Id() >= nevPan && c.Id() <= nevZoom)) {
            c.thirdText = reinterpret_cast<const char*>(third);
        }
        NotifyRecorder& r = Get();
        std::lock_guard<std::mutex> g(r.mu_);
        if (!r.open_)
            ++r.late_;
        r.calls_.push_back(c);
        r.cv_.notify_all();
    }

    void Reset()
    {
        std::lock_guard<std::mutex> g(mu_);
        calls_.clear();
        late_ = 0;
        open_ = true;
        held_ = false;
        holding_ = false;
    }
    // The next call waits (before it reads anything) until Release.
    void Hold()
    {
        std::lock_guard<std::mutex> g(mu_);
        held_ = true;
    }
    bool WaitHolding(double seconds = 20)
    {
        std::unique_lock<std::mutex> g(mu_);
        return cv_.wait_for(g, std::chrono::duration<double>(seconds), [&] { return holding_; });
    }
    void Release()
    {
        std::lock_guard<std::mutex> g(mu_);
        held_ = false;
        cv_.notify_all();
    }
    // A call between Close and the next Open counts as late.
    void Open() { SetOpen(true); }
    void Close() { SetOpen(false); }
    int Late()
    {
        std::lock_guard<std::mutex> g(mu_);
        return late_;
    }
    std::vector<Call> Calls()
    {
        std::lock_guard<std::mutex> g(mu_);
        return calls_;
    }
    size_t Count()
    {
        std::lock_guard<std::mutex> g(mu_);
        return calls_.size();
    }
    // Waits until pred(calls so far) holds.
    template <class Pred>
    bool WaitFor(Pred pred, double seconds = 20)
    {
        std::unique_lock<std::mutex> g(mu_);
        return cv_.wait_for(g, std::chrono::duration<double>(seconds), [&] { return pred(calls_); });
    }
    bool WaitCount(size_t n, double seconds = 20)
    {
        return WaitFor([&](const std::vector<Call>& c) { return c.size() >= n; }, seconds);
    }

private:
    NotifyRecorder() = default;
    void WaitWhileHeld()
    {
        std::unique_lock<std::mutex> g(mu_);
        if (!held_)
            return;
        holding_ = true;
        cv_.notify_all();
        cv_.wait(g, [&] { return !held_; });
        holding_ = false;
    }
    void SetOpen(bool open)
    {
        std::lock_guard<std::mutex> g(mu_);
        open_ = open;
    }

    std::mutex mu_;
    std::condition_variable cv_;
    std::vector<Call> calls_;
    bool open_ = true;
    int late_ = 0;
    bool held_ = false;
    bool holding_ = false;
};

} // namespace notifytest

#endif
