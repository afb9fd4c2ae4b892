#include "engine/DamperNoiseBank.h"

#include "core/Hash.h"

#include <algorithm>
#include <cmath>

namespace norvane
{

namespace
{

constexpr std::uint64_t golden = 0x9E3779B97F4A7C15ull;

/** SplitMix64: one generator for a whole buffer. */
struct SplitMix64
{
    explicit SplitMix64(std::uint64_t seed) : state(seed + golden) {}

    std::uint64_t next()
    {
        state += golden;
        std::uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    /** A value in [-1, 1). */
    double noise()
    {
        const double u = (double)(next() >> 11) * 0x1.0p-53;
        return 2.0 * u - 1.0;
    }

    std::uint64_t state;
};

} // namespace

std::shared_ptr<DamperNoiseBank> DamperNoiseBank::shared(double sampleRate)
{
    static std::mutex lock;
    static std::map<double, std::shared_ptr<DamperNoiseBank>> banks;

    std::lock_guard<std::mutex> guard(lock);
    auto& bank = banks[sampleRate];
    if (bank == nullptr)
        bank = std::make_shared<DamperNoiseBank>(sampleRate);
    return bank;
}

DamperNoiseBank::DamperNoiseBank(double sampleRate) : rate(sampleRate) {}

std::string DamperNoiseBank::cacheKey(const DamperVoice& voice, int variant)
{
    const char* prefix = voice.kind == DamperVoice::Kind::keyRelease  ? "n"
                         : voice.kind == DamperVoice::Kind::pedalDown ? "pdv"
                                                                      : "puv";
    std::string key(prefix);
    if (voice.kind == DamperVoice::Kind::keyRelease)
        key.append(std::to_string(voice.note)).append(1, 'v');
    key.append(std::to_string(variant));
    return key;
}

std::uint64_t DamperNoiseBank::seedFor(const std::string& key)
{
    return fnv1a64(key);
}

DamperNoiseBank::VoiceSpec DamperNoiseBank::voiceSpec(const DamperVoice& voice)
{
    VoiceSpec s;
    switch (voice.kind)
    {
    case DamperVoice::Kind::keyRelease:
    {
        const double p = std::clamp((voice.note - 21) / 67.0, 0.0, 1.0);
        s.duration = 0.32;
        s.cutoff = 420.0 + 2100.0 * p;
        s.noiseDecay = 0.026 + 0.02 * (1.0 - p);
        s.noiseGain = 0.75;
        s.partialFrequency = 440.0 * std::pow(2.0, (voice.note - 69) / 12.0);
        s.partialsOff = false;
        s.partialDecay = 0.055 + 0.07 * (1.0 - p);
        s.partialGain = 0.22;
        s.outputGain = std::pow(10.0, (-16.0 - 13.0 * p) / 20.0);
        break;
    }
    case DamperVoice::Kind::pedalDown:
        s = {0.16, 2800.0, 0.018, 1.0, 0.0, true, 0.01, 0.0, 0.025118864315095794};
        break;
    case DamperVoice::Kind::pedalUp:
        s = {0.45, 520.0, 0.055, 0.9, 68.0, false, 0.075, 0.5, 0.05623413251903491};
        break;
    }
    return s;
}

std::shared_ptr<juce::AudioBuffer<float>> DamperNoiseBank::render(const VoiceSpec& s,
                                                                  std::uint64_t seed) const
{
    const auto frames = (std::uint32_t)(s.duration * rate);
    auto buffer = std::make_shared<juce::AudioBuffer<float>>(2, (int)frames);

    const double alpha = 1.0 - std::exp(-2.0 * juce::MathConstants<double>::pi * s.cutoff / rate);
    const double weights[] = {1.0, 0.35, 0.15};
    const double twoPi = 2.0 * juce::MathConstants<double>::pi;

    // Channel 0 takes the first `frames` draws, channel 1 the next: different noise.
    SplitMix64 random(seed);
    for (int channel = 0; channel < 2; ++channel)
    {
        double lowPass = 0.0;
        auto* out = buffer->getWritePointer(channel);
        for (std::uint32_t i = 0; i < frames; ++i)
        {
            const double t = i / rate;
            lowPass += alpha * (random.noise() - lowPass);
            double sample = s.noiseGain * std::exp(-t / s.noiseDecay) * lowPass;

            if (!s.partialsOff)
            {
                const double envelope = std::exp(-t / s.partialDecay);
                for (int k = 1; k <= 3; ++k)
                    if (k * s.partialFrequency < rate / 2.0)
                        sample += envelope * std::sin(twoPi * k * s.partialFrequency * t) *
                                  weights[k - 1] * s.partialGain;
            }

            out[i] = (float)(std::min(t / 0.002, 1.0) * (s.outputGain * sample));
        }
    }
    return buffer;
}

PlayerNode::Buffer DamperNoiseBank::buffer(const DamperVoice& voice, int variant)
{
    if (voice.kind == DamperVoice::Kind::keyRelease && voice.note > highestNote)
        return nullptr;

    const auto key = cacheKey(voice, variant);
    std::lock_guard<std::mutex> guard(cacheLock);
    if (auto found = cache.find(key); found != cache.end())
        return found->second;

    PlayerNode::Buffer made = render(voiceSpec(voice), seedFor(key));
    cache.emplace(key, made);
    ++rendered;
    return made;
}

std::shared_ptr<const DamperTable> DamperNoiseBank::table()
{
    std::lock_guard<std::mutex> guard(tableLock);
    if (builtTable == nullptr)
        builtTable = std::make_shared<const DamperTable>(*this);
    return builtTable;
}

DamperTable::DamperTable(DamperNoiseBank& bank) : rate(bank.sampleRate())
{
    for (int variant = 0; variant < 2; ++variant)
    {
        for (int note = 0; note < keyCount; ++note)
            buffers[(size_t)(note * 2 + variant)] =
                bank.buffer(DamperVoice::keyRelease(note), variant);
        buffers[(size_t)(keyCount * 2 + variant)] = bank.buffer(DamperVoice::pedalDown(), variant);
        buffers[(size_t)(keyCount * 2 + 2 + variant)] =
            bank.buffer(DamperVoice::pedalUp(), variant);
    }
}

const juce::AudioBuffer<float>* DamperTable::find(const DamperVoice& voice,
                                                  int variant) const noexcept
{
    const int v = variant & 1;
    switch (voice.kind)
    {
    case DamperVoice::Kind::keyRelease:
        if (voice.note < 0 || voice.note >= keyCount)
            return nullptr;
        return buffers[(size_t)(voice.note * 2 + v)].get();
    case DamperVoice::Kind::pedalDown:
        return buffers[(size_t)(keyCount * 2 + v)].get();
    case DamperVoice::Kind::pedalUp:
        break;
    }
    return buffers[(size_t)(keyCount * 2 + 2 + v)].get();
}

int DamperNoiseBank::renderedCount() const
{
    std::lock_guard<std::mutex> guard(cacheLock);
    return rendered;
}

} // namespace norvane
