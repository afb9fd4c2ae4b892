#include "input/ComputerKeyboardManager.h"

#include "core/MessageThread.h"
#include "input/MIDIManager.h"

namespace norvane
{

namespace
{

char32_t toLower(char32_t c)
{
    if (c >= U'A' && c <= U'Z')
        return c - U'A' + U'a';
    return c;
}

} // namespace

ComputerKeyboardManager::ComputerKeyboardManager(MIDIManager& noteHandler) : notes(noteHandler) {}

ComputerKeyboardManager::~ComputerKeyboardManager() = default;

std::optional<int> ComputerKeyboardManager::offsetFor(char32_t letter)
{
    switch (letter)
    {
    // White keys.
    case U'a':
        return 0;
    case U's':
        return 2;
    case U'd':
        return 4;
    case U'f':
        return 5;
    case U'g':
        return 7;
    case U'h':
        return 9;
    case U'j':
        return 11;
    case U'k':
        return 12;
    case U'l':
        return 14;
    // Black keys.
    case U'w':
        return 1;
    case U'e':
        return 3;
    case U't':
        return 6;
    case U'y':
        return 8;
    case U'u':
        return 10;
    case U'o':
        return 13;
    case U'p':
        return 15;
    default:
        return std::nullopt;
    }
}

void ComputerKeyboardManager::shiftOctave(int step)
{
    const int next = baseNote.get() + 12 * step;
    if (next >= 0 && next <= 112)
        baseNote = next;
}

bool ComputerKeyboardManager::handle(const KeyEvent& event)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    if (event.textFieldHasFocus)
        return false; // typing never plays notes
    if (event.command || event.option || event.control)
        return false;

    const char32_t c = toLower(event.character);
    if (c == 0)
        return false;

    if (c == U'z' || c == U'x')
    {
        if (event.type == KeyEvent::Type::down && !event.isRepeat)
            shiftOctave(c == U'z' ? -1 : 1);
        return true;
    }

    const auto offset = offsetFor(c);
    if (!offset)
        return false;

    if (event.type == KeyEvent::Type::up)
    {
        if (auto held = activeNoteForKey.find(c); held != activeNoteForKey.end())
        {
            const int note = held->second;
            activeNoteForKey.erase(held);
            notes.noteOff(note);
        }
        return true;
    }

    if (activeNoteForKey.count(c) != 0)
        return true; // auto-repeat, or a second key-down without a key-up

    const int note = baseNote.get() + *offset;
    activeNoteForKey[c] = note;
    notes.noteOn(note, 100);
    return true;
}

void ComputerKeyboardManager::releaseAll()
{
    const auto held = std::exchange(activeNoteForKey, {});
    for (auto& [key, note] : held)
        notes.noteOff(note);
}

} // namespace norvane
