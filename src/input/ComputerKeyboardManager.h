#pragma once

#include "core/Observable.h"
#include "input/KeyEvent.h"

#include <map>
#include <optional>

namespace norvane
{

class MIDIManager;

/** Plays notes from the computer's letter keys: the home row is the white keys and the row
    above it the black keys, one and a half octaves from baseNote; Z and X move that window
    down and up an octave. Notes go through the MIDI manager's note path, so the global
    transposition and the pedal apply.

    Message thread only.
*/
class ComputerKeyboardManager final : public ObservableObject
{
public:
    explicit ComputerKeyboardManager(MIDIManager& noteHandler);
    ~ComputerKeyboardManager() override;

    /** The note played by A; kept in 0…112 by the octave keys. */
    Published<int> baseNote{*this, 60};

    /** Handles one key event; true when it was used and must not reach anything else. */
    bool handle(const KeyEvent& event);

    /** Moves the window by `step` octaves, unless that leaves 0…112. */
    void shiftOctave(int step);

    /** Releases every note still held by a key (for example when the window loses focus and
        the key-ups will never come). */
    void releaseAll();

    /** The semitone offset from baseNote that a letter plays, if it plays one. */
    static std::optional<int> offsetFor(char32_t lowerCaseLetter);

private:
    MIDIManager& notes;
    std::map<char32_t, int> activeNoteForKey;
};

} // namespace norvane
