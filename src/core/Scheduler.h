#pragma once

#include <functional>
#include <memory>
#include <vector>

namespace norvane
{

/** A running timer. Destroying the handle, or calling cancel(), stops it for good.
    cancel() may be called from the timer's own callback; destroying the handle there may not. */
class TimerHandle
{
public:
    virtual ~TimerHandle() = default;
    virtual void cancel() = 0;
};

/** Timers that run on the message thread. The application uses real time; offline rendering
    and tests advance a manual clock, so that envelopes, look-ahead and debounces follow the
    rendered time instead of the wall clock.

    Message thread only.
*/
class Scheduler
{
public:
    virtual ~Scheduler() = default;

    /** Calls `action` every `seconds` until the handle is cancelled or destroyed. */
    [[nodiscard]] virtual std::unique_ptr<TimerHandle> every(double seconds,
                                                             std::function<void()> action) = 0;

    /** Calls `action` once after `seconds`, unless the handle is cancelled or destroyed. */
    [[nodiscard]] virtual std::unique_ptr<TimerHandle> after(double seconds,
                                                             std::function<void()> action) = 0;

    /** Seconds on this scheduler's clock (monotonic; the origin is arbitrary). */
    virtual double now() const = 0;
};

/** Real time, on juce::Timer. */
class RealTimeScheduler final : public Scheduler
{
public:
    std::unique_ptr<TimerHandle> every(double seconds, std::function<void()> action) override;
    std::unique_ptr<TimerHandle> after(double seconds, std::function<void()> action) override;
    double now() const override;
};

/** A clock that only moves when advance() is called; due timers fire in time order. */
class ManualScheduler final : public Scheduler
{
public:
    std::unique_ptr<TimerHandle> every(double seconds, std::function<void()> action) override;
    std::unique_ptr<TimerHandle> after(double seconds, std::function<void()> action) override;
    double now() const override { return clock; }

    /** Moves the clock forward, firing every timer that falls due on the way. */
    void advance(double seconds);

    /** The number of timers that have not been cancelled and may still fire. */
    int pendingCount() const;

private:
    struct Entry
    {
        double due = 0.0;
        double interval = 0.0; // 0 for a one-shot
        std::function<void()> action;
        bool cancelled = false;
    };

    std::unique_ptr<TimerHandle> add(double delay, double interval, std::function<void()> action);

    double clock = 0.0;
    std::vector<std::shared_ptr<Entry>> entries;
};

} // namespace norvane
