#include "store/LivePatch.h"

#include "aids/DronePadController.h"
#include "core/MessageThread.h"
#include "engine/AudioEngine.h"
#include "engine/LayerSwitcher.h"
#include "engine/PluginNode.h"

namespace norvane
{

// ---- Layer ------------------------------------------------------------------------------

LivePatch::LayerSnapshot LivePatch::LayerSnapshot::capture(SoundLayer& l)
{
    LayerSnapshot s;
    s.isEnabled = l.isEnabled;
    s.categoryRawValue = static_cast<int>(l.category.get());
    s.variantIndex = l.variantIndex;
    s.volume = l.volume;
    s.eqLowGain = l.eqLowGain;
    s.eqMidGain = l.eqMidGain;
    s.eqHighGain = l.eqHighGain;
    s.compressionAmount = l.compressionAmount;
    s.reverbAmount = l.reverbAmount;
    s.reverbDecay = l.reverbDecay;
    s.attackTime = l.attackTime;
    s.releaseTime = l.releaseTime;
    s.lowKey = l.lowKey.get();
    s.highKey = l.highKey.get();
    s.damperAmount = l.damperAmount.get();
    s.transposeSemitones = l.transposeSemitones.get();
    s.octaveShift = l.octaveShift.get();
    s.velocityCurve = std::string(rawValue(l.velocityCurve.get()));
    s.crossfadeSemitones = l.crossfadeSemitones.get();
    s.instrumentPlugin = l.instrumentPlugin.get();
    s.effectPlugin = l.effectPlugin.get();
    s.instrumentPluginState = l.instrumentStateToKeep();
    s.effectPluginState = l.effectStateToKeep();
    return s;
}

void LivePatch::LayerSnapshot::apply(SoundLayer& l) const
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    // The category first: changing it resets the sound to the category's first.
    if (const auto category = instrumentCategoryFromRaw(categoryRawValue))
        l.category = *category;
    l.variantIndex = variantIndex;
    l.volume = volume;
    l.eqLowGain = eqLowGain;
    l.eqMidGain = eqMidGain;
    l.eqHighGain = eqHighGain;
    l.compressionAmount = compressionAmount;
    l.reverbAmount = reverbAmount;
    l.reverbDecay = reverbDecay;
    l.attackTime = attackTime;
    l.releaseTime = releaseTime;
    l.lowKey = lowKey.value_or(0); // pushes highKey up when needed; highKey then settles it
    l.highKey = highKey.value_or(127);
    l.damperAmount = damperAmount.value_or(0.0);
    l.transposeSemitones = transposeSemitones.value_or(0);
    l.octaveShift = octaveShift.value_or(0);
    l.velocityCurve =
        velocityCurveFromRaw(velocityCurve.value_or("linear")).value_or(VelocityCurve::linear);
    l.crossfadeSemitones = crossfadeSemitones.value_or(0);
    l.isEnabled = isEnabled;
}

// ---- Drone ------------------------------------------------------------------------------

LivePatch::DroneSnapshot LivePatch::DroneSnapshot::capture(DronePadController& d)
{
    auto& layer = d.layer();
    DroneSnapshot s;
    s.isEnabled = d.isEnabled;
    s.rootPitchClass = d.rootPitchClass;
    s.octave = d.octave;
    s.variantIndex = layer.variantIndex;
    s.volume = layer.volume;
    s.reverbAmount = layer.reverbAmount;
    s.reverbDecay = layer.reverbDecay;
    s.shimmer = d.shimmer.get();
    s.brightness = d.brightness.get();
    return s;
}

void LivePatch::DroneSnapshot::apply(DronePadController& d) const
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    auto& layer = d.layer();
    const auto soundBefore = layer.setup().sound;
    layer.variantIndex = variantIndex;
    layer.volume = volume;
    layer.reverbAmount = reverbAmount;
    layer.reverbDecay = reverbDecay;
    d.shimmer = shimmer.value_or(0.0);
    d.brightness = brightness.value_or(0.5);
    d.octave = octave; // kept within 0…6 by the controller
    d.rootPitchClass = rootPitchClass;
    d.isEnabled = isEnabled;
    d.updatePlaybackAfterRecall(!layer.setup().sound.sameSound(soundBefore));
}

// ---- Patch ------------------------------------------------------------------------------

LivePatch LivePatch::capture(AudioEngine& engine, DronePadController& drone, std::string name,
                             std::optional<juce::Uuid> id)
{
    LivePatch p;
    p.id = id.value_or(juce::Uuid());
    p.name = std::move(name);
    p.masterVolume = engine.masterVolume;
    for (auto* layer : engine.playingLayers())
        p.layers.push_back(LayerSnapshot::capture(*layer));
    p.drone = DroneSnapshot::capture(drone);
    return p;
}

void LivePatch::apply(AudioEngine& engine, DronePadController& drone) const
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    engine.masterVolume = masterVolume;
    const auto targets = engine.playingLayers();
    for (size_t i = 0; i < std::min(layers.size(), targets.size()); ++i)
    {
        // Gathered, then prepared whole in another chain: the notes held now play on with
        // the set-up they started with.
        const auto& snapshot = layers[i];
        engine.beginChange(*targets[i]);
        snapshot.apply(*targets[i]);
        engine.loadInstrumentPlugin(snapshot.instrumentPlugin, snapshot.instrumentPluginState,
                                    *targets[i]);
        engine.loadEffectPlugin(snapshot.effectPlugin, snapshot.effectPluginState, *targets[i]);
        engine.commitChange(*targets[i]);
    }
    engine.beginChange(drone.layer());
    this->drone.apply(drone);
    engine.commitChange(drone.layer());
}

} // namespace norvane
