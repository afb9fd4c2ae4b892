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

} // namespace norvane
