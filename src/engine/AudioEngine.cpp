#include "engine/AudioEngine.h"

#include "aids/Metronome.h"
#include "core/Bounded.h"
#include "core/Hash.h"
#include "core/MessageThread.h"
#include "engine/LayerSwitcher.h"
#include "engine/LimiterNode.h"
#include "engine/MixerNode.h"
#include "engine/PluginNode.h"
#include "engine/SamplerNode.h"
#include "engine/SoundLoader.h"
#include "engine/TapNode.h"
#include "engine/realtime/LayerProcessor.h"
#include "engine/realtime/PerformanceRouter.h"
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
    status = std::make_unique<DeviceStatus>(*audioHost);

    // 2. The shared bank: the user's SoundFont when installed, else the system's.
    bankPath = options.soundBankPath.empty() ? resolveSoundBank(folder) : options.soundBankPath;
    customSoundFontInstalled = bankPath == customSoundFontFile().getFullPathName().toStdString();
    // A damaged SoundFont of the player's must not silence every layer: the system's bank
    // plays instead, and the player's file stays where it is, named in the error.
    std::optional<std::string> bankError;
    if (customSoundFontInstalled)
        if (auto damaged = SamplerNode::checkBank(bankPath))
        {
            bankError = "No se pudo cargar el SoundFont: " + *damaged;
            bankPath = systemBank();
            customSoundFontInstalled = false;
        }

    // 4 (before 3, so that everything is built at the output's rate): the device.
    std::optional<std::string> startError;
    if (playsThroughDevice)
    {
        if (options.deviceType)
            audioHost->deviceManager().addAudioDeviceType(options.deviceType());
        startError = audioHost->openDevice();
    }

    // The damper sounds for the device's rate, rendered meanwhile, so that the first ones
    // played are heard (offline, they wait until a layer asks for them).
    if (playsThroughDevice)
        prepareDamperSounds();

    // 3 and 5. The five layers' audio sides, each one node feeding the main mixer through its
    // meter, and the router that plays them; then the layers themselves. The drone has no
    // damper stage.
    const std::pair<const char*, std::pair<bool, InstrumentCategory>> plan[] = {
        {"A", {true, InstrumentCategory::piano}},
        {"B", {false, InstrumentCategory::strings}},
        {"C", {false, InstrumentCategory::electricPiano}},
        {"D", {false, InstrumentCategory::organ}}};
    for (size_t i = 0; i < 4; ++i)
        processors[i] = &addLayerProcessor(plan[i].first, true);
    processors[4] = &addLayerProcessor("Drone", false);
    performance = std::make_unique<PerformanceRouter>(
        std::array<LayerProcessor*, 4>{processors[0], processors[1], processors[2], processors[3]},
        *processors[4], audioHost->mainMixerNode());
    audioHost->setBlockListener(performance.get());

    loader = options.soundLoader ? options.soundLoader() : SoundLoader::onThreadOfItsOwn();
    crashRecord = options.crashRecord;
    withoutPlugins = options.withoutPlugins;
    LayerSwitcher::Services services{*loader,
                                     [this](const PluginRef& ref, LayerSwitcher::Instantiated done)
                                     { makeForSwitcher(ref, std::move(done)); },
                                     [this](PluginNode& node) { prepare(node); },
                                     [this](PluginNode& node)
                                     { pluginNodeWillBeRemoved.call(node); }};
    for (size_t i = 0; i < switchers.size(); ++i)
        switchers[i] = std::make_unique<LayerSwitcher>(*processors[i], services);
    for (size_t i = 0; i < layers.size(); ++i)
        layers[i] = std::make_unique<SoundLayer>(*processors[i], *switchers[i], *performance,
                                                 (int)i, plan[i].first, plan[i].second.first,
                                                 plan[i].second.second, bankPath);
    drone = std::make_unique<SoundLayer>(*processors[4], *switchers[4], *performance, 4, "Drone",
                                         true, InstrumentCategory::pad, bankPath);
    for (size_t i = 0; i < switchers.size(); ++i)
        listenTo(*switchers[i], *allLayers()[i]);

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

    // 7. The metronome feeds the main mixer.
    clicks->attach(*this);

    // 8. Meters: the layers' taps were installed with their nodes; the master's now.
    meterBank->install(*masterTap, "master");
    meterBank->startPublishing();

    // What the audio side plays comes back 60 times a second.
    collectTimer = clock.every(collectInterval, [this] { collect(); });

    // Damper sounds are rendered once, in the background, when a layer first asks for them.
    for (auto& l : layers)
        damperWatch.push_back(l->damperAmount.observe(
            [this](const double& amount)
            {
                if (amount > 0.0)
                    prepareDamperSounds();
            }));

    // 10. Start. Without a device the graph runs on a silent clock and loadError says why.
    if (playsThroughDevice)
    {
        if (startError)
            loadError = "No se pudo iniciar el motor de audio: " + *startError;
        audioHost->startPlaying();
    }
    if (bankError && !loadError.get())
        loadError = bankError;

    // 12. The master level.
    masterVolume.setClamp(within(0.0, 1.0, 0.85));
    masterVolume.setDidChange(
        [this](const double&)
        {
            if (!followingMaster)
                audioHost->mainMixerNode().setOutputVolume((float)masterVolume.get());
        });
    audioHost->mainMixerNode().setOutputVolume((float)masterVolume.get());

    // 13–14. Sounds, then compressor and reverb settings, A to D then the drone.
    for (auto* l : allLayers())
        l->loadInstrumentNow(); // nothing plays yet: straight into the first chains
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
    collectTimer.reset();
    loader.reset(); // its last jobs finish here, while the chains exist
    audioHost->stop();
    waitForDamperSounds();
    audioHost->setBlockListener(nullptr);
    clicks.reset();
    drone.reset();
    for (auto& l : layers)
        l.reset();
}

