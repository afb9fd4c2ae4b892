#include "engine/AudioEngine.h"

#include "aids/Metronome.h"
#include "core/Hash.h"
#include "core/MessageThread.h"
#include "engine/LimiterNode.h"
#include "engine/MixerNode.h"
#include "engine/TapNode.h"
#include "store/AppData.h"
#include "store/StoredFile.h"

namespace norvane
{

std::vector<std::string> AudioEngine::systemBankCandidates()
{
    return {"/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/FluidR3_GM.sf2",
            "/usr/share/sounds/sf2/TimGM6mb.sf2"};
}

std::string AudioEngine::systemBank()
{
    for (auto& candidate : systemBankCandidates())
        if (juce::File(candidate).existsAsFile())
            return candidate;
    return {};
}

std::string AudioEngine::resolveSoundBank(const juce::File& appFolder)
{
    const auto base = appFolder == juce::File() ? AppData::directory() : appFolder;
    if (auto custom = base.getChildFile("SoundFont.sf2"); custom.existsAsFile())
        return custom.getFullPathName().toStdString();
    return systemBank();
}

AudioEngine::AudioEngine(Scheduler& schedulerIn, Options options)
    : clock(schedulerIn),
      folder(options.appFolder == juce::File() ? AppData::directory() : options.appFolder),
      playsThroughDevice(options.useAudioDevice)
{
    // 1. The meters, the metronome, the graph and the limiter.
    meterBank = std::make_unique<LevelMeterBank>(clock);
    clicks = std::make_unique<Metronome>(clock);
    audioHost = std::make_unique<AudioHost>(options.sampleRate, options.maximumBlockSize);

    // 2. The shared bank: the user's SoundFont when installed, else the system's.
    bankPath = options.soundBankPath.empty() ? resolveSoundBank(folder) : options.soundBankPath;
    customSoundFontInstalled = bankPath == customSoundFontFile().getFullPathName().toStdString();

    // 4 (before 3, so that everything is built at the output's rate): the device.
    std::optional<std::string> startError;
    if (playsThroughDevice)
    {
        if (options.deviceType)
            audioHost->deviceManager().addAudioDeviceType(options.deviceType());
        startError = audioHost->openDevice();
    }

    // 3. The five layers.
    const std::pair<const char*, std::pair<bool, InstrumentCategory>> plan[] = {
        {"A", {true, InstrumentCategory::piano}},
        {"B", {false, InstrumentCategory::strings}},
        {"C", {false, InstrumentCategory::electricPiano}},
        {"D", {false, InstrumentCategory::organ}}};
    for (size_t i = 0; i < layers.size(); ++i)
        layers[i] =
            std::make_unique<SoundLayer>(*audioHost, clock, plan[i].first, plan[i].second.first,
                                         plan[i].second.second, bankPath);
    drone = std::make_unique<SoundLayer>(*audioHost, clock, "Drone", true, InstrumentCategory::pad,
                                         bankPath);

    // 5. Every layer's chain; the drone has no damper stage.
    for (auto& l : layers)
        buildChain(*l, true);
    buildChain(*drone, false);

    // 6. Main mixer → meter tap → limiter → output.
    auto& host = *audioHost;
    host.disconnectOutput(host.mainMixer());
    auto [masterTapID, masterTap] = host.attachNode(std::make_unique<TapNode>("Master tap"));
    auto [limiterID, limiter] = host.attachNode(std::make_unique<LimiterNode>());
    limiterNode = limiter;
    limiterNode->setPreGain(0.0f);
    host.connect(host.mainMixer(), masterTapID);
    host.connect(masterTapID, limiterID);
    host.connect(limiterID, host.output());
    tapIDs.push_back(masterTapID);

    // 7. The metronome feeds the main mixer.
    clicks->attach(*this);

    // 8. Meters: the layers' taps were installed with their chains; the master's now.
    meterBank->install(*masterTap, "master");
    meterBank->startPublishing();

    // 10. Start. Without a device the graph runs on a silent clock and loadError says why.
    if (playsThroughDevice)
    {
        if (startError)
            loadError = "No se pudo iniciar el motor de audio: " + *startError;
        audioHost->startPlaying();
    }

    // 11. The damper players run from now on, so that a sound scheduled later plays at once.
    startDamperPlayers();

    // 12. The master level.
    masterVolume.setClamp([](const double& v) { return juce::jlimit(0.0, 1.0, v); });
    masterVolume.setDidChange(
        [this](const double&)
        { audioHost->mainMixerNode().setOutputVolume((float)masterVolume.get()); });
    audioHost->mainMixerNode().setOutputVolume((float)masterVolume.get());

    // 13–14. Sounds, then compressor and reverb settings, A to D then the drone.
    for (auto* l :
         {layers[0].get(), layers[1].get(), layers[2].get(), layers[3].get(), drone.get()})
        l->loadInstrument();
    for (auto* l :
         {layers[0].get(), layers[1].get(), layers[2].get(), layers[3].get(), drone.get()})
    {
        l->applyCompression();
        l->applyReverb();
    }

    // 15. Layer B's starting sound: a slow, wide pad.
    auto& b = layerB();
    b.eqLowGain = 2.5;
    b.eqMidGain = -2.5;
    b.eqHighGain = 1.5;
    b.compressionAmount = 0.25;
    b.reverbAmount = 0.55;
    b.reverbDecay = 0.85;
    b.attackTime = 1.8;
    b.releaseTime = 3.0;

    // 16. The drone's sound.
    auto& d = dronePad();
    d.volume = 0.5;
    d.compressionAmount = 0.3;
    d.eqLowGain = 5.0;
    d.eqMidGain = -3.0;
    d.eqHighGain = -7.0;
    d.reverbAmount = 0.92;
    d.reverbDecay = 1.0;
    d.attackTime = 6.0;
    d.releaseTime = 9.0;

    // 17. The output devices.
    if (playsThroughDevice)
        availableOutputDevices = listOutputDevices();
}

AudioEngine::~AudioEngine()
{
    audioHost->stop();
    clicks.reset();
    drone.reset();
    for (auto& l : layers)
        l.reset();
}

void AudioEngine::buildChain(SoundLayer& layer, bool withDamper)
{
    auto& host = *audioHost;
    if (withDamper)
    {
        layer.damper.attach(host);
        host.connect(layer.samplerID(), layer.damper.inputMixID());
        host.connect(layer.damper.inputMixID(), layer.eqID());
    }
    else
    {
        host.connect(layer.samplerID(), layer.eqID());
    }
    host.connect(layer.eqID(), layer.compressorID());
    host.connect(layer.compressorID(), layer.reverbID());
    host.connect(layer.reverbID(), layer.mixerID());

    // The layer's meter reads the fader's output on its way to the main mixer.
    auto [tapID, tap] = host.attachNode(std::make_unique<TapNode>("Tap " + layer.slot));
    host.connect(layer.mixerID(), tapID);
    host.connect(tapID, host.mainMixer());
    tapIDs.push_back(tapID);
    meterBank->install(*tap, layer.slot);
}

void AudioEngine::startDamperPlayers()
{
    for (auto& l : layers)
        l->damper.startPlayers();
}

AudioHost::NodeID AudioEngine::attachSource(std::unique_ptr<juce::AudioProcessor> source)
{
    const auto id = audioHost->attach(std::move(source));
    audioHost->connect(id, audioHost->mainMixer());
    return id;
}

bool AudioEngine::isRunning() const
{
    return !playsThroughDevice || audioHost->isRunning();
}

SoundLayer* AudioEngine::layer(std::string_view slot)
{
    for (auto& l : layers)
        if (l->slot == slot)
            return l.get();
    return slot == "Drone" ? drone.get() : nullptr;
}

// ---- Notes ------------------------------------------------------------------------------

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
    // Sustain itself is the input's deferred note-offs: the instruments receive nothing.
    const auto voice = down ? DamperVoice::pedalDown() : DamperVoice::pedalUp();
    for (auto& l : layers)
        if (l->isEnabled.get())
            l->damper.play(voice, l->damperAmount.get());
}

