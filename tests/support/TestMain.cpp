#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

// The tests that need the message loop run it themselves (see support/MessageLoop.h); the
// message manager exists for the whole run, on this thread.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    juce::ScopedJuceInitialiser_GUI juce;
    return RUN_ALL_TESTS();
}
