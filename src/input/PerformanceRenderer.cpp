#include "input/PerformanceRenderer.h"

#include "core/Scheduler.h"
#include "engine/AudioEngine.h"
#include "input/MIDIManager.h"

#include <cmath>

namespace norvane
{

PerformanceRenderer::PerformanceRenderer(AudioEngine& e, MIDIManager& m, ManualScheduler& s)
    : engine(e), midi(m), scheduler(s)
{
}

juce::AudioBuffer<float> PerformanceRenderer::render(const std::vector<TimedMessage>& messages,
                                                     double tailSeconds, const Hooks& hooks)
{
    auto& host = engine.host();
    const double rate = host.sampleRate();
    const double end =
        (messages.empty() ? 0.0 : messages.back().seconds) + std::max(0.0, tailSeconds);
    const int total = (int)std::ceil(end * rate);

    juce::AudioBuffer<float> out(2, std::max(total, 0));
    out.clear();

    size_t next = 0;
    int position = 0;
    while (position < total)
    {
        while (next < messages.size() && std::llround(messages[next].seconds * rate) <= position)
        {
            const auto& bytes = messages[next].bytes;
            midi.processNow(bytes.data(), bytes.size());
            ++next;
        }
        if (hooks.atTime)
            hooks.atTime(position / rate);

        int chunk = std::min(total - position, maxChunk);
        if (next < messages.size())
        {
            const auto due = (int)std::llround(messages[next].seconds * rate);
            chunk = std::max(1, std::min(chunk, due - position));
        }

        scheduler.advance(chunk / rate);

        if (hooks.beforeBlock)
            hooks.beforeBlock();
        host.render(out, position, chunk);
        if (hooks.afterBlock)
            hooks.afterBlock();

        // What the block played is taken in at once (a Program Change recalls its patch), and
        // a new set-up is waited for, so that a render never depends on the disk's speed.
        engine.collect();
        if (engine.hasPendingChanges())
            engine.waitForLoads();

        position += chunk;
    }
    return out;
}

} // namespace norvane