// ---- Sound bank -------------------------------------------------------------------------

void AudioEngine::installSoundFont(const juce::File& source)
{
    const auto target = customSoundFontFile();
    juce::String failure;
    if (!folder.isDirectory() && !folder.createDirectory())
        failure = "cannot create the folder " + folder.getFullPathName();
    else if (!source.existsAsFile())
        failure = "the file " + source.getFullPathName() + " does not exist";

    // Copied beside the target and renamed over it, so that a failed copy never costs the
    // bank already installed.
    const auto temp = folder.getChildFile(".SoundFont.sf2.part");
    if (failure.isEmpty() && !source.copyFileTo(temp))
        failure = "cannot copy " + source.getFullPathName();
    if (failure.isEmpty() && !temp.moveFileTo(target))
        failure = "cannot replace " + target.getFullPathName();

    if (failure.isNotEmpty())
    {
        temp.deleteFile();
        loadError = "No se pudo instalar el SoundFont: " + failure.toStdString();
        return;
    }

    reloadSharedBank(target.getFullPathName().toStdString());
    customSoundFontInstalled = true;
    loadError = std::nullopt;
}

void AudioEngine::removeCustomSoundFont()
{
    customSoundFontFile().deleteFile();
    reloadSharedBank(systemBank());
    customSoundFontInstalled = false;
}

void AudioEngine::reloadSharedBank(const std::string& path)
{
    bankPath = path;
    panic();
    for (auto* l :
         {layers[0].get(), layers[1].get(), layers[2].get(), layers[3].get(), drone.get()})
    {
        l->setSoundBankPath(path);
        l->loadInstrument();
    }
}

// ---- Devices ----------------------------------------------------------------------------

std::vector<AudioOutputDevice> AudioEngine::listOutputDevices()
{
    std::vector<AudioOutputDevice> list;
    for (const auto& device : audioHost->outputDevices())
    {
        const auto type = device.type.toStdString(), name = device.name.toStdString();
        list.push_back({fnv1a32(type + "/" + name), name, type});
    }
    return list;
}

void AudioEngine::selectOutputDevice(const std::optional<AudioOutputDevice>& device)
{
    const bool wasRunning = audioHost->isRunning();
    clicks->stop(); // it stays stopped until the musician starts it again

    std::optional<AudioHost::OutputDevice> choice;
    if (device)
        choice = AudioHost::OutputDevice{device->type, device->name};

    if (audioHost->openDevice(choice))
    {
        // Refused: back to the device that was playing.
        loadError = "No se pudo cambiar la salida de audio (código -1).";
        audioHost->openDevice(openChoice);
    }
    else
    {
        openChoice = choice;
        selectedOutputDeviceID = device ? std::optional<std::uint32_t>(device->id) : std::nullopt;
        loadError = std::nullopt;
    }

    if (wasRunning)
    {
        audioHost->startPlaying();
        startDamperPlayers();
    }
}

} // namespace norvane
