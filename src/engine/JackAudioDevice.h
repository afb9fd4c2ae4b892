#pragma once

#include "engine/TimedMidi.h"

#include <juce_audio_devices/juce_audio_devices.h>

#include <array>
#include <atomic>
#include <string>
#include <vector>

#include <jack/types.h>

namespace norvane
{

/** The program as a JACK client, "Norvane": the master bus on the outputs "master_left" and
    "master_right" (connected to the chosen client's playback ports, "system" by default), a
    MIDI input "midi_in" whose every event plays at its own frame, and a MIDI output "midi_out"
    for the echo of what is played.

    It follows the server: the period and the rate are the server's, and a change of period
    prepares the graph again instead of failing. The buffer size asked for when it opens is
    asked of the server (under PipeWire, the graph's quantum); what the server grants is what
    getCurrentBufferSizeSamples() says. Xruns are the server's. When the server goes away the
    device says so (serverWentAway()) and plays nothing more.

    Message thread, except where a method says otherwise.
*/
class JackAudioDevice final : public juce::AudioIODevice, private juce::AsyncUpdater
{
public:
    static constexpr const char* typeName = "JACK";
    static constexpr const char* clientName = "Norvane";

    /** Plays into the audio inputs of the client `playbackClient` (e.g. "system"). */
    explicit JackAudioDevice(const juce::String& playbackClient);
    ~JackAudioDevice() override;

    juce::StringArray getOutputChannelNames() override { return {"master_left", "master_right"}; }
    juce::StringArray getInputChannelNames() override { return {}; }
    juce::Array<double> getAvailableSampleRates() override;
    juce::Array<int> getAvailableBufferSizes() override;
    int getDefaultBufferSize() override;
    juce::String open(const juce::BigInteger& inputs, const juce::BigInteger& outputs,
                      double sampleRate, int bufferSize) override;
    void close() override;
    bool isOpen() override { return client != nullptr; }
    void start(juce::AudioIODeviceCallback* callback) override;
    void stop() override;
    bool isPlaying() override { return callback != nullptr; }
    juce::String getLastError() override { return lastError; }
    int getCurrentBufferSizeSamples() override;
    double getCurrentSampleRate() override;
    int getCurrentBitDepth() override { return 32; }
    juce::BigInteger getActiveOutputChannels() const override { return client ? 3 : 0; }
    juce::BigInteger getActiveInputChannels() const override { return 0; }
    int getOutputLatencyInSamples() override;
    int getInputLatencyInSamples() override { return 0; }
    int getXRunCount() const noexcept override { return xruns.load(std::memory_order_relaxed); }

    // ---- During the callback (audio thread) ------------------------------------------------
    /** The channel messages that reached "midi_in" in this cycle, in frame order. */
    TimedMidi cycleMidi() const noexcept { return {incoming.data(), (size_t)incomingCount}; }
    /** Writes messages to "midi_out" in this cycle. */
    void sendMidi(TimedMidi events) noexcept;
    /** Counts the connections to "midi_in" lost so far (a source that went away). */
    int midiInputLosses() const noexcept { return losses.load(std::memory_order_acquire); }

    // ---- The server ------------------------------------------------------------------------
    /** Any thread: the server shut down or threw the client out. */
    bool serverWentAway() const noexcept { return gone.load(std::memory_order_acquire); }

    /** The full name of the MIDI input, "Norvane:midi_in" (or "Norvane-01:…" for a second
        copy of the program). */
    std::string midiInputName() const;

    /** A MIDI output port of another client. */
    struct MidiSource
    {
        std::string port; ///< its full name, "client:port"
        std::string name; ///< its pretty name where it has one, else the full name
    };
    std::vector<MidiSource> midiSources() const;
    /** Connects a source to "midi_in"; 0, or a negative status. */
    int connectMidiSource(const std::string& port);
    void disconnectMidiSource(const std::string& port);

    /** The JACK device open now, if any (at most one is). */
    static JackAudioDevice* current() noexcept { return openNow.load(std::memory_order_acquire); }

    /** The clients with audio inputs other than this program's, "system" first: where the
        master bus can play. Empty when no server runs. Uses `client`, or a short-lived
        client of its own when there is none. */
    static juce::StringArray playbackClients(jack_client_t* client = nullptr);

private:
    static int processThunk(unsigned int frames, void* self) noexcept;
    static int bufferSizeThunk(unsigned int frames, void* self) noexcept;
    static int xrunThunk(void* self) noexcept;
    static void shutdownThunk(jack_status_t, const char*, void* self) noexcept;
    static void connectThunk(unsigned int a, unsigned int b, int connect, void* self) noexcept;

    int process(unsigned int frames) noexcept;
    void readMidi(unsigned int frames) noexcept;
    /** Stops calling the callback and waits until a call under way has returned. */
    void holdCallback();
    void handleAsyncUpdate() override;

    const juce::String playbackClient;
    jack_client_t* client = nullptr;
    std::array<jack_port_t*, 2> outputs{};
    jack_port_t* midiIn = nullptr;
    jack_port_t* midiOut = nullptr;
    juce::String lastError;

    juce::AudioIODeviceCallback* callback = nullptr; // message thread's view
    std::atomic<juce::AudioIODeviceCallback*> running{nullptr};
    std::atomic<bool> insideCallback{false};
    std::atomic<unsigned int> preparedFrames{0}; // the period the callback was prepared for
    std::atomic<unsigned int> serverFrames{0};
    std::atomic<int> xruns{0}, losses{0};
    std::atomic<bool> gone{false};

    std::array<TimedMidiEvent, 1024> incoming{};
    int incomingCount = 0;
    void* outgoingBuffer = nullptr; // "midi_out" during the cycle

    static std::atomic<JackAudioDevice*> openNow;

    friend class JackAudioDeviceType;
    JUCE_DECLARE_NON_COPYABLE(JackAudioDevice)
};

/** The device type "JACK": one device per client with audio inputs to play into. */
class JackAudioDeviceType final : public juce::AudioIODeviceType
{
public:
    JackAudioDeviceType() : juce::AudioIODeviceType(JackAudioDevice::typeName) {}

    void scanForDevices() override;
    juce::StringArray getDeviceNames(bool wantInputNames = false) const override;
    int getDefaultDeviceIndex(bool forInput) const override;
    int getIndexOfDevice(juce::AudioIODevice* device, bool asInput) const override;
    bool hasSeparateInputsAndOutputs() const override { return true; }
    juce::AudioIODevice* createDevice(const juce::String& outputDeviceName,
                                      const juce::String& inputDeviceName) override;

private:
    juce::StringArray names;
};

/** The device types the program plays through: ALSA and its own JACK. */
class OutputDeviceManager final : public juce::AudioDeviceManager
{
public:
    void createAudioDeviceTypes(juce::OwnedArray<juce::AudioIODeviceType>& types) override;
};

} // namespace norvane
