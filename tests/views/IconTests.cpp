#include "ui/Icons.h"

#include <gtest/gtest.h>

namespace norvane::test
{

namespace
{
const char* const symbols[] = {"pianokeys",
                               "pianokeys.inverse",
                               "slider.vertical.3",
                               "slider.horizontal.3",
                               "bubble.left.and.text.bubble.right",
                               "minus",
                               "plus",
                               "minus.circle",
                               "plus.circle",
                               "plus.circle.fill",
                               "exclamationmark.octagon.fill",
                               "pedal.accelerator",
                               "paintpalette",
                               "globe",
                               "info.circle",
                               "arrow.down.circle",
                               "arrow.clockwise",
                               "speaker.wave.1.fill",
                               "speaker.wave.2.fill",
                               "speaker.wave.3.fill",
                               "dial.medium",
                               "waveform",
                               "waveform.badge.plus",
                               "waveform.path.ecg",
                               "puzzlepiece.extension",
                               "keyboard",
                               "chevron.down",
                               "chevron.up",
                               "chevron.left",
                               "chevron.right",
                               "checkmark",
                               "checkmark.circle.fill",
                               "bolt.horizontal.fill",
                               "music.note.list",
                               "cloud.fill",
                               "sparkles",
                               "water.waves",
                               "arrow.left.and.right",
                               "arrow.left.and.right.square",
                               "arrow.up.and.down",
                               "macwindow",
                               "play.fill",
                               "stop.fill",
                               "metronome",
                               "hand.tap",
                               "trash",
                               "pencil",
                               "square.and.arrow.down"};

int inkedPixels(const juce::Image& image)
{
    int count = 0;
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
            count += image.getPixelAt(x, y).getAlpha() > 100 ? 1 : 0;
    return count;
}

juce::Image render(const char* symbol, float size)
{
    juce::Image image(juce::Image::ARGB, (int)size, (int)size, true);
    juce::Graphics g(image);
    drawIcon(g, symbol, {0.0f, 0.0f, size, size}, juce::Colours::white);
    return image;
}
} // namespace

TEST(Icons, EverySymbolHasAPictureOnTheGrid)
{
    for (auto* symbol : symbols)
    {
        SCOPED_TRACE(symbol);
        EXPECT_TRUE(hasIcon(symbol));
        const auto bounds = iconPath(symbol).getBounds();
        ASSERT_FALSE(bounds.isEmpty());
        EXPECT_GE(bounds.getX(), 0.0f);
        EXPECT_GE(bounds.getY(), 0.0f);
        EXPECT_LE(bounds.getRight(), 24.0f);
        EXPECT_LE(bounds.getBottom(), 24.0f);
        // Legible at the smallest size: some ink, but not a solid block.
        const auto small = inkedPixels(render(symbol, 14.0f));
        EXPECT_GT(small, 8);
        EXPECT_LT(small, 14 * 14);
    }
    EXPECT_FALSE(hasIcon("no.such.symbol"));
    EXPECT_TRUE(iconPath("no.such.symbol").isEmpty());
    EXPECT_EQ(inkedPixels(render("no.such.symbol", 24.0f)), 0);
}

TEST(Icons, GlyphsKeepTheirPlaceOnTheGrid)
{
    // "minus" is a short bar across the middle, not stretched to the whole area.
    const auto minus = render("minus", 48.0f);
    EXPECT_GT(minus.getPixelAt(24, 24).getAlpha(), 200);
    EXPECT_EQ(minus.getPixelAt(24, 8).getAlpha(), 0);
    EXPECT_EQ(minus.getPixelAt(2, 24).getAlpha(), 0);

    // Cut-outs stay clear: the centre of the plus on a filled disc, the tick on its disc.
    const auto plus = render("plus.circle.fill", 48.0f);
    EXPECT_EQ(plus.getPixelAt(24, 24).getAlpha(), 0);
    EXPECT_GT(plus.getPixelAt(24, 6).getAlpha(), 200);
    EXPECT_GT(plus.getPixelAt(10, 10).getAlpha(), 200);

    // Rings are hollow; overlapping solids stay solid.
    const auto circle = render("minus.circle", 48.0f);
    EXPECT_EQ(circle.getPixelAt(24, 12).getAlpha(), 0);
    EXPECT_GT(circle.getPixelAt(24, 5).getAlpha(), 100);
    const auto keys = render("pianokeys", 48.0f);
    EXPECT_GT(keys.getPixelAt(18, 8).getAlpha(), 200); // black key over the frame's top edge

    // A wide area keeps the proportions and centres the picture.
    juce::Image wide(juce::Image::ARGB, 96, 24, true);
    {
        juce::Graphics g(wide);
        drawIcon(g, "stop.fill", {0.0f, 0.0f, 96.0f, 24.0f}, juce::Colours::white);
    }
    EXPECT_GT(wide.getPixelAt(48, 12).getAlpha(), 200);
    EXPECT_EQ(wide.getPixelAt(20, 12).getAlpha(), 0);
}

} // namespace norvane::test
