#include "ui/OutputStatus.h"

#include "engine/AudioEngine.h"

#include <cmath>

namespace norvane
{

namespace
{
constexpr int margin = 16;

juce::String milliseconds(double ms) { return juce::String(ms, 1) + " ms"; }

juce::String frames(int size, double rate)
{
    auto text = juce::String(size);
    if (rate > 0.0)
        text << " (" << milliseconds(1000.0 * size / rate) << ")";
    return text;
}

juce::String hertz(double rate) { return juce::String(juce::roundToInt(rate)) + " Hz"; }
} // namespace

// ---- DeviceStatusButton --------------------------------------------------------------------

DeviceStatusButton::DeviceStatusButton(const ViewContext& contextIn, AudioEngine& engineIn)
    : PillButton(contextIn), engine(engineIn)
{
    setBorderless(true);
    refresh();
    startTimerHz(4);
}

juce::String DeviceStatusButton::describe(const ViewContext& context, const DeviceStatus::Reading& reading)
{
    if (!reading.deviceOpen)
        return context.text("Sin salida de audio", "No audio output");
    const auto load = juce::String(juce::roundToInt(reading.loadPercent));
    const auto xruns = juce::String((juce::int64)reading.xruns);
    const bool one = reading.xruns == 1;
    return context.isSpanish()
               ? "CPU " + load + " % · " + xruns + (one ? " corte" : " cortes") + " · " +
                     milliseconds(reading.latencyMs)
               : "CPU " + load + "% · " + xruns + (one ? " xrun" : " xruns") + " · " +
                     milliseconds(reading.latencyMs);
}

void DeviceStatusButton::refresh()
{
    const auto reading = engine.deviceStatus().read();
    const auto text = describe(context, reading);
    // Amber while the audio has dropped out or runs close to its deadline.
    const bool strained = reading.deviceOpen && (reading.xruns > 0 || reading.loadPercent >= 80.0);
    setTextColour(strained ? std::optional(juce::Colour(0xffffb347)) : std::nullopt);
    setTooltip(context.text("Carga del audio, cortes (xruns) desde el inicio y latencia de salida. "
                            "Un clic pone los cortes a cero.",
                            "Audio load, xruns since start and output latency. Click to reset "
                            "the xruns."));
    if (text != getButtonText())
        setButtonText(text);
    else
        repaint();
}

void DeviceStatusButton::clicked()
{
    engine.deviceStatus().resetXruns();
    refresh();
}

// ---- OutputSettingsView --------------------------------------------------------------------

OutputSettingsView::OutputSettingsView(const ViewContext& contextIn, AudioEngine& engineIn)
    : bufferPicker(contextIn), ratePicker(contextIn), context(contextIn), engine(engineIn)
{
    for (auto* pill : {&bufferPicker, &ratePicker})
    {
        addAndMakeVisible(*pill);
        pill->setCornerRadius(5.0f);
    }
    bufferPicker.makeMenu = [this] { return bufferMenu(); };
    ratePicker.makeMenu = [this] { return rateMenu(); };
    watch.watch(engine, [this] { refresh(); });
    watch.watch(context.loc, [this] { refresh(); });
    setSize(340, 232);
    refresh();
}

juce::PopupMenu OutputSettingsView::bufferMenu()
{
    juce::PopupMenu menu;
    const auto figures = engine.host().deviceFigures();
    if (!figures)
        return menu;
    std::vector<int> sizes;
    for (const int size : engine.host().deviceChoices().bufferSizes)
        if (size >= AudioEngine::minimumBufferSize && size <= AudioEngine::maximumBufferSize)
            sizes.push_back(size);
    if (sizes.empty())
        sizes.push_back(figures->bufferSize); // all it can do, outside the usual range
    for (const int size : sizes)
        menu.addItem(frames(size, figures->sampleRate), true, size == figures->bufferSize,
                     [this, size, rate = figures->sampleRate]
                     { engine.selectOutputFormat({size, rate}); });
    return menu;
}

juce::PopupMenu OutputSettingsView::rateMenu()
{
    juce::PopupMenu menu;
    const auto figures = engine.host().deviceFigures();
    if (!figures)
        return menu;
    auto rates = engine.host().deviceChoices().sampleRates;
    if (rates.empty())
        rates.push_back(figures->sampleRate);
    for (const double rate : rates)
        menu.addItem(hertz(rate), true, rate == figures->sampleRate,
                     [this, rate, size = figures->bufferSize]
                     { engine.selectOutputFormat({size, rate}); });
    return menu;
}

void OutputSettingsView::refresh()
{
    const auto figures = engine.host().deviceFigures();
    const auto choices = engine.host().deviceChoices();
    bufferPicker.setButtonText(figures ? frames(figures->bufferSize, figures->sampleRate) : "—");
    ratePicker.setButtonText(figures ? hertz(figures->sampleRate) : "—");
    bufferPicker.setEnabled(figures && choices.bufferSizes.size() > 1);
    ratePicker.setEnabled(figures && choices.sampleRates.size() > 1);
    repaint();
}

void OutputSettingsView::resized()
{
    bufferPicker.setBounds(getWidth() - margin - 130, 70, 130, 26);
    ratePicker.setBounds(getWidth() - margin - 130, 106, 130, 26);
}

void OutputSettingsView::paint(juce::Graphics& g)
{
    const int w = getWidth() - 2 * margin;
    const auto figures = engine.host().deviceFigures();
    g.setColour(context.textPrimary());
    g.setFont(Fonts::headline());
    g.drawText(context.text("Salida de audio", "Audio output"), margin, 14, w, 20,
               juce::Justification::centredLeft);
    g.setColour(context.accent());
    g.setFont(Fonts::body());
    g.drawFittedText(figures ? figures->name + " (" + figures->type + ")"
                             : context.text("Sin salida de audio abierta.", "No audio output is open."),
                     margin, 40, w, 20, juce::Justification::centredLeft, 1, 0.8f);
    g.setColour(context.textPrimary());
    g.drawText(context.text("Tamaño de búfer", "Buffer size"), margin, 70, w - 136, 26,
               juce::Justification::centredLeft);
    g.drawText(context.text("Frecuencia de muestreo", "Sample rate"), margin, 106, w - 136, 26,
               juce::Justification::centredLeft);
    g.setColour(context.textSecondary());
    g.setFont(Fonts::caption());
    const bool jack = figures && figures->type == "JACK";
    g.drawFittedText(jack ? context.text("Con JACK, el búfer elegido se pide al servidor y la "
                                         "frecuencia es la suya.",
                                         "Under JACK, the buffer chosen is asked of the server "
                                         "and the rate is its own.")
                          : context.text("Un búfer pequeño responde antes a las teclas; uno mayor "
                                         "aguanta más carga sin cortes.",
                                         "A small buffer answers the keys sooner; a larger one "
                                         "bears more load without dropouts."),
                     margin, 146, w, 44, juce::Justification::topLeft, 3, 1.0f);

    // What the callback itself used of the CPU, apart from what the machine gave to others.
    const auto reading = engine.deviceStatus().read();
    if (!reading.deviceOpen)
        return;
    const auto ms = [](double v) { return juce::String(v, 2); };
    const auto over = juce::String((juce::int64)reading.cpuOverruns);
    const auto cpu = context.isSpanish()
                             ? "CPU del audio: p50 " + ms(reading.cpuP50Ms) + " · p99,9 " +
                                   ms(reading.cpuP999Ms) + " · máx. " + ms(reading.cpuMaxMs) +
                                   " ms · " + over + " por encima del periodo"
                             : "Audio CPU: p50 " + ms(reading.cpuP50Ms) + " · p99.9 " +
                                   ms(reading.cpuP999Ms) + " · max " + ms(reading.cpuMaxMs) +
                                   " ms · " + over + " over the period";
    g.drawFittedText(cpu, margin, 196, w, 30, juce::Justification::topLeft, 2, 0.9f);
}

} // namespace norvane
