#include "aids/ChordDetector.h"
#include "aids/NoteNames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace norvane::test
{

namespace
{

struct Expected
{
    std::vector<int> notes;
    std::string symbol;
    std::vector<std::string> noteNames;
    std::optional<std::string> bassName = std::nullopt;
    int root = -1; // -1: not checked
};

void check(const Expected& e)
{
    SCOPED_TRACE(e.symbol);
    const auto r = ChordDetector::detect(e.notes);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->symbol, e.symbol);
    EXPECT_EQ(r->noteNames, e.noteNames);
    EXPECT_EQ(r->bassName, e.bassName);
    if (e.root >= 0)
    {
        EXPECT_EQ(r->rootPitchClass, e.root);
    }
}

} // namespace

TEST(ChordDetector, SingleNotesPowerChordsAndIntervals)
{
    EXPECT_FALSE(ChordDetector::detect(std::set<int>{}).has_value());
    check({{60}, "C", {"C"}, std::nullopt, 0});
    check({{61}, "C#", {"C#"}, std::nullopt, 1});
    check({{70}, "A#", {"A#"}, std::nullopt, 10});
    check({{60, 67}, "C5", {"C", "G"}, std::nullopt, 0});
    check({{55, 60}, "C5/G", {"C", "G"}, "G", 0});
    check({{63, 70}, "Eb5", {"Eb", "Bb"}, std::nullopt, 3});
    check({{62, 69}, "D5", {"D", "A"}, std::nullopt, 2});
    check({{60, 64}, "C \u2013 E (3\u00aa mayor)", {"C", "E"}, std::nullopt, 0});
    check({{52, 60}, "E \u2013 C (6\u00aa menor)", {"E", "C"}, std::nullopt, 4});
    check({{60, 61}, "C \u2013 C# (2\u00aa menor)", {"C", "C#"}});
    check({{60, 66}, "C \u2013 F# (Tritono)", {"C", "F#"}});
    check({{58, 61}, "A# \u2013 C# (3\u00aa menor)", {"A#", "C#"}, std::nullopt, 10});
    check({{60, 71}, "C \u2013 B (7\u00aa mayor)", {"C", "B"}});
    // The same pitch class in two octaves is one note.
    check({{48, 60}, "C", {"C"}, std::nullopt, 0});
    EXPECT_EQ(ChordDetector::detect(std::vector<int>{60, 62})->rootName, "C");
}

