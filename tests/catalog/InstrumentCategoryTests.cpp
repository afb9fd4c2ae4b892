#include "catalog/InstrumentCategory.h"

#include <gtest/gtest.h>

namespace norvane::test
{

TEST(InstrumentCategory, VariantListsWithAndWithoutTheSampledBank)
{
    const std::optional<std::string> none;
    const std::optional<std::string> sampled =
        "/home/x/.local/share/Norvane/SampledInstruments.sf2";

    const std::pair<InstrumentCategory, std::pair<size_t, size_t>> counts[] = {
        {InstrumentCategory::piano, {5, 6}},       {InstrumentCategory::electricPiano, {5, 5}},
        {InstrumentCategory::harpsichord, {5, 5}}, {InstrumentCategory::organ, {5, 5}},
        {InstrumentCategory::strings, {5, 12}},    {InstrumentCategory::pad, {3, 3}}};
    for (auto& [category, n] : counts)
    {
        EXPECT_EQ(variants(category, none).size(), n.first);
        EXPECT_EQ(variants(category, sampled).size(), n.second);
    }

    EXPECT_EQ(variants(InstrumentCategory::strings, none)[0].program, 48);
    EXPECT_EQ(variants(InstrumentCategory::strings, sampled)[0].nameEN, "Orchestral Strings");
    EXPECT_EQ(variants(InstrumentCategory::strings, sampled)[0].id(), "SampledInstruments.sf2#7");
    EXPECT_EQ(variants(InstrumentCategory::strings, sampled)[7].nameEN, "String Ensemble");
    EXPECT_EQ(variants(InstrumentCategory::strings, none)[2].nameES, "Coro \"aahs\"");
    EXPECT_EQ(variants(InstrumentCategory::strings, none)[2].nameES.size(), 11u);
    EXPECT_EQ(variants(InstrumentCategory::pad, none)[2].program, 91);
    EXPECT_EQ(variants(InstrumentCategory::pad, sampled)[2].program, 4);

    // The same GM program has the same identity in every category.
    EXPECT_EQ(variants(InstrumentCategory::electricPiano, none)[2].id(), "gm#7");
    EXPECT_EQ(variants(InstrumentCategory::harpsichord, none)[1].id(), "gm#7");

    EXPECT_FALSE(instrumentCategoryFromRaw(6));
    EXPECT_FALSE(instrumentCategoryFromRaw(-1));
    EXPECT_EQ(instrumentCategoryFromRaw(3), InstrumentCategory::organ);
    EXPECT_EQ(displayName(InstrumentCategory::harpsichord, AppLanguage::spanish),
              "Teclados clásicos");
    EXPECT_EQ(displayName(InstrumentCategory::strings, AppLanguage::english), "Strings & Pads");
}

} // namespace norvane::test

#include "engine/SamplerNode.h"
#include "support/TempFolder.h"

namespace norvane::test
{

TEST(InstrumentCategory, TheSampledBankIsFoundInTheFolderAndItsSoundsLoad)
{
    const auto small = juce::File("/usr/share/sounds/sf2/TimGM6mb.sf2");
    ASSERT_TRUE(small.existsAsFile()) << "timgm6mb-soundfont is not installed";

    TempFolder temp;
    const auto& folder = temp.folder;
    EXPECT_FALSE(findSampledBank(folder));

    // Only the older name: it is used.
    ASSERT_TRUE(small.copyFileTo(folder.getChildFile("RazidirAzovadirev.sf2")));
    EXPECT_EQ(findSampledBank(folder),
              folder.getChildFile("RazidirAzovadirev.sf2").getFullPathName().toStdString());

    // Both: the newer name wins.
    ASSERT_TRUE(small.copyFileTo(folder.getChildFile("SampledInstruments.sf2")));
    const auto bank = findSampledBank(folder);
    ASSERT_TRUE(bank);
    EXPECT_EQ(juce::File(*bank).getFileName(), "SampledInstruments.sf2");

    // Every sound that comes from the sampled bank loads from it.
    for (auto category : allInstrumentCategories)
        for (const auto& variant : variants(category, bank))
            if (variant.customBankPath)
            {
                SamplerNode sampler(48000.0);
                EXPECT_FALSE(
                    sampler.loadInstrument(*variant.customBankPath, variant.program, 121, 0))
                    << variant.id();
            }
    EXPECT_EQ(variants(InstrumentCategory::strings, bank)[7].nameEN, "String Ensemble");
}

} // namespace norvane::test
