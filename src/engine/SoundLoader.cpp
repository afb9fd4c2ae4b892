#include "engine/SoundLoader.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace norvane
{

namespace
{

class LoaderThread final : public SoundLoader
{
public:
    LoaderThread() : thread([this] { run(); }) {}

    ~LoaderThread() override
    {
        {
            std::lock_guard<std::mutex> guard(lock);
            stopping = true;
        }
        wake.notify_all();
        thread.join();
    }

    void post(Job job) override
    {
        {
            std::lock_guard<std::mutex> guard(lock);
            jobs.push_back(std::move(job));
        }
        wake.notify_one();
    }

    void waitUntilIdle() override
    {
        std::unique_lock<std::mutex> guard(lock);
        idle.wait(guard, [this] { return jobs.empty() && !busy; });
    }

private:
    void run()
    {
        std::unique_lock<std::mutex> guard(lock);
        for (;;)
        {
            wake.wait(guard, [this] { return stopping || !jobs.empty(); });
            if (jobs.empty())
                return; // stopping, with nothing left to do
            auto job = std::move(jobs.front());
            jobs.pop_front();
            busy = true;
            guard.unlock();
            job();
            job = nullptr; // what it held goes here, outside the lock
            guard.lock();
            busy = false;
            if (jobs.empty())
                idle.notify_all();
        }
    }

    std::mutex lock;
    std::condition_variable wake, idle;
    std::deque<Job> jobs;                // guarded by lock
    bool busy = false, stopping = false; // guarded by lock
    std::thread thread;
};

} // namespace

std::unique_ptr<SoundLoader> SoundLoader::onThreadOfItsOwn()
{
    return std::make_unique<LoaderThread>();
}

} // namespace norvane
