#include "ui/AppearanceView.h"

#include "ui/Icons.h"
#include "ui/KeyboardHome.h"

namespace norvane
{

namespace
{
constexpr int margin = 16;
constexpr int columns = 4;
constexpr int presetHeight = 50;
constexpr int swatchHeight = 46;
constexpr int gap = 8;

// Vertical positions of the panel's parts, top to bottom.
constexpr int titleY = 14;
constexpr int accentLabelY = 46;
constexpr int presetsY = 66;
constexpr int customY = presetsY + 2 * presetHeight + gap + 12;
constexpr int restoreY = customY + 36;
constexpr int backgroundLabelY = restoreY + 44;
constexpr int swatchesY = backgroundLabelY + 20;
constexpr int imageLabelY = swatchesY + 2 * swatchHeight + gap + 14;
constexpr int imageButtonsY = imageLabelY + 22;

/** The colour well: a colour selector without opacity that reports every change. */
class ColourPicker final : public juce::ColourSelector, private juce::ChangeListener
{
public:
    explicit ColourPicker(std::function<void(juce::Colour)> changedIn)
        : juce::ColourSelector(showColourAtTop | showSliders | showColourspace),
          changed(std::move(changedIn))
    {
        setSize(260, 260);
        addChangeListener(this);
    }

    ~ColourPicker() override { removeChangeListener(this); }

private:
    void changeListenerCallback(juce::ChangeBroadcaster*) override
    {
        changed(getCurrentColour().withAlpha(1.0f));
    }

