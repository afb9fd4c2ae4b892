#include "Latency.h"

#include "FeederMidi.h"

#include "aids/Metronome.h"
#include "app/AppState.h"
#include "catalog/PluginLibrary.h"
#include "core/Realtime.h"
#include "core/Scheduler.h"
#include "engine/SamplerNode.h"
#include "engine/SimulatedAudioDevice.h"
#include "input/MidiFileReader.h"
#include "store/CustomNames.h"
#include "store/UserDefaults.h"
#include "ui/ContentView.h"

#include <juce_events/juce_events.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <thread>


namespace norvane::cli
{

namespace
{

using Clock = std::chrono::steady_clock;

constexpr double rate = 48000.0;
constexpr int blockFrames = 128;
constexpr double clickBPM = 100.0;

std::int64_t nanosNow()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

/** Audio thread: each note a sampler starts, with the start of the block it sounds in. */
class StartRecorder final : public NoteStartProbe
{
public:
    explicit StartRecorder(const SimulatedDeviceClock& c) : clock(c) { starts.resize(65536); }

    void noteStarted(int pitch, int, int) noexcept override
    {
        const auto i = count.load(std::memory_order_relaxed);
        if (i >= starts.size())
            return;
        starts[i] = {pitch, clock.blockStartNanos.load(std::memory_order_relaxed),
                     clock.blockDueNanos.load(std::memory_order_relaxed),
                     clock.callbacks.load(std::memory_order_relaxed)};
        count.store(i + 1, std::memory_order_release);
    }

    struct Start
    {
        int pitch = 0;
        std::int64_t nanos = 0; // when the block began
        std::int64_t due = 0;   // when it should have
        std::int64_t block = 0; // the device's callback it sounded in, counted from 0
    };

    const SimulatedDeviceClock& clock;
    std::vector<Start> starts;
    std::atomic<size_t> count{0};
};

/** Audio thread: the click voice's output, placed on the device's own sample timeline from
    the moment the metronome was started (the device may have played for a long while before,
    on a slow machine, while the window was being built). */
class ClickRecorder final : public SignalProbe
{
public:
    ClickRecorder(const SimulatedDeviceClock& c, size_t length) : clock(c), signal(length, 0.0f) {}

    /** Message thread, just before the metronome starts. */
    void startHere() { origin.store(clock.blockStartSample.load()); }

    /** Device samples from the start to `sample`, within what the recording holds. */
    std::int64_t recordedUpTo(std::int64_t sample) const
    {
        return std::clamp(sample - origin.load(), std::int64_t{0}, (std::int64_t)signal.size());
    }

    void rendered(const juce::AudioBuffer<float>& block, int numSamples) noexcept override
    {
        const auto at = clock.blockStartSample.load(std::memory_order_relaxed) - origin.load();
        for (int i = 0; i < numSamples; ++i)
            if (const auto index = at + i; index >= 0 && index < (std::int64_t)signal.size())
                signal[(size_t)index] = block.getSample(0, i);
    }

    const SimulatedDeviceClock& clock;
    std::vector<float> signal;
    std::atomic<std::int64_t> origin{std::numeric_limits<std::int64_t>::max() / 2};
};

/** Keeps the message thread busy for `stallMs` of every second, drawing the window. */
class Staller final : public juce::Timer
{
public:
    Staller(juce::Component& viewIn, int stallMsIn) : view(viewIn), stallMs(stallMsIn)
    {
        if (stallMs > 0)
            startTimer(1000);
    }

    void timerCallback() override
    {
        const auto until = Clock::now() + std::chrono::milliseconds(stallMs);
        do
        {
            const auto image = view.createComponentSnapshot(view.getLocalBounds(), true, 1.0f);
            ++paints;
        } while (Clock::now() < until);
    }

    juce::Component& view;
    const int stallMs;
    int paints = 0;
};

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, (size_t)(p * (double)values.size()))];
}

/** Where each click begins: the first sound after at least 10 ms of silence. */
std::vector<std::int64_t> onsets(const std::vector<float>& signal)
{
    std::vector<std::int64_t> found;
    std::int64_t silentRun = 1 << 30;
    for (size_t i = 0; i < signal.size(); ++i)
    {
        if (signal[i] != 0.0f)
        {
            if (silentRun >= (std::int64_t)(0.01 * rate))
                found.push_back((std::int64_t)i);
            silentRun = 0;
        }
        else
        {
            ++silentRun;
        }
    }
    return found;
}

} // namespace

