#include "Bench.h"

#include "core/Scheduler.h"
#include "engine/AudioEngine.h"
#include "engine/SamplerNode.h"
#include "input/MIDIManager.h"
#include "input/MidiFileReader.h"
#include "core/MidiParser.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sys/resource.h>

namespace norvane::cli
{

namespace
{

using Clock = std::chrono::steady_clock;
constexpr double rate = 48000.0;
constexpr int block = 128;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Timing
{
    double total = 0.0;
    std::vector<double> blocks;

    double percentile(double p) const
    {
        auto sorted = blocks;
        std::sort(sorted.begin(), sorted.end());
        return sorted[std::min(sorted.size() - 1, (size_t)(p * (double)sorted.size()))];
    }
};

/** Renders the performance block by block, handing each block's messages to `deliver` first,
    and times every block. It runs in stretches, so that two renders can take turns. */
template <typename Deliver, typename RenderBlock> class Run
{
public:
    Run(const std::vector<TimedMessage>& messages, double tail, Deliver deliver,
        RenderBlock renderBlock)
        : messages(messages), deliver(deliver), renderBlock(renderBlock),
          totalBlocks((size_t)((messages.back().seconds + tail) * rate / block) + 1)
    {
    }

    bool done() const { return b == totalBlocks; }

    void play(size_t blocks)
    {
        for (const size_t end = std::min(totalBlocks, b + blocks); b < end; ++b)
        {
            const double blockEnd = (double)(b + 1) * block / rate;
            const auto start = Clock::now();
            while (next < messages.size() && messages[next].seconds < blockEnd)
                deliver(messages[next++]);
            renderBlock();
            const double t = secondsSince(start);
            timing.blocks.push_back(t);
            timing.total += t;
        }
    }

    Timing timing;

private:
    const std::vector<TimedMessage>& messages;
    Deliver deliver;
    RenderBlock renderBlock;
    const size_t totalBlocks;
    size_t b = 0, next = 0;
};

/** Plays two renders of the performance in turns of `stretch` blocks, `first` leading, so
    that a change in the machine's load weighs on both alike. */
template <typename A, typename B> void takeTurns(A& first, B& second, size_t stretch)
{
    while (!first.done() || !second.done())
    {
        first.play(stretch);
        second.play(stretch);
    }
}

} // namespace

int bench(const juce::File& midiFile, int rounds)
{
    std::string error;
    const auto messages = readMidiFile(midiFile, error);
    if (!messages || messages->empty())
    {
        std::fprintf(stderr, "norvane-cli: %s\n",
                     messages ? "the file holds no messages" : error.c_str());
        return 1;
    }
    const double tail = 2.0;
    const double audioSeconds = messages->back().seconds + tail;

    // (a) The full engine, from construction to the first sound.
    const auto constructed = Clock::now();
    ManualScheduler scheduler;
    AudioEngine engine(scheduler, {});
    if (engine.soundBankPath().empty())
    {
        std::fprintf(stderr, "norvane-cli: no General MIDI sound bank found\n");
        return 1;
    }
    const double constructionTime = secondsSince(constructed);
    juce::AudioBuffer<float> out(2, block);
    engine.noteOn(60, 100);
    double firstSound = -1.0;
    for (int i = 0; i < 400 && firstSound < 0.0; ++i)
    {
        engine.host().render(out, 0, block);
        if (out.getMagnitude(0, 0, block) > 0.0f)
            firstSound = secondsSince(constructed);
    }
    engine.panic();

    for (auto* layer : engine.playingLayers())
        layer->isEnabled = true;
    for (int note : {36, 43, 48})
        engine.dronePad().noteOn(note, 90);
    MIDIManager midi(engine, makeDetachedMidi(), scheduler);

    const auto fullRun = [&]
    {
        return Run(
            *messages, tail,
            [&](const TimedMessage& m) { midi.processNow(m.bytes.data(), m.bytes.size()); },
            [&]
            {
                scheduler.advance(block / rate);
                engine.host().render(out, 0, block);
            });
    };

    // (b) Bare synthesizers, one per layer and the drone, the same programs and notes.
    std::vector<std::unique_ptr<SamplerNode>> synths;
    for (auto* layer : {&engine.layerA(), &engine.layerB(), &engine.layerC(), &engine.layerD(),
                        &engine.dronePad()})
    {
        auto synth = std::make_unique<SamplerNode>(rate);
        synth->loadInstrument(engine.soundBankPath(), layer->currentVariant().program, 121, 0);
        synths.push_back(std::move(synth));
    }
    juce::AudioBuffer<float> mix(2, block), one(2, block);
    juce::MidiBuffer none;
    for (auto& s : synths) // take up the loaded instruments
        s->processBlock(one, none);
    for (int note : {36, 43, 48})
        synths.back()->send({NoteCommand::Kind::start, (std::int16_t)note, 90});

    // The same sustain as the engine's input gives: note-offs wait while the pedal is down.
    bool pedalDown = false;
    std::vector<int> heldByPedal;
    auto toAll = [&](NoteCommand::Kind kind, int note, int velocity)
    {
        for (size_t i = 0; i < 4; ++i)
            synths[i]->send({kind, (std::int16_t)note, (std::int16_t)velocity});
    };
    auto handle = [&](const ChannelMessage& c)
    {
        const bool on = c.kind == 0x90 && c.data2 > 0;
        const bool off = c.kind == 0x80 || (c.kind == 0x90 && c.data2 == 0);
        if (c.kind == 0xB0 && c.data1 == 64 && (c.data2 >= 64) != pedalDown)
        {
            pedalDown = !pedalDown;
            if (!pedalDown)
                for (int note : std::exchange(heldByPedal, {}))
                    toAll(NoteCommand::Kind::stop, note, 0);
        }
        else if (on)
        {
            std::erase(heldByPedal, (int)c.data1);
            toAll(NoteCommand::Kind::stop, c.data1, 0); // struck again
            toAll(NoteCommand::Kind::start, c.data1, c.data2);
        }
        else if (off && pedalDown)
        {
            heldByPedal.push_back(c.data1);
        }
        else if (off)
        {
            toAll(NoteCommand::Kind::stop, c.data1, 0);
        }
    };
    const auto bareRun = [&]
    {
        return Run(
            *messages, tail,
            [&](const TimedMessage& m) { parseMidiBytes(m.bytes.data(), m.bytes.size(), handle); },
            [&]
            {
                mix.clear();
                for (auto& s : synths)
                {
                    s->processBlock(one, none);
                    for (int ch = 0; ch < 2; ++ch)
                        mix.addFrom(ch, 0, one, ch, 0, block);
                }
            });
    };

    // Rounds of both, taking turns every two seconds of audio and each round in turn the other
    // way round, so that the machine's load weighs on both alike; the figure is the median
    // ratio of the rounds.
    const auto stretch = (size_t)(2.0 * rate / block);
    Timing full, bare;
    std::vector<double> ratios, fullTotals, bareTotals;
    for (int round = 0; round < rounds; ++round)
    {
        auto f = fullRun();
        auto b = bareRun();
        if (round % 2 == 0)
            takeTurns(f, b, stretch);
        else
            takeTurns(b, f, stretch);
        ratios.push_back(f.timing.total / b.timing.total);
        fullTotals.push_back(f.timing.total);
        bareTotals.push_back(b.timing.total);
        full.total += f.timing.total;
        full.blocks.insert(full.blocks.end(), f.timing.blocks.begin(), f.timing.blocks.end());
        bare.blocks.insert(bare.blocks.end(), b.timing.blocks.begin(), b.timing.blocks.end());
    }
    std::sort(ratios.begin(), ratios.end());
    const auto median = [](std::vector<double> v)
    {
        std::sort(v.begin(), v.end());
        const auto n = v.size();
        return n % 2 == 1 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
    };
    const double ratio = median(ratios);

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double deadline = block / rate * 1000.0;

    std::printf("performance: %s, %.1f s, rendered at 48 kHz in %d-frame blocks\n",
                midiFile.getFileName().toRawUTF8(), audioSeconds, block);
    std::printf("%d rounds of each, taking turns every 2 s of audio\n", rounds);
    std::printf("full engine (layers A-D, drone): %.1fx real time (median round)\n",
                audioSeconds / median(fullTotals));
    std::printf("bare synthesizers:               %.1fx real time (median round)\n",
                audioSeconds / median(bareTotals));
    std::printf("engine against bare synthesizers: median ratio %.3f, spread %.3f to %.3f\n", ratio,
                ratios.front(), ratios.back());
    const double p999 = full.percentile(0.999) * 1000.0, worst = full.percentile(1.0) * 1000.0;
    std::printf("engine block time: p99 %.3f ms, p99.9 %.3f ms (%.0f%%), worst %.3f ms (%.0f%%) "
                "of the %.3f ms deadline\n",
                full.percentile(0.99) * 1000.0, p999, 100.0 * p999 / deadline, worst,
                100.0 * worst / deadline, deadline);
    std::printf("bare synthesizers' block time: p99 %.3f ms, p99.9 %.3f ms, worst %.3f ms\n",
                bare.percentile(0.99) * 1000.0, bare.percentile(0.999) * 1000.0,
                bare.percentile(1.0) * 1000.0);
    std::printf("first sound after construction: %.3f s (engine built in %.3f s)\n", firstSound,
                constructionTime);
    std::printf("peak memory: %.0f MB\n", usage.ru_maxrss / 1024.0);
    std::printf("ratio %.3f\n", ratio);
    return 0;
}

} // namespace norvane::cli
