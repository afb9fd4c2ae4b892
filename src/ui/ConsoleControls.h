#pragma once

#include "core/Observable.h"
#include "ui/ViewContext.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <optional>
#include <string>

namespace norvane
{

class LevelMeterBank;

/** A two-way binding to a value between 0 and 1: how a control reads and writes the value it
    edits without knowing whose it is. */
struct ValueBinding
{
    std::function<double()> get;
    std::function<void(double)> set;

    static ValueBinding of(Published<double>& value);
};

/** Eases a shown value toward its target over a few frames, for controls whose changes
    animate briefly. Message thread only. */
class Easing final : private juce::Timer
{
public:
    explicit Easing(std::function<void()> onFrame) : frame(std::move(onFrame)) {}

    /** Moves toward `target`; at once when `immediately`. */
    void moveTo(double target, bool immediately);
    double current() const { return shown; }

private:
    void timerCallback() override;

    std::function<void()> frame;
    double shown = 0.0, goal = 0.0;
    bool started = false;
};

/** A drag that edits a 0…1 value by vertical movement: upward raises it. The value always follows
    the whole translation since the drag began, so past an end it stays pinned until the pointer
    comes back to where the end was reached. */
class ValueDrag
{
public:
    void begin(double currentValue)
    {
        if (!startValue)
            startValue = currentValue;
    }
    /** The value for a downward translation `dy` over `pointsPerUnit` points per whole range. */
    double valueFor(float dy, double pointsPerUnit) const;
    void end() { startValue.reset(); }
    bool isActive() const { return startValue.has_value(); }

private:
    std::optional<double> startValue;
};

/** The accessible face of a fader or a knob: an adjustable element whose value reads as a whole
    percentage and moves in steps of 5 %. */
std::unique_ptr<juce::AccessibilityHandler> makeAdjustableHandler(juce::Component& component,
                                                                  ValueBinding& value,
                                                                  std::function<void()> changed);

/** A control that edits a 0…1 value by vertical dragging, with a finer drag while Shift is
    held, a double-click back to its default, and an adjustable accessibility element. Faders
    and knobs differ only in how many points make the whole range, and in their drawing.
    Message thread only. */
class DragControl : public juce::Component, public juce::SettableTooltipClient
{
public:
    DragControl(const ViewContext& context, ValueBinding value, double defaultValue,
                std::optional<juce::Colour> accent);

    void beginDrag();
    void dragTo(float dyFromStart, bool shift);
    void endDrag();
    void resetToDefault();
    bool isDragging() const { return drag.isActive(); }

    /** Shows the bound value anew; owners call it when the value changed elsewhere. */
    void refresh();
    void setAccent(std::optional<juce::Colour> colour);
    double value() const;

    void mouseDrag(const juce::MouseEvent&) override;
    void mouseUp(const juce::MouseEvent&) override;
    void mouseDoubleClick(const juce::MouseEvent&) override;
    std::unique_ptr<juce::AccessibilityHandler> createAccessibilityHandler() override;

protected:
    /** Points of vertical movement for the whole range. */
    virtual double pointsPerRange(bool shift) const = 0;
    /** The value as drawn now, following the bound one. */
    double shownValue();
    juce::Colour tint() const { return accent.value_or(context.accent()); }

    const ViewContext& context;
    ValueBinding binding;
    double defaultValue;
    std::optional<juce::Colour> accent;
    ValueDrag drag;
    Easing shown;
};

/** A console channel fader: a vertical slot with a cap that follows the pointer, lit below the
    cap. Shift gives a three times finer drag; a double-click restores the default.
    Message thread only. */
class ConsoleFader final : public DragControl
{
public:
    ConsoleFader(const ViewContext& context, ValueBinding value, float trackLength,
                 double defaultValue = 0.85, std::optional<juce::Colour> accent = {});

    static constexpr float capHeight = 22.0f;
    static constexpr float capWidth = 30.0f;
    static constexpr int preferredWidth = 38;

    /** The points the cap travels: the track less the cap. */
    float usable() const { return trackLength - capHeight; }
    /** Top of the cap, from the top of the fader, for the value shown. */
    float capTop() const;

