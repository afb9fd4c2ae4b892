// norvane-cli: the engine without a window, for renders, checks and benchmarks.
//
//   norvane-cli render IN.mid OUT.wav [--seconds S] [--layers ABCD]
//                      [--category SLOT=NAME] [--variant SLOT=N]
//       Plays a Standard MIDI File through the MIDI input's byte path into the engine, offline
//       at 48 kHz, and writes a stereo WAV. --seconds adds a tail after the last message;
//       --layers enables exactly the layers named; --category and --variant choose a layer's
//       sound (categories: piano, electricPiano, harpsichord, organ, strings, pad).
//
//   norvane-cli bench IN.mid
//       Renders the file through the full engine (layers A–D over the whole keyboard, the
//       drone sounding) and through bare synthesizers playing the same notes, and prints the
//       real-time factors, block times, time to first sound and peak memory.

#include "Bench.h"
#include "core/Scheduler.h"
#include "engine/AudioEngine.h"
#include "input/MIDIManager.h"
#include "input/MidiFileReader.h"
#include "input/PerformanceRenderer.h"

#include <juce_audio_formats/juce_audio_formats.h>
#include <juce_events/juce_events.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

namespace
{

int usage()
{
    std::cerr << "usage: norvane-cli render IN.mid OUT.wav [--seconds S] [--layers ABCD]\n"
                 "                          [--category SLOT=NAME] [--variant SLOT=N]\n"
                 "       norvane-cli bench IN.mid\n";
    return 2;
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

int render(const std::vector<std::string>& args)
{
    if (args.size() < 2)
        return usage();

    norvane::ManualScheduler scheduler;
    norvane::AudioEngine engine(scheduler, {});
    if (engine.soundBankPath().empty())
    {
        std::cerr << "norvane-cli: no General MIDI sound bank found\n";
        return 1;
    }

    double tail = 0.0;
    for (size_t i = 2; i < args.size(); ++i)
    {
        const auto& option = args[i];
        if (i + 1 >= args.size())
            return usage();
        const auto& value = args[++i];
        if (option == "--seconds")
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

    for (auto* layer : engine.playingLayers())
        if (auto& e = layer->loadError.get())
            std::cerr << "norvane-cli: layer " << layer->slot << ": " << *e << "\n";

    norvane::MIDIManager midi(engine, norvane::makeDetachedMidi(), scheduler);
    norvane::PerformanceRenderer renderer(engine, midi, scheduler);

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
    // The graph and the device manager post to the message queue: it must exist, on this
    // thread, for as long as they do.
    juce::ScopedJuceInitialiser_GUI juceInitialiser;
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty())
        return usage();

    const auto command = args.front();
    args.erase(args.begin());
    if (command == "render")
        return render(args);
    if (command == "bench" && args.size() == 1)
        return norvane::cli::bench(juce::File::getCurrentWorkingDirectory().getChildFile(args[0]));
    return usage();
}
