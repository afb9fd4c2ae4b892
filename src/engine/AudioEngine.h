#pragma once

#include "core/Observable.h"
#include "core/Scheduler.h"
#include "engine/AudioHost.h"
#include "engine/SoundLayer.h"

#include <memory>
#include <optional>
#include <string>

namespace norvane
{

/** Owns the audio graph and the five layers, and fans each performed note out to the four
    playing layers in the order A, B, C, D. The drone layer is played by the drone pad only.

    Message thread only.
*/
class AudioEngine final : public ObservableObject
{
public:
    struct Options
    {
        /** Play through the system's output device; otherwise the graph is only rendered
            by whoever calls host().render(). */
        bool useAudioDevice = false;
        /** The rate used offline, and until a device says otherwise. */
        double sampleRate = 48000.0;
        /** The graph's block: the granularity at which notes take effect offline. */
        int maximumBlockSize = 128;
        /** The shared General MIDI bank; empty = look it up (see resolveSoundBank()). */
        std::string soundBankPath;
    };

    AudioEngine(Scheduler& scheduler, Options options);
    ~AudioEngine() override;

    Published<std::optional<std::string>> loadError{*this, std::nullopt};
    Published<double> masterVolume{*this, 0.85}; ///< 0…1 linear, applied to the main mixer

    // ---- Note fan-out --------------------------------------------------------------------
    void noteOn(int note, int velocity);
    void noteOff(int note);
    /** Silences every pitch of the four playing layers. The drone keeps sounding. */
    void panic();
    /** 14-bit bend, clamped to 0…16383, sent to all four layers, enabled or not. */
    void pitchBend(int value);
    /** Plays the pedal's damper noise on the enabled layers; instruments get nothing. */
    void sustainPedal(bool down);

    // ---- Layers --------------------------------------------------------------------------
    SoundLayer& layerA() { return *layers[0]; }
    SoundLayer& layerB() { return *layers[1]; }
    SoundLayer& layerC() { return *layers[2]; }
    SoundLayer& layerD() { return *layers[3]; }
    SoundLayer& dronePad() { return *drone; }

    /** The four playing layers, A to D. */
    std::array<SoundLayer*, 4> playingLayers()
    {
        return {layers[0].get(), layers[1].get(), layers[2].get(), layers[3].get()};
    }

    /** The layer for "A"…"D" or "Drone", or nullptr. */
    SoundLayer* layer(std::string_view slot);

    const std::string& soundBankPath() const { return bankPath; }

    AudioHost& host() { return *audioHost; }
    Scheduler& scheduler() { return clock; }

    /** The General MIDI bank to use when none is given: the user's "SoundFont.sf2" in the
        application folder if it exists, else the first system bank found; empty if none. */
    static std::string resolveSoundBank();

    /** The system's General MIDI banks, in order of preference. */
    static std::vector<std::string> systemBankCandidates();

private:
    Scheduler& clock;
    std::string bankPath;
    std::unique_ptr<AudioHost> audioHost;
    std::array<std::unique_ptr<SoundLayer>, 4> layers;
    std::unique_ptr<SoundLayer> drone;
};

} // namespace norvane
