#include "Play.h"

#include "FeederMidi.h"

#include "app/AppState.h"
#include "core/Realtime.h"
#include "core/Scheduler.h"
#include "engine/AudioProbe.h"
#include "engine/SamplerNode.h"
#include "engine/realtime/PerformanceRouter.h"
#include "input/MidiFileReader.h"
#include "store/UserDefaults.h"

#include <juce_events/juce_events.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <deque>
#include <map>
#include <thread>


namespace norvane::cli
{

namespace
{

int usage()
{
    std::fprintf(stderr, "usage: norvane-cli play IN.mid [--device NAME] [--buffer FRAMES] "
                         "[--rate HZ] [--lanes auto|block|arrival] [--json]\n");
    return 2;
}

/** The device asked for by name, else the first JACK output (a server runs), else the first. */
std::optional<AudioOutputDevice> chooseDevice(AudioEngine& engine, const std::string& wanted)
{
    const auto devices = engine.listOutputDevices();
    for (const auto& device : devices)
        if (!wanted.empty() && (device.name == wanted || device.type + "/" + device.name == wanted))
            return device;
    if (!wanted.empty())
        return std::nullopt;
    for (const auto& device : devices)
        if (device.type == "JACK")
            return device;
    if (!devices.empty())
        return devices.front();
    return std::nullopt;
}

/** Audio thread: when each note layer A starts is heard on the device's timeline (the
    callback's start plus the synthesizer's step of its frame), for key-to-sound figures. */
class SoundStarts final : public NoteStartProbe
{
public:
    explicit SoundStarts(const AudioHost& hostIn) : host(hostIn) { starts.resize(1 << 16); }

    void noteStarted(int pitch, int, int frame) noexcept override
    {
        const auto i = count.load(std::memory_order_relaxed);
        if (i >= starts.size())
            return;
        const int step = (frame + 63) / 64 * 64;
        starts[i] = {pitch, host.lastCallbackNanos() + (std::int64_t)(step * 1.0e9 / host.sampleRate())};
        count.store(i + 1, std::memory_order_release);
    }

    struct Start
    {
        int pitch = 0;
        std::int64_t nanos = 0;
    };
    const AudioHost& host;
    std::vector<Start> starts;
    std::atomic<size_t> count{0};
};

std::int64_t nanosNow()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, (size_t)(p * (double)(values.size() - 1) + 0.5))];
}

std::string quoted(const juce::String& text)
{
    return juce::JSON::toString(juce::var(text), true).toStdString();
}

} // namespace

