// norvane-plugin-scan OUTPUT FORMAT IDENTIFIER…
//
// Examines plug-ins on behalf of the application, so that one that crashes or hangs while it
// is loaded takes only this process down. Appends what it finds to OUTPUT as it goes; see
// PluginScanner::runChild.

#include "catalog/PluginScanner.h"

#include <juce_events/juce_events.h>

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    juce::ScopedJuceInitialiser_GUI juceInitialiser;
    juce::StringArray identifiers;
    for (int i = 3; i < argc; ++i)
        identifiers.add(juce::String::fromUTF8(argv[i]));
    return norvane::PluginScanner::runChild(juce::File(juce::String::fromUTF8(argv[1])),
                                            juce::String::fromUTF8(argv[2]), identifiers);
}