LayerProcessor& AudioEngine::addLayerProcessor(const std::string& slot, bool withDamper)
{
    auto& host = *audioHost;
    auto [id, processor] = host.attachNode(
        std::make_unique<LayerProcessor>(slot, withDamper, host.sampleRate(), damperTable));
    host.connect(id, host.mainMixer());
    meterBank->install(processor->tap(), slot);
    return *processor;
}

bool AudioEngine::damperSoundsReady() const
{
    const auto* table = damperTable.load();
    return table != nullptr && table->sampleRate() == audioHost->sampleRate();
}

void AudioEngine::prepareDamperSounds()
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    damperWanted = true;
    const double rate = audioHost->sampleRate();
    {
        std::lock_guard<std::mutex> guard(damperLock);
        if (damperRate == rate)
            return; // there, or on their way
        damperRate = rate;
    }
    // Never waited for here: a builder for a rate that has gone meanwhile keeps its table to
    // itself. The bank keeps each table for the whole run, so voices that still play an older
    // table's sounds never lose them.
    std::erase_if(damperBuilders,
                  [](DamperBuilder& b)
                  {
                      if (!b.done->load())
                          return false;
                      b.thread.join();
                      return true;
                  });
    auto done = std::make_shared<std::atomic<bool>>(false);
    damperBuilders.push_back({std::thread(
                                  [this, rate, done]
                                  {
                                      auto table = DamperNoiseBank::shared(rate)->table();
                                      {
                                          std::lock_guard<std::mutex> guard(damperLock);
                                          if (damperRate == rate)
                                              damperTable.store(table.get(),
                                                                std::memory_order_release);
                                      }
                                      done->store(true);
                                  }),
                              done});
}

void AudioEngine::waitForDamperSounds()
{
    for (auto& b : damperBuilders)
        b.thread.join();
    damperBuilders.clear();
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

// ---- What the audio side reports --------------------------------------------------------

void AudioEngine::collect()
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    if (playsThroughDevice && audioHost->deviceWentAway())
        fallBackFromLostDevice();
    performance->flushHeld(); // requests that found the audio side stalled
    if (performance->takePlayedState(lastPlayed))
    {
        for (size_t i = 0; i < layers.size(); ++i)
            layers[i]->takeReport(lastPlayed.layers[i]);
        drone->takeReport(lastPlayed.layers[4]);
        played.call(lastPlayed);
    }

    PerformanceNotice notice;
    while (performance->takeNotice(notice))
    {
        const auto target = ControlTarget::fromIndex(notice.target);
        switch (notice.kind)
        {
        case PerformanceNotice::Kind::programChange:
            programChanges.call(notice.value);
            break;
        case PerformanceNotice::Kind::controlMoved:
            if (target)
                followControl(*target, notice.amount);
            break;
        case PerformanceNotice::Kind::controlPressed:
            if (target)
                controlPresses.call(*target);
            break;
        case PerformanceNotice::Kind::learned:
            if (target)
            {
                ControllerBinding b;
                b.target = *target;
                b.source = notice.source == 0x90 ? ControllerBinding::Source::note
                                                 : ControllerBinding::Source::controller;
                b.number = notice.value;
                b.channel = notice.channel;
                learnedBindings.call(b);
            }
            break;
        }
    }

    const auto layersInOrder = allLayers();
    for (size_t i = 0; i < switchers.size(); ++i)
    {
        switchers[i]->collect();
        if (const int silenced = switchers[i]->takeSilencedBlocks(); silenced > 0)
            layersInOrder[i]->silencedPluginBlocks =
                layersInOrder[i]->silencedPluginBlocks.get() + silenced;
    }
    for (auto* p : processors)
        p->collectRetired();
    reaper.freeSettled();
}

void AudioEngine::followControl(const ControlTarget& target, double amount)
{
    // A controller moved it on the audio side: the model follows, without writing back.
    if (target.kind == ControlTarget::Kind::masterVolume)
    {
        const juce::ScopedValueSetter<bool> following(followingMaster, true);
        masterVolume = amount;
    }
    else if (target.kind == ControlTarget::Kind::droneVolume)
        drone->followControl(target.kind, amount);
    else if (target.isLayerTarget())
        layers[(size_t)target.layer]->followControl(target.kind, amount);
}

