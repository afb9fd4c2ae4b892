#include "ui/MetronomeView.h"

#include "aids/Metronome.h"
#include "ui/Icons.h"
#include "ui/MidiLearn.h"

#include <cmath>

namespace norvane
{

namespace
{
constexpr int margin = 14;

// Rows, top to bottom.
constexpr int headerY = 12, headerHeight = 30;
constexpr int tempoY = headerY + headerHeight + 8, tempoHeight = 46;
constexpr int signatureY = tempoY + tempoHeight + 8, signatureHeight = 26;
constexpr int volumeY = signatureY + signatureHeight + 8, volumeHeight = 24;

constexpr int stepSize = 30;
constexpr int numberHeight = 30;
constexpr float numberFontSize = 26.0f;
} // namespace

MetronomeView::MetronomeView(const ViewContext& contextIn, Metronome& metronomeIn)
    : context(contextIn), metronome(metronomeIn), startStop(contextIn, "play.fill"),
      slower(contextIn, "minus"), faster(contextIn, "plus"), tapTempo(contextIn, "hand.tap"),
      signature(contextIn)
{
    startStop.setCornerRadius(14.0f);
    startStop.onClick = [this]
    {
        if (metronome.isRunning.get())
            metronome.stop();
        else
            metronome.start();
    };
    slower.onClick = [this] { metronome.bpm = metronome.bpm.get() - 1.0; };
    faster.onClick = [this] { metronome.bpm = metronome.bpm.get() + 1.0; };
    tapTempo.onClick = [this] { metronome.tap(); };
    learnable(context, startStop, ControlTarget::of(ControlTarget::Kind::metronomeRunning));
    learnable(context, tapTempo, ControlTarget::of(ControlTarget::Kind::metronomeTap));
    signature.setBorderless(true);
    signature.makeMenu = [this] { return signatureMenu(); };

    volume.setSliderStyle(juce::Slider::LinearHorizontal);
    volume.setTextBoxStyle(juce::Slider::NoTextBox, false, 0, 0);
    volume.setRange(0.0, 1.0);
    volume.onValueChange = [this] { metronome.volume = volume.getValue(); };

    for (juce::Component* c : std::initializer_list<juce::Component*>{
             &startStop, &slower, &faster, &tapTempo, &signature, &bpmValue, &bpmCaption, &volume})
        addAndMakeVisible(*c);
    bpmCaption.setText("BPM", juce::dontSendNotification);

    watch.watch(metronome, [this] { refresh(); });
    watch.watch(context.loc, [this] { refresh(); });
    watch.watch(context.theme, [this] { refresh(); });

    setSize(290, idealHeight());
    refresh();
}

MetronomeView::~MetronomeView() = default;

int MetronomeView::idealHeight() const
{
    return volumeY + volumeHeight + 12;
}

juce::String MetronomeView::title() const
{
    return context.text("Metrónomo", "Metronome");
}

juce::PopupMenu MetronomeView::signatureMenu()
{
    juce::PopupMenu menu;
    const auto current = metronome.signature.get();
    for (const bool compound : {false, true})
    {
        menu.addSectionHeader(compound ? context.text("Compuestos", "Compound")
                                       : context.text("Simples", "Simple"));
        for (const auto& choice : TimeSignature::common())
            if (choice.isCompound() == compound)
                menu.addItem(choice.label(), true, choice == current,
                             [this, choice] { metronome.signature = choice; });
    }
    return menu;
}

void MetronomeView::refresh()
{
    const bool running = metronome.isRunning.get();
    shownSymbol = running ? "stop.fill" : "play.fill";
    startStop.setSymbol(shownSymbol);
    startStop.setHighlighted(running);
    startStop.setTooltip(
        context.text("Iniciar o detener el metrónomo", "Start or stop the metronome"));
    startStop.setTitle(running ? context.text("Detener", "Stop")
                               : context.text("Iniciar", "Start"));

    slower.setTitle(context.text("Más lento", "Slower"));
    faster.setTitle(context.text("Más rápido", "Faster"));
    tapTempo.setButtonText("Tap");
    tapTempo.setTooltip(
        context.text("Marca el tempo pulsando al ritmo", "Set the tempo by tapping in time"));

    styleLabel(bpmValue, Fonts::bold(numberFontSize), context.textPrimary(),
               juce::Justification::centredBottom);
    bpmValue.setText(juce::String((int)std::lround(metronome.bpm.get())),
                     juce::dontSendNotification);
    styleLabel(bpmCaption, Fonts::caption(), context.textSecondary(),
               juce::Justification::centredTop);

    signature.setButtonText(metronome.signature->label());
    signature.setTooltip(
        context.text("Compás. Los compuestos acentúan cada grupo de tres.",
                     "Time signature. Compound metres accent each group of three."));
    volume.setValue(metronome.volume.get(), juce::dontSendNotification);
    volume.setTitle(context.text("Volumen del metrónomo", "Metronome volume"));

    resized(); // the signature's width follows its label
    repaint();
}

void MetronomeView::resized()
{
    const int right = getWidth() - margin;
    startStop.setBounds(right - 28, headerY + 1, 28, 28);

    // Tempo: the steppers around the number, the tap button at the right end.
    const int stepY = tempoY + (numberHeight - stepSize) / 2 + 2;
    const int tapWidth = std::max(58, tapTempo.idealWidth());
    tapTempo.setBounds(right - tapWidth, stepY, tapWidth, stepSize);
    const int numberRight = tapTempo.getX() - 10;
    slower.setBounds(margin, stepY, stepSize, stepSize);
    faster.setBounds(numberRight - stepSize, stepY, stepSize, stepSize);
    const int numberX = slower.getRight() + 4, numberWidth = faster.getX() - 4 - numberX;
    bpmValue.setBounds(numberX, tempoY, numberWidth, numberHeight);
    bpmCaption.setBounds(numberX, tempoY + numberHeight, numberWidth, tempoHeight - numberHeight);

    signature.setBounds(margin - 6, signatureY,
                        std::min(signature.idealWidth(), getWidth() - 2 * margin), signatureHeight);

    const int iconRoom = 24;
    volume.setBounds(margin + iconRoom, volumeY, getWidth() - 2 * margin - iconRoom, volumeHeight);
}

void MetronomeView::paint(juce::Graphics& g)
{
    paintRackPanel(g, getLocalBounds().toFloat(), context);

    g.setColour(context.textPrimary());
    g.setFont(Fonts::headline());
    g.drawFittedText(
        title(), juce::Rectangle<int>(margin, headerY, startStop.getX() - margin - 8, headerHeight),
        juce::Justification::centredLeft, 1, 0.9f);

    drawIcon(g, "speaker.wave.1.fill",
             juce::Rectangle<float>((float)margin, (float)volumeY, 16.0f, (float)volumeHeight)
                 .withSizeKeepingCentre(16.0f, 16.0f),
             context.textSecondary());
}

} // namespace norvane
