#include "ui/ParameterRows.h"

#include "engine/SoundLayer.h"

#include <cmath>

namespace norvane
{

namespace RowFormat
{
juce::String decibels(double value) { return juce::String((int)std::trunc(value)) + " dB"; }
juce::String percent(double value) { return juce::String((int)std::trunc(value * 100.0)) + "%"; }
juce::String seconds(double value) { return juce::String::formatted("%.1fs", value); }
} // namespace RowFormat

int wrappedHeight(const juce::String& text, const juce::Font& font, int width)
{
    if (text.isEmpty() || width <= 0)
        return 0;
    juce::AttributedString measure;
    measure.append(text, font);
    juce::TextLayout layout;
    layout.createLayout(measure, (float)width);
    return (int)std::ceil(layout.getHeight()) + 4;
}

// ---- ParameterRow --------------------------------------------------------------------------

ParameterRow::ParameterRow(const ViewContext& contextIn, RowLayout layoutIn) : context(contextIn), layout(layoutIn) {}

void ParameterRow::styleName(juce::Label& label, Words words)
{
    styleLabel(label, Fonts::body(), context.textPrimary());
    label.setText(context.text(words.spanish, words.english), juce::dontSendNotification);
}

// ---- SliderRow -----------------------------------------------------------------------------

SliderRow::SliderRow(const ViewContext& c, RowLayout l, Words wordsIn, Published<double>& valueIn, double minimum,
                     double maximum, Format formatIn)
    : ParameterRow(c, l), words(wordsIn), value(valueIn), format(std::move(formatIn))
{
    control.setSliderStyle(juce::Slider::LinearHorizontal);
    control.setTextBoxStyle(juce::Slider::NoTextBox, false, 0, 0);
    control.setRange(minimum, maximum, 0.0);
    control.setScrollWheelEnabled(false);
    control.onValueChange = [this] { value.set(control.getValue()); };
    addAndMakeVisible(label);
    addAndMakeVisible(control);
    addAndMakeVisible(shown);
    refresh();
}

void SliderRow::refresh()
{
    styleName(label, words);
    styleLabel(shown, Fonts::caption(), context.textSecondary(), juce::Justification::centredRight);
    control.setValue(value.get(), juce::dontSendNotification);
    shown.setText(format(value.get()), juce::dontSendNotification);
}

void SliderRow::resized()
{
    auto area = getLocalBounds();
    label.setBounds(area.removeFromLeft(layout.labelWidth));
    shown.setBounds(area.removeFromRight(layout.valueWidth));
    control.setBounds(area.reduced(6, 0));
}

// ---- StepperRow ----------------------------------------------------------------------------

StepperRow::StepperRow(const ViewContext& c, RowLayout l, Words wordsIn, Published<int>& valueIn, int minimumIn,
                       int maximumIn, Format formatIn)
    : ParameterRow(c, l), words(wordsIn), value(valueIn), minimum(minimumIn), maximum(maximumIn),
      format(std::move(formatIn)), minus(c, "minus"), plus(c, "plus")
{
    minus.onClick = [this] { step(-1); };
    plus.onClick = [this] { step(+1); };
    addAndMakeVisible(label);
    addAndMakeVisible(minus);
    addAndMakeVisible(shown);
    addAndMakeVisible(plus);
    refresh();
}

bool StepperRow::canStep(int delta) const
{
    const int next = value.get() + delta;
    return next >= minimum && next <= maximum;
}

void StepperRow::step(int delta)
{
    if (canStep(delta))
        value.set(value.get() + delta);
}

void StepperRow::refresh()
{
    styleName(label, words);
    styleLabel(shown, Fonts::caption(), context.textPrimary(), juce::Justification::centred);
    shown.setText(text(), juce::dontSendNotification);
    minus.setEnabled(canStep(-1));
    plus.setEnabled(canStep(+1));
}

void StepperRow::resized()
{
    auto area = getLocalBounds();
    label.setBounds(area.removeFromLeft(layout.labelWidth));
    minus.setBounds(area.removeFromLeft(28).reduced(0, 2));
    shown.setBounds(area.removeFromLeft(layout.valueWidth));
    plus.setBounds(area.removeFromLeft(28).reduced(0, 2));
}

// ---- CurveRow ------------------------------------------------------------------------------

CurveRow::CurveRow(const ViewContext& c, RowLayout l, SoundLayer& layerIn, Words wordsIn)
    : ParameterRow(c, l), layer(layerIn), words(wordsIn)
{
    addAndMakeVisible(label);
    for (auto curve : allVelocityCurves)
    {
        auto pill = std::make_unique<PillButton>(c);
        pill->onClick = [this, curve] { layer.velocityCurve.set(curve); };
        addAndMakeVisible(*pill);
        pills.push_back(std::move(pill));
    }
    refresh();
}

void CurveRow::refresh()
{
    styleName(label, words);
    for (size_t i = 0; i < pills.size(); ++i)
    {
        const bool current = layer.velocityCurve.get() == allVelocityCurves[i];
        pills[i]->setButtonText(fromUTF8(displayName(allVelocityCurves[i], context.language())));
        pills[i]->setHighlighted(current);
        pills[i]->setToggleState(current, juce::dontSendNotification);
    }
}

void CurveRow::resized()
{
    auto area = getLocalBounds();
    label.setBounds(area.removeFromTop(layout.height));
    auto strip = area.removeFromTop(26);
    const int each = (strip.getWidth() - 4 * ((int)pills.size() - 1)) / (int)pills.size();
    for (auto& pill : pills)
    {
        pill->setBounds(strip.removeFromLeft(each));
        strip.removeFromLeft(4);
    }
}

// ---- CaptionRow, SeparatorRow --------------------------------------------------------------

CaptionRow::CaptionRow(const ViewContext& c, Words wordsIn) : ParameterRow(c), words(wordsIn)
{
    addAndMakeVisible(label);
    refresh();
}

int CaptionRow::heightFor(int width) const
{
    return wrappedHeight(context.text(words.spanish, words.english), Fonts::caption(), width);
}

void CaptionRow::refresh()
{
    styleLabel(label, Fonts::caption(), context.textSecondary(), juce::Justification::topLeft);
    label.setMinimumHorizontalScale(1.0f);
    label.setText(context.text(words.spanish, words.english), juce::dontSendNotification);
}

void SeparatorRow::paint(juce::Graphics& g)
{
    g.setColour(context.faint(0.1f));
    g.fillRect(0.0f, (float)getHeight() / 2.0f, (float)getWidth(), 1.0f);
}

// ---- RowStack ------------------------------------------------------------------------------

RowStack::RowStack(const ViewContext& contextIn, int gapIn) : context(contextIn), gap(gapIn)
{
    watch.watch(context.loc, [this] { refresh(); });
    watch.watch(context.theme, [this] { refresh(); });
}

ParameterRow& RowStack::add(std::unique_ptr<ParameterRow> row)
{
    addAndMakeVisible(*row);
    rows.push_back(std::move(row));
    return *rows.back();
}

void RowStack::follow(ObservableObject& object) { watch.watch(object, [this] { refresh(); }); }

void RowStack::refresh()
{
    for (auto& row : rows)
        row->refresh();
}

int RowStack::idealHeight(int width) const
{
    int height = 0;
    for (auto& row : rows)
        height += row->heightFor(width) + gap;
    return juce::jmax(0, height - gap);
}

void RowStack::resized()
{
    int y = 0;
    for (auto& row : rows)
    {
        const int h = row->heightFor(getWidth());
        row->setBounds(0, y, getWidth(), h);
        y += h + gap;
    }
}

} // namespace norvane
