#include "store/ControllerBindings.h"

#include "store/Json.h"

#include <algorithm>

namespace norvane
{

namespace
{

/** A binding as written, whatever its target: nothing when its shape or numbers are bad. */
std::optional<ControllerBinding> bindingFrom(const juce::var& value, bool& knownTarget)
{
    knownTarget = false;
    auto* object = value.getDynamicObject();
    if (object == nullptr)
        return std::nullopt;
    auto number = [object](const char* key) -> std::optional<std::optional<int>>
    {
        const auto& raw = object->getProperty(key);
        if (JsonReader::isAbsent(raw))
            return std::optional<int>{};
        auto v = asInt(raw);
        if (!v)
            return std::nullopt; // there, but not a whole number
        return v;
    };

    const auto name = asString(object->getProperty("target"));
    const auto target = name ? ControlTarget::fromName(*name) : std::nullopt;
    const auto cc = number("cc"), note = number("note"), channel = number("channel");
    if (!name || name->empty() || !cc || !note || !channel || cc->has_value() == note->has_value())
        return std::nullopt;

    ControllerBinding b;
    knownTarget = target.has_value();
    if (target)
        b.target = *target;
    b.source = cc->has_value() ? ControllerBinding::Source::controller
                               : ControllerBinding::Source::note;
    b.number = cc->has_value() ? **cc : **note;
    b.channel = channel->value_or(0);
    if (b.number < 0 || b.number > 127 || b.channel < 0 || b.channel > 16)
        return std::nullopt;
    return b;
}

/** The list with `binding` added last, and what it takes over (its target's earlier binding,
    any binding of the same source, a foreign one's included) removed. */
void add(std::vector<ControllerBinding>& list, std::vector<ControllerBindings::Foreign>& foreign,
         const ControllerBinding& binding)
{
    std::erase_if(list, [&](const ControllerBinding& other)
                  { return other.target == binding.target || other.sharesSourceWith(binding); });
    std::erase_if(foreign, [&](const ControllerBindings::Foreign& other)
                  { return other.source.sharesSourceWith(binding); });
    list.push_back(binding);
}

} // namespace

ControllerBindings::ControllerBindings(juce::File location) : file(std::move(location))
{
    if (const auto text = file.read())
    {
        if (auto decoded = decode(*text))
        {
            bindings = decoded->bindings;
            foreign = std::move(decoded->foreign);
        }
        else if (auto copy = keepDamagedCopy(file.location()))
            damagedCopy = copy->getFullPathName().toStdString();
        else
            file.markUndecodable(); // kept as it is until a copy can be made
    }
    else if (file.isMarkedUndecodable())
    {
        // There but unreadable: kept aside before anything is written in its place.
        if (auto copy = keepDamagedCopy(file.location()))
            damagedCopy = copy->getFullPathName().toStdString();
    }
}

std::string ControllerBindings::encode(const std::vector<ControllerBinding>& list,
                                       const std::vector<Foreign>& foreignBindings)
{
    juce::Array<juce::var> items;
    for (auto& b : list)
    {
        auto item = juce::DynamicObject::Ptr(new juce::DynamicObject());
        item->setProperty("target", juce::String(b.target.name()));
        item->setProperty(b.source == ControllerBinding::Source::controller ? "cc" : "note",
                          b.number);
        item->setProperty("channel", b.channel);
        items.add(juce::var(item.get()));
    }
    for (auto& f : foreignBindings)
        items.add(f.item);
    auto object = juce::DynamicObject::Ptr(new juce::DynamicObject());
    object->setProperty("bindings", items);
    return toCompactJson(juce::var(object.get()));
}

std::optional<ControllerBindings::Document> ControllerBindings::decode(const std::string& text)
{
    const auto json = parseJson(text);
    auto* object = json ? json->getDynamicObject() : nullptr;
    if (object == nullptr)
        return std::nullopt;
    const auto& items = object->getProperty("bindings");
    if (JsonReader::isAbsent(items))
        return Document{};
    if (!items.isArray())
        return std::nullopt;

    // Later bindings win, as if they had been made one after the other.
    Document document;
    for (auto& item : *items.getArray())
    {
        bool known = false;
        const auto b = bindingFrom(item, known);
        if (!b)
            continue;
        if (known)
            add(document.bindings, document.foreign, *b);
        else
            document.foreign.push_back({item, *b});
    }
    return document;
}

void ControllerBindings::bind(const ControllerBinding& binding)
{
    auto list = bindings.get();
    add(list, foreign, binding);
    bindings = list;
    persist();
}

void ControllerBindings::forget(const ControlTarget& target)
{
    auto list = bindings.get();
    if (std::erase_if(list, [&](const ControllerBinding& b) { return b.target == target; }) == 0)
        return;
    bindings = list;
    persist();
}

std::optional<ControllerBinding> ControllerBindings::bindingFor(const ControlTarget& target) const
{
    for (auto& b : bindings.get())
        if (b.target == target)
            return b;
    return std::nullopt;
}

bool ControllerBindings::persist()
{
    return file.write(encode(bindings.get(), foreign));
}

} // namespace norvane
