#include "ui/PluginManagerView.h"

#include "catalog/PluginLibrary.h"
#include "ui/Icons.h"

namespace norvane
{

std::string categorySymbol(InstrumentCategory category)
{
    switch (category)
    {
    case InstrumentCategory::piano:
        return "pianokeys";
    case InstrumentCategory::electricPiano:
        return "bolt.horizontal.fill";
    case InstrumentCategory::harpsichord:
        return "music.note.list";
    case InstrumentCategory::organ:
        return "waveform";
    case InstrumentCategory::strings:
        return "cloud.fill";
    case InstrumentCategory::pad:
        return "sparkles";
    }
    return {};
}

namespace
{
constexpr int headingHeight = 26;
constexpr int slotHeight = 28;
constexpr int sectionGap = 10;
} // namespace

/** A category's heading: its symbol and its name. */
struct PluginManagerView::Heading : juce::Component
{
    Heading(const ViewContext& contextIn, InstrumentCategory categoryIn)
        : context(contextIn), category(categoryIn)
    {
    }

    juce::String text() const { return fromUTF8(displayName(category, context.language())); }

    void paint(juce::Graphics& g) override
    {
        auto area = getLocalBounds().toFloat();
        drawIcon(g, categorySymbol(category),
                 area.removeFromLeft(16.0f).withSizeKeepingCentre(16, 16), context.accent());
        area.removeFromLeft(8.0f);
        g.setColour(context.textPrimary());
        g.setFont(Fonts::bold(13.0f));
        g.drawFittedText(text(), area.toNearestInt(), juce::Justification::centredLeft, 1);
    }

    const ViewContext& context;
    const InstrumentCategory category;
};

/** The number of a slot and the menu that fills it. */
struct PluginManagerView::SlotRow : juce::Component
{
    SlotRow(PluginManagerView& owner, InstrumentCategory categoryIn, int indexIn)
        : category(categoryIn), index(indexIn), menu(owner.context)
    {
        number.setText(juce::String(index + 1), juce::dontSendNotification);
        menu.setBorderless(true);
        menu.makeMenu = [&owner, this] { return owner.slotMenu(category, index); };
        addAndMakeVisible(number);
        addAndMakeVisible(menu);
    }

    void resized() override
    {
        auto area = getLocalBounds();
        number.setBounds(area.removeFromLeft(22));
        area.removeFromLeft(4);
        menu.setBounds(area.withWidth(juce::jmin(area.getWidth(), menu.idealWidth())));
    }

