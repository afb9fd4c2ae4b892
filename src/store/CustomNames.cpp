#include "store/CustomNames.h"

#include "store/AppData.h"
#include "store/Json.h"

namespace norvane
{

CustomNames::CustomNames(juce::File location) : file(std::move(location))
{
    const auto text = file.read();
    if (!text)
        return;

    const auto json = parseJson(*text);
    auto* object = json ? json->getDynamicObject() : nullptr;
    std::optional<NameMap> variants, layers;
    if (object != nullptr)
    {
        variants = stringMapFrom(object->getProperty("variantNames"));
        layers = stringMapFrom(object->getProperty("layerNames"));
    }

    if (!variants || !layers)
    {
        file.markUndecodable();
        return;
    }
    variantNames = *variants;
    layerNames = *layers;
}

CustomNames& CustomNames::shared()
{
    static CustomNames names(AppData::file("CustomNames.json"));
    return names;
}

std::string CustomNames::trimmed(const std::string& text)
{
    return juce::String::fromUTF8(text.c_str()).trim().toStdString();
}

std::string CustomNames::name(const SoundVariant& variant, AppLanguage language) const
{
    if (auto found = variantNames->find(variant.id()); found != variantNames->end())
        return found->second;
    return variant.name(language);
}

std::string CustomNames::pluginKey(const PluginRef& plugin)
{
    return "plugin#" + std::to_string(plugin.componentType) + ":" +
           std::to_string(plugin.componentSubType) + ":" + std::to_string(plugin.manufacturer);
}

std::string CustomNames::name(const PluginRef& plugin, const std::string& installedName) const
{
    if (auto found = variantNames->find(pluginKey(plugin)); found != variantNames->end())
        return found->second;
    return installedName;
}

std::string CustomNames::layerName(const std::string& slot, AppLanguage language) const
{
    if (auto found = layerNames->find(slot); found != layerNames->end())
        return found->second;
    return layerLabel(slot, language);
}

CustomNames::NameMap CustomNames::renamed(NameMap map, const std::string& key,
                                          const std::string& text)
{
    const auto name = trimmed(text);
    if (name.empty())
        map.erase(key);
    else
        map[key] = name;
    return map;
}

void CustomNames::renameVariant(const std::string& variantID, const std::string& text)
{
    variantNames = renamed(variantNames.get(), variantID, text);
    persist();
}

void CustomNames::renameLayer(const std::string& slot, const std::string& text)
{
    layerNames = renamed(layerNames.get(), slot, text);
    persist();
}

bool CustomNames::persist()
{
    auto object = juce::DynamicObject::Ptr(new juce::DynamicObject());
    object->setProperty("variantNames", toJsonObject(variantNames.get()));
    object->setProperty("layerNames", toJsonObject(layerNames.get()));
    return file.write(toCompactJson(juce::var(object.get())));
}

} // namespace norvane
