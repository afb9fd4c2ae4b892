#pragma once

#include <juce_core/juce_core.h>

namespace norvane::cli
{

/** Renders a performance through the full engine and through bare synthesizers, in `rounds`
    interleaved rounds of each, and prints how they compare: the median ratio of their times
    and its spread, and the engine's block times. Returns the process exit code. */
int bench(const juce::File& midiFile, int rounds = 5);

} // namespace norvane::cli
