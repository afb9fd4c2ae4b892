#include "ui/SplitRangeEditor.h"

#include "aids/NoteNames.h"
#include "engine/SoundLayer.h"

namespace norvane
{

namespace
{
constexpr int headerHeight = 22;
constexpr int rowHeight = 26;
constexpr int stripHeight = 12;
constexpr int gap = 4;

juce::String keyName(int note)
{
    return fromUTF8(NoteNames::fullName(note));
}
} // namespace

// ---- SplitRangeEditor -------------------------------------------------------------------------

/** A label, a slider in whole steps bound to one of the layer's integers, and the value. */
struct SplitRangeEditor::Row
{
    Row(SplitRangeEditor& owner, Published<int>& valueIn, double minimum, double maximum)
        : value(valueIn)
    {
        slider.setSliderStyle(juce::Slider::LinearHorizontal);
        slider.setTextBoxStyle(juce::Slider::NoTextBox, false, 0, 0);
        slider.setRange(minimum, maximum, 1.0);
        slider.setScrollWheelEnabled(false);
        // The layer runs the value's change handling (ordering the range, releasing notes).
        slider.onValueChange = [this] { value.set(nearest(slider.getValue())); };
        owner.addAndMakeVisible(label);
        owner.addAndMakeVisible(slider);
        owner.addAndMakeVisible(shown);
    }

    void layOut(juce::Rectangle<int> area)
    {
        label.setBounds(area.removeFromLeft(labelWidth));
        shown.setBounds(area.removeFromRight(valueWidth));
        slider.setBounds(area.reduced(6, 0));
    }

