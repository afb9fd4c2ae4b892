#include "catalog/PluginLibrary.h"

#include "core/MessageThread.h"
#include "store/AppData.h"
#include "store/Json.h"

#include <algorithm>
#include <utility>

namespace norvane
{

PluginLibrary::PluginLibrary(juce::File file, Scan scan)
    : stored(std::move(file)), scanner(std::move(scan))
{
    if (const auto text = stored.read())
    {
        if (auto slots = decode(*text))
            instrumentSlots = std::move(*slots);
        else
            stored.markUndecodable();
    }
    refreshInstalled();
}

PluginLibrary::~PluginLibrary()
{
    abandonScan();
}

void PluginLibrary::abandonScan()
{
    if (cancel)
        cancel->store(true);
    joinWorker();
    waiting.clear();
}

PluginLibrary& PluginLibrary::shared()
{
    static PluginLibrary library(
        AppData::directory().getChildFile("Plugins.json"), [](const ScanFeedback& feedback)
        { return PluginScanner(PluginScanner::defaultProgram()).scan(feedback); });
    return library;
}

void PluginLibrary::refreshInstalled()
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    if (isScanning())
        scanAgain = true;
    else
        startScan();
}

void PluginLibrary::whenScanned(std::function<void()> then)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    if (isScanning())
        waiting.push_back(std::move(then));
    else
        then();
}

void PluginLibrary::startScan()
{
    joinWorker(); // the last scan's thread has posted its result and is ending
    scanAgain = false;
    scanProgress = ScanProgress{};
    cancel = std::make_shared<std::atomic<bool>>(false);

    // The thread reaches this object only through messages, which find it gone once it is.
    juce::WeakReference<PluginLibrary> weak(this);
    worker = std::thread(
        [weak, scan = scanner, stop = cancel]() mutable
        {
            ScanFeedback feedback;
            feedback.cancelled = [stop] { return stop->load(); };
            feedback.progress = [weak, stop](const ScanProgress& progress)
            {
                callAsyncWeak(weak,
                              [stop, progress](PluginLibrary& library)
                              {
                                  if (!stop->load() && library.isScanning())
                                      library.scanProgress = progress;
                              });
            };
            auto found = scan ? scan(feedback) : std::vector<juce::PluginDescription>{};
            if (stop->load())
                return;
            callAsyncWeak(weak, [found = std::move(found)](PluginLibrary& library) mutable
                          { library.finishScan(std::move(found)); });
        });
}

void PluginLibrary::finishScan(std::vector<juce::PluginDescription> found)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    auto lists = offered(found);
    installedInstruments = std::move(lists.instruments);
    installedEffects = std::move(lists.effects);

    if (scanAgain)
    {
        startScan();
        return;
    }
    scanProgress = std::nullopt;
    // Callers may ask again from here; they find the lists known.
    for (auto& then : std::exchange(waiting, {}))
        then();
}

PluginLibrary::Offered PluginLibrary::offered(const std::vector<juce::PluginDescription>& found)
{
    Offered lists;
    for (const auto& d : found)
        if (d.numOutputChannels > 0) // a MIDI filter or a meter would silence the layer
            (PluginRef::isInstrumentPlugin(d) ? lists.instruments : lists.effects)
                .push_back({d, PluginRef::of(d)});

    const auto byName = [](const InstalledPlugin& a, const InstalledPlugin& b)
    { return a.description.name.compareIgnoreCase(b.description.name) < 0; };
    std::stable_sort(lists.instruments.begin(), lists.instruments.end(), byName);
    std::stable_sort(lists.effects.begin(), lists.effects.end(), byName);
    return lists;
}

void PluginLibrary::joinWorker()
{
    if (worker.joinable())
        worker.join();
}

PluginLibrary::Slots PluginLibrary::slots(InstrumentCategory category) const
{
    Slots list;
    const auto& map = instrumentSlots.get();
    if (auto it = map.find(static_cast<int>(category)); it != map.end())
        list = it->second;
    list.resize(slotCount);
    return list;
}

std::vector<PluginRef> PluginLibrary::assignedPlugins(InstrumentCategory category) const
{
    std::vector<PluginRef> list;
    for (const auto& slot : slots(category))
        if (slot)
            list.push_back(*slot);
    return list;
}

void PluginLibrary::setSlot(const std::optional<PluginRef>& ref, int index,
                            InstrumentCategory category)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    if (index < 0 || index >= slotCount)
        return;
    auto list = slots(category);
    list[(size_t)index] = ref;
    auto map = instrumentSlots.get();
    map[static_cast<int>(category)] = std::move(list);
    instrumentSlots = std::move(map);
    stored.write(encode(instrumentSlots.get())); // a failure keeps the slots for this run
}

std::optional<juce::PluginDescription> PluginLibrary::find(const PluginRef& ref) const
{
    for (const auto* list : {&installedInstruments.get(), &installedEffects.get()})
        for (const auto& plugin : *list)
            if (plugin.ref == ref)
                return plugin.description;
    for (const auto* list : {&installedInstruments.get(), &installedEffects.get()})
        for (const auto& plugin : *list)
            if (plugin.ref.componentSubType == ref.componentSubType &&
                plugin.ref.manufacturer == ref.manufacturer)
                return plugin.description;
    return std::nullopt;
}

std::string PluginLibrary::encode(const SlotMap& slots)
{
    auto* map = new juce::DynamicObject();
    for (const auto& [category, list] : slots)
    {
        juce::Array<juce::var> entries;
        for (const auto& slot : list)
            entries.add(slot ? slot->toJson() : juce::var());
        map->setProperty(juce::String(category), entries);
    }
    auto* document = new juce::DynamicObject();
    document->setProperty("instrumentSlots", juce::var(map));
    return toCompactJson(juce::var(document));
}

std::optional<PluginLibrary::SlotMap> PluginLibrary::decode(const std::string& text)
{
    const auto json = parseJson(text);
    if (!json || json->getDynamicObject() == nullptr)
        return std::nullopt;
    SlotMap slots;
    const auto& map = json->getDynamicObject()->getProperty("instrumentSlots");
    if (map.isVoid() || map.isUndefined())
        return slots;
    auto* object = map.getDynamicObject();
    if (object == nullptr)
        return std::nullopt;
    for (const auto& property : object->getProperties())
    {
        const auto key = property.name.toString();
        if (!key.containsOnly("-0123456789") || key.isEmpty() || !property.value.isArray())
            return std::nullopt;
        Slots list;
        for (const auto& entry : *property.value.getArray())
        {
            if (entry.isVoid())
            {
                list.emplace_back();
                continue;
            }
            auto ref = PluginRef::fromJson(entry);
            if (!ref)
                return std::nullopt;
            list.emplace_back(std::move(*ref));
        }
        slots[key.getIntValue()] = std::move(list);
    }
    return slots;
}

} // namespace norvane
