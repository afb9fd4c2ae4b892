#include "app/AppState.h"

#include "store/FileWriter.h"

#include "core/MessageThread.h"
#include "store/AppData.h"

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
      loc(options.localization != nullptr ? *options.localization : Localization::shared()),
      updates(options.updateFeed.value_or(UpdateChecker::defaultFeed())), folder(folderOf(options))
{
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
