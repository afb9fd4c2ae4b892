#include "ui/LayerControlView.h"

#include "catalog/PluginLibrary.h"
#include "engine/AudioEngine.h"
#include "engine/PluginNode.h"
#include "engine/SoundLayer.h"
#include "store/CustomNames.h"
#include "ui/Icons.h"
#include "ui/LayerActions.h"
#include "ui/MidiLearn.h"
#include "ui/ParameterRows.h"
#include "ui/PluginManagerView.h"
#include "ui/RenamePopover.h"
#include "ui/SplitRangeEditor.h"

namespace norvane
{

namespace
{
constexpr int padding = 10;
constexpr int labelWidth = 90;
constexpr int valueWidth = 44;
constexpr int rowHeight = 26;
constexpr int headerHeight = 24;
constexpr int menuHeight = 26;
constexpr int gap = 6;
constexpr int sectionGap = 3;

const juce::Colour errorRed(0xffff5a4f);
constexpr RowLayout cardRows{90, 44, 26};
} // namespace

// ---- Rows ---------------------------------------------------------------------------------------

struct LayerControlView::RangeRow : ParameterRow
{
    RangeRow(const ViewContext& c, SoundLayer& layer)
        : ParameterRow(c), editor(c, layer, std::nullopt, 21, 108)
    {
        addAndMakeVisible(editor);
    }
    int heightFor(int) const override { return editor.idealHeight(); }
    void refresh() override { editor.repaint(); }
    void resized() override { editor.setBounds(getLocalBounds()); }

    SplitRangeEditor editor;
};

// ---- Sections -----------------------------------------------------------------------------------

/** The full-width button that opens and closes a section. */
struct LayerControlView::SectionHeader : juce::Button
{
    SectionHeader(const ViewContext& c, std::string symbolIn)
        : juce::Button({}), context(c), symbol(std::move(symbolIn))
    {
        setMouseCursor(juce::MouseCursor::PointingHandCursor);
    }

    void paintButton(juce::Graphics& g, bool isOver, bool isDown) override
    {
        auto area = getLocalBounds().toFloat();
        g.setColour(context.faint(isDown ? 0.12f : isOver ? 0.09f : 0.05f));
        g.fillRoundedRectangle(area, 7.0f);
        area.reduce(10.0f, 0.0f);
        const auto ink = context.textPrimary();
        drawIcon(g, symbol, area.removeFromLeft(14.0f).withSizeKeepingCentre(14.0f, 14.0f),
                 context.accent());
        area.removeFromLeft(8.0f);
        drawIcon(g, getToggleState() ? "chevron.up" : "chevron.down",
                 area.removeFromRight(10.0f).withSizeKeepingCentre(10.0f, 10.0f),
                 context.textSecondary());
        g.setColour(ink);
        g.setFont(Fonts::body());
        g.drawFittedText(getButtonText(), area.toNearestInt(), juce::Justification::centredLeft, 1,
                         0.85f);
    }

    const ViewContext& context;
    const std::string symbol;
};

struct LayerControlView::SectionView : juce::Component
{
    SectionView(const ViewContext& c, Words titleIn, std::string symbol)
        : context(c), title(titleIn), header(c, std::move(symbol))
    {
        addAndMakeVisible(header);
    }

    ParameterRow& add(std::unique_ptr<ParameterRow> row)
    {
        addChildComponent(*row);
        rows.push_back(std::move(row));
        return *rows.back();
    }

    juce::String titleText() const { return context.text(title.spanish, title.english); }

    int heightFor(int width) const
    {
        int height = headerHeight;
        if (expanded)
        {
            height += 6;
            for (auto& row : rows)
                height += row->heightFor(width - 8) + 2;
            height += 4;
        }
        return height;
    }

    void refresh()
    {
        header.setButtonText(titleText());
        header.setToggleState(expanded, juce::dontSendNotification);
        header.repaint();
        for (auto& row : rows)
        {
            row->setVisible(expanded);
            row->refresh();
        }
    }

    void resized() override
    {
        auto area = getLocalBounds();
        header.setBounds(area.removeFromTop(headerHeight));
        area.removeFromTop(6);
        area.reduce(4, 0);
        for (auto& row : rows)
        {
            row->setBounds(area.removeFromTop(row->heightFor(area.getWidth())));
            area.removeFromTop(2);
        }
    }

