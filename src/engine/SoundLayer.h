#pragma once

#include "catalog/InstrumentCategory.h"
#include "catalog/PluginRef.h"
#include "core/Observable.h"
#include "engine/VelocityCurve.h"
#include "engine/realtime/PerformanceEvents.h"
#include "input/ControlTarget.h"

#include <juce_core/juce_core.h>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace norvane
{

class SamplerNode;
class EqualizerNode;
class CompressorNode;
class ReverbNode;
class PluginInstrumentNode;
class PluginEffectNode;
class LayerProcessor;
class LayerChain;
class LayerSwitcher;
struct ChainSetup;
struct LayerSetup;
class DamperVoices;
class PerformanceRouter;

/** One instrument layer as the rest of the program sees it: its published parameters, and
    what it plays, as the audio side last reported it.

    The layer's sound lives on the audio side, in its LayerProcessor: the note path (range and
    crossfade, transposition, octave, velocity curve, the pitch and velocity started for each
    incoming note, the envelope) and the chain sampler → damper sounds → equaliser →
    compressor → reverb → effect → fader. Every published value is handed there the moment it
    is set; the layer's own note requests (the drone pad's, the tests') travel through the
    performance router like every other note.

    Message thread only.
*/
class SoundLayer final : public ObservableObject
{
public:
    /** `index`: 0–3 for layers A–D, 4 for the drone; how the router knows the layer. The
        switcher prepares its changes of set-up in the processor's chains. */
    SoundLayer(LayerProcessor& processor, LayerSwitcher& switcher, PerformanceRouter& router,
               int index, std::string slot, bool isEnabled, InstrumentCategory category,
               std::string soundBankPath);
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
    Published<int> crossfadeSemitones{*this, 0};                       ///< kept in 0…12
    static constexpr double maximumAttack = 4.0, maximumRelease = 6.0; ///< seconds

    Published<int> lowKey{*this, 0}; ///< inclusive; lowKey <= highKey always
    Published<int> highKey{*this, 127};
    Published<std::optional<std::string>> loadError{*this, std::nullopt};
    /** Blocks a plug-in of this layer was silenced for since the start, because its output
        went non-finite (it is reset each time and plays on). */
    Published<int> silencedPluginBlocks{*this, 0};

    // ---- Plug-ins (loaded and removed by the engine) --------------------------------------
    /** The instrument plug-in playing in the sampler's place. Set while it loads, before
        pluginNode() is. */
    Published<std::optional<PluginRef>> instrumentPlugin{*this, std::nullopt};
    /** The effect plug-in between the reverb and the fader; set while it loads, too. */
    Published<std::optional<PluginRef>> effectPlugin{*this, std::nullopt};

    /** The running plug-ins' nodes, present once loaded and handed to the audio side. */
    PluginInstrumentNode* pluginNode() const;
    PluginEffectNode* effectNode() const;

    /** The state to keep for each plug-in: the running one's; while it loads, or while it is
        not installed (a folder not mounted yet), the state it was asked to start from. */
    std::optional<juce::MemoryBlock> instrumentStateToKeep() const;
    std::optional<juce::MemoryBlock> effectStateToKeep() const;

    // ---- Note path: requests to the audio side -------------------------------------------
    void noteOn(int note, int velocity);
    void noteOff(int note);

    /** Stops every pitch on the instrument, forgets the sounding notes and lets the envelope
        come to rest. */
    void panicStop();

    /** Releases every sounding note that the current range and crossfade no longer cover. */
    void releaseNotesOutsideRange();

    /** The crossfade gain for an incoming note: 1 inside the range, fading to 0 outside. */
    double playGain(int note) const;
    bool isSplit() const { return lowKey.get() > 0 || highKey.get() < 127; }
    bool usesEnvelope() const { return attackTime.get() > 0.0 || releaseTime.get() > 0.0; }

    // ---- What sounds, as last reported by the audio side ---------------------------------
    /** For each incoming note that sounds: the pitch that was started. */
    const std::map<int, int>& soundedNotes() const { return sounded; }
    /** For the same notes: the velocity that was sent. */
    const std::map<int, int>& noteVelocities() const { return velocities; }

    /** Message thread: takes the audio side's latest report (the engine does, after each
        block it learns of). */
    void takeReport(const PlayedState::LayerNotes& notes);

    /** A bound controller moved one of the layer's controls on the audio side to `amount`
        (0…1 of the control's range): the published value follows, and is not written back
        to the chain that plays, which is ahead of it. */
    void followControl(ControlTarget::Kind kind, double amount);

    double envelopeMultiplier() const;
    /** The fader's gain now: volume × envelope. */
    float outputGain() const;

    static constexpr double envelopeTick = 1.0 / 60.0;

    // ---- Sound ---------------------------------------------------------------------------
    SoundVariant currentVariant() const;
    const std::string& soundBankPath() const { return bankPath; }
    void setSoundBankPath(std::string path) { bankPath = std::move(path); }

    /** Asks for the current variant again (in the background, switched in when ready): a file
        changed on disk or one that failed before is loaded anew; loadError follows once it
        has loaded. */
    void loadInstrument();

    /** Loads the current variant at once, on this thread, into the chain playing now: only
        while nothing plays yet (the engine's start). Sets or clears loadError. */
    void loadInstrumentNow();

    /** Pushes the compression settings: threshold −24 dB, head-room (1 − amount) × 40 dB. */
    void applyCompression();

    /** Pushes the eight reverb values made of reverbAmount and reverbDecay. */
    void applyReverb();

    /** Sets the three equaliser bands to the layer's gains. */
    void configureEQBands();

    // ---- Changes of set-up ---------------------------------------------------------------
    /** Between beginChange() and commitChange(), settings are gathered, not applied: the
        playing chain keeps its set-up for the notes it holds, and the whole new one is asked
        of the switcher at the commit. Nested calls commit with the outermost. */
    void beginChange();
    void commitChange();
    bool isGatheringChange() const;
    /** True while a prepared set-up waits to take over (its sound still loading). */
    bool isSwitchPending() const;

    /** Asks for the set-up as published now (the switcher keeps the sound in place when it
        can). */
    void requestSetup();

    /** Called once a prepared set-up has taken over on the audio side, or a change was
        applied in place. */
    CallbackList<>& switched;

    /** The whole set-up as published. */
    LayerSetup setup() const;
    ChainSetup chainSetup() const;

    // ---- The audio side ------------------------------------------------------------------
    LayerProcessor& processor() { return audio; }
    /** The chain that plays new notes now; its nodes take the parameters. */
    LayerChain& chain();
    /** The chain that will play the next notes: the one being prepared, else the live one. */
    LayerChain& frontChain();
    SamplerNode& sampler();
    EqualizerNode& eq();
    CompressorNode& compressor();
    ReverbNode& reverb();
    /** The damper voices of the live chain (audio side: read only while nothing renders). */
    DamperVoices& damper();
    bool hasDamperStage() const;

    LayerSwitcher& switcher() { return switching; }

private:
    void post(PerformanceEvent event);
    void installChangeHandlers();
    /** Applies an edit to the chains that play now and next; gathered changes wait. */
    void edit(const std::function<void(LayerChain&)>& change);
    void soundChanged();

    bool followingAudio = false; // followControl(): the live chain has the value already

    LayerProcessor& audio;
    LayerSwitcher& switching;
    PerformanceRouter& router;
    const int index;
    std::string bankPath;

    std::map<int, int> sounded;
    std::map<int, int> velocities;
};

} // namespace norvane