    Published<int>& value;
    juce::Label label, shown;
    juce::Slider slider;
};

SplitRangeEditor::SplitRangeEditor(const ViewContext& contextIn, SoundLayer& layerIn,
                                   std::optional<juce::Colour> accentIn, int lowest, int highest)
    : context(contextIn), layer(layerIn), accent(accentIn), lowestKey(lowest), highestKey(highest),
      fullButton(contextIn)
{
    addAndMakeVisible(heading);
    fullButton.setBorderless(false);
    fullButton.onClick = [this] { chooseFull(); };
    addChildComponent(fullButton);
    rows[0] = std::make_unique<Row>(*this, layer.lowKey, lowestKey, highestKey);
    rows[1] = std::make_unique<Row>(*this, layer.highKey, lowestKey, highestKey);
    rows[2] = std::make_unique<Row>(*this, layer.crossfadeSemitones, 0, 12);

    watch.watch(layer, [this] { refresh(); });
    watch.watch(context.loc, [this] { refresh(); });
    watch.watch(context.theme, [this] { refresh(); });
    refresh();
    setSize(300, idealHeight());
}

SplitRangeEditor::~SplitRangeEditor() = default;

int SplitRangeEditor::idealHeight() const
{
    return headerHeight + gap + 3 * rowHeight + gap + stripHeight + 2;
}

void SplitRangeEditor::chooseFull()
{
    layer.lowKey.set(0);
    layer.highKey.set(127);
}

bool SplitRangeEditor::showsFullButton() const
{
    return fullButton.isVisible();
}
juce::Slider& SplitRangeEditor::fromSlider()
{
    return rows[0]->slider;
}
juce::Slider& SplitRangeEditor::toSlider()
{
    return rows[1]->slider;
}
juce::Slider& SplitRangeEditor::crossfadeSlider()
{
    return rows[2]->slider;
}
juce::String SplitRangeEditor::fromText() const
{
    return rows[0]->shown.getText();
}
juce::String SplitRangeEditor::toText() const
{
    return rows[1]->shown.getText();
}
juce::String SplitRangeEditor::crossfadeText() const
{
    return rows[2]->shown.getText();
}

void SplitRangeEditor::refresh()
{
    styleLabel(heading, Fonts::body(), context.textSecondary());
    heading.setText(context.text("Rango de teclado", "Key range"), juce::dontSendNotification);
    fullButton.setButtonText(context.text("Todo", "Full"));
    fullButton.setVisible(layer.isSplit());

    const char* titles[3][2] = {{"Desde", "From"}, {"Hasta", "To"}, {"Fundido", "Crossfade"}};
    for (size_t i = 0; i < rows.size(); ++i)
    {
        auto& row = *rows[i];
        styleLabel(row.label, Fonts::body(), context.textPrimary());
        styleLabel(row.shown, Fonts::caption(), context.textSecondary(),
                   juce::Justification::centredRight);
        row.label.setText(context.text(titles[i][0], titles[i][1]), juce::dontSendNotification);
        row.slider.setValue(row.value.get(), juce::dontSendNotification);
    }
    rows[0]->shown.setText(keyName(layer.lowKey), juce::dontSendNotification);
    rows[1]->shown.setText(keyName(layer.highKey), juce::dontSendNotification);
    const int fade = layer.crossfadeSemitones;
    rows[2]->shown.setText(fade == 0 ? context.text("Corte seco", "Hard cut")
                                     : juce::String(fade) + " st",
                           juce::dontSendNotification);
    resized();
    repaint();
}

void SplitRangeEditor::resized()
{
    auto area = getLocalBounds();
    auto header = area.removeFromTop(headerHeight);
    if (fullButton.isVisible())
    {
        fullButton.setBounds(header.removeFromRight(fullButton.idealWidth()));
        header.removeFromRight(6);
    }
    heading.setBounds(header);
    area.removeFromTop(gap);
    for (auto& row : rows)
        row->layOut(area.removeFromTop(rowHeight));
    area.removeFromTop(gap);
    stripArea = area.removeFromTop(stripHeight).toFloat();
}

void SplitRangeEditor::paint(juce::Graphics& g)
{
    g.setColour(context.faint(0.08f));
    g.fillRoundedRectangle(stripArea, 3.0f);
    const auto shape =
        SplitOverviewRow::geometry(layer.lowKey, layer.highKey, layer.crossfadeSemitones, lowestKey,
                                   highestKey, stripArea.getWidth());
    const auto span = [this](juce::Range<float> r, float minimum)
    {
        return juce::Rectangle<float>(stripArea.getX() + r.getStart(), stripArea.getY(),
                                      juce::jmax(minimum, r.getLength()), stripArea.getHeight());
    };
    if (shape.fade)
    {
        g.setColour(accent.value_or(context.accent()).withAlpha(0.3f));
        g.fillRoundedRectangle(span(*shape.fade, 0.0f), 3.0f);
    }
    g.setColour(accent.value_or(context.accent()));
    g.fillRoundedRectangle(span(shape.bar, 2.0f), 3.0f);
}

// ---- SplitOverviewRow -------------------------------------------------------------------------

SplitOverviewRow::SplitOverviewRow(SoundLayer& layerIn, juce::Colour accentIn, int lowest,
                                   int highest)
    : layer(layerIn), accent(accentIn), lowestKey(lowest), highestKey(highest)
{
    setInterceptsMouseClicks(false, false);
    watch.watch(layer, [this] { repaint(); });
}

SplitOverviewRow::Geometry SplitOverviewRow::geometry(int lowKey, int highKey, int crossfade,
                                                      int lowestKey, int highestKey, float width)
{
    const double total = juce::jmax(1, highestKey - lowestKey);
    const auto clamped = [&](int key) { return juce::jlimit(lowestKey, highestKey, key); };
    const auto x = [&](int key) { return (float)((clamped(key) - lowestKey) / total * width); };
    const auto span = [&](int from, int to)
    { return juce::Range<float>(x(from), juce::jmax(x(from), x(to))); };

    Geometry result;
    result.bar = span(lowKey, highKey);
    if (crossfade >= 1)
        result.fade = span(lowKey - crossfade, highKey + crossfade);
    return result;
}

void SplitOverviewRow::paint(juce::Graphics& g)
{
    const auto area = getLocalBounds().toFloat();
    const auto shape = geometry(layer.lowKey, layer.highKey, layer.crossfadeSemitones, lowestKey,
                                highestKey, area.getWidth());
    const float radius = area.getHeight() / 2.0f;
    if (shape.fade)
    {
        g.setColour(accent.withAlpha(0.28f));
        g.fillRoundedRectangle(
            area.withX(shape.fade->getStart()).withWidth(shape.fade->getLength()), radius);
    }
    g.setColour(accent);
    g.fillRoundedRectangle(
        area.withX(shape.bar.getStart()).withWidth(juce::jmax(2.0f, shape.bar.getLength())),
        radius);
}

// ---- SplitOverviewView ------------------------------------------------------------------------

namespace
{
constexpr int cardPadding = 10;
constexpr int cardTitleHeight = 20;
constexpr int barHeight = 8;
constexpr int barGap = 5;
} // namespace

/** One layer's card: a dot in its accent, its name, and its range editor. */
struct SplitOverviewView::Card : juce::Component
{
    Card(const ViewContext& contextIn, SoundLayer& layer, juce::Colour accentIn)
        : context(contextIn), accent(accentIn), editor(contextIn, layer, accentIn)
    {
        addAndMakeVisible(name);
        addAndMakeVisible(editor);
    }

