#include "ui/HeaderBar.h"

#include "input/MIDIManager.h"
#include "ui/Icons.h"
#include "update/UpdateChecker.h"
#include "ui/MidiLearn.h"

namespace norvane
{

// ---- Logo ----------------------------------------------------------------------------------

Logo::Logo(const ViewContext& contextIn, float sizeIn) : context(contextIn), size(sizeIn)
{
    setInterceptsMouseClicks(false, false);
    watch.watch(context.theme, [this] { repaint(); });
}

int Logo::idealWidth() const
{
    return (int)(size * 1.4f) + Fonts::bold(size).getStringWidth("Norvane") + 4;
}

void Logo::paint(juce::Graphics& g)
{
    const auto area = getLocalBounds().toFloat();
    const float glyph = size * 1.1f;
    const auto mark = juce::Rectangle<float>(area.getX(), area.getCentreY() - glyph / 2.0f, glyph, glyph);

    // Three white keys with two black ones over them, in a rounded plate of the accent.
    g.setGradientFill(Theme::accentTextGradient(context.theme, mark));
    g.fillRoundedRectangle(mark, glyph * 0.22f);
    const auto keys = mark.reduced(glyph * 0.2f);
    const float w = keys.getWidth() / 3.0f;
    g.setColour(juce::Colours::black.withAlpha(0.78f));
    for (int i = 1; i < 3; ++i)
        g.fillRect(keys.getX() + w * (float)i - 0.6f, keys.getY(), 1.2f, keys.getHeight());
    for (int i = 1; i < 3; ++i)
        g.fillRoundedRectangle(keys.getX() + w * (float)i - w * 0.3f, keys.getY(), w * 0.6f,
                               keys.getHeight() * 0.58f, 1.0f);

    drawAccentText(g, context, "Norvane", area.withTrimmedLeft(glyph + size * 0.35f), Fonts::bold(size),
                   juce::Justification::centredLeft, 1.0f);
}

// ---- TransposeDisplay ----------------------------------------------------------------------

TransposeDisplay::TransposeDisplay(const ViewContext& contextIn)
    : juce::Button("transposition"), context(contextIn)
{
    setMouseCursor(juce::MouseCursor::PointingHandCursor);
}

juce::String TransposeDisplay::valueText(int semitones)
{
    return semitones > 0 ? "+" + juce::String(semitones) : juce::String(semitones);
}

void TransposeDisplay::setValue(int semitones)
{
    if (value != semitones)
    {
        value = semitones;
        repaint();
    }
}

void TransposeDisplay::paintButton(juce::Graphics& g, bool isOver, bool)
{
    const auto area = getLocalBounds().toFloat();
    g.setColour(context.faint(isOver ? 0.1f : 0.05f));
    g.fillRoundedRectangle(area.reduced(0.5f), 6.0f);
    g.setColour(context.textSecondary());
    g.setFont(Fonts::bold(9.0f));
    g.drawText("Transp.", area.withHeight(area.getHeight() * 0.42f).withY(2.0f),
               juce::Justification::centredBottom, false);
    g.setColour(value == 0 ? context.textPrimary() : context.accent());
    g.setFont(Fonts::bold(15.0f));
    g.drawText(valueText(value), area.withTrimmedTop(area.getHeight() * 0.42f),
               juce::Justification::centredTop, false);
}

// ---- HeaderBar -----------------------------------------------------------------------------

HeaderBar::HeaderBar(const ViewContext& contextIn, MIDIManager& midiIn, UpdateChecker& updatesIn)
    : feedback(contextIn, "bubble.left.and.text.bubble.right"), transposeDown(contextIn, "minus.circle"),
      transposeUp(contextIn, "plus.circle"), panic(contextIn, "exclamationmark.octagon.fill", "Panic"),
      sustain(contextIn, "pedal.accelerator", "Sustain"), appearance(contextIn, "paintpalette"),
      language(contextIn, "globe"), credits(contextIn, "info.circle"),
      updateBadge(contextIn, "arrow.down.circle"), transposeValue(contextIn), context(contextIn),
      midi(midiIn), updates(updatesIn), logo(contextIn)
{
    addAndMakeVisible(logo);
    for (auto* b : {&feedback, &transposeDown, &transposeUp, &panic, &sustain, &appearance, &language,
                    &credits})
        addAndMakeVisible(b);
    addAndMakeVisible(transposeValue);
    addChildComponent(updateBadge);
    sustain.setInterceptsMouseClicks(false, false);
    sustain.setMouseCursor(juce::MouseCursor::NormalCursor);
    updateBadge.setTextColour(contextIn.accent());

    const auto transposeBy = [this](int step)
    { midi.transposeSemitones = juce::jlimit(-12, 12, midi.transposeSemitones.get() + step); };
    transposeDown.onClick = [transposeBy] { transposeBy(-1); };
    transposeUp.onClick = [transposeBy] { transposeBy(+1); };
    transposeValue.onClick = [this] { midi.transposeSemitones = 0; };
    panic.onClick = [this] { midi.panic(); };
    using K = ControlTarget::Kind;
    learnable(context, transposeDown, ControlTarget::of(K::transposeDown));
    learnable(context, transposeUp, ControlTarget::of(K::transposeUp));
    learnable(context, panic, ControlTarget::of(K::panic));
    language.onClick = [this] { context.loc.toggle(); };
    appearance.onClick = [this] { if (onAppearance) onAppearance(appearance); };
    credits.onClick = [this] { if (onCredits) onCredits(credits); };
    feedback.onClick = [] { juce::URL(feedbackAddress).launchInDefaultBrowser(); };
    updateBadge.onClick = [] { juce::URL(storeAddress).launchInDefaultBrowser(); };

    watch.watch(midi, [this] { refresh(); });
    watch.watch(updates, [this] { refresh(); });
    watch.watch(context.loc, [this] { refresh(); });
    watch.watch(context.theme, [this] { refresh(); });
    refresh();
}

void HeaderBar::refresh()
{
    feedback.setButtonText(context.text("Comentar", "Feedback"));
    feedback.setTooltip(context.text("Contarme cómo te fue: son tres minutos",
                                     "Tell me how it went: about three minutes"));
    transposeDown.setTooltip(context.text("Bajar la transposición un semitono", "Transpose down a semitone"));
    transposeUp.setTooltip(context.text("Subir la transposición un semitono", "Transpose up a semitone"));
    transposeValue.setTooltip(context.text("Clic para volver a 0", "Click to reset to 0"));
    transposeValue.setValue(midi.transposeSemitones.get());
    panic.setTooltip(context.text("Silencia todas las notas atascadas (no afecta el Drone Pad)",
                                  "Silence any stuck notes (does not affect the Drone Pad)"));
    sustain.setHighlighted(midi.isSustainPedalDown.get());
    sustain.setTextColour(context.textSecondary());
    appearance.setTooltip(context.text("Personalizar colores", "Customize colors"));
    language.setButtonText(context.isSpanish() ? "ES" : "EN");
    language.setTooltip(context.isSpanish() ? juce::String::fromUTF8("Cambiar a inglés")
                                            : juce::String("Switch to Spanish"));
    credits.setTooltip(context.text("Acerca de y créditos", "About and credits"));

    const auto& newer = updates.newerVersion.get();
    updateBadge.setVisible(newer.has_value());
    if (newer)
    {
        updateBadge.setButtonText(context.text("Versión ", "Version ") + fromUTF8(*newer));
        updateBadge.setTooltip(context.text("Hay una versión nueva en norvane.app/store",
                                            "A newer version is available at norvane.app/store"));
    }
    updateBadge.setTextColour(context.accent());
    resized();
    repaint();
}

void HeaderBar::resized()
{
    auto area = getLocalBounds().reduced(16, 9);
    logo.setBounds(area.removeFromLeft(logo.idealWidth()));

    // From the right edge leftwards.
    const auto place = [&](juce::Component& c, int width, int gap = 6)
    {
        c.setBounds(area.removeFromRight(width));
        area.removeFromRight(gap);
    };
    place(credits, 34);
    place(language, language.idealWidth());
    place(appearance, 34, 14);
    place(sustain, sustain.idealWidth());
    place(panic, panic.idealWidth(), 14);
    place(transposeUp, 32, 4);
    place(transposeValue, 46, 4);
    place(transposeDown, 32, 14);
    place(feedback, feedback.idealWidth(), 14);
    if (updateBadge.isVisible())
        place(updateBadge, updateBadge.idealWidth(), 14);
}

} // namespace norvane
