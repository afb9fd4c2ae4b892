#include "engine/realtime/ClickTrack.h"

#include <algorithm>
#include <cmath>

namespace norvane
{

void ClickTrack::start(double delaySeconds) noexcept
{
    startDelay.store(std::max(0.0, delaySeconds));
    running.store(true);
    starts.fetch_add(1);
}

void ClickTrack::stop() noexcept
{
    running.store(false);
}

void ClickTrack::setTempo(double bpm) noexcept
{
    if (std::isfinite(bpm) && bpm > 0.0)
        tempo.store(bpm);
}

void ClickTrack::setSignature(int beats, int unit) noexcept
{
    barBeats.store(std::max(beats, 1));
    beatUnit.store(std::clamp(unit, 1, 64));
}

ClickTrack::Click ClickTrack::clickAt(int position, int beats, int unit) noexcept
{
    if (position == 0)
        return Click::accent;
    const bool compound = unit == 8 && beats >= 4 && beats % 3 == 0;
    return compound && position % 3 == 0 ? Click::group : Click::tick;
}

std::vector<float> ClickTrack::clickWave(double frequency, double sampleRate)
{
    const auto frames = (int)(std::uint32_t)(0.045 * sampleRate);
    std::vector<float> wave((size_t)std::max(frames, 0));
    for (int i = 0; i < frames; ++i)
    {
        const double t = i / sampleRate;
        wave[(size_t)i] = (float)(std::sin(2.0 * juce::MathConstants<double>::pi * frequency * t) *
                                  std::exp(-t / 0.012) * std::min(t / 0.002, 1.0) * 0.5);
    }
    return wave;
}

void ClickTrack::prepareToPlay(double sampleRate, int)
{
    if (sampleRate <= 0.0 || sampleRate == rate.load())
        return;
    // Nothing renders meanwhile: what sounded at the old rate stops, the beat carries on.
    for (auto& v : voices)
        v.active = false;
    const double old = rate.load();
    if (old > 0.0)
    {
        nextBeat = (nextBeat - (double)elapsed) * sampleRate / old + (double)elapsed;
    }
    waves[0] = clickWave(accentFrequency, sampleRate);
    waves[1] = clickWave(groupFrequency, sampleRate);
    waves[2] = clickWave(tickFrequency, sampleRate);
    rate.store(sampleRate);
}

void ClickTrack::place(int offset, Click click) noexcept
{
    const auto& wave = waves[(size_t)click];
    if (wave.empty())
        return;
    for (auto& v : voices)
        if (!v.active)
        {
            v.wave = &wave;
            v.position = -offset; // silent until its sample in this block
            v.active = true;
            return;
        }
}

void ClickTrack::render(juce::AudioBuffer<float>& out, int from, int to) noexcept
{
    const float gain = volume.load(std::memory_order_relaxed);
    for (auto& v : voices)
    {
        if (!v.active)
            continue;
        const auto& wave = *v.wave;
        for (int i = from; i < to; ++i, ++v.position)
        {
            if (v.position < 0)
                continue;
            if (v.position >= (int)wave.size())
                break;
            const float x = wave[(size_t)v.position] * gain;
            for (int ch = 0; ch < out.getNumChannels(); ++ch)
                out.addSample(ch, i, x);
        }
        if (v.position >= (int)wave.size())
            v.active = false;
    }
}

void ClickTrack::processBlock(juce::AudioBuffer<float>& out, juce::MidiBuffer&)
{
    out.clear();
    const int n = out.getNumSamples();
    const double sampleRate = rate.load(std::memory_order_relaxed);

    const auto requested = starts.load();
    if (!running.load())
    {
        if (playing)
            for (auto& v : voices)
                v.active = false;
        playing = false;
    }
    else if (requested != startsSeen && sampleRate > 0.0)
    {
        for (auto& v : voices)
            v.active = false;
        playing = true;
        elapsed = 0;
        beatIndex = 0;
        nextBeat = startDelay.load() * sampleRate;
        placed.store(0);
    }
    startsSeen = requested;

    if (playing)
    {
        // Every beat that falls in this block, each step computed as it is placed.
        while (nextBeat < (double)(elapsed + n))
        {
            const int offset = std::max(0, (int)(std::floor(nextBeat) - (double)elapsed));
            const int beats = barBeats.load(std::memory_order_relaxed);
            const int unit = beatUnit.load(std::memory_order_relaxed);
            place(offset, clickAt((int)(beatIndex % beats), beats, unit));
            ++beatIndex;
            const double step =
                (4.0 / unit) * (60.0 / tempo.load(std::memory_order_relaxed)) * sampleRate;
            nextBeat += std::max(step, 1.0);
        }
        placed.store(beatIndex);
        nextBeatPublished.store((std::int64_t)std::floor(nextBeat));
        elapsed += n;
    }

    render(out, 0, n);
    if (auto* probe = outputProbe.load(std::memory_order_relaxed))
        probe->rendered(out, n);
}

} // namespace norvane