std::array<SoundLayer*, 5> AudioEngine::allLayers()
{
    return {layers[0].get(), layers[1].get(), layers[2].get(), layers[3].get(), drone.get()};
}

bool AudioEngine::hasPendingChanges() const
{
    for (auto& switcher : switchers)
        if (switcher->isLoading())
            return true;
    return damperWanted && !damperSoundsReady();
}

void AudioEngine::waitForLoads()
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    // Plug-ins arrive through the message loop, sounds from the loader; a change that waits for
    // a chain to come free needs a rendered block first, so it does not hold this up.
    waitForDamperSounds();
    for (int round = 0; round < 3000; ++round)
    {
        loader->waitUntilIdle();
        collect();
        bool preparing = false;
        for (auto& switcher : switchers)
            preparing =
                preparing || (switcher->isLoading() && switcher->preparingChain() != nullptr);
        if (!preparing)
            return;
        if (auto* messages = juce::MessageManager::getInstanceWithoutCreating())
            messages->runDispatchLoopUntil(5);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// ---- Notes ------------------------------------------------------------------------------

void AudioEngine::postToLayers(PerformanceEvent event)
{
    performance->postFromMessageThread(event);
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
    postToLayers({PerformanceEvent::Kind::enginePanic});
}

void AudioEngine::pitchBend(int value)
{
    PerformanceEvent e;
    e.kind = PerformanceEvent::Kind::enginePitchBend;
    e.bend = (std::int16_t)juce::jlimit(0, 16383, value);
    postToLayers(e);
}

void AudioEngine::sustainPedal(bool down)
{
    // Sustain itself is the input's deferred note-offs: the instruments receive nothing.
    PerformanceEvent e;
    e.kind = PerformanceEvent::Kind::engineSustainNoise;
    e.data1 = down ? 1 : 0;
    postToLayers(e);
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
    // Only a bank that plays replaces the one installed.
    if (failure.isEmpty())
        if (const auto unplayable = SamplerNode::checkBank(temp.getFullPathName().toStdString()))
            failure =
                juce::String(*unplayable).replace(temp.getFullPathName(), source.getFullPathName());
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
    for (auto* l : allLayers())
    {
        l->setSoundBankPath(path);
        l->loadInstrument(); // in the background, switched in when loaded
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

void AudioEngine::selectOutputDevice(const std::optional<AudioOutputDevice>& device,
                                     std::optional<DeviceFormat> format)
{
    const auto wanted = format.value_or(outputFormat.get());
    const bool wasRunning = audioHost->isRunning();
    clicks->stop(); // it stays stopped until the musician starts it again

    const auto hostDevice = [](const std::optional<AudioOutputDevice>& d) {
        return d ? std::optional(AudioHost::OutputDevice{d->type, d->name}) : std::nullopt;
    };
    if (const auto refused = audioHost->openDevice(hostDevice(device), wanted))
    {
        // Refused: back to the device that was playing, as it played, saying what the
        // driver said.
        std::string message = "No se pudo cambiar la salida de audio (" + *refused + ").";
        if (const auto alsoRefused =
                audioHost->openDevice(hostDevice(openChoice), outputFormat.get()))
        {
            message += " Tampoco se pudo volver a la salida anterior (" + *alsoRefused +
                       "): el motor sigue sin salida de audio.";
            openChoice = std::nullopt;
            selectedOutputDeviceID = std::nullopt;
        }
        loadError = message;
    }
    else
    {
        openChoice = device;
        selectedOutputDeviceID = device ? std::optional<std::uint32_t>(device->id) : std::nullopt;
        outputFormat = wanted;
        loadError = std::nullopt;
    }

    // Every synthesizer is built again for the device's rate, on the loader.
    for (auto& switcher : switchers)
        switcher->rateChanged();
    if (wasRunning)
        audioHost->startPlaying();
    // Asked for once, they follow every device's rate, even when the first are still being
    // rendered for the rate before.
    if (damperWanted)
        prepareDamperSounds();
}

void AudioEngine::fallBackFromLostDevice()
{
    // The JACK server stopped under the program: it plays on through the system's default
    // output (the silent clock when there is none), and says so.
    openChoice = std::nullopt;
    selectOutputDevice(std::nullopt);
    loadError = std::string("Se perdió la salida de audio: el servidor JACK se detuvo") +
                (audioHost->deviceFigures() ? "; suena por la salida predeterminada."
                                            : " y no hay otra salida de audio.");
}

void AudioEngine::selectOutputFormat(DeviceFormat format)
{
    if (!playsThroughDevice || !audioHost->deviceFigures())
        outputFormat = format; // for the next device that opens
    else if (format != outputFormat.get())
        selectOutputDevice(openChoice, format);
}

} // namespace norvane
