#include "ui/ChannelStrip.h"

#include "catalog/PluginLibrary.h"
#include "engine/AudioEngine.h"
#include "engine/LevelMeterBank.h"
#include "engine/PluginNode.h"
#include "engine/SoundLayer.h"
#include "store/CustomNames.h"
#include "ui/Icons.h"
#include "ui/LayerActions.h"
#include "ui/MidiLearn.h"
#include "ui/ParameterRows.h"
#include "ui/PluginWindowManager.h"
#include "ui/RenamePopover.h"
#include "ui/SplitRangeEditor.h"

namespace norvane
{

namespace
{
constexpr RowLayout panelRows{52, 46, 26};
constexpr int panelWidth = 300;
constexpr int panelPadding = 14;

juce::String percentOf(double value)
{
    return juce::String((int)(juce::jlimit(0.0, 1.0, value) * 100.0)) + "%";
}

void paintAccentBar(juce::Graphics& g, juce::Rectangle<float> area, juce::Colour accent)
{
    g.setGradientFill(juce::ColourGradient::horizontal(accent.withAlpha(0.95f), area.getX(),
                                                       accent.withAlpha(0.35f), area.getRight()));
    g.fillRoundedRectangle(area, area.getHeight() / 2.0f);
}

/** A module's panel: a title over its rows, or a bare editor. */
class ModulePanel final : public juce::Component
{
public:
    ModulePanel(const ViewContext& contextIn, juce::String titleIn)
        : context(contextIn), title(std::move(titleIn)), rows(contextIn)
    {
        addAndMakeVisible(rows);
    }

    void fit()
    {
        const int top = title.isEmpty() ? panelPadding : panelPadding + 28;
        setSize(panelWidth, top + rows.idealHeight(panelWidth - 2 * panelPadding) + panelPadding);
    }

    void resized() override
    {
        const int top = title.isEmpty() ? panelPadding : panelPadding + 28;
        rows.setBounds(panelPadding, top, getWidth() - 2 * panelPadding,
                       getHeight() - top - panelPadding);
    }

    void paint(juce::Graphics& g) override
    {
        if (title.isEmpty())
            return;
        g.setColour(context.textPrimary());
        g.setFont(Fonts::headline());
        g.drawText(title, panelPadding, panelPadding, getWidth() - 2 * panelPadding, 20,
                   juce::Justification::centredLeft);
    }

    RowStack& rowStack() { return rows; }

private:
    const ViewContext& context;
    juce::String title;
    RowStack rows;
};

/** The range module: the layer's range editor in the strip's colour. */
class RangePanel final : public juce::Component
{
public:
    RangePanel(const ViewContext& context, SoundLayer& layer, juce::Colour accent)
        : editor(context, layer, accent, 21, 108)
    {
        addAndMakeVisible(editor);
        setSize(panelWidth, editor.idealHeight() + 2 * panelPadding);
    }
    void resized() override { editor.setBounds(getLocalBounds().reduced(panelPadding)); }

private:
    SplitRangeEditor editor;
};

/** The insert effect: a menu of the installed effects, a note, and the effect's window. */
class EffectPanel final : public juce::Component
{
public:
    EffectPanel(const ViewContext& contextIn, SoundLayer& layerIn, AudioEngine& engineIn,
                PluginLibrary& pluginsIn)
        : context(contextIn), layer(layerIn), engine(engineIn), plugins(pluginsIn),
          effect(contextIn), window(contextIn, "macwindow")
    {
        effect.makeMenu = [this] { return menu(); };
        window.onClick = [this]
        {
            if (auto* node = layer.effectNode())
                PluginWindowManager::shared().open(*node, effectName(), context.language());
        };
        addAndMakeVisible(effect);
        addChildComponent(window);
        watch.watch(layer, [this] { refresh(); });
        refresh();
    }

    juce::String effectName() const
    {
        if (const auto& loaded = layer.effectPlugin.get())
            return fromUTF8(loaded->name);
        return context.text("Sin efecto", "No effect");
    }

