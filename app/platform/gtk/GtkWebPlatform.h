#ifndef RILO_APP_GTKWEBPLATFORM_H
#define RILO_APP_GTKWEBPLATFORM_H

// The real backend on the page's side: it lives in WebKit's web process,
// where page scripts run. Objects are published as JavaScriptCore classes,
// timers are GLib timeouts on the web process's main loop, and what only the
// application can do is asked of it with user messages.

#include "platform/Platform.h"

#include <webkit2/webkit-web-extension.h>

#include <map>
#include <string>

namespace platform {

class GtkWebPlatform : public ScriptHost, public RunLoop, public AppHost, public Workspace {
public:
    explicit GtkWebPlatform(std::string bundleParentDir);
    Services services() { return Services{this, this, this, this}; }

    // WebKit's signals.
    void PageCreated(WebKitWebPage* page);
    // A fresh window object: the delegate publishes into it.
    void WindowObjectCleared(WebKitFrame* frame, JSCContext* context,
                             const std::function<void()>& delegate);
    // Asks the object published as name to run a method by its scripting
    // name (used for the application's requests, e.g. closing the window);
    // the method's result, undefined when there is no such method.
    ScriptValue Invoke(const std::string& object, const std::string& method);

    void Publish(const std::string& name, ScriptBridge* object) override;
    ScriptValue Evaluate(const std::string& script) override;

    TimerId ScheduleRepeating(double seconds, std::function<void()> tick) override;
    void Invalidate(TimerId id) override;

    void LoadFile(const std::string& path) override;
    void Terminate() override;
    std::string BundleParentDir() override { return m_bundleParentDir; }
    void SetWebViewSize(int width, int height) override;
    // Scaled here to the rectangle, so only its pixels cross to the application.
    void DrawImageInRect(const Image& image, const Rect& rect) override;
    void ClearImage() override;

    void OpenURL(const std::string& url) override;
    void OpenFile(const std::string& path) override;
    void SetIcon(const std::string& file, const std::string& iconFile) override;
    void SetPasteboardString(const std::string& text) override;
    std::string DesktopFolder() override;

private:
    void PublishInto(JSCContext* context, const std::string& name, ScriptBridge* object);
    void SendToView(const char* name, GVariant* parameters);
    static gboolean TimerFired(gpointer data);

    std::string m_bundleParentDir;
    WebKitWebPage* m_page = nullptr;
    JSCContext* m_mainContext = nullptr;     // owned reference
    JSCContext* m_clearingContext = nullptr; // while a window object is being made
    std::map<std::string, ScriptBridge*> m_published;
    struct Timer {
        guint source;
        std::function<void()> tick;
    };
    std::map<TimerId, Timer> m_timers;
    TimerId m_nextTimer = 1;
};

} // namespace platform

#endif
