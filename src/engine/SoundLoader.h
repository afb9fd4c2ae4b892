#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace norvane
{

/** A thread of its own that loads sounds (builds synthesizers, reads SoundFonts) in the order
    asked, so that neither the message thread nor the audio thread ever waits for a disk.

    post() and waitUntilIdle() may be called from any thread but the loader's own; the jobs
    run on the loader thread and must not touch message-thread state.
*/
class SoundLoader
{
public:
    SoundLoader();
    ~SoundLoader();

    SoundLoader(const SoundLoader&) = delete;
    SoundLoader& operator=(const SoundLoader&) = delete;

    void post(std::function<void()> job);

    /** Blocks until every job posted so far has run (offline renders, tests). */
    void waitUntilIdle();

    bool isIdle();

private:
    void run();

    std::mutex lock;
    std::condition_variable wake, idle;
    std::deque<std::function<void()>> jobs; // guarded by lock
    bool busy = false, stopping = false;    // guarded by lock
    std::thread thread;
};

} // namespace norvane
