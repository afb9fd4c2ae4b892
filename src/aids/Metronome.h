#pragma once

#include "core/Observable.h"
#include "core/Scheduler.h"
#include "engine/realtime/ClickTrack.h"

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

    The settings live here; the clicks are placed on the audio side by a click track of their
    own (see ClickTrack), sample-accurately at the device's rate, whatever this thread is
    doing. Tempo and signature changes take effect from the next click placed.

    Message thread only.
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
    static constexpr double startDelay = 0.06; ///< seconds from start() to the first click
    static constexpr double accentFrequency = ClickTrack::accentFrequency,
                            groupFrequency = ClickTrack::groupFrequency,
                            tickFrequency = ClickTrack::tickFrequency;

    /** Attaches the click track to the engine's graph, feeding its main mixer. */
    void attach(AudioEngine& engine);

    /** Starts clicking, the first click 60 ms from now. Does nothing when running already,
        before attach(), or while the engine is not running. */
    void start();

    /** Stops and silences the clicks already queued. Does nothing when stopped. */
    void stop();

    /** One tap of the tap-tempo button: the tempo follows the average of the last taps. */
    void tap();

    using Click = ClickTrack::Click;

    /** The click at a position in the bar (0 = the first beat). */
    static Click clickAt(int position, const TimeSignature& signature);

    /** Clicks placed since the start, as the audio side last said. */
    int beatIndex() const { return (int)clicks().beatsPlaced(); }
    /** Where the next click falls, in samples since the start, as the audio side last said. */
    std::int64_t nextBeatSampleTime() const { return clicks().nextBeatSample(); }
    const std::deque<double>& tapTimes() const { return taps; }
    ClickTrack& clicks() const { return *track; }

private:
    Scheduler& scheduler;
    AudioEngine* engine = nullptr;
    std::unique_ptr<ClickTrack> ownedTrack; // until the graph takes it
    ClickTrack* track = nullptr;
    std::deque<double> taps; // seconds on the scheduler's clock, oldest first
};

} // namespace norvane
