#include "ui/LayerActions.h"

#include "catalog/PluginLibrary.h"
#include "engine/AudioEngine.h"
#include "engine/PluginNode.h"
#include "engine/SoundLayer.h"
#include "store/CustomNames.h"
#include "ui/Icons.h"
#include "ui/PluginWindowManager.h"
#include "ui/RenamePopover.h"

namespace norvane
{

LayerActions::LayerActions(const ViewContext& contextIn, SoundLayer& layerIn, AudioEngine& engineIn,
                           CustomNames& namesIn, PluginLibrary& pluginsIn)
    : context(contextIn), layer(layerIn), engine(engineIn), names(namesIn), plugins(pluginsIn)
{
}

void LayerActions::addEntry(juce::PopupMenu& menu, const juce::String& text, bool ticked,
                            std::function<void()> action, std::string_view symbol,
                            juce::Colour iconColour)
{
    juce::PopupMenu::Item item(text);
    item.setTicked(ticked).setAction(std::move(action));
    if (auto path = iconPath(symbol); !path.isEmpty())
    {
        auto drawable = std::make_unique<juce::DrawablePath>();
        drawable->setPath(path);
        drawable->setFill(iconColour);
        item.setImage(std::move(drawable));
    }
    menu.addItem(std::move(item));
}

juce::String LayerActions::pluginName(const PluginRef& plugin) const
{
    const auto found = plugins.find(plugin);
    return fromUTF8(names.name(plugin, found ? found->name.toStdString() : plugin.name));
}

juce::String LayerActions::soundName() const
{
    if (const auto& plugin = layer.instrumentPlugin.get())
        return pluginName(*plugin);
    return fromUTF8(names.name(layer.currentVariant(), context.language()));
}

std::string LayerActions::soundKey() const
{
    // What plays is what is renamed: the plug-in in the sampler's place, or the built-in sound.
    if (const auto& plugin = layer.instrumentPlugin.get())
        return CustomNames::pluginKey(*plugin);
    return layer.currentVariant().id();
}

juce::String LayerActions::layerName() const
{
    return fromUTF8(names.layerName(layer.slot, context.language()));
}

void LayerActions::chooseCategory(InstrumentCategory category)
{
    engine.loadInstrumentPlugin(std::nullopt, std::nullopt, layer);
    if (layer.category.get() != category)
        layer.category.set(category); // the layer picks the category's first sound and loads it
}

void LayerActions::chooseVariant(InstrumentCategory category, int index)
{
    engine.loadInstrumentPlugin(std::nullopt, std::nullopt, layer);
    if (layer.category.get() != category)
        layer.category.set(category);
    if (layer.variantIndex.get() != index)
        layer.variantIndex.set(index); // loads it
    else
        layer.loadInstrument();
}

void LayerActions::choosePlugin(const PluginRef& ref)
{
    engine.allowPlugin(ref); // the player's own choice, even of one that crashed before
    engine.loadInstrumentPlugin(ref, std::nullopt, layer);
}

void LayerActions::openPluginWindow()
{
    if (auto* node = layer.pluginNode())
        PluginWindowManager::shared().open(*node, soundName(), context.language());
}

void LayerActions::addSoundChoices(juce::PopupMenu& menu, InstrumentCategory category)
{
    const auto& loaded = layer.instrumentPlugin.get();
    const auto list = variants(category);
    const bool current = category == layer.category.get();
    for (size_t i = 0; i < list.size(); ++i)
        addEntry(menu, fromUTF8(names.name(list[i], context.language())),
                 !loaded && current && (int)i == layer.variantIndex.get(),
                 [this, category, i] { chooseVariant(category, (int)i); });

    const auto assigned = plugins.assignedPlugins(category);
    if (assigned.empty())
        return;
    menu.addSeparator();
    for (const auto& ref : assigned)
    {
        addEntry(
            menu, pluginName(ref), loaded == ref,
            [this, ref, category]
            {
                // The plug-in takes the category's place, so that the menus show it there.
                if (layer.category.get() != category)
                    layer.category.set(category);
                choosePlugin(ref);
            },
            "puzzlepiece.extension", context.textPrimary());
    }
}

void LayerActions::addSoundTools(juce::PopupMenu& menu, std::function<void()> openRename)
{
    if (layer.pluginNode() != nullptr)
        addEntry(menu, context.text("Abrir ventana del plugin", "Open plugin window"), false,
                 [this] { openPluginWindow(); });
    addEntry(menu, context.text("Renombrar sonido actual…", "Rename current sound…"), false,
             std::move(openRename));
    const auto id = soundKey();
    if (names.variantNames->count(id) > 0)
        addEntry(menu, context.text("Restaurar nombre del sonido", "Restore sound name"), false,
                 [this, id] { names.restoreVariantName(id); });
}

juce::PopupMenu LayerActions::layerNameMenu(std::function<void()> openRename)
{
    juce::PopupMenu menu;
    addEntry(menu, context.text("Renombrar capa…", "Rename layer…"), false, std::move(openRename));
    if (names.layerNames->count(layer.slot) > 0)
        addEntry(menu, context.text("Restaurar nombre original", "Restore original name"), false,
                 [this] { names.restoreLayerName(layer.slot); });
    return menu;
}

std::unique_ptr<RenamePopover> LayerActions::makeLayerRenamePopover()
{
    auto& customNames = names;
    return std::make_unique<RenamePopover>(
        context, context.text("Renombrar capa", "Rename layer"), layerName(),
        [&customNames, slot = layer.slot](const juce::String& text)
        { customNames.renameLayer(slot, text.toStdString()); });
}

std::unique_ptr<RenamePopover> LayerActions::makeSoundRenamePopover()
{
    // The name belongs to the sound the layer has now, whatever happens before saving.
    auto& customNames = names;
    return std::make_unique<RenamePopover>(
        context, context.text("Renombrar sonido", "Rename sound"), soundName(),
        [&customNames, id = soundKey()](const juce::String& text)
        { customNames.renameVariant(id, text.toStdString()); });
}

} // namespace norvane
