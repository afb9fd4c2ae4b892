#include "engine/AudioHost.h"

#include "core/Realtime.h"

#include <algorithm>
#include <chrono>
#include <ctime>

namespace norvane
{

using Graph = juce::AudioProcessorGraph;

/** Plays the graph from the device callback. Written out rather than taken from
    juce::AudioProcessorPlayer, whose MIDI collector takes a lock on the audio thread. */
class AudioHost::Player final : public juce::AudioIODeviceCallback
{
public:
    explicit Player(AudioHost& hostIn) : host(hostIn) {}

    void audioDeviceAboutToStart(juce::AudioIODevice* device) override
    {
        // Not concurrent with the callback below.
        host.prepare(device->getCurrentSampleRate(), device->getCurrentBufferSizeSamples());
        stereo.setSize(2, host.blockSize);
        jack = dynamic_cast<JackAudioDevice*>(device);
        lossesSeen = jack != nullptr ? jack->midiInputLosses() : 0;
        if (stopped)
            if (auto* listener = host.blockListener.load(std::memory_order_acquire))
                listener->resumeAfterStop();
        stopped = false;
    }

    void audioDeviceStopped() override { stopped = true; }

    void audioDeviceIOCallbackWithContext(const float* const*, int, float* const* outputs,
                                          int numOutputs, int numSamples,
                                          const juce::AudioIODeviceCallbackContext&) override
    {
        // Wall-clock time, and the thread's own CPU time: on a shared machine the first also
        // counts what the hypervisor took, the second only what this callback used.
        const auto began = std::chrono::steady_clock::now();
        host.callbackBegan.store(
            std::chrono::duration_cast<std::chrono::nanoseconds>(began.time_since_epoch()).count(),
            std::memory_order_release);
        const double cpuBegan = threadCpuMs();
        play(outputs, numOutputs, numSamples);
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - began;
        host.times.record(took.count(), 1000.0 * numSamples / host.rate, threadCpuMs() - cpuBegan);
        if (!schedulingKnown)
        {
            // Once, on the first call: the scheduling the driver gave this thread. JACK's
            // come real-time; ALSA's runs at normal priority, where the window could hold it
            // up, so it asks for real-time scheduling itself (system calls that take no lock).
            host.realtimeCallback.store(Realtime::thisThreadIsRealtime() ||
                                        Realtime::raiseThisThread(Realtime::audioPriority));
            schedulingKnown = true;
        }
    }

private:
    static double threadCpuMs() noexcept
    {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return (double)now.tv_sec * 1000.0 + (double)now.tv_nsec / 1.0e6;
    }

    void play(float* const* outputs, int numOutputs, int numSamples) noexcept
    {
        juce::ScopedNoDenormals noDenormals;
        // A JACK cycle brings its MIDI, each message at its frame, and takes the echo.
        TimedMidi midiIn;
        bool lost = false;
        if (jack != nullptr)
        {
            midiIn = jack->cycleMidi();
            const int losses = jack->midiInputLosses();
            lost = losses != lossesSeen;
            lossesSeen = losses;
        }
        if (numOutputs >= 2)
        {
            juce::AudioBuffer<float> out(outputs, 2, numSamples);
            out.clear();
            host.processGraph(out, midi, midiIn, lost);
            for (int ch = 2; ch < numOutputs; ++ch)
                if (outputs[ch] != nullptr)
                    juce::FloatVectorOperations::clear(outputs[ch], numSamples);
        }
        else if (numOutputs == 1 && numSamples <= stereo.getNumSamples())
        {
            juce::AudioBuffer<float> out(stereo.getArrayOfWritePointers(), 2, numSamples);
            out.clear();
            host.processGraph(out, midi, midiIn, lost);
            juce::FloatVectorOperations::copyWithMultiply(outputs[0], out.getReadPointer(0), 0.5f,
                                                          numSamples);
            juce::FloatVectorOperations::addWithMultiply(outputs[0], out.getReadPointer(1), 0.5f,
                                                         numSamples);
        }
        else if (numOutputs == 1)
        {
            juce::FloatVectorOperations::clear(outputs[0], numSamples);
        }
        if (jack != nullptr)
            if (auto* listener = host.blockListener.load(std::memory_order_acquire))
                jack->sendMidi(listener->echoed());
    }

