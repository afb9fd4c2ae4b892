#include "store/LivePatchStore.h"

#include "core/MessageThread.h"

#include <algorithm>

namespace norvane
{

LivePatchStore::LivePatchStore(juce::File file) : stored(std::move(file))
{
    if (const auto text = stored.read())
    {
        if (auto list = LivePatch::decodeList(*text))
            patches = std::move(*list);
        else if (auto copy = keepDamagedCopy(stored.location()))
            damagedCopy = copy->getFullPathName().toStdString(); // the next save may replace it
        else
            stored.markUndecodable(); // kept as it is until a copy can be made
    }
    else if (stored.isMarkedUndecodable())
    {
        // There but unreadable: kept aside before anything is written in its place.
        if (auto copy = keepDamagedCopy(stored.location()))
            damagedCopy = copy->getFullPathName().toStdString();
    }
}

std::optional<int> LivePatchStore::activeIndex() const
{
    const auto& active = activePatchID.get();
    if (!active)
        return std::nullopt;
    const auto& list = patches.get();
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i].id == *active)
            return (int)i;
    return std::nullopt;
}

void LivePatchStore::save(const LivePatch& patch)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    auto list = patches.get();
    const auto same = std::find_if(list.begin(), list.end(),
                                   [&](const LivePatch& p) { return p.id == patch.id; });
    if (same != list.end())
        *same = patch;
    else
        list.push_back(patch);
    patches = std::move(list);
    persist();
}

void LivePatchStore::remove(const LivePatch& patch)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    auto list = patches.get();
    std::erase_if(list, [&](const LivePatch& p) { return p.id == patch.id; });
    patches = std::move(list);
    if (activePatchID.get() == patch.id)
        activePatchID = std::nullopt;
    persist();
}

bool LivePatchStore::recall(int position, AudioEngine& engine, DronePadController& drone)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    if (position < 0 || position >= (int)patches->size())
        return false;
    const auto patch = patches.get()[(size_t)position]; // a copy: applying may change the list
    patch.apply(engine, drone);
    activePatchID = patch.id;
    return true;
}

void LivePatchStore::step(int offset, AudioEngine& engine, DronePadController& drone)
{
    const int count = (int)patches->size();
    if (count == 0)
        return;
    const int current = activeIndex().value_or(offset > 0 ? -1 : count);
    recall(std::clamp(current + offset, 0, count - 1), engine, drone);
}

void LivePatchStore::persist()
{
    // The list now, encoded and written on the writer thread.
    stored.writeLater([list = patches.get()] { return LivePatch::encodeList(list); });
}

} // namespace norvane
