#pragma once

#include <juce_events/juce_events.h>

#include <functional>

namespace norvane::test
{

/** Runs the message loop until everything posted so far has been handled. */
inline void drainMessages(int milliseconds = 50)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil(milliseconds);
}

/** Runs the message loop until `done` holds, for at most `seconds`. */
inline bool waitUntil(const std::function<bool()>& done, double seconds = 5.0)
{
    const auto end = juce::Time::getMillisecondCounterHiRes() + seconds * 1000.0;
    while (!done() && juce::Time::getMillisecondCounterHiRes() < end)
        drainMessages(10);
    return done();
}

} // namespace norvane::test
