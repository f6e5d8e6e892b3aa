#ifndef RILO_APP_ORVELLOAPPDELEGATE_H
#define RILO_APP_ORVELLOAPPDELEGATE_H

#include "platform/Platform.h"

// The application delegate: it holds the main window and does nothing at
// launch; the bridge object wakes with the page.
class OrvelloAppDelegate : public platform::ApplicationDelegate {
public:
    platform::Window* window() const { return m_window; }
    void setWindow(platform::Window* window) override { m_window = window; }
    void applicationDidFinishLaunching() override {}

private:
    platform::Window* m_window = nullptr;
};

#endif
