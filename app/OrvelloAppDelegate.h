#ifndef RILO_APP_ORVELLOAPPDELEGATE_H
#define RILO_APP_ORVELLOAPPDELEGATE_H

#include "GtkApplication.h"

// The application delegate: it holds the main window and does nothing at
// launch; the bridge object wakes with the page.
class OrvelloAppDelegate : public platform::ApplicationDelegate {
public:
    GtkWidget* window() const { return m_window; }
    void setWindow(GtkWidget* window) override { m_window = window; }
    void applicationDidFinishLaunching() override {}

private:
    GtkWidget* m_window = nullptr;
};

#endif
