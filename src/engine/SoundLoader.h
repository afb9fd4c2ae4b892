#pragma once

#include <functional>
#include <memory>

namespace norvane
{

/** Where sounds are loaded (synthesizers built, SoundFonts read), so that neither the message
    thread nor the audio thread ever waits for a disk.

    The program's loader is a thread of its own that runs the jobs in the order posted
    (onThreadOfItsOwn()); tests may hold jobs back and run them in any order. A job must not
    touch message-thread state.

    post() and waitUntilIdle() may be called from any thread but the loader's own.
*/
class SoundLoader
{
public:
    using Job = std::function<void()>;

    virtual ~SoundLoader() = default;

    virtual void post(Job job) = 0;

    /** Blocks until every job posted so far has run (offline renders, tests). A loader that
        holds jobs back runs them now. */
    virtual void waitUntilIdle() = 0;

    /** A thread of its own, running the jobs in the order posted; it finishes the jobs
        posted before it is destroyed. */
    static std::unique_ptr<SoundLoader> onThreadOfItsOwn();
};

} // namespace norvane
