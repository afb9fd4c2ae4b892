#pragma once

#include "input/KeyEvent.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <map>

namespace norvane
{

class ComputerKeyboardManager;

/** Turns the window's key presses and releases into the computer keyboard's events.

    JUCE reports a press (again while the key repeats) and only a change of "some key's state"
    for releases, so the keys pressed are remembered here: a press of a key already down is a
    repeat, and a key of the list that is no longer down was released.

    An X server that cannot leave auto-repeat's releases out sends a release before every
    repeated press. With `repeatWindowMs` set, a release waits that long for such a press:
    one that comes makes it a repeat, so a held key keeps sounding one note.

    Message thread only.
*/
class ComputerKeys : private juce::Timer
{
public:
    explicit ComputerKeys(ComputerKeyboardManager& manager);

    /** Whether a text entry has the keyboard focus; by default, whether the focused component
        is a juce::TextEditor. */
    std::function<bool()> textFieldHasFocus;
    /** Whether a key is still held; by default asks the keyboard. */
    std::function<bool(int keyCode)> isKeyDown;
    /** Whether the Super key is held, which JUCE does not report; by default asks the X server. */
    std::function<bool()> isSuperDown;
    /** How long a release waits for a repeated press of its key (0: releases are sent at once). */
    int repeatWindowMs = defaultRepeatWindowMs;
    /** The window of new instances: set once at the start, from what the X server can do. */
    static inline int defaultRepeatWindowMs = 0;

    /** True when the press was used. */
    bool keyPressed(const juce::KeyPress& key);
    /** Sends the releases of the keys that are no longer down; true when any was used. */
    bool keyStateChanged();
    /** Forgets every key and releases their notes (the window lost the focus). */
    void releaseAll();

private:
    struct Release
    {
        char32_t character = 0;
        double at = 0.0; // ms
    };

    KeyEvent eventFor(char32_t character, juce::ModifierKeys modifiers) const;
    bool release(char32_t character);
    void timerCallback() override;

    ComputerKeyboardManager& manager;
    std::map<int, char32_t> down; ///< key code → lower-case character, for the keys held
    std::map<int, Release> releasing; ///< key code → a release waiting out the repeat window
};

} // namespace norvane
