#include "aids/NoteNames.h"

namespace norvane::NoteNames
{

bool prefersFlats(int rootPitchClass, bool isMinorLike)
{
    const int pc = pitchClass(rootPitchClass);
    const auto name = isMinorLike ? minorRootNames[(size_t)pc] : majorRootNames[(size_t)pc];
    if (name.find('b') != std::string_view::npos)
        return true;
    if (name.find('#') != std::string_view::npos)
        return false;
    // Natural roots: the keys whose signatures carry flats (C counts with them).
    if (isMinorLike)
        return pc == 0 || pc == 2 || pc == 5 || pc == 7;
    return pc == 0 || pc == 5;
}

std::string fullName(int midiNote)
{
    return std::string(sharpNames[(size_t)pitchClass(midiNote)]) +
           std::to_string(midiNote / 12 - 1);
}

} // namespace norvane::NoteNames
