#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string_view>

namespace norvane
{

/** A set of pitch classes or intervals 0…11: bit i stands for i. */
using PitchClassSet = std::uint16_t;

constexpr PitchClassSet pitchClassSet(std::initializer_list<int> members)
{
    PitchClassSet set = 0;
    for (int m : members)
        set = (PitchClassSet)(set | (1u << m));
    return set;
}

constexpr bool contains(PitchClassSet set, int member)
{
    return (set >> member) & 1u;
}

constexpr int countOf(PitchClassSet set)
{
    int n = 0;
    for (; set != 0; set = (PitchClassSet)(set & (set - 1)))
        ++n;
    return n;
}

/** One chord shape, in intervals above its root. */
struct ChordTemplate
{
    std::string_view symbol;  ///< written after the root name; empty for the major triad
    PitchClassSet required{}; ///< must all sound; always holds 0
    PitchClassSet optional{}; ///< each one missing costs a little
    PitchClassSet colour{};   ///< may sound or not, at no cost
    int complexity = 0;       ///< 0…4; richer chords cost more
};

/** The chord table, in its fixed order: the position is the last tie-break between equally
    good readings. A constant: any thread. */
namespace ChordLibrary
{

namespace detail
{
constexpr ChordTemplate t(std::string_view symbol, std::initializer_list<int> required,
                          std::initializer_list<int> optional, std::initializer_list<int> colour,
                          int complexity)
{
    return {symbol, pitchClassSet(required), pitchClassSet(optional), pitchClassSet(colour),
            complexity};
}
} // namespace detail

inline constexpr std::array<ChordTemplate, 42> all{{
    detail::t("", {0, 4}, {7}, {}, 0),
    detail::t("m", {0, 3}, {7}, {}, 0),
    detail::t("dim", {0, 3, 6}, {}, {}, 0),
    detail::t("aug", {0, 4, 8}, {}, {}, 0),
    detail::t("sus2", {0, 2}, {7}, {}, 0),
    detail::t("sus4", {0, 5}, {7}, {}, 0),
    detail::t("6", {0, 4, 9}, {7}, {}, 1),
    detail::t("m6", {0, 3, 9}, {7}, {}, 1),
    detail::t("maj7", {0, 4, 11}, {7}, {}, 1),
    detail::t("7", {0, 4, 10}, {7}, {}, 1),
    detail::t("m7", {0, 3, 10}, {7}, {}, 1),
    detail::t("m(maj7)", {0, 3, 11}, {7}, {}, 1),
    detail::t("m7b5", {0, 3, 6, 10}, {}, {}, 1),
    detail::t("dim7", {0, 3, 6, 9}, {}, {}, 1),
    detail::t("7#5", {0, 4, 8, 10}, {}, {}, 2),
    detail::t("maj7#5", {0, 4, 8, 11}, {}, {}, 2),
    detail::t("7b5", {0, 4, 6, 10}, {}, {}, 2),
    detail::t("7sus4", {0, 5, 10}, {7}, {}, 1),
    detail::t("add9", {0, 2, 4}, {7}, {}, 1),
    detail::t("m(add9)", {0, 2, 3}, {7}, {}, 1),
    detail::t("6/9", {0, 2, 4, 9}, {7}, {}, 2),
    detail::t("m6/9", {0, 2, 3, 9}, {7}, {}, 2),
    detail::t("maj9", {0, 2, 4, 11}, {7}, {}, 2),
    detail::t("9", {0, 2, 4, 10}, {7}, {}, 2),
    detail::t("m9", {0, 2, 3, 10}, {7}, {}, 2),
    detail::t("m9b5", {0, 2, 3, 6, 10}, {}, {}, 3),
    detail::t("7#9", {0, 3, 4, 10}, {7}, {}, 3),
    detail::t("7b9", {0, 1, 4, 10}, {7}, {}, 3),
    // A dominant ninth with the fourth in place of the third.
    detail::t("9sus4", {0, 2, 5, 10}, {7}, {}, 2),
    detail::t("7#5#9", {0, 3, 4, 8, 10}, {}, {}, 4),
    detail::t("7#5b9", {0, 1, 4, 8, 10}, {}, {}, 4),
    detail::t("7b5#9", {0, 3, 4, 6, 10}, {}, {}, 4),
    detail::t("7b5b9", {0, 1, 4, 6, 10}, {}, {}, 4),
    detail::t("maj11", {0, 2, 4, 5, 11}, {7}, {}, 3),
    detail::t("maj7#11", {0, 4, 6, 11}, {7}, {2}, 3),
    detail::t("11", {0, 5, 10}, {7}, {2, 4, 9}, 3),
    detail::t("m11", {0, 3, 5, 10}, {7}, {2, 9}, 3),
    detail::t("7#11", {0, 4, 6, 10}, {7}, {2}, 3),
    detail::t("maj13", {0, 4, 9, 11}, {2, 7}, {5}, 3),
    detail::t("13", {0, 4, 9, 10}, {2, 7}, {5}, 3),
    detail::t("m13", {0, 3, 9, 10}, {2, 7}, {5}, 3),
    detail::t("13#11", {0, 4, 6, 9, 10}, {7}, {2}, 4),
}};

} // namespace ChordLibrary

} // namespace norvane
