#include "engine/Room.h"

#include <algorithm>

namespace norvane
{

namespace
{

// The Freeverb tunings, in samples at 44.1 kHz, and the right side's extra length.
constexpr std::array<int, 8> combTunings{1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
constexpr std::array<int, 4> allPassTunings{556, 441, 341, 225};
constexpr int stereoSpread = 23;

constexpr float inputGain = 0.015f;
constexpr float wetScale = 3.0f;
constexpr double glideSeconds = 0.01;

} // namespace

void Room::prepare(double sampleRate, int maximumBlockSize)
{
    const int rate = std::max(1, (int)sampleRate);
    auto length = [rate](int tuning, int side)
    { return std::max(1, rate * (tuning + side * stereoSpread) / 44100); };

    size_t total = 0;
    for (int side = 0; side < 2; ++side)
    {
        for (int tuning : combTunings)
            total += (size_t)length(tuning, side);
        for (int tuning : allPassTunings)
            total += (size_t)length(tuning, side);
    }
    storage.assign(total, 0.0f);

    float* next = storage.data();
    auto place = [&next](Line& line, int size)
    {
        line = {next, size, 0, 0.0f};
        next += size;
    };
    for (int side = 0; side < 2; ++side)
    {
        for (size_t i = 0; i < combTunings.size(); ++i)
            place(combs[(size_t)side][i], length(combTunings[i], side));
        for (size_t i = 0; i < allPassTunings.size(); ++i)
            place(allPasses[(size_t)side][i], length(allPassTunings[i], side));
    }

    scaledFeed.assign((size_t)std::max(1, maximumBlockSize), 0.0f);
    for (auto* glide : {&damping, &feedback, &wetSame, &wetCross})
        glide->reset(sampleRate, glideSeconds);
}

void Room::setSettings(const juce::Reverb::Parameters& settings, bool glide) noexcept
{
    auto set = [glide](juce::LinearSmoothedValue<float>& value, float target)
    { glide ? value.setTargetValue(target) : value.setCurrentAndTargetValue(target); };
    const float wet = settings.wetLevel * wetScale;
    set(wetSame, 0.5f * wet * (1.0f + settings.width));
    set(wetCross, 0.5f * wet * (1.0f - settings.width));
    set(damping, settings.damping * 0.4f);
    set(feedback, settings.roomSize * 0.28f + 0.7f);
}

void Room::clear() noexcept
{
    std::fill(storage.begin(), storage.end(), 0.0f);
    for (auto& side : combs)
        for (auto& line : side)
            line.last = 0.0f;
    for (auto* glide : {&damping, &feedback, &wetSame, &wetCross})
        glide->setCurrentAndTargetValue(glide->getTargetValue());
}

void Room::runCombs(Line* four, const float* feed, float* out, int n, bool add, float damp,
                    float feedbackLevel) noexcept
{
    // Four combs at a time: their damping filters are four independent chains, which keeps
    // the processor busy where one alone would wait on each sample's result.
    const float take = 1.0f - damp;
    for (int done = 0; done < n;)
    {
        int stretch = n - done;
        for (int c = 0; c < 4; ++c)
            stretch = std::min(stretch, four[c].size - four[c].index);

        float* __restrict p0 = four[0].data + four[0].index;
        float* __restrict p1 = four[1].data + four[1].index;
        float* __restrict p2 = four[2].data + four[2].index;
        float* __restrict p3 = four[3].data + four[3].index;
        float l0 = four[0].last, l1 = four[1].last, l2 = four[2].last, l3 = four[3].last;
        const float* __restrict in = feed + done;
        float* __restrict sum = out + done;
        for (int i = 0; i < stretch; ++i)
        {
            const float x = in[i];
            const float o0 = p0[i], o1 = p1[i], o2 = p2[i], o3 = p3[i];
            l0 = o0 * take + l0 * damp;
            l1 = o1 * take + l1 * damp;
            l2 = o2 * take + l2 * damp;
            l3 = o3 * take + l3 * damp;
            p0[i] = x + l0 * feedbackLevel;
            p1[i] = x + l1 * feedbackLevel;
            p2[i] = x + l2 * feedbackLevel;
            p3[i] = x + l3 * feedbackLevel;
            const float s = (o0 + o1) + (o2 + o3);
            sum[i] = add ? sum[i] + s : s;
        }
        four[0].last = l0, four[1].last = l1, four[2].last = l2, four[3].last = l3;
        for (int c = 0; c < 4; ++c)
            if ((four[c].index += stretch) == four[c].size)
                four[c].index = 0;
        done += stretch;
    }
}

void Room::runAllPass(Line& line, float* signal, int n) noexcept
{
    for (int done = 0; done < n;)
    {
        const int stretch = std::min(n - done, line.size - line.index);
        float* __restrict p = line.data + line.index;
        float* __restrict x = signal + done;
        for (int i = 0; i < stretch; ++i)
        {
            const float held = p[i];
            p[i] = x[i] + held * 0.5f;
            x[i] = held - x[i];
        }
        if ((line.index += stretch) == line.size)
            line.index = 0;
        done += stretch;
    }
}

void Room::render(const float* feed, float* left, float* right, int numSamples) noexcept
{
    const int n = std::min(numSamples, (int)scaledFeed.size());
    float* scaled = scaledFeed.data();
    for (int i = 0; i < n; ++i)
        scaled[i] = feed[i] * inputGain;

    // The filters take the block's closing settings; the output gains glide sample by sample.
    const float damp = damping.skip(n), level = feedback.skip(n);
    const float same0 = wetSame.getCurrentValue(), cross0 = wetCross.getCurrentValue();
    const float same1 = wetSame.skip(n), cross1 = wetCross.skip(n);

    float* sides[2] = {left, right};
    for (size_t side = 0; side < 2; ++side)
    {
        runCombs(&combs[side][0], scaled, sides[side], n, false, damp, level);
        runCombs(&combs[side][4], scaled, sides[side], n, true, damp, level);
        for (auto& line : allPasses[side])
            runAllPass(line, sides[side], n);
    }

    if (same0 == same1 && cross0 == cross1)
    {
        for (int i = 0; i < n; ++i)
        {
            const float l = left[i], r = right[i];
            left[i] = l * same1 + r * cross1;
            right[i] = r * same1 + l * cross1;
        }
    }
    else
    {
        const float step = 1.0f / (float)n;
        for (int i = 0; i < n; ++i)
        {
            const float t = (float)(i + 1) * step;
            const float same = same0 + (same1 - same0) * t, cross = cross0 + (cross1 - cross0) * t;
            const float l = left[i], r = right[i];
            left[i] = l * same + r * cross;
            right[i] = r * same + l * cross;
        }
    }
}

} // namespace norvane
