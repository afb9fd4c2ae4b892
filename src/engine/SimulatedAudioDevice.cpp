#include "engine/SimulatedAudioDevice.h"

#include <chrono>
#include <thread>

namespace norvane
{

namespace
{

std::int64_t steadyNanos()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

class SimulatedDevice final : public juce::AudioIODevice, private juce::Thread
{
public:
    explicit SimulatedDevice(const SimulatedAudioDeviceType::Settings& s)
        : juce::AudioIODevice(SimulatedAudioDeviceType::deviceName,
                              SimulatedAudioDeviceType::typeName),
          juce::Thread("Norvane simulated device"), settings(s)
    {
    }

    ~SimulatedDevice() override { close(); }

    juce::StringArray getOutputChannelNames() override { return {"Left", "Right"}; }
    juce::StringArray getInputChannelNames() override { return {}; }
    juce::Array<double> getAvailableSampleRates() override
    {
        juce::Array<double> rates{settings.sampleRate};
        for (const double r : settings.otherSampleRates)
            rates.addIfNotAlreadyThere(r);
        return rates;
    }
    juce::Array<int> getAvailableBufferSizes() override
    {
        juce::Array<int> sizes{settings.bufferSize};
        for (const int n : settings.otherBufferSizes)
            sizes.addIfNotAlreadyThere(n);
        return sizes;
    }
    int getDefaultBufferSize() override { return settings.bufferSize; }

    juce::String open(const juce::BigInteger&, const juce::BigInteger&, double rate, int size) override
    {
        if (settings.refusal != nullptr && !settings.refusal->empty())
            return juce::String::fromUTF8(settings.refusal->c_str());
        close();
        // As a driver would: what was asked if it can, else its own.
        currentRate = getAvailableSampleRates().contains(rate) ? rate : settings.sampleRate;
        currentSize = getAvailableBufferSizes().contains(size) ? size : settings.bufferSize;
        buffer.setSize(2, currentSize);
        lateBeforeOpening = settings.clock->lateCallbacks.load();
        opened = true;
        return {};
    }

    void close() override
    {
        stop();
        opened = false;
    }

    bool isOpen() override { return opened; }

    void start(juce::AudioIODeviceCallback* newCallback) override
    {
        if (newCallback == nullptr || !opened)
            return;
        stop();
        callback = newCallback;
        callback->audioDeviceAboutToStart(this);
        // As a sound card's own thread would: real-time scheduling where the system allows it.
        juce::Thread::RealtimeOptions options;
        options.priority = 8;
        if (!startRealtimeThread(options))
            startThread(juce::Thread::Priority::highest);
    }

    void stop() override
    {
        if (callback == nullptr)
            return;
        stopThread(4000);
        auto* old = std::exchange(callback, nullptr);
        old->audioDeviceStopped();
    }

    bool isPlaying() override { return callback != nullptr; }
    juce::String getLastError() override { return {}; }
    int getCurrentBufferSizeSamples() override { return currentSize; }
    double getCurrentSampleRate() override { return currentRate; }
    int getCurrentBitDepth() override { return 32; }
    juce::BigInteger getActiveOutputChannels() const override { return 3; }
    juce::BigInteger getActiveInputChannels() const override { return {}; }
    int getOutputLatencyInSamples() override { return settings.outputLatency; }
    int getInputLatencyInSamples() override { return 0; }
    /** The late callbacks since it opened, as a driver counts its xruns. */
    int getXRunCount() const noexcept override
    {
        return (int)(settings.clock->lateCallbacks.load() - lateBeforeOpening);
    }

private:
    void run() override
    {
        auto& clock = *settings.clock;
        const int n = currentSize;
        const auto period =
            std::chrono::nanoseconds((std::int64_t)std::llround(1.0e9 * n / currentRate));
        auto due = std::chrono::steady_clock::now();
        std::int64_t position = clock.blockStartSample.load();

        while (!threadShouldExit())
        {
            if (settings.realTime)
                std::this_thread::sleep_until(due);

            clock.blockDueNanos =
                std::chrono::duration_cast<std::chrono::nanoseconds>(due.time_since_epoch())
                    .count();
            clock.blockStartNanos = steadyNanos();
            clock.blockStartSample = position;
            if (clock.beforeCallback)
                clock.beforeCallback();
            callback->audioDeviceIOCallbackWithContext(nullptr, 0, buffer.getArrayOfWritePointers(),
                                                       2, n, {});
            if (clock.afterCallback)
                clock.afterCallback();
            ++clock.callbacks;
            position += n;

            due += period;
            if (settings.realTime && std::chrono::steady_clock::now() > due)
            {
                // Past the deadline: the block would have come too late. Start again from now.
                ++clock.lateCallbacks;
                due = std::chrono::steady_clock::now();
            }
        }
        // A device opened after this one carries on from the next sample, not over the last block.
        clock.blockStartSample = position;
    }

    SimulatedAudioDeviceType::Settings settings;
    juce::AudioBuffer<float> buffer;
    double currentRate = settings.sampleRate;
    int currentSize = settings.bufferSize;
    std::int64_t lateBeforeOpening = 0;
    juce::AudioIODeviceCallback* callback = nullptr;
    bool opened = false;
};

} // namespace

SimulatedAudioDeviceType::SimulatedAudioDeviceType(Settings s)
    : juce::AudioIODeviceType(typeName), settings(std::move(s))
{
}

juce::StringArray SimulatedAudioDeviceType::getDeviceNames(bool wantInputNames) const
{
    return wantInputNames ? juce::StringArray{} : juce::StringArray{deviceName};
}

juce::AudioIODevice* SimulatedAudioDeviceType::createDevice(const juce::String& outputName,
                                                            const juce::String&)
{
    if (outputName.isNotEmpty() && outputName != deviceName)
        return nullptr;
    return new SimulatedDevice(settings);
}

} // namespace norvane
