#pragma once

#include <juce_audio_devices/juce_audio_devices.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace norvane
{

/** What a simulated device reports about its own callbacks, for whoever drives it and for the
    code it plays (which may read the clock from inside the callback).

    Written by the device's thread; any thread may read. */
struct SimulatedDeviceClock
{
    /** Steady-clock nanoseconds at which the callback now running (or the last one) began. */
    std::atomic<std::int64_t> blockStartNanos{0};
    /** When that callback was due: the start of its period on the device's schedule. */
    std::atomic<std::int64_t> blockDueNanos{0};
    /** The device's sample position at the start of that callback. */
    std::atomic<std::int64_t> blockStartSample{0};
    std::atomic<std::int64_t> callbacks{0};
    /** Callbacks that finished after their period had ended. */
    std::atomic<std::int64_t> lateCallbacks{0};

    /** Called on the device's thread right before and after each callback, when set before
        the device starts (the allocation checks arm and disarm themselves here). */
    std::function<void()> beforeCallback, afterCallback;
};

/** A sound card that is not there: one output device, "Simulated output", whose thread pulls
    its callback in blocks of a fixed size at the real rate (or as fast as it can), with a clock
    the rest of the program can read. It plays the live path exactly as a real device would,
    on machines without one. */
class SimulatedAudioDeviceType final : public juce::AudioIODeviceType
{
public:
    struct Settings
    {
        /** The rate and size it opens with unless asked for others among those below. */
        double sampleRate = 48000.0;
        int bufferSize = 128;
        /** What else it offers; empty = only the two above. */
        std::vector<double> otherSampleRates;
        std::vector<int> otherBufferSizes;
        /** The latency it reports beyond its buffer, in frames. */
        int outputLatency = 0;
        /** Pace the callbacks at the real rate; otherwise run them back to back. */
        bool realTime = true;
        std::shared_ptr<SimulatedDeviceClock> clock = std::make_shared<SimulatedDeviceClock>();
        /** While it holds a text, opening the device fails with it (a driver's refusal). */
        std::shared_ptr<std::string> refusal = std::make_shared<std::string>();
    };

    explicit SimulatedAudioDeviceType(Settings settings);

    static constexpr const char* typeName = "Simulated";
    static constexpr const char* deviceName = "Simulated output";

    void scanForDevices() override {}
    juce::StringArray getDeviceNames(bool wantInputNames) const override;
    int getDefaultDeviceIndex(bool) const override { return 0; }
    int getIndexOfDevice(juce::AudioIODevice*, bool asInput) const override
    {
        return asInput ? -1 : 0;
    }
    bool hasSeparateInputsAndOutputs() const override { return true; }
    juce::AudioIODevice* createDevice(const juce::String& outputName,
                                      const juce::String& inputName) override;

private:
    Settings settings;
};

} // namespace norvane
