#include "aids/Metronome.h"
#include "engine/SimulatedAudioDevice.h"
#include "support/EngineFixture.h"

#include <thread>

#include <cmath>

namespace norvane::test
{

namespace
{

struct Click
{
    int sample = 0;
    Metronome::Click kind = Metronome::Click::tick;
};

/** Finds the clicks in a render: an onset after at least 10 ms of silence, its kind told by
    the frequency measured over its first 30 ms. */
std::vector<Click> findClicks(const juce::AudioBuffer<float>& audio, double rate)
{
    const float* x = audio.getReadPointer(0);
    const int n = audio.getNumSamples();
    const int quiet = (int)(0.01 * rate), window = (int)(0.03 * rate);
    std::vector<Click> clicks;
    int silentFor = quiet;
    for (int i = 0; i < n; ++i)
    {
        if (std::abs(x[i]) < 1.0e-3f)
        {
            ++silentFor;
            continue;
        }
        if (silentFor >= quiet)
        {
            int crossings = 0;
            for (int j = i + 1; j < std::min(n, i + window); ++j)
                crossings += (x[j - 1] < 0.0f) != (x[j] < 0.0f);
            const double frequency = crossings / (2.0 * window / rate);
            const double distances[] = {std::abs(frequency - Metronome::accentFrequency),
                                        std::abs(frequency - Metronome::groupFrequency),
                                        std::abs(frequency - Metronome::tickFrequency)};
            const auto nearest = std::min_element(std::begin(distances), std::end(distances)) -
                                 std::begin(distances);
            // The onset: where the rising sine began, a sample or two before it crossed the
            // threshold.
            clicks.push_back({i, (Metronome::Click)nearest});
        }
        silentFor = 0;
    }
    return clicks;
}

} // namespace

class MetronomeTest : public EngineFixture
{
protected:
    MetronomeTest() : metronome(engine->metronome()) {}

    /** Renders whole blocks for about `seconds`, the clock following, and calls `atTime`
        between blocks. */
    std::vector<Click> renderClicks(double seconds, const std::function<void(double)>& atTime = {})
    {
        auto& host = engine->host();
        const int block = host.maximumBlockSize();
        const int blocks = (int)std::ceil(seconds * rate() / block);
        juce::AudioBuffer<float> audio(2, blocks * block);
        for (int i = 0; i < blocks; ++i)
        {
            if (atTime)
                atTime(i * block / rate());
            scheduler.advance(block / rate());
            host.render(audio, i * block, block);
        }
        return findClicks(audio, rate());
    }

    /** Where each click after the first lies, in samples after the first. */
    static std::vector<int> offsets(const std::vector<Click>& clicks)
    {
        std::vector<int> list;
        for (auto& c : clicks)
            list.push_back(c.sample - clicks.front().sample);
        return list;
    }

    static std::vector<Metronome::Click> kinds(const std::vector<Click>& clicks)
    {
        std::vector<Metronome::Click> list;
        for (auto& c : clicks)
            list.push_back(c.kind);
        return list;
    }

    double rate() const { return engine->host().sampleRate(); }

