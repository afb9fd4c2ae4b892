#include "store/FileWriter.h"

namespace norvane
{

FileWriter::FileWriter() : thread([this] { run(); }) {}

FileWriter::~FileWriter()
{
    {
        std::lock_guard<std::mutex> guard(lock);
        stopping = true;
    }
    wake.notify_all();
    thread.join();
}

FileWriter& FileWriter::shared()
{
    static FileWriter writer;
    return writer;
}

void FileWriter::post(const juce::File& file, std::function<void()> job)
{
    {
        std::lock_guard<std::mutex> guard(lock);
        waiting[file.getFullPathName().toStdString()] = std::move(job);
    }
    wake.notify_all();
}

void FileWriter::flush(const juce::File& file)
{
    const auto path = file.getFullPathName().toStdString();
    std::unique_lock<std::mutex> guard(lock);
    done.wait(guard, [&] { return waiting.count(path) == 0 && writing != path; });
}

void FileWriter::flush()
{
    std::unique_lock<std::mutex> guard(lock);
    done.wait(guard, [&] { return waiting.empty() && writing.empty(); });
}

void FileWriter::run()
{
    std::unique_lock<std::mutex> guard(lock);
    for (;;)
    {
        wake.wait(guard, [&] { return stopping || !waiting.empty(); });
        if (waiting.empty())
            return; // stopping, and everything written
        auto next = waiting.begin();
        writing = next->first;
        auto job = std::move(next->second);
        waiting.erase(next);
        guard.unlock();
        job();
        guard.lock();
        writing.clear();
        done.notify_all();
    }
}

} // namespace norvane
