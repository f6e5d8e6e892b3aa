#ifndef RILO_APP_HEADLESSPLATFORM_H
#define RILO_APP_HEADLESSPLATFORM_H

// A backend without a window, for tests: it records every evaluated script,
// lets a test call published methods by their scripting names, read fields
// and fire timers by hand.

#include "platform/Platform.h"

#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace platform {

class HeadlessPlatform : public ScriptHost, public RunLoop, public AppHost, public Workspace {
public:
    explicit HeadlessPlatform(std::string bundleParentDir = "/tmp/");
    Services services() { return Services{this, this, this, this}; }

    // ScriptHost
    void Publish(const std::string& name, ScriptBridge* object) override;
    ScriptValue Evaluate(const std::string& script) override;
    // RunLoop
    TimerId ScheduleRepeating(double seconds, std::function<void()> tick) override;
    void Invalidate(TimerId id) override;
    // AppHost
    void LoadFile(const std::string& path) override { loadedFiles.push_back(path); }
    void Terminate() override { ++terminated; }
    std::string BundleParentDir() override { return m_bundleParentDir; }
    void SetWebViewSize(int width, int height) override
    {
        webViewSizes.emplace_back(width, height);
    }
    void DrawImageInRect(const Image& image, const Rect& rect) override;
    void ClearImage() override { ++imageClears; }
    // Workspace
    void OpenURL(const std::string& url) override { openedURLs.push_back(url); }
    void OpenFile(const std::string& path) override { openedFiles.push_back(path); }
    void SetIcon(const std::string& file, const std::string& iconFile) override
    {
        icons.emplace_back(file, iconFile);
    }
    void SetPasteboardString(const std::string& text) override { pasteboard = text; }
    std::string DesktopFolder() override { return desktopFolder; }

    // A page reload: the published objects appear in the fresh window.
    void ReloadPage();

    // Calls a method of the object published as name (FinderObj by default)
    // by its scripting name; fails the process when there is no such method.
    ScriptValue Call(const std::string& method, const ScriptArgs& args = {},
                     const std::string& object = "FinderObj");
    bool HasMethod(const std::string& method, const std::string& object = "FinderObj");
    ScriptValue Get(const std::string& property, const std::string& object = "FinderObj");
    ScriptBridge* Published(const std::string& name);

    // Timers: every live one fires once, in creation order.
    void FireTimers();
    size_t LiveTimers() const { return m_timers.size(); }
    double TimerInterval(TimerId id) const;

    // Evaluated script texts, in order; TakeScripts empties the record.
    std::vector<std::string> TakeScripts();
    std::vector<std::string> Scripts() const;

    // One record per drawn image; the last image drawn, whole.
    struct Drawing {
        Rect rect;
        int width = 0, height = 0;
        std::string source; // "pixels" or the picture file's path
    };
    std::vector<Drawing> Drawings() const;
    ImageRef LastImage() const;
    int imageClears = 0;

    std::vector<std::string> loadedFiles, openedURLs, openedFiles;
    std::vector<std::pair<int, int>> webViewSizes;
    std::vector<std::pair<std::string, std::string>> icons; // file, icon file
    std::string pasteboard;
    std::string desktopFolder; // the bundle's folder + "Desktop" unless a test sets it
    int terminated = 0;
    // What an evaluated script gives back; undefined unless a test sets it.
    std::function<ScriptValue(const std::string&)> scriptResult;
    int publications = 0;

private:
    struct Timer {
        double seconds;
        std::function<void()> tick;
    };
    std::string m_bundleParentDir;
    std::map<std::string, ScriptBridge*> m_published;
    std::map<TimerId, Timer> m_timers;
    TimerId m_nextTimer = 1;
    std::thread::id m_mainThread = std::this_thread::get_id();
    std::vector<Drawing> m_drawings;
    ImageRef m_lastImage;
    mutable std::mutex m_scriptsMutex;
    std::vector<std::string> m_scripts;
};

} // namespace platform

#endif
