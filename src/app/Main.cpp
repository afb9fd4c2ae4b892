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
        AudioEngine::Options options;
        options.useAudioDevice = true;
        engine = std::make_unique<AudioEngine>(scheduler, options);
        midi = std::make_unique<MIDIManager>(*engine, makeSystemMidi(), scheduler);
        keys = std::make_unique<ComputerKeyboardManager>(*midi);
        window = std::make_unique<MainWindow>(*engine, *midi);
        PluginWindowManager::shared().watch(*engine);
    }

    void shutdown() override
    {
        PluginWindowManager::shared().closeAll();
        window.reset();
        keys.reset();
        midi.reset();
        engine.reset();
    }

    void systemRequestedQuit() override { quit(); }

private:
    RealTimeScheduler scheduler;
    std::unique_ptr<AudioEngine> engine;
    std::unique_ptr<MIDIManager> midi;
    std::unique_ptr<ComputerKeyboardManager> keys;
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
