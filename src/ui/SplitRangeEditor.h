#pragma once

#include "ui/Look.h"

#include <array>
#include <memory>
#include <optional>

namespace norvane
{

class SoundLayer;

/** Edits the keys one layer answers to: "From" and "To" sliders for its lowest and highest
    key, a crossfade slider, and a strip that draws the range. The layer keeps the range in
    order itself (raising "To" when "From" passes it, and the reverse), so the editor only
    writes the value that moved.

    Message thread only.
*/
class SplitRangeEditor final : public juce::Component
{
public:
    /** Without an accent of its own it draws in the theme's, whatever it is at the time. */
    SplitRangeEditor(const ViewContext& context, SoundLayer& layer, std::optional<juce::Colour> accent,
                     int lowestKey = 21, int highestKey = 108);
    ~SplitRangeEditor() override;

    static constexpr int labelWidth = 70;
    static constexpr int valueWidth = 66;

    /** The height that shows every row; the width is the caller's (about 300 suits it). */
    int idealHeight() const;

    /** Sets the whole MIDI range, 0…127. Offered only while the layer is split. */
    void chooseFull();
    bool showsFullButton() const;

    juce::Slider& fromSlider();
    juce::Slider& toSlider();
    juce::Slider& crossfadeSlider();
    /** The texts beside the sliders: key names and the crossfade. */
    juce::String fromText() const;
    juce::String toText() const;
    juce::String crossfadeText() const;

    void resized() override;
    void paint(juce::Graphics& g) override;

private:
    struct Row;
    void refresh();

    const ViewContext& context;
    SoundLayer& layer;
    const std::optional<juce::Colour> accent;
    const int lowestKey, highestKey;
    juce::Label heading;
    PillButton fullButton;
    std::array<std::unique_ptr<Row>, 3> rows; // from, to, crossfade
    juce::Rectangle<float> stripArea;
    ModelWatch watch;
};

/** One layer's range as a bar on the key-range overview: the fade band fainter, the keys it
    plays in full in the accent. */
class SplitOverviewRow final : public juce::Component
{
public:
    SplitOverviewRow(SoundLayer& layer, juce::Colour accent, int lowestKey = 21,
                     int highestKey = 108);

    /** Where the bars go across `width`: keys clamped to lowestKey…highestKey, key k at
        (k − lowestKey) / (highestKey − lowestKey) × width; no width is negative. */
    struct Geometry
    {
        juce::Range<float> bar;
        std::optional<juce::Range<float>> fade; ///< only with a crossfade of 1 or more
    };
    static Geometry geometry(int lowKey, int highKey, int crossfade, int lowestKey, int highestKey,
                             float width);

    void paint(juce::Graphics& g) override;

private:
    SoundLayer& layer;
    const juce::Colour accent;
    const int lowestKey, highestKey;
    ModelWatch watch;
};

/** All four layers' key ranges: a combined strip with one bar per layer, and below it a small
    card per layer with its name and its range editor. */
class SplitOverviewView final : public juce::Component
{
public:
    SplitOverviewView(const ViewContext& context, std::array<SoundLayer*, 4> layers,
                      std::array<juce::Colour, 4> accents);
    ~SplitOverviewView() override;

    int idealWidth() const { return 680; }
    int idealHeight() const;

    /** The name shown on layer i's card, with "(off)" when it is switched off. */
    juce::String layerTitle(int index) const;
    SplitRangeEditor& editor(int index);

    void resized() override;
    void paint(juce::Graphics& g) override;

private:
    struct Card;
    void refresh();

    const ViewContext& context;
    std::array<SoundLayer*, 4> layers;
    juce::Label title;
    std::array<std::unique_ptr<SplitOverviewRow>, 4> bars;
    std::array<std::unique_ptr<Card>, 4> cards;
    juce::Rectangle<float> stripArea;
    ModelWatch watch;
};

} // namespace norvane
