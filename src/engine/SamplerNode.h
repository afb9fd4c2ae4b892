#pragma once

#include "core/SpscFifo.h"
#include "engine/AudioProbe.h"
#include "engine/InstrumentNode.h"
#include "engine/NodeProcessor.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string>

namespace norvane
{

/** The built-in instrument: one FluidSynth synthesizer playing one preset of a SoundFont.

    A synthesizer is built whole off the audio thread and handed over; the audio thread swaps
    it in at the start of a block, and the old one comes back and is freed on the message
    thread. The audio thread therefore never loads, allocates or frees anything, and a layer
    that is playing never glitches while another sound loads.
*/
class SamplerNode final : public NodeProcessor, public InstrumentNode
{
public:
    explicit SamplerNode(double sampleRate);
    ~SamplerNode() override;

    struct Synth;
    struct SynthDeleter
    {
        void operator()(Synth* synth) const;
    };
    /** A complete synthesizer with one preset selected, built off the audio thread. */
    using Sound = std::unique_ptr<Synth, SynthDeleter>;

    /** Any thread but the audio thread: a synthesizer playing `program` of the bank chosen by
        MSB/LSB from a SoundFont file, at `rate`. Bank MSB 121 selects the melodic banks
        (LSB = variation), 120 the percussion bank. Nothing when it cannot be built, and then
        `error` says why. */
    static Sound build(const std::string& bankPath, int program, int bankMSB, int bankLSB,
                       double rate, std::string& error);

    /** Any thread but the audio thread (one at a time): hands a synthesizer over; the audio
        thread takes it up at the start of its next block. One handed over and never taken up
        is freed here. */
    void install(Sound sound);

    /** Builds at the current rate and installs (the engine's start, tools and tests). Returns
        nothing on success, otherwise why, and then the previous instrument stays in place. */
    std::optional<std::string> loadInstrument(const std::string& bankPath, int program, int bankMSB,
                                              int bankLSB);

    /** Any thread: the rate new synthesizers must be built at. One built for another rate
        stays silent once taken up. */
    double sampleRate() const noexcept { return rate.load(std::memory_order_acquire); }

    /** Any thread: the rate of the synthesizer last handed over, or 0 before any. */
    double installedRate() const noexcept { return installed.load(std::memory_order_acquire); }

    /** Message thread. */
    bool send(const NoteCommand& command) override;

    /** Message thread: frees synthesizers that the audio thread has given back. */
    void collectRetired();

    /** Before playing: tells `probe` of every note this sampler starts (nullptr: nobody). */
    void setStartProbe(NoteStartProbe* probe) noexcept { startProbe.store(probe); }

    /** Audio thread: whether any voice still sounds (a stopped note rings out its release). */
    bool isSounding() const noexcept;

    /** Any thread: true once an instrument has been loaded. */
    bool hasInstrument() const noexcept { return installed.load() > 0.0; }

    /** Not concurrent with processBlock: only notes the new rate; the synthesizers for it are
        built elsewhere (LayerSwitcher), and the old one is silent meanwhile. */
    void prepareToPlay(double sampleRate, int maximumBlockSize) override;
    void processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer&) override;

    /** Any thread: why the file at `bankPath` cannot be read as a SoundFont (not one, or
        damaged), or nothing when it can. Reads only its headers. */
    static std::optional<std::string> checkBank(const std::string& bankPath);

private:
    void apply(const NoteCommand& command) noexcept;

    static constexpr int fifoCapacity = 2048;

    std::atomic<double> rate;
    std::atomic<double> installed{0.0};
    SpscFifo<NoteCommand, fifoCapacity> commands;
    std::atomic<Synth*> pending{nullptr};
    SpscFifo<Synth*, 32> retired;
    Synth* current = nullptr; // audio thread, or any thread while the graph is not playing
    int bend = 8192;          // audio thread: the last bend, for a synthesizer taken up later
    std::atomic<NoteStartProbe*> startProbe{nullptr};
};

} // namespace norvane
