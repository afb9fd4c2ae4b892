#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>

namespace norvane
{

/** How long the device callback takes, kept by the audio thread without a lock: a count of
    callbacks, those that ran past their period, the slowest, and a histogram of durations
    (10 µs steps up to 40 ms) from which any thread reads percentiles; all of it twice, for
    the wall clock and for the thread's own CPU time. On a shared machine the wall clock also
    counts the time the hypervisor gave to others; the CPU time is what the callback used. */
class CallbackTimes
{
public:
    static constexpr double stepMs = 0.01;
    static constexpr int steps = 4000;

    /** Audio thread: one callback of `periodMs` took `ms`, of which it used `cpuMs` of CPU. */
    void record(double ms, double periodMs, double cpuMs) noexcept
    {
        wall.record(ms, periodMs);
        cpu.record(cpuMs, periodMs);
        callbacks_.fetch_add(1, std::memory_order_relaxed);
        // The load of the last few hundred milliseconds, for the window's figure.
        const double share = periodMs > 0.0 ? ms / periodMs : 0.0;
        const double smoothed = load_.load(std::memory_order_relaxed);
        load_.store(smoothed + 0.02 * (share - smoothed), std::memory_order_relaxed);
    }

    std::int64_t callbacks() const noexcept { return callbacks_.load(std::memory_order_relaxed); }
    std::int64_t overruns() const noexcept { return wall.overruns(); }
    double maxMs() const noexcept { return wall.maxMs(); }
    /** Callbacks that used more CPU than their period. */
    std::int64_t cpuOverruns() const noexcept { return cpu.overruns(); }
    double cpuMaxMs() const noexcept { return cpu.maxMs(); }
    /** The callback's recent share of its period, 0…1 (above 1 when it cannot keep up). */
    double load() const noexcept { return load_.load(std::memory_order_relaxed); }

    /** The duration below which a share `p` (0…1) of the callbacks stayed, in ms: the top of
        its 10 µs step; the slowest callback's own time for p = 1. */
    double percentileMs(double p) const noexcept { return wall.percentileMs(p); }
    /** The same for the CPU time. */
    double cpuPercentileMs(double p) const noexcept { return cpu.percentileMs(p); }

    /** Starts the count again (the window's reset). The audio thread may be recording:
        what it adds meanwhile counts in the new run. */
    void clear() noexcept
    {
        wall.clear();
        cpu.clear();
        callbacks_.store(0, std::memory_order_relaxed);
    }

private:
    class Durations
    {
    public:
        void record(double ms, double periodMs) noexcept
        {
            const auto step = std::clamp((int)(ms / stepMs), 0, steps - 1);
            histogram[(size_t)step].fetch_add(1, std::memory_order_relaxed);
            if (ms > periodMs)
                overruns_.fetch_add(1, std::memory_order_relaxed);
            const auto micros = (std::int64_t)(ms * 1000.0);
            if (micros > maxMicros.load(std::memory_order_relaxed))
                maxMicros.store(micros, std::memory_order_relaxed);
        }

        std::int64_t overruns() const noexcept { return overruns_.load(std::memory_order_relaxed); }
        double maxMs() const noexcept
        {
            return (double)maxMicros.load(std::memory_order_relaxed) / 1000.0;
        }

        double percentileMs(double p) const noexcept
        {
            std::int64_t total = 0;
            for (const auto& count : histogram)
                total += count.load(std::memory_order_relaxed);
            if (total == 0)
                return 0.0;
            if (p >= 1.0)
                return maxMs();
            const auto wanted =
                std::max<std::int64_t>(1, (std::int64_t)(p * (double)total + 0.999999));
            std::int64_t seen = 0;
            for (int i = 0; i < steps; ++i)
                if ((seen += histogram[(size_t)i].load(std::memory_order_relaxed)) >= wanted)
                    return std::min((i + 1) * stepMs, maxMs());
            return maxMs();
        }

        void clear() noexcept
        {
            for (auto& count : histogram)
                count.store(0, std::memory_order_relaxed);
            overruns_.store(0, std::memory_order_relaxed);
            maxMicros.store(0, std::memory_order_relaxed);
        }

    private:
        std::array<std::atomic<std::int64_t>, steps> histogram{};
        std::atomic<std::int64_t> overruns_{0}, maxMicros{0};
    };

    Durations wall, cpu;
    std::atomic<std::int64_t> callbacks_{0};
    std::atomic<double> load_{0.0};
};

} // namespace norvane
