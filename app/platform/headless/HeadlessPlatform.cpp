#include "platform/headless/HeadlessPlatform.h"

#include <cstdio>
#include <cstdlib>

namespace platform {

HeadlessPlatform::HeadlessPlatform(std::string bundleParentDir)
    : desktopFolder(bundleParentDir + "Desktop"), m_bundleParentDir(std::move(bundleParentDir))
{
}

void HeadlessPlatform::Publish(const std::string& name, ScriptBridge* object)
{
    m_published[name] = object;
    ++publications;
}

ScriptValue HeadlessPlatform::Evaluate(const std::string& script)
{
    // Only the page's own thread may touch the page.
    if (std::this_thread::get_id() != m_mainThread) {
        std::fprintf(stderr, "HeadlessPlatform: script evaluated off the main thread: %s\n",
                     script.c_str());
        std::abort();
    }
    {
        std::lock_guard<std::mutex> lock(m_scriptsMutex);
        m_scripts.push_back(script);
    }
    return scriptResult ? scriptResult(script) : ScriptValue();
}

RunLoop::TimerId HeadlessPlatform::ScheduleRepeating(double seconds, std::function<void()> tick)
{
    TimerId id = m_nextTimer++;
    m_timers[id] = Timer{seconds, std::move(tick)};
    return id;
}

void HeadlessPlatform::Invalidate(TimerId id)
{
    m_timers.erase(id);
}

void HeadlessPlatform::DrawImageInRect(const Image& image, const Rect& rect)
{
    std::lock_guard<std::mutex> lock(m_scriptsMutex);
    m_drawings.push_back(Drawing{rect, image.width(), image.height(), image.source()});
    m_lastImage = std::make_shared<Image>(image);
}

std::vector<HeadlessPlatform::Drawing> HeadlessPlatform::Drawings() const
{
    std::lock_guard<std::mutex> lock(m_scriptsMutex);
    return m_drawings;
}

ImageRef HeadlessPlatform::LastImage() const
{
    std::lock_guard<std::mutex> lock(m_scriptsMutex);
    return m_lastImage;
}

double HeadlessPlatform::TimerInterval(TimerId id) const
{
    auto it = m_timers.find(id);
    return it == m_timers.end() ? 0 : it->second.seconds;
}

void HeadlessPlatform::FireTimers()
{
    std::vector<TimerId> ids;
    for (const auto& t : m_timers)
        ids.push_back(t.first);
    for (TimerId id : ids) {
        auto it = m_timers.find(id);
        if (it == m_timers.end())
            continue;                // stopped by an earlier tick
        auto tick = it->second.tick; // a tick may stop its own timer
        tick();
    }
}

void HeadlessPlatform::ReloadPage()
{
    // The window object is made afresh; the application publishes again.
    std::map<std::string, ScriptBridge*> old;
    old.swap(m_published);
    for (auto& p : old)
        Publish(p.first, p.second);
}

ScriptBridge* HeadlessPlatform::Published(const std::string& name)
{
    auto it = m_published.find(name);
    return it == m_published.end() ? nullptr : it->second;
}

bool HeadlessPlatform::HasMethod(const std::string& method, const std::string& object)
{
    ScriptBridge* b = Published(object);
    if (!b)
        return false;
    for (const auto& m : b->ScriptMethods())
        if (m.name == method)
            return true;
    return false;
}

ScriptValue HeadlessPlatform::Call(const std::string& method, const ScriptArgs& args,
                                   const std::string& object)
{
    ScriptBridge* b = Published(object);
    if (b)
        for (const auto& m : b->ScriptMethods())
            if (m.name == method)
                return m.call(args);
    std::fprintf(stderr, "HeadlessPlatform: %s.%s is not a function\n", object.c_str(),
                 method.c_str());
    std::abort();
}

ScriptValue HeadlessPlatform::Get(const std::string& property, const std::string& object)
{
    ScriptBridge* b = Published(object);
    if (b)
        for (const auto& p : b->ScriptProperties())
            if (p.name == property)
                return p.get();
    return ScriptValue();
}

std::vector<std::string> HeadlessPlatform::TakeScripts()
{
    std::lock_guard<std::mutex> lock(m_scriptsMutex);
    std::vector<std::string> out;
    out.swap(m_scripts);
    return out;
}

std::vector<std::string> HeadlessPlatform::Scripts() const
{
    std::lock_guard<std::mutex> lock(m_scriptsMutex);
    return m_scripts;
}

} // namespace platform
