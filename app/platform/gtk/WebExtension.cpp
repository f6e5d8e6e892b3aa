// The module WebKit loads into its web process: it makes the bridge object
// and publishes it as FinderObj in every fresh window object.
#include "HTMLControl.h"
#include "platform/gtk/GtkWebPlatform.h"

#include <webkit2/webkit-web-extension.h>

#include <cstring>
#include <string>

namespace {

// Both live as long as the web process.
platform::GtkWebPlatform* g_platform = nullptr;
HTMLControl* g_control = nullptr;

void OnWindowObjectCleared(WebKitScriptWorld* world, WebKitWebPage*, WebKitFrame* frame, gpointer)
{
    JSCContext* context = webkit_frame_get_js_context_for_script_world(frame, world);
    g_platform->WindowObjectCleared(frame, context,
                                    [] { g_control->webViewDidClearWindowObject(); });
    g_object_unref(context);
}

gboolean OnPageMessage(WebKitWebPage*, WebKitUserMessage* message, gpointer)
{
    const char* name = webkit_user_message_get_name(message);
    if (std::strcmp(name, "windowShouldClose") == 0) {
        platform::ScriptValue asks = g_platform->Invoke("FinderObj", "windowShouldClose_");
        const bool asking =
            asks.kind() == platform::ScriptValue::Kind::Number && asks.number() == 1;
        webkit_user_message_send_reply(
            message, webkit_user_message_new(asking ? "PageAsks" : "Closing", nullptr));
        return TRUE;
    }
    return FALSE;
}

void OnPageCreated(WebKitWebExtension*, WebKitWebPage* page, gpointer)
{
    g_platform->PageCreated(page);
    g_signal_connect(page, "user-message-received", G_CALLBACK(OnPageMessage), nullptr);
}

} // namespace

extern "C" __attribute__((visibility("default"))) void
webkit_web_extension_initialize_with_user_data(WebKitWebExtension* extension,
                                               const GVariant* userData)
{
    std::string bundleParentDir = "./";
    GVariant* data = const_cast<GVariant*>(userData);
    if (data && g_variant_is_of_type(data, G_VARIANT_TYPE_STRING))
        bundleParentDir = g_variant_get_string(data, nullptr);

    g_platform = new platform::GtkWebPlatform(bundleParentDir);
    g_control = new HTMLControl(g_platform->services());

    g_signal_connect(extension, "page-created", G_CALLBACK(OnPageCreated), nullptr);
    g_signal_connect(webkit_script_world_get_default(), "window-object-cleared",
                     G_CALLBACK(OnWindowObjectCleared), nullptr);
}
