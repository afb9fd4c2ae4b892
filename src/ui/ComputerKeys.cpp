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
    if (releasing.erase(code) > 0)
        down[code] = character; // the release just before belonged to this repeat
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
        if (repeatWindowMs > 0)
        {
            releasing[it->first] = {it->second, juce::Time::getMillisecondCounterHiRes()};
            startTimer(std::max(1, repeatWindowMs / 4));
            used = true;
        }
        else
        {
            used = release(it->second) || used;
        }
        it = down.erase(it);
    }
    return used;
}

bool ComputerKeys::release(char32_t character)
{
    // A release always ends what a press started, whatever the focus or the modifiers.
    KeyEvent event;
    event.character = character;
    event.type = KeyEvent::Type::up;
    return manager.handle(event);
}

void ComputerKeys::timerCallback()
{
    const auto now = juce::Time::getMillisecondCounterHiRes();
    for (auto it = releasing.begin(); it != releasing.end();)
    {
        if (now - it->second.at < repeatWindowMs)
        {
            ++it;
            continue;
        }
        release(it->second.character);
        it = releasing.erase(it);
    }
    if (releasing.empty())
        stopTimer();
}

void ComputerKeys::releaseAll()
{
    down.clear();
    releasing.clear();
    stopTimer();
    manager.releaseAll();
}

} // namespace norvane
