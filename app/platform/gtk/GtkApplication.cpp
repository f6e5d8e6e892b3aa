// The application process of the real program: the main loop, the main
// window with its web view, and the requests the page's side sends over.
#include "platform/Platform.h"
#include "platform/gtk/GtkDesktop.h"
#include "platform/gtk/GtkMainWindow.h"

#include "Common.h"

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace platform {

namespace {

// How long a press of the window's close button waits for the page's side
// to answer: it asks the user, or shuts down.
constexpr guint kCloseGraceMs = 3000;

// The timer that ends the program unless the page's side answers in time; 0
// while no answer is awaited.
guint g_closeGrace = 0;

// The folder of the executable, with its trailing "/".
std::string ProgramFolder()
{
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return "./";
    std::string path(buf, static_cast<size_t>(n));
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
}

[[noreturn]] void EndProgram()
{
    StoreClipboard();
    std::fflush(stdout);
    std::fflush(stderr);
    std::exit(0);
}

void LoadFile(WebKitWebView* view, const char* path)
{
    g_autoptr(GError) error = nullptr;
    g_autofree char* uri = g_filename_to_uri(path, nullptr, &error);
    if (!uri) {
        DiagPrint(kDiagErr, "[CameraWizard] cannot load %s: %s\n", path, error->message);
        return;
    }
    webkit_web_view_load_uri(view, uri);
}

// The message's parameters if they have the type, else null.
GVariant* Parameters(WebKitUserMessage* message, const char* type)
{
    GVariant* p = webkit_user_message_get_parameters(message);
    return p && g_variant_is_of_type(p, G_VARIANT_TYPE(type)) ? p : nullptr;
}

const char* StringParameter(WebKitUserMessage* message)
{
    GVariant* p = Parameters(message, "s");
    return p ? g_variant_get_string(p, nullptr) : nullptr;
}

// What the page's side asks of the application.
gboolean OnUserMessage(WebKitWebView*, WebKitUserMessage* message, gpointer data)
{
    auto* window = static_cast<GtkMainWindow*>(data);
    const char* name = webkit_user_message_get_name(message);
    if (std::strcmp(name, "Terminate") == 0)
        EndProgram();
    if (std::strcmp(name, "SetWebViewSize") == 0) {
        if (GVariant* p = Parameters(message, "(ii)")) {
            gint32 width = 0, height = 0;
            g_variant_get(p, "(ii)", &width, &height);
            window->SetWebViewSize(width, height);
        }
        return TRUE;
    }
    if (std::strcmp(name, "DrawImage") == 0) {
        if (GVariant* p = Parameters(message, "(iiiiay)")) {
            gint32 x = 0, y = 0, width = 0, height = 0;
            g_autoptr(GVariant) pixels = nullptr;
            g_variant_get(p, "(iiii@ay)", &x, &y, &width, &height, &pixels);
            gsize bytes = 0;
            const void* data = g_variant_get_fixed_array(pixels, &bytes, 1);
            window->ShowPicture(x, y, width, height, static_cast<const guint8*>(data), bytes);
        }
        return TRUE;
    }
    if (std::strcmp(name, "ClearImage") == 0) {
        window->ClearPicture();
        return TRUE;
    }
    if (std::strcmp(name, "SetIcon") == 0) {
        if (GVariant* p = Parameters(message, "(ss)")) {
            const char* file = nullptr;
            const char* icon = nullptr;
            g_variant_get(p, "(&s&s)", &file, &icon);
            SetCustomIcon(file, icon);
        }
        return TRUE;
    }
    const char* text = StringParameter(message);
    if (!text)
        return FALSE;
    if (std::strcmp(name, "LoadFile") == 0)
        LoadFile(window->webView(), text);
    else if (std::strcmp(name, "OpenURL") == 0)
        OpenWithDefaultHandler(text);
    else if (std::strcmp(name, "OpenFile") == 0)
        OpenFileWithDefaultHandler(text);
    else if (std::strcmp(name, "Pasteboard") == 0)
        SetClipboardText(text);
    else
        return FALSE;
    return TRUE;
}

gboolean CloseGraceOver(gpointer)
{
    DiagPrint(kDiagErr, "[CameraWizard] the page did not answer the close button in time\n");
    EndProgram();
}

// The page's side asks the user (the program keeps running, and the next
// press asks again) or shuts down, which ends the program with its own
// message; without an answer the grace timer ends it.
void OnCloseAnswer(GObject* view, GAsyncResult* result, gpointer)
{
    WebKitUserMessage* reply =
        webkit_web_view_send_message_to_page_finish(WEBKIT_WEB_VIEW(view), result, nullptr);
    if (!reply)
        return;
    const bool asks = std::strcmp(webkit_user_message_get_name(reply), "PageAsks") == 0;
    g_object_unref(reply);
    if (asks && g_closeGrace) {
        g_source_remove(g_closeGrace);
        g_closeGrace = 0;
    }
}

gboolean OnDeleteEvent(GtkWidget*, GdkEvent*, gpointer view)
{
    if (g_closeGrace)
        return TRUE; // the answer to an earlier press is still awaited
    webkit_web_view_send_message_to_page(WEBKIT_WEB_VIEW(view),
                                         webkit_user_message_new("windowShouldClose", nullptr),
                                         nullptr, OnCloseAnswer, nullptr);
    g_closeGrace = g_timeout_add(kCloseGraceMs, CloseGraceOver, nullptr);
    return TRUE;
}

void OnWebProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason reason, gpointer)
{
    if (g_closeGrace)
        EndProgram();
    DiagPrint(kDiagErr, "[CameraWizard] the page's process ended (reason %d)\n",
              static_cast<int>(reason));
}

gboolean OnContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*,
                       gpointer)
{
    return TRUE; // the wizard has no context menu
}

} // namespace

int ApplicationMain(int argc, char** argv, ApplicationDelegate* delegate)
{
    if (!gtk_init_check(&argc, &argv)) {
        const char* display = std::getenv("DISPLAY");
        DiagPrint(
            kDiagErr,
            "[CameraWizard] cannot open a display (DISPLAY=%s): the wizard is a window and needs a "
            "graphical desktop\n",
            display && *display ? display : "not set");
        return 1;
    }
    const std::string folder = ProgramFolder();

    WebKitWebContext* context = webkit_web_context_new();
    // Before any web process exists: the bridge needs the network.
    webkit_web_context_set_sandbox_enabled(context, FALSE);
    webkit_web_context_set_web_extensions_directory(context, (folder + "webext").c_str());
    webkit_web_context_set_web_extensions_initialization_user_data(
        context, g_variant_new_string(folder.c_str()));

    GtkMainWindow window(context);
    WebKitWebView* view = window.webView();
    g_signal_connect(view, "user-message-received", G_CALLBACK(OnUserMessage), &window);
    g_signal_connect(view, "web-process-terminated", G_CALLBACK(OnWebProcessTerminated), nullptr);
    g_signal_connect(view, "context-menu", G_CALLBACK(OnContextMenu), nullptr);
    g_signal_connect(window.widget(), "delete-event", G_CALLBACK(OnDeleteEvent), view);

    delegate->setWindow(&window);
    LoadFile(view, (folder + "MacHtml/index.html").c_str());
    window.Show();
    delegate->applicationDidFinishLaunching();

    gtk_main();
    delegate->setWindow(nullptr);
    return 0;
}

} // namespace platform
