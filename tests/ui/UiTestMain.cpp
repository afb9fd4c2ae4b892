#include "ui/BareDisplay.h"

#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

// Window tests run on a virtual display that has no window manager.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    norvane::prepareDisplayWithoutWindowManager();
    juce::ScopedJuceInitialiser_GUI juce;
    return RUN_ALL_TESTS();
}
