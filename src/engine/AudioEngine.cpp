#include "engine/AudioEngine.h"

#include "core/MessageThread.h"
#include "engine/MixerNode.h"
#include "store/AppData.h"

namespace norvane
{

std::vector<std::string> AudioEngine::systemBankCandidates()
{
    return {"/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/FluidR3_GM.sf2",
            "/usr/share/sounds/sf2/TimGM6mb.sf2"};
}

std::string AudioEngine::resolveSoundBank()
{
    if (auto custom = AppData::file("SoundFont.sf2"); custom.existsAsFile())
        return custom.getFullPathName().toStdString();
    for (auto& candidate : systemBankCandidates())
        if (juce::File(candidate).existsAsFile())
            return candidate;
    return {};
}

AudioEngine::AudioEngine(Scheduler& schedulerIn, Options options)
    : clock(schedulerIn),
      bankPath(options.soundBankPath.empty() ? resolveSoundBank() : options.soundBankPath)
{
    audioHost = std::make_unique<AudioHost>(options.sampleRate, options.maximumBlockSize);

    if (options.useAudioDevice)
    {
        if (auto error = audioHost->startDevice())
        {
            loadError = "No se pudo iniciar el motor de audio: " + *error;
            audioHost->startSilentClock();
        }
    }

    const std::pair<const char*, std::pair<bool, InstrumentCategory>> plan[] = {
        {"A", {true, InstrumentCategory::piano}},
        {"B", {false, InstrumentCategory::strings}},
        {"C", {false, InstrumentCategory::electricPiano}},
        {"D", {false, InstrumentCategory::organ}}};

    for (size_t i = 0; i < layers.size(); ++i)
    {
        layers[i] =
            std::make_unique<SoundLayer>(*audioHost, clock, plan[i].first, plan[i].second.first,
                                         plan[i].second.second, bankPath);
        audioHost->connect(layers[i]->mixerID(), audioHost->mainMixer());
    }
    drone = std::make_unique<SoundLayer>(*audioHost, clock, "Drone", true, InstrumentCategory::pad,
                                         bankPath);
    audioHost->connect(drone->mixerID(), audioHost->mainMixer());

    masterVolume.setClamp([](const double& v) { return juce::jlimit(0.0, 1.0, v); });
    masterVolume.setDidChange(
        [this](const double&)
        { audioHost->mainMixerNode().setOutputVolume((float)masterVolume.get()); });
    audioHost->mainMixerNode().setOutputVolume((float)masterVolume.get());

    for (auto& l : layers)
        l->loadInstrument();
    drone->loadInstrument();
}

AudioEngine::~AudioEngine()
{
    audioHost->stop();
    drone.reset();
    for (auto& l : layers)
        l.reset();
}

SoundLayer* AudioEngine::layer(std::string_view slot)
{
    for (auto& l : layers)
        if (l->slot == slot)
            return l.get();
    return slot == "Drone" ? drone.get() : nullptr;
}

void AudioEngine::noteOn(int note, int velocity)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    for (auto& l : layers)
        l->noteOn(note, velocity);
}

void AudioEngine::noteOff(int note)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    for (auto& l : layers)
        l->noteOff(note);
}

void AudioEngine::panic()
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    for (auto& l : layers)
        l->panicStop();
}

void AudioEngine::pitchBend(int value)
{
    const int clamped = juce::jlimit(0, 16383, value);
    for (auto& l : layers)
        l->sendPitchBend(clamped);
}

void AudioEngine::sustainPedal(bool down)
{
    // The pedal's damper noise comes with the damper stage of the layer chain; the sustain
    // itself is the input's deferred note-offs, so the instruments receive nothing here.
    for (auto& l : layers)
        if (l->isEnabled.get())
            juce::ignoreUnused(down, l->damperAmount.get());
}

} // namespace norvane
