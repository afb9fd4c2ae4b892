#pragma once

#include "core/Observable.h"
#include "ui/Look.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <memory>
#include <vector>

namespace norvane
{

class SoundLayer;

/** A bilingual text, chosen when shown. */
struct Words
{
    const char* spanish;
    const char* english;
};

/** Widths of a row's label and value columns, and its height. */
struct RowLayout
{
    int labelWidth = 90;
    int valueWidth = 44;
    int height = 26;
};

/** How values read in the rows. */
namespace RowFormat
{
/** Whole decibels, truncated toward zero: "-3 dB", "0 dB" for -0.5. */
juce::String decibels(double value);
/** The share as a whole percentage, truncated: "85%". */
juce::String percent(double value);
/** One decimal and "s": "1.5s". */
juce::String seconds(double value);
} // namespace RowFormat

/** One line of a panel, bound to a layer's value. Rows show the value anew when asked. */
class ParameterRow : public juce::Component
{
public:
    ParameterRow(const ViewContext& context, RowLayout layout = {});
    virtual void refresh() = 0;
    virtual int heightFor(int /*width*/) const { return layout.height; }

protected:
    void styleName(juce::Label& label, Words words);

    const ViewContext& context;
    const RowLayout layout;
};

/** A label, a slider bound to a number, and the value as text. */
class SliderRow final : public ParameterRow
{
public:
    using Format = std::function<juce::String(double)>;
    SliderRow(const ViewContext& context, RowLayout layout, Words words, Published<double>& value, double minimum,
              double maximum, Format format);

    void refresh() override;
    void resized() override;
    juce::Slider& slider() { return control; }
    juce::String valueText() const { return shown.getText(); }

private:
    const Words words;
    Published<double>& value;
    const Format format;
    juce::Label label, shown;
    LeavesMenuClicks<juce::Slider> control;
};

/** A label, − and + stepping an integer by 1 within a range, and the value between them. */
class StepperRow final : public ParameterRow
{
public:
    using Format = std::function<juce::String(int)>;
    StepperRow(const ViewContext& context, RowLayout layout, Words words, Published<int>& value, int minimum,
               int maximum, Format format);

    bool canStep(int delta) const;
    void step(int delta);
    juce::String text() const { return format(value.get()); }

    void refresh() override;
    void resized() override;

private:
    const Words words;
    Published<int>& value;
    const int minimum, maximum;
    const Format format;
    juce::Label label, shown;
    PillButton minus, plus;
};

/** The velocity curves side by side under a label, the current one filled. */
class CurveRow final : public ParameterRow
{
public:
    CurveRow(const ViewContext& context, RowLayout layout, SoundLayer& layer, Words words);

    int heightFor(int) const override { return layout.height + 28; }
    void refresh() override;
    void resized() override;

private:
    SoundLayer& layer;
    const Words words;
    juce::Label label;
    std::vector<std::unique_ptr<PillButton>> pills;
};

/** A hint in the secondary colour, wrapped over as many lines as it needs. */
class CaptionRow final : public ParameterRow
{
public:
    CaptionRow(const ViewContext& context, Words words);

    int heightFor(int width) const override;
    void refresh() override;
    void resized() override { label.setBounds(getLocalBounds()); }

private:
    const Words words;
    juce::Label label;
};

/** A thin line between groups of rows. */
class SeparatorRow final : public ParameterRow
{
public:
    using ParameterRow::ParameterRow;
    int heightFor(int) const override { return 9; }
    void refresh() override { repaint(); }
    void paint(juce::Graphics& g) override;
};

/** Rows one under another, refreshed together whenever the watched objects change. */
class RowStack final : public juce::Component
{
public:
    explicit RowStack(const ViewContext& context, int gap = 6);

    ParameterRow& add(std::unique_ptr<ParameterRow> row);
    /** Refreshes every row after each change of `object` (and of the language and theme). */
    void follow(ObservableObject& object);
    void refresh();
    int idealHeight(int width) const;
    void resized() override;

private:
    const ViewContext& context;
    const int gap;
    std::vector<std::unique_ptr<ParameterRow>> rows;
    ModelWatch watch;
};

/** The text height `text` takes when wrapped to `width`. */
int wrappedHeight(const juce::String& text, const juce::Font& font, int width);

} // namespace norvane
