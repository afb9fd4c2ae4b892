#include "aids/Metronome.h"

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
    : scheduler(schedulerIn), ownedPlayer(std::make_unique<PlayerNode>("Metronome")),
      playerNode(ownedPlayer.get())
{
    bpm.setClamp([](const double& v)
                 { return std::isnan(v) ? 100.0 : std::clamp(v, minimumBPM, maximumBPM); });
    // A stored signature may come from anywhere; a unit outside 1…64 would make the click
    // spacing meaningless, so it falls back to quarters.
    signature.setClamp(
        [](const TimeSignature& s) {
            return s.unit >= 1 && s.unit <= 64 ? s : TimeSignature{s.beats, 4};
        });
    volume.setDidChange([this](const double&) { playerNode->setVolume((float)volume.get()); });
    playerNode->setVolume((float)volume.get());
}

Metronome::~Metronome() = default;

void Metronome::attach(AudioEngine& e)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    engine = &e;
    rate = e.host().sampleRate();
    e.attachSource(std::move(ownedPlayer));

    const int channels = 2;
    accentBuffer = clickBuffer(accentFrequency, rate, channels);
    groupBuffer = clickBuffer(groupFrequency, rate, channels);
    tickBuffer = clickBuffer(tickFrequency, rate, channels);
    playerNode->setVolume((float)volume.get());
}

PlayerNode::Buffer Metronome::clickBuffer(double frequency, double sampleRate, int channels)
{
    const auto frames = (int)(std::uint32_t)(0.045 * sampleRate);
    if (frames <= 0 || channels <= 0)
        return nullptr;
    auto buffer = std::make_shared<juce::AudioBuffer<float>>(channels, frames);
    for (int i = 0; i < frames; ++i)
    {
        const double t = i / sampleRate;
        const double sample = std::sin(2.0 * juce::MathConstants<double>::pi * frequency * t) *
                              std::exp(-t / 0.012) * std::min(t / 0.002, 1.0) * 0.5;
        for (int ch = 0; ch < channels; ++ch)
            buffer->setSample(ch, i, (float)sample);
    }
    return buffer;
}

Metronome::Click Metronome::clickAt(int position, const TimeSignature& s)
{
    if (position == 0)
        return Click::accent;
    return s.isCompound() && position % 3 == 0 ? Click::group : Click::tick;
}

const PlayerNode::Buffer& Metronome::bufferFor(Click click) const
{
    switch (click)
    {
    case Click::accent:
        return accentBuffer;
    case Click::group:
        return groupBuffer;
    case Click::tick:
        break;
    }
    return tickBuffer;
}

void Metronome::start()
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    if (isRunning.get() || accentBuffer == nullptr)
        return;
    if (engine == nullptr || !engine->isRunning())
        return;

    playerNode->play();
    beats = 0;
    nextBeat = playerNode->sampleTime() + (std::int64_t)(rate * startDelay);
    isRunning = true;
    scheduleAhead();

    scheduleTimer = scheduler.every(topUpInterval, [this] { scheduleAhead(); });
}

void Metronome::stop()
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    if (!isRunning.get())
        return;
    scheduleTimer.reset();
    playerNode->stop();
    isRunning = false;
}

void Metronome::scheduleAhead()
{
    if (!isRunning.get() || !accentBuffer || !groupBuffer || !tickBuffer)
        return;

    const std::int64_t horizon = playerNode->sampleTime() + (std::int64_t)(rate * lookAhead);
    while (nextBeat < horizon)
    {
        const auto s = signature.get();
        const int position = beats % std::max(s.beats, 1);
        playerNode->schedule(bufferFor(clickAt(position, s)), nextBeat);

        const auto step = (std::int64_t)((4.0 / s.unit) * (60.0 / bpm.get()) * rate);
        nextBeat += std::max<std::int64_t>(step, 1);
        ++beats;
    }
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
