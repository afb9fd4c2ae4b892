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
    incoming note, the envelopes) and its chains, rendered into one stereo output with the
    layer's meter tap.

    A layer has three chains. New notes go to the live one; when a new set-up (another sound,
    a recalled patch) has been prepared in another chain, that one takes over at the start of
    a block, and the notes still held on the old one — by their keys or the pedal — sound on
    there, with the sound, pitch and chain they started with, until they are released and
    its tails have died away. A third chain lets a second change come while the first still
    rings; when none is free, the oldest ringing one fades out.

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

    static constexpr int chainCount = 3;

    /** Any thread: the chain new notes go to. */
    int liveIndex() const noexcept { return live.load(std::memory_order_acquire); }
    LayerChain& liveChain() noexcept { return *chains[(size_t)liveIndex()]; }
    const LayerChain& liveChain() const noexcept { return *chains[(size_t)liveIndex()]; }
    LayerChain& chain(int index) noexcept { return *chains[(size_t)index]; }

    /** Audio thread (or one thread while nothing renders): notes sounding on a chain. */
    int notesOn(int chain) const noexcept { return notesOnChain[(size_t)chain]; }

    /** How long a chain with nothing left to play must stay quiet before it is free again,
        how long one that never falls quiet may ring on with no note held, and how long one
        let go of to make room fades out. */
    static constexpr double quietSeconds = 0.25, longestTail = 30.0, evictionFade = 0.03;
    static constexpr float quietLevel = 1.0e-5f; // −100 dBFS

    /** Audio thread, at the start of a block before any note: takes up plug-ins offered. */
    void takeOffers() noexcept;

    // ---- Note path: audio thread -----------------------------------------------------------
    /** Where in the coming block the commands sent from now on take effect (a MIDI event's
        frame within the device's cycle); 0 = at its start. */
    void setCommandFrame(int frame) noexcept { commandFrame = frame; }
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
    /** Any thread: the fader of every chain, the notes held from earlier set-ups included. */
    void setVolume(float volume) noexcept;

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

    /** `toBoth`: to the sampler as well as to a plug-in in its place (stops of everything). */
    void send(int chain, const NoteCommand& command, bool toBoth = false) noexcept;
    /** The damper sounds, when they were rendered for this rate. */
    const DamperTable* currentDamperTable() const noexcept;
    void switchIfReady() noexcept;
    void forgetNotesOf(int chain) noexcept;
    void goIdle(int chain) noexcept;
    bool isRendered(ChainState state) const noexcept
    {
        return state == ChainState::live || state == ChainState::ringing ||
               state == ChainState::evicting;
    }
    void ramp(int chain, double target, double duration) noexcept;
    void restEnvelope(int chain) noexcept;
    void advanceEnvelope(Envelope& envelope, int numSamples) noexcept;

    std::array<std::unique_ptr<LayerChain>, chainCount> chains;
    std::atomic<int> live{0};
    std::array<Sounded, 128> sounded{};
    std::array<int, chainCount> notesOnChain{};
    std::array<Envelope, chainCount> envelopes{};
    std::array<double, chainCount> quietFor{}; // seconds without sound, no note held
    std::array<double, chainCount> unheldFor{};
    struct Fade
    {
        bool running = false;
        int left = 0, total = 0; // samples
        float from = 0.0f;       // the fader's gain when it began
    };
    std::array<Fade, chainCount> fades{}; // chains let go of to make room
    int bend = 8192;                      // where the wheel stands, for chains taken up later
    std::array<int, chainCount> chainBend{8192, 8192, 8192}; // the bend each chain last had
    double sampleRate = 48000.0;
    const std::atomic<const DamperTable*>& damperTable;
    std::atomic<NoteCommandProbe*> commandProbe{nullptr};
    std::atomic<float> envelopeMirror{1.0f};
    TapNode meterTap;
    double samplesPerTick = 800.0;
    int commandFrame = 0;
};

} // namespace norvane
