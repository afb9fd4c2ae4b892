#pragma once

#include <juce_core/juce_core.h>

namespace norvane
{

/** JACK shows the toolkit's output ports as "out_1", "out_2". This gives this process's
    output ports the names of what they carry ("master_left", "master_right", in channel
    order), so that a patchbay tells them apart from other programs' outputs.

    Message thread, after the JACK device has opened; the ports keep playing while renamed.
    Returns how many ports it renamed: 0 with no JACK server, or when they are named already. */
int nameJackOutputs(const juce::StringArray& names = {"master_left", "master_right"});

} // namespace norvane
