#pragma once

#include <juce_core/juce_core.h>

namespace norvane::test
{

/** A fresh temporary folder, removed with everything in it afterwards. Its name is unique
    across processes too: tests run side by side, and one must never remove another's. */
struct TempFolder
{
    explicit TempFolder(const char* prefix = "norvane-test")
        : folder(juce::File::getSpecialLocation(juce::File::tempDirectory)
                     .getChildFile(juce::String(prefix) + "-" + juce::Uuid().toString()))
    {
        folder.createDirectory();
    }
    ~TempFolder() { folder.deleteRecursively(); }

    juce::File folder;
};

} // namespace norvane::test
