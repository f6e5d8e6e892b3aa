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

private:
    static gboolean PlaceChild(GtkOverlay* overlay, GtkWidget* child, GdkRectangle* place, gpointer self);

    GtkWidget* m_window;    // owned reference
    GtkOverlay* m_overlay;  // owned by the window
    WebKitWebView* m_view;  // owned by the overlay
    // Until the page sizes it, the web view fills the window.
    bool m_viewSized = false;
    int m_viewWidth = 0;
    int m_viewHeight = 0;
};

}  // namespace platform

#endif
