#pragma once

#include "core/AppLanguage.h"
#include "core/Observable.h"
#include "store/Localization.h"
#include "ui/ThemeStore.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <vector>

namespace norvane
{

class MidiLearn;

/** What every view of the window shares: the colours, the language and, in the window, MIDI
    learn. */
struct ViewContext
{
    ThemeStore& theme;
    Localization& loc;
    MidiLearn* midiLearn = nullptr;

    AppLanguage language() const { return loc.language.get(); }
    bool isSpanish() const { return language() == AppLanguage::spanish; }

    /** The Spanish or the English text, as the current language asks. */
    juce::String text(const char* spanish, const char* english) const
    {
        return juce::String::fromUTF8(isSpanish() ? spanish : english);
    }

    juce::Colour accent() const { return theme.accent.get(); }
    juce::Colour textPrimary() const { return Theme::textPrimary(theme); }
    juce::Colour textSecondary() const { return Theme::textSecondary(theme); }
    juce::Colour panel() const { return panelColour(theme.backgroundStyle.get()); }
    bool isLightStyle() const { return isLight(theme.backgroundStyle.get()); }
    /** Faint fills and lines: white on dark grounds, ink on light ones. */
    juce::Colour faint(float alpha) const
    {
        return (isLightStyle() ? juce::Colour(0xff0a2417) : juce::Colours::white).withAlpha(alpha);
    }
};

/** Keeps a view in step with model objects: calls back after each change of any of them. The
    subscriptions end with the watcher. */
class ModelWatch
{
public:
    void watch(ObservableObject& object, std::function<void()> callback)
    {
        subscriptions.push_back(object.onDidChange(std::move(callback)));
    }

    void clear() { subscriptions.clear(); }

private:
    std::vector<ObservableObject::WillChange::Subscription> subscriptions;
};

inline juce::String fromUTF8(const std::string& text)
{
    return juce::String::fromUTF8(text.c_str(), (int)text.size());
}

/** What a layer says when its plug-in's output went wrong (not a number, or infinite) and the
    plug-in was silenced and reset that many times. */
inline juce::String silencedPluginText(const ViewContext& context, int blocks)
{
    return context.text("el plugin dio una salida no válida; se silenció y se reinició (",
                        "the plug-in gave invalid output; it was muted and reset (") +
           juce::String(blocks) + context.text(" bloques)", " blocks)");
}

} // namespace norvane
