#ifndef RILO_APP_GTKAPPLICATION_H
#define RILO_APP_GTKAPPLICATION_H

// The application process of the real program: the main loop, the main
// window with its web view, and the requests the page's side sends over.

#include <gtk/gtk.h>

namespace platform {

class ApplicationDelegate {
public:
    virtual ~ApplicationDelegate() = default;
    virtual void setWindow(GtkWidget* window) = 0;
    virtual void applicationDidFinishLaunching() = 0;
};

// Runs the program; returns its exit status.
int ApplicationMain(int argc, char** argv, ApplicationDelegate* delegate);

}  // namespace platform

#endif