    void paint(juce::Graphics&) override;

private:
    double pointsPerRange(bool shift) const override;

    float trackLength;
};

/** A rotary knob over 270 degrees from lower left to lower right, with ticks, a lit arc and a
    caption. Dragging up raises the value (130 points for the whole range, 420 with Shift); a
    double-click restores the default. Message thread only. */
class RotaryKnob final : public DragControl
{
public:
    RotaryKnob(const ViewContext& context, ValueBinding value, juce::String label, float size,
               double defaultValue, std::optional<juce::Colour> accent = {});

    static constexpr float startAngleDegrees = 135.0f; ///< clockwise from 3 o'clock
    static constexpr float sweepDegrees = 270.0f;
    static constexpr float dragPoints = 130.0f;
    static constexpr float fineDragPoints = 420.0f;
    static constexpr int captionHeight = 15;

    void setLabel(const juce::String& text);
    const juce::String& label() const { return caption; }

    /** Where the face is drawn; only clicks inside this circle reach the knob. */
    juce::Rectangle<float> faceBounds() const;

    void paint(juce::Graphics&) override;
    bool hitTest(int x, int y) override;

private:
    double pointsPerRange(bool shift) const override { return shift ? fineDragPoints : dragPoints; }

    juce::String caption;
    float size;
};

/** One vertical level meter, 5 points wide, on a square-root scale so that quiet signals show.
    Redraws whenever the meter bank publishes. Message thread only. */
class LevelMeterBar final : public juce::Component
{
public:
    LevelMeterBar(const ViewContext& context, LevelMeterBank& meters, std::string meterKey,
                  float height);

    static constexpr float barWidth = 5.0f;

    /** The share of the bar lit for a linear level: min(√level, 1), 0 for silence. */
    static float displayedLevel(float level);
    /** The level published under this meter's key; 0 when there is none. */
    float level() const;
    /** Points of the bar lit now, from the bottom. */
    float fillHeight() const { return displayedLevel(level()) * height; }

    void paint(juce::Graphics&) override;
    void resized() override { height = (float)getHeight(); }

private:
    const ViewContext& context;
    LevelMeterBank& meters;
    std::string key;
    float height;
    float lastShown = -1.0f;
    ModelWatch watch;
};

/** The master bus meter: a clip light above the "master" level bar. Message thread only. */
class MasterMeter final : public juce::Component
{
public:
    MasterMeter(const ViewContext& context, LevelMeterBank& meters, float height);

    static constexpr float clipDiameter = 6.0f;
    static constexpr int width = 14;

    bool isClipLit() const;
    LevelMeterBar& bar() { return meterBar; }

    void paint(juce::Graphics&) override;
    void resized() override;

private:
    const ViewContext& context;
    LevelMeterBank& meters;
    LevelMeterBar meterBar;
    bool clipShown = false;
    ModelWatch watch;
};

/** A small signal light that glows in its colour when lit; changes fade in and out quickly.
    Message thread only. */
class LEDIndicator final : public juce::Component, private juce::Timer
{
public:
    explicit LEDIndicator(const ViewContext& context);

    static constexpr float diameter = 7.0f;
    static constexpr int preferredSize = 17; ///< the light and its glow

    /** Whether a strip's signal light is on: a level above 0.015 on an enabled strip. */
    static bool signalLit(float level, bool enabled) { return level > 0.015f && enabled; }

    void setLit(bool shouldBeLit);
    bool isLit() const { return lit; }
    void setColour(juce::Colour newColour);
    /** The colour when lit: the one set, else the theme's accent. */
    juce::Colour colour() const { return ledColour.value_or(context.accent()); }

    void paint(juce::Graphics&) override;

private:
    void timerCallback() override;

    const ViewContext& context;
    bool lit = false;
    std::optional<juce::Colour> ledColour;
    float glow = 0.0f; // 0 dark … 1 fully lit, eased
    double fadeStart = 0.0;
    float glowAtStart = 0.0f;
};

} // namespace norvane
