#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <algorithm>
#include <functional>
#include <vector>

namespace norvane::test
{

/** A menu's item as the player sees it, with what choosing it does. */
struct MenuEntry
{
    juce::String text;
    bool ticked;
    std::function<void()> action;
};

/** The items of a menu's first level, without its separators. */
inline std::vector<MenuEntry> menuEntries(const juce::PopupMenu& menu)
{
    std::vector<MenuEntry> list;
    juce::PopupMenu::MenuItemIterator it(menu);
    while (it.next())
        if (!it.getItem().isSeparator)
            list.push_back({it.getItem().text, it.getItem().isTicked, it.getItem().action});
    return list;
}

inline const MenuEntry* findEntry(const std::vector<MenuEntry>& list, const juce::String& text)
{
    for (auto& e : list)
        if (e.text == text)
            return &e;
    return nullptr;
}

inline int tickedCount(const std::vector<MenuEntry>& list)
{
    return (int)std::count_if(list.begin(), list.end(), [](auto& e) { return e.ticked; });
}

} // namespace norvane::test
