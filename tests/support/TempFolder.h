#pragma once

#include <juce_core/juce_core.h>

namespace norvane::test
{

/** A fresh temporary folder, removed with everything in it afterwards. */
struct TempFolder
{
    explicit TempFolder(const char* prefix = "norvane-test")
        : folder(juce::File::getSpecialLocation(juce::File::tempDirectory)
                     .getNonexistentChildFile(prefix, ""))
    {
        folder.createDirectory();
    }
    ~TempFolder() { folder.deleteRecursively(); }

    juce::File folder;
};

} // namespace norvane::test
