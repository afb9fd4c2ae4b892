#include "ui/BareDisplay.h"

#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

#include <cstdlib>

// Window tests run on a virtual display that has no window manager.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Plug-ins come from the tests' own folders, never from the machine's.
    setenv("NORVANE_LV2_PATH", NORVANE_TEST_LV2_PATH, 1);
    setenv("NORVANE_VST3_PATH", NORVANE_TEST_VST3_PATH, 1);
    norvane::prepareDisplayWithoutWindowManager();
    juce::ScopedJuceInitialiser_GUI juce;
    return RUN_ALL_TESTS();
}
