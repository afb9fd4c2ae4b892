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
