#include "platform/gtk/GtkMainWindow.h"

#include <algorithm>

namespace platform {

namespace {

constexpr int kWindowWidth = 720;
constexpr int kWindowHeight = 480;
// Widest and highest web view the display can take.
constexpr int kMaxViewSide = 16384;

}  // namespace

GtkMainWindow::GtkMainWindow(WebKitWebContext* context)
    : m_window(GTK_WIDGET(g_object_ref_sink(gtk_window_new(GTK_WINDOW_TOPLEVEL)))),
      m_overlay(GTK_OVERLAY(gtk_overlay_new())),
      m_view(WEBKIT_WEB_VIEW(webkit_web_view_new_with_context(context)))
{
    gtk_window_set_title(GTK_WINDOW(m_window), "Camera Wizard");
    gtk_window_set_default_size(GTK_WINDOW(m_window), kWindowWidth, kWindowHeight);
    gtk_window_set_resizable(GTK_WINDOW(m_window), FALSE);
    // The page's console messages are its diagnostics.
    webkit_settings_set_enable_write_console_messages_to_stdout(webkit_web_view_get_settings(m_view), TRUE);
    // As an overlay child the web view's size never reaches the window's.
    gtk_overlay_add_overlay(m_overlay, GTK_WIDGET(m_view));
    g_signal_connect(m_overlay, "get-child-position", G_CALLBACK(PlaceChild), this);
    gtk_container_add(GTK_CONTAINER(m_window), GTK_WIDGET(m_overlay));
}

GtkMainWindow::~GtkMainWindow()
{
    gtk_widget_destroy(m_window);
    g_object_unref(m_window);
}

void GtkMainWindow::Show()
{
    gtk_widget_show_all(m_window);
}

void GtkMainWindow::SetWebViewSize(int width, int height)
{
    m_viewSized = true;
    m_viewWidth = std::clamp(width, 1, kMaxViewSide);
    m_viewHeight = std::clamp(height, 1, kMaxViewSide);
    gtk_widget_queue_allocate(GTK_WIDGET(m_overlay));
}

gboolean GtkMainWindow::PlaceChild(GtkOverlay* overlay, GtkWidget* child, GdkRectangle* place, gpointer self)
{
    auto* w = static_cast<GtkMainWindow*>(self);
    if (child != GTK_WIDGET(w->m_view))
        return FALSE;
    int areaWidth = gtk_widget_get_allocated_width(GTK_WIDGET(overlay));
    int areaHeight = gtk_widget_get_allocated_height(GTK_WIDGET(overlay));
    if (!w->m_viewSized) {
        *place = GdkRectangle{0, 0, areaWidth, areaHeight};
        return TRUE;
    }
    *place = GdkRectangle{0, areaHeight - w->m_viewHeight, w->m_viewWidth, w->m_viewHeight};
    return TRUE;
}

}  // namespace platform
