#include "engine/EqualizerNode.h"

#include <cmath>

namespace norvane
{

EqualizerNode::Coefficients EqualizerNode::design(Band band, double gainDB, double sampleRate)
{
    // Audio EQ Cookbook (R. Bristow-Johnson). Shelves with slope 1, the peak by bandwidth.
    const double A = std::pow(10.0, gainDB / 40.0);
    const double w0 = 2.0 * juce::MathConstants<double>::pi * frequencies[band] / sampleRate;
    const double cosw = std::cos(w0), sinw = std::sin(w0);
    double b0, b1, b2, a0, a1, a2;

    if (band == mid)
    {
        const double alpha =
            sinw * std::sinh(std::log(2.0) / 2.0 * midBandwidthOctaves * w0 / sinw);
        b0 = 1 + alpha * A;
        b1 = -2 * cosw;
        b2 = 1 - alpha * A;
        a0 = 1 + alpha / A;
        a1 = -2 * cosw;
        a2 = 1 - alpha / A;
    }
    else
    {
        const double alpha = sinw / 2.0 * std::sqrt(2.0); // slope S = 1
        const double twoRootAAlpha = 2.0 * std::sqrt(A) * alpha;
        if (band == low)
        {
            b0 = A * ((A + 1) - (A - 1) * cosw + twoRootAAlpha);
            b1 = 2 * A * ((A - 1) - (A + 1) * cosw);
            b2 = A * ((A + 1) - (A - 1) * cosw - twoRootAAlpha);
            a0 = (A + 1) + (A - 1) * cosw + twoRootAAlpha;
            a1 = -2 * ((A - 1) + (A + 1) * cosw);
            a2 = (A + 1) + (A - 1) * cosw - twoRootAAlpha;
        }
        else
        {
            b0 = A * ((A + 1) + (A - 1) * cosw + twoRootAAlpha);
            b1 = -2 * A * ((A - 1) + (A + 1) * cosw);
            b2 = A * ((A + 1) + (A - 1) * cosw - twoRootAAlpha);
            a0 = (A + 1) - (A - 1) * cosw + twoRootAAlpha;
            a1 = 2 * ((A - 1) - (A + 1) * cosw);
            a2 = (A + 1) - (A - 1) * cosw - twoRootAAlpha;
        }
    }
    return {b0 / a0, b1 / a0, b2 / a0, a1 / a0, a2 / a0};
}

void EqualizerNode::prepareToPlay(double sampleRate, int)
{
    rate = sampleRate;
    states = {};
    for (int b = 0; b < 3; ++b)
    {
        appliedGains[(size_t)b] = gains[(size_t)b].load(); // no glide into the first sound
        coefficients[(size_t)b] = design((Band)b, appliedGains[(size_t)b], rate);
    }
}

void EqualizerNode::glide(float share) noexcept
{
    for (int b = 0; b < 3; ++b)
    {
        const float target = gains[(size_t)b].load(std::memory_order_relaxed);
        auto& g = appliedGains[(size_t)b];
        if (g == target)
            continue;
        g += (target - g) * share;
        if (std::abs(target - g) < 0.01f)
            g = target;
        coefficients[(size_t)b] = design((Band)b, g, rate);
    }
}

void EqualizerNode::filter(float* data, int ch, int from, int to) noexcept
{
    for (int b = 0; b < 3; ++b)
    {
        auto& s = states[(size_t)b][(size_t)ch];
        if (appliedGains[(size_t)b] == 0.0f)
        {
            s = {}; // a flat band is exactly transparent, and comes back so from rest
            continue;
        }
        const auto& c = coefficients[(size_t)b];
        for (int i = from; i < to; ++i)
        {
            const double x = data[i];
            const double y = c.b0 * x + c.b1 * s.x1 + c.b2 * s.x2 - c.a1 * s.y1 - c.a2 * s.y2;
            s.x2 = s.x1;
            s.x1 = x;
            s.y2 = s.y1;
            s.y1 = y;
            data[i] = (float)y;
        }
        if (!std::isfinite(s.y1) || !std::isfinite(s.y2))
        {
            s = {};
            juce::FloatVectorOperations::clear(data + from, to - from);
        }
    }
}

void EqualizerNode::processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    constexpr int step = 32;
    const float share = (float)(1.0 - std::exp(-step / (0.003 * rate)));
    const int n = buffer.getNumSamples();
    const int channels = std::min(2, buffer.getNumChannels());
    for (int from = 0; from < n; from += step)
    {
        glide(share);
        const int to = std::min(n, from + step);
        for (int ch = 0; ch < channels; ++ch)
            filter(buffer.getWritePointer(ch), ch, from, to);
    }
}

} // namespace norvane
