#pragma once

#include <juce_core/juce_core.h>

namespace norvane
{

/** The per-user application folder, where every file of the program lives:
    $XDG_DATA_HOME/Norvane, or ~/.local/share/Norvane. Safe from any thread. */
struct AppData
{
    static juce::File directory();

    /** A file inside the application folder (the folder is not created). */
    static juce::File file(const juce::String& name) { return directory().getChildFile(name); }
};

} // namespace norvane
