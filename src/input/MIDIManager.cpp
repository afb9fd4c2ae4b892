#include "input/MIDIManager.h"

#include "core/Hash.h"
#include "core/MessageThread.h"
#include "engine/AudioEngine.h"
#include "engine/realtime/PerformanceRouter.h"

#include <algorithm>

namespace norvane
{

namespace
{

const char* const fallbackSourceName = "Dispositivo MIDI";

std::set<int> notesOf(const PlayedState::NoteSet& set)
{
    std::set<int> notes;
    for (int n = 0; n < 128; ++n)
        if (set[(size_t)n])
            notes.insert(notes.end(), n);
    return notes;
}

int targetIndex(CCDestination d)
{
    return static_cast<int>(d); // off 0, master 1, layers A–D 2–5: the router's numbering
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

    // What the audio side plays comes back here; the settings it plays by go there.
    playedWatch = engine.played.add([this](const PlayedState& s) { takeReport(s); });
    programWatch = engine.programChanges.add(
        [this](int program)
        {
            if (onProgramChange)
                onProgramChange(program);
        });
    // Settings travel to the audio side in order with the notes.
    auto setting = [this](PerformanceEvent::Kind kind, int a, int b)
    {
        PerformanceEvent e;
        e.kind = kind;
        e.bend = (std::int16_t)std::clamp(a, -128, 127);
        e.data1 = (std::uint8_t)a;
        e.data2 = (std::uint8_t)b;
        post(e);
    };
    transposeSemitones.setDidChange(
        [this, setting](const int&)
        { setting(PerformanceEvent::Kind::setTransposition, transposeSemitones.get(), 0); });
    auto target = [this, setting](int which, CCDestination d)
    { setting(PerformanceEvent::Kind::setControllerTarget, which, targetIndex(d)); };
    modulationTarget.setDidChange([this, target](const CCDestination&)
                                  { target(PerformanceRouter::modulation, modulationTarget); });
    volumeTarget.setDidChange([this, target](const CCDestination&)
                              { target(PerformanceRouter::volume, volumeTarget); });
    expressionTarget.setDidChange([this, target](const CCDestination&)
                                  { target(PerformanceRouter::expression, expressionTarget); });
    sustainPedalInverted.setDidChange(
        [this, setting](const bool&)
        { setting(PerformanceEvent::Kind::setPedalPolarity, sustainPedalInverted.get(), 0); });
    echoToOutput.setDidChange(
        [this, setting](const bool&)
        { setting(PerformanceEvent::Kind::setEcho, echoToOutput.get(), 0); });
    learningTarget.setDidChange(
        [this, setting](const std::optional<ControlTarget>&)
        {
            const auto& target = learningTarget.get();
            setting(PerformanceEvent::Kind::learnControl, target ? target->index() : 0xFF, 0);
        });
    // The audio side stops learning as it binds.
    learnedWatch = engine.learnedBindings.add([this](const ControllerBinding&)
                                              { learningTarget = std::nullopt; });
    setting(PerformanceEvent::Kind::setTransposition, 0, 0);
    for (int which :
         {PerformanceRouter::modulation, PerformanceRouter::volume, PerformanceRouter::expression})
        target(which, CCDestination::off);

    if (const int status = midi->createClient(); status != 0)
    {
        connectionError = "No se pudo crear el cliente MIDI (" + std::to_string(status) + ")";
        return;
    }
    hasClient = true;

    // The program's own input, so that other programs on this machine can play it.
    if (const int status = midi->openVirtualPort(
            "Norvane", byteCallback((int)PerformanceRouter::Lane::midiVirtual));
        status != 0)
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
    // A new listing, or a source to connect that failed to (busy, say): once a second.
    const auto listing = midi->sources();
    const bool chosenListed =
        std::any_of(listing.begin(), listing.end(),
                    [this](const MidiEndpoint& e) { return !chosenName.empty() && e.name == chosenName; });
    const bool retry = (!connected && !listing.empty()) || (chosenListed && connectedName != chosenName);
    if (listing != lastListing || retry)
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

    // The player's source comes back under a new id after an unplug, however long it was
    // away and whatever played meanwhile.
    if (!chosenName.empty() && connectedName != chosenName)
        for (auto& info : infos)
            if (info.name == chosenName)
            {
                attach(info.id);
                return;
            }

    auto hasID = [&](std::uint32_t id)
    { return std::any_of(infos.begin(), infos.end(), [&](auto& i) { return i.id == id; }); };

    if (selectedSourceID.get() && hasID(*selectedSourceID.get()))
        return;

    // A device re-plugged within one poll is back under a new id but the same name.
    if (connected && !connectedName.empty())
        for (auto& info : infos)
            if (info.name == connectedName)
            {
                attach(info.id);
                return;
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

    // Until the player chooses, the source found at start is the one to come back to.
    const bool firstChoice = chosenName.empty();
    if (attach(infos.front().id) && firstChoice)
        chosenName = connectedName;
}

void MIDIManager::connect(std::uint32_t sourceID)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    // The player's choice, even when it fails for now: it is tried again until it connects.
    if (auto endpoint = endpointsByID.find(sourceID); endpoint != endpointsByID.end())
        chosenName = endpoint->second.name.empty() ? fallbackSourceName : endpoint->second.name;
    attach(sourceID);
}

void MIDIManager::chooseSource(const std::string& name)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    chosenName = name;
    refreshSources();
}

bool MIDIManager::attach(std::uint32_t sourceID)
{
    // What the old source held can no longer be released by it, and the on-screen latches
    // go with it: released on the audio side, with the damper noise. Nothing connected held
    // nothing (a retry every second must not release the computer keys' notes).
    if (connected)
    {
        midi->disconnect();
        releaseHeldNotes();
        connected.reset();
        connectedName.clear();
    }

    int status = -1;
    auto endpoint = endpointsByID.find(sourceID);
    if (endpoint != endpointsByID.end())
    {
        status = midi->connect(endpoint->second.identifier,
                               byteCallback((int)PerformanceRouter::Lane::midiDevice));
    }

    if (status == 0)
    {
        connected = sourceID;
        connectedName = endpoint->second.name.empty() ? fallbackSourceName : endpoint->second.name;
        selectedSourceID = sourceID;
        connectionError = std::nullopt;
        return true;
    }
    // Nothing is connected now: the source before was let go of, and this one refused.
    selectedSourceID = std::nullopt;
    connectionError = "No se pudo conectar al dispositivo MIDI (" + std::to_string(status) + ")";
    return false;
}

std::string MIDIManager::connectedSourceName() const
{
    return connected ? connectedName : std::string();
}

void MIDIManager::releaseHeldNotes()
{
    post({PerformanceEvent::Kind::sourceChanged});
}

// ---- Bytes ------------------------------------------------------------------------------

MidiSystem::BytesCallback MIDIManager::byteCallback(int lane)
{
    // Runs on the MIDI thread: parse there and hand each message straight to the audio side,
    // in order, stamped with its arrival. Nothing here allocates, locks or waits.
    auto* router = &engine.router();
    return [router, lane](const std::uint8_t* bytes, std::size_t count)
    {
        const auto arrival = PerformanceRouter::nowNanos();
        parseMidiBytes(bytes, count,
                       [&](const ChannelMessage& m)
                       {
                           PerformanceEvent e;
                           e.kind = PerformanceEvent::Kind::channelMessage;
                           e.input = (PerformanceInput)lane;
                           e.status = m.kind;
                           e.data1 = m.data1;
                           e.data2 = m.data2;
                           e.channel = m.channel;
                           e.arrivalNanos = arrival;
                           router->post((PerformanceRouter::Lane)lane, e);
                       });
    };
}

void MIDIManager::processNow(const std::uint8_t* bytes, std::size_t count)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    parseMidiBytes(bytes, count,
                   [this](const ChannelMessage& m)
                   {
                       PerformanceEvent e;
                       e.kind = PerformanceEvent::Kind::channelMessage;
                       e.input = PerformanceInput::midiDevice;
                       e.status = m.kind;
                       e.data1 = m.data1;
                       e.data2 = m.data2;
                       e.channel = m.channel;
                       post(e);
                   });
}

