#pragma once

#include <juce_events/juce_events.h>

#include <functional>
#include <utility>

/** Backs a "message thread only" rule with a debug-build assertion. Tools and tests that run
    without a message loop still call from one thread, which JUCE treats as the message thread. */
#define NORVANE_ASSERT_MESSAGE_THREAD                                                              \
    jassert(juce::MessageManager::getInstanceWithoutCreating() == nullptr ||                       \
            juce::MessageManager::getInstanceWithoutCreating()                                     \
                ->currentThreadHasLockedMessageManager())

namespace norvane
{

/** Runs `action` later on the message thread, unless `owner` has gone by then.

    Safe from any thread as long as the WeakReference itself was made on the message thread
    (copying one is thread-safe; only the message thread reads through it).
*/
template <typename Owner, typename Action>
void callAsyncWeak(juce::WeakReference<Owner> owner, Action&& action)
{
    juce::MessageManager::callAsync(
        [owner = std::move(owner), action = std::forward<Action>(action)]() mutable
        {
            if (auto* o = owner.get())
                action(*o);
        });
}

} // namespace norvane
