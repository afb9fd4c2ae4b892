#include "ui/StatusView.h"

#include "engine/AudioEngine.h"
#include "input/MIDIManager.h"

namespace norvane
{

StatusView::StatusView(AudioEngine& e, MIDIManager& m) : engine(e), midi(m)
{
    line.setJustificationType(juce::Justification::centredLeft);
    line.setColour(juce::Label::textColourId, juce::Colours::white);
    addAndMakeVisible(line);

    // Will-change arrives before the value is stored: read it once the change is done.
    auto later = [this]
    {
        juce::Component::SafePointer<StatusView> safe(this);
        juce::MessageManager::callAsync(
            [safe]
            {
                if (safe != nullptr)
                    safe->refresh();
            });
    };
    midiChanges = midi.onWillChange(later);
    engineChanges = engine.onWillChange(later);
    layerChanges = engine.layerA().onWillChange(later);
    refresh();
}

juce::String StatusView::statusText() const
{
    juce::StringArray parts;

    const auto bank = engine.soundBankPath();
    parts.add("Sound bank: " +
              (bank.empty() ? juce::String("none found") : juce::File(bank).getFileName()));

    const auto source = midi.connectedSourceName();
    parts.add("MIDI input: " + (source.empty() ? juce::String("none") : juce::String(source)));

    const auto output = engine.host().deviceName();
    parts.add("Audio output: " +
              (output.isEmpty() ? juce::String("none (running silently)") : output));

    juce::String text = parts.joinIntoString("   \xc2\xb7   ");
    for (const auto* error :
         {&midi.connectionError.get(), &engine.loadError.get(), &engine.layerA().loadError.get()})
        if (*error)
            text << "\n" << juce::String::fromUTF8(error->value().c_str());
    return text;
}

void StatusView::refresh()
{
    line.setText(statusText(), juce::dontSendNotification);
}

void StatusView::resized()
{
    line.setBounds(getLocalBounds().reduced(16));
}

void StatusView::paint(juce::Graphics& g)
{
    g.fillAll(juce::Colour(0xff1c1f24));
}

} // namespace norvane
