#ifndef RILO_APP_PLATFORM_H
#define RILO_APP_PLATFORM_H

// The few services of the desktop that the front end is written against.
// Two backends implement them: gtk/ (GTK and WebKitGTK: the application
// process with the main window, and the web process where the page and the
// bridge object live) and headless/ (no window, for tests). No GTK or WebKit
// type appears outside app/platform/.

#include "Image.h"
#include "ScriptValue.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

// ---- the web process: the page, its scripts and the bridge object --------

// A published native object: the methods and fields page scripts reach.
class ScriptBridge {
public:
    virtual ~ScriptBridge() = default;

    struct Method {
        std::string name; // scripting name: each ":" of the selector as "_"
        std::function<ScriptValue(const ScriptArgs&)> call;
    };
    struct Property {
        std::string name;
        std::function<ScriptValue()> get;
    };
    virtual const std::vector<Method>& ScriptMethods() = 0;
    virtual const std::vector<Property>& ScriptProperties() = 0;
};

// The page's script side.
class ScriptHost {
public:
    virtual ~ScriptHost() = default;
    // Publishes the object under name in every fresh window object (and
    // now, when a page is already there).
    virtual void Publish(const std::string& name, ScriptBridge* object) = 0;
    // Evaluates script text in the main frame; runs before returning. The
    // result is the script's value (undefined when it threw or no page is
    // there).
    virtual ScriptValue Evaluate(const std::string& script) = 0;
};

// The main loop: every timer fires on the thread that runs the page.
class RunLoop {
public:
    using TimerId = uint64_t; // 0 is never a timer
    virtual ~RunLoop() = default;
    virtual TimerId ScheduleRepeating(double seconds, std::function<void()> tick) = 0;
    // Stops a timer; unknown or stopped ids do nothing.
    virtual void Invalidate(TimerId id) = 0;
};

// The application around the page.
class AppHost {
public:
    virtual ~AppHost() = default;
    // Loads a local file into the main frame.
    virtual void LoadFile(const std::string& path) = 0;
    // Ends the program with status 0 (the application process ends, and the
    // page with it).
    virtual void Terminate() = 0;
    // The folder that holds the program, with its trailing "/".
    virtual std::string BundleParentDir() = 0;
    // Sizes the web view, its origin at the bottom left of the window; the
    // window keeps its size.
    virtual void SetWebViewSize(int width, int height) = 0;
    // Shows the image in rect of the window, scaled to fill it, above the
    // page, until the next image or ClearImage.
    virtual void DrawImageInRect(const Image& image, const Rect& rect) = 0;
    virtual void ClearImage() = 0;
};

// Desktop services (browser, documents, icons, clipboard, desktop folder).
class Workspace {
public:
    virtual ~Workspace() = default;
    // Opening goes to the desktop's default handler and does not wait for it.
    virtual void OpenURL(const std::string& url) = 0;
    virtual void OpenFile(const std::string& path) = 0;
    // An empty or missing iconFile gives the file the desktop's default icon.
    virtual void SetIcon(const std::string& file, const std::string& iconFile) = 0;
    virtual void SetPasteboardString(const std::string& text) = 0;
    virtual std::string DesktopFolder() = 0;
    // Hiding a file's extension: no Linux counterpart.
    virtual void HideExtension(const std::string&) {}
};

// Everything a bridge object needs, owned by the backend.
struct Services {
    ScriptHost* script = nullptr;
    RunLoop* loop = nullptr;
    AppHost* app = nullptr;
    Workspace* workspace = nullptr;
};

// ---- the application process: the main window around the page ------------

// The program's main window, which shows the page. The backend owns it; the
// front end holds it only through this interface.
class Window {
public:
    virtual ~Window() = default;
};

// Told of the main window once it exists, then of the end of the launch.
class ApplicationDelegate {
public:
    virtual ~ApplicationDelegate() = default;
    virtual void setWindow(Window* window) = 0;
    virtual void applicationDidFinishLaunching() = 0;
};

// Runs the program: the main window with the page beside the program, the
// main loop, the requests of the page's side. Returns the exit status; 1,
// with a message, when no display can be opened.
int ApplicationMain(int argc, char** argv, ApplicationDelegate* delegate);

} // namespace platform

#endif
