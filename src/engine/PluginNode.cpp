#include "engine/PluginNode.h"

#include "engine/CrashRecord.h"
#include "engine/PluginReaper.h"

#include <algorithm>

namespace norvane
{

PluginNode::PluginNode(std::unique_ptr<juce::AudioPluginInstance> in, Inputs inputs)
    : NodeProcessor(in->getName(), inputs), instance(std::move(in))
{
    // Every bus on, so that every audio port of the plug-in has a buffer: a disabled bus
    // leaves its ports unconnected, and some plug-ins write through them regardless. What we
    // do not feed (side-chains, extra inputs) gets silence.
    instance->enableAllBuses();
}

PluginNode::~PluginNode()
{
    if (reaper != nullptr)
        reaper->take(std::move(instance), hasRun.load(std::memory_order_acquire));
    else
        instance->releaseResources();
}

juce::MemoryBlock PluginNode::state()
{
    juce::MemoryBlock block;
    instance->getStateInformation(block);
    return block;
}

void PluginNode::restore(const juce::MemoryBlock& state)
{
    if (state.getSize() > 0)
        instance->setStateInformation(state.getData(), (int)state.getSize());
}

std::optional<juce::MemoryBlock> PluginNode::stateOf(PluginNode* node)
{
    if (node == nullptr)
        return std::nullopt;
    auto state = node->state();
    if (state.getSize() == 0)
        return std::nullopt;
    return state;
}

void PluginNode::prepareToPlay(double sampleRate, int maximumBlockSize)
{
    preparedRate = sampleRate;
    preparedBlock = maximumBlockSize;
    instance->setRateAndBufferSizeDetails(sampleRate, maximumBlockSize);
    instance->prepareToPlay(sampleRate, maximumBlockSize);
    const int channels =
        std::max({instance->getTotalNumInputChannels(), instance->getTotalNumOutputChannels(), 2});
    scratch.setSize(channels, maximumBlockSize, false, true, false);
}

bool PluginNode::recover()
{
    if (!needsReset.load(std::memory_order_acquire))
        return false;
    // Not every format has a reset that clears a plug-in's inner state (LV2 has none): take it
    // through deactivation and activation again.
    instance->reset();
    if (preparedRate > 0.0)
    {
        instance->releaseResources();
        instance->prepareToPlay(preparedRate, preparedBlock);
    }
    needsReset.store(false, std::memory_order_release);
    return true;
}

void PluginNode::releaseResources()
{
    instance->releaseResources();
}

double PluginNode::getTailLengthSeconds() const
{
    return instance->getTailLengthSeconds();
}

void PluginNode::run(juce::AudioBuffer<float>& io, juce::MidiBuffer& events) noexcept
{
    if (needsReset.load(std::memory_order_acquire))
    {
        io.clear();
        return;
    }
    const int n = std::min(io.getNumSamples(), scratch.getNumSamples());
    const int ins = instance->getTotalNumInputChannels();
    const int outs = instance->getTotalNumOutputChannels();

    // Our stereo into the plug-in's inputs: a mono input takes the sum of both sides.
    juce::AudioBuffer<float> view(scratch.getArrayOfWritePointers(), scratch.getNumChannels(), n);
    view.clear();
    if (ins == 1)
    {
        view.copyFromWithRamp(0, 0, io.getReadPointer(0), n, 0.5f, 0.5f);
        view.addFrom(0, 0, io, 1, 0, n, 0.5f);
    }
    else
    {
        for (int ch = 0; ch < std::min(ins, 2); ++ch)
            view.copyFrom(ch, 0, io, ch, 0, n);
    }

    if (!crashTag.empty())
        CrashRecord::running(crashTag.data(), crashTag.size());
    instance->processBlock(view, events);
    CrashRecord::runningNone();
    hasRun.store(true, std::memory_order_release);

    io.clear();
    if (!allFinite(view, outs, n))
    {
        // Nothing of it goes on: the rest of the chain (and its reverb's memory) stays clean.
        silenced.fetch_add(1, std::memory_order_relaxed);
        needsReset.store(true, std::memory_order_release);
        return;
    }

    // Its outputs back to stereo: a mono output feeds both sides; further outputs (the other
    // pairs of a multi-output instrument) are summed in, each pair to its sides.
    if (outs == 1)
    {
        io.copyFrom(0, 0, view, 0, 0, n);
        io.copyFrom(1, 0, view, 0, 0, n);
    }
    else
    {
        for (int ch = 0; ch < outs; ++ch)
            io.addFrom(ch % 2, 0, view, ch, 0, n);
    }
}

void PluginInstrumentNode::prepareToPlay(double sampleRate, int maximumBlockSize)
{
    PluginNode::prepareToPlay(sampleRate, maximumBlockSize);
    // Room for a full block of commands plus a stop of all 128 pitches.
    events.ensureSize((size_t)(maxCommandsPerBlock + 160) * 16);
}

void PluginInstrumentNode::processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    events.clear();
    const int last = std::max(0, buffer.getNumSamples() - 1);
    NoteCommand c;
    int added = 0; // events, bounded so that the reserved room always suffices
    while (added < maxCommandsPerBlock && commands.pop(c))
    {
        added +=
            c.kind == NoteCommand::Kind::stopAll || c.kind == NoteCommand::Kind::silence ? 130 : 1;
        const auto pitch = (juce::uint8)juce::jlimit(0, 127, (int)c.pitch);
        const int at = juce::jlimit(0, last, (int)c.frame); // its exact frame in the block
        switch (c.kind)
        {
        case NoteCommand::Kind::start:
        {
            const juce::uint8 on[] = {0x90, pitch, (juce::uint8)juce::jlimit(1, 127, (int)c.value)};
            events.addEvent(on, 3, at);
            break;
        }
        case NoteCommand::Kind::stop:
        {
            const juce::uint8 off[] = {0x80, pitch, 0};
            events.addEvent(off, 3, at);
            break;
        }
        case NoteCommand::Kind::silence:
        {
            const juce::uint8 allSoundOff[] = {0xB0, 120, 0};
            events.addEvent(allSoundOff, 3, at);
            [[fallthrough]]; // and the stops of everything
        }
        case NoteCommand::Kind::stopAll:
        {
            // Every pitch, for plug-ins that ignore the all-notes-off controller.
            for (int p = 0; p < 128; ++p)
            {
                const juce::uint8 off[] = {0x80, (juce::uint8)p, 0};
                events.addEvent(off, 3, at);
            }
            const juce::uint8 allOff[] = {0xB0, 123, 0};
            events.addEvent(allOff, 3, at);
            break;
        }
        case NoteCommand::Kind::pitchBend:
        {
            const int v = juce::jlimit(0, 16383, (int)c.value);
            const juce::uint8 bend[] = {0xE0, (juce::uint8)(v & 0x7f), (juce::uint8)(v >> 7)};
            events.addEvent(bend, 3, at);
            break;
        }
        }
    }
    run(buffer, events);
}

void PluginEffectNode::prepareToPlay(double sampleRate, int maximumBlockSize)
{
    PluginNode::prepareToPlay(sampleRate, maximumBlockSize);
    noEvents.ensureSize(256);
}

void PluginEffectNode::processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    noEvents.clear();
    run(buffer, noEvents);
}

} // namespace norvane
