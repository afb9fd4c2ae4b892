#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <functional>
#include <vector>

namespace norvane
{

/** How far a scan has come: plug-in files examined of all that were found, and the name of
    the one being examined. */
struct ScanProgress
{
    int done = 0;
    int total = 0;
    juce::String current;

    bool operator==(const ScanProgress&) const = default;
};

/** What a scan tells as it goes and what it asks of its caller, both on the scan's thread. */
struct ScanFeedback
{
    std::function<void(const ScanProgress&)> progress;
    std::function<bool()> cancelled; // true: stop at once, killing a child that runs
};

/** Every plug-in format this program hosts (LV2 and VST3), able to make every plug-in of the
    places below. */
void addHostedFormats(juce::AudioPluginFormatManager& formats);

/** Where a format's plug-ins are looked for: the folders of NORVANE_LV2_PATH or
    NORVANE_VST3_PATH (separated by ':') when set, else the format's standard places. */
juce::FileSearchPath pluginPlaces(juce::AudioPluginFormat& format);

/** Finds the installed plug-ins of every hosted format in their standard locations.

    Looking inside a plug-in means loading its code, and a broken plug-in may crash or hang
    while it is examined. So the examining happens in a child process, the scanner program:
    it reports each plug-in as it goes, and a child that dies or stops making progress for
    `stallSeconds` is killed; the plug-in it was examining is skipped and a new child goes on
    with the rest. Without the scanner program the plug-ins are examined in this process.

    Any thread; scan() waits for the child, so the program runs it on a thread of its own
    (see PluginLibrary).
*/
class PluginScanner
{
public:
    explicit PluginScanner(juce::File scannerProgram, double stallSeconds = 20.0);

    /** The scanner program beside this executable, or named by NORVANE_PLUGIN_SCANNER. */
    static juce::File defaultProgram();

    std::vector<juce::PluginDescription> scan(const ScanFeedback& feedback = {});

    /** The short name shown for an identifier: a file's name, or an LV2 URI's last part. */
    static juce::String displayName(const juce::String& identifier);

    /** What the last scan skipped: "FORMAT identifier" of each plug-in that failed. */
    const juce::StringArray& skipped() const { return failures; }

    /** The scanner program's side: examines each identifier of `format` and appends to
        `output`, one line per plug-in found ("INDEX<tab>XML") and one when an identifier is
        done ("INDEX<tab>done"). Returns the exit code. */
    static int runChild(const juce::File& output, const juce::String& format,
                        const juce::StringArray& identifiers);

private:
    /** One format's share of a scan: where its files start in the count of all. */
    struct Pass
    {
        const ScanFeedback& feedback;
        int before = 0;
        int total = 0;

        void report(int done, const juce::String& current) const;
        bool cancelled() const { return feedback.cancelled && feedback.cancelled(); }
    };

    void scanFormat(juce::AudioPluginFormat& format, juce::StringArray identifiers,
                    const Pass& pass, std::vector<juce::PluginDescription>& found);
    void examineInProcess(juce::AudioPluginFormat& format, const juce::StringArray& identifiers,
                          const Pass& pass, int examined,
                          std::vector<juce::PluginDescription>& found);

    juce::File program;
    double stallSeconds;
    juce::StringArray failures;
};

} // namespace norvane
