#pragma once

#include "app/AppState.h"
#include "input/MidiSystem.h"

namespace norvane::cli
{

/** One MIDI source, "Feeder", whose bytes a thread of the tool's own delivers. */
class FeederMidi final : public MidiSystem
{
public:
    int createClient() override { return 0; }
    int openVirtualPort(const std::string&, BytesCallback) override { return 0; }
    std::vector<MidiEndpoint> sources() override { return {{"feeder", "Feeder"}}; }
    int connect(const std::string&, BytesCallback c) override
    {
        callback = std::move(c);
        return 0;
    }
    void disconnect() override {}

    BytesCallback callback; // set on the message thread before the feeder starts
};

/** An application of the tool's own in `folder`, playing through an audio device from `midi`,
    that asks no server for updates. */
inline AppState::Options deviceAppOptions(const juce::File& folder, UserDefaults& defaults,
                                          Localization& localization,
                                          std::unique_ptr<MidiSystem> midi)
{
    AppState::Options options;
    options.midi = std::move(midi);
    options.folder = folder;
    options.defaults = &defaults;
    options.localization = &localization;
    options.updateFeed = juce::URL("http://127.0.0.1:9/version.json");
    options.engine.useAudioDevice = true;
    options.engine.appFolder = folder;
    return options;
}

/** The same, played by a feeder: `feeder` is the MIDI source it plays. */
inline AppState::Options feederAppOptions(const juce::File& folder, UserDefaults& defaults,
                                          Localization& localization, FeederMidi*& feeder)
{
    auto midi = std::make_unique<FeederMidi>();
    feeder = midi.get();
    return deviceAppOptions(folder, defaults, localization, std::move(midi));
}

} // namespace norvane::cli
