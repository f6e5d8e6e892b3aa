#ifndef RILO_APP_GTKMAINWINDOW_H
#define RILO_APP_GTKMAINWINDOW_H

// The main window of the real program: a fixed-size GTK window whose content
// is an overlay holding the web view that shows the page. The live picture
// goes into the same overlay as a further child above the web view.

#include "platform/Platform.h"

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

namespace platform {

class GtkMainWindow : public Window {
public:
    // A window with a web view of this context; shown by Show().
    explicit GtkMainWindow(WebKitWebContext* context);
    ~GtkMainWindow() override;
    GtkMainWindow(const GtkMainWindow&) = delete;
    GtkMainWindow& operator=(const GtkMainWindow&) = delete;

    GtkWidget* widget() const { return m_window; }
    WebKitWebView* webView() const { return m_view; }
    // The container of the web view, for further children above it.
    GtkOverlay* overlay() const { return m_overlay; }
    void Show();

    // The web view's size, its origin at the bottom left of the window; the
    // window keeps its size, and what lies outside it is cut off.
    void SetWebViewSize(int width, int height);

    // A picture of width x height R, G, B, A pixels shown above the page in
    // the window's rectangle at x, y (origin at the bottom left), scaled to
    // fill it; ClearPicture takes it away. Input passes through to the page.
    void ShowPicture(int x, int y, int width, int height, const guint8* rgba, size_t bytes);
    void ClearPicture();

private:
    static gboolean PlaceChild(GtkOverlay* overlay, GtkWidget* child, GdkRectangle* place,
                               gpointer self);
    static gboolean DrawPicture(GtkWidget* widget, cairo_t* cr, gpointer self);

    GtkWidget* m_window;                         // owned reference
    GtkOverlay* m_overlay;                       // owned by the window
    WebKitWebView* m_view;                       // owned by the overlay
    GtkWidget* m_picture;                        // owned by the overlay
    cairo_surface_t* m_pictureSurface = nullptr; // owned
    GdkRectangle m_pictureRect{};                // window coordinates, origin at the bottom left
    // Until the page sizes it, the web view fills the window.
    bool m_viewSized = false;
    int m_viewWidth = 0;
    int m_viewHeight = 0;
};

} // namespace platform

#endif
