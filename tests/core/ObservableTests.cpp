#include "core/MessageThread.h"
#include "core/Observable.h"
#include "core/Scheduler.h"
#include "core/SpscFifo.h"
#include "support/MessageLoop.h"

#include <gtest/gtest.h>

#include <thread>

namespace norvane::test
{

namespace
{

struct Model : ObservableObject
{
    Published<int> level{*this, 5};
    Published<int> mirror{*this, 0};
    std::vector<std::string> log;

    Model()
    {
        level.setClamp([](const int& v) { return std::clamp(v, 0, 10); });
        level.setDidChange(
            [this](const int& previous)
            {
                log.push_back("did " + std::to_string(previous) + "->" +
                              std::to_string(level.get()));
                mirror = level.get() * 2;
            });
    }
};

} // namespace

TEST(Published, ClampsThenSignalsThenStoresThenHandlesThenNotifies)
{
    Model m;
    auto willChange =
        m.onWillChange([&] { m.log.push_back("will " + std::to_string(m.level.get())); });
    auto listener =
        m.level.observe([&](const int& v) { m.log.push_back("saw " + std::to_string(v)); });

    m.level = 42;
    EXPECT_EQ(m.level.get(), 10);
    EXPECT_EQ(m.mirror.get(), 20);
    // The owner-wide signal fires for the mirror too, from inside the handler.
    EXPECT_EQ(m.log, (std::vector<std::string>{"will 5", "did 5->10", "will 10", "saw 10"}));

    m.log.clear();
    m.level = 11; // clamps to the value it already has: nothing happens
    EXPECT_TRUE(m.log.empty());

    listener.reset();
    willChange.reset();
    m.level = 3;
    EXPECT_EQ(m.log, (std::vector<std::string>{"did 10->3"}));
}

TEST(Published, ListenersMayUnsubscribeThemselvesAndOthersWhileCalled)
{
    Model m;
    int firstCalls = 0, secondCalls = 0;
    CallbackList<const int&>::Subscription first, second;
    first = m.level.observe(
        [&](const int&)
        {
            ++firstCalls;
            second.reset();
        });
    second = m.level.observe([&](const int&) { ++secondCalls; });
    m.level = 1;
    m.level = 2;
    EXPECT_EQ(firstCalls, 2);
    EXPECT_EQ(secondCalls, 0);

    // A subscription that outlives its object is harmless.
    CallbackList<const int&>::Subscription orphan;
    {
        Model temporary;
        orphan = temporary.level.observe([](const int&) {});
    }
    orphan.reset();
}

TEST(ManualScheduler, FiresInTimeOrderAndStopsCancelledTimers)
{
    ManualScheduler clock;
    std::vector<std::string> fired;
    auto a = clock.every(0.25, [&] { fired.push_back("a@" + std::to_string(clock.now())); });
    auto b = clock.after(0.6, [&] { fired.push_back("b@" + std::to_string(clock.now())); });
    std::unique_ptr<TimerHandle> c;
    int cCount = 0;
    c = clock.every(0.1,
                    [&]
                    {
                        if (++cCount == 3)
                            c->cancel(); // from its own callback
                    });

    clock.advance(1.0);
    EXPECT_EQ(fired, (std::vector<std::string>{"a@0.250000", "a@0.500000", "b@0.600000",
                                               "a@0.750000", "a@1.000000"}));
    EXPECT_EQ(cCount, 3);
    EXPECT_DOUBLE_EQ(clock.now(), 1.0);

    a.reset();
    fired.clear();
    clock.advance(1.0);
    EXPECT_TRUE(fired.empty());
    EXPECT_EQ(clock.pendingCount(), 0);
}

TEST(RealTimeScheduler, RunsOnTheMessageLoopUntilCancelled)
{
    RealTimeScheduler clock;
    int ticks = 0;
    bool once = false;
    auto repeating = clock.every(0.005, [&] { ++ticks; });
    auto single = clock.after(0.005, [&] { once = true; });
    const auto until = juce::Time::getMillisecondCounter() + 2000;
    while ((ticks < 3 || !once) && juce::Time::getMillisecondCounter() < until)
        drainMessages(10);
    EXPECT_GE(ticks, 3);
    EXPECT_TRUE(once);
    repeating->cancel();
    const int stoppedAt = ticks;
    drainMessages(30);
    EXPECT_EQ(ticks, stoppedAt);
}

TEST(CallAsyncWeak, DoesNothingOnceTheOwnerHasGone)
{
    struct Owner
    {
        int calls = 0;
        JUCE_DECLARE_WEAK_REFERENCEABLE(Owner)
    };
    auto owner = std::make_unique<Owner>();
    int reached = 0;
    callAsyncWeak(juce::WeakReference<Owner>(owner.get()),
                  [&](Owner& o)
                  {
                      ++o.calls;
                      ++reached;
                  });
    drainMessages();
    EXPECT_EQ(owner->calls, 1);

    callAsyncWeak(juce::WeakReference<Owner>(owner.get()), [&](Owner&) { ++reached; });
    owner.reset();
    drainMessages();
    EXPECT_EQ(reached, 1);
}

TEST(SpscFifo, CarriesEveryItemInOrderBetweenTwoThreads)
{
    SpscFifo<int, 64> fifo;
    constexpr int count = 200000;
    std::thread producer(
        [&]
        {
            for (int i = 0; i < count;)
                if (fifo.push(i))
                    ++i;
                else
                    std::this_thread::yield();
        });

    int expected = 0;
    while (expected < count)
    {
        int value = -1;
        if (fifo.pop(value))
        {
            ASSERT_EQ(value, expected);
            ++expected;
        }
        else
        {
            std::this_thread::yield();
        }
    }
    producer.join();
    EXPECT_EQ(fifo.size(), 0);

    for (int i = 0; i < 64; ++i)
        EXPECT_TRUE(fifo.push(i));
    EXPECT_FALSE(fifo.push(64)); // full: refused, nothing lost
    int first = -1;
    EXPECT_TRUE(fifo.pop(first));
    EXPECT_EQ(first, 0);
}

} // namespace norvane::test