    juce::PopupMenu menu()
    {
        juce::PopupMenu m;
        const auto& loaded = layer.effectPlugin.get();
        m.addItem(context.text("Sin efecto", "No effect"), true, !loaded.has_value(),
                  [this] { engine.loadEffectPlugin(std::nullopt, std::nullopt, layer); });
        for (const auto& installed : plugins.installedEffects.get())
            m.addItem(installed.description.name, true, loaded == installed.ref,
                      [this, ref = installed.ref]
                      {
                          engine.allowPlugin(ref);
                          engine.loadEffectPlugin(ref, std::nullopt, layer);
                      });
        return m;
    }

    void refresh()
    {
        effect.setButtonText(effectName());
        window.setButtonText(context.text("Abrir ventana del efecto", "Open effect window"));
        window.setVisible(layer.effectPlugin->has_value());
        setSize(panelWidth, window.isVisible() ? 176 : 136);
        resized();
        repaint();
    }

    void resized() override
    {
        effect.setBounds(panelPadding, 46, getWidth() - 2 * panelPadding, 28);
        window.setBounds(panelPadding, 128, getWidth() - 2 * panelPadding, 28);
    }

    void paint(juce::Graphics& g) override
    {
        g.setColour(context.textPrimary());
        g.setFont(Fonts::headline());
        g.drawText(context.text("Efecto LV2/VST3", "LV2/VST3 effect"), panelPadding, panelPadding,
                   getWidth() - 2 * panelPadding, 20, juce::Justification::centredLeft);
        g.setColour(context.textSecondary());
        g.setFont(Fonts::caption());
        g.drawFittedText(context.text("Se inserta después de la reverb, antes del fader.",
                                      "Inserted after the reverb, before the fader."),
                         panelPadding, 82, getWidth() - 2 * panelPadding, 34,
                         juce::Justification::topLeft, 2, 1.0f);
    }

private:
    const ViewContext& context;
    SoundLayer& layer;
    AudioEngine& engine;
    PluginLibrary& plugins;
    MenuPill effect;
    PillButton window;
    ModelWatch watch;
};

const char* symbolOf(ChannelStrip::Module module)
{
    using M = ChannelStrip::Module;
    switch (module)
    {
    case M::eq:
        return "slider.horizontal.3";
    case M::comp:
        return "waveform.path.ecg";
    case M::reverb:
        return "water.waves";
    case M::damper:
        return "pianokeys.inverse";
    case M::split:
        return "arrow.left.and.right";
    case M::pitch:
        return "arrow.up.and.down";
    case M::fx:
        return "puzzlepiece.extension";
    }
    return "";
}

juce::String titleOf(const ViewContext& context, ChannelStrip::Module module)
{
    using M = ChannelStrip::Module;
    switch (module)
    {
    case M::eq:
        return "EQ";
    case M::comp:
        return "Comp";
    case M::reverb:
        return "Reverb";
    case M::damper:
        return "Damper";
    case M::split:
        return context.text("Rango", "Range");
    case M::pitch:
        return context.text("Tono", "Pitch");
    case M::fx:
        return "FX";
    }
    return {};
}
} // namespace

// ---- MasterChannelStrip --------------------------------------------------------------------

MasterChannelStrip::MasterChannelStrip(const ViewContext& contextIn, AudioEngine& engineIn)
    : context(contextIn), engine(engineIn),
      volume(contextIn, ValueBinding::of(engineIn.masterVolume), 190.0f, 0.85),
      meter(contextIn, engineIn.meters(), 178.0f), led(contextIn)
{
    learnable(context, volume, ControlTarget::master());
    addAndMakeVisible(volume);
    addAndMakeVisible(meter);
    addAndMakeVisible(led);
    watch.watch(engine, [this] { refresh(); });
    watch.watch(engine.meters(), [this] { updateSignal(); });
    watch.watch(context.theme, [this] { refresh(); });
    refresh();
}

void MasterChannelStrip::updateSignal()
{
    const auto& levels = engine.meters().levels.get();
    const auto found = levels.find("master");
    led.setLit(LEDIndicator::signalLit(found == levels.end() ? 0.0f : found->second, true));
}

juce::String MasterChannelStrip::percentText() const
{
    return percentOf(engine.masterVolume.get());
}

void MasterChannelStrip::refresh()
{
    updateSignal();
    volume.refresh();
    repaint();
}

void MasterChannelStrip::resized()
{
    const int top = 44;
    const int pairWidth = ConsoleFader::preferredWidth + 8 + MasterMeter::width;
    const int x = (getWidth() - pairWidth) / 2;
    volume.setBounds(x, top, ConsoleFader::preferredWidth, 190);
    meter.setBounds(x + ConsoleFader::preferredWidth + 8, top + 190 - 178 - 12, MasterMeter::width,
                    178 + 12);
    led.setBounds((getWidth() - LEDIndicator::preferredSize) / 2, top + 190 + 26,
                  LEDIndicator::preferredSize, LEDIndicator::preferredSize);
}

void MasterChannelStrip::paint(juce::Graphics& g)
{
    auto area = getLocalBounds().toFloat();
    g.setColour(context.faint(0.04f));
    g.fillRoundedRectangle(area, 10.0f);
    paintAccentBar(g, area.removeFromTop(4.0f).reduced(8.0f, 0.0f), context.accent());
    const auto title = area.removeFromTop(30.0f).reduced(8.0f, 4.0f);
    drawIcon(g, "slider.vertical.3", title.withWidth(14.0f).withSizeKeepingCentre(14.0f, 14.0f),
             context.textSecondary());
    g.setColour(context.textPrimary());
    g.setFont(Fonts::bold(13.0f));
    g.drawText("Master", title.withTrimmedLeft(20.0f), juce::Justification::centredLeft, false);
    g.setColour(context.textSecondary());
    g.setFont(Fonts::caption());
    g.drawText(percentText(), 0, volume.getBottom() + 4, getWidth(), 16,
               juce::Justification::centred, false);
}

// ---- ChannelStrip::ModuleButton ------------------------------------------------------------

class ChannelStrip::ModuleButton final : public juce::Button
{
public:
    ModuleButton(ChannelStrip& ownerIn, Module moduleIn)
        : juce::Button(titleOf(ownerIn.context, moduleIn)), owner(ownerIn), module(moduleIn)
    {
        setMouseCursor(juce::MouseCursor::PointingHandCursor);
        onClick = [this] { owner.toggleModule(module); };
    }

