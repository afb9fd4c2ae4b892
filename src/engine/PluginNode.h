#pragma once

#include "core/SpscFifo.h"
#include "engine/InstrumentNode.h"
#include "engine/NodeProcessor.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>

namespace norvane
{

class PluginReaper;

/** A hosted plug-in inside a node of ours, so that it fits the graph's stereo format whatever
    its own channel counts, and so that notes reach it through our FIFO rather than the graph's
    MIDI routing (which allocates on the audio thread).

    The plug-in's own state and parameters are reached through plugin() on the message thread.
*/
class PluginNode : public NodeProcessor
{
public:
    PluginNode(std::unique_ptr<juce::AudioPluginInstance> instance, Inputs inputs);
    ~PluginNode() override;

    juce::AudioPluginInstance& plugin() { return *instance; }

    /** Message thread: the plug-in's state, in its own format. */
    juce::MemoryBlock state();

    /** Message thread: restores a state captured by state(); it takes effect at the next block. */
    void restore(const juce::MemoryBlock& state);

    /** Message thread: a node's state, or nothing for no node or an empty state. */
    static std::optional<juce::MemoryBlock> stateOf(PluginNode* node);

    /** Why a plug-in could not be made when the machine does not have it. */
    static constexpr const char* notInstalled = "el plugin no está instalado";

    void prepareToPlay(double sampleRate, int maximumBlockSize) override;
    void releaseResources() override;
    double getTailLengthSeconds() const override;

    /** Message thread, before it plays: what the audio side says it runs while it runs this
        plug-in (CrashRecord). */
    void setCrashTag(std::string tag) { crashTag = std::move(tag); }

    /** Message thread, before it plays: the instance is freed through `reaper` (which must
        outlive this node) rather than with the node. */
    void freeThrough(PluginReaper& r) { reaper = &r; }

    /** Any thread: the blocks silenced since the last call because the plug-in's output held
        a sample that was not a finite number. */
    int takeSilencedBlocks() noexcept { return silenced.exchange(0, std::memory_order_relaxed); }

    /** Message thread: a plug-in whose output went non-finite is silent until it has been
        reset here (the audio side leaves it alone meanwhile); true when it was. */
    bool recover();

protected:
    /** Audio thread: runs the plug-in over `io` (stereo in and out) with these events. */
    void run(juce::AudioBuffer<float>& io, juce::MidiBuffer& events) noexcept;

private:
    std::unique_ptr<juce::AudioPluginInstance> instance;
    juce::AudioBuffer<float> scratch; // the plug-in's own channel count
    std::string crashTag;
    PluginReaper* reaper = nullptr;
    std::atomic<bool> hasRun{false};
    double preparedRate = 0.0;
    int preparedBlock = 0;
    std::atomic<int> silenced{0};
    /** Set by the audio side after the block that went wrong; cleared by recover(). While it
        is set, the audio side does not touch the plug-in. */
    std::atomic<bool> needsReset{false};
};

/** An instrument plug-in playing a layer's notes in the sampler's place. */
class PluginInstrumentNode final : public PluginNode, public InstrumentNode
{
public:
    explicit PluginInstrumentNode(std::unique_ptr<juce::AudioPluginInstance> instance)
        : PluginNode(std::move(instance), Inputs::none)
    {
    }

    bool send(const NoteCommand& command) override { return commands.push(command); }

    void prepareToPlay(double sampleRate, int maximumBlockSize) override;
    void processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer&) override;

private:
    static constexpr int maxCommandsPerBlock = 128;

    SpscFifo<NoteCommand, 1024> commands;
    juce::MidiBuffer events; // reserved in prepareToPlay; never grows on the audio thread
};

/** An effect plug-in between a layer's reverb and its fader. */
class PluginEffectNode final : public PluginNode
{
public:
    explicit PluginEffectNode(std::unique_ptr<juce::AudioPluginInstance> instance)
        : PluginNode(std::move(instance), Inputs::stereo)
    {
    }

    void prepareToPlay(double sampleRate, int maximumBlockSize) override;
    void processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer&) override;

private:
    juce::MidiBuffer noEvents;
};

} // namespace norvane
