#pragma once

#include "aids/ChordLibrary.h"

#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace norvane
{

/** A named chord, ready to show. */
struct ChordResult
{
    std::string symbol;   ///< the whole name: "C", "Am7", "C/E", "C5/G", "C – E (3ª mayor)"
    std::string rootName; ///< the spelled root (the lower note of an interval)
    std::optional<std::string> bassName; ///< the spelled bass of a slash chord only
    std::vector<std::string> noteNames;  ///< the sounding pitch classes, spelled
    std::optional<int> rootPitchClass;   ///< 0…11; always set by detect()

    bool operator==(const ChordResult&) const = default;
};

/** Names the chord formed by a set of sounding notes by template matching: every sounding
    pitch class is tried as a root against every template, the cheapest reading wins. Readings
    that leave a note unexplained are only considered when no other fits.

    Pure and stateless: any thread, at any rate (the window calls it at every redraw).
*/
namespace ChordDetector
{

/** One reading of the notes: a root with a template, and what it costs. */
struct Candidate
{
    int root = 0;
    int cost = 0;
    int order = 0; ///< index into ChordLibrary::all
    const ChordTemplate& chordTemplate() const { return ChordLibrary::all[(size_t)order]; }
};

/** The chord of these MIDI note numbers (duplicates and order do not matter), or nothing for
    no notes. */
std::optional<ChordResult> detect(std::span<const int> midiNotes);
std::optional<ChordResult> detect(const std::set<int>& midiNotes);

/** The cheapest reading of the pitch classes over this bass; ties go to the root that lies
    closest below the bass, then to the earlier template. */
std::optional<Candidate> bestCandidate(PitchClassSet pitchClasses, int bassPC,
                                       bool allowUnexplained);

/** Whether a template symbol names a minor-like chord (minor or diminished). */
bool isMinorLike(std::string_view symbol);

} // namespace ChordDetector

} // namespace norvane
