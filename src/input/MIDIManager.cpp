#include "input/MIDIManager.h"

#include "core/Hash.h"
#include "core/MessageThread.h"
#include "engine/AudioEngine.h"

#include <algorithm>

namespace norvane
{

namespace
{

const char* const fallbackSourceName = "Dispositivo MIDI";

std::set<int> with(std::set<int> s, int n)
{
    s.insert(n);
    return s;
}

std::set<int> without(std::set<int> s, int n)
{
    s.erase(n);
    return s;
}

} // namespace

std::uint32_t MIDIManager::fnv1a(const std::string& text)
{
    return fnv1a32(text);
}

MIDIManager::MIDIManager(AudioEngine& engineIn, std::unique_ptr<MidiSystem> midiIn,
                         Scheduler& scheduler)
    : engine(engineIn), midi(std::move(midiIn))
{
    self = this;

    if (const int status = midi->createClient(); status != 0)
    {
        connectionError = "No se pudo crear el cliente MIDI (" + std::to_string(status) + ")";
        return;
    }
    hasClient = true;

    // The program's own input, so that other programs on this machine can play it.
    if (const int status = midi->openVirtualPort("Norvane", byteCallback(self)); status != 0)
    {
        connectionError =
            "No se pudo crear el puerto de entrada MIDI (" + std::to_string(status) + ")";
    }

    refreshSources();

    // The system does not announce changes of its device list: look once a second.
    pollTimer = scheduler.every(sourcePollInterval, [this] { pollSources(); });
}

MIDIManager::~MIDIManager()
{
    pollTimer.reset();
    midi.reset(); // no more bytes from here on
}

// ---- Sources ----------------------------------------------------------------------------

void MIDIManager::pollSources()
{
    if (midi->sources() != lastListing)
        refreshSources();
}

void MIDIManager::refreshSources()
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    if (!hasClient)
        return;

    lastListing = midi->sources();
    endpointsByID.clear();

    std::vector<MIDISourceInfo> infos;
    for (auto& endpoint : lastListing)
    {
        MIDISourceInfo info{fnv1a(endpoint.identifier),
                            endpoint.name.empty() ? fallbackSourceName : endpoint.name};
        endpointsByID[info.id] = endpoint;
        infos.push_back(std::move(info));
    }
    availableSources = infos;

    auto hasID = [&](std::uint32_t id)
    { return std::any_of(infos.begin(), infos.end(), [&](auto& i) { return i.id == id; }); };

    if (selectedSourceID.get() && hasID(*selectedSourceID.get()))
        return;

    // The selected source has gone. A device that was unplugged and plugged in again comes
    // back under a new identifier but the same name: that is still the user's choice.
    if (connected && !connectedName.empty())
    {
        for (auto& info : infos)
            if (info.name == connectedName)
            {
                connect(info.id);
                return;
            }
    }

    if (infos.empty())
    {
        // Its note-offs can never arrive now: release what it held.
        releaseHeldNotes();
        selectedSourceID = std::nullopt;
        connected.reset();
        connectedName.clear();
        return;
    }

    connect(infos.front().id);
}

void MIDIManager::connect(std::uint32_t sourceID)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    if (connected)
        midi->disconnect();

    for (int note : clickedNotes.get())
        engine.noteOff(note);
    clickedNotes = {};

    // What the old source held can no longer be released by it: release it here, with the
    // engine's damper noise, before the bookkeeping is emptied.
    releaseHeldNotes();

    int status = -1;
    auto endpoint = endpointsByID.find(sourceID);
    if (endpoint != endpointsByID.end())
    {
        status = midi->connect(endpoint->second.identifier, byteCallback(self));
    }

    if (status == 0)
    {
        connected = sourceID;
        connectedName = endpoint->second.name.empty() ? fallbackSourceName : endpoint->second.name;
        selectedSourceID = sourceID;
        connectionError = std::nullopt;
    }
    else
    {
        connectionError =
            "No se pudo conectar al dispositivo MIDI (" + std::to_string(status) + ")";
    }
}

std::string MIDIManager::connectedSourceName() const
{
    return connected ? connectedName : std::string();
}

void MIDIManager::releaseHeldNotes()
{
    std::set<int> held = activeNotes.get();
    held.insert(pedalHeld.begin(), pedalHeld.end());
    for (int note : held)
        engine.noteOff(note);

    activeNotes = {};
    pedalHeld.clear();
    sentForKey.clear();
    isSustainPedalDown = false; // the pedal went with its source
    updateSustainedNotes();
}

// ---- Bytes ------------------------------------------------------------------------------

