#include "app/AppState.h"
#include "core/Scheduler.h"
#include "engine/AudioEngine.h"
#include "input/ComputerKeyboardManager.h"
#include "input/MIDIManager.h"
#include "ui/BareDisplay.h"
#include "ui/PluginWindowManager.h"
#include "ui/StatusView.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace norvane
{

class MainWindow final : public juce::DocumentWindow
{
public:
    MainWindow(AudioEngine& engine, MIDIManager& midi)
        : juce::DocumentWindow("Norvane", juce::Colour(0xff1c1f24), allButtons)
    {
        setUsingNativeTitleBar(true);
        setContentOwned(new StatusView(engine, midi), false);
        setResizable(true, true);
        centreWithSize(720, 140);
        setVisible(true);
    }

    void closeButtonPressed() override
    {
        juce::JUCEApplication::getInstance()->systemRequestedQuit();
    }
};

class NorvaneApplication final : public juce::JUCEApplication
{
public:
    const juce::String getApplicationName() override { return "Norvane"; }
    const juce::String getApplicationVersion() override { return NORVANE_VERSION; }
    bool moreThanOneInstanceAllowed() override { return false; }

    void initialise(const juce::String&) override
    {
        AppState::Options options;
        options.engine.useAudioDevice = true;
        options.midi = makeSystemMidi();
        state = std::make_unique<AppState>(scheduler, std::move(options));
        PluginWindowManager::shared().watch(state->audioEngine);
        window = std::make_unique<MainWindow>(state->audioEngine, state->midiManager);
        state->setUpSession(); // the window shows: restore the session, start saving it
    }

    void shutdown() override
    {
        state->willTerminate();
        PluginWindowManager::shared().closeAll();
        window.reset();
        state.reset();
    }

    void systemRequestedQuit() override { quit(); }

private:
    RealTimeScheduler scheduler;
    std::unique_ptr<AppState> state;
    std::unique_ptr<MainWindow> window;
};

} // namespace norvane

JUCE_CREATE_APPLICATION_DEFINE(norvane::NorvaneApplication)

int main(int argc, char* argv[])
{
    norvane::prepareDisplayWithoutWindowManager();
    juce::JUCEApplicationBase::createInstance = &juce_CreateApplication;
    return juce::JUCEApplicationBase::main(argc, (const char**)argv);
}
