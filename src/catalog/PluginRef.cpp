#include "catalog/PluginRef.h"

#include <cmath>

namespace norvane
{

juce::var PluginRef::toJson() const
{
    auto* object = new juce::DynamicObject();
    object->setProperty("componentType", (juce::int64)componentType);
    object->setProperty("componentSubType", (juce::int64)componentSubType);
    object->setProperty("manufacturer", (juce::int64)manufacturer);
    object->setProperty("name", juce::String::fromUTF8(name.c_str()));
    return juce::var(object);
}

namespace
{

std::optional<std::uint32_t> code(const juce::var& value)
{
    if (!(value.isInt() || value.isInt64() || value.isDouble()))
        return std::nullopt;
    const double d = value;
    if (d < 0.0 || d > 4294967295.0 || d != std::floor(d))
        return std::nullopt;
    return (std::uint32_t)(juce::int64)value;
}

} // namespace

std::optional<PluginRef> PluginRef::fromJson(const juce::var& json)
{
    auto* object = json.getDynamicObject();
    if (object == nullptr)
        return std::nullopt;
    const auto type = code(object->getProperty("componentType"));
    const auto subType = code(object->getProperty("componentSubType"));
    const auto maker = code(object->getProperty("manufacturer"));
    const auto& name = object->getProperty("name");
    if (!type || !subType || !maker || !name.isString())
        return std::nullopt;
    return PluginRef{*type, *subType, *maker, name.toString().toStdString()};
}

} // namespace norvane
