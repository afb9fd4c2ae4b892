#include "core/Scheduler.h"

#include <juce_events/juce_events.h>

#include <algorithm>
#include <cmath>

namespace norvane
{

namespace
{

class JuceTimerHandle final : public TimerHandle, private juce::Timer
{
public:
    JuceTimerHandle(double seconds, bool repeatingIn, std::function<void()> actionIn)
        : repeating(repeatingIn), action(std::move(actionIn))
    {
        startTimer(std::max(1, (int)std::lround(seconds * 1000.0)));
    }

    ~JuceTimerHandle() override { stopTimer(); }

    void cancel() override
    {
        cancelled = true;
        stopTimer();
    }

private:
    void timerCallback() override
    {
        if (!repeating)
            stopTimer();
        if (!cancelled)
            action();
    }

    bool repeating;
    bool cancelled = false;
    std::function<void()> action;
};

} // namespace

std::unique_ptr<TimerHandle> RealTimeScheduler::every(double seconds, std::function<void()> action)
{
    return std::make_unique<JuceTimerHandle>(seconds, true, std::move(action));
}

std::unique_ptr<TimerHandle> RealTimeScheduler::after(double seconds, std::function<void()> action)
{
    return std::make_unique<JuceTimerHandle>(seconds, false, std::move(action));
}

double RealTimeScheduler::now() const
{
    return juce::Time::getMillisecondCounterHiRes() / 1000.0;
}

namespace
{

template <typename Entry> class ManualTimerHandle final : public TimerHandle
{
public:
    explicit ManualTimerHandle(std::shared_ptr<Entry> e) : entry(std::move(e)) {}
    ~ManualTimerHandle() override { cancel(); }
    void cancel() override { entry->cancelled = true; }

private:
    std::shared_ptr<Entry> entry;
};

} // namespace

std::unique_ptr<TimerHandle> ManualScheduler::add(double delay, double interval,
                                                  std::function<void()> action)
{
    auto entry = std::make_shared<Entry>();
    entry->due = clock + std::max(0.0, delay);
    entry->interval = interval;
    entry->action = std::move(action);
    entries.push_back(entry);
    return std::make_unique<ManualTimerHandle<Entry>>(entry);
}

std::unique_ptr<TimerHandle> ManualScheduler::every(double seconds, std::function<void()> action)
{
    return add(seconds, std::max(seconds, 1.0e-6), std::move(action));
}

std::unique_ptr<TimerHandle> ManualScheduler::after(double seconds, std::function<void()> action)
{
    return add(seconds, 0.0, std::move(action));
}

void ManualScheduler::advance(double seconds)
{
    const double target = clock + std::max(0.0, seconds);

    for (;;)
    {
        std::erase_if(entries, [](const auto& e) { return e->cancelled; });

        std::shared_ptr<Entry> next;
        for (auto& e : entries)
            if (e->due <= target + 1.0e-12 && (next == nullptr || e->due < next->due))
                next = e;

        if (next == nullptr)
            break;

        clock = std::max(clock, next->due);
        if (next->interval > 0.0)
            next->due += next->interval;
        else
            next->cancelled = true;

        // Keep the action alive even if the callback cancels its own handle.
        auto action = next->action;
        action();
    }

    clock = target;
}

int ManualScheduler::pendingCount() const
{
    return (int)std::count_if(entries.begin(), entries.end(),
                              [](const auto& e) { return !e->cancelled; });
}

} // namespace norvane
