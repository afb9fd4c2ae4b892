#include "ui/MidiLearn.h"

#include "input/MIDIManager.h"
#include "store/ControllerBindings.h"

#include <algorithm>

namespace norvane
{

namespace
{

constexpr int markSize = 7;

/** The dot of a bound control, or the ring of the one being taught. Lets every click through. */
class Mark final : public juce::Component
{
public:
    explicit Mark(const ViewContext& contextIn) : context(contextIn)
    {
        setInterceptsMouseClicks(false, false);
        setAlwaysOnTop(true);
    }

    void show(bool bound, bool learning)
    {
        ring = learning;
        setVisible(bound || learning);
        repaint();
    }
    bool isRing() const { return ring; }

    void paint(juce::Graphics& g) override
    {
        auto dot = getLocalBounds().toFloat().reduced(0.5f);
        g.setColour(context.accent());
        if (ring)
            g.drawEllipse(dot.reduced(0.5f), 1.4f);
        else
            g.fillEllipse(dot);
    }

private:
    const ViewContext& context;
    bool ring = false;
};

} // namespace

/** What MIDI learn hangs on one control: its menu on a right-click, its mark, its tooltip. */
class MidiLearn::Attachment final : private juce::MouseListener, private juce::ComponentListener
{
public:
    Attachment(MidiLearn& ownerIn, juce::Component& controlIn, ControlTarget targetIn)
        : owner(ownerIn), control(&controlIn), target(targetIn), mark(ownerIn.context)
    {
        controlIn.addMouseListener(this, false);
        controlIn.addComponentListener(this);
        controlIn.addChildComponent(mark);
        place();
        refresh();
    }

    ~Attachment() override
    {
        if (auto* c = control.getComponent())
        {
            c->removeMouseListener(this);
            c->removeComponentListener(this);
            c->removeChildComponent(&mark);
        }
    }

    bool isGone() const { return control == nullptr; }
    bool isOn(const juce::Component& c) const { return control.getComponent() == &c; }
    juce::Component& markComponent() { return mark; }

    void refresh()
    {
        if (control == nullptr)
            return;
        const auto& learning = owner.midi.learningTarget.get();
        mark.show(owner.store.bindingFor(target).has_value(), learning && *learning == target);
        refreshTooltip();
    }

private:
    void place()
    {
        if (auto* c = control.getComponent())
            mark.setBounds(c->getWidth() - markSize - 1, 1, markSize, markSize);
    }

    /** The control's own tooltip, with the binding's line after it. The view may set its
        tooltip anew at any time: the line is put back whenever the pointer comes in. */
    void refreshTooltip()
    {
        auto* client = dynamic_cast<juce::SettableTooltipClient*>(control.getComponent());
        if (client == nullptr)
            return;
        auto own = client->getTooltip();
        if (appended.isNotEmpty() && own.endsWith(appended))
            own = own.dropLastCharacters(appended.length());
        const auto line = owner.tooltipLine(target);
        appended = line.isEmpty() ? juce::String() : own.isEmpty() ? line : "\n" + line;
        client->setTooltip(own + appended);
    }

    void mouseEnter(const juce::MouseEvent&) override { refreshTooltip(); }

    void mouseDown(const juce::MouseEvent& e) override
    {
        if (!e.mods.isPopupMenu() || control == nullptr)
            return;
        owner.menuFor(target).showMenuAsync(
            juce::PopupMenu::Options().withTargetComponent(control.getComponent()));
    }

    void componentMovedOrResized(juce::Component&, bool, bool wasResized) override
    {
        if (wasResized)
            place();
    }

    void componentBeingDeleted(juce::Component& c) override
    {
        c.removeMouseListener(this);
        c.removeComponentListener(this);
        c.removeChildComponent(&mark);
        control = nullptr;
    }

    MidiLearn& owner;
    juce::Component::SafePointer<juce::Component> control;
    const ControlTarget target;
    Mark mark;
    juce::String appended; // what was added to the control's own tooltip
};

MidiLearn::MidiLearn(const ViewContext& contextIn, MIDIManager& midiIn,
                     ControllerBindings& bindingsIn)
    : context(contextIn), midi(midiIn), store(bindingsIn)
{
    watch.watch(midi, [this] { refreshAll(); });
    watch.watch(store, [this] { refreshAll(); });
    watch.watch(context.loc, [this] { refreshAll(); });
}

MidiLearn::~MidiLearn()
{
    watch.clear();
    attachments.clear();
    midi.cancelLearning();
}

void MidiLearn::attach(juce::Component& control, const ControlTarget& target)
{
    std::erase_if(attachments, [&](auto& a) { return a->isGone() || a->isOn(control); });
    attachments.push_back(std::make_unique<Attachment>(*this, control, target));
}

void MidiLearn::refreshAll()
{
    std::erase_if(attachments, [](auto& a) { return a->isGone(); });
    for (auto& a : attachments)
        a->refresh();
}

juce::PopupMenu MidiLearn::menuFor(const ControlTarget& target)
{
    juce::PopupMenu menu;
    const auto binding = store.bindingFor(target);
    const auto& learning = midi.learningTarget.get();
    menu.addSectionHeader(fromUTF8(target.displayName(context.language())));
    menu.addItem(context.text("Aprender MIDI", "Learn MIDI"), true, learning && *learning == target,
                 [this, target] { midi.learn(target); });
    if (binding)
        menu.addItem(context.text("Olvidar MIDI", "Forget MIDI") + " (" +
                         fromUTF8(binding->sourceText(context.language())) + ")",
                     [this, target] { store.forget(target); });
    return menu;
}

bool MidiLearn::cancel()
{
    if (!midi.learningTarget->has_value())
        return false;
    midi.cancelLearning();
    return true;
}

juce::String MidiLearn::tooltipLine(const ControlTarget& target) const
{
    const auto& learning = midi.learningTarget.get();
    if (learning && *learning == target)
        return context.text("MIDI: mueve un control o toca una tecla del teclado (Esc cancela)",
                            "MIDI: move a control or press a key on the keyboard (Esc cancels)");
    if (auto binding = store.bindingFor(target))
        return "MIDI: " + fromUTF8(binding->sourceText(context.language()));
    return {};
}

juce::Component* MidiLearn::markOn(juce::Component& control) const
{
    for (auto& a : attachments)
        if (a->isOn(control))
            return &a->markComponent();
    return nullptr;
}

} // namespace norvane
