#include "store/UserDefaults.h"
#include "support/TempFolder.h"
#include "ui/ThemeStore.h"

#include <gtest/gtest.h>

namespace norvane::test
{

class ThemeStoreTest : public ::testing::Test
{
protected:
    std::unique_ptr<ThemeStore> open()
    {
        defaults = std::make_unique<UserDefaults>(temp.folder.getChildFile("Norvane.settings"));
        return std::make_unique<ThemeStore>(*defaults, temp.folder);
    }

    TempFolder temp;
    std::unique_ptr<UserDefaults> defaults;
};

TEST_F(ThemeStoreTest, CustomAccentsAreDerivedAndComeBack)
{
    auto store = open();
    EXPECT_EQ(store->selectedPresetID.get(), "lima");
    EXPECT_EQ(store->backgroundStyle.get(), BackgroundStyle::forest);

    store->setCustomAccent(juce::Colour::fromHSV(0.0f, 0.9f, 0.8f, 1.0f)); // red
    EXPECT_NEAR(store->accentTertiary->getHue(), 0.92f, 1e-3f);
    EXPECT_NEAR(store->accentRoot->getSaturation(), 0.65f, 1e-2f);
    EXPECT_NEAR(store->accentRoot->getBrightness(), 1.0f, 1e-2f);
    EXPECT_FALSE(store->selectedPresetID->has_value());
    EXPECT_EQ(store->revision.get(), 1);

    store->setCustomAccent(juce::Colour::fromHSV(0.5f, 0.1f, 0.5f, 1.0f));
    EXPECT_NEAR(store->accentRoot->getSaturation(), 0.0f, 1e-3f);

    const auto stored = defaults->string(ThemeStore::key).value();
    EXPECT_EQ(stored.find("presetID"), std::string::npos);
    EXPECT_NE(stored.find("\"customRGB\":["), std::string::npos);
    const auto accents =
        std::make_tuple(store->accent.get(), store->accentRoot.get(), store->accentTertiary.get());
    store.reset();
    auto again = open();
    EXPECT_EQ(
        std::make_tuple(again->accent.get(), again->accentRoot.get(), again->accentTertiary.get()),
        accents);
}

TEST_F(ThemeStoreTest, PresetsStylesVeilAndPhoto)
{
    auto store = open();
    store->select(ThemeStore::presets()[3]);
    const auto lightText = Theme::textPrimary(*store);
    store->setBackgroundStyle(BackgroundStyle::paper);
    EXPECT_TRUE(isLight(store->backgroundStyle.get()));
    EXPECT_LT(Theme::textPrimary(*store).getBrightness(), 0.3f); // dark text on paper
    EXPECT_GT(lightText.getBrightness(), 0.9f);
    store->setImageScrim(3.0);
    EXPECT_EQ(store->imageScrim.get(), 0.95);

    // A file that is no picture changes nothing; a picture is stored as PNG and shown.
    const auto text = temp.folder.getChildFile("notes.txt");
    text.replaceWithText("not a picture");
    EXPECT_FALSE(store->chooseBackgroundImage(text));
    EXPECT_EQ(store->backgroundStyle.get(), BackgroundStyle::paper);
    juce::Image picture(juce::Image::RGB, 8, 8, true);
    picture.clear(picture.getBounds(), juce::Colours::orange);
    const auto jpeg = temp.folder.getChildFile("photo.jpg");
    {
        juce::FileOutputStream out(jpeg);
        ASSERT_TRUE(juce::JPEGImageFormat().writeImageToStream(picture, out));
    }
    EXPECT_TRUE(store->chooseBackgroundImage(jpeg));
    EXPECT_EQ(store->backgroundStyle.get(), BackgroundStyle::image);
    EXPECT_TRUE(juce::PNGImageFormat().canUnderstand(*store->photoFile().createInputStream()));

    store.reset();
    store = open();
    EXPECT_EQ(store->selectedPresetID.get(), ThemeStore::presets()[3].id);
    EXPECT_EQ(store->backgroundStyle.get(), BackgroundStyle::image);
    EXPECT_EQ(store->imageScrim.get(), 0.95);
    EXPECT_TRUE(store->backgroundImage().isValid());

    // Without its photo the image style falls back to the forest.
    store->photoFile().deleteFile();
    store.reset();
    EXPECT_EQ(open()->backgroundStyle.get(), BackgroundStyle::forest);

    defaults->setString(ThemeStore::key, "{\"presetID\":7,\"background\":\"lava\"");
    store = open();
    EXPECT_EQ(store->selectedPresetID.get(), "lima");
}

} // namespace norvane::test
