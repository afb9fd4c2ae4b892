#include "engine/PlayerNode.h"

namespace norvane
{

bool PlayerNode::schedule(Buffer buffer, std::optional<std::int64_t> atSample, bool interrupt)
{
    releaseFinished();
    if (buffer == nullptr)
        return false;

    Command c;
    c.kind = Command::Kind::schedule;
    c.id = nextID++;
    c.buffer = buffer.get();
    c.atSample = atSample.value_or(-1);
    c.interrupt = interrupt;

    if (!commands.push(c))
        return false;
    inFlight.emplace(c.id, std::move(buffer));
    return true;
}

void PlayerNode::play()
{
    playing = true;
}

void PlayerNode::stop()
{
    playing = false;
    // Rewound here as well as on the audio thread, so that a start right after a stop
    // schedules against the new timeline, not the one the audio thread has yet to reset.
    timeline = 0;
    Command c;
    c.kind = Command::Kind::stop;
    commands.push(c);
}

void PlayerNode::releaseFinished()
{
    std::uint32_t id = 0;
    while (finished.pop(id))
        inFlight.erase(id);
}

void PlayerNode::finish(Voice& voice) noexcept
{
    if (!voice.active)
        return;
    voice.active = false;
    // The way back holds more entries than there can be voices and waiting commands.
    finished.push(voice.id);
}

void PlayerNode::finishAll() noexcept
{
    for (auto& v : voices)
        finish(v);
}

void PlayerNode::processBlock(juce::AudioBuffer<float>& out, juce::MidiBuffer&)
{
    out.clear();

    Command c;
    while (commands.pop(c))
    {
        if (c.kind == Command::Kind::stop)
        {
            finishAll();
            timeline = 0;
            continue;
        }

        if (c.interrupt)
            finishAll();

        Voice* free = nullptr;
        for (auto& v : voices)
            if (!v.active)
            {
                free = &v;
                break;
            }

        if (free == nullptr)
        {
            finished.push(c.id); // no room: dropped, but its buffer is released
            continue;
        }

        free->id = c.id;
        free->buffer = c.buffer;
        free->startSample = c.atSample < 0 ? timeline.load() : c.atSample;
        free->position = 0;
        free->active = true;
    }

    if (!playing.load())
        return;

    const int n = out.getNumSamples();
    const std::int64_t blockStart = timeline.load();
    const float gain = volume.load();

    for (auto& v : voices)
    {
        if (!v.active)
            continue;

        const auto& src = *v.buffer;
        const std::int64_t offsetInBlock = std::max<std::int64_t>(0, v.startSample - blockStart);
        if (offsetInBlock >= n)
            continue;

        const int remaining = src.getNumSamples() - v.position;
        const int count = (int)std::min<std::int64_t>(remaining, n - offsetInBlock);
        for (int ch = 0; ch < out.getNumChannels(); ++ch)
        {
            const int srcChannel = std::min(ch, src.getNumChannels() - 1);
            if (srcChannel >= 0 && count > 0)
                out.addFrom(ch, (int)offsetInBlock, src, srcChannel, v.position, count, gain);
        }
        v.position += std::max(count, 0);
        if (v.position >= src.getNumSamples())
            finish(v);
    }

    if (auto* probe = outputProbe.load(std::memory_order_relaxed))
        probe->rendered(out, n);

    // A stop() during this block has rewound the timeline; it stays rewound.
    std::int64_t expected = blockStart;
    timeline.compare_exchange_strong(expected, blockStart + n);
}

} // namespace norvane
