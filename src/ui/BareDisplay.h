#pragma once

namespace norvane
{

/** Makes an X server without a window manager (a kiosk set-up, a virtual display) safe for
    JUCE's windows.

    JUCE looks up the window-manager atoms (WM_PROTOCOLS and its kin) without creating them,
    and on a server where nobody has created them yet it sends requests naming atom 0, which
    the server answers with an error that ends the program. Creating them first is harmless
    anywhere else. Call before JUCE opens the display; does nothing without a display.
*/
void prepareDisplayWithoutWindowManager();

/** Asks the X server not to send a release before each auto-repeated press on the window's
    connection, so that a held key stays one held key. Call once JUCE has opened the display;
    false where the server cannot (ComputerKeys then tells repeats apart itself). */
bool detectAutoRepeatedKeys();

/** Whether a Super (Windows, Command) key is held now. JUCE's key events leave that modifier
    out, and keys pressed with it belong to the desktop's shortcuts. False without a display. */
bool isSuperKeyDown();

} // namespace norvane