    void paintButton(juce::Graphics& g, bool isOver, bool isDown) override
    {
        const auto& context = owner.context;
        auto area = getLocalBounds().toFloat().reduced(0.5f);
        const bool isOpen = owner.open == module && owner.openBox != nullptr;
        g.setColour(isOpen ? owner.stripAccent.withAlpha(0.18f)
                           : context.faint(isDown   ? 0.12f
                                           : isOver ? 0.09f
                                                    : 0.05f));
        g.fillRoundedRectangle(area, 5.0f);
        area.reduce(6.0f, 0.0f);
        drawIcon(g, symbolOf(module),
                 area.removeFromLeft(12.0f).withSizeKeepingCentre(12.0f, 12.0f),
                 context.textSecondary());
        area.removeFromLeft(5.0f);
        const auto dot = area.removeFromRight(5.0f).withSizeKeepingCentre(5.0f, 5.0f);
        g.setColour(owner.isActive(module) ? owner.stripAccent : context.faint(0.16f));
        g.fillEllipse(dot);
        g.setColour(context.textPrimary());
        g.setFont(Fonts::caption());
        g.drawFittedText(titleOf(context, module), area.toNearestInt(),
                         juce::Justification::centredLeft, 1, 0.8f);
    }

private:
    ChannelStrip& owner;
    const Module module;
};

// ---- ChannelStrip --------------------------------------------------------------------------

ChannelStrip::ChannelStrip(const ViewContext& contextIn, SoundLayer& layerIn, AudioEngine& engineIn,
                           CustomNames& namesIn, PluginLibrary& pluginsIn, juce::Colour accentIn,
                           bool allowDisableIn)
    : context(contextIn), layer(layerIn), engine(engineIn), names(namesIn), plugins(pluginsIn),
      stripAccent(accentIn), allowDisable(allowDisableIn), instrument(contextIn),
      volume(contextIn, ValueBinding::of(layerIn.volume), 118.0f, 0.85, accentIn),
      meter(contextIn, engineIn.meters(), layerIn.slot, 112.0f), led(contextIn), power(contextIn)
{
    actions = std::make_unique<LayerActions>(context, layer, engine, names, plugins);
    addAndMakeVisible(name);
    addAndMakeVisible(instrument);
    instrument.setBorderless(true);
    instrument.makeMenu = [this] { return instrumentMenu(); };
    for (size_t i = 0; i < modules.size(); ++i)
    {
        moduleButtons[i] = std::make_unique<ModuleButton>(*this, modules[i]);
        addAndMakeVisible(*moduleButtons[i]);
    }
    addAndMakeVisible(volume);
    addAndMakeVisible(meter);
    addAndMakeVisible(led);
    addChildComponent(power);
    power.setVisible(allowDisable);
    power.onClick = [this] { layer.isEnabled = power.getToggleState(); };
    led.setColour(stripAccent);
    learnable(context, volume, layer.slot, ControlTarget::Kind::layerVolume);
    if (allowDisable)
        learnable(context, power, layer.slot, ControlTarget::Kind::layerEnabled);

    watch.watch(layer, [this] { refresh(); });
    watch.watch(names, [this] { refresh(); });
    watch.watch(engine.meters(), [this] { updateSignal(); });
    watch.watch(context.loc, [this] { refresh(); });
    watch.watch(context.theme, [this] { refresh(); });
    refresh();
}

ChannelStrip::~ChannelStrip()
{
    if (openBox != nullptr)
        openBox->dismiss();
}

void ChannelStrip::setAccent(juce::Colour colour)
{
    stripAccent = colour;
    volume.setAccent(colour);
    led.setColour(colour);
    repaint();
}

bool ChannelStrip::isActive(Module module) const
{
    switch (module)
    {
    case Module::eq:
        return layer.eqLowGain.get() != 0.0 || layer.eqMidGain.get() != 0.0 ||
               layer.eqHighGain.get() != 0.0;
    case Module::comp:
        return layer.compressionAmount.get() > 0.0;
    case Module::reverb:
        return layer.reverbAmount.get() > 0.0;
    case Module::damper:
        return layer.damperAmount.get() > 0.0;
    case Module::split:
        return layer.isSplit();
    case Module::pitch:
        return layer.transposeSemitones.get() != 0 || layer.octaveShift.get() != 0 ||
               layer.velocityCurve.get() != VelocityCurve::linear;
    case Module::fx:
        return layer.effectPlugin->has_value();
    }
    return false;
}

std::unique_ptr<juce::Component> ChannelStrip::makePanel(Module module)
{
    if (module == Module::split)
        return std::make_unique<RangePanel>(context, layer, stripAccent);
    if (module == Module::fx)
        return std::make_unique<EffectPanel>(context, layer, engine, plugins);

    auto panel = std::make_unique<ModulePanel>(
        context, module == Module::comp    ? context.text("Compresión", "Compression")
                 : module == Module::pitch ? context.text("Tono y velocidad", "Pitch & velocity")
                                           : titleOf(context, module));
    auto& rows = panel->rowStack();
    rows.follow(layer);
    using K = ControlTarget::Kind;
    auto learnableRow = [this](std::unique_ptr<SliderRow> row, K kind)
    {
        learnable(context, row->slider(), layer.slot, kind);
        return row;
    };
    switch (module)
    {
    case Module::eq:
        rows.add(learnableRow(std::make_unique<SliderRow>(context, panelRows,
                                                          Words{"Graves", "Low"}, layer.eqLowGain,
                                                          -24.0, 24.0, RowFormat::decibels),
                              K::layerEqLowGain));
        rows.add(learnableRow(std::make_unique<SliderRow>(context, panelRows,
                                                          Words{"Medios", "Mid"}, layer.eqMidGain,
                                                          -24.0, 24.0, RowFormat::decibels),
                              K::layerEqMidGain));
        rows.add(learnableRow(std::make_unique<SliderRow>(context, panelRows,
                                                          Words{"Agudos", "High"}, layer.eqHighGain,
                                                          -24.0, 24.0, RowFormat::decibels),
                              K::layerEqHighGain));
        break;
    case Module::comp:
        rows.add(learnableRow(
            std::make_unique<SliderRow>(context, panelRows, Words{"Cantidad", "Amount"},
                                        layer.compressionAmount, 0.0, 1.0, RowFormat::percent),
            K::layerCompressionAmount));
        break;
    case Module::reverb:
        rows.add(learnableRow(
            std::make_unique<SliderRow>(context, panelRows, Words{"Cantidad", "Amount"},
                                        layer.reverbAmount, 0.0, 1.0, RowFormat::percent),
            K::layerReverbAmount));
        rows.add(std::make_unique<SliderRow>(context, panelRows, Words{"Decay", "Decay"},
                                             layer.reverbDecay, 0.0, 1.0, RowFormat::percent));
        rows.add(std::make_unique<SeparatorRow>(context));
        rows.add(std::make_unique<SliderRow>(context, panelRows, Words{"Ataque", "Attack"},
                                             layer.attackTime, 0.0, 4.0, RowFormat::seconds));
        rows.add(std::make_unique<SliderRow>(context, panelRows, Words{"Release", "Release"},
                                             layer.releaseTime, 0.0, 6.0, RowFormat::seconds));
        break;
    case Module::damper:
        rows.add(std::make_unique<SliderRow>(context, panelRows, Words{"Cantidad", "Amount"},
                                             layer.damperAmount, 0.0, 1.0, RowFormat::percent));
        rows.add(std::make_unique<CaptionRow>(
            context, Words{"Ruido mecánico del apagador al soltar teclas y pedal. Suaviza el corte "
                           "seco del sampler.",
                           "Mechanical damper noise when keys and pedal are released. Softens the "
                           "sampler's dry cutoff."}));
        break;
    case Module::pitch:
        rows.add(std::make_unique<StepperRow>(
            context, panelRows, Words{"Transp.", "Transp."}, layer.transposeSemitones, -12, 12,
            [](int v) { return (v > 0 ? "+" : "") + juce::String(v) + " st"; }));
        rows.add(std::make_unique<StepperRow>(
            context, panelRows, Words{"Octava", "Octave"}, layer.octaveShift, -2, 2,
            [](int v) { return (v > 0 ? "+" : "") + juce::String(v); }));
        rows.add(std::make_unique<CurveRow>(context, panelRows, layer,
                                            Words{"Curva de velocidad", "Velocity curve"}));
        break;
    default:
        break;
    }
    panel->fit();
    return panel;
}

void ChannelStrip::toggleModule(Module module)
{
    const bool wasShowing = open == module && openBox != nullptr;
    if (openBox != nullptr)
        openBox->dismiss();
    openBox = nullptr;
    open.reset();
    if (!wasShowing)
    {
        open = module;
        if (auto& button = *moduleButtons[(size_t)module]; button.isShowing())
            openBox = &showPopover(makePanel(module), button);
    }
    for (auto& b : moduleButtons)
        b->repaint();
}

void ChannelStrip::updateSignal()
{
    led.setLit(LEDIndicator::signalLit(meter.level(), layer.isEnabled.get()));
}

juce::String ChannelStrip::instrumentText() const
{
    return actions->soundName();
}

juce::String ChannelStrip::nameText() const
{
    return fromUTF8(names.layerName(layer.slot, context.language()));
}

juce::String ChannelStrip::percentText() const
{
    return percentOf(layer.volume.get());
}

juce::PopupMenu ChannelStrip::instrumentMenu()
{
    juce::PopupMenu menu;
    for (auto category : allInstrumentCategories)
    {
        juce::PopupMenu sub;
        actions->addSoundChoices(sub, category);
        menu.addSubMenu(fromUTF8(displayName(category, context.language())), sub, true, nullptr,
                        !layer.instrumentPlugin->has_value() && layer.category.get() == category);
    }
    menu.addSeparator();
    actions->addSoundTools(menu,
                           [this] { showPopover(actions->makeSoundRenamePopover(), instrument); });
    return menu;
}

juce::PopupMenu ChannelStrip::layerNameMenu()
{
    return actions->layerNameMenu([this] { showPopover(actions->makeLayerRenamePopover(), name); });
}

void ChannelStrip::mouseUp(const juce::MouseEvent& event)
{
    if (event.mods.isPopupMenu() && nameArea.contains(event.getPosition()))
        layerNameMenu().showMenuAsync(juce::PopupMenu::Options().withTargetComponent(&name));
}

void ChannelStrip::refresh()
{
    styleLabel(name, Fonts::bold(13.0f), context.textPrimary(), juce::Justification::centred);
    name.setMinimumHorizontalScale(0.7f);
    name.setText(nameText(), juce::dontSendNotification);
    instrument.setSymbol(layer.instrumentPlugin->has_value() ? "puzzlepiece.extension" : "");
    instrument.setButtonText(instrumentText());
    // A sound that failed to load: the instrument turns red and says why when pointed at.
    const auto& error = layer.loadError.get();
    // A plug-in whose output went wrong was silenced and reset: amber, and how often.
    const int silenced = layer.silencedPluginBlocks.get();
    instrument.setTextColour(error          ? std::optional(juce::Colour(0xffff5a52))
                             : silenced > 0 ? std::optional(juce::Colour(0xffffb020))
                                            : std::nullopt);
    errorShown = error          ? fromUTF8(*error)
                 : silenced > 0 ? silencedPluginText(context, silenced)
                                : juce::String();
    instrument.setTooltip(errorShown);
    power.setToggleState(layer.isEnabled.get(), juce::dontSendNotification);
    volume.setAlpha(layer.isEnabled.get() ? 1.0f : 0.4f);
    volume.refresh();
    updateSignal();
    for (auto& b : moduleButtons)
        b->repaint();
    repaint();
}

void ChannelStrip::resized()
{
    auto area = getLocalBounds().reduced(6, 0);
    area.removeFromTop(8);
    nameArea = area.removeFromTop(18);
    name.setBounds(nameArea);
    area.removeFromTop(2);
    instrument.setBounds(area.removeFromTop(22));
    area.removeFromTop(7);
    for (auto& b : moduleButtons)
    {
        b->setBounds(area.removeFromTop(18));
        area.removeFromTop(1);
    }
    area.removeFromTop(8);
    auto faderRow = area.removeFromTop(118);
    const int pairWidth = ConsoleFader::preferredWidth + 8 + (int)LevelMeterBar::barWidth;
    const int x = faderRow.getX() + (faderRow.getWidth() - pairWidth) / 2;
    volume.setBounds(x, faderRow.getY(), ConsoleFader::preferredWidth, 118);
    meter.setBounds(x + ConsoleFader::preferredWidth + 8, faderRow.getY() + 3,
                    (int)LevelMeterBar::barWidth, 112);
    percentArea = area.removeFromTop(16);
    auto bottom = area.removeFromTop(20);
    const int led = LEDIndicator::preferredSize;
    if (allowDisable)
    {
        this->led.setBounds(bottom.getX() + 10, bottom.getCentreY() - led / 2, led, led);
        power.setBounds(bottom.getRight() - 46, bottom.getY(), 40, bottom.getHeight());
    }
    else
        this->led.setBounds(bottom.getCentreX() - led / 2, bottom.getCentreY() - led / 2, led, led);
}

void ChannelStrip::paint(juce::Graphics& g)
{
    auto area = getLocalBounds().toFloat();
    g.setColour(context.faint(0.04f));
    g.fillRoundedRectangle(area, 10.0f);
    paintAccentBar(g, area.removeFromTop(4.0f).reduced(8.0f, 0.0f), stripAccent);
    const auto first = moduleButtons.front()->getBounds().toFloat();
    const auto last = moduleButtons.back()->getBounds().toFloat();
    g.setColour(context.faint(0.1f));
    g.fillRect(first.getX(), first.getY() - 4.0f, first.getWidth(), 1.0f);
    g.fillRect(last.getX(), last.getBottom() + 4.0f, last.getWidth(), 1.0f);
    g.setColour(context.textSecondary());
    g.setFont(Fonts::caption());
    g.drawText(percentText(), percentArea, juce::Justification::centred, false);
}

} // namespace norvane
