#pragma once

#include "catalog/InstrumentCategory.h"
#include "catalog/PluginRef.h"
#include "core/Observable.h"
#include "core/Scheduler.h"
#include "engine/AudioHost.h"
#include "engine/DamperResonance.h"
#include "engine/InstrumentNode.h"
#include "engine/VelocityCurve.h"

#include <juce_core/juce_core.h>

#include <map>
#include <memory>
#include <optional>
#include <string>

namespace norvane
{

class SamplerNode;
class MixerNode;
class EqualizerNode;
class CompressorNode;
class ReverbNode;
class PluginInstrumentNode;
class PluginEffectNode;

/** One instrument layer: its published parameters, its nodes and its note state.

    Its chain: sampler → (damper input mixer) → equaliser → compressor → reverb → fader. The
    layer attaches its nodes; the engine connects them, since only it knows whether the layer
    has a damper stage.

    A layer decides by itself whether and how it plays an incoming note (enabled, key range and
    crossfade, transposition, octave, velocity curve) and remembers the pitch and velocity it
    started for each incoming note, so that a note-off stops exactly what was started, whatever
    changed in between.

    Message thread only.
*/
class SoundLayer final : public ObservableObject
{
public:
    SoundLayer(AudioHost& host, Scheduler& scheduler, std::string slot, bool isEnabled,
               InstrumentCategory category, std::string soundBankPath);
    ~SoundLayer() override;

    // ---- Identity ------------------------------------------------------------------------
    const juce::Uuid id;
    const std::string slot; ///< "A", "B", "C", "D" or "Drone"

    /** "Capa A" / "Layer A"; "Drone Pad" for the drone layer in both languages. */
    std::string displayLabel(AppLanguage language) const;

    // ---- Published parameters ------------------------------------------------------------
    Published<bool> isEnabled;
    Published<InstrumentCategory> category;
    Published<int> variantIndex{*this, 0};
    Published<double> volume{*this, 0.85};           ///< fader, 0…1 linear
    Published<double> eqLowGain{*this, 0.0};         ///< dB, low shelf at 150 Hz
    Published<double> eqMidGain{*this, 0.0};         ///< dB, peak at 1200 Hz
    Published<double> eqHighGain{*this, 0.0};        ///< dB, high shelf at 6500 Hz
    Published<double> compressionAmount{*this, 0.0}; ///< 0…1
    Published<double> reverbAmount{*this, 0.0};      ///< 0…1 wet share
    Published<double> reverbDecay{*this, 0.4};       ///< 0…1 size and length
    Published<double> attackTime{*this, 0.0};        ///< seconds
    Published<double> releaseTime{*this, 0.0};       ///< seconds
    Published<double> damperAmount{*this, 0.0};      ///< 0…1
    Published<int> transposeSemitones{*this, 0};     ///< kept in −12…12
    Published<int> octaveShift{*this, 0};            ///< kept in −2…2
    Published<VelocityCurve> velocityCurve{*this, VelocityCurve::linear};
    Published<int> crossfadeSemitones{*this, 0}; ///< kept in 0…12
    Published<int> lowKey{*this, 0};             ///< inclusive; lowKey <= highKey always
    Published<int> highKey{*this, 127};
    Published<std::optional<std::string>> loadError{*this, std::nullopt};

    // ---- Plug-ins (loaded and removed by the engine) --------------------------------------
    /** The instrument plug-in playing in the sampler's place. Set while it loads, before
        pluginNode() is. */
    Published<std::optional<PluginRef>> instrumentPlugin{*this, std::nullopt};
    /** The effect plug-in between the reverb and the fader; set while it loads, too. */
    Published<std::optional<PluginRef>> effectPlugin{*this, std::nullopt};

    /** The running plug-ins' nodes, present only while attached and connected. */
    PluginInstrumentNode* pluginNode() const { return pluginInstrument; }
    PluginEffectNode* effectNode() const { return pluginEffect; }
    AudioHost::NodeID pluginNodeID() const { return pluginInstrumentID; }
    AudioHost::NodeID effectNodeID() const { return pluginEffectID; }
    void setPluginNode(PluginInstrumentNode* node, AudioHost::NodeID nodeID);
    void setEffectNode(PluginEffectNode* node, AudioHost::NodeID nodeID);

