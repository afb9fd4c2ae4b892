#pragma once

#include "catalog/InstrumentCategory.h"
#include "ui/ConsoleControls.h"
#include "ui/Look.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <array>
#include <memory>
#include <vector>

namespace norvane
{

class DronePadController;
class SoundLayer;

/** The drone pad panel of the Live tab: switches the drone on and off and chooses its pad
    type, key, octave and tone. Keeps no state of its own: everything it shows belongs to the
    controller and the drone layer, and every change of theirs shows at once.
    Laid out for widths from 280 to 380 points. Message thread only. */
class DronePadView final : public juce::Component
{
public:
    DronePadView(const ViewContext& context, DronePadController& controller,
                 SoundLayer& droneLayer);
    ~DronePadView() override;

    static constexpr int gridColumns = 6;
    static constexpr int knobCount = 5;
    static constexpr float knobSize = 46.0f;

    /** The height that shows every row at the current width. */
    int idealHeight() const;

    /** What the buttons do. */
    void choosePadType(int index);
    void chooseKey(int pitchClass);
    void stepOctave(int step);

    size_t padTypeCount() const { return padTypeButtons.size(); }
    PillButton& padTypeButton(size_t index) { return *padTypeButtons.at(index); }
    PillButton& keyButton(int pitchClass) { return *keyButtons.at((size_t)pitchClass); }
    PillButton& octaveDownButton() { return octaveDown; }
    PillButton& octaveUpButton() { return octaveUp; }
    SwitchButton& enabledSwitch() { return enabledToggle; }
    /** Volume, Reverb, Decay, Brightness, Shimmer, left to right. */
    RotaryKnob& knob(size_t index) { return *knobs.at(index); }

    juce::String title() const;
    juce::String octaveCaption() const;
    juce::String octaveText() const { return octaveValue.getText(); }

    void paint(juce::Graphics&) override;
    void resized() override;

private:
    void refresh();
    void rebuildPadTypes();

    const ViewContext& context;
    DronePadController& controller;
    SoundLayer& layer;
    ModelWatch watch;

    InstrumentCategory shownCategory;
    std::vector<SoundVariant> padTypes;
    std::vector<std::unique_ptr<PillButton>> padTypeButtons;
    std::array<std::unique_ptr<PillButton>, 12> keyButtons;
    SwitchButton enabledToggle;
    PillButton octaveDown, octaveUp;
    juce::Label octaveValue;
    std::array<std::unique_ptr<RotaryKnob>, knobCount> knobs;
};

} // namespace norvane
