#include "store/Localization.h"
#include "store/UserDefaults.h"
#include "support/TempFolder.h"
#include "ui/PianoKeyboardView.h"
#include "ui/ThemeStore.h"

#include "support/ViewSetup.h"

#include <gtest/gtest.h>

namespace norvane::test
{

class PianoKeyboardTest : public ::testing::Test, protected ViewSetup
{
protected:
    PianoKeyboardTest() { theme.select(ThemeStore::presets()[1]); } // blue accents

    PianoKeyboardView::PianoKey key(const PianoKeyboardView& view, int note)
    {
        for (const auto& k : view.keys())
            if (k.note == note)
                return k;
        ADD_FAILURE() << "no key " << note;
        return {};
    }

};

TEST_F(PianoKeyboardTest, KeysFillTheWidthOrScrollFromMiddleC)
{
    PianoKeyboardView wide(context);
    wide.setSize(1400, wide.preferredHeight());
    const auto keys = wide.keys();
    EXPECT_EQ(std::count_if(keys.begin(), keys.end(), [](auto& k) { return !k.isBlack; }), 52);
    EXPECT_EQ(std::count_if(keys.begin(), keys.end(), [](auto& k) { return k.isBlack; }), 36);
    EXPECT_NEAR(wide.keyWidth(), (1400.0f - 8.0f) / 52.0f, 1e-4f);
    EXPECT_FLOAT_EQ(key(wide, 108).frame.getRight(), 1392.0f);
    EXPECT_EQ(wide.viewport().getViewPositionX(), 0);
    EXPECT_GE(wide.preferredHeight(), 150);

    // C#4 straddles C4 and D4, 16/26 of a white key wide and 92/150 of its height.
    const auto c = key(wide, 60).frame, cSharp = key(wide, 61).frame;
    EXPECT_NEAR(cSharp.getCentreX(), c.getRight(), 1e-3f);
    EXPECT_NEAR(cSharp.getWidth(), wide.keyWidth() * 16.0f / 26.0f, 1e-3f);
    EXPECT_NEAR(cSharp.getHeight(), 92.0f, 1e-3f);

    PianoKeyboardView narrow(context);
    narrow.setSize(800, narrow.preferredHeight());
    EXPECT_FLOAT_EQ(narrow.keyWidth(), 24.0f);
    EXPECT_EQ(narrow.strip().getWidth(), 52 * 24);
    const auto& port = narrow.viewport();
    EXPECT_GT(narrow.strip().getWidth(), port.getViewWidth());
    const float middle = (float)port.getViewPositionX() + (float)port.getViewWidth() / 2.0f;
    EXPECT_NEAR(middle, key(narrow, 60).frame.getCentreX(), 1.0f);

    // Sounding notes bring the lowest of them to the centre (at once while hidden).
    narrow.setNotes({}, {33, 45}, std::nullopt);
    EXPECT_EQ(port.getViewPositionX(), 0); // A1 is near the left end: pinned there
    narrow.setNotes({}, {72, 76}, std::nullopt);
    EXPECT_NEAR((float)port.getViewPositionX() + (float)port.getViewWidth() / 2.0f,
                key(narrow, 72).frame.getCentreX(), 1.0f);
    narrow.setNotes({72}, {72, 76}, std::nullopt); // same sounding notes: stays
    narrow.viewport().setViewPosition(0, 0);
    narrow.setNotes({}, {72, 76}, std::nullopt);
    EXPECT_EQ(port.getViewPositionX(), 0);
    narrow.setNotes({}, {96}, std::nullopt);
    EXPECT_EQ(port.getViewPositionX(), narrow.strip().getWidth() - port.getViewWidth());
    EXPECT_FLOAT_EQ(PianoKeyboardView::keyWidthFor(100.0f, 52, 1.0f), 200.0f / 52.0f);
}

TEST_F(PianoKeyboardTest, BlackKeysTakeTheClick)
{
    PianoKeyboardView view(context);
    view.setSize(1400, view.preferredHeight());
    std::vector<int> tapped;
    view.onKeyTap = [&](int note) { tapped.push_back(note); };

    const auto cSharp = key(view, 61).frame;
    // Inside C#4 and over the right edge of C4.
    const juce::Point<float> overlap(cSharp.getX() + 2.0f, 40.0f);
    ASSERT_TRUE(key(view, 60).frame.contains(overlap));
    EXPECT_EQ(view.noteAt(overlap), 61);
    EXPECT_EQ(view.noteAt({cSharp.getX() + 2.0f, 120.0f}), 60); // below the black key
    EXPECT_EQ(view.noteAt({-5.0f, 40.0f}), std::nullopt);

    juce::Component& strip = view.strip();
    for (auto point : {overlap, juce::Point<float>(cSharp.getX() + 2.0f, 120.0f)})
    {
        auto source = juce::Desktop::getInstance().getMainMouseSource();
        strip.mouseDown(juce::MouseEvent(source, point, {}, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, &strip,
                                         &strip, juce::Time::getCurrentTime(), point,
                                         juce::Time::getCurrentTime(), 1, false));
    }
    EXPECT_EQ(tapped, (std::vector<int>{61, 60}));
}

TEST_F(PianoKeyboardTest, StatesAndChordColours)
{
    PianoKeyboardView view(context);
    view.setSize(1400, view.preferredHeight());
    using State = PianoKeyboardView::KeyState;

    view.setNotes({60}, {60, 64}, std::nullopt);
    EXPECT_EQ(view.state(60), State::pressed);
    EXPECT_EQ(view.state(64), State::pedalHeld);
    EXPECT_EQ(view.state(62), State::idle);
    EXPECT_EQ(view.fillColour(60), theme.accent.get());
    EXPECT_EQ(view.fillColour(64), theme.accent->withAlpha(0.45f));
    EXPECT_EQ(view.fillColour(62), juce::Colours::white);
    EXPECT_EQ(view.fillColour(61), juce::Colour::fromFloatRGBA(0.08f, 0.08f, 0.09f, 1.0f));

    // C major held across two octaves: every C in the root colour, E and G in the accent.
    view.setNotes({48, 52, 55, 60, 64, 67}, {48, 52, 55, 60, 64, 67}, 0);
    for (int note : {48, 60})
        EXPECT_EQ(view.fillColour(note), theme.accentRoot.get());
    for (int note : {52, 55, 64, 67})
        EXPECT_EQ(view.fillColour(note), theme.accent.get());
    view.setNotes({60, 63}, {60, 63}, 0);
    EXPECT_EQ(view.fillColour(63), theme.accent.get());

    // The same, as drawn: sampled low on white keys and in the middle of a black one.
    view.setNotes({48, 52, 55, 60, 64, 67}, {48, 52, 55, 60, 64, 67, 72}, 0);
    juce::Image image(juce::Image::ARGB, view.strip().getWidth(), view.strip().getHeight(), true);
    {
        juce::Graphics g(image);
        view.strip().paintEntireComponent(g, true);
    }
    auto sample = [&](int note)
    {
        const auto frame = key(view, note).frame;
        const float y = frame.getHeight() * (key(view, note).isBlack ? 0.5f : 0.85f);
        return image.getPixelAt((int)frame.getCentreX(), (int)y);
    };
    auto near = [](juce::Colour a, juce::Colour b)
    {
        return std::abs(a.getRed() - b.getRed()) < 12 &&
               std::abs(a.getGreen() - b.getGreen()) < 12 &&
               std::abs(a.getBlue() - b.getBlue()) < 12;
    };
    const auto rootColour = theme.accentRoot.get(), accent = theme.accent.get();
    EXPECT_TRUE(near(sample(48), rootColour));
    EXPECT_TRUE(near(sample(60), rootColour));
    EXPECT_TRUE(near(sample(64), accent));
    EXPECT_TRUE(near(sample(67), accent));
    EXPECT_TRUE(near(sample(62), juce::Colours::white));
    EXPECT_TRUE(near(sample(61), juce::Colour::fromFloatRGBA(0.08f, 0.08f, 0.09f, 1.0f)));
    // Only sounding by the pedal: the root colour faded over the white key.
    EXPECT_TRUE(near(sample(72), juce::Colours::white.overlaidWith(rootColour.withAlpha(0.45f))));
}

} // namespace norvane::test
