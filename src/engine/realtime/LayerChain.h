#pragma once

#include "core/SpscFifo.h"
#include "engine/InstrumentNode.h"
#include "engine/realtime/DamperVoices.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

namespace norvane
{

class SamplerNode;
class EqualizerNode;
class CompressorNode;
class ReverbNode;
class PluginInstrumentNode;
class PluginEffectNode;

/** What one chain reads on the audio side to route and shape notes: written by the message
    thread, one atomic per value, read at the moment a note needs it. */
struct ChainSettings
{
    std::atomic<bool> enabled{false};
    std::atomic<int> lowKey{0}, highKey{127}, crossfade{0}, transpose{0}, octave{0};
    std::atomic<int> velocityCurve{0}; ///< a VelocityCurve
    std::atomic<float> damperAmount{0.0f}, attackTime{0.0f}, releaseTime{0.0f};
    std::atomic<float> volume{0.85f};

    /** The crossfade gain of an incoming note: 1 inside the range, fading to 0 outside. */
    double playGain(int note) const noexcept;
    bool usesEnvelope() const noexcept
    {
        return attackTime.load() > 0.0f || releaseTime.load() > 0.0f;
    }

    /** Message thread: takes over every value of `other`. */
    void copyFrom(const ChainSettings& other) noexcept;
};

/** Where a chain stands in its layer's switching from one set-up to the next:
    idle → preparing (the message thread fills it in, the loader loads its sound) → ready →
    live (it takes the new notes) → ringing (another has taken over; the notes it holds play
    on) → idle once it has fallen silent. An evicted chain fades out at once. */
enum class ChainState : std::uint8_t
{
    idle,
    preparing,
    ready,
    live,
    ringing,
    evicting
};

/** One complete signal chain of a layer: its instrument (the built-in sampler, or a hosted
    plug-in in its place), damper sounds, equaliser, compressor, reverb, an optional effect
    plug-in and the fader. It renders as plain code inside the layer's graph node, so that
    plug-ins come and go without the graph changing.

    Parameters are set from the message thread through the nodes' atomics and `settings`;
    plug-ins are offered from the message thread and taken up by the audio thread at the start
    of a block; everything else is the audio thread's.
*/
class LayerChain
{
public:
    /** `sampleRate`: the rate the sampler builds its first sounds at, until prepare(). */
    LayerChain(bool withDamper, double sampleRate);
    ~LayerChain();

    LayerChain(const LayerChain&) = delete;
    LayerChain& operator=(const LayerChain&) = delete;

    ChainSettings settings;

    // ---- Switching: the state, a generation and the parts still loading, in one word -------
    ChainState state() const noexcept { return unpack(switching.load()).state; }
    std::uint32_t generation() const noexcept { return unpack(switching.load()).generation; }

    /** Message thread: starts preparing from idle, or starts over while preparing or ready,
        under a new generation with one part outstanding (the caller's own, given back with
        partDone() once it has asked for everything). Nothing when the chain is not free. */
    std::optional<std::uint32_t> beginPreparing() noexcept;
    /** Message thread, while preparing: one more part to wait for. */
    bool addPart(std::uint32_t generation) noexcept;
    /** Any thread: one part of `generation` is done; the last makes the chain ready. False
        when that generation is over. */
    bool partDone(std::uint32_t generation) noexcept;
    /** Message thread: gives a chain that was never switched to back (preparing or ready). */
    bool cancelPreparing(std::uint32_t generation) noexcept;
    /** Message thread: asks a ringing chain to let go of its notes and fade out now. */
    bool requestEviction() noexcept;
    /** Audio thread. */
    bool makeLive() noexcept;
    void setState(ChainState next) noexcept;
    /** The first chain of a layer is live from the start. */
    void startLive() noexcept { setState(ChainState::live); }

    SamplerNode& sampler() { return *samplerNode; }
    EqualizerNode& eq() { return *eqNode; }
    CompressorNode& compressor() { return *compressorNode; }
    ReverbNode& reverb() { return *reverbNode; }
    bool hasDamper() const noexcept { return withDamperStage; }

