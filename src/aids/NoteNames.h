#pragma once

#include <array>
#include <string>
#include <string_view>

namespace norvane
{

/** Note-name tables and the rule that chooses between sharp and flat spelling.
    Constant data and pure functions: any thread. */
namespace NoteNames
{

using Table = std::array<std::string_view, 12>;

inline constexpr Table sharpNames{"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
inline constexpr Table flatNames{"C", "Db", "D", "Eb", "E", "F", "Gb", "G", "Ab", "A", "Bb", "B"};
/** How a root is named in a major-like chord: the usual key names. */
inline constexpr Table majorRootNames{"C",  "Db", "D",  "Eb", "E",  "F",
                                      "F#", "G",  "Ab", "A",  "Bb", "B"};
/** How a root is named in a minor-like chord. */
inline constexpr Table minorRootNames{"C",  "C#", "D",  "Eb", "E",  "F",
                                      "F#", "G",  "G#", "A",  "Bb", "B"};

/** Interval names by semitones, in Spanish whatever the interface language. */
inline constexpr Table intervalNames{"Unísono",  "2ª menor", "2ª mayor", "3ª menor",
                                     "3ª mayor", "4ª justa", "Tritono",  "5ª justa",
                                     "6ª menor", "6ª mayor", "7ª menor", "7ª mayor"};

/** The pitch class 0…11 of a note number (or of an interval), for any integer. */
constexpr int pitchClass(int note)
{
    return ((note % 12) + 12) % 12;
}

/** Whether a chord on this root spells its notes and bass with flats. */
bool prefersFlats(int rootPitchClass, bool isMinorLike);

/** "C4" for note 60, "C-1" for 0, "G9" for 127: sharp names, octave number n ÷ 12 − 1. */
std::string fullName(int midiNote);

} // namespace NoteNames

} // namespace norvane
