#pragma once

namespace norvane
{

/** A key press or release as the computer keyboard sees it, independent of the window
    toolkit that delivered it. */
struct KeyEvent
{
    enum class Type
    {
        down,
        up
    };

    Type type = Type::down;
    bool isRepeat = false;          ///< an automatic repeat of a key held down
    char32_t character = 0;         ///< the key's character ignoring modifiers; 0 when none
    bool command = false;           ///< Super / Command
    bool option = false;            ///< Alt / Option
    bool control = false;           ///< Control
    bool textFieldHasFocus = false; ///< a text entry has the keyboard focus
};

} // namespace norvane
