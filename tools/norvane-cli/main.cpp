// norvane-cli: the engine without a window, for renders, checks and benchmarks.
//
//   norvane-cli render IN.mid OUT.wav [--seconds S]
//       Plays a Standard MIDI File through the MIDI input's byte path into the engine, offline
//       at 48 kHz, and writes a stereo WAV. --seconds adds a tail after the last message.

#include "core/Scheduler.h"
#include "engine/AudioEngine.h"
#include "input/MIDIManager.h"
#include "input/MidiFileReader.h"
#include "input/PerformanceRenderer.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

namespace
{

int usage()
{
    std::cerr << "usage: norvane-cli render IN.mid OUT.wav [--seconds S]\n";
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

int render(const std::vector<std::string>& args)
{
    if (args.size() < 2)
        return usage();

    double tail = 0.0;
    for (size_t i = 2; i < args.size(); ++i)
    {
        if (args[i] == "--seconds" && i + 1 < args.size())
        {
            try
            {
                tail = std::stod(args[++i]);
            }
            catch (...)
            {
                std::cerr << "norvane-cli: --seconds needs a number\n";
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

    norvane::ManualScheduler scheduler;
    norvane::AudioEngine::Options options;
    norvane::AudioEngine engine(scheduler, options);
    if (engine.soundBankPath().empty())
    {
        std::cerr << "norvane-cli: no General MIDI sound bank found\n";
        return 1;
    }
    if (auto& e = engine.layerA().loadError.get())
        std::cerr << "norvane-cli: layer A: " << *e << "\n";

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
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty())
        return usage();

    const auto command = args.front();
    args.erase(args.begin());
    if (command == "render")
        return render(args);
    return usage();
}
