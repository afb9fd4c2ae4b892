#include "store/SessionStore.h"

#include "aids/DronePadController.h"
#include "aids/Metronome.h"
#include "core/MessageThread.h"
#include "engine/AudioEngine.h"
#include "input/MIDIManager.h"

namespace norvane
{

namespace
{

CCDestination destination(const std::optional<std::string>& raw)
{
    return raw ? ccDestinationFromRaw(*raw).value_or(CCDestination::off) : CCDestination::off;
}

} // namespace

SessionStore::SessionStore(AudioEngine& e, MIDIManager& m, DronePadController& d, Scheduler& s,
                           juce::File file)
    : engine(e), midi(m), drone(d), scheduler(s), stored(std::move(file))
{
}

SessionState SessionStore::capture() const
{
    SessionState s;
    s.patch = LivePatch::capture(engine, drone, SessionState::patchName);
    s.transposeSemitones = midi.transposeSemitones;
    s.expressionTarget = std::string(rawValue(midi.expressionTarget.get()));
    s.modulationTarget = std::string(rawValue(midi.modulationTarget.get()));
    s.volumeTarget = std::string(rawValue(midi.volumeTarget.get()));
    s.sustainPedalInverted = midi.sustainPedalInverted.get();
    s.echoToOutput = midi.echoToOutput.get();
    if (const auto& selected = engine.selectedOutputDeviceID.get())
        for (const auto& device : engine.availableOutputDevices.get())
            if (device.id == *selected)
            {
                s.audioOutputName = device.name;
                break;
            }
    s.audioBufferSize = engine.outputFormat->bufferSize;
    s.audioSampleRate = engine.outputFormat->sampleRate;
    // The player's keyboard, even while it is unplugged and another source stands in.
    if (!midi.chosenSourceName().empty())
        s.midiSourceName = midi.chosenSourceName();
    auto& metronome = engine.metronome();
    s.metronomeBPM = metronome.bpm.get();
    s.metronomeBeatsPerBar = metronome.signature->beats;
    s.metronomeUnit = metronome.signature->unit;
    s.metronomeVolume = metronome.volume.get();
    return s;
}

void SessionStore::save()
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    ++saves;
    // The values now, encoded and written on the writer thread.
    stored.writeLater([state = capture()] { return state.encode(); });
}

void SessionStore::restore()
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    const auto text = stored.read();
    if (!text)
        return;
    const auto state = SessionState::decode(*text);
    if (!state)
    {
        stored.markUndecodable();
        return;
    }

    state->patch.apply(engine, drone);
    midi.transposeSemitones = std::clamp(state->transposeSemitones, -12, 12);
    midi.expressionTarget = destination(state->expressionTarget);
    midi.modulationTarget = destination(state->modulationTarget);
    midi.volumeTarget = destination(state->volumeTarget);
    midi.sustainPedalInverted = state->sustainPedalInverted.value_or(false);
    midi.echoToOutput = state->echoToOutput.value_or(false);

    auto& metronome = engine.metronome();
    if (state->metronomeBPM)
        metronome.bpm = *state->metronomeBPM;
    if (state->metronomeBeatsPerBar)
        metronome.signature =
            TimeSignature{*state->metronomeBeatsPerBar, state->metronomeUnit.value_or(4)};
    if (state->metronomeVolume)
        metronome.volume = *state->metronomeVolume;

    // A size or rate outside what a device could be asked for is the default's.
    DeviceFormat format;
    if (state->audioBufferSize && *state->audioBufferSize >= AudioEngine::minimumBufferSize &&
        *state->audioBufferSize <= AudioEngine::maximumBufferSize)
        format.bufferSize = *state->audioBufferSize;
    if (state->audioSampleRate && *state->audioSampleRate >= 8000.0 && *state->audioSampleRate <= 384000.0)
        format.sampleRate = *state->audioSampleRate;
    bool reopened = false;
    if (state->audioOutputName)
        for (const auto& device : engine.availableOutputDevices.get())
            if (device.name == *state->audioOutputName)
            {
                engine.selectOutputDevice(device, format);
                reopened = true;
                break;
            }
    if (!reopened)
        engine.selectOutputFormat(format);
    // Connected now, or as soon as it is plugged in.
    if (state->midiSourceName && !state->midiSourceName->empty())
        midi.chooseSource(*state->midiSourceName);
}

void SessionStore::beginObserving()
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    save();
    // Of the MIDI input only its settings: the notes it plays are not a change of the session.
    auto keep = [this](auto subscription)
    { kept.push_back(std::make_shared<decltype(subscription)>(std::move(subscription))); };
    keep(midi.transposeSemitones.observe([this](const int&) { changed(); }));
    keep(midi.selectedSourceID.observe([this](const auto&) { changed(); }));
    keep(midi.sustainPedalInverted.observe([this](const bool&) { changed(); }));
    keep(midi.echoToOutput.observe([this](const bool&) { changed(); }));
    for (auto* target : {&midi.expressionTarget, &midi.modulationTarget, &midi.volumeTarget})
        keep(target->observe([this](const CCDestination&) { changed(); }));

    std::vector<ObservableObject*> watched{&engine, &drone};
    for (auto* layer : engine.playingLayers())
        watched.push_back(layer);
    watched.push_back(&engine.dronePad());
    watched.push_back(&engine.metronome());
    for (auto* object : watched)
        subscriptions.push_back(object->onWillChange([this] { changed(); }));
}

void SessionStore::changed()
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    // Each change moves the save 1.5 s further out; the save reads the values of its time.
    debounce = scheduler.after(debounceSeconds, [this] { save(); });
}

} // namespace norvane
