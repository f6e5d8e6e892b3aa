// What the tests of the exported functions share: the emulated camera with
// routes, a handle pointed at it, and callbacks that keep what they got.
#ifndef RILO_CLIENT_API_TEST_UTIL_H
#define RILO_CLIENT_API_TEST_UTIL_H

#include "RiloClientLib.h"
#include "http/HttpCtrlTestUtil.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace apitest {

const double kWait = 20; // seconds for an awaited event, on a loaded machine

// What a callback was handed, in order.
template <class T>
struct Log {
    std::mutex mu;
    std::vector<T> items;
    void Add(T v)
    {
        std::lock_guard<std::mutex> g(mu);
        items.push_back(std::move(v));
    }
    std::vector<T> Get()
    {
        std::lock_guard<std::mutex> g(mu);
        return items;
    }
    size_t Size() { return Get().size(); }
};

// A camera with the top-level settings top and routes (path, route).
inline std::unique_ptr<testsupport::HttpEmulator>
CameraWithRoutes(const std::string& top,
                 const std::vector<std::pair<std::string, std::string>>& routes)
{
    std::string r;
    for (const auto& p : routes)
        r += (r.empty() ? "\"" : ",\"") + p.first + "\":" + p.second;
    return std::make_unique<testsupport::HttpEmulator>("{" + top + (top.empty() ? "" : ",") +
                                                       "\"routes\": {" + r + "}}");
}

inline void* Stream(unsigned modal, int port, const char* user = "admin", const char* pass = "pw",
                    int authType = 2)
{
    void* h = RiloCreateStream(0, modal);
    EXPECT_NE(h, nullptr);
    EXPECT_EQ(RiloSetStreamAddr(h, "127.0.0.1", port), 0);
    EXPECT_EQ(RiloSetStreamAuth(h, user, pass, authType), 0);
    return h;
}

// Whether the recording of flags comes to be on (want 1) or off (0).
inline bool Recording(void* h, int flags, int want)
{
    return httptest::Eventually(
        [&] {
            int on = -1;
            return RiloIsOnRecordingStreamIn(h, flags, &on) == 0 && on == want;
        },
        kWait);
}

} // namespace apitest

#endif
