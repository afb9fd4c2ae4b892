// norvane-cli: the engine without a window, for renders, checks and benchmarks.
//
//   norvane-cli render IN.mid OUT.wav [--seconds S] [--layers ABCD]
//                      [--category SLOT=NAME] [--variant SLOT=N]
//       Plays a Standard MIDI File through the MIDI input's byte path into the engine, offline
//       at 48 kHz, and writes a stereo WAV. --seconds adds a tail after the last message;
//       --layers enables exactly the layers named; --category and --variant choose a layer's
//       sound (categories: piano, electricPiano, harpsichord, organ, strings, pad).
//
//                      [--metronome BPM BEATS/UNIT] [--drone PITCHCLASS]
//       --metronome clicks from the start at that tempo and signature (for example 100 6/8);
//       --drone holds the drone pad on that key (0 = C … 11 = B) from the start.
//       --session FILE and --patch FILE apply a stored session ("Session.json") or one patch
//       (a LivePatch object) first; a file that does not decode is an error.
//
//   norvane-cli render IN.mid OUT.wav --folder APPFOLDER [--seconds S]
//       Renders through the composition the application builds on that application folder
//       (its Session.json, LivePatches.json, Controllers.json, SoundFont and the rest, read
//       from a copy, so the folder itself is never written): a Program Change in the file
//       recalls the patch at that position exactly as live, and bound controllers and keys
//       do what they do live. The render waits for what a recall loads.
//
//   norvane-cli chord N N N…
//       Prints the chord those MIDI notes form as one line of JSON, or null.
//
//   norvane-cli save-loop FOLDER
//       Saves patches and sessions into FOLDER as fast as it can, until killed: the other half
//       of the test that kills it at random moments and finds every file whole.
//
//   norvane-cli latency [--stall-ms N] [--json] [--midi FILE]
//       Plays ../shared/bench/dense.mid (or FILE) in real time through the live path, with a
//       simulated 128-frame device and the message loop kept busy N ms of every second, and
//       prints each note's latency from its bytes to its first sample, and the clicks' errors.
//
//   norvane-cli plugins [--json]
//       Lists the installed instrument and effect plug-ins as the application classes and
//       offers them: name, maker, format, URI (LV2) or file and class id (VST3), audio inputs
//       and outputs.
//
//   norvane-cli bench IN.mid [--rounds N]
//       Renders the file through the full engine (layers A–D over the whole keyboard, the
//       drone sounding) and through bare synthesizers playing the same notes, in N (5) rounds
//       of each that take turns every two seconds of audio, and prints the median ratio of
//       their times and its spread, the real-time factors, block times, time to first sound
//       and peak memory.

#include "Bench.h"
#include "Latency.h"
#include "Listen.h"
#include "Play.h"
#include "Plugins.h"
#include "aids/ChordDetector.h"
#include "aids/DronePadController.h"
#include "aids/Metronome.h"
#include "app/AppState.h"
#include "core/Scheduler.h"
#include "engine/AudioEngine.h"
#include "engine/CrashRecord.h"
#include "input/MIDIManager.h"
#include "input/MidiFileReader.h"
#include "input/PerformanceRenderer.h"
#include "store/AppData.h"
#include "store/Json.h"
#include "store/LivePatch.h"
#include "store/LivePatchStore.h"
#include "store/SessionStore.h"
#include "store/StoredFile.h"
#include "store/UserDefaults.h"

