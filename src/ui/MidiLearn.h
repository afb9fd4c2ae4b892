#pragma once

#include "input/ControlTarget.h"
#include "ui/ViewContext.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>
#include <string_view>
#include <vector>

namespace norvane
{

class ControllerBindings;
class MIDIManager;

/** MIDI learn in the window. A control it is hung on offers "Learn MIDI" on a right-click, and
    "Forget MIDI" once bound; a bound control wears a small mark and names its binding in its
    tooltip, and the control being taught wears a ring until the next controller or key comes
    (Escape cancels).

    The views hang it on their controls through the context (learnable()). Message thread
    only; it must outlive nothing it is hung on (the window's views go first).
*/
class MidiLearn final
{
public:
    MidiLearn(const ViewContext& context, MIDIManager& midi, ControllerBindings& bindings);
    ~MidiLearn();

    /** Hangs the menu, the mark and the tooltip line on `control`, for as long as it lives. */
    void attach(juce::Component& control, const ControlTarget& target);

    /** The right-click menu of a control bound to `target`. */
    juce::PopupMenu menuFor(const ControlTarget& target);
    /** Stops teaching a control: true when one was being taught. */
    bool cancel();

    /** The line a control's tooltip gains: its binding, the wait while it is taught, or
        nothing. */
    juce::String tooltipLine(const ControlTarget& target) const;
    /** The mark on a control it is hung on, for tests: nothing when it is not hung there. */
    juce::Component* markOn(juce::Component& control) const;

    MIDIManager& midiManager() { return midi; }
    ControllerBindings& bindings() { return store; }

private:
    class Attachment;
    void refreshAll();

    const ViewContext& context;
    MIDIManager& midi;
    ControllerBindings& store;
    std::vector<std::unique_ptr<Attachment>> attachments;
    ModelWatch watch;
};

/** Hangs MIDI learn on a control when the window offers it (not in views built alone). */
inline void learnable(const ViewContext& context, juce::Component& control,
                      const ControlTarget& target)
{
    if (context.midiLearn != nullptr)
        context.midiLearn->attach(control, target);
}

/** The same for one of a layer's controls, by the layer's slot ("A"–"D", "Drone"). */
inline void learnable(const ViewContext& context, juce::Component& control, std::string_view slot,
                      ControlTarget::Kind kind)
{
    if (auto target = ControlTarget::ofSlot(slot, kind))
        learnable(context, control, *target);
}

} // namespace norvane