MidiSystem::BytesCallback MIDIManager::byteCallback(juce::WeakReference<MIDIManager> weak)
{
    // Runs on the MIDI thread: parse there, handle each message on the message thread, in
    // order, and only while the manager still exists.
    return [weak](const std::uint8_t* bytes, std::size_t count)
    {
        parseMidiBytes(bytes, count,
                       [&](const ChannelMessage& m)
                       { callAsyncWeak(weak, [m](MIDIManager& mm) { mm.dispatch(m); }); });
    };
}

void MIDIManager::process(const std::uint8_t* bytes, std::size_t count)
{
    byteCallback(self)(bytes, count);
}

void MIDIManager::processNow(const std::uint8_t* bytes, std::size_t count)
{
    parseMidiBytes(bytes, count, [this](const ChannelMessage& m) { dispatch(m); });
}

void MIDIManager::dispatch(const ChannelMessage& m)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    switch (m.kind)
    {
    case 0x80:
        noteOff(m.data1);
        break;
    case 0x90:
        if (m.data2 > 0)
            noteOn(m.data1, m.data2);
        else
            noteOff(m.data1);
        break;
    case 0xB0:
        switch (m.data1)
        {
        case 1:
            applyContinuousControl(modulationTarget.get(), m.data2);
            break;
        case 7:
            applyContinuousControl(volumeTarget.get(), m.data2);
            break;
        case 11:
            applyContinuousControl(expressionTarget.get(), m.data2);
            break;
        case 64:
            setSustainPedal(m.data2 >= 64);
            break;
        default:
            break;
        }
        break;
    case 0xC0:
        if (onProgramChange)
            onProgramChange(m.data1);
        break;
    case 0xE0:
        engine.pitchBend(m.data1 + 128 * m.data2);
        break;
    default: // polyphonic and channel pressure
        break;
    }
}

// ---- Notes ------------------------------------------------------------------------------

int MIDIManager::transposed(int note) const
{
    return std::clamp(note + transposeSemitones.get(), 0, 127);
}

void MIDIManager::noteOn(int note, int velocity)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    const int n = transposed(note);
    sentForKey[note] = n;
    activeNotes = with(activeNotes.get(), n);
    pedalHeld.erase(n); // struck again: no longer waiting for the pedal
    updateSustainedNotes();
    engine.noteOn(n, velocity);
}

void MIDIManager::noteOff(int note)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    // The key releases the note it started, whatever the transposition is now.
    int n;
    if (auto sent = sentForKey.find(note); sent != sentForKey.end())
    {
        n = sent->second;
        sentForKey.erase(sent);
    }
    else
    {
        n = transposed(note);
    }

    activeNotes = without(activeNotes.get(), n);
    if (isSustainPedalDown.get())
        pedalHeld.insert(n);
    else
        engine.noteOff(n);
    updateSustainedNotes();
}

void MIDIManager::toggleOnScreenKey(int note)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    const int n = transposed(note);
    if (clickedNotes->count(n) != 0)
    {
        clickedNotes = without(clickedNotes.get(), n);
        if (isSustainPedalDown.get())
            pedalHeld.insert(n);
        else if (activeNotes->count(n) == 0)
            engine.noteOff(n);
    }
    else
    {
        clickedNotes = with(clickedNotes.get(), n);
        pedalHeld.erase(n);
        engine.noteOn(n, 100);
    }
    updateSustainedNotes();
}

void MIDIManager::panic()
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    activeNotes = {};
    pedalHeld.clear();
    sentForKey.clear();
    clickedNotes = {};
    isSustainPedalDown = false;
    updateSustainedNotes();
    engine.panic();
}

void MIDIManager::setSustainPedal(bool down)
{
    if (down == isSustainPedalDown.get())
        return;

    isSustainPedalDown = down;
    engine.sustainPedal(down);

    if (!down)
    {
        const auto held = std::exchange(pedalHeld, {});
        for (int note : held)
            engine.noteOff(note);
        updateSustainedNotes();
    }
}

void MIDIManager::applyContinuousControl(CCDestination destination, int value)
{
    const double v = std::clamp(value, 0, 127) / 127.0;
    switch (destination)
    {
    case CCDestination::off:
        break;
    case CCDestination::master:
        engine.masterVolume = v;
        break;
    case CCDestination::layerA:
        engine.layerA().volume = v;
        break;
    case CCDestination::layerB:
        engine.layerB().volume = v;
        break;
    case CCDestination::layerC:
        engine.layerC().volume = v;
        break;
    case CCDestination::layerD:
        engine.layerD().volume = v;
        break;
    }
}

void MIDIManager::updateSustainedNotes()
{
    std::set<int> all = activeNotes.get();
    all.insert(pedalHeld.begin(), pedalHeld.end());
    all.insert(clickedNotes->begin(), clickedNotes->end());
    sustainedNotes = all;
}

} // namespace norvane
