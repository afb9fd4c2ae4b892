#include "Listen.h"

#include "FeederMidi.h"

#include "app/AppState.h"
#include "core/Scheduler.h"
#include "input/MidiSystem.h"
#include "store/UserDefaults.h"

#include <juce_events/juce_events.h>

#include <chrono>
#include <cstdio>

namespace norvane::cli
{

namespace
{

int usage()
{
    std::fprintf(stderr, "usage: norvane-cli listen [--seconds S] [--buffer FRAMES] "
                         "[--folder APPFOLDER] [--echo]\n");
    return 2;
}

void runFor(std::chrono::milliseconds span)
{
    const auto end = std::chrono::steady_clock::now() + span;
    while (std::chrono::steady_clock::now() < end)
        juce::MessageManager::getInstance()->runDispatchLoopUntil(10);
}

} // namespace

int listen(const std::vector<std::string>& args)
{
    double seconds = 10.0;
    int frames = 128;
    bool echo = false;
    juce::File folder;
    for (size_t i = 0; i < args.size(); ++i)
    {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == "--seconds" && hasValue)
            seconds = std::atof(args[++i].c_str());
        else if (args[i] == "--buffer" && hasValue)
            frames = std::atoi(args[++i].c_str());
        else if (args[i] == "--folder" && hasValue)
            folder = juce::File::getCurrentWorkingDirectory().getChildFile(args[++i]);
        else if (args[i] == "--echo")
            echo = true;
        else
            return usage();
    }
    if (seconds <= 0.0 || seconds > 86400.0 || frames < 16 || frames > 4096)
        return usage();

    const bool temporary = folder == juce::File();
    if (temporary)
        folder = juce::File::createTempFile("norvane-listen");
    folder.createDirectory();
    {
        RealTimeScheduler scheduler;
        UserDefaults defaults(folder.getChildFile("Norvane.settings"));
        Localization localization(defaults, "en");
        auto options = deviceAppOptions(folder, defaults, localization, makeSystemMidi());
        options.engine.maximumBlockSize = frames;
        AppState app(scheduler, std::move(options));
        app.setUpSession();

        auto& engine = app.audioEngine;
        engine.selectOutputDevice(std::nullopt, DeviceFormat{frames, 0.0});
        app.midiManager.echoToOutput = echo;
        if (engine.loadError.get())
            std::fprintf(stderr, "norvane-cli: %s\n", engine.loadError.get()->c_str());

        // What goes wrong while it plays (a JACK server that stops, a plug-in that fails).
        auto errors = engine.loadError.observe(
            [](const std::optional<std::string>& error)
            {
                if (error)
                    std::printf("error: %s\n", error->c_str());
                std::fflush(stdout);
            });
        auto recall = app.midiManager.onProgramChange;
        app.midiManager.onProgramChange = [&](int program)
        {
            recall(program);
            const auto index = app.livePatchStore.activeIndex();
            if (index && *index == program)
                std::printf("program %d: recalled \"%s\", layer A transposed %d\n", program,
                            app.livePatchStore.patches.get()[(size_t)*index].name.c_str(),
                            engine.layerA().transposeSemitones.get());
            else
                std::printf("program %d: no patch there\n", program);
            std::fflush(stdout);
        };

        // Ready once every sound asked for has loaded and taken over, the damper sounds
        // included (a slow machine or a sanitizer build takes longer).
        const auto loading = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        do
            runFor(std::chrono::milliseconds(100));
        while (engine.hasPendingChanges() && std::chrono::steady_clock::now() < loading);
        runFor(std::chrono::milliseconds(300));
        const auto figures = engine.host().deviceFigures();
        if (figures)
            std::printf("listening: %s/%s, %d frames at %.0f Hz\n", figures->type.toRawUTF8(),
                        figures->name.toRawUTF8(), figures->bufferSize, figures->sampleRate);
        else
            std::printf("listening: no audio output\n");
        std::fflush(stdout);
        runFor(std::chrono::milliseconds((long long)(seconds * 1000.0)));
        app.willTerminate();
    }
    if (temporary)
        folder.deleteRecursively();
    return 0;
}

} // namespace norvane::cli
