#pragma once

#include "ui/Look.h"
#include "ui/PatchBar.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <array>
#include <memory>
#include <optional>

namespace norvane
{

class AppState;
class ChannelStrip;
class CustomNames;
class DronePadView;
class MasterChannelStrip;
class MetronomeView;
class PianoKeyboardView;
class PluginLibrary;
struct PlayedNotes;

/** The Live tab's chord: a caption and the symbol, glowing in the accent. */
class ChordPanel final : public juce::Component
{
public:
    explicit ChordPanel(const ViewContext& context);
    void show(std::optional<juce::String> symbol);
    juce::String symbolText() const { return symbol; }
    void paint(juce::Graphics& g) override;
    static constexpr int height = 92;

private:
    const ViewContext& context;
    ModelWatch watch;
    juce::String symbol = juce::String::fromUTF8("—");
    bool recognised = false;
};

/** The stage page: the patch bar, the console, the drone pad, the chord, the metronome, the
    key ranges and the keyboard, on one screen. */
class LiveView final : public juce::Component
{
public:
    LiveView(const ViewContext& context, AppState& app, CustomNames& names, PluginLibrary& plugins);
    ~LiveView() override;

    void resized() override;
    void paint(juce::Graphics& g) override;

    /** Shows the keys and the chord being played. */
    void show(const PlayedNotes& played);

    /** The four strips' colours: accent, root accent, third accent, accent. */
    std::array<juce::Colour, 4> channelAccents() const;

    /** The key-range overview, as the button opens it (not shown). */
    std::unique_ptr<juce::Component> makeKeyRangePopover();

    PatchBar& patchBar() { return patches; }
    ChannelStrip& strip(size_t index) { return *strips[index]; }
    MasterChannelStrip& masterStrip() { return *master; }
    DronePadView& dronePad() { return *drone; }
    MetronomeView& metronome() { return *clicks; }
    ChordPanel& chordPanel() { return chord; }
    PianoKeyboardView& keyboard() { return *keys; }
    PillButton& keyRangeButton() { return keyRanges; }

private:
    void refresh();

    const ViewContext& context;
    AppState& app;
    ModelWatch watch;
    PatchBar patches;
    std::unique_ptr<MasterChannelStrip> master;
    std::array<std::unique_ptr<ChannelStrip>, 4> strips;
    std::unique_ptr<DronePadView> drone;
    std::unique_ptr<MetronomeView> clicks;
    ChordPanel chord;
    PillButton keyRanges;
    std::unique_ptr<PianoKeyboardView> keys;
    juce::Rectangle<int> mixerCard, droneCard;
};

} // namespace norvane
