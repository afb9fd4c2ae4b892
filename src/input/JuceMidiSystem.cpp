#include "input/MidiSystem.h"

#include "core/Realtime.h"
#include "engine/JackAudioDevice.h"

#include <juce_audio_devices/juce_audio_devices.h>

#include <alsa/asoundlib.h>

namespace norvane
{

namespace
{

/** Hands each incoming message's bytes on untouched; JUCE's own parsing plays no part in what
    the program makes of them. */
class ByteForwarder final : public juce::MidiInputCallback
{
public:
    explicit ByteForwarder(MidiSystem::BytesCallback c) : callback(std::move(c)) {}

    void handleIncomingMidiMessage(juce::MidiInput*, const juce::MidiMessage& message) override
    {
        // The toolkit's MIDI thread runs at normal priority, where a busy window can hold it
        // up; on its first message it asks for real-time scheduling, below the audio thread's.
        // Refused (no rights), it carries on as it was.
        thread_local const bool raised = Realtime::raiseThisThread(Realtime::midiPriority);
        (void)raised;

        // A packet carries at most 256 bytes; longer system-exclusive data is cut there, which
        // loses nothing since system data is skipped anyway.
        const auto size = std::min<std::size_t>((std::size_t)message.getRawDataSize(), 256);
        if (size > 0)
            callback(message.getRawData(), size);
    }

private:
    MidiSystem::BytesCallback callback;
};

class JuceMidiSystem final : public MidiSystem
{
public:
    ~JuceMidiSystem() override
    {
        disconnect();
        if (virtualPort != nullptr)
            virtualPort->stop();
    }

    int createClient() override
    {
        snd_seq_t* handle = nullptr;
        const int status = snd_seq_open(&handle, "default", SND_SEQ_OPEN_DUPLEX, 0);
        hasSequencer = status >= 0;
        if (hasSequencer)
            snd_seq_close(handle);
        // Without an ALSA sequencer (some PipeWire set-ups, containers), the JACK client's MIDI
        // is the program's MIDI.
        return hasSequencer || JackAudioDevice::current() != nullptr ? 0 : status;
    }

    int openVirtualPort(const std::string& name, BytesCallback callback) override
    {
        if (!hasSequencer)
            return 0; // the JACK client's "midi_in" is the port others play

        virtualForwarder = std::make_unique<ByteForwarder>(std::move(callback));
        virtualPort = juce::MidiInput::createNewDevice(name, virtualForwarder.get());
        if (virtualPort == nullptr)
            return -1;
        virtualPort->start();
        return 0;
    }

    std::vector<MidiEndpoint> sources() override
    {
        std::vector<MidiEndpoint> list;
        for (auto& device : juce::MidiInput::getAvailableDevices())
            list.push_back({device.identifier.toStdString(), device.name.toStdString()});
        // While the program plays through JACK: the other clients' MIDI outputs, a2j's and
        // PipeWire's bridges among them.
        if (auto* jack = JackAudioDevice::current())
            for (auto& source : jack->midiSources())
                list.push_back({jackPrefix + source.port, source.name});
        return list;
    }

    int connect(const std::string& identifier, BytesCallback callback) override
    {
        disconnect();
        if (identifier.starts_with(jackPrefix))
        {
            // Its messages reach the JACK client's own input and play at their frames there;
            // `callback` has no part in it.
            auto* jack = JackAudioDevice::current();
            if (jack == nullptr)
                return -1;
            const auto port = identifier.substr(jackPrefix.size());
            const int status = jack->connectMidiSource(port);
            if (status == 0)
                jackPort = port;
            return status;
        }
        forwarder = std::make_unique<ByteForwarder>(std::move(callback));
        input = juce::MidiInput::openDevice(identifier, forwarder.get());
        if (input == nullptr)
            return -1;
        input->start();
        return 0;
    }

    void disconnect() override
    {
        if (!jackPort.empty())
            if (auto* jack = JackAudioDevice::current())
                jack->disconnectMidiSource(jackPort);
        jackPort.clear();
        if (input != nullptr)
            input->stop();
        input.reset();
        forwarder.reset();
    }

private:
    inline static const std::string jackPrefix = "jack:";

    bool hasSequencer = false;
    std::unique_ptr<ByteForwarder> forwarder;
    std::unique_ptr<juce::MidiInput> input;
    std::string jackPort; // the JACK source connected, by its full port name
    std::unique_ptr<ByteForwarder> virtualForwarder;
    std::unique_ptr<juce::MidiInput> virtualPort;
};

class DetachedMidi final : public MidiSystem
{
public:
    int createClient() override { return 0; }
    int openVirtualPort(const std::string&, BytesCallback) override { return 0; }
    std::vector<MidiEndpoint> sources() override { return {}; }
    int connect(const std::string&, BytesCallback) override { return -1; }
    void disconnect() override {}
};

} // namespace

std::unique_ptr<MidiSystem> makeSystemMidi()
{
    return std::make_unique<JuceMidiSystem>();
}

std::unique_ptr<MidiSystem> makeDetachedMidi()
{
    return std::make_unique<DetachedMidi>();
}

} // namespace norvane
