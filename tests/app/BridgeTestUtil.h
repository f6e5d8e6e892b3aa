#ifndef RILO_TESTS_APP_BRIDGETESTUTIL_H
#define RILO_TESTS_APP_BRIDGETESTUTIL_H

// The bridge object on the headless backend, driven as the page drives it:
// by scripting names, with the completion polled and timers fired by hand.

#include "HTMLControl.h"
#include "platform/headless/HeadlessPlatform.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace bridgetest {

using platform::ScriptArgs;
using platform::ScriptValue;

inline ScriptValue N(double n)
{
    return ScriptValue::Number(n);
}
inline ScriptValue S(const std::string& s)
{
    return ScriptValue::String(s);
}

struct Page {
    platform::HeadlessPlatform platform;
    std::unique_ptr<HTMLControl> control;

    explicit Page(const std::string& bundleParentDir = "/tmp/") : platform(bundleParentDir)
    {
        control = std::make_unique<HTMLControl>(platform.services());
        control->webViewDidClearWindowObject();
    }
    ~Page() { control.reset(); }

    ScriptValue Call(const std::string& method, const ScriptArgs& args = {})
    {
        return platform.Call(method, args);
    }
    int Int(const std::string& method, const ScriptArgs& args = {})
    {
        ScriptValue v = Call(method, args);
        EXPECT_EQ(ScriptValue::Kind::Number, v.kind()) << method;
        return static_cast<int>(v.number());
    }
    std::string Text(const std::string& method, const ScriptArgs& args = {})
    {
        ScriptValue v = Call(method, args);
        EXPECT_EQ(ScriptValue::Kind::String, v.kind()) << method;
        return v.string();
    }
    // Polls CheckThreadComplete() as the page does, for at most limitSeconds.
    bool WaitComplete(double limitSeconds = 30)
    {
        auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(limitSeconds);
        while (std::chrono::steady_clock::now() < end) {
            if (Int("CheckThreadComplete") == 1)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    // A whole search: the starter, the polling, the timer's tick.
    std::vector<std::string> Search(const std::string& model)
    {
        platform.TakeScripts();
        Call("SearchCamera_", {S(model)});
        EXPECT_TRUE(WaitComplete());
        platform.FireTimers();
        return platform.TakeScripts();
    }
    std::vector<std::string> Scripts() { return platform.TakeScripts(); }
};

} // namespace bridgetest

#endif
