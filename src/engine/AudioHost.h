#pragma once

#include "engine/CallbackTimes.h"
#include "engine/JackAudioDevice.h"
#include "engine/MixerNode.h"
#include "engine/TimedMidi.h"

#include <juce_audio_devices/juce_audio_devices.h>
#include <juce_audio_processors/juce_audio_processors.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace norvane
{

/** What is asked of an output device when it opens; one that cannot do it keeps its own. */
struct DeviceFormat
{
    int bufferSize = 128;    ///< frames
    double sampleRate = 0.0; ///< Hz; 0 = the device's own
    bool operator==(const DeviceFormat&) const = default;
};

/** The audio graph and everything the engine asks of it, gathered in one place: attaching and
    detaching nodes, stereo connections, the main mixer and the output, rendering offline and
    playing through an output device.

    Every node shares one format: two channels at sampleRate(). Message thread only, except
    render(), which plays the audio thread's part.
*/
class AudioHost
{
public:
    using NodeID = juce::AudioProcessorGraph::NodeID;

    /** Told at the start of every block, before the graph renders it. */
    struct BlockListener
    {
        virtual ~BlockListener() = default;
        /** Audio thread. */
        virtual void beginBlock(int numSamples) noexcept = 0;
        /** Audio thread, after beginBlock(): the MIDI that came in with this block, each
            message at its own frame. */
        virtual void playTimed(TimedMidi) noexcept {}
        /** Audio thread, after the block: what was played in it, for a MIDI output. */
        virtual TimedMidi echoed() const noexcept { return {}; }
        /** Audio thread, after beginBlock(): a source playing the device's MIDI input went
            away; what it held can never be released by it. */
        virtual void midiInputLost() noexcept {}
        /** Any thread, before the first block of a device started again after a stop. */
        virtual void resumeAfterStop() noexcept {}
        /** Not concurrent with a block: the rate blocks are played at from now on. */
        virtual void prepare(double sampleRate) noexcept { (void)sampleRate; }
    };

    /** Prepares an empty graph with a main mixer feeding the output. */
    AudioHost(double sampleRate, int maximumBlockSize);
    ~AudioHost();

    AudioHost(const AudioHost&) = delete;
    AudioHost& operator=(const AudioHost&) = delete;

    double sampleRate() const { return rate; }
    int maximumBlockSize() const { return blockSize; }

    /** Adds a node; it lives until detach() or the host's end. */
    NodeID attach(std::unique_ptr<juce::AudioProcessor> processor);

    /** Adds a node and returns it typed, for the caller to keep. */
    template <typename Node> std::pair<NodeID, Node*> attachNode(std::unique_ptr<Node> node)
    {
        auto* raw = node.get();
        return {attach(std::move(node)), raw};
    }

    void detach(NodeID node);

    /** Connects both channels of `source` to `destination`; inputs that meet are summed. */
    bool connect(NodeID source, NodeID destination);

    /** Removes every connection leaving `source`. */
    void disconnectOutput(NodeID source);

    bool isConnected(NodeID source, NodeID destination) const;

    NodeID mainMixer() const { return mainMixerID; }
    MixerNode& mainMixerNode() { return *mainMixerNode_; }
    NodeID output() const { return outputID; }

    juce::AudioProcessorGraph& graph() { return graph_; }

    /** Before playing: who hears of each block first (the performance router). */
    void setBlockListener(BlockListener* listener) noexcept
    {
        if (listener != nullptr)
            listener->prepare(rate);
        blockListener.store(listener);
    }

    /** When the device's callback last began (steady-clock nanoseconds), for measurements. */
    std::int64_t lastCallbackNanos() const noexcept { return callbackBegan.load(std::memory_order_acquire); }

    /** Audio thread (or the one thread of an offline render): renders `numSamples` samples of
        the graph into the buffer at `startSample`. The graph itself always runs in whole
        blocks of maximumBlockSize(); what a request leaves of a block is kept for the next,
        so work queued for the audio thread takes effect at the next block boundary. */
    void render(juce::AudioBuffer<float>& buffer, int startSample, int numSamples) noexcept;

    /** Like render(), one whole block of maximumBlockSize() with the MIDI that comes in with
        it, each message at its frame, as a device's MIDI port brings it (tests and tools).
        Nothing of an earlier render() may be pending. */
    void renderBlock(juce::AudioBuffer<float>& block, TimedMidi midiIn) noexcept;

    // ---- Playing through a device -------------------------------------------------------

    /** An output device as the system lists it. */
    struct OutputDevice
    {
        juce::String type; ///< "ALSA", "JACK", …
        juce::String name;
    };

    /** Every device with at least one output channel, type by type in the system's order;
        also one busy elsewhere, which cannot say, and always the one open now. */
    std::vector<OutputDevice> outputDevices();

    /** Opens an output device (nothing = the system's default) without playing yet, and
        prepares the graph at its sample rate. Returns a description of the failure, if any;
        the graph then stays prepared as it was. */
    std::optional<std::string> openDevice(const std::optional<OutputDevice>& device = std::nullopt,
                                          DeviceFormat format = {});

    /** Plays the graph through the open device, or, when none is open, keeps it running
        silently on a clock thread of its own so that queued work and timelines advance. */
    void startPlaying();

    /** Stops playing; the device stays open. */
    void stopPlaying();

    /** Stops playing and closes the device. */
    void stop();

    bool isRunning() const;

    /** The name of the open output device, or empty. */
    juce::String deviceName() const;

    juce::AudioDeviceManager& deviceManager() { return devices; }

    /** Whether the open device has gone from under the program (the JACK server stopped). */
    bool deviceWentAway() const;

    /** What the open device reports, for the figures shown to the player. Message thread. */
    struct DeviceFigures
    {
        juce::String type, name;
        int bufferSize = 0;
        double sampleRate = 0.0;
        double periodMs = 0.0;
        int driverXruns = 0;          ///< the driver's (the JACK server's) count since it opened
        double outputLatencyMs = 0.0; ///< the device's output latency plus one buffer
    };
    /** Nothing when no device is open. */
    std::optional<DeviceFigures> deviceFigures() const;

    /** The buffer sizes and sample rates the open device offers, in ascending order; empty
        when none is open. */
    struct DeviceChoices
    {
        std::vector<int> bufferSizes;
        std::vector<double> sampleRates;
    };
    DeviceChoices deviceChoices() const;

    /** The device callback's timing since it started (or since cleared). */
    CallbackTimes& callbackTimes() noexcept { return times; }
    const CallbackTimes& callbackTimes() const noexcept { return times; }
    /** How many times a device has been opened: figures counted on the device since then
        start again. */
    int deviceOpenings() const noexcept { return openings; }
    /** Whether the device's callback runs with real-time scheduling (known after its first call). */
    bool callbackIsRealtime() const noexcept { return realtimeCallback.load(std::memory_order_relaxed); }

private:
    class Player;
    class SilentClock;

    void prepare(double newRate, int newBlockSize);
    static bool offersOutput(juce::AudioIODeviceType& type, const juce::String& name);
    void processGraph(juce::AudioBuffer<float>& block, juce::MidiBuffer& midi,
                      TimedMidi midiIn = {}, bool midiInputLost = false) noexcept;
    /** JACK, when a server runs: the system's default then. */
    std::optional<OutputDevice> runningJackServer();

    double rate;
    int blockSize;
    juce::AudioProcessorGraph graph_;
    NodeID mainMixerID, outputID;
    MixerNode* mainMixerNode_ = nullptr;
    juce::AudioBuffer<float> scratch;         // render(): the last block the graph rendered
    int pendingStart = 0, pendingSamples = 0; // the part of it not handed out yet
    juce::MidiBuffer noMidi;
    std::atomic<BlockListener*> blockListener{nullptr};

    CallbackTimes times;
    int openings = 0;
    std::atomic<bool> realtimeCallback{false};
    std::atomic<std::int64_t> callbackBegan{0};
    OutputDeviceManager devices;
    std::unique_ptr<Player> player;
    std::unique_ptr<SilentClock> silentClock;
};

} // namespace norvane
