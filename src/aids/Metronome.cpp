#include "aids/Metronome.h"

#include "core/Bounded.h"
#include "core/MessageThread.h"
#include "engine/AudioEngine.h"

#include <algorithm>
#include <cmath>

namespace norvane
{

const std::array<TimeSignature, 14>& TimeSignature::common()
{
    static const std::array<TimeSignature, 14> list{{{2, 4},
                                                     {3, 4},
                                                     {4, 4},
                                                     {5, 4},
                                                     {6, 4},
                                                     {7, 4},
                                                     {3, 8},
                                                     {6, 8},
                                                     {9, 8},
                                                     {12, 8},
                                                     {5, 8},
                                                     {7, 8},
                                                     {2, 2},
                                                     {3, 2}}};
    return list;
}

Metronome::Metronome(Scheduler& schedulerIn)
    : scheduler(schedulerIn), ownedTrack(std::make_unique<ClickTrack>()), track(ownedTrack.get())
{
    bpm.setClamp(within(minimumBPM, maximumBPM, 100.0));
    // A stored signature may come from anywhere; a unit outside 1…64 would make the click
    // spacing meaningless, so it falls back to quarters.
    signature.setClamp(
        [](const TimeSignature& s) {
            return s.unit >= 1 && s.unit <= 64 ? s : TimeSignature{s.beats, 4};
        });
    volume.setClamp(within(0.0, 1.0, 0.6));
    volume.setDidChange([this](const double&) { track->setVolume((float)volume.get()); });
    bpm.setDidChange([this](const double&) { track->setTempo(bpm.get()); });
    signature.setDidChange([this](const TimeSignature&)
                           { track->setSignature(signature->beats, signature->unit); });
    track->setVolume((float)volume.get());
    track->setTempo(bpm.get());
    track->setSignature(signature->beats, signature->unit);
}

Metronome::~Metronome() = default;

void Metronome::attach(AudioEngine& e)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    engine = &e;
    e.attachSource(std::move(ownedTrack));
}

Metronome::Click Metronome::clickAt(int position, const TimeSignature& s)
{
    return ClickTrack::clickAt(position, s.beats, s.unit);
}

void Metronome::start()
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    if (isRunning.get() || engine == nullptr || !engine->isRunning())
        return;
    track->start(startDelay);
    isRunning = true;
}

void Metronome::stop()
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    if (!isRunning.get())
        return;
    track->stop();
    isRunning = false;
}

void Metronome::tap()
{
    const double now = scheduler.now();
    if (!taps.empty() && now - taps.back() > 2.0)
        taps.clear(); // a pause starts a new measurement
    if (taps.size() >= 5)
        taps.pop_front();
    taps.push_back(now);

    if (taps.size() < 2)
        return;
    const double average = (taps.back() - taps.front()) / (double)(taps.size() - 1);
    if (average > 0.0)
        bpm = std::round(60.0 / average);
}

} // namespace norvane
