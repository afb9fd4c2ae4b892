#include "engine/JackAudioDevice.h"

#include <jack/jack.h>
#include <jack/metadata.h>
#include <jack/midiport.h>
#include <jack/uuid.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <map>
#include <thread>

namespace norvane
{

std::atomic<JackAudioDevice*> JackAudioDevice::openNow{nullptr};

namespace
{

/** The library prints every failure to connect (no server running is an ordinary answer
    here) on the standard error: the program keeps its own counsel. */
void quiet(const char*) {}

jack_client_t* openClient(const char* name)
{
    static const bool silenced = []
    {
        jack_set_error_function(quiet);
        jack_set_info_function(quiet);
        return true;
    }();
    (void)silenced;
    jack_status_t status{};
    return jack_client_open(name, JackNoStartServer, &status);
}

/** The names a jack_get_ports() answer holds, freed. */
std::vector<std::string> takeNames(const char** ports)
{
    std::vector<std::string> names;
    if (ports == nullptr)
        return names;
    for (int i = 0; ports[i] != nullptr; ++i)
        names.emplace_back(ports[i]);
    jack_free(ports);
    return names;
}

std::string clientOf(const std::string& port)
{
    return port.substr(0, port.find(':'));
}

/** The connections of the program's ports when its client last closed, by port, so that a
    device opened again (another buffer size, a new server) keeps what the player or another
    program connected: a MIDI source, a recorder on the outputs. Message thread only. */
std::map<std::string, std::vector<std::string>>& keptConnections()
{
    static std::map<std::string, std::vector<std::string>> kept;
    return kept;
}

} // namespace

// ---- Device -------------------------------------------------------------------------------

JackAudioDevice::JackAudioDevice(const juce::String& playbackClientIn)
    : juce::AudioIODevice(playbackClientIn, typeName), playbackClient(playbackClientIn)
{
}

JackAudioDevice::~JackAudioDevice()
{
    close();
}

juce::Array<double> JackAudioDevice::getAvailableSampleRates()
{
    if (client != nullptr)
        return {(double)jack_get_sample_rate(client)};
    return {44100.0, 48000.0};
}

juce::Array<int> JackAudioDevice::getAvailableBufferSizes()
{
    juce::Array<int> sizes{64, 128, 256, 512, 1024};
    if (client != nullptr)
        sizes.addIfNotAlreadyThere((int)serverFrames.load());
    sizes.sort();
    return sizes;
}

int JackAudioDevice::getDefaultBufferSize()
{
    return client != nullptr ? (int)serverFrames.load() : 128;
}

juce::String JackAudioDevice::open(const juce::BigInteger&, const juce::BigInteger&, double,
                                   int bufferSize)
{
    close();
    lastError = {};
    gone = false;
    client = openClient(clientName);
    if (client == nullptr)
        return lastError = "the JACK server is not running";

    jack_set_process_callback(client, processThunk, this);
    jack_set_buffer_size_callback(client, bufferSizeThunk, this);
    jack_set_xrun_callback(client, xrunThunk, this);
    jack_on_info_shutdown(client, shutdownThunk, this);
    jack_set_port_connect_callback(client, connectThunk, this);

    const char* names[] = {"master_left", "master_right"};
    for (size_t ch = 0; ch < outputs.size(); ++ch)
        outputs[ch] =
            jack_port_register(client, names[ch], JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    midiIn = jack_port_register(client, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    midiOut = jack_port_register(client, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (outputs[0] == nullptr || outputs[1] == nullptr || midiIn == nullptr || midiOut == nullptr)
    {
        close();
        return lastError = "the JACK server refused the program's ports";
    }

    // The period is the server's: the one asked for is asked of it (PipeWire takes it as its
    // quantum), and whatever it grants is followed.
    if (bufferSize > 0 && (jack_nframes_t)bufferSize != jack_get_buffer_size(client))
        jack_set_buffer_size(client, (jack_nframes_t)bufferSize);
    serverFrames = jack_get_buffer_size(client);
    xruns = 0;

    if (jack_activate(client) != 0)
    {
        close();
        return lastError = "the JACK server would not start the program's client";
    }

    const auto playback = takeNames(jack_get_ports(
        client, ("^" + playbackClient.toStdString() + ":").c_str(), JACK_DEFAULT_AUDIO_TYPE,
        JackPortIsInput));
    for (size_t ch = 0; ch < outputs.size() && !playback.empty(); ++ch)
        jack_connect(client, jack_port_name(outputs[ch]),
                     playback[std::min(ch, playback.size() - 1)].c_str());
    for (auto* port : {outputs[0], outputs[1], midiIn, midiOut})
        for (auto& other : keptConnections()[jack_port_short_name(port)])
            if (jack_port_flags(port) & JackPortIsOutput)
                jack_connect(client, jack_port_name(port), other.c_str());
            else
                jack_connect(client, other.c_str(), jack_port_name(port));

    openNow.store(this, std::memory_order_release);
    return {};
}

void JackAudioDevice::close()
{
    stop();
    cancelPendingUpdate();
    if (client == nullptr)
        return;
    auto* self = this;
    openNow.compare_exchange_strong(self, nullptr);
    if (!gone.load())
    {
        for (auto* port : {outputs[0], outputs[1], midiIn, midiOut})
            if (port != nullptr)
                keptConnections()[jack_port_short_name(port)] =
                    takeNames(jack_port_get_all_connections(client, port));
        jack_deactivate(client);
    }
    jack_client_close(client);
    client = nullptr;
    outputs = {};
    midiIn = midiOut = nullptr;
}

void JackAudioDevice::start(juce::AudioIODeviceCallback* newCallback)
{
    if (client == nullptr || newCallback == nullptr || newCallback == callback)
        return;
    stop();
    preparedFrames = serverFrames.load();
    newCallback->audioDeviceAboutToStart(this);
    callback = newCallback;
    running.store(callback);
}

void JackAudioDevice::stop()
{
    if (callback == nullptr)
        return;
    holdCallback();
    auto* old = callback;
    callback = nullptr;
    old->audioDeviceStopped();
}

void JackAudioDevice::holdCallback()
{
    // The audio thread marks that it is inside before it looks at `running`; with both in
    // one total order, once `running` is cleared here and the mark is down, no call is under
    // way and none will start.
    running.store(nullptr);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (insideCallback.load() && !gone.load() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
}

void JackAudioDevice::handleAsyncUpdate()
{
    // The server changed its period: the callback is prepared again for the new one, and the
    // cycles between play silence.
    if (callback == nullptr || gone.load() || preparedFrames.load() == serverFrames.load())
        return;
    holdCallback();
    preparedFrames = serverFrames.load();
    callback->audioDeviceAboutToStart(this);
    running.store(callback);
}

int JackAudioDevice::getCurrentBufferSizeSamples()
{
    return client != nullptr ? (int)serverFrames.load() : 0;
}

double JackAudioDevice::getCurrentSampleRate()
{
    return client != nullptr ? (double)jack_get_sample_rate(client) : 0.0;
}

int JackAudioDevice::getOutputLatencyInSamples()
{
    if (client == nullptr || gone.load())
        return 0;
    jack_latency_range_t range{};
    jack_port_get_latency_range(outputs[0], JackPlaybackLatency, &range);
    return (int)range.max;
}

// ---- The cycle (JACK's process thread) ----------------------------------------------------

int JackAudioDevice::processThunk(unsigned int frames, void* self) noexcept
{
    return static_cast<JackAudioDevice*>(self)->process(frames);
}

int JackAudioDevice::process(unsigned int frames) noexcept
{
    float* out[2] = {static_cast<float*>(jack_port_get_buffer(outputs[0], frames)),
                     static_cast<float*>(jack_port_get_buffer(outputs[1], frames))};
    outgoingBuffer = jack_port_get_buffer(midiOut, frames);
    jack_midi_clear_buffer(outgoingBuffer);
    readMidi(frames);

    insideCallback.store(true);
    auto* cb = running.load();
    if (cb != nullptr && preparedFrames.load(std::memory_order_relaxed) == frames)
        cb->audioDeviceIOCallbackWithContext(nullptr, 0, out, 2, (int)frames, {});
    else
        for (auto* channel : out)
            std::fill(channel, channel + frames, 0.0f);
    insideCallback.store(false);

    outgoingBuffer = nullptr;
    return 0;
}

void JackAudioDevice::readMidi(unsigned int frames) noexcept
{
    incomingCount = 0;
    void* buffer = jack_port_get_buffer(midiIn, frames);
    const auto count = jack_midi_get_event_count(buffer);
    for (jack_nframes_t i = 0; i < count && incomingCount < (int)incoming.size(); ++i)
    {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, buffer, i) != 0 || event.size == 0 || event.size > 3)
            continue; // system-exclusive data plays no part
        if (event.buffer[0] < 0x80 || event.buffer[0] >= 0xF0)
            continue; // nor do clock and other system messages
        auto& e = incoming[(size_t)incomingCount++];
        e.frame = (std::int32_t)std::min(event.time, frames - 1);
        e.size = (std::uint8_t)event.size;
        std::copy(event.buffer, event.buffer + event.size, e.bytes);
    }
}

void JackAudioDevice::sendMidi(TimedMidi events) noexcept
{
    if (outgoingBuffer == nullptr)
        return;
    const auto frames = (std::int32_t)serverFrames.load(std::memory_order_relaxed);
    std::int32_t last = 0;
    for (const auto& e : events)
    {
        last = std::clamp(e.frame, last, std::max(0, frames - 1)); // in order, within the cycle
        jack_midi_event_write(outgoingBuffer, (jack_nframes_t)last, e.bytes, e.size);
    }
}

int JackAudioDevice::bufferSizeThunk(unsigned int frames, void* self) noexcept
{
    auto& device = *static_cast<JackAudioDevice*>(self);
    device.serverFrames.store(frames);
    if (device.preparedFrames.load() != frames)
        device.triggerAsyncUpdate();
    return 0;
}

int JackAudioDevice::xrunThunk(void* self) noexcept
{
    static_cast<JackAudioDevice*>(self)->xruns.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

void JackAudioDevice::shutdownThunk(jack_status_t, const char*, void* self) noexcept
{
    static_cast<JackAudioDevice*>(self)->gone.store(true, std::memory_order_release);
}

void JackAudioDevice::connectThunk(unsigned int, unsigned int b, int connect, void* self) noexcept
{
    auto& device = *static_cast<JackAudioDevice*>(self);
    if (!connect && device.client != nullptr && device.midiIn != nullptr &&
        jack_port_by_id(device.client, b) == device.midiIn)
        device.losses.fetch_add(1, std::memory_order_acq_rel);
}

// ---- MIDI sources -------------------------------------------------------------------------

std::string JackAudioDevice::midiInputName() const
{
    return midiIn != nullptr ? jack_port_name(midiIn) : std::string();
}

std::vector<JackAudioDevice::MidiSource> JackAudioDevice::midiSources() const
{
    std::vector<MidiSource> sources;
    if (client == nullptr || gone.load())
        return sources;
    for (auto& port : takeNames(jack_get_ports(client, nullptr, JACK_DEFAULT_MIDI_TYPE,
                                               JackPortIsOutput)))
    {
        auto* handle = jack_port_by_name(client, port.c_str());
        if (handle == nullptr || jack_port_is_mine(client, handle))
            continue;
        MidiSource source{port, port};
        char* pretty = nullptr;
        char* type = nullptr;
        if (jack_get_property(jack_port_uuid(handle), JACK_METADATA_PRETTY_NAME, &pretty, &type) == 0)
        {
            if (pretty != nullptr && *pretty != '\0')
                source.name = pretty;
            jack_free(pretty);
            jack_free(type);
        }
        sources.push_back(std::move(source));
    }
    return sources;
}

int JackAudioDevice::connectMidiSource(const std::string& port)
{
    if (client == nullptr || gone.load())
        return -1;
    const int status = jack_connect(client, port.c_str(), jack_port_name(midiIn));
    return status == EEXIST ? 0 : (status > 0 ? -status : status);
}

void JackAudioDevice::disconnectMidiSource(const std::string& port)
{
    if (client != nullptr && !gone.load())
        jack_disconnect(client, port.c_str(), jack_port_name(midiIn));
}

juce::StringArray JackAudioDevice::playbackClients(jack_client_t* given)
{
    auto* c = given != nullptr ? given : openClient("Norvane-scan");
    juce::StringArray clients;
    if (c == nullptr)
        return clients;
    for (auto& port : takeNames(jack_get_ports(c, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput)))
    {
        const juce::String name(clientOf(port));
        if (!name.startsWith(clientName))
            clients.addIfNotAlreadyThere(name);
    }
    if (given == nullptr)
        jack_client_close(c);
    if (const int system = clients.indexOf("system"); system > 0)
        clients.move(system, 0);
    return clients;
}

// ---- Type ---------------------------------------------------------------------------------

void JackAudioDeviceType::scanForDevices()
{
    // Through the program's own client while it is open, so that no second one shows up.
    auto* open = JackAudioDevice::current();
    names = JackAudioDevice::playbackClients(open != nullptr && !open->serverWentAway() ? open->client
                                                                                     : nullptr);
    if (open != nullptr)
        names.addIfNotAlreadyThere(open->getName());
}

juce::StringArray JackAudioDeviceType::getDeviceNames(bool wantInputNames) const
{
    return wantInputNames ? juce::StringArray() : names;
}

int JackAudioDeviceType::getDefaultDeviceIndex(bool forInput) const
{
    return forInput ? -1 : 0;
}

int JackAudioDeviceType::getIndexOfDevice(juce::AudioIODevice* device, bool asInput) const
{
    return device == nullptr || asInput ? -1 : names.indexOf(device->getName());
}

juce::AudioIODevice* JackAudioDeviceType::createDevice(const juce::String& outputDeviceName,
                                                       const juce::String&)
{
    if (outputDeviceName.isEmpty())
        return nullptr;
    return new JackAudioDevice(outputDeviceName);
}

void OutputDeviceManager::createAudioDeviceTypes(juce::OwnedArray<juce::AudioIODeviceType>& types)
{
    if (auto* alsa = juce::AudioIODeviceType::createAudioIODeviceType_ALSA())
        types.add(alsa);
    types.add(new JackAudioDeviceType());
}

} // namespace norvane
