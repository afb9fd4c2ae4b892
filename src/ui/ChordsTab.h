#pragma once

#include "ui/Look.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <array>
#include <memory>
#include <optional>

namespace norvane
{

class AppState;
class CustomNames;
class LayerControlView;
class PianoKeyboardView;
class PluginLibrary;
struct ChordResult;
struct PlayedNotes;

/** The chord being played, large, in the accent's gradient, with its notes below; a dash when
    nothing is recognised. A new name fades in. */
class ChordCard final : public juce::Component, private juce::Timer
{
public:
    explicit ChordCard(const ViewContext& context);

    void show(const std::optional<ChordResult>& chord);
    juce::String symbolText() const { return symbol; }
    juce::String notesText() const { return notes; }

    void paint(juce::Graphics& g) override;
    static constexpr int height = 100;

private:
    void timerCallback() override;

    const ViewContext& context;
    ModelWatch watch;
    juce::String symbol = juce::String::fromUTF8("—"), notes = " ";
    bool recognised = false;
    float appear = 1.0f;
};

/** The first tab: the four layer editors side by side, the chord card, the computer-keyboard
    hint and the on-screen keyboard. */
class ChordsTab final : public juce::Component
{
public:
    ChordsTab(const ViewContext& context, AppState& app, CustomNames& names, PluginLibrary& plugins);
    ~ChordsTab() override;

    void resized() override;

    /** Shows the keys and the chord being played. */
    void show(const PlayedNotes& played);

    ChordCard& chordCard() { return card; }
    PianoKeyboardView& keyboard() { return *keys; }
    LayerControlView& layerEditor(size_t index) { return *editors[index]; }
    juce::String hintText() const { return hint.getText(); }

private:
    /** The computer keyboard's hint, with its octave. */
    void refresh();
    void layOutLayers();

    const ViewContext& context;
    AppState& app;
    ModelWatch watch;
    juce::Viewport layersViewport;
    juce::Component layersRow;
    std::array<std::unique_ptr<LayerControlView>, 4> editors;
    ChordCard card;
    juce::Label hint;
    std::unique_ptr<PianoKeyboardView> keys;
};

} // namespace norvane
