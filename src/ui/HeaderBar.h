#pragma once

#include "ui/Look.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace norvane
{

class MIDIManager;
class UpdateChecker;

/** The program's name drawn as its logo: a small keyboard glyph and the word, in the accent. */
class Logo final : public juce::Component
{
public:
    explicit Logo(const ViewContext& context, float size = 22.0f);
    void paint(juce::Graphics& g) override;
    int idealWidth() const;

private:
    const ViewContext& context;
    float size;
    ModelWatch watch;
};

/** The transposition value: a small caption above the number; a click sets it back to 0. */
class TransposeDisplay final : public juce::Button
{
public:
    explicit TransposeDisplay(const ViewContext& context);
    void setValue(int semitones);
    void paintButton(juce::Graphics&, bool isOver, bool isDown) override;

    /** "0", "+3", "-3". */
    static juce::String valueText(int semitones);

private:
    const ViewContext& context;
    int value = 0;
};

/** The top row: the logo, the update badge and the performance controls (transposition,
    panic, the sustain light), then appearance, language and credits. */
class HeaderBar final : public juce::Component
{
public:
    HeaderBar(const ViewContext& context, MIDIManager& midi, UpdateChecker& updates);

    std::function<void(juce::Component& anchor)> onAppearance, onCredits;

    static constexpr int height = 50;
    static constexpr const char* feedbackAddress = "https://norvane.app/feedback";
    static constexpr const char* storeAddress = "https://norvane.app/store";

    void resized() override;

    PillButton feedback, transposeDown, transposeUp, panic, sustain, appearance, language, credits,
        updateBadge;
    TransposeDisplay transposeValue;

private:
    void refresh();

    const ViewContext& context;
    MIDIManager& midi;
    UpdateChecker& updates;
    Logo logo;
    ModelWatch watch;
};

} // namespace norvane
