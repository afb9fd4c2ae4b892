#include "app/AppState.h"
#include "catalog/PluginLibrary.h"
#include "core/Scheduler.h"
#include "engine/CrashRecord.h"
#include "store/AppData.h"
#include "store/CustomNames.h"
#include "store/LivePatch.h"
#include "ui/BareDisplay.h"
#include "ui/ChannelStrip.h"
#include "ui/ComputerKeys.h"
#include "ui/ContentView.h"
#include "ui/LiveView.h"
#include "ui/Look.h"
#include "ui/MidiLearn.h"
#include "ui/PluginWindowManager.h"
#include "ui/RootView.h"
#include "ui/ThemeStore.h"
#include "ui/ViewContext.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace norvane
{

namespace
{

/** A logout or a shutdown (SIGTERM), or the terminal that started the program closing
    (SIGHUP), asks the program to quit: it ends as on a normal quit, saving the session. The
    handler only raises a flag, which the message thread looks at ten times a second. */
std::atomic<bool> quitRequested{false};

extern "C" void requestQuit(int)
{
    quitRequested.store(true);
}

void quitOnTerminationSignals()
{
    struct sigaction action = {};
    action.sa_handler = requestQuit;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

class TerminationWatch final : private juce::Timer
{
public:
    TerminationWatch() { startTimer(100); }

private:
    void timerCallback() override
    {
        if (quitRequested.exchange(false))
            juce::JUCEApplication::getInstance()->systemRequestedQuit();
    }
};

} // namespace

/** The single window: the splash, then the main content, in the theme's look. */
class MainWindow final : public juce::DocumentWindow
{
public:
    MainWindow(AppState& app, ThemeStore& theme)
        : juce::DocumentWindow("Norvane", groundColour(theme.backgroundStyle.get()), allButtons),
          context{theme, app.loc}, learn(context, app.midiManager, app.controllerBindings),
          look(context)
    {
        context.midiLearn = &learn;
        watch.watch(theme,
                    [this]
                    {
                        look.refresh();
                        setBackgroundColour(groundColour(context.theme.backgroundStyle.get()));
                    });
        setLookAndFeel(&look);
        setUsingNativeTitleBar(true);
        auto* root =
            new RootView(context,
                         [this, &app]
                         {
                             auto view = std::make_unique<ContentView>(
                                 context, app, CustomNames::shared(), PluginLibrary::shared());
                             content = view.get();
                             return view;
                         });
        root->setSize(ContentView::minimumWidth, ContentView::minimumHeight);
        setContentOwned(root, true);
        setResizable(true, false);
        setResizeLimits(ContentView::minimumWidth, ContentView::minimumHeight + getTitleBarHeight(),
                        16384, 16384);
        centreWithSize(getWidth(), getHeight());
        setVisible(true);
    }

    ~MainWindow() override
    {
        clearContentComponent();
        setLookAndFeel(nullptr);
    }

    void closeButtonPressed() override
    {
        juce::JUCEApplication::getInstance()->systemRequestedQuit();
    }

    ContentView* mainContent() const { return content; }
    const ViewContext& viewContext() const { return context; }

private:
    ViewContext context;
    MidiLearn learn;
    NorvaneLook look;
    ModelWatch watch;
    juce::TooltipWindow tooltips{nullptr, 600};
    ContentView* content = nullptr;
};

/** With --screenshots FOLDER: pictures of the window in Spanish, in English and on a light
    ground, a chord held on the on-screen keyboard; then the program ends. */
class ScreenshotTour final : private juce::Timer
{
public:
    ScreenshotTour(MainWindow& windowIn, AppState& appIn, juce::File folderIn)
        : window(windowIn), app(appIn), folder(std::move(folderIn))
    {
        folder.createDirectory();
        startTimer(300);
    }

private:
    void timerCallback() override
    {
        auto* content = window.mainContent();
        if (content == nullptr || !content->isShowing())
            return;
        auto& theme = window.viewContext().theme;
        auto& loc = app.loc;
        switch (step++)
        {
        case 0:
            for (int note : {48, 64, 67, 71, 74})
                app.midiManager.toggleOnScreenKey(note);
            loc.language = AppLanguage::spanish;
            return;
        case 2:
            save("norvane-es.png");
            loc.language = AppLanguage::english;
            return;
        case 3:
            save("norvane-en.png");
            theme.setBackgroundStyle(BackgroundStyle::paper);
            return;
        case 4:
            save("norvane-light.png");
            theme.setBackgroundStyle(BackgroundStyle::forest);
            return;
        case 5:
            setUpStage(*content);
            return;
        case 7:
            save("norvane-live.png");
            content->livePage().strip(1).toggleModule(ChannelStrip::Module::eq);
            return;
        case 8:
            save("norvane-live-eq.png");
            content->livePage().strip(1).toggleModule(ChannelStrip::Module::eq);
            return;
        case 9:
            content->selectTab(0);
            content->showAppearance(content->header().appearance);
            return;
        case 10:
            save("norvane-appearance.png");
            return;
        case 11:
            for (int note : {48, 64, 67, 71, 74})
                app.midiManager.toggleOnScreenKey(note);
            stopTimer();
            juce::JUCEApplication::getInstance()->systemRequestedQuit();
            return;
        default:
            return;
        }
    }

    /** A few patches, a split layer and the drone, on the Live tab. */
    void setUpStage(ContentView& content)
    {
        auto& engine = app.audioEngine;
        engine.layerB().isEnabled = true;
        engine.layerB().lowKey = 60;
        engine.layerB().reverbAmount = 0.35;
        engine.layerA().highKey = 59;
        engine.layerA().eqLowGain = 3.0;
        app.dronePadController.chooseKey(2);
        for (const char* name : {"Balada", "Rock", "Iglesia"})
            app.livePatchStore.save(LivePatch::capture(engine, app.dronePadController, name));
        app.livePatchStore.activePatchID = app.livePatchStore.patches->at(1).id;
        content.selectTab(1);
    }

    void save(const juce::String& name)
    {
        // The window itself: the call-out boxes are its children, beside the content.
        const auto area = window.getLocalArea(window.getContentComponent(),
                                              window.getContentComponent()->getLocalBounds());
        const auto image = window.createComponentSnapshot(area, true, 1.0f);
        auto file = folder.getChildFile(name);
        file.deleteFile();
        juce::FileOutputStream out(file);
        juce::PNGImageFormat png;
        if (!out.openedOk() || !png.writeImageToStream(image, out))
            std::fprintf(stderr, "could not write %s\n", file.getFullPathName().toRawUTF8());
        else
            std::printf("%s\n", file.getFullPathName().toRawUTF8());
    }

    MainWindow& window;
    AppState& app;
    juce::File folder;
    int step = 0;
};

class NorvaneApp final : public juce::JUCEApplication
{
public:
    const juce::String getApplicationName() override { return "Norvane"; }
    const juce::String getApplicationVersion() override { return NORVANE_VERSION; }
    // One instance per player's folder (see initialise): a second start for the same folder
    // would fight the first over its session and its files, while a test or a picture tour run
    // with folders of its own may run beside the player's.
    bool moreThanOneInstanceAllowed() override { return true; }

    void initialise(const juce::String& commandLine) override
    {
        instanceLock = std::make_unique<juce::InterProcessLock>(
            "Norvane-" +
            juce::String::toHexString(AppData::directory().getFullPathName().hashCode64()));
        if (!instanceLock->enter(0))
        {
            std::fprintf(stderr, "norvane: already running for %s\n",
                         AppData::directory().getFullPathName().toRawUTF8());
            quit();
            return;
        }
        const auto arguments = juce::StringArray::fromTokens(commandLine, true);
        // A plug-in that brought the program down is held back at the next start.
        crashes = std::make_unique<CrashRecord>(AppData::directory());
        crashes->watch();

        AppState::Options options;
        options.engine.useAudioDevice = true;
        options.engine.crashRecord = crashes.get();
        options.engine.withoutPlugins = arguments.contains("--safe");
        options.midi = makeSystemMidi();
        state = std::make_unique<AppState>(scheduler, std::move(options));
        // A held letter key plays one note: without the server's help, a release waits 30 ms
        // for the repeated press that would follow it.
        if (!detectAutoRepeatedKeys())
            ComputerKeys::defaultRepeatWindowMs = 30;
        PluginWindowManager::shared().watch(state->audioEngine);
        window = std::make_unique<MainWindow>(*state, ThemeStore::shared());
        terminationWatch = std::make_unique<TerminationWatch>();

        if (const int at = arguments.indexOf("--screenshots"); at >= 0 && at + 1 < arguments.size())
            tour = std::make_unique<ScreenshotTour>(
                *window, *state,
                juce::File::getCurrentWorkingDirectory().getChildFile(
                    arguments[at + 1].unquoted()));
    }

    void shutdown() override
    {
        terminationWatch.reset();
        tour.reset();
        if (state == nullptr)
            return;
        state->willTerminate();
        PluginLibrary::shared().abandonScan();
        PluginWindowManager::shared().closeAll();
        window.reset();
        state.reset();
    }

    void systemRequestedQuit() override { quit(); }

private:
    RealTimeScheduler scheduler;
    std::unique_ptr<CrashRecord> crashes; // the engine's, outlives it
    std::unique_ptr<AppState> state;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<ScreenshotTour> tour;
    std::unique_ptr<TerminationWatch> terminationWatch;
    std::unique_ptr<juce::InterProcessLock> instanceLock;
};

} // namespace norvane

JUCE_CREATE_APPLICATION_DEFINE(norvane::NorvaneApp)

int main(int argc, char* argv[])
{
    // Answered before anything starts: no display, no audio device, no files touched.
    for (int i = 1; i < argc; ++i)
    {
        if (std::strcmp(argv[i], "--version") == 0)
        {
            std::printf("norvane %s\n", NORVANE_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
        {
            std::printf(
                "usage: norvane [--safe] [--screenshots FOLDER] [--help] [--version]\n"
                "Play keyboard instruments live: up to four layers, each through its own chain.\n"
                "  --safe                start without loading any plug-in (the patches keep "
                "them)\n"
                "  --screenshots FOLDER  save pictures of the window in FOLDER, then quit\n"
                "  --help, -h            show this help\n"
                "  --version             show the version\n"
                "Patches, the session and settings are kept in $XDG_DATA_HOME/Norvane\n"
                "(~/.local/share/Norvane when XDG_DATA_HOME is not set).\n");
            return 0;
        }
    }

    // The picture tour saves demo patches and changes the language and the ground: it plays
    // in folders of its own, removed at the end, never in the player's.
    std::string tourFolder;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--screenshots") == 0)
        {
            char pattern[] = "/tmp/norvane-tour-XXXXXX";
            if (mkdtemp(pattern) == nullptr)
            {
                std::perror("norvane: a folder for the picture tour");
                return 1;
            }
            tourFolder = pattern;
            setenv("XDG_DATA_HOME", (tourFolder + "/data").c_str(), 1);
            setenv("XDG_CONFIG_HOME", (tourFolder + "/config").c_str(), 1);
        }

    norvane::quitOnTerminationSignals();
    norvane::prepareDisplayWithoutWindowManager();
    juce::JUCEApplicationBase::createInstance = &juce_CreateApplication;
    const int result = juce::JUCEApplicationBase::main(argc, (const char**)argv);
    if (!tourFolder.empty())
        std::filesystem::remove_all(tourFolder);
    return result;
}