int latency(const std::vector<std::string>& args)
{
    int stallMs = 0;
    bool json = false;
    juce::File midiFile = juce::File(NORVANE_SHARED_BENCH).getChildFile("dense.mid");
    for (size_t i = 0; i < args.size(); ++i)
    {
        if (args[i] == "--json")
            json = true;
        else if (args[i] == "--stall-ms" && i + 1 < args.size())
            stallMs = std::max(0, std::atoi(args[++i].c_str()));
        else if (args[i] == "--midi" && i + 1 < args.size())
            midiFile = juce::File::getCurrentWorkingDirectory().getChildFile(args[++i]);
        else
        {
            std::fprintf(stderr,
                         "usage: norvane-cli latency [--stall-ms N] [--json] [--midi FILE]\n");
            return 2;
        }
    }

    std::string error;
    const auto messages = readMidiFile(midiFile, error);
    if (!messages || messages->empty())
    {
        std::fprintf(stderr, "norvane-cli: %s\n",
                     messages ? "the file holds no messages" : error.c_str());
        return 1;
    }

    // An application of its own in a temporary folder, playing through a simulated device.
    const auto folder = juce::File::createTempFile("norvane-latency");
    folder.createDirectory();
    auto clock = std::make_shared<SimulatedDeviceClock>();
    {
        RealTimeScheduler scheduler;
        UserDefaults defaults(folder.getChildFile("Norvane.settings"));
        Localization localization(defaults, "en");
        ThemeStore theme(defaults, folder);
        CustomNames names(folder.getChildFile("CustomNames.json"));
        PluginLibrary plugins(folder.getChildFile("Plugins.json"),
                              [](auto&) { return std::vector<juce::PluginDescription>{}; });
        ViewContext context{theme, localization};

        FeederMidi* feeder = nullptr;
        auto options = feederAppOptions(folder, defaults, localization, feeder);
        options.engine.deviceType = [clock]
        {
            SimulatedAudioDeviceType::Settings settings;
            settings.sampleRate = rate;
            settings.bufferSize = blockFrames;
            settings.clock = clock;
            return std::make_unique<SimulatedAudioDeviceType>(settings);
        };

        const double seconds = messages->back().seconds + 1.5;
        StartRecorder startRecorder(*clock);
        ClickRecorder clickRecorder(*clock, (size_t)((seconds + 3.0) * rate));

        AppState app(scheduler, std::move(options));
        if (app.audioEngine.loadError.get())
        {
            std::fprintf(stderr, "norvane-cli: %s\n", app.audioEngine.loadError.get()->c_str());
            return 1;
        }
        ContentView view(context, app, names, plugins);
        app.setUpSession();
        app.audioEngine.layerA().sampler().setStartProbe(&startRecorder);
        auto& metronome = app.audioEngine.metronome();
        metronome.clicks().setOutputProbe(&clickRecorder);
        metronome.bpm = clickBPM;
        metronome.signature = TimeSignature{4, 4};
        clickRecorder.startHere();
        metronome.start();
        Staller staller(view, stallMs);

        // The feeder: every message at its own time, through the MIDI input's byte callback.
        struct Arrival
        {
            int pitch = 0;
            std::int64_t nanos = 0;
            std::int64_t blocksDone = 0; // callbacks finished when the bytes came
        };
        std::vector<Arrival> arrivals;
        arrivals.reserve(messages->size());
        std::atomic<bool> fed{false};
        std::thread feederThread(
            [&]
            {
                // A MIDI driver's thread, as the program raises its own.
                Realtime::raiseThisThread(Realtime::midiPriority);
                const auto start = Clock::now() + std::chrono::milliseconds(500);
                for (const auto& m : *messages)
                {
                    std::this_thread::sleep_until(
                        start + std::chrono::nanoseconds((std::int64_t)(m.seconds * 1.0e9)));
                    if (m.bytes.size() == 3 && (m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] > 0)
                        arrivals.push_back({m.bytes[1], nanosNow(), clock->callbacks.load()});
                    feeder->callback(m.bytes.data(), m.bytes.size());
                }
                fed = true;
            });

        while (!fed)
            juce::MessageManager::getInstance()->runDispatchLoopUntil(20);
        const auto tailEnd = Clock::now() + std::chrono::milliseconds(1500);
        while (Clock::now() < tailEnd)
            juce::MessageManager::getInstance()->runDispatchLoopUntil(20);
        feederThread.join();

        // Every beat up to here was placed while the metronome ran.
        const auto clicksEnd = clickRecorder.recordedUpTo(clock->blockStartSample.load());
        metronome.stop();
        app.audioEngine.host().stop();
        app.audioEngine.layerA().sampler().setStartProbe(nullptr);
        metronome.clicks().setOutputProbe(nullptr);

        // Notes: the k-th start of a pitch answers the k-th note-on of that pitch.
        // Notes whose block the system woke late are told apart: that lateness is the
        // machine's, the same for every program it runs.
        std::map<int, std::vector<StartRecorder::Start>> startsByPitch;
        for (size_t i = 0; i < startRecorder.count.load(); ++i)
            startsByPitch[startRecorder.starts[i].pitch].push_back(startRecorder.starts[i]);
        std::map<int, size_t> used;
        std::vector<double> latencies, onTime;
        int lost = 0, late = 0;
        const auto wakeSlack = (std::int64_t)(0.5e6); // half a millisecond
        for (const auto& arrived : arrivals)
        {
            auto& list = startsByPitch[arrived.pitch];
            auto& k = used[arrived.pitch];
            if (k >= list.size())
            {
                ++lost;
                continue;
            }
            const auto& start = list[k++];
            // Bytes that come while a callback runs sound in the next one; later is late,
            // however loaded the machine (this count does not depend on its timing).
            if (start.block > arrived.blocksDone + 1)
                ++late;
            latencies.push_back((double)(start.nanos - arrived.nanos) / 1.0e6);
            if (start.nanos - start.due < wakeSlack)
                onTime.push_back(latencies.back());
        }

        // Clicks: each against the grid set by the first, one per beat.
        const auto found = onsets(clickRecorder.signal);
        const double period = 60.0 / clickBPM * rate;
        double worstClick = 0.0;
        int missing = 0, clicks = 0;
        if (!found.empty())
        {
            const auto last = (double)clicksEnd;
            size_t j = 0;
            for (int k = 0;; ++k)
            {
                const double ideal = (double)found.front() + k * period;
                if (ideal > last - period)
                    break;
                ++clicks;
                while (j + 1 < found.size() &&
                       std::abs((double)found[j + 1] - ideal) < std::abs((double)found[j] - ideal))
                    ++j;
                const double off = std::abs((double)found[j] - ideal);
                if (off > period / 2)
                    ++missing;
                worstClick = std::max(worstClick, std::min(off, period / 2));
            }
            // Clicks beyond the grid's count (bunched after a stall) are errors too.
            if ((int)found.size() > clicks + 1)
                worstClick = std::max(worstClick, period / 2);
        }

        const double p50 = percentile(latencies, 0.5), p99 = percentile(latencies, 0.99);
        const double worst = percentile(latencies, 1.0);
        const double worstOnTime = percentile(onTime, 1.0);
        std::printf("performance: %s, %zu note-ons fed in real time; message thread busy %d ms of "
                    "every second (%d window drawings)\n",
                    midiFile.getFileName().toRawUTF8(), arrivals.size(), stallMs, staller.paints);
        std::printf("simulated device: %d frames at %.0f Hz (%.3f ms), %lld callbacks, %lld late\n",
                    blockFrames, rate, 1000.0 * blockFrames / rate,
                    (long long)clock->callbacks.load(), (long long)clock->lateCallbacks.load());
        std::printf("note latency, arrival to first sample: p50 %.3f ms, p99 %.3f ms, max %.3f ms "
                    "(%zu notes, %d never sounded, %d after the block that followed their bytes)\n",
                    p50, p99, worst, latencies.size(), lost, late);
        std::printf("  in blocks the system woke on time (%zu notes): max %.3f ms\n", onTime.size(),
                    worstOnTime);
        std::printf("metronome at %.0f bpm: %d clicks, %d missing, worst error %.1f samples\n",
                    clickBPM, clicks, missing, worstClick);
        if (json)
            std::printf(
                "{\"blockFrames\":%d,\"stallMs\":%d,\"notes\":%zu,\"latencyMs\":{\"p50\":%.3f,"
                "\"p99\":%.3f,\"max\":%.3f},\"clickErrorSamples\":%.1f,\"clicks\":%d,"
                "\"clicksMissing\":%d,\"notesLost\":%d,\"notesLate\":%d,\"lateCallbacks\":%lld,"
                "\"maxOnTimeMs\":%.3f}\n",
                blockFrames, stallMs, latencies.size(), p50, p99, worst, worstClick, clicks,
                missing, lost, late, (long long)clock->lateCallbacks.load(), worstOnTime);
    }
    folder.deleteRecursively();
    return 0;
}

} // namespace norvane::cli