    const ViewContext& context;
    const Words title;
    SectionHeader header;
    std::vector<std::unique_ptr<ParameterRow>> rows;
    bool expanded = false;
};

// ---- The card -----------------------------------------------------------------------------------

LayerControlView::LayerControlView(const ViewContext& contextIn, SoundLayer& layerIn,
                                   AudioEngine& engineIn, CustomNames& namesIn,
                                   PluginLibrary& libraryIn, bool allowDisableIn)
    : context(contextIn), layer(layerIn), audioEngine(engineIn), customNames(namesIn),
      pluginLibrary(libraryIn), allowDisable(allowDisableIn), powerSwitch(contextIn),
      categoryPill(contextIn), variantPill(contextIn),
      actions(std::make_unique<LayerActions>(contextIn, layerIn, engineIn, namesIn, libraryIn))
{
    addAndMakeVisible(nameLabel);
    addChildComponent(errorLabel);
    if (allowDisable)
    {
        addAndMakeVisible(powerSwitch);
        powerSwitch.onClick = [this] { layer.isEnabled.set(powerSwitch.getToggleState()); };
    }
    categoryPill.makeMenu = [this] { return categoryMenu(); };
    variantPill.makeMenu = [this] { return variantMenu(); };
    addAndMakeVisible(categoryPill);
    addAndMakeVisible(variantPill);

    volumeSlider.setSliderStyle(juce::Slider::LinearHorizontal);
    volumeSlider.setTextBoxStyle(juce::Slider::NoTextBox, false, 0, 0);
    volumeSlider.setRange(0.0, 1.0, 0.0);
    volumeSlider.setScrollWheelEnabled(false);
    volumeSlider.onValueChange = [this] { layer.volume.set(volumeSlider.getValue()); };
    addAndMakeVisible(volumeSlider);
    learnable(context, volumeSlider, layer.slot, ControlTarget::Kind::layerVolume);
    if (allowDisable)
        learnable(context, powerSwitch, layer.slot, ControlTarget::Kind::layerEnabled);

    build();

    for (ObservableObject* model : std::initializer_list<ObservableObject*>{
             &layer, &customNames, &pluginLibrary, &context.loc, &context.theme})
        watch.watch(*model, [this] { refresh(); });
    refresh();
    lastIdealHeight = idealHeight();
    setSize(idealWidth, lastIdealHeight);
}

LayerControlView::~LayerControlView() = default;

void LayerControlView::build()
{
    const auto decibels = RowFormat::decibels;
    const auto percent = RowFormat::percent;
    const auto seconds = RowFormat::seconds;

    auto make = [this](Words title, std::string symbol)
    {
        auto view = std::make_unique<SectionView>(context, title, std::move(symbol));
        view->header.onClick = [this, raw = view.get()]
        {
            raw->expanded = !raw->expanded;
            raw->refresh();
            raw->resized();
            updateHeight();
        };
        addAndMakeVisible(*view);
        return view;
    };
    using K = ControlTarget::Kind;
    auto sliderRow = [this](Words words, Published<double>& value, double lo, double hi,
                            SliderRow::Format format, std::optional<K> learnAs = std::nullopt)
    {
        auto row = std::make_unique<SliderRow>(context, cardRows, words, value, lo, hi, std::move(format));
        if (learnAs)
            learnable(context, row->slider(), layer.slot, *learnAs);
        return row;
    };

    auto eq = make({"EQ", "EQ"}, "slider.horizontal.3");
    eq->add(sliderRow({"Graves", "Low"}, layer.eqLowGain, -24.0, 24.0, decibels, K::layerEqLowGain));
    eq->add(sliderRow({"Medios", "Mid"}, layer.eqMidGain, -24.0, 24.0, decibels, K::layerEqMidGain));
    eq->add(sliderRow({"Agudos", "High"}, layer.eqHighGain, -24.0, 24.0, decibels, K::layerEqHighGain));

    auto compression = make({"Compresión", "Compression"}, "waveform.path.ecg");
    compression->add(sliderRow({"Cantidad", "Amount"}, layer.compressionAmount, 0.0, 1.0, percent,
                               K::layerCompressionAmount));

    auto reverb = make({"Reverb", "Reverb"}, "water.waves");
    reverb->add(sliderRow({"Cantidad", "Amount"}, layer.reverbAmount, 0.0, 1.0, percent, K::layerReverbAmount));
    reverb->add(sliderRow({"Decay", "Decay"}, layer.reverbDecay, 0.0, 1.0, percent));
    reverb->add(std::make_unique<SeparatorRow>(context));
    reverb->add(sliderRow({"Ataque", "Attack"}, layer.attackTime, 0.0, 4.0, seconds));
    reverb->add(sliderRow({"Release", "Release"}, layer.releaseTime, 0.0, 6.0, seconds));

    auto damper = make({"Damper", "Damper"}, "pianokeys.inverse");
    damper->add(sliderRow({"Cantidad", "Amount"}, layer.damperAmount, 0.0, 1.0, percent));
    damper->add(std::make_unique<CaptionRow>(
        context, Words{"Ruido mecánico del apagador al soltar teclas y pedal.",
                       "Mechanical damper noise when keys and pedal are released."}));

    auto range = make({"Rango de teclado", "Key range"}, "arrow.left.and.right");
    range->add(std::make_unique<RangeRow>(context, layer));

    auto pitch = make({"Tono y velocidad", "Pitch & velocity"}, "arrow.up.and.down");
    transposeRow = static_cast<StepperRow*>(&pitch->add(std::make_unique<StepperRow>(
        context, cardRows, Words{"Transposición", "Transpose"}, layer.transposeSemitones, -12, 12,
        [](int v) { return juce::String(v) + " st"; })));
    octaveRow = static_cast<StepperRow*>(&pitch->add(std::make_unique<StepperRow>(
        context, cardRows, Words{"Octava", "Octave"}, layer.octaveShift, -2, 2,
        [](int v) { return juce::String(v); })));
    pitch->add(std::make_unique<CurveRow>(context, cardRows, layer, Words{"Velocidad", "Velocity"}));

    sections = {std::move(eq),     std::move(compression), std::move(reverb),
                std::move(damper), std::move(range),       std::move(pitch)};
}

LayerControlView::SectionView& LayerControlView::section(Section which) const
{
    return *sections[(size_t)which];
}

void LayerControlView::setExpanded(Section which, bool shouldBe)
{
    auto& view = section(which);
    if (view.expanded == shouldBe)
        return;
    view.expanded = shouldBe;
    view.refresh();
    view.resized();
    updateHeight();
}

bool LayerControlView::isExpanded(Section which) const
{
    return section(which).expanded;
}

juce::String LayerControlView::sectionTitle(Section which) const
{
    return section(which).titleText();
}

// ---- Sound choices ------------------------------------------------------------------------------

juce::String LayerControlView::soundName() const { return actions->soundName(); }

juce::String LayerControlView::categoryButtonText() const
{
    if (layer.instrumentPlugin->has_value())
        return context.text("Plugin LV2/VST3", "LV2/VST3 Plugin");
    return fromUTF8(displayName(layer.category.get(), context.language()));
}

juce::String LayerControlView::variantButtonText() const { return soundName(); }

juce::String LayerControlView::layerNameText() const { return actions->layerName(); }

juce::PopupMenu LayerControlView::categoryMenu()
{
    juce::PopupMenu menu;
    const bool plugin = layer.instrumentPlugin->has_value();
    for (auto category : allInstrumentCategories)
        LayerActions::addEntry(menu, fromUTF8(displayName(category, context.language())),
                               !plugin && category == layer.category.get(),
                               [this, category] { actions->chooseCategory(category); },
                               categorySymbol(category), context.textPrimary());
    return menu;
}

juce::PopupMenu LayerControlView::variantMenu()
{
    juce::PopupMenu menu;
    actions->addSoundChoices(menu, layer.category.get());
    menu.addSeparator();
    actions->addSoundTools(menu, [this] { showPopover(makeSoundRenamePopover(), variantPill); });
    return menu;
}

juce::PopupMenu LayerControlView::layerNameMenu()
{
    return actions->layerNameMenu([this] { showPopover(makeLayerRenamePopover(), nameLabel); });
}

std::unique_ptr<RenamePopover> LayerControlView::makeLayerRenamePopover()
{
    return actions->makeLayerRenamePopover();
}

std::unique_ptr<RenamePopover> LayerControlView::makeSoundRenamePopover()
{
    return actions->makeSoundRenamePopover();
}

// ---- Steppers -----------------------------------------------------------------------------------

void LayerControlView::stepTranspose(int delta)
{
    transposeRow->step(delta);
}
void LayerControlView::stepOctave(int delta)
{
    octaveRow->step(delta);
}
juce::String LayerControlView::transposeText() const
{
    return transposeRow->text();
}
juce::String LayerControlView::octaveText() const
{
    return octaveRow->text();
}
bool LayerControlView::canStepTranspose(int delta) const
{
    return transposeRow->canStep(delta);
}
bool LayerControlView::canStepOctave(int delta) const
{
    return octaveRow->canStep(delta);
}

juce::String LayerControlView::errorText() const
{
    if (const auto& error = layer.loadError.get())
        return fromUTF8(*error);
    return {};
}

// ---- Refresh and layout -------------------------------------------------------------------------

void LayerControlView::refresh()
{
    styleLabel(nameLabel, Fonts::bold(15.0f), context.textPrimary());
    nameLabel.setMinimumHorizontalScale(0.7f);
    nameLabel.setText(layerNameText(), juce::dontSendNotification);
    powerSwitch.setToggleState(layer.isEnabled.get(), juce::dontSendNotification);

    const bool plugin = layer.instrumentPlugin->has_value();
    categoryPill.setSymbol(plugin ? "puzzlepiece.extension" : categorySymbol(layer.category.get()));
    categoryPill.setButtonText(categoryButtonText());
    variantPill.setButtonText(variantButtonText());
    volumeSlider.setValue(layer.volume.get(), juce::dontSendNotification);

    styleLabel(errorLabel, Fonts::caption(), errorRed, juce::Justification::topLeft);
    errorLabel.setMinimumHorizontalScale(1.0f);
    errorLabel.setText(errorText(), juce::dontSendNotification);
    errorLabel.setVisible(errorText().isNotEmpty());

    for (auto& view : sections)
        view->refresh();
    updateHeight();
    resized();
    repaint();
}

bool LayerControlView::stacksSoundMenus(int width) const
{
    const int inner = width - 2 * padding;
    return categoryPill.idealWidth() + 6 + variantPill.idealWidth() > inner;
}

int LayerControlView::idealHeight() const
{
    const int width = getWidth() > 0 ? getWidth() : idealWidth;
    const int inner = width - 2 * padding;
    int height = padding + headerHeight + gap;
    height += stacksSoundMenus(width) ? 2 * menuHeight + 6 : menuHeight;
    height += gap + rowHeight + gap;
    for (auto& view : sections)
        height += view->heightFor(inner) + sectionGap;
    if (const auto error = errorText(); error.isNotEmpty())
        height += 4 + wrappedHeight(error, Fonts::caption(), inner);
    return height + padding;
}

void LayerControlView::updateHeight()
{
    const int height = idealHeight();
    if (height == lastIdealHeight)
        return;
    lastIdealHeight = height;
    setSize(getWidth() > 0 ? getWidth() : idealWidth, height);
    if (onHeightChanged)
        onHeightChanged();
}

void LayerControlView::resized()
{
    auto area = getLocalBounds().reduced(padding);
    auto header = area.removeFromTop(headerHeight);
    if (allowDisable)
    {
        powerSwitch.setBounds(header.removeFromRight(40));
        header.removeFromRight(6);
    }
    nameLabel.setBounds(header);
    area.removeFromTop(gap);

    if (stacksSoundMenus(getWidth()))
    {
        categoryPill.setBounds(area.removeFromTop(menuHeight));
        area.removeFromTop(6);
        variantPill.setBounds(area.removeFromTop(menuHeight));
    }
    else
    {
        auto row = area.removeFromTop(menuHeight);
        categoryPill.setBounds(row.removeFromLeft(categoryPill.idealWidth()));
        row.removeFromLeft(6);
        variantPill.setBounds(row);
    }
    area.removeFromTop(gap);

    auto volume = area.removeFromTop(rowHeight);
    quietIcon = volume.removeFromLeft(16).toFloat().withSizeKeepingCentre(14.0f, 14.0f);
    loudIcon = volume.removeFromRight(18).toFloat().withSizeKeepingCentre(16.0f, 16.0f);
    volumeSlider.setBounds(volume.reduced(8, 0));
    area.removeFromTop(gap);

    for (auto& view : sections)
    {
        view->setBounds(area.removeFromTop(view->heightFor(area.getWidth())));
        area.removeFromTop(sectionGap);
    }
    if (errorLabel.isVisible())
    {
        area.removeFromTop(4);
        errorLabel.setBounds(area);
    }
}

void LayerControlView::paint(juce::Graphics& g)
{
    paintPanel(g, getLocalBounds().toFloat(), context);
    drawIcon(g, "speaker.wave.1.fill", quietIcon, context.textSecondary());
    drawIcon(g, "speaker.wave.3.fill", loudIcon, context.textSecondary());
}

void LayerControlView::mouseDown(const juce::MouseEvent& event)
{
    if (!event.mods.isPopupMenu() || !nameLabel.getBounds().contains(event.getPosition()))
        return;
    auto menu = layerNameMenu();
    menu.setLookAndFeel(&getLookAndFeel());
    menu.showMenuAsync(juce::PopupMenu::Options().withTargetComponent(&nameLabel));
}

} // namespace norvane
