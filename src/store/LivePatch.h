#pragma once

#include "catalog/PluginRef.h"

#include <juce_core/juce_core.h>

#include <optional>
#include <string>
#include <vector>

namespace norvane
{

class AudioEngine;
class DronePadController;
class SoundLayer;

/** A complete, named snapshot of the playing set-up: the master volume, the four playing
    layers (plug-ins and their states included) and the drone pad. Captured from the engine,
    stored as JSON, applied back on recall.

    Capture and apply run on the message thread; the value types themselves are plain data.
*/
struct LivePatch
{
    struct LayerSnapshot
    {
        bool isEnabled = false;
        int categoryRawValue = 0;
        int variantIndex = 0;
        double volume = 0.0, eqLowGain = 0.0, eqMidGain = 0.0, eqHighGain = 0.0,
               compressionAmount = 0.0, reverbAmount = 0.0, reverbDecay = 0.0, attackTime = 0.0,
               releaseTime = 0.0;
        // Absent in older documents; applied as 0, 127, 0, 0, 0, linear, 0.
        std::optional<int> lowKey, highKey;
        std::optional<double> damperAmount;
        std::optional<int> transposeSemitones, octaveShift;
        std::optional<std::string> velocityCurve;
        std::optional<int> crossfadeSemitones;
        std::optional<PluginRef> instrumentPlugin, effectPlugin;
        std::optional<juce::MemoryBlock> instrumentPluginState, effectPluginState;

        bool operator==(const LayerSnapshot&) const = default;

        static LayerSnapshot capture(SoundLayer& layer);

        /** Writes everything but the plug-ins into the layer, in an order where no setting
            undoes an earlier one: the category first (it resets the sound), enabled last. */
        void apply(SoundLayer& layer) const;

        juce::var toJson() const;
        static std::optional<LayerSnapshot> fromJson(const juce::var& json);
    };

    struct DroneSnapshot
    {
        bool isEnabled = false;
        int rootPitchClass = 0;
        int octave = 2;
        int variantIndex = 0;
        double volume = 0.0, reverbAmount = 0.0, reverbDecay = 0.0;
        std::optional<double> shimmer, brightness; // absent: 0 and 0.5

        bool operator==(const DroneSnapshot&) const = default;

        static DroneSnapshot capture(DronePadController& drone);

        /** The drone layer's sound first, then shimmer, brightness, octave, key, on/off, and
            finally the notes, started once the sound has loaded. */
        void apply(DronePadController& drone) const;

        juce::var toJson() const;
        static std::optional<DroneSnapshot> fromJson(const juce::var& json);
    };

    juce::Uuid id;
    std::string name;
    double masterVolume = 0.85;
    std::vector<LayerSnapshot> layers;
    DroneSnapshot drone;

    bool operator==(const LivePatch&) const = default;

    /** The set-up as it is now, under a new id (or the one given, when overwriting). */
    static LivePatch capture(AudioEngine& engine, DronePadController& drone, std::string name,
                             std::optional<juce::Uuid> id = std::nullopt);

    /** Master volume, the layers it holds (up to four, plug-ins included), then the drone. */
    void apply(AudioEngine& engine, DronePadController& drone) const;

    juce::var toJson() const;
    static std::optional<LivePatch> fromJson(const juce::var& json);

    /** Compact JSON text; and back, nothing when the text is not a whole patch. */
    std::string encode() const;
    static std::optional<LivePatch> decode(const std::string& text);

    /** A list of patches as one JSON array; all or nothing. */
    static std::string encodeList(const std::vector<LivePatch>& patches);
    static std::optional<std::vector<LivePatch>> decodeList(const std::string& text);

    /** The upper-case 8-4-4-4-12 text of an id. */
    static std::string idText(const juce::Uuid& id);
};

} // namespace norvane