TEST(ChordDetector, TriadsSeventhsAndRicherChords)
{
    const std::vector<Expected> table = {
        {{60, 64, 67}, "C", {"C", "E", "G"}, std::nullopt, 0},
        {{52, 60, 67}, "C/E", {"C", "E", "G"}, "E", 0},
        {{67, 72, 76}, "C/G", {"C", "E", "G"}, "G", 0},
        {{60, 64, 69}, "Am/C", {"C", "E", "A"}, "C", 9},
        {{57, 60, 64, 67}, "Am7", {"C", "E", "G", "A"}, std::nullopt, 9},
        {{60, 63, 66, 69}, "Cdim7", {"C", "Eb", "Gb", "A"}, std::nullopt, 0},
        {{66, 69, 72, 75}, "F#dim7", {"C", "D#", "F#", "A"}},
        {{59, 62, 65, 69}, "Bm7b5", {"D", "F", "A", "B"}},
        {{57, 60, 63, 67}, "Am7b5", {"C", "D#", "G", "A"}},
        {{61, 65, 68}, "Db", {"Db", "F", "Ab"}},
        {{54, 58, 61}, "F#", {"C#", "F#", "A#"}},
        {{61, 64, 68}, "C#m", {"C#", "E", "G#"}},
        {{54, 57, 61}, "F#m", {"C#", "F#", "A"}},
        {{58, 62, 65}, "Bb", {"D", "F", "Bb"}},
        {{63, 67, 70}, "Eb", {"Eb", "G", "Bb"}},
        {{63, 66, 70}, "Ebm", {"Eb", "Gb", "Bb"}},
        {{68, 71, 75}, "G#m", {"D#", "G#", "B"}},
        {{62, 65, 69}, "Dm", {"D", "F", "A"}},
        {{60, 62, 67}, "Csus2", {"C", "D", "G"}},
        {{60, 65, 67}, "Csus4", {"C", "F", "G"}},
        {{60, 64, 68}, "Caug", {"C", "E", "Ab"}},
        {{60, 63, 66}, "Cdim", {"C", "Eb", "Gb"}},
        {{60, 64, 70}, "C7", {"C", "E", "Bb"}},
        {{55, 59, 62, 65}, "G7", {"D", "F", "G", "B"}},
        {{59, 62, 65, 67}, "G7/B", {"D", "F", "G", "B"}, "B", 7},
        {{62, 66, 69, 72}, "D7", {"C", "D", "F#", "A"}},
        {{60, 64, 67, 71}, "Cmaj7", {"C", "E", "G", "B"}},
        {{65, 69, 72, 76}, "Fmaj7", {"C", "E", "F", "A"}},
        {{62, 65, 69, 72}, "Dm7", {"C", "D", "F", "A"}},
        {{64, 67, 71, 74}, "Em7", {"D", "E", "G", "B"}},
        {{60, 62, 64, 67}, "Cadd9", {"C", "D", "E", "G"}},
        {{60, 64, 67, 70, 74}, "C9", {"C", "D", "E", "G", "Bb"}},
        {{60, 64, 67, 71, 74}, "Cmaj9", {"C", "D", "E", "G", "B"}},
        {{60, 63, 67, 70, 74}, "Cm9", {"C", "D", "Eb", "G", "Bb"}},
        {{60, 64, 67, 69, 74}, "C6/9", {"C", "D", "E", "G", "A"}},
        {{60, 64, 67, 70, 73}, "C7b9", {"C", "Db", "E", "G", "Bb"}},
        {{60, 64, 67, 70, 75}, "C7#9", {"C", "Eb", "E", "G", "Bb"}},
        {{60, 65, 67, 70, 74}, "C9sus4", {"C", "D", "F", "G", "Bb"}},
        {{60, 64, 66, 71}, "Cmaj7#11", {"C", "E", "Gb", "B"}},
        // Cheaper readings with the root elsewhere win; ties go to the root closest below
        // the bass.
        {{60, 65, 70}, "Bbsus2/C", {"C", "F", "Bb"}, "C", 10},
        {{60, 62, 65, 70}, "Bbadd9/C", {"C", "D", "F", "Bb"}, "C", 10},
        // Second pass: a note left unexplained.
        {{60, 61, 62}, "Csus2", {"C", "Db", "D"}, std::nullopt, 0},
        {{60, 64, 67, 73}, "C", {"C", "Db", "E", "G"}, std::nullopt, 0},
        {{48, 60, 64, 67, 72}, "C", {"C", "E", "G"}},
    };
    for (const auto& e : table)
        check(e);
}

TEST(ChordDetector, CostsAndTieBreaks)
{
    const auto pcs = [](std::initializer_list<int> l) { return pitchClassSet(l); };
    auto c = ChordDetector::bestCandidate(pcs({0, 4, 7}), 4, false);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->cost, 4); // C/E: the root is not in the bass
    EXPECT_EQ(c->root, 0);

    c = ChordDetector::bestCandidate(pcs({0, 1, 2}), 0, false);
    EXPECT_FALSE(c);
    c = ChordDetector::bestCandidate(pcs({0, 1, 2}), 0, true);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->cost, 8);
    EXPECT_EQ(c->chordTemplate().symbol, "sus2");

    // Every root of a diminished seventh reads as dim7 at cost 3 (+4 off the bass): the bass
    // wins.
    c = ChordDetector::bestCandidate(pcs({0, 3, 6, 9}), 6, false);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->root, 6);
    EXPECT_EQ(c->cost, 3);

    // The one template whose name the table leaves open: a dominant ninth with a suspended
    // fourth, major-like.
    EXPECT_EQ(ChordLibrary::all[28].symbol, "9sus4");
    EXPECT_FALSE(ChordDetector::isMinorLike(ChordLibrary::all[28].symbol));
    std::vector<int> minorLike;
    for (int i = 0; i < (int)ChordLibrary::all.size(); ++i)
        if (ChordDetector::isMinorLike(ChordLibrary::all[(size_t)i].symbol))
            minorLike.push_back(i);
    EXPECT_EQ(minorLike, (std::vector<int>{1, 2, 7, 10, 11, 12, 13, 19, 21, 24, 25, 36, 40}));
}

