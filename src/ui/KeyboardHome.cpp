#include "ui/KeyboardHome.h"

namespace norvane
{

namespace
{

juce::Component::SafePointer<juce::Component>& home()
{
    static juce::Component::SafePointer<juce::Component> component;
    return component;
}

/** The window itself takes no keys: when the focus lands there (a focused popover hidden,
    the window given the focus back by the display) or nowhere while this program has the
    keyboard, it goes home. */
class FocusFollower final : public juce::FocusChangeListener
{
public:
    void globalFocusChanged(juce::Component* focused) override
    {
        auto* h = home().getComponent();
        if (h == nullptr || focused == h)
            return;
        if (focused == h->getTopLevelComponent() || focused == nullptr)
            KeyboardHome::returnSoon();
    }
};

FocusFollower& follower()
{
    static FocusFollower instance;
    return instance;
}

/** Watches one transient component and deletes itself with it. */
class Watcher final : private juce::ComponentListener
{
public:
    explicit Watcher(juce::Component& c) : watched(&c) { c.addComponentListener(this); }

private:
    ~Watcher() override
    {
        if (watched != nullptr)
            watched->removeComponentListener(this);
    }

    void componentVisibilityChanged(juce::Component& c) override
    {
        if (!c.isVisible())
            KeyboardHome::returnSoon();
    }

    void componentBeingDeleted(juce::Component& c) override
    {
        c.removeComponentListener(this);
        watched = nullptr;
        KeyboardHome::returnSoon();
        delete this;
    }

    juce::Component::SafePointer<juce::Component> watched;
};

} // namespace

void KeyboardHome::set(juce::Component* component)
{
    auto& desktop = juce::Desktop::getInstance();
    desktop.removeFocusChangeListener(&follower());
    home() = component;
    if (component != nullptr)
        desktop.addFocusChangeListener(&follower());
}

void KeyboardHome::returnWhenGone(juce::Component& transient)
{
    new Watcher(transient); // deletes itself with the transient
}

void KeyboardHome::returnSoon()
{
    juce::MessageManager::callAsync(
        []
        {
            auto* h = home().getComponent();
            // Another program has the keyboard (the player went there): it keeps it.
            if (h == nullptr || !h->isShowing() || !juce::Process::isForegroundProcess())
                return;
            // A text field, another popover or a dialog of ours that has it keeps it.
            auto* focused = juce::Component::getCurrentlyFocusedComponent();
            if (focused != nullptr && focused->isShowing() && focused != h->getTopLevelComponent())
                return;
            if (juce::ModalComponentManager::getInstance()->getNumModalComponents() > 0)
                return;
            h->grabKeyboardFocus();
        });
}

} // namespace norvane
