#pragma once

#include "core/Observable.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace norvane
{

class AudioEngine;
class MIDIManager;

/** One line saying what the program plays with: the sound bank, the MIDI input and the audio
    output, and the last error of each, if any. */
class StatusView final : public juce::Component
{
public:
    StatusView(AudioEngine& engine, MIDIManager& midi);

    void resized() override;
    void paint(juce::Graphics& g) override;

    /** The text shown, rebuilt from the engine and the MIDI manager. */
    juce::String statusText() const;

private:
    void refresh();

    AudioEngine& engine;
    MIDIManager& midi;
    juce::Label line;
    ObservableObject::WillChange::Subscription midiChanges, engineChanges, layerChanges;
};

} // namespace norvane
