#include "platform/gtk/GtkDesktop.h"

#include "Common.h"

#include <gtk/gtk.h>

namespace platform {

namespace {

constexpr char kCustomIcon[] = "metadata::custom-icon";

// Whether the program put text on the clipboard.
bool g_clipboardSet = false;

void Launched(GObject*, GAsyncResult* result, gpointer data)
{
    g_autofree char* uri = static_cast<char*>(data);
    g_autoptr(GError) error = nullptr;
    if (!g_app_info_launch_default_for_uri_finish(result, &error))
        DiagPrint(kDiagErr, "[CameraWizard] cannot open %s: %s\n", uri, error->message);
}

} // namespace

void OpenWithDefaultHandler(const char* uri)
{
    if (!g_uri_is_valid(uri, G_URI_FLAGS_NONE, nullptr)) {
        DiagPrint(kDiagErr, "[CameraWizard] cannot open %s: not an address\n", uri);
        return;
    }
    g_autoptr(GdkAppLaunchContext) context =
        gdk_display_get_app_launch_context(gdk_display_get_default());
    g_app_info_launch_default_for_uri_async(uri, G_APP_LAUNCH_CONTEXT(context), nullptr, Launched,
                                            g_strdup(uri));
}

void OpenFileWithDefaultHandler(const char* path)
{
    g_autoptr(GError) error = nullptr;
    g_autofree char* uri = g_filename_to_uri(path, nullptr, &error);
    if (!uri) {
        DiagPrint(kDiagErr, "[CameraWizard] cannot open %s: %s\n", path, error->message);
        return;
    }
    OpenWithDefaultHandler(uri);
}

void SetCustomIcon(const char* file, const char* iconFile)
{
    g_autoptr(GFile) target = g_file_new_for_path(file);
    g_autofree char* icon = nullptr;
    if (*iconFile && g_file_test(iconFile, G_FILE_TEST_IS_REGULAR))
        icon = g_filename_to_uri(iconFile, nullptr, nullptr);
    // Without a metadata store (most desktops outside GNOME's file manager)
    // this fails, and the file keeps the desktop's default icon.
    g_autoptr(GError) error = nullptr;
    if (icon)
        g_file_set_attribute_string(target, kCustomIcon, icon, G_FILE_QUERY_INFO_NONE, nullptr,
                                    &error);
    else
        g_file_set_attribute(target, kCustomIcon, G_FILE_ATTRIBUTE_TYPE_INVALID, nullptr,
                             G_FILE_QUERY_INFO_NONE, nullptr, &error);
}

void SetClipboardText(const char* text)
{
    gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), text, -1);
    g_clipboardSet = true;
}

void StoreClipboard()
{
    if (g_clipboardSet)
        gtk_clipboard_store(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD));
}

} // namespace platform
