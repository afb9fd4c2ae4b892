// norvane-switch-bench [ROUNDS]
//
// Prints what stepping through eight patches costs, as a player does with the arrows or a
// footswitch (one second for the eight) and as a controller's burst does (20 ms apart): each a
// patch with other sounds on layers A and B, while the audio side runs at the real rate and the
// loader thread loads. For each round: the sound loads started, finished and skipped, and the
// time from the last step until the last patch plays (its sounds loaded and taken over).

#include "aids/DronePadController.h"
#include "catalog/InstrumentCategory.h"
#include "core/Scheduler.h"
#include "engine/AudioEngine.h"
#include "engine/LayerSwitcher.h"
#include "engine/realtime/LayerProcessor.h"
#include "input/MIDIManager.h"
#include "store/LivePatch.h"

#include <juce_events/juce_events.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace
{

using Clock = std::chrono::steady_clock;

struct Round
{
    int started = 0, finished = 0, skipped = 0;
    double lastPlaysAfterMs = 0.0;
    bool plays = false;
};

Round stepThroughEight(int round, double interval)
{
    norvane::ManualScheduler scheduler;
    norvane::AudioEngine engine(scheduler, {});
    norvane::MIDIManager midi(engine, norvane::makeDetachedMidi(), scheduler);
    norvane::DronePadController drone(engine.dronePad(), scheduler);
    engine.layerB().isEnabled = true;

    // Eight patches, each with sounds of its own on A and B, none the sound they start with.
    const std::pair<norvane::InstrumentCategory, int> sounds[] = {
        {norvane::InstrumentCategory::strings, 0},       {norvane::InstrumentCategory::organ, 0},
        {norvane::InstrumentCategory::electricPiano, 0}, {norvane::InstrumentCategory::pad, 1},
        {norvane::InstrumentCategory::organ, 1},         {norvane::InstrumentCategory::strings, 1},
        {norvane::InstrumentCategory::electricPiano, 1}, {norvane::InstrumentCategory::pad, 2},
        {norvane::InstrumentCategory::strings, 2}};
    std::vector<norvane::LivePatch> patches;
    for (int i = 0; i < 8; ++i)
    {
        auto p = norvane::LivePatch::capture(engine, drone, "Step");
        for (int l = 0; l < 2; ++l)
        {
            const auto& [category, variant] = sounds[(size_t)((i + l + round) % 9)];
            p.layers[(size_t)l].categoryRawValue = static_cast<int>(category);
            p.layers[(size_t)l].variantIndex = variant;
        }
        patches.push_back(std::move(p));
    }

    auto& a = engine.layerA().switcher();
    auto& b = engine.layerB().switcher();
    const auto countsBefore = std::make_pair(a.counts(), b.counts());

    // The audio side at the real rate, driven from here; the loader works on its own thread.
    juce::AudioBuffer<float> block(2, engine.host().maximumBlockSize());
    const double blockSeconds = block.getNumSamples() / engine.host().sampleRate();
    const auto start = Clock::now();
    long blocks = 0;
    int stepped = 0;
    Clock::time_point lastStep;
    Round result;
    for (;;)
    {
        const double now = std::chrono::duration<double>(Clock::now() - start).count();
        if (stepped < 8 && now >= interval * stepped)
        {
            patches[(size_t)stepped].apply(engine, drone);
            lastStep = Clock::now();
            ++stepped;
        }
        const bool pending = engine.layerA().isSwitchPending() || engine.layerB().isSwitchPending();
        if (stepped == 8 && !pending)
        {
            result.lastPlaysAfterMs =
                std::chrono::duration<double, std::milli>(Clock::now() - lastStep).count();
            result.plays = a.heldSound(engine.layerA().processor().liveIndex())
                               .sameSound(engine.layerA().setup().sound);
            break;
        }
        if (now > 20.0)
            break;
        std::this_thread::sleep_until(start +
                                      std::chrono::duration_cast<Clock::duration>(
                                          std::chrono::duration<double>(blocks * blockSeconds)));
        engine.host().render(block, 0, block.getNumSamples());
        ++blocks;
        engine.collect();
    }
    for (auto [after, before] :
         {std::pair{a.counts(), countsBefore.first}, std::pair{b.counts(), countsBefore.second}})
    {
        result.started += after.soundsStarted - before.soundsStarted;
        result.finished += after.soundsFinished - before.soundsFinished;
        result.skipped += after.soundsSkipped - before.soundsSkipped;
    }
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI juceInitialiser;
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    for (const double interval : {0.125, 0.020})
    {
        std::printf("eight patches %.0f ms apart, layers A and B (16 sounds asked for):\n",
                    interval * 1000.0);
        std::vector<double> times;
        for (int r = 0; r < rounds; ++r)
        {
            const auto x = stepThroughEight(r, interval);
            times.push_back(x.lastPlaysAfterMs);
            std::printf("  round %d: loads started %d, finished %d, skipped %d; the last patch "
                        "plays %.0f ms after its step%s\n",
                        r + 1, x.started, x.finished, x.skipped, x.lastPlaysAfterMs,
                        x.plays ? "" : " (NOT its sound)");
        }
        std::sort(times.begin(), times.end());
        std::printf("  median: the last patch plays %.0f ms after its step\n",
                    times[times.size() / 2]);
    }
    return 0;
}
