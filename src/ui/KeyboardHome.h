#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace norvane
{

/** Where the keyboard goes back to whenever something that took it closes: a popover, a menu,
    a file chooser, a plug-in's window. The main content registers itself as the home, so that
    the letters play, the arrows step through the patches and Escape does its job again without
    a click in the window.

    Nothing is taken from a text field or another popover that has the keyboard by then, and
    nothing is taken from another program: the keyboard only comes home when what had it was
    ours.

    Message thread only.
*/
class KeyboardHome
{
public:
    /** The component that takes the keyboard back; nothing: none (it is going, and must say
        so before it goes). */
    static void set(juce::Component* home);

    /** When `transient` goes (deleted or hidden), the keyboard comes home. */
    static void returnWhenGone(juce::Component& transient);

    /** Brings the keyboard home shortly, once whatever closes has gone. */
    static void returnSoon();
};

} // namespace norvane