void MIDIManager::post(PerformanceEvent event)
{
    engine.router().postFromMessageThread(event);
}

// ---- Notes ------------------------------------------------------------------------------

void MIDIManager::noteOn(int note, int velocity)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    if (note < 0 || note > 127)
        return;
    PerformanceEvent e;
    e.kind = PerformanceEvent::Kind::keyDown;
    e.input = PerformanceInput::computerKeys;
    e.data1 = (std::uint8_t)note;
    e.data2 = (std::uint8_t)std::clamp(velocity, 1, 127);
    post(e);
}

void MIDIManager::noteOff(int note)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    if (note < 0 || note > 127)
        return;
    PerformanceEvent e;
    e.kind = PerformanceEvent::Kind::keyUp;
    e.input = PerformanceInput::computerKeys;
    e.data1 = (std::uint8_t)note;
    post(e);
}

void MIDIManager::toggleOnScreenKey(int note)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    PerformanceEvent e;
    e.kind = PerformanceEvent::Kind::screenKey;
    e.data1 = (std::uint8_t)std::clamp(note, 0, 127);
    post(e);
}

void MIDIManager::panic()
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    post({PerformanceEvent::Kind::panic});
}

void MIDIManager::useBindings(const std::vector<ControllerBinding>& bindings)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    post({PerformanceEvent::Kind::clearBindings});
    for (auto& b : bindings)
    {
        PerformanceEvent e;
        e.kind = PerformanceEvent::Kind::bindControl;
        e.status = b.source == ControllerBinding::Source::note ? 0x90 : 0xB0;
        e.data1 = (std::uint8_t)std::clamp(b.number, 0, 127);
        e.data2 = b.target.index();
        e.channel = (std::uint8_t)std::clamp(b.channel, 0, 16);
        post(e);
    }
}

void MIDIManager::takeReport(const PlayedState& state)
{
    // Played notes are not settings: these sets change nothing that is saved.
    activeNotes = notesOf(state.active);
    clickedNotes = notesOf(state.clicked);
    pedalHeld = notesOf(state.heldByPedal);
    isSustainPedalDown = state.pedalDown;
    auto all = state.active | state.heldByPedal | state.clicked;
    sustainedNotes = notesOf(all);
}

} // namespace norvane
