// What the master's limiter costs and what it does to the sound, beside JUCE's own limiter
// (the one the master had before): CPU time per block (the thread's own, so that the machine's
// other load does not count), the peak and the samples over the ceiling on loud material, and
// the distortion (THD+N) of a 1 kHz sine at several levels.
//
//   norvane-limiter-bench [--blocks N]

#include "engine/LimiterNode.h"

#include <juce_dsp/juce_dsp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace
{

constexpr double rate = 48000.0;
constexpr int block = 128;

double threadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

/** A limiter under test: prepared, then fed a stereo buffer block by block in place. */
struct Limiter
{
    std::string name;
    std::function<void()> prepare;
    std::function<void(juce::AudioBuffer<float>&)> process;
};

Limiter ours()
{
    auto node = std::make_shared<norvane::LimiterNode>();
    return {"ours (compressor + brick wall)",
            [node] {
                node->setPlayConfigDetails(2, 2, rate, block);
                node->prepareToPlay(rate, block);
            },
            [node](juce::AudioBuffer<float>& b)
            {
                juce::MidiBuffer none;
                node->processBlock(b, none);
            }};
}

Limiter juces()
{
    auto limiter = std::make_shared<juce::dsp::Limiter<float>>();
    return {"juce::dsp::Limiter (-0.3 dB, 24 ms)",
            [limiter] {
                limiter->prepare({rate, (juce::uint32)block, 2});
                limiter->setThreshold(-0.3f);
                limiter->setRelease(24.0f);
            },
            [limiter](juce::AudioBuffer<float>& b)
            {
                juce::dsp::AudioBlock<float> view(b);
                limiter->process(juce::dsp::ProcessContextReplacing<float>(view));
            }};
}

/** Twelve partials of a dense chord, peaking at +6 dBFS: far over the ceiling. */
juce::AudioBuffer<float> loudChords(int samples)
{
    juce::AudioBuffer<float> b(2, samples);
    b.clear();
    std::mt19937 random(7);
    std::uniform_real_distribution<double> pitch(100.0, 2000.0), phase(0.0, 6.283);
    for (int ch = 0; ch < 2; ++ch)
        for (int k = 0; k < 12; ++k)
        {
            const double f = pitch(random), p = phase(random);
            float* out = b.getWritePointer(ch);
            for (int i = 0; i < samples; ++i)
                out[i] += (float)std::sin(p + 2.0 * M_PI * f * i / rate);
        }
    b.applyGain(2.0f / b.getMagnitude(0, samples));
    return b;
}

juce::AudioBuffer<float> sine(double decibels, int samples)
{
    juce::AudioBuffer<float> b(2, samples);
    const auto amplitude = std::pow(10.0, decibels / 20.0);
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < samples; ++i)
            b.setSample(ch, i, (float)(amplitude * std::sin(2.0 * M_PI * 1000.0 * i / rate)));
    return b;
}

void run(const Limiter& l, juce::AudioBuffer<float>& audio, std::vector<double>* times = nullptr)
{
    l.prepare();
    for (int at = 0; at + block <= audio.getNumSamples(); at += block)
    {
        juce::AudioBuffer<float> view(audio.getArrayOfWritePointers(), 2, at, block);
        const double before = threadSeconds();
        l.process(view);
        if (times != nullptr)
            times->push_back(threadSeconds() - before);
    }
}

/** THD+N of the left side after the first half second: all that is not the 1 kHz sine (fitted
    by least squares), against the sine. */
double thdPlusNoise(const juce::AudioBuffer<float>& audio)
{
    const int from = (int)(rate * 0.5), n = audio.getNumSamples() - from;
    double ss = 0, sc = 0, cc = 0, ys = 0, yc = 0;
    for (int i = from; i < from + n; ++i)
    {
        const double w = 2.0 * M_PI * 1000.0 * i / rate, s = std::sin(w), c = std::cos(w);
        const double y = audio.getSample(0, i);
        ss += s * s, sc += s * c, cc += c * c, ys += y * s, yc += y * c;
    }
    const double det = ss * cc - sc * sc;
    const double a = (ys * cc - yc * sc) / det, b = (yc * ss - ys * sc) / det;
    double residual = 0, fundamental = 0;
    for (int i = from; i < from + n; ++i)
    {
        const double w = 2.0 * M_PI * 1000.0 * i / rate;
        const double fit = a * std::sin(w) + b * std::cos(w);
        residual += std::pow(audio.getSample(0, i) - fit, 2.0);
        fundamental += fit * fit;
    }
    return std::sqrt(residual / fundamental);
}

} // namespace

int main(int argc, char** argv)
{
    int blocks = 20000;
    for (int i = 1; i + 1 < argc; i += 2)
        if (std::string(argv[i]) == "--blocks")
            blocks = std::max(100, std::atoi(argv[i + 1]));

    const float ceiling = juce::Decibels::decibelsToGain(norvane::LimiterNode::ceilingDecibels);
    const auto material = loudChords(blocks * block);
    std::printf("%d blocks of %d frames at %.0f Hz; a block lasts %.0f us\n\n", blocks, block,
                rate, 1e6 * block / rate);
    std::printf("%-38s %9s %9s %9s %9s %10s %8s\n", "limiter", "mean us", "p99.9 us", "max us",
                "% period", "peak dBFS", "over");
    for (const auto& l : {ours(), juces()})
    {
        auto audio = material;
        std::vector<double> times;
        run(l, audio, &times);
        std::sort(times.begin(), times.end());
        double sum = 0;
        for (double t : times)
            sum += t;
        const double mean = sum / (double)times.size();
        int over = 0;
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < audio.getNumSamples(); ++i)
                over += std::abs(audio.getSample(ch, i)) > ceiling;
        std::printf("%-38s %9.2f %9.2f %9.2f %9.3f %10.3f %8d\n", l.name.c_str(), mean * 1e6,
                    times[(size_t)((double)times.size() * 0.999)] * 1e6, times.back() * 1e6,
                    100.0 * mean / (block / rate),
                    juce::Decibels::gainToDecibels(audio.getMagnitude(0, audio.getNumSamples())),
                    over);
    }

    std::printf("\nTHD+N of a 1 kHz sine (after 0.5 s), in percent\n%-38s", "input level");
    const double levels[] = {-12.0, -6.0, -3.0, 0.0, 3.0, 6.0};
    for (double level : levels)
        std::printf(" %7.0f dB", level);
    std::printf("\n");
    for (const auto& l : {ours(), juces()})
    {
        std::printf("%-38s", l.name.c_str());
        for (double level : levels)
        {
            auto audio = sine(level, (int)rate * 2);
            run(l, audio);
            std::printf(" %10.3f", 100.0 * thdPlusNoise(audio));
        }
        std::printf("\n");
    }
    return 0;
}