int play(const std::vector<std::string>& args)
{
    std::string input, deviceName;
    int frames = 128;
    double sampleRate = 0.0;
    bool json = false;
    std::string lanes = "auto";
    for (size_t i = 0; i < args.size(); ++i)
    {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == "--json")
            json = true;
        else if (args[i] == "--device" && hasValue)
            deviceName = args[++i];
        else if (args[i] == "--buffer" && hasValue)
            frames = std::atoi(args[++i].c_str());
        else if (args[i] == "--rate" && hasValue)
            sampleRate = std::atof(args[++i].c_str());
        else if (args[i] == "--lanes" && hasValue &&
                 (args[i + 1] == "auto" || args[i + 1] == "block" || args[i + 1] == "arrival"))
            lanes = args[++i];
        else if (input.empty() && !args[i].starts_with("--"))
            input = args[i];
        else
            return usage();
    }
    if (input.empty() || frames < 16 || frames > 4096 || sampleRate < 0.0 || sampleRate > 384000.0)
        return usage();

    std::string error;
    const auto messages =
        readMidiFile(juce::File::getCurrentWorkingDirectory().getChildFile(input), error);
    if (!messages || messages->empty())
    {
        std::fprintf(stderr, "norvane-cli: %s\n", messages ? "the file holds no messages" : error.c_str());
        return 1;
    }

    // An application of its own in a temporary folder, so that nothing of the player's changes.
    const auto folder = juce::File::createTempFile("norvane-play");
    folder.createDirectory();
    int result = 0;
    {
        RealTimeScheduler scheduler;
        UserDefaults defaults(folder.getChildFile("Norvane.settings"));
        Localization localization(defaults, "en");
        FeederMidi* feeder = nullptr;
        auto options = feederAppOptions(folder, defaults, localization, feeder);
        AppState app(scheduler, std::move(options));
        app.setUpSession();

        auto& engine = app.audioEngine;
        const auto device = chooseDevice(engine, deviceName);
        if (!device)
        {
            std::fprintf(stderr, "norvane-cli: %s\n",
                         deviceName.empty() ? "no audio output device is available"
                                            : ("no output device is called " + deviceName).c_str());
            result = 1;
        }
        else if (engine.selectOutputDevice(device, DeviceFormat{frames, sampleRate}); engine.loadError.get())
        {
            std::fprintf(stderr, "norvane-cli: %s\n", engine.loadError.get()->c_str());
            result = 1;
        }
        else
        {
            auto& host = engine.host();
            host.startPlaying();
            // Let the sounds load and the device settle, then count from a clean start.
            const auto settle = std::chrono::steady_clock::now() + std::chrono::milliseconds(700);
            while (std::chrono::steady_clock::now() < settle)
                juce::MessageManager::getInstance()->runDispatchLoopUntil(20);
            PerformanceEvent placement;
            placement.kind = PerformanceEvent::Kind::setLanePlacement;
            using Placement = PerformanceRouter::LanePlacement;
            placement.data1 = (std::uint8_t)(lanes == "block"     ? Placement::blockStart
                                             : lanes == "arrival" ? Placement::oneBlockLater
                                                                  : Placement::automatic);
            engine.router().postFromMessageThread(placement);
            SoundStarts sounds(host);
            engine.layerA().sampler().setStartProbe(&sounds);
            std::vector<std::pair<int, std::int64_t>> struck; // pitch, when it was fed
            struck.reserve(messages->size());
            const auto figuresBefore = host.deviceFigures();
            const int xrunsBefore = figuresBefore ? figuresBefore->driverXruns : 0;
            host.callbackTimes().clear();

            std::atomic<bool> fed{false};
            std::thread feederThread(
                [&]
                {
                    // A MIDI driver's thread, as the program raises its own.
                    Realtime::raiseThisThread(Realtime::midiPriority);
                    const auto start = std::chrono::steady_clock::now();
                    for (const auto& m : *messages)
                    {
                        std::this_thread::sleep_until(
                            start + std::chrono::nanoseconds((std::int64_t)(m.seconds * 1.0e9)));
                        if (m.bytes.size() == 3 && (m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] > 0)
                            struck.emplace_back(m.bytes[1], nanosNow());
                        feeder->callback(m.bytes.data(), m.bytes.size());
                    }
                    fed = true;
                });
            while (!fed)
                juce::MessageManager::getInstance()->runDispatchLoopUntil(20);
            const auto tailEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(1000);
            while (std::chrono::steady_clock::now() < tailEnd)
                juce::MessageManager::getInstance()->runDispatchLoopUntil(20);
            feederThread.join();
            engine.layerA().sampler().setStartProbe(nullptr);

            // Key to sound: each note's start heard on the device's timeline, less the moment
            // its bytes arrived (the output's own latency, the same for every note, left out).
            std::map<int, std::deque<std::int64_t>> fedAt;
            for (const auto& [pitch, nanos] : struck)
                fedAt[pitch].push_back(nanos);
            std::vector<double> keyToSound;
            for (size_t i = 0; i < sounds.count.load(); ++i)
                if (auto& queue = fedAt[sounds.starts[i].pitch]; !queue.empty())
                {
                    keyToSound.push_back((double)(sounds.starts[i].nanos - queue.front()) / 1.0e6);
                    queue.pop_front();
                }

            const auto& times = host.callbackTimes();
            const auto figures = host.deviceFigures().value_or(AudioHost::DeviceFigures{});
            const auto callbacks = times.callbacks();
            const auto driverXruns = std::max(0, figures.driverXruns - xrunsBefore);
            const auto xruns = driverXruns + times.overruns();
            const double p50 = times.percentileMs(0.5), p99 = times.percentileMs(0.99),
                         p999 = times.percentileMs(0.999), worst = times.maxMs();
            const double cpu50 = times.cpuPercentileMs(0.5), cpu999 = times.cpuPercentileMs(0.999),
                         cpuWorst = times.cpuMaxMs();
            const auto cpuOver = times.cpuOverruns();
            const double period = figures.periodMs > 0.0 ? figures.periodMs : 1.0;
            const bool realtime = host.callbackIsRealtime();
            const auto deviceLabel = figures.type + "/" + figures.name;
            host.stop();

            std::printf("device: %s, %d frames at %.0f Hz (period %.3f ms), output latency %.2f ms\n",
                        deviceLabel.toRawUTF8(), figures.bufferSize, figures.sampleRate, period,
                        figures.outputLatencyMs);
            std::printf("callbacks: %lld, xruns: %lld (%d reported by the driver, %lld callbacks "
                        "past their period)\n",
                        (long long)callbacks, (long long)xruns, driverXruns, (long long)times.overruns());
            std::printf("callback time: p50 %.3f ms (%.1f%%), p99 %.3f ms (%.1f%%), p99.9 %.3f ms "
                        "(%.1f%%), max %.3f ms (%.1f%%) of the period\n",
                        p50, 100 * p50 / period, p99, 100 * p99 / period, p999, 100 * p999 / period,
                        worst, 100 * worst / period);
            std::printf("callback CPU time: p50 %.3f ms, p99.9 %.3f ms, max %.3f ms; %lld callbacks "
                        "used more CPU than their period\n",
                        cpu50, cpu999, cpuWorst, (long long)cpuOver);
            const double k1 = percentile(keyToSound, 0.01), k50 = percentile(keyToSound, 0.5),
                         k99 = percentile(keyToSound, 0.99), kMax = percentile(keyToSound, 1.0);
            std::printf("key to sound (%s): p50 %.3f ms, p99 %.3f ms, max %.3f ms, spread p1-p99 "
                        "%.3f ms over %zu notes\n",
                        lanes == "block"     ? "at the next block's start"
                        : lanes == "arrival" ? "one block after arrival"
                                             : "automatic placement",
                        k50,
                        k99, kMax, k99 - k1, keyToSound.size());
            std::printf("real-time priority for the audio thread: %s\n", realtime ? "yes" : "no");
            if (json)
                std::printf("{\"device\":%s,\"bufferSize\":%d,\"periodMs\":%.3f,\"callbacks\":%lld,"
                            "\"xruns\":%lld,"
                            "\"callbackMs\":{\"p50\":%.3f,\"p99\":%.3f,\"p999\":%.3f,\"max\":%.3f},"
                            "\"cpuMs\":{\"p50\":%.3f,\"p999\":%.3f,\"max\":%.3f,\"overPeriod\":%lld},"
                            "\"keyToSoundMs\":{\"p50\":%.3f,\"p99\":%.3f,\"max\":%.3f,\"spread\":%.3f},"
                            "\"outputLatencyMs\":%.3f,\"realtimePriority\":%s}\n",
                            quoted(deviceLabel).c_str(), figures.bufferSize, period,
                            (long long)callbacks, (long long)xruns, p50, p99, p999, worst, cpu50,
                            cpu999, cpuWorst, (long long)cpuOver, k50, k99, kMax, k99 - k1,
                            figures.outputLatencyMs,
                            realtime ? "true" : "false");
        }
    }
    folder.deleteRecursively();
    return result;
}

} // namespace norvane::cli
