#include "ui/ChordsTab.h"

#include "aids/NoteNames.h"
#include "app/AppState.h"
#include "ui/Icons.h"
#include "ui/LayerControlView.h"
#include "ui/PianoKeyboardView.h"
#include "ui/PlayedNotes.h"

namespace norvane
{

// ---- ChordCard -----------------------------------------------------------------------------

ChordCard::ChordCard(const ViewContext& contextIn) : context(contextIn)
{
    setInterceptsMouseClicks(false, false);
    watch.watch(context.theme, [this] { repaint(); });
}

void ChordCard::show(const std::optional<ChordResult>& chord)
{
    const auto newSymbol = chord ? fromUTF8(chord->symbol) : juce::String::fromUTF8("—");
    juce::StringArray names;
    if (chord)
        for (const auto& n : chord->noteNames)
            names.add(fromUTF8(n));
    notes = names.isEmpty() ? juce::String(" ") : names.joinIntoString(juce::String::fromUTF8("  ·  "));
    recognised = chord.has_value();
    if (newSymbol != symbol)
    {
        symbol = newSymbol;
        appear = 0.35f; // eases back to full over a few frames
        startTimerHz(60);
    }
    repaint();
}

void ChordCard::timerCallback()
{
    appear += (1.0f - appear) * 0.3f;
    if (appear > 0.99f)
    {
        appear = 1.0f;
        stopTimer();
    }
    repaint();
}

void ChordCard::paint(juce::Graphics& g)
{
    auto area = getLocalBounds().toFloat();
    paintPanel(g, area, context, 14.0f);
    const auto symbolArea = area.removeFromTop(area.getHeight() * 0.72f).withTrimmedTop(4.0f);
    g.setOpacity(appear);
    if (recognised)
        drawAccentText(g, context, symbol, symbolArea.reduced(16.0f, 0.0f), Fonts::bold(60.0f),
                       juce::Justification::centred);
    else
    {
        g.setColour(context.textSecondary());
        g.setFont(Fonts::bold(60.0f));
        g.drawFittedText(symbol, symbolArea.toNearestInt().reduced(16, 0), juce::Justification::centred, 1, 0.6f);
    }
    g.setOpacity(1.0f);
    g.setColour(context.textSecondary());
    g.setFont(Fonts::body().withHeight(15.0f));
    g.drawFittedText(notes, area.toNearestInt().reduced(16, 0).withTrimmedBottom(10),
                     juce::Justification::centredTop, 1, 0.8f);
}

// ---- ChordsTab -----------------------------------------------------------------------------

ChordsTab::ChordsTab(const ViewContext& contextIn, AppState& appIn, CustomNames& names,
                     PluginLibrary& plugins)
    : context(contextIn), app(appIn), card(contextIn)
{
    auto& engine = app.audioEngine;
    SoundLayer* layers[] = {&engine.layerA(), &engine.layerB(), &engine.layerC(), &engine.layerD()};
    for (size_t i = 0; i < 4; ++i)
    {
        editors[i] = std::make_unique<LayerControlView>(context, *layers[i], engine, names, plugins, i != 0);
        editors[i]->onHeightChanged = [this] { layOutLayers(); };
        layersRow.addAndMakeVisible(*editors[i]);
    }
    layersViewport.setViewedComponent(&layersRow, false);
    layersViewport.setScrollBarsShown(true, false);
    layersViewport.setScrollBarThickness(8);
    addAndMakeVisible(layersViewport);
    addAndMakeVisible(card);
    addAndMakeVisible(hint);

    keys = std::make_unique<PianoKeyboardView>(context);
    keys->onKeyTap = [this](int note) { app.midiManager.toggleOnScreenKey(note); };
    addAndMakeVisible(*keys);

    watch.watch(app.keyboardInput, [this] { refresh(); });
    watch.watch(context.loc, [this] { refresh(); });
    watch.watch(context.theme, [this] { refresh(); });
    refresh();
}

ChordsTab::~ChordsTab() = default;

void ChordsTab::show(const PlayedNotes& played)
{
    card.show(played.chord);
    keys->setNotes(played.held, played.sustained, played.rootPitchClass());
}

void ChordsTab::refresh()
{
    styleLabel(hint, Fonts::caption(), context.textSecondary(), juce::Justification::centred);
    hint.setText(context.text("Teclado del computador: A S D F G H J K L (blancas) · W E T Y U O P "
                              "(negras) · Z / X cambia de octava — octava actual: ",
                              "Computer keyboard: A S D F G H J K L (white) · W E T Y U O P (black) · "
                              "Z / X shifts octave — current octave: ") +
                     fromUTF8(NoteNames::fullName(app.keyboardInput.baseNote.get())),
                 juce::dontSendNotification);
}

void ChordsTab::layOutLayers()
{
    const int width = layersViewport.getMaximumVisibleWidth();
    const int gap = 10;
    const int cardWidth = (width - 3 * gap) / 4;
    int height = 0;
    for (auto& editor : editors)
        height = std::max(height, editor->idealHeight());
    layersRow.setSize(width, height);
    for (size_t i = 0; i < 4; ++i)
        editors[i]->setBounds((int)i * (cardWidth + gap), 0, cardWidth, editors[i]->idealHeight());
}

void ChordsTab::resized()
{
    auto area = getLocalBounds().reduced(16, 8);
    keys->setBounds(area.removeFromBottom(keys->preferredHeight()));
    area.removeFromBottom(6);
    hint.setBounds(area.removeFromBottom(18));
    area.removeFromBottom(6);
    card.setBounds(area.removeFromBottom(ChordCard::height));
    area.removeFromBottom(8);
    layersViewport.setBounds(area);
    layOutLayers();
}

} // namespace norvane
