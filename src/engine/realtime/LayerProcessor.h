#pragma once

#include "engine/AudioProbe.h"
#include "engine/NodeProcessor.h"
#include "engine/TapNode.h"
#include "engine/realtime/LayerChain.h"
#include "engine/realtime/PerformanceEvents.h"

#include <array>
#include <atomic>
#include <memory>
#include <string>

namespace norvane
{

/** The audio side of one layer, and its node in the graph: the layer's note path (range and
    crossfade, transposition, octave, velocity curve, the pitch and velocity started for each
    incoming note, the envelope) and its chain, rendered into one stereo output with the
    layer's meter tap.

    The note operations run on the audio thread, called by the performance router at the
    start of a block (or by one thread that also renders, offline). Settings arrive through
    the chains' atomics.
*/
class LayerProcessor final : public NodeProcessor
{
public:
    LayerProcessor(std::string slot, bool withDamper, double sampleRate,
                   const std::atomic<const DamperTable*>& damperTable);
    ~LayerProcessor() override;

    const std::string slot;

    /** The chain new notes go to, and whose settings the message thread edits. */
    LayerChain& liveChain() noexcept { return *chains[(size_t)live]; }
    LayerChain& chain(int index) noexcept { return *chains[(size_t)index]; }
    int chainCount() const noexcept { return (int)chains.size(); }

    /** Audio thread, at the start of a block before any note: takes up plug-ins offered. */
    void takeOffers() noexcept;

    // ---- Note path: audio thread -----------------------------------------------------------
    void noteOn(int note, int velocity) noexcept;
    void noteOff(int note) noexcept;
    /** Stops every pitch on every chain, forgets the sounding notes, lets the envelopes rest. */
    void panicStop() noexcept;
    /** Releases every note of the live chain that its range and crossfade no longer cover. */
    void releaseNotesOutsideRange() noexcept;
    /** After a change of the envelope times: a silent chain rests at 0 (envelope) or 1. */
    void applyEnvelopeRestLevel() noexcept;
    /** A 14-bit bend, clamped to 0…16383, to every chain's instrument. */
    void pitchBend(int value) noexcept;
    /** The pedal's damper sound, when the layer is enabled. */
    void playPedalNoise(bool down) noexcept;

    /** Audio thread: the pitch and velocity of every sounding note. */
    void fillNotes(PlayedState::LayerNotes& notes) const noexcept;

    /** Whether any note sounds on this layer (audio thread). */
    bool hasSoundingNotes() const noexcept;

    /** Any thread: the envelope gain of the live chain at the end of the last block. */
    float envelopeMultiplier() const noexcept
    {
        return envelopeMirror.load(std::memory_order_relaxed);
    }

    TapNode& tap() noexcept { return meterTap; }

    /** Before playing: tells `probe` of every command sent to an instrument. */
    void setCommandProbe(NoteCommandProbe* probe) noexcept { commandProbe.store(probe); }

    /** Message thread: frees what the audio thread has let go of. */
    void collectRetired();

    void prepareToPlay(double sampleRate, int maximumBlockSize) override;
    void processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer&) override;

    static constexpr double envelopeTick = 1.0 / 60.0; ///< seconds between envelope steps

private:
    struct Sounded
    {
        std::int8_t chain = -1; // −1: silent
        std::uint8_t pitch = 0;
        std::uint8_t velocity = 0;
    };

    struct Envelope
    {
        double value = 1.0;
        double target = 1.0;
        double step = 0.0;
        bool ramping = false;
        double samplesToTick = 0.0;
    };

    void send(int chain, const NoteCommand& command) noexcept;
    void ramp(int chain, double target, double duration) noexcept;
    void restEnvelope(int chain) noexcept;
    void advanceEnvelope(Envelope& envelope, int numSamples) noexcept;

    std::array<std::unique_ptr<LayerChain>, 1> chains;
    int live = 0;
    std::array<Sounded, 128> sounded{};
    std::array<int, 1> notesOnChain{};
    std::array<Envelope, 1> envelopes{};
    const std::atomic<const DamperTable*>& damperTable;
    std::atomic<NoteCommandProbe*> commandProbe{nullptr};
    std::atomic<float> envelopeMirror{1.0f};
    TapNode meterTap;
    double samplesPerTick = 800.0;
};

} // namespace norvane
