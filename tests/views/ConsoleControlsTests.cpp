#include "core/Scheduler.h"
#include "engine/LevelMeterBank.h"
#include "store/Localization.h"
#include "store/UserDefaults.h"
#include "support/TempFolder.h"
#include "ui/ConsoleControls.h"
#include "ui/ThemeStore.h"

#include "support/ViewSetup.h"

#include <gtest/gtest.h>

namespace norvane::test
{

namespace
{
struct Level final : ObservableObject
{
    Published<double> value{*this, 0.0};
};
} // namespace

class ConsoleControlsTest : public ::testing::Test, protected ViewSetup
{
protected:
    juce::Image render(juce::Component& component)
    {
        // On black, so that faint parts read as dark.
        juce::Image image(juce::Image::ARGB, component.getWidth(), component.getHeight(), true);
        juce::Graphics g(image);
        g.fillAll(juce::Colours::black);
        component.paintEntireComponent(g, true);
        return image;
    }

    Level level;
};

TEST_F(ConsoleControlsTest, FaderFollowsThePointerAndPinsAtTheEnds)
{
    ConsoleFader fader(context, ValueBinding::of(level.value), 118.0f);
    EXPECT_FLOAT_EQ(fader.usable(), 96.0f);

    fader.beginDrag();
    EXPECT_TRUE(fader.isDragging());
    fader.dragTo(-48.0f, false);
    EXPECT_NEAR(level.value.get(), 0.5, 1e-9);
    fader.dragTo(-96.0f, false);
    EXPECT_NEAR(level.value.get(), 1.0, 1e-9);
    fader.endDrag();
    EXPECT_FALSE(fader.isDragging());

    level.value = 0.0;
    fader.beginDrag();
    fader.dragTo(-144.0f, true);
    EXPECT_NEAR(level.value.get(), 0.5, 1e-9);
    fader.dragTo(-288.0f, true);
    EXPECT_NEAR(level.value.get(), 1.0, 1e-9);
    fader.endDrag();

    // Past the top the value stays at 1 until the pointer is back where it reached the top.
    level.value = 0.5;
    fader.beginDrag();
    fader.dragTo(-100.0f, false);
    EXPECT_EQ(level.value.get(), 1.0);
    fader.dragTo(-60.0f, false);
    EXPECT_EQ(level.value.get(), 1.0);
    fader.dragTo(-24.0f, false);
    EXPECT_NEAR(level.value.get(), 0.75, 1e-9);
    fader.dragTo(500.0f, false);
    EXPECT_EQ(level.value.get(), 0.0);
    fader.endDrag();

    // A new drag starts from the value it finds.
    fader.dragTo(-9.6f, false);
    EXPECT_NEAR(level.value.get(), 0.1, 1e-6);
    fader.endDrag();

    fader.resetToDefault();
    EXPECT_EQ(level.value.get(), 0.85);

    // Values outside 0…1 are drawn at the ends.
    level.value = 1.7;
    fader.refresh();
    EXPECT_FLOAT_EQ(fader.capTop(), 0.0f);
    level.value = -0.3;
    fader.refresh();
    EXPECT_FLOAT_EQ(fader.capTop(), 96.0f);
}

TEST_F(ConsoleControlsTest, FaderLightsTheSlotBelowItsCap)
{
    level.value = 1.0;
    ConsoleFader fader(context, ValueBinding::of(level.value), 118.0f, 0.85, juce::Colours::red);
    const int x = fader.getWidth() / 2;
    auto image = render(fader);
    EXPECT_GT(image.getPixelAt(x, 60).getRed(), 150); // lit, in the accent
    EXPECT_GT(image.getPixelAt(x, 8).getRed(), 150);  // the cap sits at the top

    level.value = 0.0;
    fader.refresh();
    image = render(fader);
    EXPECT_LT(image.getPixelAt(x, 60).getRed(), 60);     // an empty groove
    EXPECT_GT(image.getPixelAt(x, 100).getGreen(), 100); // the cap at the bottom
}

TEST_F(ConsoleControlsTest, KnobDragsResetsAndKeepsItsHitAreaRound)
{
    RotaryKnob knob(context, ValueBinding::of(level.value), "Reverb", 44.0f, 0.3);
    knob.dragTo(-65.0f, false);
    EXPECT_NEAR(level.value.get(), 0.5, 1e-9);
    knob.dragTo(-130.0f, false);
    EXPECT_NEAR(level.value.get(), 1.0, 1e-9);
    knob.dragTo(-130.0f, true);
    EXPECT_NEAR(level.value.get(), 130.0 / 420.0, 1e-9);
    knob.dragTo(-420.0f, true);
    EXPECT_NEAR(level.value.get(), 1.0, 1e-9);
    knob.endDrag();
    knob.resetToDefault();
    EXPECT_EQ(level.value.get(), 0.3);

    const auto face = knob.faceBounds();
    EXPECT_TRUE(knob.hitTest((int)face.getCentreX(), (int)face.getCentreY()));
    EXPECT_FALSE(knob.hitTest(0, 0));
    EXPECT_FALSE(knob.hitTest(knob.getWidth() / 2, knob.getHeight() - 3)); // the caption

    const auto spanish = juce::String::fromUTF8("Reverberación");
    knob.setLabel(spanish);
    EXPECT_EQ(knob.createAccessibilityHandler()->getTitle(), spanish);
}

TEST_F(ConsoleControlsTest, KnobTicksFollowTheValue)
{
    RotaryKnob knob(context, ValueBinding::of(level.value), "Tone", 44.0f, 0.5, juce::Colours::red);
    const auto face = knob.faceBounds();
    // The tick of value 1, at the lower right.
    const auto tick =
        face.getCentre()
            .getPointOnCircumference(face.getWidth() / 2 + 4.5f, juce::degreesToRadians(135.0f))
            .roundToInt();
    level.value = 0.4;
    EXPECT_LT(render(knob).getPixelAt(tick.x, tick.y).getRed(), 120);
    level.value = 1.0;
    knob.refresh();
    EXPECT_GT(render(knob).getPixelAt(tick.x, tick.y).getRed(), 150);
}

TEST_F(ConsoleControlsTest, AdjustableForAccessibility)
{
    ConsoleFader fader(context, ValueBinding::of(level.value), 190.0f);
    auto handler = fader.createAccessibilityHandler();
    EXPECT_EQ(handler->getRole(), juce::AccessibilityRole::slider);
    auto* value = handler->getValueInterface();
    ASSERT_NE(value, nullptr);
    EXPECT_FALSE(value->isReadOnly());

    level.value = 0.85;
    EXPECT_EQ(value->getCurrentValueAsString(), "85%");
    level.value = 0.29;
    EXPECT_EQ(value->getCurrentValueAsString(), "29%");
    level.value = 0.999;
    EXPECT_EQ(value->getCurrentValueAsString(), "99%");

    const auto range = value->getRange();
    EXPECT_DOUBLE_EQ(range.getInterval(), 0.05);
    EXPECT_DOUBLE_EQ(range.getMaximumValue(), 1.0);
    level.value = 0.98;
    value->setValue(value->getCurrentValue() + range.getInterval());
    EXPECT_EQ(level.value.get(), 1.0);
    level.value = 0.03;
    value->setValue(value->getCurrentValue() - range.getInterval());
    EXPECT_EQ(level.value.get(), 0.0);
    level.value = 0.5;
    value->setValue(value->getCurrentValue() + range.getInterval());
    EXPECT_NEAR(level.value.get(), 0.55, 1e-9);
}

TEST_F(ConsoleControlsTest, MetersAndLights)
{
    ManualScheduler clock;
    LevelMeterBank bank(clock);
    LevelMeterBar bar(context, bank, "A", 100.0f);
    bank.levels.set({{"A", 0.25f}});
    EXPECT_FLOAT_EQ(bar.fillHeight(), 50.0f);
    auto image = render(bar);
    EXPECT_GT(image.getPixelAt(2, 90).getGreen(), 150);
    EXPECT_LT(image.getPixelAt(2, 20).getGreen(), 60);

    bank.levels.set({{"A", 1.5f}});
    EXPECT_FLOAT_EQ(bar.fillHeight(), 100.0f);
    bank.levels.set({{"B", 0.5f}});
    EXPECT_EQ(bar.fillHeight(), 0.0f);
    EXPECT_EQ(LevelMeterBar::displayedLevel(-0.2f), 0.0f);

    MasterMeter master(context, bank, 120.0f);
    master.setBounds(0, 0, MasterMeter::width, 134);
    EXPECT_FALSE(master.isClipLit());
    bank.masterClipped = true;
    EXPECT_TRUE(master.isClipLit());
    const auto clip = render(master).getPixelAt(MasterMeter::width / 2, 5);
    EXPECT_GT(clip.getRed(), 200);
    EXPECT_LT(clip.getGreen(), 100);
    bank.levels.set({{"master", 1.0f}});
    EXPECT_FLOAT_EQ(master.bar().fillHeight(), 120.0f);

    EXPECT_FALSE(LEDIndicator::signalLit(0.015f, true));
    EXPECT_TRUE(LEDIndicator::signalLit(0.016f, true));
    EXPECT_FALSE(LEDIndicator::signalLit(0.5f, false));

    LEDIndicator led(context);
    led.setColour(juce::Colours::blue);
    const int c = LEDIndicator::preferredSize / 2;
    EXPECT_LT(render(led).getPixelAt(c, c).getBlue(), 100);
    led.setLit(true);
    EXPECT_TRUE(led.isLit());
    EXPECT_GT(render(led).getPixelAt(c, c).getBlue(), 200);
}

} // namespace norvane::test
