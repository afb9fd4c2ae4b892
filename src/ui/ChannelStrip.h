#pragma once

#include "ui/ConsoleControls.h"
#include "ui/Look.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <array>
#include <memory>
#include <optional>

namespace norvane
{

class AudioEngine;
class CustomNames;
class LayerActions;
class PluginLibrary;
class RenamePopover;
class SoundLayer;

/** The master section of the console: its fader, the master meter with the clip light, the
    volume as a percentage and a signal light. */
class MasterChannelStrip final : public juce::Component
{
public:
    MasterChannelStrip(const ViewContext& context, AudioEngine& engine);

    static constexpr int width = 96;

    void paint(juce::Graphics& g) override;
    void resized() override;

    ConsoleFader& fader() { return volume; }
    LEDIndicator& signal() { return led; }
    juce::String percentText() const;

private:
    void refresh();
    /** The signal light only: the meters publish 30 times a second. */
    void updateSignal();

    const ViewContext& context;
    AudioEngine& engine;
    ConsoleFader volume;
    MasterMeter meter;
    LEDIndicator led;
    ModelWatch watch;
};

/** One layer's channel on the console: its name, its sound, the seven module buttons that
    open their panels, the fader with the meter, the volume and the power switch. */
class ChannelStrip final : public juce::Component
{
public:
    enum class Module
    {
        eq,
        comp,
        reverb,
        damper,
        split,
        pitch,
        fx
    };
    static constexpr std::array<Module, 7> modules{Module::eq,    Module::comp,  Module::reverb, Module::damper,
                                                   Module::split, Module::pitch, Module::fx};

    ChannelStrip(const ViewContext& context, SoundLayer& layer, AudioEngine& engine, CustomNames& names,
                 PluginLibrary& plugins, juce::Colour accent, bool allowDisable);
    ~ChannelStrip() override;

    static constexpr int width = 108;

    void setAccent(juce::Colour colour);
    juce::Colour accent() const { return stripAccent; }

    /** Whether a module's dot is lit: it changes the sound. */
    bool isActive(Module module) const;
    /** Opens a module's panel, or closes it when it is the open one. */
    void toggleModule(Module module);
    std::optional<Module> openModule() const { return open; }
    /** A module's panel, as its button opens it (not shown). */
    std::unique_ptr<juce::Component> makePanel(Module module);

    juce::PopupMenu instrumentMenu();
    juce::PopupMenu layerNameMenu();
    juce::String instrumentText() const;
    /** The layer's load error, as the instrument's tooltip shows it (red); empty without one. */
    juce::String shownError() const { return errorShown; }
    juce::String nameText() const;
    juce::String percentText() const;
    bool hasPowerSwitch() const { return allowDisable; }
    SwitchButton& powerSwitch() { return power; }
    ConsoleFader& fader() { return volume; }
    LEDIndicator& signal() { return led; }

    void paint(juce::Graphics& g) override;
    void resized() override;
    void mouseUp(const juce::MouseEvent& event) override;

private:
    class ModuleButton;
    void refresh();
    void updateSignal();

    const ViewContext& context;
    SoundLayer& layer;
    AudioEngine& engine;
    CustomNames& names;
    PluginLibrary& plugins;
    juce::Colour stripAccent;
    const bool allowDisable;
    std::optional<Module> open;
    juce::Component::SafePointer<juce::CallOutBox> openBox;

    juce::Label name;
    juce::String errorShown;
    MenuPill instrument;
    std::array<std::unique_ptr<ModuleButton>, 7> moduleButtons;
    ConsoleFader volume;
    LevelMeterBar meter;
    LEDIndicator led;
    SwitchButton power;
    std::unique_ptr<LayerActions> actions;
    juce::Rectangle<int> nameArea, percentArea;
    ModelWatch watch;
};

} // namespace norvane
