#include "ui/BareDisplay.h"

// JUCE's own connection to the X server is reached through its X11 layer.
#define JUCE_GUI_BASICS_INCLUDE_XHEADERS 1
#include <juce_gui_basics/juce_gui_basics.h>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <initializer_list>

namespace norvane
{

namespace
{
/** The program's own connection to the X server, opened once; nothing without a display. */
Display* ownDisplay()
{
    static Display* display = XOpenDisplay(nullptr);
    return display;
}
} // namespace

void prepareDisplayWithoutWindowManager()
{
    Display* display = ownDisplay();
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

bool detectAutoRepeatedKeys()
{
    auto* windowSystem = juce::XWindowSystem::getInstance();
    ::Display* display = windowSystem != nullptr ? windowSystem->getDisplay() : nullptr;
    if (display == nullptr)
        return false;
    juce::XWindowSystemUtilities::ScopedXLock lock;
    Bool supported = False;
    XkbSetDetectableAutoRepeat(display, True, &supported);
    return supported == True;
}

bool isSuperKeyDown()
{
    Display* display = ownDisplay();
    if (display == nullptr)
        return false;
    char keys[32] = {};
    XQueryKeymap(display, keys);
    for (KeySym sym : {XK_Super_L, XK_Super_R, XK_Meta_L, XK_Meta_R, XK_Hyper_L, XK_Hyper_R})
    {
        const KeyCode code = XKeysymToKeycode(display, sym);
        if (code != 0 && (keys[code / 8] & (1 << (code % 8))) != 0)
            return true;
    }
    return false;
}

} // namespace norvane