    // ---- Note path -----------------------------------------------------------------------
    void noteOn(int note, int velocity);
    void noteOff(int note);

    /** Stops every pitch on the instrument, forgets the sounding notes and lets the envelope
        come to rest. */
    void panicStop();

    /** Releases every sounding note that the current range and crossfade no longer cover. */
    void releaseNotesOutsideRange();

    /** Sends a 14-bit pitch bend (clamped to 0…16383) to the instrument. */
    void sendPitchBend(int value);

    /** The crossfade gain for an incoming note: 1 inside the range, fading to 0 outside. */
    double playGain(int note) const;
    bool isSplit() const { return lowKey.get() > 0 || highKey.get() < 127; }
    bool usesEnvelope() const { return attackTime.get() > 0.0 || releaseTime.get() > 0.0; }

    /** For each incoming note that sounds: the pitch that was started. */
    const std::map<int, int>& soundedNotes() const { return sounded; }
    /** For the same notes: the velocity that was sent. */
    const std::map<int, int>& noteVelocities() const { return velocities; }

    double envelopeMultiplier() const { return envelope; }

    /** Advances a running envelope ramp by one step; the ramp's timer calls it every 1/60 s. */
    void tickEnvelope();

    static constexpr double envelopeTick = 1.0 / 60.0;

    // ---- Sound ---------------------------------------------------------------------------
    SoundVariant currentVariant() const;
    const std::string& soundBankPath() const { return bankPath; }
    void setSoundBankPath(std::string path) { bankPath = std::move(path); }

    /** Loads the current variant into the sampler; sets or clears loadError. */
    void loadInstrument();

    /** Pushes the compression settings: threshold −24 dB, head-room (1 − amount) × 40 dB. */
    void applyCompression();

    /** Pushes the eight reverb values made of reverbAmount and reverbDecay. */
    void applyReverb();

    /** Sets the three equaliser bands to the layer's gains. */
    void configureEQBands();

    /** The damper voices of this layer (attached by the engine for the playing layers). */
    DamperResonance damper;

    // ---- Nodes ---------------------------------------------------------------------------
    AudioHost::NodeID samplerID() const { return samplerNodeID; }
    AudioHost::NodeID eqID() const { return eqNodeID; }
    AudioHost::NodeID compressorID() const { return compressorNodeID; }
    AudioHost::NodeID reverbID() const { return reverbNodeID; }
    AudioHost::NodeID mixerID() const { return mixerNodeID; }
    SamplerNode& sampler() { return *samplerNode; }
    EqualizerNode& eq() { return *eqNode; }
    CompressorNode& compressor() { return *compressorNode; }
    ReverbNode& reverb() { return *reverbNode; }
    MixerNode& mixer() { return *mixerNode; }

    /** Every instruction sent to the instrument, as it is queued. For observers that need to
        know exactly what sounds (tests, diagnostics). */
    CallbackList<const NoteCommand&> instrumentCommands;

private:
    InstrumentNode& instrument();
    void send(const NoteCommand& command);
    void rampEnvelope(double target, double duration);
    void applyEnvelopeRestLevel();
    void applyMixerVolume();
    void installChangeHandlers();

    AudioHost& host;
    Scheduler& scheduler;
    std::string bankPath;

    AudioHost::NodeID samplerNodeID, eqNodeID, compressorNodeID, reverbNodeID, mixerNodeID;
    SamplerNode* samplerNode = nullptr;
    EqualizerNode* eqNode = nullptr;
    CompressorNode* compressorNode = nullptr;
    ReverbNode* reverbNode = nullptr;
    MixerNode* mixerNode = nullptr;
    PluginInstrumentNode* pluginInstrument = nullptr;
    PluginEffectNode* pluginEffect = nullptr;
    AudioHost::NodeID pluginInstrumentID, pluginEffectID;

    std::map<int, int> sounded;
    std::map<int, int> velocities;
    double envelope = 1.0;
    double envelopeTarget = 1.0;
    double envelopeStep = 0.0;
    std::unique_ptr<TimerHandle> envelopeTimer;
};

} // namespace norvane
