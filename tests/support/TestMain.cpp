#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

#include <cstdlib>

// The tests that need the message loop run it themselves (see support/MessageLoop.h); the
// message manager exists for the whole run, on this thread.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
#ifdef NORVANE_TEST_LV2_PATH
    // Plug-ins come from the tests' own folders, never from the machine's (the scanner and the
    // command-line program, run from here, inherit them).
    setenv("NORVANE_LV2_PATH", NORVANE_TEST_LV2_PATH, 1);
    setenv("NORVANE_VST3_PATH", NORVANE_TEST_VST3_PATH, 1);
#endif
    juce::ScopedJuceInitialiser_GUI juce;
    return RUN_ALL_TESTS();
}