#include <juce_audio_formats/juce_audio_formats.h>
#include <juce_events/juce_events.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace
{

int usage(std::ostream& out = std::cerr, int result = 2)
{
    out << "usage: norvane-cli render IN.mid OUT.wav [--seconds S] [--layers ABCD]\n"
           "                          [--category SLOT=NAME] [--variant SLOT=N]\n"
           "                          [--metronome BPM BEATS/UNIT] [--drone PITCHCLASS]\n"
           "                          [--session FILE] [--patch FILE]\n"
           "       norvane-cli render IN.mid OUT.wav --folder APPFOLDER [--seconds S]\n"
           "       norvane-cli chord N N N...\n"
           "       norvane-cli bench IN.mid [--rounds N]\n"
           "       norvane-cli latency [--stall-ms N] [--json] [--midi FILE]\n"
           "       norvane-cli play IN.mid [--device NAME] [--buffer FRAMES] [--rate HZ] [--json]\n"
           "       norvane-cli listen [--seconds S] [--buffer FRAMES] [--folder APPFOLDER] [--echo]\n"
           "       norvane-cli plugins [--json]\n"
           "       norvane-cli --help | --version\n";
    return result;
}

bool writeWav(const juce::File& file, const juce::AudioBuffer<float>& audio, double rate,
              std::string& error)
{
    file.deleteFile();
    auto stream = std::make_unique<juce::FileOutputStream>(file);
    if (!stream->openedOk())
    {
        error = "cannot write " + file.getFullPathName().toStdString();
        return false;
    }
    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatWriter> writer(
        wav.createWriterFor(stream.get(), rate, 2, 24, {}, 0));
    if (writer == nullptr)
    {
        error = "cannot create a WAV writer";
        return false;
    }
    stream.release(); // the writer owns it now
    if (!writer->writeFromAudioSampleBuffer(audio, 0, audio.getNumSamples()))
    {
        error = "writing " + file.getFullPathName().toStdString() + " failed";
        return false;
    }
    return true;
}

std::optional<norvane::InstrumentCategory> categoryNamed(const std::string& name)
{
    const char* names[] = {"piano", "electricPiano", "harpsichord", "organ", "strings", "pad"};
    for (int i = 0; i < 6; ++i)
        if (name == names[i])
            return norvane::instrumentCategoryFromRaw(i);
    return std::nullopt;
}

/** Applies one "SLOT=VALUE" layer option; false when it does not make sense. */
bool applyLayerOption(norvane::AudioEngine& engine, const std::string& option,
                      const std::string& value)
{
    const auto equals = value.find('=');
    if (equals == std::string::npos)
        return false;
    auto* layer = engine.layer(value.substr(0, equals));
    const auto setting = value.substr(equals + 1);
    if (layer == nullptr)
        return false;

    if (option == "--category")
    {
        const auto category = categoryNamed(setting);
        if (!category)
            return false;
        layer->category = *category;
        return true;
    }
    try
    {
        layer->variantIndex = std::stoi(setting);
        return true;
    }
    catch (...)
    {
        return false;
    }
}

/** A whole decimal number, nothing else. */
std::optional<int> integerFrom(const std::string& text)
{
    try
    {
        size_t used = 0;
        const int value = std::stoi(text, &used);
        if (used == text.size())
            return value;
    }
    catch (...)
    {
    }
    return std::nullopt;
}

std::optional<norvane::TimeSignature> signatureFrom(const std::string& text)
{
    const auto slash = text.find('/');
    if (slash == std::string::npos)
        return std::nullopt;
    const auto beats = integerFrom(text.substr(0, slash));
    const auto unit = integerFrom(text.substr(slash + 1));
    if (!beats || !unit || *beats < 1 || *beats > 32 || (*unit != 2 && *unit != 4 && *unit != 8))
        return std::nullopt;
    return norvane::TimeSignature{*beats, *unit};
}

/** A message of the engine's as the player should read it: a render of a folder runs on a
    copy, and the player knows the folder, not the copy. */
std::string named(const std::string& message, const juce::File& copy, const juce::File& folder)
{
    if (copy == juce::File())
        return message;
    return juce::String(message)
        .replace(copy.getFullPathName(), folder.getFullPathName())
        .toStdString();
}

/** The plug-ins that brought norvane-cli down, kept apart from the application's (a plug-in
    may abort here for want of a display and play well in the window): the next run holds
    them back instead of going down again. */
norvane::CrashRecord& crashRecord()
{
    static norvane::CrashRecord record(norvane::AppData::directory().getChildFile("norvane-cli"));
    static const bool watching = (record.watch(), true);
    (void)watching;
    return record;
}

/** Says on the standard error, as it happens, what could not be loaded (the engine's errors,
    each layer's, a plug-in held back), each message once: loads go on during a render, when a
    Program Change recalls a patch. */
class LoadReport
{
public:
    explicit LoadReport(norvane::AudioEngine& engine, juce::File copyIn = {},
                        juce::File folderIn = {})
        : copy(std::move(copyIn)), folder(std::move(folderIn))
    {
        const auto error = [this](std::string prefix)
        {
            return [this, prefix](const std::optional<std::string>& e)
            {
                if (e)
                    say(prefix + *e);
            };
        };
        keep(engine.loadError.observe(error("")));
        for (auto* layer : engine.playingLayers())
            keep(layer->loadError.observe(error("layer " + layer->slot + ": ")));
        keep(engine.heldBackPlugin.observe(
            [this](const std::optional<norvane::AudioEngine::HeldBack>& held)
            {
                if (held && held->crashed)
                    say(held->ref.name +
                        " stopped norvane-cli last time and was not loaded; to try it again, "
                        "remove " +
                        crashRecord().listFile().getFullPathName().toStdString());
            }));
        error("")(engine.loadError.get()); // found while the engine was made
    }

private:
    void say(const std::string& message)
    {
        const auto text = named(message, copy, folder);
        if (said.insert(text).second)
            std::cerr << "norvane-cli: " << text << "\n";
    }
    template <typename Subscription> void keep(Subscription subscription)
    {
        kept.push_back(std::make_shared<Subscription>(std::move(subscription)));
    }

    juce::File copy, folder;
    std::set<std::string> said;
    std::vector<std::shared_ptr<void>> kept;
};

/** Lets plug-ins that a patch asked for finish loading (they arrive on the message loop). */
void waitForPlugins(norvane::AudioEngine& engine)
{
    const auto pending = [&]
    {
        for (auto* layer : engine.playingLayers())
            if ((layer->instrumentPlugin->has_value() && layer->pluginNode() == nullptr) ||
                (layer->effectPlugin->has_value() && layer->effectNode() == nullptr))
                return true;
        return false;
    };
    for (int i = 0; i < 500 && pending(); ++i)
        juce::MessageManager::getInstance()->runDispatchLoopUntil(10);
}

int saveLoop(const juce::File& folder)
{
    // Documents shaped like real ones, without an engine, so that writing starts at once.
    norvane::LivePatchStore patches(folder.getChildFile("LivePatches.json"));
    norvane::StoredFile session(folder.getChildFile("Session.json"));
    norvane::LivePatch patch;
    patch.layers.resize(4);
    patch.layers[0].instrumentPluginState = juce::MemoryBlock(3000, true);
    for (int i = 0;; ++i)
    {
        patch.id = juce::Uuid();
        patch.name = "Patch " + std::to_string(i);
        patch.masterVolume = (i % 100) / 100.0;
        if (patches.patches->size() >= 12)
            patches.remove(patches.patches->front());
        patches.save(patch);
        norvane::SessionState state;
        state.patch = patch;
        state.transposeSemitones = i % 12;
        session.write(state.encode());
    }
}

int chord(const std::vector<std::string>& args)
{
    std::vector<int> notes;
    for (const auto& a : args)
    {
        const auto note = integerFrom(a);
        if (!note || *note < 0 || *note > 127)
        {
            std::cerr << "norvane-cli: chord takes MIDI note numbers 0-127, not \"" << a << "\"\n";
            return 2;
        }
        notes.push_back(*note);
    }

    const auto result = norvane::ChordDetector::detect(notes);
    if (!result)
    {
        std::cout << "null\n";
        return 0;
    }
    auto* object = new juce::DynamicObject();
    object->setProperty("symbol", juce::String::fromUTF8(result->symbol.c_str()));
    object->setProperty("rootName", juce::String(result->rootName));
    if (result->bassName)
        object->setProperty("bassName", juce::String(*result->bassName));
    juce::Array<juce::var> names;
    for (const auto& n : result->noteNames)
        names.add(juce::String(n));
    object->setProperty("noteNames", names);
    if (result->rootPitchClass)
        object->setProperty("rootPitchClass", *result->rootPitchClass);
    std::cout << norvane::toCompactJson(juce::var(object)) << "\n";
    return 0;
}

/** A render through the application's own composition on a copy of an application folder. */
int renderFolder(const std::vector<std::string>& args)
{
    double tail = 0.0;
    std::optional<juce::File> folder;
    for (size_t i = 2; i + 1 < args.size(); i += 2)
    {
        if (args[i] == "--folder")
            folder = juce::File::getCurrentWorkingDirectory().getChildFile(args[i + 1]);
        else if (args[i] == "--seconds" && std::isfinite(std::atof(args[i + 1].c_str())))
            tail = std::max(0.0, std::atof(args[i + 1].c_str()));
        else
        {
            std::cerr << "norvane-cli: with --folder, only --seconds may be given (the folder "
                         "holds the rest)\n";
            return 2;
        }
    }
    if (!folder || !folder->isDirectory())
    {
        std::cerr << "norvane-cli: --folder needs an existing application folder\n";
        return 1;
    }

    std::string error;
    const auto input = juce::File::getCurrentWorkingDirectory().getChildFile(args[0]);
    const auto output = juce::File::getCurrentWorkingDirectory().getChildFile(args[1]);
    auto messages = norvane::readMidiFile(input, error);
    if (!messages)
    {
        std::cerr << "norvane-cli: " << error << "\n";
        return 1;
    }

    // The program writes its folder as it runs (the session above all): it runs on a copy.
    const auto copy = juce::File::createTempFile("norvane-render");
    if (!folder->copyDirectoryTo(copy))
    {
        std::cerr << "norvane-cli: could not copy " << folder->getFullPathName() << "\n";
        return 1;
    }
    int result = 0;
    {
        norvane::ManualScheduler scheduler;
        norvane::UserDefaults defaults(copy.getChildFile("Norvane.settings"));
        norvane::Localization localization(defaults, "en");
        norvane::AppState::Options options;
        options.midi = norvane::makeDetachedMidi();
        options.folder = copy;
        options.defaults = &defaults;
        options.localization = &localization;
        options.updateFeed = juce::URL("http://127.0.0.1:9/version.json"); // never asked
        options.engine.appFolder = copy;
        options.engine.crashRecord = &crashRecord();
        norvane::AppState app(scheduler, std::move(options));
        auto& engine = app.audioEngine;
        if (engine.soundBankPath().empty())
        {
            std::cerr << "norvane-cli: no General MIDI sound bank found\n";
            return 1;
        }
        const LoadReport report(engine, copy, *folder);
        app.setUpSession();
        engine.waitForLoads();
        waitForPlugins(engine);

        norvane::PerformanceRenderer renderer(engine, app.midiManager, scheduler);
        const auto audio = renderer.render(*messages, tail);
        if (!writeWav(output, audio, engine.host().sampleRate(), error))
        {
            std::cerr << "norvane-cli: " << error << "\n";
            result = 1;
        }
        else
        {
            std::printf("rendered %.2f s of audio through %s to %s\n",
                        audio.getNumSamples() / engine.host().sampleRate(),
                        folder->getFullPathName().toRawUTF8(),
                        output.getFullPathName().toRawUTF8());
        }
    }
    copy.deleteRecursively();
    return result;
}

int render(const std::vector<std::string>& args)
{
    if (args.size() < 2)
        return usage();
    if (std::find(args.begin(), args.end(), "--folder") != args.end())
        return renderFolder(args);

    norvane::ManualScheduler scheduler;
    norvane::AudioEngine::Options engineOptions;
    engineOptions.crashRecord = &crashRecord();
    norvane::AudioEngine engine(scheduler, engineOptions);
    if (engine.soundBankPath().empty())
    {
        std::cerr << "norvane-cli: no General MIDI sound bank found\n";
        return 1;
    }
    const LoadReport report(engine);

    double tail = 0.0;
    std::optional<std::pair<double, norvane::TimeSignature>> clicks;
    std::optional<int> droneKey;
    std::optional<juce::File> sessionFile, patchFile;
    for (size_t i = 2; i < args.size(); ++i)
    {
        const auto& option = args[i];
        if (i + 1 >= args.size())
            return usage();
        const auto& value = args[++i];
        if (option == "--metronome")
        {
            double tempo = 0.0;
            try
            {
                tempo = std::stod(value);
            }
            catch (...)
            {
            }
            const auto signature = i + 1 < args.size() ? signatureFrom(args[++i]) : std::nullopt;
            if (tempo < norvane::Metronome::minimumBPM || tempo > norvane::Metronome::maximumBPM ||
                !signature)
            {
                std::cerr << "norvane-cli: --metronome needs a tempo of 40-240 and a signature "
                             "such as 4/4 or 6/8\n";
                return 2;
            }
            clicks = {tempo, *signature};
        }
        else if (option == "--session" || option == "--patch")
        {
            const auto file = juce::File::getCurrentWorkingDirectory().getChildFile(value);
            const auto text = file.loadFileAsString().toStdString();
            const bool decodes = option == "--session"
                                     ? norvane::SessionState::decode(text).has_value()
                                     : norvane::LivePatch::decode(text).has_value();
            if (!decodes)
            {
                std::cerr << "norvane-cli: " << file.getFullPathName() << " is not a "
                          << (option == "--session" ? "session" : "patch")
                          << " document (missing, damaged or of another kind)\n";
                return 1;
            }
            (option == "--session" ? sessionFile : patchFile) = file;
        }
        else if (option == "--drone")
        {
            droneKey = integerFrom(value);
            if (!droneKey || *droneKey < 0 || *droneKey > 11)
            {
                std::cerr << "norvane-cli: --drone needs a pitch class 0-11\n";
                return 2;
            }
        }
        else if (option == "--seconds")
        {
            try
            {
                tail = std::stod(value);
            }
            catch (...)
            {
                std::cerr << "norvane-cli: --seconds needs a number\n";
                return 2;
            }
        }
        else if (option == "--layers")
        {
            for (auto* layer : engine.playingLayers())
                layer->isEnabled = value.find(layer->slot) != std::string::npos;
        }
        else if (option == "--category" || option == "--variant")
        {
            if (!applyLayerOption(engine, option, value))
            {
                std::cerr << "norvane-cli: " << option << " " << value << " makes no sense\n";
                return 2;
            }
        }
        else
        {
            return usage();
        }
    }

    const auto input = juce::File::getCurrentWorkingDirectory().getChildFile(args[0]);
    const auto output = juce::File::getCurrentWorkingDirectory().getChildFile(args[1]);

    std::string error;
    auto messages = norvane::readMidiFile(input, error);
    if (!messages)
    {
        std::cerr << "norvane-cli: " << error << "\n";
        return 1;
    }

    norvane::MIDIManager midi(engine, norvane::makeDetachedMidi(), scheduler);
    norvane::PerformanceRenderer renderer(engine, midi, scheduler);

    norvane::DronePadController drone(engine.dronePad(), scheduler);
    if (sessionFile)
        norvane::SessionStore(engine, midi, drone, scheduler, *sessionFile).restore();
    if (patchFile)
        norvane::LivePatch::decode(patchFile->loadFileAsString().toStdString())
            ->apply(engine, drone);
    waitForPlugins(engine);
    if (droneKey)
        drone.chooseKey(*droneKey);
    if (clicks)
    {
        auto& metronome = engine.metronome();
        metronome.bpm = clicks->first;
        metronome.signature = clicks->second;
        metronome.start();
    }

    const auto started = std::chrono::steady_clock::now();
    auto audio = renderer.render(*messages, tail);
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    const double rate = engine.host().sampleRate();
    if (!writeWav(output, audio, rate, error))
    {
        std::cerr << "norvane-cli: " << error << "\n";
        return 1;
    }

    const double seconds = audio.getNumSamples() / rate;
    std::printf("rendered %.2f s of audio in %.3f s (%.1fx real time) to %s\n", seconds, elapsed,
                elapsed > 0 ? seconds / elapsed : 0.0, output.getFullPathName().toRawUTF8());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty())
        return usage();
    const auto command = args.front();
    args.erase(args.begin());
    if (command == "--version")
    {
        std::cout << "norvane-cli " << NORVANE_VERSION << "\n";
        return 0;
    }
    if (command == "--help" || command == "-h")
        return usage(std::cout, 0);

    // Files only: no message queue, so that it writes within milliseconds of starting.
    if (command == "save-loop" && args.size() == 1)
        return saveLoop(juce::File::getCurrentWorkingDirectory().getChildFile(args[0]));

    // The graph and the device manager post to the message queue: it must exist, on this
    // thread, for as long as they do.
    juce::ScopedJuceInitialiser_GUI juceInitialiser;
    if (command == "render")
        return render(args);
    if (command == "chord")
        return chord(args);
    if (command == "latency")
        return norvane::cli::latency(args);
    if (command == "play")
        return norvane::cli::play(args);
    if (command == "plugins")
        return norvane::cli::plugins(args);
    if (command == "listen")
        return norvane::cli::listen(args);
    if (command == "bench" && (args.size() == 1 || (args.size() == 3 && args[1] == "--rounds")))
    {
        const int rounds = args.size() == 3 ? std::atoi(args[2].c_str()) : 5;
        if (rounds < 1 || rounds > 100)
            return usage();
        return norvane::cli::bench(juce::File::getCurrentWorkingDirectory().getChildFile(args[0]),
                                   rounds);
    }
    return usage();
}
