#pragma once

#include "aids/ChordDetector.h"
#include "input/MIDIManager.h"

#include <optional>
#include <set>

namespace norvane
{

/** What the keyboards and the chord names show: the keys held (on a keyboard or latched on
    screen), the notes sounding, and the chord they make. Worked out once per change of the
    MIDI input, for both tabs. */
struct PlayedNotes
{
    std::set<int> held, sustained;
    std::optional<ChordResult> chord;

    std::optional<int> rootPitchClass() const { return chord ? chord->rootPitchClass : std::nullopt; }

    static PlayedNotes of(const MIDIManager& midi)
    {
        PlayedNotes played{midi.activeNotes.get(), midi.sustainedNotes.get(), std::nullopt};
        played.held.insert(midi.clickedNotes->begin(), midi.clickedNotes->end());
        played.chord = ChordDetector::detect(played.sustained);
        return played;
    }
};

} // namespace norvane