    int idealHeight() const { return 2 * cardPadding + cardTitleHeight + 6 + editor.idealHeight(); }

    void resized() override
    {
        auto area = getLocalBounds().reduced(cardPadding);
        auto top = area.removeFromTop(cardTitleHeight);
        dot = top.removeFromLeft(7).withSizeKeepingCentre(7, 7).toFloat();
        top.removeFromLeft(8);
        name.setBounds(top);
        area.removeFromTop(6);
        editor.setBounds(area.removeFromTop(editor.idealHeight()));
    }

    void paint(juce::Graphics& g) override
    {
        g.setColour(context.faint(0.05f));
        g.fillRoundedRectangle(getLocalBounds().toFloat(), 10.0f);
        g.setColour(context.faint(0.08f));
        g.drawRoundedRectangle(getLocalBounds().toFloat().reduced(0.5f), 10.0f, 1.0f);
        g.setColour(accent);
        g.fillEllipse(dot);
    }

    const ViewContext& context;
    const juce::Colour accent;
    juce::Label name;
    SplitRangeEditor editor;
    juce::Rectangle<float> dot;
};

SplitOverviewView::SplitOverviewView(const ViewContext& contextIn,
                                     std::array<SoundLayer*, 4> layersIn,
                                     std::array<juce::Colour, 4> accents)
    : context(contextIn), layers(layersIn)
{
    addAndMakeVisible(title);
    for (size_t i = 0; i < layers.size(); ++i)
    {
        bars[i] = std::make_unique<SplitOverviewRow>(*layers[i], accents[i]);
        addAndMakeVisible(*bars[i]);
        cards[i] = std::make_unique<Card>(context, *layers[i], accents[i]);
        addAndMakeVisible(*cards[i]);
        watch.watch(*layers[i], [this] { refresh(); });
    }
    watch.watch(context.loc, [this] { refresh(); });
    watch.watch(context.theme, [this] { refresh(); });
    refresh();
    setSize(idealWidth(), idealHeight());
}

SplitOverviewView::~SplitOverviewView() = default;

int SplitOverviewView::idealHeight() const
{
    const int strip = 4 * barHeight + 3 * barGap + 2 * 10;
    return 16 + 22 + 10 + strip + 12 + 2 * cards[0]->idealHeight() + 10 + 16;
}

juce::String SplitOverviewView::layerTitle(int index) const
{
    const auto& layer = *layers[(size_t)index];
    auto text = fromUTF8(layer.displayLabel(context.language()));
    if (!layer.isEnabled)
        text << " " << context.text("(apagada)", "(off)");
    return text;
}

SplitRangeEditor& SplitOverviewView::editor(int index)
{
    return cards[(size_t)index]->editor;
}

void SplitOverviewView::refresh()
{
    styleLabel(title, Fonts::headline(), context.textPrimary());
    title.setText(context.text("Rangos de teclado", "Key ranges"), juce::dontSendNotification);
    for (size_t i = 0; i < cards.size(); ++i)
    {
        styleLabel(cards[i]->name, Fonts::bold(13.0f), context.textPrimary());
        cards[i]->name.setText(layerTitle((int)i), juce::dontSendNotification);
        cards[i]->repaint();
    }
    repaint();
}

void SplitOverviewView::resized()
{
    auto area = getLocalBounds().reduced(16);
    title.setBounds(area.removeFromTop(22));
    area.removeFromTop(10);
    stripArea = area.removeFromTop(4 * barHeight + 3 * barGap + 20).toFloat();
    auto inner = stripArea.toNearestInt().reduced(12, 10);
    for (auto& bar : bars)
    {
        bar->setBounds(inner.removeFromTop(barHeight));
        inner.removeFromTop(barGap);
    }
    area.removeFromTop(12);
    const int cardHeight = cards[0]->idealHeight();
    const int cardWidth = (area.getWidth() - 10) / 2;
    for (size_t i = 0; i < cards.size(); ++i)
    {
        const int column = (int)i % 2, line = (int)i / 2;
        cards[i]->setBounds(area.getX() + column * (cardWidth + 10),
                            area.getY() + line * (cardHeight + 10), cardWidth, cardHeight);
    }
}

void SplitOverviewView::paint(juce::Graphics& g)
{
    g.setColour(context.faint(0.06f));
    g.fillRoundedRectangle(stripArea, 8.0f);
}

} // namespace norvane