    const InstrumentCategory category;
    const int index;
    juce::Label number;
    MenuPill menu;
};

PluginManagerView::PluginManagerView(const ViewContext& contextIn, PluginLibrary& libraryIn)
    : context(contextIn), library(libraryIn), rescan(contextIn, "arrow.clockwise")
{
    rescan.onClick = [this] { library.refreshInstalled(); };
    addAndMakeVisible(title);
    addAndMakeVisible(rescan);
    addAndMakeVisible(explanation);
    addChildComponent(emptyMessage);
    addChildComponent(progress);
    addChildComponent(viewport);
    viewport.setViewedComponent(&list, false);
    viewport.setScrollBarsShown(true, false);

    for (auto category : categories())
    {
        headings.push_back(std::make_unique<Heading>(context, category));
        list.addAndMakeVisible(*headings.back());
        for (int i = 0; i < PluginLibrary::slotCount; ++i)
        {
            rows.push_back(std::make_unique<SlotRow>(*this, category, i));
            list.addAndMakeVisible(*rows.back());
        }
    }

    watch.watch(library, [this] { refresh(); });
    watch.watch(context.loc, [this] { refresh(); });
    watch.watch(context.theme, [this] { refresh(); });
    refresh();
    setSize(idealWidth, idealHeight);
}

PluginManagerView::~PluginManagerView() = default;

std::vector<InstrumentCategory> PluginManagerView::categories()
{
    std::vector<InstrumentCategory> list;
    for (auto category : allInstrumentCategories)
        if (category != InstrumentCategory::pad)
            list.push_back(category);
    return list;
}

juce::PopupMenu PluginManagerView::slotMenu(InstrumentCategory category, int index)
{
    juce::PopupMenu menu;
    const auto current = library.slots(category)[(size_t)index];
    menu.addItem(context.text("Vacío", "Empty"), true, !current,
                 [this, category, index] { library.setSlot(std::nullopt, index, category); });
    for (const auto& installed : library.installedInstruments.get())
    {
        const auto ref = installed.ref;
        menu.addItem(installed.description.name, true, current == ref,
                     [this, category, index, ref] { library.setSlot(ref, index, category); });
    }
    return menu;
}

juce::String PluginManagerView::slotText(InstrumentCategory category, int index) const
{
    const auto current = library.slots(category)[(size_t)index];
    if (!current)
        return context.text("Vacío", "Empty");
    if (auto found = library.find(*current))
        return found->name;
    return fromUTF8(current->name);
}

bool PluginManagerView::showsEmptyMessage() const
{
    return library.installedInstruments->empty() && !library.isScanning();
}

juce::StringArray PluginManagerView::sectionTitles() const
{
    juce::StringArray titles;
    if (!library.installedInstruments->empty())
        for (auto& heading : headings)
            titles.add(heading->text());
    return titles;
}

void PluginManagerView::refresh()
{
    styleLabel(title, Fonts::headline(), context.textPrimary());
    title.setText(context.text("Plugins de instrumento", "Instrument plugins"),
                  juce::dontSendNotification);
    rescan.setTooltip(
        context.text("Buscar plugins instalados de nuevo", "Rescan installed plugins"));
    styleLabel(explanation, Fonts::caption(), context.textSecondary(),
               juce::Justification::topLeft);
    explanation.setMinimumHorizontalScale(1.0f);
    explanation.setText(
        context.text("Hasta ", "Up to ") + juce::String(PluginLibrary::slotCount) +
            context.text(" plugins LV2 o VST3 por categoría, junto a los sonidos de la app. "
                         "Norvane no carga VST2; casi todos los plugins instalan también su "
                         "versión LV2 o VST3.",
                         " LV2 or VST3 plugins per category, alongside the app's own sounds. "
                         "Norvane doesn't load VST2s; almost every plugin also installs an LV2 or "
                         "VST3 version."),
        juce::dontSendNotification);
    styleLabel(emptyMessage, Fonts::body(), context.textSecondary(), juce::Justification::topLeft);
    emptyMessage.setText(context.text("No se encontraron instrumentos LV2/VST3 instalados.",
                                      "No installed LV2/VST3 instruments were found."),
                         juce::dontSendNotification);

    const auto& scan = library.scanProgress.get();
    rescan.setEnabled(!scan.has_value());
    progress.setVisible(scan.has_value());
    progressShare = 0.0;
    if (scan)
    {
        styleLabel(progress, Fonts::caption(), context.textSecondary());
        auto line = context.text("Buscando plugins instalados…", "Scanning installed plugins…");
        if (scan->total > 0)
        {
            line << " " << juce::String(std::min(scan->done + 1, scan->total))
                 << context.text(" de ", " of ") << juce::String(scan->total);
            progressShare = juce::jlimit(0.0, 1.0, (double)scan->done / scan->total);
        }
        if (scan->current.isNotEmpty())
            line << ": " << scan->current;
        progress.setText(line, juce::dontSendNotification);
    }

    const bool empty = showsEmptyMessage();
    emptyMessage.setVisible(empty);
    viewport.setVisible(!empty && !library.installedInstruments->empty());

    for (auto& row : rows)
    {
        styleLabel(row->number, Fonts::body(), context.textSecondary());
        const bool assigned = library.slots(row->category)[(size_t)row->index].has_value();
        row->menu.setButtonText(slotText(row->category, row->index));
        row->menu.setTextColour(assigned ? std::optional<juce::Colour>()
                                         : std::optional(context.textSecondary()));
        row->resized();
    }
    for (auto& heading : headings)
        heading->repaint();
    resized();
    repaint();
}

void PluginManagerView::resized()
{
    auto area = getLocalBounds().reduced(16);
    auto header = area.removeFromTop(26);
    rescan.setBounds(header.removeFromRight(30));
    title.setBounds(header);
    area.removeFromTop(8);
    // The explanation wraps over as many lines as the width asks for.
    juce::AttributedString measure;
    measure.append(explanation.getText(), Fonts::caption());
    juce::TextLayout layout;
    layout.createLayout(measure, (float)area.getWidth());
    explanation.setBounds(area.removeFromTop((int)std::ceil(layout.getHeight()) + 6));
    area.removeFromTop(12);
    progressTrack = {};
    if (progress.isVisible())
    {
        progress.setBounds(area.removeFromTop(18));
        progressTrack = area.removeFromTop(4).toFloat();
        area.removeFromTop(12);
    }
    emptyMessage.setBounds(area.withHeight(40));
    viewport.setBounds(area);

    const int width = area.getWidth() - viewport.getScrollBarThickness();
    int y = 0;
    size_t r = 0;
    for (auto& heading : headings)
    {
        heading->setBounds(0, y, width, headingHeight);
        y += headingHeight;
        for (int i = 0; i < PluginLibrary::slotCount; ++i, ++r)
        {
            rows[r]->setBounds(8, y, width - 8, slotHeight);
            y += slotHeight;
        }
        y += sectionGap;
    }
    list.setSize(width, y);
}

void PluginManagerView::paint(juce::Graphics& g)
{
    if (progressTrack.isEmpty())
        return;
    g.setColour(context.textSecondary().withMultipliedAlpha(0.25f));
    g.fillRoundedRectangle(progressTrack, 2.0f);
    g.setColour(context.accent());
    g.fillRoundedRectangle(progressTrack.withWidth(progressTrack.getWidth() * (float)progressShare),
                           2.0f);
}

} // namespace norvane
