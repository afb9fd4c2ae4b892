#include "ui/ConnectionsBar.h"

#include "catalog/PluginLibrary.h"
#include "engine/AudioEngine.h"
#include "input/CCDestination.h"
#include "input/MIDIManager.h"
#include "store/ControllerBindings.h"
#include "ui/Icons.h"
#include "ui/KeyboardHome.h"
#include "ui/MidiLearn.h"
#include "ui/PluginManagerView.h"

namespace norvane
{

namespace
{
constexpr CCDestination allDestinations[] = {CCDestination::off,    CCDestination::master,
                                             CCDestination::layerA, CCDestination::layerB,
                                             CCDestination::layerC, CCDestination::layerD};

juce::PopupMenu destinationMenu(const ViewContext& context, Published<CCDestination>& target)
{
    juce::PopupMenu menu;
    for (auto destination : allDestinations)
        menu.addItem(fromUTF8(displayName(destination, context.language())), true,
                     target.get() == destination, [&target, destination] { target = destination; });
    return menu;
}

constexpr int popoverMargin = 16;
} // namespace

// ---- MidiControlsView ----------------------------------------------------------------------

MidiControlsView::MidiControlsView(const ViewContext& contextIn, MIDIManager& midiIn)
    : expression(contextIn), modulation(contextIn), volume(contextIn), pedalInverted(contextIn),
      echoToOutput(contextIn), context(contextIn), midi(midiIn)
{
    addAndMakeVisible(pedalInverted);
    pedalInverted.onClick = [this] { midi.sustainPedalInverted = pedalInverted.getToggleState(); };
    addAndMakeVisible(echoToOutput);
    echoToOutput.onClick = [this] { midi.echoToOutput = echoToOutput.getToggleState(); };
    if (context.midiLearn != nullptr)
        watch.watch(context.midiLearn->bindings(), [this] { rebuildBindings(); });
    const std::pair<MenuPill*, Published<CCDestination>*> rows[] = {
        {&expression, &midi.expressionTarget},
        {&modulation, &midi.modulationTarget},
        {&volume, &midi.volumeTarget}};
    for (auto [pill, target] : rows)
    {
        addAndMakeVisible(*pill);
        pill->makeMenu = [this, target = target] { return destinationMenu(context, *target); };
    }
    watch.watch(midi, [this] { refresh(); });
    watch.watch(context.loc, [this] { refresh(); });
    rebuildBindings();
}

namespace
{
constexpr int pedalRowY = 190, echoRowY = 226, bindingRowHeight = 28;
} // namespace

int MidiControlsView::bindingsTop() const
{
    return echoRowY + 44;
}

void MidiControlsView::rebuildBindings()
{
    forgetButtons.clear();
    if (context.midiLearn != nullptr)
        for (auto& binding : context.midiLearn->bindings().bindings.get())
        {
            auto button = std::make_unique<PillButton>(context, "trash");
            button->setBorderless(true);
            // Forgetting rebuilds this list, the button included: not from inside its click.
            button->onClick = [this, target = binding.target]
            {
                juce::MessageManager::callAsync(
                    [view = juce::Component::SafePointer<MidiControlsView>(this), target]
                    {
                        if (view != nullptr)
                            view->context.midiLearn->bindings().forget(target);
                    });
            };
            addAndMakeVisible(*button);
            forgetButtons.push_back(std::move(button));
        }
    const int listHeight = context.midiLearn == nullptr ? 0
                           : forgetButtons.empty()      ? 64
                                                        : 36 + bindingCount() * bindingRowHeight;
    setSize(360, bindingsTop() + listHeight + 12);
    refresh();
    resized();
}

std::pair<juce::String, juce::String> MidiControlsView::bindingText(int index) const
{
    const auto& list = context.midiLearn->bindings().bindings.get();
    const auto& binding = list.at((size_t)index);
    return {fromUTF8(binding.target.displayName(context.language())),
            fromUTF8(binding.sourceText(context.language()))};
}

void MidiControlsView::refresh()
{
    expression.setButtonText(fromUTF8(displayName(midi.expressionTarget.get(), context.language())));
    modulation.setButtonText(fromUTF8(displayName(midi.modulationTarget.get(), context.language())));
    volume.setButtonText(fromUTF8(displayName(midi.volumeTarget.get(), context.language())));
    pedalInverted.setToggleState(midi.sustainPedalInverted.get(), juce::dontSendNotification);
    pedalInverted.setTooltip(context.text(
        "Para pedales cableados al revés: si las notas se sostienen hasta que pisas el pedal, actívalo.",
        "For pedals wired the other way: if notes sustain until you press the pedal, turn this on."));
    echoToOutput.setToggleState(midi.echoToOutput.get(), juce::dontSendNotification);
    echoToOutput.setTooltip(context.text(
        "Repite lo que tocas, transpuesto como suena, en el puerto JACK «midi_out», para que otro "
        "sintetizador o una grabadora lo sigan.",
        "Repeats what you play, transposed as it sounds, on the JACK port “midi_out”, so that "
        "another synth or a recorder can follow."));
    for (auto& button : forgetButtons)
        button->setTooltip(context.text("Olvidar MIDI", "Forget MIDI"));
    repaint();
}

void MidiControlsView::resized()
{
    int y = 48;
    for (auto* pill : {&expression, &modulation, &volume})
    {
        pill->setBounds(getWidth() - popoverMargin - 140, y, 140, 26);
        y += 36;
    }
    pedalInverted.setBounds(getWidth() - popoverMargin - 44, pedalRowY, 44, 26);
    echoToOutput.setBounds(getWidth() - popoverMargin - 44, echoRowY, 44, 26);
    y = bindingsTop() + 34;
    for (auto& button : forgetButtons)
    {
        button->setBounds(getWidth() - popoverMargin - 28, y, 28, bindingRowHeight - 4);
        y += bindingRowHeight;
    }
}

void MidiControlsView::paint(juce::Graphics& g)
{
    g.setColour(context.textPrimary());
    g.setFont(Fonts::headline());
    g.drawText(context.text("Controles continuos", "Continuous controls"), popoverMargin, 14,
               getWidth() - 2 * popoverMargin, 20, juce::Justification::centredLeft);
    g.setFont(Fonts::body());
    const juce::String labels[] = {context.text("Expresión (CC 11)", "Expression (CC 11)"),
                                   context.text("Modulación (CC 1)", "Modulation (CC 1)"),
                                   context.text("Volumen (CC 7)", "Volume (CC 7)")};
    int y = 48;
    for (auto& label : labels)
    {
        g.drawText(label, popoverMargin, y, getWidth() - 2 * popoverMargin - 146, 26,
                   juce::Justification::centredLeft);
        y += 36;
    }
    g.setColour(context.textSecondary());
    g.setFont(Fonts::caption());
    g.drawFittedText(context.text("Pitch bend: ±2 semitonos en las cuatro capas.",
                                  "Pitch bend: ±2 semitones across the four layers."),
                     popoverMargin, y + 4, getWidth() - 2 * popoverMargin, 30,
                     juce::Justification::topLeft, 2, 1.0f);

    const int width = getWidth() - 2 * popoverMargin;
    g.setColour(context.textPrimary());
    g.setFont(Fonts::body());
    g.drawText(context.text("Pedal de sustain invertido", "Reversed sustain pedal"), popoverMargin,
               pedalRowY, width - 52, 26, juce::Justification::centredLeft);
    g.drawText(context.text("Eco en la salida MIDI", "Echo on the MIDI output"), popoverMargin,
               echoRowY, width - 52, 26, juce::Justification::centredLeft);
    if (context.midiLearn == nullptr)
        return;

    y = bindingsTop();
    g.setFont(Fonts::headline());
    g.drawText(context.text("Controles aprendidos", "Learned controls"), popoverMargin, y, width, 20,
               juce::Justification::centredLeft);
    y += 34;
    if (forgetButtons.empty())
    {
        g.setColour(context.textSecondary());
        g.setFont(Fonts::caption());
        g.drawFittedText(context.text("Haz clic derecho en un fader, una perilla o un botón y elige "
                                      "«Aprender MIDI».",
                                      "Right-click a fader, knob or button and choose "
                                      "“Learn MIDI”."),
                         popoverMargin, y - 4, width, 30, juce::Justification::topLeft, 2, 1.0f);
        return;
    }
    for (int i = 0; i < bindingCount(); ++i, y += bindingRowHeight)
    {
        const auto [target, source] = bindingText(i);
        g.setColour(context.textPrimary());
        g.setFont(Fonts::body());
        g.drawText(target, popoverMargin, y, width / 2 + 10, bindingRowHeight - 4,
                   juce::Justification::centredLeft, true);
        g.setColour(context.textSecondary());
        g.setFont(Fonts::caption());
        g.drawText(source, popoverMargin + width / 2 + 14, y, width / 2 - 46, bindingRowHeight - 4,
                   juce::Justification::centredLeft, true);
    }
}

// ---- SoundBankView -------------------------------------------------------------------------

SoundBankView::SoundBankView(const ViewContext& contextIn, AudioEngine& engineIn)
    : install(contextIn, "waveform.badge.plus"), backToSystem(contextIn, "arrow.clockwise"),
      context(contextIn), engine(engineIn)
{
    addAndMakeVisible(install);
    addChildComponent(backToSystem);
    install.onClick = [this] { chooseSoundFont(); };
    backToSystem.onClick = [this] { engine.removeCustomSoundFont(); };
    watch.watch(engine, [this] { refresh(); });
    watch.watch(context.loc, [this] { refresh(); });
    refresh();
}

juce::String SoundBankView::statusText() const
{
    return engine.customSoundFontInstalled.get()
               ? context.text("En uso: SoundFont instalado por ti.", "In use: your installed SoundFont.")
               : context.text("En uso: banco General MIDI del sistema.",
                              "In use: the system's General MIDI bank.");
}

void SoundBankView::refresh()
{
    install.setButtonText(context.text("Instalar .sf2…", "Install .sf2…"));
    backToSystem.setButtonText(context.text("Volver al banco del sistema", "Back to system bank"));
    backToSystem.setVisible(engine.customSoundFontInstalled.get());
    setSize(340, backToSystem.isVisible() ? 238 : 200);
    resized();
    repaint();
}

void SoundBankView::resized()
{
    install.setBounds(popoverMargin, 156, getWidth() - 2 * popoverMargin, 28);
    backToSystem.setBounds(popoverMargin, 192, getWidth() - 2 * popoverMargin, 28);
}

void SoundBankView::paint(juce::Graphics& g)
{
    const int w = getWidth() - 2 * popoverMargin;
    g.setColour(context.textPrimary());
    g.setFont(Fonts::headline());
    g.drawText(context.text("Banco de sonidos", "Sound bank"), popoverMargin, 14, w, 20,
               juce::Justification::centredLeft);
    g.setColour(context.accent());
    g.setFont(Fonts::body());
    g.drawFittedText(statusText(), popoverMargin, 40, w, 20, juce::Justification::centredLeft, 1, 0.9f);
    g.setColour(context.textSecondary());
    g.setFont(Fonts::caption());
    g.drawFittedText(
        context.text("Un SoundFont sampleado (.sf2) es la mejora de sonido más grande posible: el "
                     "carácter sintético viene del banco del sistema, no de los efectos.",
                     "A sampled SoundFont (.sf2) is the single biggest sound upgrade: the synthetic "
                     "character comes from the system bank, not from the effects."),
        popoverMargin, 66, w, 80, juce::Justification::topLeft, 6, 1.0f);
}

void SoundBankView::chooseSoundFont()
{
    chooser = std::make_unique<juce::FileChooser>(
        context.text("Elige un archivo SoundFont (.sf2)", "Choose a SoundFont file (.sf2)"), juce::File(),
        "*.sf2;*.sf3;*.SF2;*.SF3");
    juce::Component::SafePointer<SoundBankView> self(this);
    juce::WeakReference<AudioEngine> weakEngine(&engine);
    chooser->launchAsync(juce::FileBrowserComponent::openMode | juce::FileBrowserComponent::canSelectFiles,
                         [weakEngine](const juce::FileChooser& fc)
                         {
                             KeyboardHome::returnSoon();
                             const auto file = fc.getResult();
                             if (file == juce::File() || weakEngine == nullptr)
                                 return; // cancelled: nothing changes
                             weakEngine->installSoundFont(file);
                         });
}

// ---- ConnectionsBar ------------------------------------------------------------------------

ConnectionsBar::ConnectionsBar(const ViewContext& contextIn, MIDIManager& midiIn, AudioEngine& engineIn,
                               PluginLibrary& pluginsIn)
    : midiPicker(contextIn), outputPicker(contextIn), midiRefresh(contextIn, "arrow.clockwise"),
      outputRefresh(contextIn, "arrow.clockwise"), outputSettings(contextIn, "slider.horizontal.3"),
      outputStatus(contextIn, engineIn), controls(contextIn, "dial.medium"),
      soundBank(contextIn, "waveform.badge.plus", "SoundFont"),
      pluginsButton(contextIn, "puzzlepiece.extension", "Plugins"), context(contextIn), midi(midiIn),
      engine(engineIn), plugins(pluginsIn)
{
    for (auto* b : {(PillButton*)&midiPicker, (PillButton*)&outputPicker, &midiRefresh, &outputRefresh,
                    &outputSettings, (PillButton*)&outputStatus, &controls, &soundBank, &pluginsButton})
    {
        addAndMakeVisible(b);
        b->setCornerRadius(5.0f);
    }
    midiPicker.makeMenu = [this] { return midiMenu(); };
    outputPicker.makeMenu = [this] { return outputMenu(); };
    midiRefresh.onClick = [this] { midi.refreshSources(); };
    outputRefresh.onClick = [this] { engine.availableOutputDevices = engine.listOutputDevices(); };
    outputSettings.onClick = [this]
    { showPopover(std::make_unique<OutputSettingsView>(context, engine), outputSettings); };
    controls.onClick = [this]
    { showPopover(std::make_unique<MidiControlsView>(context, midi), controls); };
    soundBank.onClick = [this]
    { showPopover(std::make_unique<SoundBankView>(context, engine), soundBank); };
    pluginsButton.onClick = [this]
    { showPopover(std::make_unique<PluginManagerView>(context, plugins), pluginsButton); };

    watch.watch(midi, [this] { refresh(); });
    watch.watch(engine, [this] { refresh(); });
    watch.watch(context.loc, [this] { refresh(); });
    watch.watch(context.theme, [this] { refresh(); });
    refresh();
}

juce::PopupMenu ConnectionsBar::midiMenu()
{
    juce::PopupMenu menu;
    const auto& sources = midi.availableSources.get();
    if (sources.empty())
        menu.addItem(context.text("Sin dispositivos", "No devices"), true, false, [] {});
    for (const auto& source : sources)
        menu.addItem(fromUTF8(source.name), true, midi.selectedSourceID.get() == source.id,
                     [this, id = source.id] { midi.connect(id); });
    return menu;
}

juce::PopupMenu ConnectionsBar::outputMenu()
{
    juce::PopupMenu menu;
    const auto& selected = engine.selectedOutputDeviceID.get();
    menu.addItem(context.text("Predeterminada del sistema", "System default"), true, !selected.has_value(),
                 [this] { engine.selectOutputDevice(std::nullopt); });
    for (const auto& device : engine.availableOutputDevices.get())
        menu.addItem(fromUTF8(device.name), true, selected == device.id,
                     [this, device] { engine.selectOutputDevice(device); });
    return menu;
}

void ConnectionsBar::refresh()
{
    juce::String midiName = context.text("Sin dispositivos", "No devices");
    for (const auto& source : midi.availableSources.get())
        if (midi.selectedSourceID.get() == source.id)
            midiName = fromUTF8(source.name);
    if (!midi.selectedSourceID->has_value() && !midi.availableSources->empty())
        midiName = context.text("Elegir entrada…", "Choose input…");
    midiPicker.setButtonText(midiName);

    juce::String outputName = context.text("Predeterminada del sistema", "System default");
    for (const auto& device : engine.availableOutputDevices.get())
        if (engine.selectedOutputDeviceID.get() == device.id)
            outputName = fromUTF8(device.name);
    outputPicker.setButtonText(outputName);

    midiRefresh.setTooltip(context.text("Buscar dispositivos MIDI de nuevo", "Rescan MIDI devices"));
    outputRefresh.setTooltip(context.text("Buscar salidas de audio de nuevo", "Rescan audio outputs"));
    outputSettings.setTooltip(context.text("Búfer y frecuencia de la salida", "Output buffer and sample rate"));
    outputStatus.refresh();
    controls.setButtonText(context.text("Controles MIDI", "MIDI Controls"));
    controls.setTooltip(context.text("Asignar pedal de expresión, modulación y volumen",
                                     "Assign expression, modulation and volume pedals"));
    controls.setHighlighted(midi.expressionTarget.get() != CCDestination::off ||
                            midi.modulationTarget.get() != CCDestination::off ||
                            midi.volumeTarget.get() != CCDestination::off);
    soundBank.setTooltip(context.text("Instalar un banco de sonidos sampleado (.sf2)",
                                      "Install a sampled sound bank (.sf2)"));
    soundBank.setHighlighted(engine.customSoundFontInstalled.get());
    pluginsButton.setTooltip(context.text("Asignar plugins LV2/VST3 a las categorías de instrumento",
                                          "Assign LV2/VST3 plugins to the instrument categories"));
    resized();
    repaint();
}

void ConnectionsBar::resized()
{
    auto area = getLocalBounds().reduced(16, 6);
    const auto group = [&](MenuPill& picker, std::initializer_list<std::pair<PillButton*, int>> buttons)
    {
        area.removeFromLeft(22); // the group's icon, painted
        area.removeFromLeft(6);
        picker.setBounds(area.removeFromLeft(pickerWidth));
        for (auto [button, width] : buttons)
        {
            area.removeFromLeft(4);
            button->setBounds(area.removeFromLeft(width));
        }
        area.removeFromLeft(18);
    };
    group(midiPicker, {{&midiRefresh, 28}});
    group(outputPicker, {{&outputRefresh, 28}, {&outputSettings, 28}, {&outputStatus, DeviceStatusButton::width}});
    for (auto* b : {&controls, &soundBank, &pluginsButton})
    {
        b->setBounds(area.removeFromLeft(b->idealWidth()));
        area.removeFromLeft(8);
    }
}

void ConnectionsBar::paint(juce::Graphics& g)
{
    const auto icon = [&](const char* symbol, const juce::Component& picker)
    {
        drawIcon(g, symbol, juce::Rectangle<float>((float)picker.getX() - 26.0f, (float)picker.getY() + 4.0f, 20.0f,
                                                   (float)picker.getHeight() - 8.0f),
                 context.textSecondary());
    };
    icon("pianokeys", midiPicker);
    icon("speaker.wave.2.fill", outputPicker);
}

} // namespace norvane
