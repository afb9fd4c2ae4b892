#pragma once

#include <juce_events/juce_events.h>

namespace norvane::test
{

/** Runs the message loop until everything posted so far has been handled. */
inline void drainMessages(int milliseconds = 50)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil(milliseconds);
}

} // namespace norvane::test
