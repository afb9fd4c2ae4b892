// norvane-window-bench
//
// Prints what the window costs the message thread, off screen: building the main content,
// drawing the whole window (Chords and Live tabs) at its smallest size, and a note through the
// input path with every view that follows it (keyboards, chord names, strips) attached, next
// to the same note without a window. MIDI reaches the engine on the message thread, so the
// views' share of a note is latency added to the next one.

#include "app/AppState.h"
#include "catalog/PluginLibrary.h"
#include "core/Scheduler.h"
#include "store/CustomNames.h"
#include "store/UserDefaults.h"
#include "ui/ContentView.h"

#include <juce_events/juce_events.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace
{

using Clock = std::chrono::steady_clock;

double milliseconds(Clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

/** Microseconds per note-on + note-off of a run over five octaves, chords held by the pedal. */
double perNote(norvane::MIDIManager& midi)
{
    std::vector<double> rounds;
    for (int round = 0; round < 20; ++round)
    {
        const auto start = Clock::now();
        const std::uint8_t pedalDown[] = {0xB0, 64, 127}, pedalUp[] = {0xB0, 64, 0};
        midi.processNow(pedalDown, 3);
        for (int n = 36; n < 96; ++n)
        {
            const std::uint8_t on[] = {0x90, (std::uint8_t)n, 100}, off[] = {0x80, (std::uint8_t)n, 0};
            midi.processNow(on, 3);
            midi.processNow(off, 3);
        }
        midi.processNow(pedalUp, 3);
        rounds.push_back(milliseconds(start) * 1000.0 / 60.0);
    }
    return median(rounds);
}

} // namespace

int main()
{
    juce::ScopedJuceInitialiser_GUI gui;
    const auto folder = juce::File::createTempFile("norvane-window-bench");
    folder.createDirectory();

    norvane::ManualScheduler scheduler;
    norvane::UserDefaults defaults(folder.getChildFile("Norvane.settings"));
    norvane::Localization localization(defaults, "en");
    norvane::ThemeStore theme(defaults, folder);
    norvane::CustomNames names(folder.getChildFile("CustomNames.json"));
    norvane::PluginLibrary plugins(folder.getChildFile("Plugins.json"),
                                   [](auto&) { return std::vector<juce::PluginDescription>{}; });
    norvane::ViewContext context{theme, localization};

    norvane::AppState::Options options;
    options.midi = norvane::makeDetachedMidi();
    options.folder = folder;
    options.defaults = &defaults;
    options.localization = &localization;
    options.updateFeed = juce::URL("http://127.0.0.1:9/version.json");
    norvane::AppState app(scheduler, std::move(options));
    for (auto* layer : app.audioEngine.playingLayers())
        layer->isEnabled = true;

    const double bare = perNote(app.midiManager);

    auto start = Clock::now();
    auto view = std::make_unique<norvane::ContentView>(context, app, names, plugins);
    std::printf("main content built in %.1f ms\n", milliseconds(start));

    for (int tab = 0; tab < 2; ++tab)
    {
        view->selectTab(tab);
        std::vector<double> paints;
        for (int i = 0; i < 20; ++i)
        {
            start = Clock::now();
            const auto image = view->createComponentSnapshot(view->getLocalBounds(), true, 1.0f);
            paints.push_back(milliseconds(start));
        }
        std::printf("whole window drawn, %s tab, %d x %d: %.2f ms (median of 20)\n", tab == 0 ? "Chords" : "Live",
                    view->getWidth(), view->getHeight(), median(paints));
    }

    const double withWindow = perNote(app.midiManager);
    std::printf("note on + off through the input path, no window: %.1f us\n", bare);
    std::printf("the same with the window following every note: %.1f us (views: %.1f us)\n", withWindow,
                withWindow - bare);

    view.reset();
    folder.deleteRecursively();
    return 0;
}