    AudioHost& host;
    bool stopped = false;
    bool schedulingKnown = false;
    juce::AudioBuffer<float> stereo;
    juce::MidiBuffer midi;
    JackAudioDevice* jack = nullptr;
    int lossesSeen = 0;
};

/** Renders the graph into a scratch buffer at real-time pace when there is no device. */
class AudioHost::SilentClock final : public juce::Thread
{
public:
    explicit SilentClock(AudioHost& hostIn) : juce::Thread("Norvane silent clock"), host(hostIn)
    {
        buffer.setSize(2, host.blockSize);
    }

    ~SilentClock() override { stopThread(2000); }

    void run() override
    {
        const double blockMs = 1000.0 * host.blockSize / host.rate;
        double next = juce::Time::getMillisecondCounterHiRes();
        while (!threadShouldExit())
        {
            host.render(buffer, 0, host.blockSize);
            next += blockMs;
            const double wait = next - juce::Time::getMillisecondCounterHiRes();
            if (wait > 0)
                juce::Thread::sleep((int)wait);
            else
                next = juce::Time::getMillisecondCounterHiRes();
        }
    }

private:
    AudioHost& host;
    juce::AudioBuffer<float> buffer;
};

AudioHost::AudioHost(double sampleRate, int maximumBlockSize)
    : rate(sampleRate), blockSize(maximumBlockSize)
{
    // The channel layout must be in place before any connection is made.
    graph_.setPlayConfigDetails(0, 2, rate, blockSize);
    graph_.prepareToPlay(rate, blockSize);

    outputID = graph_
                   .addNode(std::make_unique<Graph::AudioGraphIOProcessor>(
                       Graph::AudioGraphIOProcessor::audioOutputNode))
                   ->nodeID;

    auto mixer = std::make_unique<MixerNode>("Main mixer");
    mainMixerNode_ = mixer.get();
    mainMixerID = attach(std::move(mixer));
    connect(mainMixerID, outputID);

    scratch.setSize(2, blockSize);
    noMidi.ensureSize(256);
}

AudioHost::~AudioHost()
{
    stop();
    graph_.clear();
}

AudioHost::NodeID AudioHost::attach(std::unique_ptr<juce::AudioProcessor> processor)
{
    processor->setPlayConfigDetails(processor->getTotalNumInputChannels(),
                                    processor->getTotalNumOutputChannels(), rate, blockSize);
    auto node = graph_.addNode(std::move(processor));
    jassert(node != nullptr);
    return node->nodeID;
}

void AudioHost::detach(NodeID node)
{
    graph_.removeNode(node);
}

bool AudioHost::connect(NodeID source, NodeID destination)
{
    bool ok = true;
    for (int ch = 0; ch < 2; ++ch)
        ok = graph_.addConnection({{source, ch}, {destination, ch}}) && ok;
    return ok;
}

void AudioHost::disconnectOutput(NodeID source)
{
    for (auto& c : graph_.getConnections())
        if (c.source.nodeID == source)
            graph_.removeConnection(c);
}

bool AudioHost::isConnected(NodeID source, NodeID destination) const
{
    return graph_.isConnected(source, destination);
}

void AudioHost::render(juce::AudioBuffer<float>& buffer, int startSample, int numSamples) noexcept
{
    juce::ScopedNoDenormals noDenormals;
    while (numSamples > 0)
    {
        if (pendingSamples == 0)
        {
            // Always whole blocks of the prepared size: the graph reallocates its working
            // buffers whenever the block size changes, and that must not happen here.
            juce::AudioBuffer<float> block(scratch.getArrayOfWritePointers(), 2, blockSize);
            block.clear();
            processGraph(block, noMidi);
            pendingStart = 0;
            pendingSamples = blockSize;
        }

        const int n = std::min(numSamples, pendingSamples);
        for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
            buffer.copyFrom(ch, startSample, scratch, std::min(ch, 1), pendingStart, n);
        pendingStart += n;
        pendingSamples -= n;
        startSample += n;
        numSamples -= n;
    }
}

void AudioHost::renderBlock(juce::AudioBuffer<float>& block, TimedMidi midiIn) noexcept
{
    jassert(pendingSamples == 0 && block.getNumSamples() == blockSize);
    juce::ScopedNoDenormals noDenormals;
    block.clear();
    processGraph(block, noMidi, midiIn);
}

void AudioHost::processGraph(juce::AudioBuffer<float>& block, juce::MidiBuffer& midi,
                             TimedMidi midiIn, bool midiInputLost) noexcept
{
    if (auto* listener = blockListener.load(std::memory_order_acquire))
    {
        listener->beginBlock(block.getNumSamples());
        if (midiInputLost)
            listener->midiInputLost();
        if (!midiIn.empty())
            listener->playTimed(midiIn);
    }
    graph_.processBlock(block, midi);
    midi.clear();
}

void AudioHost::prepare(double newRate, int newBlockSize)
{
    rate = newRate;
    blockSize = newBlockSize;
    scratch.setSize(2, blockSize);
    pendingStart = pendingSamples = 0;
    graph_.setPlayConfigDetails(0, 2, rate, blockSize);
    graph_.prepareToPlay(rate, blockSize);
    if (auto* listener = blockListener.load(std::memory_order_acquire))
        listener->prepare(rate);
}

std::vector<AudioHost::OutputDevice> AudioHost::outputDevices()
{
    std::vector<OutputDevice> list;
    auto* open = devices.getCurrentAudioDevice();
    bool openListed = open == nullptr;
    for (auto* type : devices.getAvailableDeviceTypes())
    {
        type->scanForDevices();
        for (const auto& name : type->getDeviceNames(false))
        {
            const bool isOpen = open != nullptr && open->getTypeName() == type->getTypeName() &&
                                open->getName() == name;
            openListed = openListed || isOpen;
            if (!isOpen && !offersOutput(*type, name))
                continue;
            list.push_back({type->getTypeName(), name});
        }
    }
    // The device playing now is always offered, even where its driver no longer lists a
    // device it has given away (ALSA lists only what it can open at that moment).
    if (!openListed)
        list.push_back({open->getTypeName(), open->getName()});
    return list;
}

bool AudioHost::offersOutput(juce::AudioIODeviceType& type, const juce::String& name)
{
    // A device listed among the outputs that shows its channels and none of them is an output
    // is left out. One that cannot be looked into (another program has it open, and looking
    // means opening) stays: it is taken at its driver's word.
    std::unique_ptr<juce::AudioIODevice> probe(type.createDevice(name, {}));
    if (probe == nullptr)
        return false;
    return !probe->getOutputChannelNames().isEmpty() || probe->getInputChannelNames().isEmpty();
}

std::optional<std::string> AudioHost::openDevice(const std::optional<OutputDevice>& device,
                                                 DeviceFormat format)
{
    stop();

    juce::String error;
    // The system's default is JACK while a server runs, the default of the rest otherwise.
    const auto chosen = device ? device : runningJackServer();
    if (chosen)
    {
        devices.setCurrentAudioDeviceType(chosen->type, false);
        auto setup = devices.getAudioDeviceSetup();
        setup.outputDeviceName = chosen->name;
        setup.inputDeviceName = {};
        setup.useDefaultOutputChannels = true;
        setup.bufferSize = format.bufferSize;
        if (format.sampleRate > 0.0)
            setup.sampleRate = format.sampleRate;
        error = devices.initialise(0, 2, nullptr, false, {}, &setup);
    }
    else
    {
        for (auto* type : devices.getAvailableDeviceTypes())
            if (type->getTypeName() != JackAudioDevice::typeName)
            {
                devices.setCurrentAudioDeviceType(type->getTypeName(), false);
                break;
            }
        error = devices.initialiseWithDefaultDevices(0, 2);
    }

    if (error.isNotEmpty())
        return error.toStdString();

    auto* open = devices.getCurrentAudioDevice();
    if (open == nullptr)
        return std::string("no audio output device is available");

    if (open->getCurrentBufferSizeSamples() != format.bufferSize ||
        (format.sampleRate > 0.0 && open->getCurrentSampleRate() != format.sampleRate))
    {
        // A device that refuses keeps its own size and rate.
        auto current = devices.getAudioDeviceSetup();
        current.bufferSize = format.bufferSize;
        if (format.sampleRate > 0.0)
            current.sampleRate = format.sampleRate;
        devices.setAudioDeviceSetup(current, true);
        open = devices.getCurrentAudioDevice();
        if (open == nullptr)
            return std::string("the device closed when asked for its buffer size and rate");
    }
    times.clear();
    ++openings;
    prepare(open->getCurrentSampleRate(), open->getCurrentBufferSizeSamples());
    return std::nullopt;
}

std::optional<AudioHost::OutputDevice> AudioHost::runningJackServer()
{
    for (auto* type : devices.getAvailableDeviceTypes())
        if (type->getTypeName() == JackAudioDevice::typeName)
        {
            type->scanForDevices();
            const auto names = type->getDeviceNames(false);
            if (!names.isEmpty())
                return OutputDevice{type->getTypeName(), names[type->getDefaultDeviceIndex(false)]};
        }
    return std::nullopt;
}

bool AudioHost::deviceWentAway() const
{
    auto* jack = dynamic_cast<JackAudioDevice*>(devices.getCurrentAudioDevice());
    return jack != nullptr && jack->serverWentAway();
}

void AudioHost::startPlaying()
{
    if (isRunning())
        return;
    if (devices.getCurrentAudioDevice() != nullptr)
    {
        player = std::make_unique<Player>(*this);
        devices.addAudioCallback(player.get());
    }
    else
    {
        silentClock = std::make_unique<SilentClock>(*this);
        silentClock->startThread(juce::Thread::Priority::high);
    }
}

void AudioHost::stopPlaying()
{
    if (player != nullptr)
    {
        devices.removeAudioCallback(player.get());
        player.reset();
    }
    silentClock.reset();
}

void AudioHost::stop()
{
    stopPlaying();
    devices.closeAudioDevice();
}

bool AudioHost::isRunning() const
{
    return player != nullptr || silentClock != nullptr;
}

std::optional<AudioHost::DeviceFigures> AudioHost::deviceFigures() const
{
    auto* device = devices.getCurrentAudioDevice();
    if (device == nullptr)
        return std::nullopt;
    DeviceFigures figures;
    figures.type = device->getTypeName();
    figures.name = device->getName();
    figures.bufferSize = device->getCurrentBufferSizeSamples();
    figures.sampleRate = device->getCurrentSampleRate();
    if (figures.sampleRate > 0.0)
    {
        figures.periodMs = 1000.0 * figures.bufferSize / figures.sampleRate;
        figures.outputLatencyMs =
            1000.0 * (device->getOutputLatencyInSamples() + figures.bufferSize) / figures.sampleRate;
    }
    figures.driverXruns = std::max(0, device->getXRunCount());
    return figures;
}

AudioHost::DeviceChoices AudioHost::deviceChoices() const
{
    DeviceChoices choices;
    auto* device = devices.getCurrentAudioDevice();
    if (device == nullptr)
        return choices;
    for (const int size : device->getAvailableBufferSizes())
        choices.bufferSizes.push_back(size);
    for (const double rate : device->getAvailableSampleRates())
        choices.sampleRates.push_back(rate);
    std::sort(choices.bufferSizes.begin(), choices.bufferSizes.end());
    std::sort(choices.sampleRates.begin(), choices.sampleRates.end());
    return choices;
}

juce::String AudioHost::deviceName() const
{
    if (auto* device = devices.getCurrentAudioDevice())
        return device->getName();
    return {};
}

} // namespace norvane
