#include "engine/SoundLoader.h"

namespace norvane
{

SoundLoader::SoundLoader() : thread([this] { run(); }) {}

SoundLoader::~SoundLoader()
{
    {
        std::lock_guard<std::mutex> guard(lock);
        stopping = true;
    }
    wake.notify_all();
    thread.join();
}

void SoundLoader::post(std::function<void()> job)
{
    {
        std::lock_guard<std::mutex> guard(lock);
        jobs.push_back(std::move(job));
    }
    wake.notify_one();
}

void SoundLoader::waitUntilIdle()
{
    std::unique_lock<std::mutex> guard(lock);
    idle.wait(guard, [this] { return jobs.empty() && !busy; });
}

bool SoundLoader::isIdle()
{
    std::lock_guard<std::mutex> guard(lock);
    return jobs.empty() && !busy;
}

void SoundLoader::run()
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
        guard.lock();
        busy = false;
        if (jobs.empty())
            idle.notify_all();
    }
}

} // namespace norvane
