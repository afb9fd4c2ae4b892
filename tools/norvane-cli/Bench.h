#pragma once

#include <juce_core/juce_core.h>

namespace norvane::cli
{

/** Renders a performance through the full engine and through bare synthesizers, and prints
    how they compare. Returns the process exit code. */
int bench(const juce::File& midiFile);

} // namespace norvane::cli
