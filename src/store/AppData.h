#pragma once

#include <juce_core/juce_core.h>

namespace norvane
{

/** The per-user application folder, where every file of the program lives:
    $XDG_DATA_HOME/Norvane, or ~/.local/share/Norvane. */
struct AppData
{
    /** The folder, located once per run (taking over an older folder on the first run, and
        created if missing). Safe from any thread. */
    static juce::File directory();

    /** A file inside the application folder. */
    static juce::File file(const juce::String& name) { return directory().getChildFile(name); }

    /** Where the per-user data folders are: $XDG_DATA_HOME, or ~/.local/share. */
    static juce::File dataHome();

    /** Locates the folder inside `base`: "Norvane", moving "Keldmoor" (or else "Vantrel") there
        when it does not exist yet, then creating it. Failures are silent; the result is the
        "Norvane" folder whatever happened. */
    static juce::File locate(const juce::File& base);
};

} // namespace norvane
