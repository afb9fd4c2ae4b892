#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <vector>

namespace norvane
{

/** Every plug-in format this program hosts (LV2 and VST3). */
void addHostedFormats(juce::AudioPluginFormatManager& formats);

/** Finds the installed plug-ins of every hosted format in their standard locations.

    Looking inside a plug-in means loading its code, and a broken plug-in may crash or hang
    while it is examined. So the examining happens in a child process, the scanner program:
    it reports each plug-in as it goes, and a child that dies or stops making progress for
    `stallSeconds` is killed; the plug-in it was examining is skipped and a new child goes on
    with the rest. Without the scanner program the plug-ins are examined in this process.

    Message thread (it waits for the child).
*/
class PluginScanner
{
public:
    explicit PluginScanner(juce::File scannerProgram, double stallSeconds = 20.0);

    /** The scanner program beside this executable, or named by NORVANE_PLUGIN_SCANNER. */
    static juce::File defaultProgram();

    std::vector<juce::PluginDescription> scan();

    /** What the last scan skipped: "FORMAT identifier" of each plug-in that failed. */
    const juce::StringArray& skipped() const { return failures; }

    /** The scanner program's side: examines each identifier of `format` and appends to
        `output`, one line per plug-in found ("INDEX<tab>XML") and one when an identifier is
        done ("INDEX<tab>done"). Returns the exit code. */
    static int runChild(const juce::File& output, const juce::String& format,
                        const juce::StringArray& identifiers);

private:
    void scanFormat(juce::AudioPluginFormat& format, std::vector<juce::PluginDescription>& found);
    void examineInProcess(juce::AudioPluginFormat& format, const juce::StringArray& identifiers,
                          std::vector<juce::PluginDescription>& found);

    juce::File program;
    double stallSeconds;
    juce::StringArray failures;
};

} // namespace norvane
