#pragma once

#include "engine/DeviceStatus.h"
#include "ui/Look.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace norvane
{

class AudioEngine;

/** The output's figures beside its picker: the callback's load, the xruns since start and the
    output latency, a few times a second. A click starts the xruns' count again. */
class DeviceStatusButton final : public PillButton, private juce::Timer
{
public:
    DeviceStatusButton(const ViewContext& context, AudioEngine& engine);

    /** The figures in the current language. */
    static juce::String describe(const ViewContext& context, const DeviceStatus::Reading& reading);

    /** Reads the figures now (the timer does it four times a second). */
    void refresh();

    void clicked() override;

    static constexpr int width = 200;

private:
    void timerCallback() override { refresh(); }

    AudioEngine& engine;
};

/** The output's popover: the open device, and the buffer size and sample rate asked of it. */
class OutputSettingsView final : public juce::Component
{
public:
    OutputSettingsView(const ViewContext& context, AudioEngine& engine);
    void paint(juce::Graphics& g) override;
    void resized() override;

    /** The menus, as they would open now. */
    juce::PopupMenu bufferMenu();
    juce::PopupMenu rateMenu();

    MenuPill bufferPicker, ratePicker;

private:
    void refresh();

    const ViewContext& context;
    AudioEngine& engine;
    ModelWatch watch;
};

} // namespace norvane
