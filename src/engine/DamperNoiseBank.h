#pragma once

#include "engine/PlayerNode.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace norvane
{

/** What a damper sound is for: a key released (with the note that sounded), or the sustain
    pedal going down or up. */
struct DamperVoice
{
    enum class Kind
    {
        keyRelease,
        pedalDown,
        pedalUp
    };

    Kind kind = Kind::keyRelease;
    int note = 0; ///< keyRelease only

    static DamperVoice keyRelease(int note) { return {Kind::keyRelease, note}; }
    static DamperVoice pedalDown() { return {Kind::pedalDown, 0}; }
    static DamperVoice pedalUp() { return {Kind::pedalUp, 0}; }
};

class DamperNoiseBank;

/** Every damper sound of one bank, rendered in advance, so that the audio thread can play any
    of them without a lock or an allocation. Immutable once built. */
class DamperTable
{
public:
    /** Renders whatever the bank has not rendered yet: about half a second of work. Any thread
        but the audio thread. */
    explicit DamperTable(DamperNoiseBank& bank);

    double sampleRate() const noexcept { return rate; }

    /** Any thread: the sound of a voice and variant (0 or 1); nothing for a key above 88. */
    const juce::AudioBuffer<float>* find(const DamperVoice& voice, int variant) const noexcept;

private:
    static constexpr int keyCount = 89; // notes 0…88

    double rate;
    std::array<PlayerNode::Buffer, (keyCount + 2) * 2> buffers;
};

/** Synthesizes the damper sounds, filtered noise with a faint ring, and caches them: one bank
    per sample rate, shared by every layer. Each voice has two renderings (variants 0 and 1)
    with different noise.

    Safe from any thread: the registry of banks and each bank's cache have locks of their own;
    a bank's lock is held while it renders, so each buffer is rendered once. Never call it from
    the audio thread.
*/
class DamperNoiseBank
{
public:
    /** The synthesis parameters of one voice. */
    struct VoiceSpec
    {
        double duration = 0.0;   ///< seconds
        double cutoff = 0.0;     ///< Hz, one-pole low-pass on the noise
        double noiseDecay = 0.0; ///< seconds, time constant
        double noiseGain = 0.0;
        double partialFrequency = 0.0; ///< Hz
        bool partialsOff = false;
        double partialDecay = 0.0; ///< seconds, time constant
        double partialGain = 0.0;
        double outputGain = 0.0; ///< linear
    };

    /** The bank for a sample rate, created on first request. */
    static std::shared_ptr<DamperNoiseBank> shared(double sampleRate);

    explicit DamperNoiseBank(double sampleRate);

    double sampleRate() const { return rate; }

    /** The stereo buffer of a voice and variant, rendered on first use; nothing for a key
        above note 88. */
    PlayerNode::Buffer buffer(const DamperVoice& voice, int variant);

    /** "n60v0", "pdv1", "puv0". */
    static std::string cacheKey(const DamperVoice& voice, int variant);

    static VoiceSpec voiceSpec(const DamperVoice& voice);

    /** Renders a voice with the noise of `seed`. */
    std::shared_ptr<juce::AudioBuffer<float>> render(const VoiceSpec& parameters,
                                                     std::uint64_t seed) const;

    /** The seed of a cache key: its 64-bit FNV-1a hash. */
    static std::uint64_t seedFor(const std::string& key);

    /** The whole bank as a table, built on first request (slowly: never on the audio thread)
        and shared from then on. */
    std::shared_ptr<const DamperTable> table();

    /** How many buffers this bank has rendered. */
    int renderedCount() const;

    static constexpr int highestNote = 88;

private:
    double rate;
    mutable std::mutex cacheLock;
    std::map<std::string, PlayerNode::Buffer> cache;
    int rendered = 0;
    std::mutex tableLock;
    std::shared_ptr<const DamperTable> builtTable; // guarded by tableLock
};

} // namespace norvane
