// send_window_close TITLE: asks the top-level window of that title to close,
// as a window manager does for its close button (WM_DELETE_WINDOW), on the
// display of $DISPLAY. The GUI tests run under Xvfb, where no window manager
// runs. Status 0 when sent, 1 when no such window or display, 2 on bad use.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstring>

namespace {

Window FindByTitle(Display* display, Window parent, const char* title)
{
    Window root = 0, up = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, parent, &root, &up, &children, &count))
        return 0;
    Window found = 0;
    for (unsigned i = 0; i < count && !found; ++i) {
        char* name = nullptr;
        if (XFetchName(display, children[i], &name) && name) {
            if (std::strcmp(name, title) == 0)
                found = children[i];
            XFree(name);
        }
        if (!found)
            found = FindByTitle(display, children[i], title);
    }
    if (children)
        XFree(children);
    return found;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: send_window_close TITLE\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "send_window_close: no display\n");
        return 1;
    }
    Window window = FindByTitle(display, DefaultRootWindow(display), argv[1]);
    if (!window) {
        std::fprintf(stderr, "send_window_close: no window \"%s\"\n", argv[1]);
        XCloseDisplay(display);
        return 1;
    }
    XEvent event;
    std::memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
    XCloseDisplay(display);
    return 0;
}