    std::function<void(juce::Colour)> changed;
};
} // namespace

AppearanceView::AppearanceView(const ViewContext& contextIn)
    : context(contextIn), customButton(contextIn), restoreButton(contextIn),
      imageButton(contextIn, "paintpalette"), removeButton(contextIn, "trash")
{
    for (auto* b : {&customButton, &restoreButton, &imageButton, &removeButton})
        addAndMakeVisible(*b);
    customButton.onClick = [this] { chooseCustomColour(); };
    restoreButton.onClick = [this] { context.theme.restoreBrandColours(); };
    imageButton.onClick = [this] { chooseImage(); };
    removeButton.onClick = [this] { context.theme.clearBackgroundImage(); };
    removeButton.setTextColour(juce::Colour(0xffff5a52));

    veil.setSliderStyle(juce::Slider::LinearHorizontal);
    veil.setTextBoxStyle(juce::Slider::NoTextBox, false, 0, 0);
    veil.setRange(0.0, 0.95);
    veil.onValueChange = [this] { context.theme.setImageScrim(veil.getValue()); };
    addChildComponent(veil);
    addChildComponent(veilCaption);
    addChildComponent(errorLabel);
    veilCaption.setJustificationType(juce::Justification::topLeft);

    watch.watch(context.theme, [this] { refresh(); });
    watch.watch(context.loc, [this] { refresh(); });
    refresh();
}

AppearanceView::~AppearanceView() = default;

int AppearanceView::layoutHeight() const
{
    int h = imageButtonsY + 30;
    if (context.theme.backgroundImage().isValid())
        h += 70;
    if (errorText)
        h += 34;
    return h + margin;
}

void AppearanceView::refresh()
{
    const bool hasPhoto = context.theme.backgroundImage().isValid();
    customButton.setButtonText(context.text("Elegir color…", "Choose color…"));
    restoreButton.setButtonText(context.text("Restaurar colores de la marca", "Restore brand colors"));
    imageButton.setButtonText(hasPhoto ? context.text("Cambiar imagen…", "Change image…")
                                       : context.text("Elegir imagen…", "Choose image…"));
    removeButton.setButtonText(context.text("Quitar", "Remove"));
    removeButton.setVisible(hasPhoto);
    veil.setVisible(hasPhoto);
    veilCaption.setVisible(hasPhoto);
    veil.setValue(context.theme.imageScrim.get(), juce::dontSendNotification);
    styleLabel(veilCaption, Fonts::caption(), context.textSecondary(), juce::Justification::topLeft);
    veilCaption.setText(context.text("Sube el velo si los controles cuestan de leer sobre la foto.",
                                     "Raise the veil if the controls are hard to read over the photo."),
                        juce::dontSendNotification);
    styleLabel(errorLabel, Fonts::caption(), juce::Colour(0xffff5a52), juce::Justification::topLeft);
    errorLabel.setVisible(errorText.has_value());
    if (errorText)
        errorLabel.setText(*errorText, juce::dontSendNotification);
    setSize(width, layoutHeight());
    resized();
    repaint();
}

juce::Rectangle<int> AppearanceView::presetArea(size_t index) const
{
    const int cell = (width - 2 * margin - (columns - 1) * gap) / columns;
    const int row = (int)index / columns, column = (int)index % columns;
    return {margin + column * (cell + gap), presetsY + row * (presetHeight + gap), cell, presetHeight};
}

juce::Rectangle<int> AppearanceView::swatchArea(size_t index) const
{
    const int cell = (width - 2 * margin - (columns - 1) * gap) / columns;
    const int row = (int)index / columns, column = (int)index % columns;
    return {margin + column * (cell + gap), swatchesY + row * (swatchHeight + gap), cell, swatchHeight};
}

void AppearanceView::resized()
{
    customButton.setBounds(margin + 150, customY - 4, width - 2 * margin - 150, 26);
    restoreButton.setBounds(margin, restoreY, width - 2 * margin, 28);
    imageButton.setBounds(margin, imageButtonsY, 200, 28);
    removeButton.setBounds(width - margin - 110, imageButtonsY, 110, 28);
    int y = imageButtonsY + 38;
    if (veil.isVisible())
    {
        veil.setBounds(margin + 60, y, width - 2 * margin - 60, 22);
        veilCaption.setBounds(margin, y + 26, width - 2 * margin, 34);
        y += 70;
    }
    errorLabel.setBounds(margin, y, width - 2 * margin, 30);
}

void AppearanceView::paint(juce::Graphics& g)
{
    const auto primary = context.textPrimary();
    const auto secondary = context.textSecondary();
    g.setColour(primary);
    g.setFont(Fonts::headline());
    g.drawText(context.text("Apariencia", "Appearance"), margin, titleY, width - 2 * margin, 20,
               juce::Justification::centredLeft);

    auto sectionTitle = [&](const juce::String& text, int y)
    {
        g.setColour(secondary);
        g.setFont(Fonts::bold(11.5f));
        g.drawText(text, margin, y, width - 2 * margin, 16, juce::Justification::centredLeft);
    };
    sectionTitle(context.text("Color de acento", "Accent color"), accentLabelY);

    const auto& presets = ThemeStore::presets();
    for (size_t i = 0; i < presets.size(); ++i)
    {
        const auto& preset = presets[i];
        const auto area = presetArea(i).toFloat();
        const bool selected = context.theme.selectedPresetID.get() == preset.id;
        g.setColour(context.faint(selected ? 0.12f : 0.05f));
        g.fillRoundedRectangle(area, 8.0f);
        if (selected)
        {
            g.setColour(preset.accent);
            g.drawRoundedRectangle(area.reduced(0.75f), 8.0f, 1.5f);
        }
        const juce::Colour colours[] = {preset.accent, preset.accentRoot, preset.accentTertiary};
        for (int c = 0; c < 3; ++c)
        {
            g.setColour(colours[c]);
            g.fillEllipse(area.getX() + 10.0f + (float)c * 13.0f, area.getY() + 9.0f, 14.0f, 14.0f);
        }
        if (selected)
            drawIcon(g, "checkmark.circle.fill", {area.getRight() - 20.0f, area.getY() + 8.0f, 14.0f, 14.0f},
                     preset.accent);
        g.setColour(primary);
        g.setFont(Fonts::caption());
        g.drawFittedText(fromUTF8(context.isSpanish() ? preset.nameES : preset.nameEN),
                         area.withTrimmedTop(28.0f).reduced(8.0f, 0.0f).toNearestInt(),
                         juce::Justification::centredLeft, 1, 0.85f);
    }

    sectionTitle(context.text("Personalizado", "Custom"), customY);
    g.setColour(context.theme.selectedPresetID->has_value() ? context.faint(0.2f) : context.accent());
    g.fillEllipse((float)margin + 110.0f, (float)customY - 1.0f, 18.0f, 18.0f);

    sectionTitle(context.text("Fondo", "Background"), backgroundLabelY);
    for (size_t i = 0; i < backgroundSwatches.size(); ++i)
    {
        const auto style = backgroundSwatches[i];
        const auto area = swatchArea(i).toFloat();
        const bool current = context.theme.backgroundStyle.get() == style;
        g.setColour(groundColour(style));
        g.fillRoundedRectangle(area, 8.0f);
        g.setColour(current ? context.accent() : context.faint(0.2f));
        g.drawRoundedRectangle(area.reduced(current ? 1.0f : 0.5f), 8.0f, current ? 2.0f : 1.0f);
        g.setColour(isLight(style) ? juce::Colour(0xff0a2417) : juce::Colours::white.withAlpha(0.92f));
        g.setFont(Fonts::caption());
        g.drawFittedText(fromUTF8(name(style, context.language())), area.reduced(6.0f, 0.0f).toNearestInt(),
                         juce::Justification::centred, 1, 0.85f);
    }

    sectionTitle(context.text("Imagen de fondo", "Background image"), imageLabelY);
    if (veil.isVisible())
    {
        g.setColour(primary);
        g.setFont(Fonts::body());
        g.drawText(context.text("Velo", "Veil"), margin, veil.getY(), 56, veil.getHeight(),
                   juce::Justification::centredLeft);
    }
}

void AppearanceView::mouseUp(const juce::MouseEvent& event)
{
    const auto& presets = ThemeStore::presets();
    for (size_t i = 0; i < presets.size(); ++i)
        if (presetArea(i).contains(event.getPosition()))
            return context.theme.select(presets[i]);
    for (size_t i = 0; i < backgroundSwatches.size(); ++i)
        if (swatchArea(i).contains(event.getPosition()))
            return context.theme.setBackgroundStyle(backgroundSwatches[i]);
}

void AppearanceView::useImage(const juce::File& file)
{
    if (context.theme.chooseBackgroundImage(file))
        errorText.reset();
    else
        errorText = context.text("No se pudo leer esa imagen. Prueba con un PNG o un JPEG.",
                                 "That image could not be read. Try a PNG or a JPEG.");
    refresh();
}

void AppearanceView::chooseImage()
{
    chooser = std::make_unique<juce::FileChooser>(
        context.text("Elige una imagen de fondo", "Choose a background image"), juce::File(),
        "*.png;*.jpg;*.jpeg;*.gif;*.PNG;*.JPG;*.JPEG");
    juce::Component::SafePointer<AppearanceView> self(this);
    chooser->launchAsync(juce::FileBrowserComponent::openMode | juce::FileBrowserComponent::canSelectFiles,
                         [self](const juce::FileChooser& fc)
                         {
                             KeyboardHome::returnSoon();
                             if (self == nullptr || fc.getResult() == juce::File())
                                 return;
                             self->useImage(fc.getResult());
                         });
}

void AppearanceView::chooseCustomColour()
{
    customColour = context.accent();
    juce::Component::SafePointer<AppearanceView> self(this);
    auto picker = std::make_unique<ColourPicker>(
        [self](juce::Colour colour)
        {
            if (self != nullptr)
                self->context.theme.setCustomAccent(colour);
        });
    picker->setCurrentColour(customColour, juce::dontSendNotification);
    showPopover(std::move(picker), customButton);
}

} // namespace norvane
