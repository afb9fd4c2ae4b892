// norvane-bench [PERFORMANCE.mid]
//
// Prints: how many times faster than real time the engine renders a reference performance
// (median of five renders, four layers enabled as in a busy set-up and as shipped), the MIDI
// byte parser's throughput, the message-thread cost of a note through the whole input path, the
// time to name a six-note chord, and the layer reverb's room against juce::Reverb.

#include "aids/ChordDetector.h"
#include "core/Scheduler.h"
#include "engine/AudioEngine.h"
#include "engine/Room.h"
#include "input/MIDIManager.h"
#include "input/MidiFileReader.h"
#include "input/PerformanceRenderer.h"

#include <juce_events/juce_events.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <set>
#include <vector>

namespace
{

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double renderFactor(const std::vector<norvane::TimedMessage>& messages, bool allLayers)
{
    norvane::ManualScheduler scheduler;
    norvane::AudioEngine engine(scheduler, {});
    if (allLayers)
        for (auto* layer : engine.playingLayers())
            layer->isEnabled = true;
    norvane::MIDIManager midi(engine, norvane::makeDetachedMidi(), scheduler);
    norvane::PerformanceRenderer renderer(engine, midi, scheduler);

    const auto start = Clock::now();
    const auto audio = renderer.render(messages, 2.0);
    const double elapsed = seconds(start);
    return audio.getNumSamples() / engine.host().sampleRate() / elapsed;
}

/** Microseconds per 128-sample block of a wide, long room on noise, for ours and for juce::Reverb
    with the same settings: the median of 200 rounds of 100 blocks. */
std::pair<double, double> roomCosts()
{
    constexpr int block = 128;
    juce::Reverb::Parameters hall;
    hall.roomSize = 0.8f;
    hall.wetLevel = 0.3f;
    hall.dryLevel = 0.0f;
    norvane::Room room;
    room.prepare(48000.0, block);
    room.setSettings(hall, false);
    juce::Reverb reference;
    reference.setParameters(hall);
    reference.setSampleRate(48000.0);

    std::mt19937 random(3);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    juce::AudioBuffer<float> input(2, block), work(2, block);
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < block; ++i)
            input.setSample(ch, i, noise(random));
    std::vector<float> feed(block);
    for (int i = 0; i < block; ++i)
        feed[(size_t)i] = input.getSample(0, i) + input.getSample(1, i);

    juce::ScopedNoDenormals noDenormals;
    std::vector<double> ours, theirs;
    for (int round = 0; round < 200; ++round)
    {
        auto start = Clock::now();
        for (int b = 0; b < 100; ++b)
            room.render(feed.data(), work.getWritePointer(0), work.getWritePointer(1), block);
        ours.push_back(seconds(start) / 100.0 * 1.0e6);
        start = Clock::now();
        for (int b = 0; b < 100; ++b)
        {
            work.makeCopyOf(input, true);
            reference.processStereo(work.getWritePointer(0), work.getWritePointer(1), block);
        }
        theirs.push_back(seconds(start) / 100.0 * 1.0e6);
    }
    return {median(ours), median(theirs)};
}

} // namespace

int main(int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI juceInitialiser;
    const juce::File file = argc > 1
                                ? juce::File::getCurrentWorkingDirectory().getChildFile(argv[1])
                                : juce::File(NORVANE_SHARED_BENCH).getChildFile("dense.mid");
    std::string error;
    const auto messages = norvane::readMidiFile(file, error);
    if (!messages)
    {
        std::fprintf(stderr, "norvane-bench: %s\n", error.c_str());
        return 1;
    }

    for (bool allLayers : {false, true})
    {
        std::vector<double> factors;
        for (int i = 0; i < 5; ++i)
            factors.push_back(renderFactor(*messages, allLayers));
        std::printf(
            "render %s, %s: %.1fx real time (median of 5)\n", file.getFileName().toRawUTF8(),
            allLayers ? "layers A-D enabled" : "layer A only (as shipped)", median(factors));
    }

    // The byte parser on random bytes.
    std::vector<std::uint8_t> bytes(1 << 22);
    std::mt19937 random(7);
    for (auto& b : bytes)
        b = (std::uint8_t)random();
    std::size_t count = 0;
    auto start = Clock::now();
    for (int i = 0; i < 10; ++i)
        norvane::parseMidiBytes(bytes.data(), bytes.size(),
                                [&](const norvane::ChannelMessage&) { ++count; });
    std::printf("MIDI byte parser: %.0f MB/s (%zu messages)\n",
                10.0 * bytes.size() / seconds(start) / 1.0e6, count);

    // A note through MIDIManager, the engine's fan-out and the four layers, on the message
    // thread; the audio side drains its queues between rounds.
    norvane::ManualScheduler scheduler;
    norvane::AudioEngine engine(scheduler, {});
    for (auto* layer : engine.playingLayers())
        layer->isEnabled = true;
    norvane::MIDIManager midi(engine, norvane::makeDetachedMidi(), scheduler);
    juce::AudioBuffer<float> block(2, 128);
    std::vector<double> perNote;
    for (int round = 0; round < 50; ++round)
    {
        start = Clock::now();
        for (int n = 36; n < 96; ++n)
        {
            const std::uint8_t on[] = {0x90, (std::uint8_t)n, 100},
                               off[] = {0x80, (std::uint8_t)n, 0};
            midi.processNow(on, 3);
            midi.processNow(off, 3);
        }
        perNote.push_back(seconds(start) / 60.0 * 1.0e6);
        engine.host().render(block, 0, 128);
    }
    std::printf("note on + off through the input path, four layers: %.2f us (median)\n",
                median(perNote));

    // Chord naming, as the window does at every redraw: six sounding notes, held with the
    // pedal (a set), and a second, rootless voicing that needs the second pass.
    for (const auto& [label, chord] :
         {std::pair{"C13 (6 notes)", std::set<int>{48, 58, 64, 67, 69, 74}},
          std::pair{"6 notes, second pass", std::set<int>{48, 49, 52, 54, 58, 59}}})
    {
        std::vector<double> perCall;
        std::size_t sink = 0;
        for (int round = 0; round < 200; ++round)
        {
            start = Clock::now();
            for (int i = 0; i < 1000; ++i)
                sink += norvane::ChordDetector::detect(chord)->symbol.size();
            perCall.push_back(seconds(start) / 1000.0 * 1.0e6);
        }
        std::printf("chord detect, %s: %.2f us per call (median of 200 x 1000) [%s]\n", label,
                    median(perCall),
                    sink > 0 ? norvane::ChordDetector::detect(chord)->symbol.c_str() : "");
    }

    const auto [ours, theirs] = roomCosts();
    std::printf("reverb room, 128-frame block: %.2f us (juce::Reverb %.2f us, %.1fx)\n", ours,
                theirs, theirs / ours);
    return 0;
}
