#include "ui/ComputerKeys.h"

#include "input/ComputerKeyboardManager.h"
#include "ui/BareDisplay.h"

namespace norvane
{

ComputerKeys::ComputerKeys(ComputerKeyboardManager& managerIn) : manager(managerIn)
{
    textFieldHasFocus = []
    {
        return dynamic_cast<juce::TextEditor*>(juce::Component::getCurrentlyFocusedComponent()) !=
               nullptr;
    };
    isKeyDown = [](int keyCode) { return juce::KeyPress::isKeyCurrentlyDown(keyCode); };
    isSuperDown = [] { return isSuperKeyDown(); };
}

KeyEvent ComputerKeys::eventFor(char32_t character, juce::ModifierKeys modifiers) const
{
    KeyEvent event;
    event.character = character;
    event.control = modifiers.isCtrlDown();
    event.option = modifiers.isAltDown();
    event.command = isSuperDown && isSuperDown();
    event.textFieldHasFocus = textFieldHasFocus && textFieldHasFocus();
    return event;
}

bool ComputerKeys::keyPressed(const juce::KeyPress& key)
{
    // The key's own letter, whatever Shift or Caps Lock make of it.
    const int code = key.getKeyCode();
    char32_t character = 0;
    if (code >= 'A' && code <= 'Z')
        character = (char32_t)(code - 'A' + 'a');
    else if (code >= 'a' && code <= 'z')
        character = (char32_t)code;
    else if (code > 0 && code < 128 && juce::CharacterFunctions::isPrintable((juce::juce_wchar)code))
        character = (char32_t)juce::CharacterFunctions::toLowerCase((juce::juce_wchar)code);
    else
        character = (char32_t)juce::CharacterFunctions::toLowerCase(key.getTextCharacter());

    auto event = eventFor(character, key.getModifiers());
    event.type = KeyEvent::Type::down;
    event.isRepeat = down.count(code) > 0;
    const bool used = manager.handle(event);
    if (used)
        down[code] = character;
    return used;
}

bool ComputerKeys::keyStateChanged()
{
    bool used = false;
    for (auto it = down.begin(); it != down.end();)
    {
        if (isKeyDown && isKeyDown(it->first))
        {
            ++it;
            continue;
        }
        // A release always ends what a press started, whatever the focus or the modifiers.
        KeyEvent event;
        event.character = it->second;
        event.type = KeyEvent::Type::up;
        used = manager.handle(event) || used;
        it = down.erase(it);
    }
    return used;
}

void ComputerKeys::releaseAll()
{
    down.clear();
    manager.releaseAll();
}

} // namespace norvane
