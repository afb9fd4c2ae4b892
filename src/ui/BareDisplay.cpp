#include "ui/BareDisplay.h"

#include <X11/Xlib.h>

namespace norvane
{

void prepareDisplayWithoutWindowManager()
{
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr)
        return;
    const char* names[] = {"WM_PROTOCOLS",         "WM_TAKE_FOCUS",
                           "WM_DELETE_WINDOW",     "_NET_WM_PING",
                           "WM_CHANGE_STATE",      "WM_STATE",
                           "_NET_WM_WINDOW_TYPE",  "_NET_WM_STATE",
                           "_NET_WM_STATE_HIDDEN", "_NET_WM_WINDOW_TYPE_NORMAL"};
    for (const char* name : names)
        XInternAtom(display, name, False);
    // Kept open: a server without other clients resets when the last one leaves, and would
    // forget the atoms again before JUCE connects.
    XFlush(display);
}

} // namespace norvane
