#include "ui/ConsoleControls.h"

#include "engine/LevelMeterBank.h"
#include "ui/Look.h"

#include <cmath>

namespace norvane
{

namespace
{

double clamp01(double v)
{
    return juce::jlimit(0.0, 1.0, std::isfinite(v) ? v : 0.0);
}

/** "85%": the whole percentage, truncated. The tiny allowance keeps 0.29 from reading 28 %. */
juce::String percentText(double value)
{
    return juce::String((int)std::floor(clamp01(value) * 100.0 + 1.0e-9)) + "%";
}

/** The metal of caps and knobs: light on dark grounds, a little darker on light ones. */
struct Metal
{
    juce::Colour top, bottom, rim;
};

Metal capMetal(const ViewContext& context)
{
    if (context.isLightStyle())
        return {juce::Colour(0xfff4f5f2), juce::Colour(0xffbfc3bc), juce::Colour(0xff7c8279)};
    return {juce::Colour(0xffdfe2dc), juce::Colour(0xff8a8f88), juce::Colour(0xff1c1f1c)};
}

Metal knobMetal(const ViewContext& context)
{
    if (context.isLightStyle())
        return {juce::Colour(0xfff2f3ef), juce::Colour(0xffc9cdc5), juce::Colour(0xff8d9389)};
    return {juce::Colour(0xff3f4541), juce::Colour(0xff121513), juce::Colour(0xff050606)};
}

juce::Colour grooveColour(const ViewContext& context)
{
    return context.isLightStyle() ? juce::Colour(0x2a0a2417) : juce::Colour(0x99000000);
}

/** A point at `angle` (radians, clockwise from 12 o'clock) on a circle. */
juce::Point<float> onCircle(juce::Point<float> centre, float radius, float angle)
{
    return centre.getPointOnCircumference(radius, angle);
}

class AdjustableValue final : public juce::AccessibilityValueInterface
{
public:
    AdjustableValue(ValueBinding& bindingIn, std::function<void()> changedIn)
        : binding(bindingIn), changed(std::move(changedIn))
    {
    }

