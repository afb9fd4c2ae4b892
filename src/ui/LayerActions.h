#pragma once

#include "catalog/InstrumentCategory.h"
#include "catalog/PluginRef.h"
#include "ui/ViewContext.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <memory>

namespace norvane
{

class AudioEngine;
class CustomNames;
class PluginLibrary;
class RenamePopover;
class SoundLayer;

/** What the layer editor and the channel strip both do to a layer's sound and names: choosing
    a built-in sound or a plug-in, the plug-in's window, and renaming. The menus are built
    with actions, so that they can be walked without being shown. */
class LayerActions
{
public:
    LayerActions(const ViewContext& context, SoundLayer& layer, AudioEngine& engine, CustomNames& names,
                 PluginLibrary& plugins);

    /** The name of what plays: the plug-in's (the player's name for it, or its own), or the
        current sound's own or built-in name. */
    juce::String soundName() const;
    /** The key of the sound playing now among the custom names. */
    std::string soundKey() const;
    juce::String layerName() const;

    /** Leaves any plug-in and takes the category (its first sound), unless it is the current one. */
    void chooseCategory(InstrumentCategory category);
    /** Leaves any plug-in and plays sound `index` of `category`. */
    void chooseVariant(InstrumentCategory category, int index);
    void choosePlugin(const PluginRef& ref);
    void openPluginWindow();

    /** The category's sounds, ticked when current, then its assigned plug-ins. */
    void addSoundChoices(juce::PopupMenu& menu, InstrumentCategory category);
    /** The plug-in window (while one plays), renaming the sound, and restoring its name. */
    void addSoundTools(juce::PopupMenu& menu, std::function<void()> openRename);
    /** "Rename layer…" and, while it has a name of its own, "Restore original name". */
    juce::PopupMenu layerNameMenu(std::function<void()> openRename);

    std::unique_ptr<RenamePopover> makeLayerRenamePopover();
    std::unique_ptr<RenamePopover> makeSoundRenamePopover();

    /** A menu entry with an optional picture. */
    static void addEntry(juce::PopupMenu& menu, const juce::String& text, bool ticked, std::function<void()> action,
                         std::string_view symbol = {}, juce::Colour iconColour = {});

private:
    juce::String pluginName(const PluginRef& plugin) const;

    const ViewContext& context;
    SoundLayer& layer;
    AudioEngine& engine;
    CustomNames& names;
    PluginLibrary& plugins;
};

} // namespace norvane
