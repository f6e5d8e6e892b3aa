#include "platform/gtk/GtkMainWindow.h"

namespace platform {

namespace {

constexpr int kWindowWidth = 720;
constexpr int kWindowHeight = 480;

}  // namespace

GtkMainWindow::GtkMainWindow(WebKitWebContext* context)
    : m_window(GTK_WIDGET(g_object_ref_sink(gtk_window_new(GTK_WINDOW_TOPLEVEL)))),
      m_view(WEBKIT_WEB_VIEW(webkit_web_view_new_with_context(context)))
{
    gtk_window_set_title(GTK_WINDOW(m_window), "Camera Wizard");
    gtk_window_set_default_size(GTK_WINDOW(m_window), kWindowWidth, kWindowHeight);
    gtk_window_set_resizable(GTK_WINDOW(m_window), FALSE);
    // The page's console messages are its diagnostics.
    webkit_settings_set_enable_write_console_messages_to_stdout(webkit_web_view_get_settings(m_view), TRUE);
    gtk_container_add(GTK_CONTAINER(m_window), GTK_WIDGET(m_view));
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

}  // namespace platform