    Metronome& metronome;
};

using K = Metronome::Click;

TEST_F(MetronomeTest, ClicksArriveOnTheSampleInEveryMetre)
{
    ASSERT_EQ(rate(), 48000.0);
    metronome.start();
    ASSERT_TRUE(metronome.isRunning.get());
    auto clicks = renderClicks(2.5);
    ASSERT_EQ(clicks.size(), 5u);
    // The first click 60 ms after the start; then 0.6 s apart at 100 bpm.
    EXPECT_NEAR(clicks[0].sample, 2880, 3);
    EXPECT_EQ(offsets(clicks), (std::vector<int>{0, 28800, 57600, 86400, 115200}));
    EXPECT_EQ(kinds(clicks), (std::vector<K>{K::accent, K::tick, K::tick, K::tick, K::accent}));

    // A stop silences what was queued; a new start begins a bar 60 ms later.
    metronome.stop();
    EXPECT_FALSE(metronome.isRunning.get());
    EXPECT_TRUE(renderClicks(1.0).empty());

    metronome.signature = TimeSignature{6, 8};
    metronome.start();
    clicks = renderClicks(3.55);
    ASSERT_EQ(clicks.size(), 12u);
    EXPECT_NEAR(clicks[0].sample, 2880, 3);
    EXPECT_EQ(clicks[1].sample - clicks[0].sample, 14400); // 0.3 s
    EXPECT_EQ(kinds(clicks),
              (std::vector<K>{K::accent, K::tick, K::tick, K::group, K::tick, K::tick, K::accent,
                              K::tick, K::tick, K::group, K::tick, K::tick}));

    metronome.stop();
    metronome.signature = TimeSignature{2, 2};
    metronome.start();
    clicks = renderClicks(3.0);
    EXPECT_EQ(offsets(clicks), (std::vector<int>{0, 57600, 115200})); // 1.2 s
    EXPECT_EQ(kinds(clicks), (std::vector<K>{K::accent, K::tick, K::accent}));
}

TEST_F(MetronomeTest, ASignatureChangeKeepsTheCountAndATempoChangeTheNextClick)
{
    metronome.start();
    bool changed = false;
    const auto clicks = renderClicks(4.5,
                                     [&](double)
                                     {
                                         if (!changed && metronome.beatIndex() == 5)
                                         {
                                             metronome.signature = TimeSignature{3, 4};
                                             changed = true;
                                         }
                                     });
    ASSERT_TRUE(changed);
    // Five clicks in 4/4, then the sixth (index 5) takes position 5 mod 3 = 2 of the new bar.
    ASSERT_GE(clicks.size(), 8u);
    EXPECT_EQ(kinds(clicks), (std::vector<K>{K::accent, K::tick, K::tick, K::tick, K::accent,
                                             K::tick, K::accent, K::tick}));

    // A new tempo: the click already due keeps its place, the next follows the new tempo.
    metronome.stop();
    metronome.signature = TimeSignature{4, 4};
    metronome.start();
    const auto faster = renderClicks(2.0,
                                     [&](double seconds)
                                     {
                                         if (seconds > 0.1 && metronome.bpm.get() != 120.0)
                                             metronome.bpm = 120.0;
                                     });
    ASSERT_GE(faster.size(), 3u);
    EXPECT_EQ(faster[1].sample - faster[0].sample, 28800);
    EXPECT_EQ(faster.back().sample - faster[faster.size() - 2].sample, 24000);
}

TEST_F(MetronomeTest, SettingsAndTheirBounds)
{
    metronome.bpm = 300.0;
    EXPECT_EQ(metronome.bpm.get(), 240.0);
    metronome.bpm = 10.0;
    EXPECT_EQ(metronome.bpm.get(), 40.0);
    metronome.bpm = metronome.bpm.get() - 1.0;
    EXPECT_EQ(metronome.bpm.get(), 40.0);

    metronome.signature = TimeSignature{7, 0}; // from a damaged file: played in quarters
    EXPECT_EQ(metronome.signature.get(), (TimeSignature{7, 4}));

    const auto pattern = [](TimeSignature s)
    {
        std::vector<K> list;
        for (int p = 0; p < s.beats; ++p)
            list.push_back(Metronome::clickAt(p, s));
        return list;
    };
    EXPECT_EQ(pattern({3, 8}), (std::vector<K>{K::accent, K::tick, K::tick}));
    EXPECT_EQ(pattern({9, 8}), (std::vector<K>{K::accent, K::tick, K::tick, K::group, K::tick,
                                               K::tick, K::group, K::tick, K::tick}));
    EXPECT_EQ(pattern({12, 8})[9], K::group);
    EXPECT_EQ(pattern({7, 8}),
              (std::vector<K>{K::accent, K::tick, K::tick, K::tick, K::tick, K::tick, K::tick}));
    for (const auto& s : TimeSignature::common())
        EXPECT_EQ(s.isCompound(), s.label() == "6/8" || s.label() == "9/8" || s.label() == "12/8");

    EXPECT_EQ(ClickTrack::clickWave(1046.0, 48000.0).size(), 2160u);
    EXPECT_EQ(ClickTrack::clickWave(1046.0, 44100.0).size(), 1984u);
    const auto click = ClickTrack::clickWave(1568.0, 48000.0);
    EXPECT_NEAR(*std::max_element(click.begin(), click.end()), 0.5f * std::exp(-2.0 / 12.0), 0.02f);

    metronome.volume = 0.25;
    EXPECT_EQ(metronome.clicks().getVolume(), 0.25f);
}

TEST_F(MetronomeTest, TapTempoFollowsTheLastTaps)
{
    const auto tapAt = [&](std::initializer_list<double> times)
    {
        double last = 0.0;
        for (double t : times)
        {
            scheduler.advance(t - last);
            last = t;
            metronome.tap();
        }
    };

    tapAt({0.0});
    EXPECT_EQ(metronome.bpm.get(), 100.0); // one tap changes nothing
    tapAt({0.5, 1.0, 1.5});
    EXPECT_EQ(metronome.bpm.get(), 120.0);

    tapAt({4.0}); // after a pause: a new measurement
    EXPECT_EQ(metronome.bpm.get(), 120.0);
    EXPECT_EQ(metronome.tapTimes().size(), 1u);

    tapAt({4.4, 4.8, 5.2, 5.6, 6.0, 6.4});
    EXPECT_EQ(metronome.tapTimes().size(), 5u);
    EXPECT_EQ(metronome.bpm.get(), 150.0);

    tapAt({9.0, 9.2});
    EXPECT_EQ(metronome.bpm.get(), 240.0);   // 300 is out of range
    EXPECT_FALSE(metronome.isRunning.get()); // tapping never starts the clicks
}

TEST_F(MetronomeTest, StartAndStopTwiceAndADeviceChangeStops)
{
    const int timers = scheduler.pendingCount();
    metronome.stop(); // stopped already: nothing happens
    EXPECT_FALSE(metronome.isRunning.get());
    metronome.start();
    const auto next = metronome.nextBeatSampleTime();
    const auto index = metronome.beatIndex();
    metronome.start(); // running already: the schedule stays
    EXPECT_EQ(metronome.nextBeatSampleTime(), next);
    EXPECT_EQ(metronome.beatIndex(), index);

    // Changing the output stops the clicks, whether or not the new device opens.
    engine->selectOutputDevice(AudioOutputDevice{1, "Nowhere", "No such type"});
    EXPECT_FALSE(metronome.isRunning.get());
    EXPECT_EQ(scheduler.pendingCount(), timers); // its top-up timer is gone too
}

/** Beats whose length is no whole number of samples: each click still falls in the sample of
    its exact time, so the hundredth is where it should be, not a sample per beat earlier. */
TEST_F(MetronomeTest, ALongRunDoesNotDrift)
{
    metronome.bpm = 97.0; // 29690.72 samples a beat at 48 kHz
    metronome.start();
    const auto clicks = renderClicks(30.0);
    ASSERT_GE(clicks.size(), 48u);
    const double step = 60.0 / 97.0 * 48000.0;
    for (size_t k = 0; k < clicks.size(); ++k)
        EXPECT_NEAR(clicks[k].sample - clicks[0].sample, std::floor(2880.0 + k * step) - 2880.0, 1)
            << "click " << k;
}

/** Through a device at 44.1 kHz (the engine was set up for 48): the clicks are built and placed
    at the device's rate, so 100 bpm is 100 bpm there too. */
TEST(MetronomeOnADevice, TheClicksFollowTheDeviceRate)
{
    struct Recorder final : SignalProbe
    {
        void rendered(const juce::AudioBuffer<float>& block, int n) noexcept override
        {
            const int room = std::min(n, signal.getNumSamples() - written.load());
            if (room > 0)
                signal.copyFrom(0, written.load(), block, 0, 0, room);
            written += std::max(room, 0);
        }
        juce::AudioBuffer<float> signal{1, 44100 * 3};
        std::atomic<int> written{0};
    } recorder;

    auto clock = std::make_shared<SimulatedDeviceClock>();
    ManualScheduler scheduler;
    AudioEngine::Options options;
    options.soundBankPath = "/nonexistent/none.sf2";
    options.useAudioDevice = true;
    options.deviceType = [clock]
    {
        SimulatedAudioDeviceType::Settings settings;
        settings.sampleRate = 44100.0;
        settings.bufferSize = 256;
        settings.clock = clock;
        return std::make_unique<SimulatedAudioDeviceType>(settings);
    };
    AudioEngine engine(scheduler, options);
    ASSERT_EQ(engine.host().sampleRate(), 44100.0);
    auto& metronome = engine.metronome();
    metronome.clicks().setOutputProbe(&recorder);
    metronome.start();
    ASSERT_TRUE(metronome.isRunning.get());
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (recorder.written < recorder.signal.getNumSamples() &&
           std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    metronome.stop();
    engine.host().stop();
    metronome.clicks().setOutputProbe(nullptr);

    const auto clicks = findClicks(recorder.signal, 44100.0);
    ASSERT_GE(clicks.size(), 4u);
    for (size_t k = 1; k < clicks.size(); ++k)
        EXPECT_EQ(clicks[k].sample - clicks[k - 1].sample, 26460) << "click " << k; // 0.6 s
    EXPECT_EQ(clicks[0].kind, Metronome::Click::accent);
    EXPECT_EQ(clicks[1].kind, Metronome::Click::tick);
}

} // namespace norvane::test
