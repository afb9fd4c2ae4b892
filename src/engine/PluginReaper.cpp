#include "engine/PluginReaper.h"

#include <thread>

namespace norvane
{

PluginReaper::~PluginReaper()
{
    if (!waiting.empty())
        std::this_thread::sleep_until(waiting.back().freeAt);
    for (auto& w : waiting)
        free(std::move(w.instance));
}

void PluginReaper::take(std::unique_ptr<juce::AudioPluginInstance> instance, bool hasRun)
{
    if (instance == nullptr)
        return;
    // Only LV2 plug-ins share JUCE's worker thread, which frees nothing when it is done.
    if (!hasRun || instance->getPluginDescription().pluginFormatName != "LV2")
    {
        free(std::move(instance));
        return;
    }
    waiting.push_back({Clock::now() + settle, std::move(instance)});
}

void PluginReaper::freeSettled()
{
    const auto now = Clock::now();
    auto due = waiting.begin();
    while (due != waiting.end() && due->freeAt <= now)
        ++due;
    if (due == waiting.begin())
        return;
    // Out of the list first: freeing a plug-in may come back here (its editor, a listener).
    std::vector<Waiting> done(std::make_move_iterator(waiting.begin()),
                              std::make_move_iterator(due));
    waiting.erase(waiting.begin(), due);
    for (auto& w : done)
        free(std::move(w.instance));
}

void PluginReaper::free(std::unique_ptr<juce::AudioPluginInstance> instance)
{
    instance->releaseResources();
    instance.reset();
}

} // namespace norvane
