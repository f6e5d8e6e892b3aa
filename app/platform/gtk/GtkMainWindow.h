#ifndef RILO_APP_GTKMAINWINDOW_H
#define RILO_APP_GTKMAINWINDOW_H

// The main window of the real program: a fixed-size GTK window whose only
// content is the web view showing the page.

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
    void Show();

private:
    GtkWidget* m_window;    // owned reference
    WebKitWebView* m_view;  // owned by the window
};

}  // namespace platform

#endif
