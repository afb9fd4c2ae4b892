#pragma once

#include "ui/Look.h"
#include "ui/OutputStatus.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

namespace norvane
{

class AudioEngine;
class MIDIManager;
class PluginLibrary;

/** The MIDI controls' popover: where expression, modulation and volume go, the sustain
    pedal's polarity, the echo of what is played on the JACK MIDI output, and, in the window, the controls the player has taught their controllers,
    each with a way to forget it. */
class MidiControlsView final : public juce::Component
{
public:
    MidiControlsView(const ViewContext& context, MIDIManager& midi);
    void paint(juce::Graphics& g) override;
    void resized() override;

    MenuPill expression, modulation, volume;
    SwitchButton pedalInverted, echoToOutput;

    /** The bindings listed: "Layer A · Volume", "CC 20 · any channel" for each. */
    int bindingCount() const { return (int)forgetButtons.size(); }
    std::pair<juce::String, juce::String> bindingText(int index) const;
    PillButton& forgetButton(int index) { return *forgetButtons.at((size_t)index); }

private:
    void refresh();
    void rebuildBindings();
    int bindingsTop() const;

    const ViewContext& context;
    MIDIManager& midi;
    ModelWatch watch;
    std::vector<std::unique_ptr<PillButton>> forgetButtons;
};

/** The sound bank's popover: which bank plays, installing a SoundFont, going back. */
class SoundBankView final : public juce::Component
{
public:
    SoundBankView(const ViewContext& context, AudioEngine& engine);
    void paint(juce::Graphics& g) override;
    void resized() override;

    juce::String statusText() const;
    PillButton install, backToSystem;

private:
    void refresh();
    void chooseSoundFont();

    const ViewContext& context;
    AudioEngine& engine;
    ModelWatch watch;
    std::unique_ptr<juce::FileChooser> chooser;
};

/** The second row: MIDI input and audio output pickers with their rescans, the output's
    settings and figures, then the buttons of the MIDI controls, the sound bank and the
    plug-ins. */
class ConnectionsBar final : public juce::Component
{
public:
    ConnectionsBar(const ViewContext& context, MIDIManager& midi, AudioEngine& engine,
                   PluginLibrary& plugins);

    static constexpr int height = 40;
    static constexpr int pickerWidth = 200;

    void paint(juce::Graphics& g) override;
    void resized() override;

    /** The pickers' menus, as they would open now. */
    juce::PopupMenu midiMenu();
    juce::PopupMenu outputMenu();

    MenuPill midiPicker, outputPicker;
    PillButton midiRefresh, outputRefresh, outputSettings;
    DeviceStatusButton outputStatus;
    PillButton controls, soundBank, pluginsButton;

private:
    void refresh();

    const ViewContext& context;
    MIDIManager& midi;
    AudioEngine& engine;
    PluginLibrary& plugins;
    ModelWatch watch;
};

} // namespace norvane
