#pragma once

#include "core/Observable.h"
#include "core/Scheduler.h"
#include "engine/PlayerNode.h"

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

namespace norvane
{

class AudioEngine;

/** A time signature: `beats` clicks per bar, each one `unit` note long. */
struct TimeSignature
{
    int beats = 4;
    int unit = 4; ///< 2, 4 or 8 as offered; anything from 1 to 64 is played

    /** 6/8, 9/8, 12/8: the bar falls into groups of three eighths. */
    bool isCompound() const { return unit == 8 && beats >= 4 && beats % 3 == 0; }
    std::string label() const { return std::to_string(beats) + "/" + std::to_string(unit); }
    bool operator==(const TimeSignature&) const = default;

    /** The signatures offered, in the order shown. */
    static const std::array<TimeSignature, 14>& common();
};

/** Clicks in time: a strong click on the first beat of the bar, a middle one on the first beat
    of each group of three in compound metres, a plain one elsewhere.

    The clicks are scheduled sample-accurately on a player node of their own, a little ahead
    of what has been played: every 0.12 s the schedule is topped up to 0.6 s past the player's
    position. Tempo and signature changes take effect from the next click scheduled.

    Message thread only; the player consumes the scheduled clicks on the audio thread.
*/
class Metronome final : public ObservableObject
{
public:
    explicit Metronome(Scheduler& scheduler);
    ~Metronome() override;

    Published<bool> isRunning{*this, false};
    Published<double> bpm{*this, 100.0}; ///< quarter notes per minute, kept within 40…240
    Published<TimeSignature> signature{*this, {4, 4}};
    Published<double> volume{*this, 0.6}; ///< the player's linear gain

    static constexpr double minimumBPM = 40.0, maximumBPM = 240.0;
    static constexpr double lookAhead = 0.6;      ///< seconds of clicks kept queued
    static constexpr double topUpInterval = 0.12; ///< seconds between top-ups
    static constexpr double startDelay = 0.06;    ///< seconds from start() to the first click
    static constexpr double accentFrequency = 1568.0, groupFrequency = 1245.0,
                            tickFrequency = 1046.0;

    /** Attaches the player to the engine's graph, feeding its main mixer, and builds the
        clicks at the graph's rate. */
    void attach(AudioEngine& engine);

    /** Starts clicking, the first click 60 ms from now. Does nothing when running already,
        before attach(), or while the engine is not running. */
    void start();

    /** Stops and silences the clicks already queued. Does nothing when stopped. */
    void stop();

    /** One tap of the tap-tempo button: the tempo follows the average of the last taps. */
    void tap();

    enum class Click
    {
        accent,
        group,
        tick
    };

    /** The click at a position in the bar (0 = the first beat). */
    static Click clickAt(int position, const TimeSignature& signature);

    /** 45 ms of a sine at `frequency`: a 2 ms rise, an exponential fall with a 12 ms time
        constant, a peak of 0.5; every channel alike. */
    static PlayerNode::Buffer clickBuffer(double frequency, double sampleRate, int channels);

    int beatIndex() const { return beats; }
    std::int64_t nextBeatSampleTime() const { return nextBeat; }
    double sampleRate() const { return rate; }
    const std::deque<double>& tapTimes() const { return taps; }
    PlayerNode& player() { return *playerNode; }

private:
    void scheduleAhead();
    const PlayerNode::Buffer& bufferFor(Click click) const;

    Scheduler& scheduler;
    AudioEngine* engine = nullptr;
    std::unique_ptr<PlayerNode> ownedPlayer; // until the graph takes it
    PlayerNode* playerNode = nullptr;
    PlayerNode::Buffer accentBuffer, groupBuffer, tickBuffer;
    double rate = 44100.0;
    std::int64_t nextBeat = 0;
    int beats = 0;
    std::unique_ptr<TimerHandle> scheduleTimer;
    std::deque<double> taps; // seconds on the scheduler's clock, oldest first
};

} // namespace norvane
