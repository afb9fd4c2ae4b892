#include "app/AppState.h"

#include "aids/Metronome.h"
#include "core/MessageThread.h"
#include "store/AppData.h"
#include "store/FileWriter.h"

#include <algorithm>

namespace norvane
{

namespace
{

juce::File folderOf(const AppState::Options& options)
{
    return options.folder != juce::File() ? options.folder : AppData::directory();
}

AudioEngine::Options engineOptions(const AppState::Options& options)
{
    auto engine = options.engine;
    if (engine.appFolder == juce::File())
        engine.appFolder = folderOf(options);
    return engine;
}

} // namespace

AppState::AppState(Scheduler& s, Options options)
    : scheduler(s),
      defaults(options.defaults != nullptr ? *options.defaults : UserDefaults::standard()),
      audioEngine(s, engineOptions(options)), midiManager(audioEngine, std::move(options.midi), s),
      keyboardInput(midiManager), dronePadController(audioEngine.dronePad(), s),
      livePatchStore(folderOf(options).getChildFile("LivePatches.json")),
      controllerBindings(folderOf(options).getChildFile("Controllers.json")),
      loc(options.localization != nullptr ? *options.localization : Localization::shared()),
      updates(options.updateFeed.value_or(UpdateChecker::defaultFeed())), folder(folderOf(options))
{
    // The player's controllers play from the first block, whatever the session holds.
    midiManager.useBindings(controllerBindings.bindings);
    bindingsWatch = controllerBindings.bindings.observe(
        [this](const std::vector<ControllerBinding>& list) { midiManager.useBindings(list); });
    learnWatch = audioEngine.learnedBindings.add([this](const ControllerBinding& b)
                                                 { controllerBindings.bind(b); });
    pressWatch = audioEngine.controlPresses.add([this](ControlTarget t) { press(t); });
}

void AppState::press(const ControlTarget& target)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    using K = ControlTarget::Kind;
    auto& metronome = audioEngine.metronome();
    switch (target.kind)
    {
    case K::layerEnabled:
        if (auto* layer = audioEngine.playingLayers()[(size_t)target.layer])
            layer->isEnabled = !layer->isEnabled.get();
        break;
    case K::droneEnabled:
        dronePadController.isEnabled = !dronePadController.isEnabled.get();
        break;
    case K::metronomeRunning:
        if (metronome.isRunning.get())
            metronome.stop();
        else
            metronome.start();
        break;
    case K::metronomeTap:
        metronome.tap();
        break;
    case K::patchNext:
    case K::patchPrevious:
        livePatchStore.step(target.kind == K::patchNext ? 1 : -1, audioEngine, dronePadController);
        break;
    case K::transposeUp:
    case K::transposeDown:
        midiManager.transposeSemitones = std::clamp(midiManager.transposeSemitones.get() +
                                                        (target.kind == K::transposeUp ? 1 : -1),
                                                    -12, 12);
        break;
    default: // panic, the faders and the knobs: done on the audio side already
        break;
    }
}

AppState::~AppState()
{
    midiManager.onProgramChange = nullptr;
}

void AppState::setUpSession()
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    if (sessionStore != nullptr)
        return;
    updates.checkIfDue(defaults, juce::Time::getCurrentTime());
    sessionStore = std::make_unique<SessionStore>(audioEngine, midiManager, dronePadController,
                                                  scheduler, folder.getChildFile("Session.json"));
    sessionStore->restore();
    sessionStore->beginObserving();
    midiManager.onProgramChange = [this](int program)
    { livePatchStore.recall(program, audioEngine, dronePadController); };
}

void AppState::willTerminate()
{
    if (sessionStore != nullptr)
        sessionStore->save();
    FileWriter::shared().flush(); // every document on disk before the program ends
}

} // namespace norvane
