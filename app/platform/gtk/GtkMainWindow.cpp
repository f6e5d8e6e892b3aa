#include "platform/gtk/GtkMainWindow.h"

#include <algorithm>
#include <cstdint>

namespace platform {

namespace {

constexpr int kWindowWidth = 720;
constexpr int kWindowHeight = 480;
// Widest and highest web view the display can take.
constexpr int kMaxViewSide = 16384;

} // namespace

GtkMainWindow::GtkMainWindow(WebKitWebContext* context)
    : m_window(GTK_WIDGET(g_object_ref_sink(gtk_window_new(GTK_WINDOW_TOPLEVEL)))),
      m_overlay(GTK_OVERLAY(gtk_overlay_new())),
      m_view(WEBKIT_WEB_VIEW(webkit_web_view_new_with_context(context))),
      m_picture(gtk_drawing_area_new())
{
    gtk_window_set_title(GTK_WINDOW(m_window), "Camera Wizard");
    gtk_window_set_default_size(GTK_WINDOW(m_window), kWindowWidth, kWindowHeight);
    gtk_window_set_resizable(GTK_WINDOW(m_window), FALSE);
    // The page's console messages are its diagnostics.
    webkit_settings_set_enable_write_console_messages_to_stdout(
        webkit_web_view_get_settings(m_view), TRUE);
    // As an overlay child the web view's size never reaches the window's.
    gtk_overlay_add_overlay(m_overlay, GTK_WIDGET(m_view));
    gtk_overlay_add_overlay(m_overlay, m_picture);
    gtk_overlay_set_overlay_pass_through(m_overlay, m_picture, TRUE);
    gtk_widget_set_no_show_all(m_picture, TRUE);
    g_signal_connect(m_picture, "draw", G_CALLBACK(DrawPicture), this);
    g_signal_connect(m_overlay, "get-child-position", G_CALLBACK(PlaceChild), this);
    gtk_container_add(GTK_CONTAINER(m_window), GTK_WIDGET(m_overlay));
}

GtkMainWindow::~GtkMainWindow()
{
    ClearPicture();
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

gboolean GtkMainWindow::PlaceChild(GtkOverlay* overlay, GtkWidget* child, GdkRectangle* place,
                                   gpointer self)
{
    auto* w = static_cast<GtkMainWindow*>(self);
    int areaWidth = gtk_widget_get_allocated_width(GTK_WIDGET(overlay));
    int areaHeight = gtk_widget_get_allocated_height(GTK_WIDGET(overlay));
    if (child == w->m_picture) {
        const GdkRectangle& r = w->m_pictureRect;
        *place = GdkRectangle{r.x, areaHeight - r.y - r.height, r.width, r.height};
        return TRUE;
    }
    if (child != GTK_WIDGET(w->m_view))
        return FALSE;
    if (!w->m_viewSized) {
        *place = GdkRectangle{0, 0, areaWidth, areaHeight};
        return TRUE;
    }
    *place = GdkRectangle{0, areaHeight - w->m_viewHeight, w->m_viewWidth, w->m_viewHeight};
    return TRUE;
}

void GtkMainWindow::ShowPicture(int x, int y, int width, int height, const guint8* rgba,
                                size_t bytes)
{
    if (width <= 0 || height <= 0 || width > kMaxViewSide || height > kMaxViewSide ||
        bytes != size_t(width) * size_t(height) * 4)
        return;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return;
    }
    // Cairo keeps native-endian words with premultiplied colour.
    cairo_surface_flush(surface);
    unsigned char* out = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int row = 0; row < height; ++row) {
        const guint8* p = rgba + size_t(row) * size_t(width) * 4;
        auto* q = reinterpret_cast<uint32_t*>(out + size_t(row) * size_t(stride));
        for (int col = 0; col < width; ++col, p += 4) {
            const uint32_t a = p[3];
            auto pre = [a](uint32_t c) { return (c * a + 127) / 255; };
            q[col] = a << 24 | pre(p[0]) << 16 | pre(p[1]) << 8 | pre(p[2]);
        }
    }
    cairo_surface_mark_dirty(surface);
    if (m_pictureSurface)
        cairo_surface_destroy(m_pictureSurface);
    m_pictureSurface = surface;
    const GdkRectangle rect{x, y, width, height};
    const bool moved = rect.x != m_pictureRect.x || rect.y != m_pictureRect.y ||
                       rect.width != m_pictureRect.width || rect.height != m_pictureRect.height;
    m_pictureRect = rect;
    if (moved)
        gtk_widget_queue_allocate(GTK_WIDGET(m_overlay));
    gtk_widget_show(m_picture);
    gtk_widget_queue_draw(m_picture);
}

void GtkMainWindow::ClearPicture()
{
    gtk_widget_hide(m_picture);
    if (m_pictureSurface)
        cairo_surface_destroy(m_pictureSurface);
    m_pictureSurface = nullptr;
}

gboolean GtkMainWindow::DrawPicture(GtkWidget* widget, cairo_t* cr, gpointer self)
{
    auto* w = static_cast<GtkMainWindow*>(self);
    if (!w->m_pictureSurface)
        return FALSE;
    const double sx = double(gtk_widget_get_allocated_width(widget)) / w->m_pictureRect.width;
    const double sy = double(gtk_widget_get_allocated_height(widget)) / w->m_pictureRect.height;
    cairo_scale(cr, sx, sy);
    cairo_set_source_surface(cr, w->m_pictureSurface, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_paint(cr);
    return TRUE;
}

} // namespace platform
