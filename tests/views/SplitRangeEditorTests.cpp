#include "engine/SoundLayer.h"
#include "store/UserDefaults.h"
#include "support/EngineFixture.h"
#include "support/TempFolder.h"
#include "support/ViewSetup.h"
#include "ui/SplitRangeEditor.h"

namespace norvane::test
{

class SplitRangeEditorTest : public EngineFixture, protected ViewSetup
{
protected:
    SoundLayer& layer = engine->layerB();
};

TEST_F(SplitRangeEditorTest, FullRestoresTheWholeMidiRangeAndThenHides)
{
    layer.lowKey = 40;
    layer.highKey = 80;
    SplitRangeEditor editor(context, layer, juce::Colours::orange);
    EXPECT_TRUE(editor.showsFullButton());
    EXPECT_EQ(editor.fromText(), "E2");

    editor.chooseFull();
    EXPECT_EQ(layer.lowKey.get(), 0);
    EXPECT_EQ(layer.highKey.get(), 127);
    EXPECT_FALSE(editor.showsFullButton());
    // The sliders stop at the drawn keys; the names tell the real ends.
    EXPECT_EQ(editor.fromSlider().getValue(), 21.0);
    EXPECT_EQ(editor.toSlider().getValue(), 108.0);
    EXPECT_EQ(editor.fromText(), "C-1");
    EXPECT_EQ(editor.toText(), "G9");
}

TEST_F(SplitRangeEditorTest, FromPastToDragsToAlongAndTheOtherWayRound)
{
    layer.lowKey = 40;
    layer.highKey = 60;
    SplitRangeEditor editor(context, layer, juce::Colours::orange);

    editor.fromSlider().setValue(70.0, juce::sendNotificationSync);
    EXPECT_EQ(layer.lowKey.get(), 70);
    EXPECT_EQ(layer.highKey.get(), 70);
    EXPECT_EQ(editor.toSlider().getValue(), 70.0);
    EXPECT_EQ(editor.toText(), "A#4");

    editor.toSlider().setValue(30.0, juce::sendNotificationSync);
    EXPECT_EQ(layer.lowKey.get(), 30);
    EXPECT_EQ(layer.highKey.get(), 30);
    EXPECT_EQ(editor.fromSlider().getValue(), 30.0);
    EXPECT_TRUE(editor.showsFullButton());
}

TEST_F(SplitRangeEditorTest, CrossfadeTextFollowsValueAndLanguageAtOnce)
{
    SplitRangeEditor editor(context, layer, juce::Colours::orange);
    EXPECT_EQ(editor.crossfadeText(), "Hard cut");
    loc.language = AppLanguage::spanish;
    EXPECT_EQ(editor.crossfadeText(), "Corte seco");

    editor.crossfadeSlider().setValue(3.0, juce::sendNotificationSync);
    EXPECT_EQ(layer.crossfadeSemitones.get(), 3);
    EXPECT_EQ(editor.crossfadeText(), "3 st");
    layer.crossfadeSemitones = 0;
    EXPECT_EQ(editor.crossfadeText(), "Corte seco");
}

TEST_F(SplitRangeEditorTest, OverviewNamesSwitchedOffLayers)
{
    engine->layerC().isEnabled = false;
    const std::array<juce::Colour, 4> accents{juce::Colours::red, juce::Colours::green,
                                              juce::Colours::blue, juce::Colours::yellow};
    SplitOverviewView overview(context, engine->playingLayers(), accents);
    EXPECT_EQ(overview.layerTitle(0), "Layer A");
    EXPECT_EQ(overview.layerTitle(2), "Layer C (off)");
    engine->layerC().isEnabled = true;
    EXPECT_EQ(overview.layerTitle(2), "Layer C");
    engine->layerD().isEnabled = false;
    loc.language = AppLanguage::spanish;
    EXPECT_EQ(overview.layerTitle(3), "Capa D (apagada)");
}

TEST(SplitOverviewRow, GeometryClampsToTheDrawnKeysAndDrawsTheBar)
{
    // Keys 21…108 over 870 points: 10 points per key.
    auto shape = SplitOverviewRow::geometry(48, 72, 3, 21, 108, 870.0f);
    EXPECT_FLOAT_EQ(shape.bar.getStart(), 270.0f);
    EXPECT_FLOAT_EQ(shape.bar.getEnd(), 510.0f);
    ASSERT_TRUE(shape.fade.has_value());
    EXPECT_FLOAT_EQ(shape.fade->getStart(), 240.0f);
    EXPECT_FLOAT_EQ(shape.fade->getEnd(), 540.0f);

    shape = SplitOverviewRow::geometry(0, 127, 0, 21, 108, 870.0f);
    EXPECT_EQ(shape.bar, juce::Range<float>(0.0f, 870.0f));
    EXPECT_FALSE(shape.fade.has_value());

    // Entirely below the drawn keys: an empty bar at the left end, never a negative one.
    shape = SplitOverviewRow::geometry(0, 10, 12, 21, 108, 870.0f);
    EXPECT_EQ(shape.bar.getLength(), 0.0f);
    EXPECT_FLOAT_EQ(shape.fade->getEnd(), 10.0f);
}

TEST_F(SplitRangeEditorTest, OverviewRowPaintsTheRangeInTheAccent)
{
    layer.lowKey = 48;
    layer.highKey = 72;
    layer.crossfadeSemitones = 6;
    SplitOverviewRow row(layer, juce::Colours::red);
    row.setBounds(0, 0, 870, 10);
    juce::Image image(juce::Image::ARGB, 870, 10, true);
    {
        juce::Graphics g(image);
        row.paintEntireComponent(g, false);
    }
    EXPECT_EQ(image.getPixelAt(400, 5).getARGB(), juce::Colours::red.getARGB());
    const auto fade = image.getPixelAt(230, 5); // 4 keys below the range
    EXPECT_GT(fade.getAlpha(), 40);
    EXPECT_LT(fade.getAlpha(), 110);
    EXPECT_EQ(image.getPixelAt(100, 5).getAlpha(), 0);
    EXPECT_EQ(image.getPixelAt(700, 5).getAlpha(), 0);
}

} // namespace norvane::test
