#pragma once

#include "core/SpscFifo.h"
#include "engine/AudioProbe.h"
#include "engine/InstrumentNode.h"
#include "engine/NodeProcessor.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace norvane
{

/** The built-in instrument: one FluidSynth synthesizer playing one preset of a SoundFont.

    Loading builds a complete new synthesizer on the calling thread and hands it to the audio
    thread, which swaps it in at the start of a block; the old one comes back and is freed on
    the message thread. The audio thread therefore never loads, allocates or frees anything,
    and a layer that is playing never glitches while another sound loads.
*/
class SamplerNode final : public NodeProcessor, public InstrumentNode
{
public:
    explicit SamplerNode(double sampleRate);
    ~SamplerNode() override;

    /** Any thread but the audio thread (the loader's, or the message thread before playing;
        one at a time). Loads `program` of the bank chosen by MSB/LSB from a SoundFont file.
        Bank MSB 121 selects the melodic banks (LSB = variation), 120 the percussion bank.
        Returns nothing on success, otherwise a description of the failure, and then the
        previous instrument stays in place. */
    std::optional<std::string> loadInstrument(const std::string& bankPath, int program, int bankMSB,
                                              int bankLSB);

    /** Message thread. */
    bool send(const NoteCommand& command) override;

    /** Message thread: frees synthesizers that the audio thread has given back. */
    void collectRetired();

    /** Before playing: tells `probe` of every note this sampler starts (nullptr: nobody). */
    void setStartProbe(NoteStartProbe* probe) noexcept { startProbe.store(probe); }

    /** Audio thread: whether any voice still sounds (a stopped note rings out its release). */
    bool isSounding() const noexcept;

    /** Any thread: true once an instrument has been loaded. */
    bool hasInstrument() const noexcept { return loaded.load(); }

    void prepareToPlay(double sampleRate, int maximumBlockSize) override;
    void processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer&) override;

    struct Synth;

    /** Any thread: why the file at `bankPath` cannot be read as a SoundFont (not one, or
        damaged), or nothing when it can. Reads only its headers. */
    static std::optional<std::string> checkBank(const std::string& bankPath);

private:
    std::unique_ptr<Synth> build(const std::string& bankPath, int program, int bankMSB, int bankLSB,
                                 double rate, std::string& error) const;
    void handOver(std::unique_ptr<Synth> synth);
    void apply(const NoteCommand& command) noexcept;

    static constexpr int fifoCapacity = 2048;

    double sampleRate;
    SpscFifo<NoteCommand, fifoCapacity> commands;
    std::atomic<Synth*> pending{nullptr};
    SpscFifo<Synth*, 32> retired;
    Synth* current = nullptr; // audio thread, or any thread while the graph is not playing
    std::atomic<bool> loaded{false};
    std::atomic<NoteStartProbe*> startProbe{nullptr};

    // What was last loaded, to rebuild at a new sample rate; guarded by loadLock, which keeps
    // a load and a change of rate apart (never taken on the audio thread).
    std::mutex loadLock;
    std::string lastBank;
    int lastProgram = 0, lastMSB = 121, lastLSB = 0;
};

} // namespace norvane