TEST(NoteNames, SpellingRuleAndFullNames)
{
    std::string majorFlats, minorFlats;
    for (int pc = 0; pc < 12; ++pc)
    {
        majorFlats += NoteNames::prefersFlats(pc, false) ? 'b' : '#';
        minorFlats += NoteNames::prefersFlats(pc, true) ? 'b' : '#';
    }
    //                    C D EF G A B
    EXPECT_EQ(majorFlats, "bb#b#b##b#b#");
    EXPECT_EQ(minorFlats, "b#bb#b#b##b#");
    EXPECT_TRUE(NoteNames::prefersFlats(-2, false)); // Bb, from any integer

    EXPECT_EQ(NoteNames::fullName(60), "C4");
    EXPECT_EQ(NoteNames::fullName(0), "C-1");
    EXPECT_EQ(NoteNames::fullName(127), "G9");
    EXPECT_EQ(NoteNames::fullName(21), "A0");
    EXPECT_EQ(NoteNames::fullName(61), "C#4");
    EXPECT_EQ(NoteNames::intervalNames[0], "Unísono");
}

// Every set of one to six pitch classes over every one of its members as the bass: a result
// whose names match the notes, the same whatever the octaves, duplicates and order.
TEST(ChordDetector, EverySmallSetOverEveryBass)
{
    std::mt19937 random(7);
    int sets = 0;
    for (unsigned mask = 1; mask < 4096; ++mask)
    {
        const int size = countOf((PitchClassSet)mask);
        if (size > 6)
            continue;
        ++sets;
        for (int bass = 0; bass < 12; ++bass)
        {
            if (!contains((PitchClassSet)mask, bass))
                continue;
            std::vector<int> plain{48 + bass};
            for (int pc = 0; pc < 12; ++pc)
                if (contains((PitchClassSet)mask, pc) && pc != bass)
                    plain.push_back(60 + pc);
            const auto r = ChordDetector::detect(plain);
            ASSERT_TRUE(r.has_value());
            ASSERT_TRUE(r->rootPitchClass.has_value());
            EXPECT_TRUE(contains((PitchClassSet)mask, *r->rootPitchClass));
            EXPECT_EQ((int)r->noteNames.size(), size);
            EXPECT_FALSE(r->symbol.empty());
            EXPECT_EQ(r->bassName.has_value(), size >= 3
                                                   ? *r->rootPitchClass != bass
                                                   : r->symbol.find("5/") != std::string::npos);
            if (r->bassName)
            {
                EXPECT_TRUE(r->symbol.ends_with("/" + *r->bassName));
            }

            // Doubled in higher octaves and shuffled: the same reading.
            auto voiced = plain;
            for (int n : plain)
                if (random() % 2 != 0)
                    voiced.push_back(n + 12 * (1 + (int)(random() % 3)));
            std::shuffle(voiced.begin(), voiced.end(), random);
            EXPECT_EQ(ChordDetector::detect(voiced), r) << "mask " << mask << " bass " << bass;
            EXPECT_EQ(ChordDetector::detect(std::set<int>(voiced.begin(), voiced.end())), r);
        }
    }
    EXPECT_EQ(sets, 2509);
}

} // namespace norvane::test
