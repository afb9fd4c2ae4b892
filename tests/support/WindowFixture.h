#pragma once

#include "app/AppState.h"
#include "catalog/PluginLibrary.h"
#include "store/CustomNames.h"
#include "store/UserDefaults.h"
#include "support/EngineFixture.h"
#include "support/FakeMidi.h"
#include "support/ScannedLibrary.h"
#include "support/TempFolder.h"
#include "ui/ContentView.h"
#include "ui/MidiLearn.h"

#include <gtest/gtest.h>

namespace norvane::test
{

/** The main window's content over a real offline engine and a stand-in MIDI system. */
class WindowTest : public ::testing::Test
{
protected:
    WindowTest()
        : defaults(temp.folder.getChildFile("Norvane.settings")),
          localization(defaults, "en_GB.UTF-8"), theme(defaults, temp.folder),
          names(temp.folder.getChildFile("CustomNames.json")),
          plugins(temp.folder.getChildFile("Plugins.json"),
                  [](auto&) { return std::vector<juce::PluginDescription>{}; }),
          context{theme, localization}
    {
        AppState::Options options;
        options.engine.soundBankPath = "/nonexistent/none.sf2";
        options.midi = std::make_unique<FakeMidi>(midiState);
        options.folder = temp.folder;
        options.defaults = &defaults;
        options.localization = &localization;
        options.updateFeed = juce::URL("http://127.0.0.1:9/version.json");
        app = std::make_unique<AppState>(scheduler, std::move(options));
        waitForScan(plugins);
        learn = std::make_unique<MidiLearn>(context, app->midiManager, app->controllerBindings);
        context.midiLearn = learn.get();
        view = std::make_unique<ContentView>(context, *app, names, plugins);
    }

    juce::Image render()
    {
        return view->createComponentSnapshot(view->getLocalBounds(), true, 1.0f);
    }

    TempFolder temp;
    ManualScheduler scheduler;
    UserDefaults defaults;
    Localization localization;
    ThemeStore theme;
    CustomNames names;
    PluginLibrary plugins;
    ViewContext context;
    std::shared_ptr<FakeMidi::State> midiState = std::make_shared<FakeMidi::State>();
    std::unique_ptr<AppState> app;
    std::unique_ptr<MidiLearn> learn;
    std::unique_ptr<ContentView> view;
};

} // namespace norvane::test
