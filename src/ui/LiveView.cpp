#include "ui/LiveView.h"

#include "ui/PlayedNotes.h"
#include "app/AppState.h"
#include "ui/ChannelStrip.h"
#include "ui/DronePadView.h"
#include "ui/Icons.h"
#include "ui/MetronomeView.h"
#include "ui/PianoKeyboardView.h"
#include "ui/SplitRangeEditor.h"

namespace norvane
{

namespace
{
constexpr int outerPadding = 8;
constexpr int gap = 8;
constexpr int mixerPadding = 16;
constexpr int mixerPaddingVertical = 12;
constexpr int stripGap = 8;

/** The key-range overview in a scrolling frame of its own size. */
class KeyRangePopover final : public juce::Component
{
public:
    KeyRangePopover(const ViewContext& context, std::array<SoundLayer*, 4> layers, std::array<juce::Colour, 4> accents)
        : overview(context, layers, accents)
    {
        viewport.setViewedComponent(&overview, false);
        viewport.setScrollBarsShown(true, false);
        viewport.setScrollBarThickness(8);
        addAndMakeVisible(viewport);
        setSize(460, 560);
    }

    void resized() override
    {
        viewport.setBounds(getLocalBounds().reduced(8));
        overview.setSize(viewport.getMaximumVisibleWidth(), overview.idealHeight());
    }

private:
    juce::Viewport viewport;
    SplitOverviewView overview;
};
} // namespace

// ---- ChordPanel ----------------------------------------------------------------------------

ChordPanel::ChordPanel(const ViewContext& contextIn) : context(contextIn)
{
    setInterceptsMouseClicks(false, false);
    watch.watch(context.theme, [this] { repaint(); });
    watch.watch(context.loc, [this] { repaint(); });
}

void ChordPanel::show(std::optional<juce::String> newSymbol)
{
    recognised = newSymbol.has_value();
    symbol = newSymbol.value_or(juce::String::fromUTF8("—"));
    repaint();
}

void ChordPanel::paint(juce::Graphics& g)
{
    auto area = getLocalBounds().toFloat();
    paintRackPanel(g, area, context, 12.0f);
    area = area.reduced(14.0f, 10.0f);
    g.setColour(context.textSecondary());
    g.setFont(Fonts::bold(11.0f));
    g.drawText(context.text("Acorde", "Chord"), area.removeFromTop(16.0f),
               juce::Justification::centredLeft, false);
    const auto symbolArea = area.removeFromTop(44.0f);
    g.setFont(Fonts::bold(34.0f));
    if (!recognised)
    {
        g.setColour(context.textSecondary());
        g.drawFittedText(symbol, symbolArea.toNearestInt(), juce::Justification::centredLeft, 1, 0.4f);
        return;
    }
    // A soft glow of the accent under the name.
    g.setColour(context.accent().withAlpha(0.35f * 0.35f));
    for (const auto offset : {juce::Point<float>(-1.5f, 0.0f), {1.5f, 0.0f}, {0.0f, -1.5f}, {0.0f, 1.5f}})
        g.drawFittedText(symbol, symbolArea.translated(offset.x, offset.y).toNearestInt(),
                         juce::Justification::centredLeft, 1, 0.4f);
    drawAccentText(g, context, symbol, symbolArea, Fonts::bold(34.0f), juce::Justification::centredLeft, 0.4f);
}

// ---- LiveView ------------------------------------------------------------------------------

LiveView::LiveView(const ViewContext& contextIn, AppState& appIn, CustomNames& names, PluginLibrary& plugins)
    : context(contextIn), app(appIn),
      patches(contextIn, appIn.livePatchStore, appIn.audioEngine, appIn.dronePadController),
      chord(contextIn), keyRanges(contextIn, "arrow.left.and.right.square")
{
    auto& engine = app.audioEngine;
    addAndMakeVisible(patches);
    master = std::make_unique<MasterChannelStrip>(context, engine);
    addAndMakeVisible(*master);
    const auto accents = channelAccents();
    SoundLayer* layers[] = {&engine.layerA(), &engine.layerB(), &engine.layerC(), &engine.layerD()};
    for (size_t i = 0; i < 4; ++i)
    {
        strips[i] = std::make_unique<ChannelStrip>(context, *layers[i], engine, names, plugins, accents[i], i != 0);
        addAndMakeVisible(*strips[i]);
    }
    drone = std::make_unique<DronePadView>(context, app.dronePadController, engine.dronePad());
    addAndMakeVisible(*drone);
    clicks = std::make_unique<MetronomeView>(context, engine.metronome());
    addAndMakeVisible(*clicks);
    addAndMakeVisible(chord);

    keyRanges.setTrailingSymbol("chevron.right");
    keyRanges.setCornerRadius(12.0f);
    keyRanges.onClick = [this] { showPopover(makeKeyRangePopover(), keyRanges); };
    addAndMakeVisible(keyRanges);

    keys = std::make_unique<PianoKeyboardView>(context);
    keys->onKeyTap = [this](int note) { app.midiManager.toggleOnScreenKey(note); };
    addAndMakeVisible(*keys);

    watch.watch(context.loc, [this] { refresh(); });
    watch.watch(context.theme,
                [this]
                {
                    const auto colours = channelAccents();
                    for (size_t i = 0; i < 4; ++i)
                        strips[i]->setAccent(colours[i]);
                    refresh();
                });
    refresh();
}

LiveView::~LiveView() = default;

std::array<juce::Colour, 4> LiveView::channelAccents() const
{
    const auto& theme = context.theme;
    return {theme.accent.get(), theme.accentRoot.get(), theme.accentTertiary.get(), theme.accent.get()};
}

std::unique_ptr<juce::Component> LiveView::makeKeyRangePopover()
{
    auto& engine = app.audioEngine;
    return std::make_unique<KeyRangePopover>(
        context, std::array<SoundLayer*, 4>{&engine.layerA(), &engine.layerB(), &engine.layerC(), &engine.layerD()},
        channelAccents());
}

void LiveView::show(const PlayedNotes& played)
{
    chord.show(played.chord ? std::optional<juce::String>(fromUTF8(played.chord->symbol)) : std::nullopt);
    keys->setNotes(played.held, played.sustained, played.rootPitchClass());
}

void LiveView::refresh()
{
    keyRanges.setButtonText(context.text("Rangos de teclado", "Key ranges"));
    repaint();
}

void LiveView::resized()
{
    auto area = getLocalBounds().reduced(outerPadding);
    patches.setBounds(area.removeFromTop(PatchBar::height));
    area.removeFromTop(gap);
    keys->setBounds(area.removeFromBottom(keys->preferredHeight()));
    area.removeFromBottom(gap);

    // The console takes the width it needs first; the drone pad and the column share the rest.
    const int mixerWidth = 2 * mixerPadding + MasterChannelStrip::width + 4 * (ChannelStrip::width + stripGap);
    const int rest = area.getWidth() - mixerWidth - 2 * gap;
    const int droneWidth = juce::jlimit(280, 380, rest * 380 / 720);
    const int columnWidth = juce::jlimit(250, 340, rest - droneWidth);
    const int extra = juce::jmax(0, rest - droneWidth - columnWidth);

    mixerCard = area.removeFromLeft(mixerWidth + extra);
    area.removeFromLeft(gap);
    droneCard = area.removeFromLeft(droneWidth);
    area.removeFromLeft(gap);
    auto column = area.removeFromLeft(columnWidth);

    auto strips_ = mixerCard.reduced(mixerPadding, mixerPaddingVertical);
    strips_.setX(strips_.getX() + extra / 2);
    master->setBounds(strips_.removeFromLeft(MasterChannelStrip::width));
    for (auto& strip : strips)
    {
        strips_.removeFromLeft(stripGap);
        strip->setBounds(strips_.removeFromLeft(ChannelStrip::width));
    }

    drone->setBounds(droneCard.withHeight(juce::jmin(droneCard.getHeight(), drone->idealHeight())));
    chord.setBounds(column.removeFromTop(ChordPanel::height));
    column.removeFromTop(gap);
    clicks->setBounds(column.removeFromTop(juce::jmin(column.getHeight() - 48, clicks->idealHeight())));
    column.removeFromTop(gap);
    keyRanges.setBounds(column.removeFromTop(36));
}

void LiveView::paint(juce::Graphics& g) { paintRackPanel(g, mixerCard.toFloat(), context, 18.0f); }

} // namespace norvane
