#pragma once

#include "ui/Look.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <string>

namespace norvane
{

class Metronome;

/** The metronome panel of the Live tab: start and stop, the tempo by steps or by tapping, the
    time signature and the click volume. Keeps no state of its own; every change of the
    metronome shows at once. Laid out for widths from 250 to 340 points. Message thread only. */
class MetronomeView final : public juce::Component
{
public:
    MetronomeView(const ViewContext& context, Metronome& metronome);
    ~MetronomeView() override;

    int idealHeight() const;

    /** The signature menu: the simple signatures, then the compound ones, the current one
        ticked; choosing one sets it. */
    juce::PopupMenu signatureMenu();

    PillButton& startStopButton() { return startStop; }
    /** The start/stop button's symbol: "stop.fill" while running, else "play.fill". */
    const std::string& startStopSymbol() const { return shownSymbol; }
    PillButton& slowerButton() { return slower; }
    PillButton& fasterButton() { return faster; }
    PillButton& tapButton() { return tapTempo; }
    MenuPill& signaturePill() { return signature; }
    juce::Slider& volumeSlider() { return volume; }

    juce::String title() const;
    juce::String tempoText() const { return bpmValue.getText(); }

    void paint(juce::Graphics&) override;
    void resized() override;

private:
    void refresh();

    const ViewContext& context;
    Metronome& metronome;
    ModelWatch watch;

    PillButton startStop, slower, faster, tapTempo;
    MenuPill signature;
    juce::Label bpmValue, bpmCaption;
    juce::Slider volume;
    std::string shownSymbol;
};

} // namespace norvane
