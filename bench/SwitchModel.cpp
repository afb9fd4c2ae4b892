// Plays the random switching model (tests/support/SwitchModel.h) over many seeds, or one seed
// with its trace, and prints what it found and how long it took.

#include "support/SwitchModel.h"

#include <juce_events/juce_events.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char* argv[])
{
    std::uint64_t first = 1, count = 500;
    bool traced = false;
    int steps = 160;
    for (int i = 1; i < argc; ++i)
    {
        const bool value = i + 1 < argc;
        if (std::strcmp(argv[i], "--seed") == 0 && value)
        {
            first = std::strtoull(argv[++i], nullptr, 10);
            count = 1;
        }
        else if (std::strcmp(argv[i], "--from") == 0 && value)
            first = std::strtoull(argv[++i], nullptr, 10);
        else if (std::strcmp(argv[i], "--seeds") == 0 && value)
            count = std::strtoull(argv[++i], nullptr, 10);
        else if (std::strcmp(argv[i], "--steps") == 0 && value)
            steps = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--trace") == 0)
            traced = true;
        else
        {
            std::fprintf(stderr, "usage: norvane-switch-model [--seeds N] [--from SEED] "
                                 "[--seed SEED [--trace]] [--steps N]\n");
            return 2;
        }
    }

    juce::ScopedJuceInitialiser_GUI juce;
    int failures = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto seed = first; seed < first + count; ++seed)
    {
        norvane::test::SwitchModel model(seed, steps);
        if (traced)
            model.trace = [](const std::string& text) { std::printf("%s", text.c_str()); };
        if (const auto failure = model.run())
        {
            ++failures;
            std::printf("%s\n\n", failure->c_str());
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%llu seeds from %llu, %d steps each: %d failed, %.1f s (%.0f ms a seed)\n",
                (unsigned long long)count, (unsigned long long)first, steps, failures, seconds,
                1000.0 * seconds / (double)count);
    return failures == 0 ? 0 : 1;
}