    // ---- Plug-ins: message thread -------------------------------------------------------
    /** Puts a prepared instrument plug-in in the sampler's place (nothing: the sampler plays
        again). It takes over at the start of the next block; the one it replaces is stopped
        there and given back to collectRetired(). */
    void offerInstrument(std::unique_ptr<PluginInstrumentNode> node);
    /** The same for the effect between the reverb and the fader. */
    void offerEffect(std::unique_ptr<PluginEffectNode> node);

    /** What was offered last: the plug-ins this chain plays from its next block on. */
    PluginInstrumentNode* instrumentPlugin() const { return offeredInstrument; }
    PluginEffectNode* effectPlugin() const { return offeredEffect; }

    /** Message thread: frees what the audio thread has let go of. */
    void collectRetired();

    // ---- Audio thread --------------------------------------------------------------------
    /** Not concurrent with render(): prepares every node for this rate and block size. */
    void prepare(double sampleRate, int maximumBlockSize);

    /** Start of a block: takes up plug-ins offered since the last. True when another
        instrument plays from now on. */
    bool takeOffers() noexcept;

    /** Sends a command to the instrument playing now. */
    void play(const NoteCommand& command) noexcept;
    /** Sends a command to the sampler and to the instrument plug-in, when one plays: for
        stops of everything, which must reach what still rings on the sampler too. */
    void playOnBoth(const NoteCommand& command) noexcept;

    DamperVoices& damper() noexcept { return damperVoices; }

    /** Renders the chain's next `numSamples` samples and adds them to `out`, the fader going
        from its last gain to `gain` over the block. */
    void render(juce::AudioBuffer<float>& out, int numSamples, float gain) noexcept;

    /** True while the sampler still rings out notes stopped when a plug-in took its place. */
    bool isSamplerDraining() const noexcept { return samplerDraining; }

    /** Audio thread: the peak of what the last render() added. */
    float lastPeak() const noexcept { return peak; }
    /** Audio thread: the fader starts from its target the next time (after being idle). */
    void resetFader() noexcept { appliedGain = -1.0f; }

private:
    struct Switching
    {
        std::uint32_t generation = 0;
        std::uint8_t parts = 0;
        ChainState state = ChainState::idle;
    };
    static std::uint64_t pack(Switching s) noexcept
    {
        return (std::uint64_t)s.generation << 16 | (std::uint64_t)s.parts << 8 |
               (std::uint64_t)s.state;
    }
    static Switching unpack(std::uint64_t w) noexcept
    {
        return {(std::uint32_t)(w >> 16), (std::uint8_t)(w >> 8), (ChainState)(w & 0xff)};
    }
    std::atomic<std::uint64_t> switching{0};

    /** Applies `change` to the switching state as one atomic step, retried when another
        thread got there first; `change` returns false to leave it as it is. */
    template <typename Change> bool transition(Change&& change) noexcept;

    std::unique_ptr<SamplerNode> samplerNode;
    std::unique_ptr<EqualizerNode> eqNode;
    std::unique_ptr<CompressorNode> compressorNode;
    std::unique_ptr<ReverbNode> reverbNode;
    const bool withDamperStage;
    DamperVoices damperVoices;

    // Hand-over of plug-ins. A pointer travels message → audio through the offer slots and
    // audio → message through the retired queue; whoever holds it owns it.
    std::atomic<PluginInstrumentNode*> instrumentOffer{nullptr};
    std::atomic<PluginEffectNode*> effectOffer{nullptr};
    SpscFifo<juce::AudioProcessor*, 32> retired;
    PluginInstrumentNode* offeredInstrument = nullptr; // message thread's view
    PluginEffectNode* offeredEffect = nullptr;

    PluginInstrumentNode* activeInstrument = nullptr; // audio thread
    PluginEffectNode* activeEffect = nullptr;
    bool samplerDraining = false;

    juce::AudioBuffer<float> work, extra;
    juce::MidiBuffer noMidi;
    float appliedGain = -1.0f;
    float peak = 0.0f;
};

} // namespace norvane