    bool isReadOnly() const override { return false; }
    double getCurrentValue() const override { return clamp01(binding.get()); }
    juce::String getCurrentValueAsString() const override { return percentText(binding.get()); }
    void setValue(double newValue) override
    {
        binding.set(clamp01(newValue));
        if (changed)
            changed();
    }
    void setValueAsString(const juce::String& text) override
    {
        setValue(text.retainCharacters("0123456789.").getDoubleValue() / 100.0);
    }
    AccessibleValueRange getRange() const override { return {{0.0, 1.0}, 0.05}; }

private:
    ValueBinding& binding;
    std::function<void()> changed;
};

} // namespace

// ---- Small parts ----------------------------------------------------------------------------

ValueBinding ValueBinding::of(Published<double>& value)
{
    return {[&value] { return value.get(); }, [&value](double v) { value.set(v); }};
}

void Easing::moveTo(double target, bool immediately)
{
    if (started && target == goal && !immediately)
        return;
    goal = target;
    if (immediately || !started)
    {
        started = true;
        shown = target;
        stopTimer();
        return;
    }
    startTimerHz(60);
}

void Easing::timerCallback()
{
    shown += (goal - shown) * 0.35;
    if (std::abs(goal - shown) < 0.002)
    {
        shown = goal;
        stopTimer();
    }
    if (frame)
        frame();
}

double ValueDrag::valueFor(float dy, double pointsPerUnit) const
{
    return clamp01(startValue.value_or(0.0) - (double)dy / pointsPerUnit);
}

std::unique_ptr<juce::AccessibilityHandler> makeAdjustableHandler(juce::Component& component,
                                                                  ValueBinding& value,
                                                                  std::function<void()> changed)
{
    return std::make_unique<juce::AccessibilityHandler>(
        component, juce::AccessibilityRole::slider, juce::AccessibilityActions{},
        juce::AccessibilityHandler::Interfaces{
            std::make_unique<AdjustableValue>(value, std::move(changed))});
}

// ---- DragControl ----------------------------------------------------------------------------

DragControl::DragControl(const ViewContext& contextIn, ValueBinding valueIn, double defaultIn,
                         std::optional<juce::Colour> accentIn)
    : context(contextIn), binding(std::move(valueIn)), defaultValue(defaultIn), accent(accentIn),
      shown([this] { repaint(); })
{
    shown.moveTo(value(), true);
    setRepaintsOnMouseActivity(false);
}

double DragControl::value() const
{
    return clamp01(binding.get());
}

void DragControl::beginDrag()
{
    drag.begin(value());
    repaint();
}

void DragControl::dragTo(float dyFromStart, bool shift)
{
    if (!drag.isActive())
        beginDrag();
    const double next = drag.valueFor(dyFromStart, pointsPerRange(shift));
    binding.set(next);
    shown.moveTo(next, true);
    repaint();
}

void DragControl::endDrag()
{
    drag.end();
    repaint();
}

void DragControl::resetToDefault()
{
    binding.set(clamp01(defaultValue));
    refresh();
}

void DragControl::refresh()
{
    shown.moveTo(value(), isDragging() || !isShowing());
    repaint();
}

void DragControl::setAccent(std::optional<juce::Colour> colour)
{
    accent = colour;
    repaint();
}

double DragControl::shownValue()
{
    if (!isDragging() && value() != clamp01(shown.current()))
        shown.moveTo(value(), !isShowing());
    return clamp01(shown.current());
}

void DragControl::mouseDrag(const juce::MouseEvent& e)
{
    if (e.mods.isPopupMenu())
        return; // the menu's
    dragTo((float)e.getDistanceFromDragStartY(), e.mods.isShiftDown());
}

void DragControl::mouseUp(const juce::MouseEvent&)
{
    endDrag();
}

void DragControl::mouseDoubleClick(const juce::MouseEvent& e)
{
    if (e.mods.isPopupMenu())
        return;
    resetToDefault();
}

std::unique_ptr<juce::AccessibilityHandler> DragControl::createAccessibilityHandler()
{
    return makeAdjustableHandler(*this, binding, [this] { refresh(); });
}

// ---- ConsoleFader ---------------------------------------------------------------------------

ConsoleFader::ConsoleFader(const ViewContext& contextIn, ValueBinding valueIn, float length,
                           double defaultIn, std::optional<juce::Colour> accentIn)
    : DragControl(contextIn, std::move(valueIn), defaultIn, accentIn), trackLength(length)
{
    setSize(preferredWidth, (int)std::ceil(trackLength));
}

double ConsoleFader::pointsPerRange(bool shift) const
{
    return std::max(1.0f, usable()) * (shift ? 3.0 : 1.0);
}

float ConsoleFader::capTop() const
{
    return (float)(1.0 - clamp01(shown.current())) * std::max(0.0f, usable());
}

void ConsoleFader::paint(juce::Graphics& g)
{
    shownValue();
    const auto tint = this->tint();
    const float cx = (float)getWidth() / 2.0f;
    const float travel = std::max(0.0f, usable());
    const float top = capTop();
    const float capCentre = top + capHeight / 2.0f;

    // Scale marks beside the slot, every tenth of the travel, longer at the ends and middle.
    for (int i = 0; i <= 10; ++i)
    {
        const float y = capHeight / 2.0f + travel * (float)i / 10.0f;
        const float length = (i % 5 == 0) ? 5.0f : 3.0f;
        g.setColour(context.faint(i % 5 == 0 ? 0.30f : 0.16f));
        g.fillRect(juce::Rectangle<float>(cx - 9.0f - length, y - 0.5f, length, 1.0f));
        g.fillRect(juce::Rectangle<float>(cx + 9.0f, y - 0.5f, length, 1.0f));
    }

    // The groove, full height, with a faint lower lip.
    const juce::Rectangle<float> slot(cx - 2.5f, 2.0f, 5.0f, trackLength - 4.0f);
    g.setColour(grooveColour(context));
    g.fillRoundedRectangle(slot, 2.5f);
    g.setColour(context.faint(0.07f));
    g.drawRoundedRectangle(slot.expanded(0.5f), 3.0f, 1.0f);

    // Lit below the cap.
    auto lit = slot.reduced(1.0f).withTop(std::min(capCentre, slot.getBottom() - 1.0f));
    if (lit.getHeight() > 0.0f)
    {
        g.setGradientFill(juce::ColourGradient::vertical(tint, lit.getY(), tint.withAlpha(0.35f),
                                                         lit.getBottom()));
        g.fillRoundedRectangle(lit, 1.5f);
    }

    // The cap: shadow, brushed body, grip lines and the centre line.
    const juce::Rectangle<float> cap(cx - capWidth / 2.0f, top, capWidth, capHeight);
    const auto metal = capMetal(context);
    g.setColour(juce::Colours::black.withAlpha(context.isLightStyle() ? 0.18f : 0.45f));
    g.fillRoundedRectangle(cap.translated(0.0f, 2.0f).expanded(0.5f), 4.5f);
    g.setGradientFill(
        juce::ColourGradient::vertical(metal.top, cap.getY(), metal.bottom, cap.getBottom()));
    g.fillRoundedRectangle(cap, 4.0f);
    g.setColour(juce::Colours::white.withAlpha(0.45f));
    g.drawHorizontalLine((int)std::round(cap.getY() + 1.0f), cap.getX() + 3.0f,
                         cap.getRight() - 3.0f);
    g.setColour(juce::Colours::black.withAlpha(0.16f));
    for (float dy : {4.5f, 7.0f, capHeight - 7.0f, capHeight - 4.5f})
        g.fillRect(
            juce::Rectangle<float>(cap.getX() + 5.0f, cap.getY() + dy, capWidth - 10.0f, 0.8f));
    g.setColour(isDragging() ? tint : juce::Colour(0xff141614));
    g.fillRect(juce::Rectangle<float>(cap.getX() + 2.0f, capCentre - 1.0f, capWidth - 4.0f, 2.0f));
    g.setColour(metal.rim.withAlpha(0.8f));
    g.drawRoundedRectangle(cap.reduced(0.5f), 4.0f, 1.0f);
}

// ---- RotaryKnob -----------------------------------------------------------------------------

RotaryKnob::RotaryKnob(const ViewContext& contextIn, ValueBinding valueIn, juce::String label,
                       float sizeIn, double defaultIn, std::optional<juce::Colour> accentIn)
    : DragControl(contextIn, std::move(valueIn), defaultIn, accentIn), size(sizeIn)
{
    setLabel(label);
    const int face = (int)std::ceil(size) + 14;
    setSize(std::max(face, 48), face + captionHeight);
}

void RotaryKnob::setLabel(const juce::String& text)
{
    caption = text;
    setTitle(text);
    repaint();
}

juce::Rectangle<float> RotaryKnob::faceBounds() const
{
    const float room =
        std::min((float)getWidth() - 14.0f, (float)(getHeight() - captionHeight) - 14.0f);
    const float diameter = std::max(8.0f, std::min(size, room));
    return {((float)getWidth() - diameter) / 2.0f, 7.0f, diameter, diameter};
}

bool RotaryKnob::hitTest(int x, int y)
{
    const auto face = faceBounds().expanded(4.0f);
    return face.getCentre().getDistanceFrom({(float)x + 0.5f, (float)y + 0.5f}) <=
           face.getWidth() / 2.0f;
}

void RotaryKnob::paint(juce::Graphics& g)
{
    const auto tint = this->tint();
    const float v = (float)shownValue();
    const auto face = faceBounds();
    const auto centre = face.getCentre();
    const float radius = face.getWidth() / 2.0f;
    // Clockwise from 12 o'clock, as JUCE measures: 135° past 3 o'clock is 225°.
    const float start = juce::degreesToRadians(startAngleDegrees + 90.0f);
    const float sweep = juce::degreesToRadians(sweepDegrees);
    const float angle = start + v * sweep;

    for (int i = 0; i <= 10; ++i)
    {
        const float at = (float)i / 10.0f;
        const float a = start + at * sweep;
        const bool reached = (double)v >= (double)at - 1.0e-6;
        g.setColour(reached ? tint.withAlpha(0.85f) : context.faint(0.16f));
        g.drawLine(juce::Line<float>(onCircle(centre, radius + 2.5f, a),
                                     onCircle(centre, radius + 6.0f, a)),
                   1.4f);
    }

    const float arcRadius = radius - 2.0f;
    const juce::PathStrokeType arcStroke(2.6f, juce::PathStrokeType::curved,
                                         juce::PathStrokeType::rounded);
    juce::Path track;
    track.addCentredArc(centre.x, centre.y, arcRadius, arcRadius, 0.0f, start, start + sweep, true);
    g.setColour(context.faint(0.12f));
    g.strokePath(track, arcStroke);
    if (v > 0.0f)
    {
        juce::Path litArc;
        litArc.addCentredArc(centre.x, centre.y, arcRadius, arcRadius, 0.0f, start, angle, true);
        g.setColour(tint);
        g.strokePath(litArc, arcStroke);
    }

    // The cap: a shadow, a shaded face lit from above, and a rim.
    const float capRadius = std::max(3.0f, radius - 5.5f);
    const auto cap = juce::Rectangle<float>(2 * capRadius, 2 * capRadius).withCentre(centre);
    const auto metal = knobMetal(context);
    g.setColour(juce::Colours::black.withAlpha(context.isLightStyle() ? 0.16f : 0.5f));
    g.fillEllipse(cap.translated(0.0f, 1.8f).expanded(0.6f));
    g.setGradientFill(juce::ColourGradient(
        metal.top, centre.x - capRadius * 0.5f, centre.y - capRadius, metal.bottom,
        centre.x + capRadius * 0.4f, centre.y + capRadius, true));
    g.fillEllipse(cap);
    g.setGradientFill(juce::ColourGradient::vertical(juce::Colours::white.withAlpha(0.22f),
                                                     cap.getY(), metal.rim.withAlpha(0.6f),
                                                     cap.getBottom()));
    g.drawEllipse(cap.reduced(0.5f), 1.0f);

    g.setColour(tint);
    g.drawLine(juce::Line<float>(onCircle(centre, capRadius * 0.3f, angle),
                                 onCircle(centre, capRadius * 0.85f, angle)),
               2.2f);

    // The caption, on one line, smaller when it would not fit.
    auto font = Fonts::caption();
    const float room = (float)getWidth() - 2.0f;
    while (font.getHeight() > 9.0f && font.getStringWidthFloat(caption) > room)
        font.setHeight(font.getHeight() - 0.5f);
    g.setFont(font);
    g.setColour(isDragging() ? tint : context.textSecondary());
    g.drawFittedText(caption, getLocalBounds().removeFromBottom(captionHeight),
                     juce::Justification::centred, 1, 0.7f);
}

// ---- Meters ---------------------------------------------------------------------------------

LevelMeterBar::LevelMeterBar(const ViewContext& contextIn, LevelMeterBank& metersIn,
                             std::string meterKey, float heightIn)
    : context(contextIn), meters(metersIn), key(std::move(meterKey)), height(heightIn)
{
    setSize((int)barWidth, (int)std::ceil(height));
    setInterceptsMouseClicks(false, false);
    watch.watch(meters,
                [this]
                {
                    const float now = fillHeight();
                    if (std::abs(now - lastShown) >= 0.25f)
                        repaint();
                });
    watch.watch(context.theme, [this] { repaint(); });
}

float LevelMeterBar::displayedLevel(float level)
{
    return level > 0.0f ? std::min(std::sqrt(level), 1.0f) : 0.0f;
}

float LevelMeterBar::level() const
{
    const auto& levels = meters.levels.get();
    const auto found = levels.find(key);
    return found == levels.end() ? 0.0f : found->second;
}

void LevelMeterBar::paint(juce::Graphics& g)
{
    const auto area = juce::Rectangle<float>(barWidth, height)
                          .withCentre({(float)getWidth() / 2.0f, height / 2.0f});
    g.setColour(context.faint(0.06f));
    g.fillRoundedRectangle(area, 2.0f);

    lastShown = fillHeight();
    if (lastShown <= 0.0f)
        return;
    // The scale spans the whole bar, so only loud signals reach the yellow and the red.
    juce::ColourGradient gradient(juce::Colour(0xff32d74b).withAlpha(0.85f), 0.0f, area.getBottom(),
                                  juce::Colour(0xffff3b30), 0.0f, area.getY(), false);
    gradient.addColour(0.62, juce::Colour(0xff32d74b).withAlpha(0.85f));
    gradient.addColour(0.84, juce::Colour(0xffffd60a).withAlpha(0.9f));
    g.setGradientFill(gradient);
    g.fillRoundedRectangle(area.withTop(area.getBottom() - lastShown), 2.0f);
}

MasterMeter::MasterMeter(const ViewContext& contextIn, LevelMeterBank& metersIn, float height)
    : context(contextIn), meters(metersIn), meterBar(contextIn, metersIn, "master", height)
{
    addAndMakeVisible(meterBar);
    setInterceptsMouseClicks(false, false);
    setSize(width, (int)std::ceil(height) + 14);
    clipShown = isClipLit();
    watch.watch(meters,
                [this]
                {
                    if (isClipLit() != clipShown)
                    {
                        clipShown = isClipLit();
                        repaint();
                    }
                });
}

bool MasterMeter::isClipLit() const
{
    return meters.masterClipped.get();
}

void MasterMeter::resized()
{
    meterBar.setBounds(getLocalBounds().withTrimmedTop(14).withSizeKeepingCentre(
        (int)LevelMeterBar::barWidth, getHeight() - 14));
}

void MasterMeter::paint(juce::Graphics& g)
{
    const auto light = juce::Rectangle<float>(clipDiameter, clipDiameter)
                           .withCentre({(float)getWidth() / 2.0f, 5.0f});
    juce::Path dot;
    dot.addEllipse(light);
    if (clipShown)
    {
        juce::DropShadow(juce::Colour(0xffff3b30).withAlpha(0.9f), 6, {}).drawForPath(g, dot);
        g.setColour(juce::Colour(0xffff3b30));
    }
    else
    {
        g.setColour(context.faint(0.10f));
    }
    g.fillPath(dot);
}

// ---- LEDIndicator ---------------------------------------------------------------------------

LEDIndicator::LEDIndicator(const ViewContext& contextIn) : context(contextIn)
{
    setSize(preferredSize, preferredSize);
    setInterceptsMouseClicks(false, false);
}

void LEDIndicator::setLit(bool shouldBeLit)
{
    if (lit == shouldBeLit)
        return;
    lit = shouldBeLit;
    glowAtStart = glow;
    fadeStart = juce::Time::getMillisecondCounterHiRes();
    if (isShowing())
        startTimerHz(60);
    else
        glow = lit ? 1.0f : 0.0f;
    repaint();
}

void LEDIndicator::setColour(juce::Colour newColour)
{
    ledColour = newColour;
    repaint();
}

void LEDIndicator::timerCallback()
{
    // 0.15 s, easing out.
    const float t =
        (float)std::min(1.0, (juce::Time::getMillisecondCounterHiRes() - fadeStart) / 150.0);
    const float eased = 1.0f - (1.0f - t) * (1.0f - t);
    glow = glowAtStart + ((lit ? 1.0f : 0.0f) - glowAtStart) * eased;
    if (t >= 1.0f)
        stopTimer();
    repaint();
}

void LEDIndicator::paint(juce::Graphics& g)
{
    const auto area = juce::Rectangle<float>(diameter, diameter)
                          .withCentre(getLocalBounds().toFloat().getCentre());
    juce::Path dot;
    dot.addEllipse(area);
    g.setColour(context.faint(0.10f));
    g.fillPath(dot);
    if (glow <= 0.0f)
        return;
    const auto tint = colour();
    juce::DropShadow(tint.withAlpha(0.9f * glow), 4, {}).drawForPath(g, dot);
    g.setColour(tint.withMultipliedAlpha(glow));
    g.fillPath(dot);
    g.setColour(juce::Colours::white.withAlpha(0.35f * glow));
    g.fillEllipse(area.reduced(2.2f).translated(-0.6f, -0.8f));
}

} // namespace norvane
