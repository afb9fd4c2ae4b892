#include "ui/ContentView.h"

#include "app/AppState.h"
#include "ui/AppearanceView.h"
#include "ui/Icons.h"
#include "ui/KeyboardHome.h"
#include "ui/LiveView.h"
#include "ui/MidiLearn.h"
#include "ui/PlayedNotes.h"

namespace norvane
{

namespace
{
constexpr int tabBarHeight = 38;
constexpr int errorHeight = 20;

/** The credits popover: what the program is made with. */
class CreditsView final : public juce::Component
{
public:
    explicit CreditsView(const ViewContext& contextIn) : context(contextIn), logo(contextIn, 26.0f)
    {
        addAndMakeVisible(logo);
        setSize(400, 300);
    }

    void resized() override { logo.setBounds(20, 16, logo.idealWidth(), 34); }

    void paint(juce::Graphics& g) override
    {
        g.setColour(context.textSecondary());
        g.setFont(Fonts::body());
        g.drawText(context.text("Versión ", "Version ") + NORVANE_VERSION + "  ·  " +
                       context.text("Visor de acordes y consola en vivo",
                                    "Chord viewer and live performance"),
                   20, 54, getWidth() - 40, 20, juce::Justification::centredLeft);
        g.setColour(context.textPrimary());
        g.setFont(Fonts::caption());
        const auto text =
            context.text("Hecho con JUCE (GPLv3) y FluidSynth (LGPL 2.1).\n"
                         "Sonidos del sistema: FluidR3_GM de Frank Wen (MIT).\n"
                         "Tipografía DejaVu Sans.\n\n"
                         "Gracias a quienes tocan con Norvane en escena y cuentan cómo les fue: "
                         "el botón Comentar abre el formulario.",
                         "Made with JUCE (GPLv3) and FluidSynth (LGPL 2.1).\n"
                         "System sounds: FluidR3_GM by Frank Wen (MIT).\n"
                         "Typeface DejaVu Sans.\n\n"
                         "Thanks to everyone who plays Norvane on stage and tells how it went: "
                         "the Feedback button opens the form.");
        g.drawFittedText(text, 20, 86, getWidth() - 40, getHeight() - 100,
                         juce::Justification::topLeft, 12, 1.0f);
    }

private:
    const ViewContext& context;
    Logo logo;
};
} // namespace

ContentView::ContentView(const ViewContext& contextIn, AppState& appIn, CustomNames& names,
                         PluginLibrary& plugins)
    : context(contextIn), app(appIn), background(contextIn),
      headerBar(contextIn, app.midiManager, app.updates),
      connectionsBar(contextIn, app.midiManager, app.audioEngine, plugins),
      chordsButton(contextIn, "pianokeys"), liveButton(contextIn, "slider.vertical.3"),
      chordsTab(contextIn, app, names, plugins), keys(app.keyboardInput)
{
    setOpaque(true);
    setWantsKeyboardFocus(true);
    addAndMakeVisible(background);
    addAndMakeVisible(headerBar);
    addAndMakeVisible(connectionsBar);
    addAndMakeVisible(chordsButton);
    addAndMakeVisible(liveButton);
    addAndMakeVisible(chordsTab);
    live = std::make_unique<LiveView>(contextIn, app, names, plugins);
    addChildComponent(*live);
    addChildComponent(errorLine);
    for (auto* b : {&chordsButton, &liveButton})
        b->setCornerRadius(8.0f);
    chordsButton.onClick = [this] { selectTab(0); };
    liveButton.onClick = [this] { selectTab(1); };
    headerBar.onAppearance = [this](juce::Component& anchor) { showAppearance(anchor); };
    headerBar.onCredits = [this](juce::Component& anchor) { showCredits(anchor); };

    watch.watch(app.midiManager,
                [this]
                {
                    refresh();
                    showPlayedNotes();
                });
    watch.watch(app.audioEngine, [this] { refresh(); });
    for (auto* layer : app.audioEngine.allLayers())
        watch.watch(*layer, [this] { refresh(); });
    watch.watch(app.livePatchStore, [this] { refresh(); });
    watch.watch(context.loc, [this] { refresh(); });
    watch.watch(context.theme, [this] { refresh(); });
    setSize(minimumWidth, minimumHeight);
    refresh();
    showPlayedNotes();
}

void ContentView::showPlayedNotes()
{
    const auto played = PlayedNotes::of(app.midiManager);
    chordsTab.show(played);
    live->show(played);
}

ContentView::~ContentView()
{
    if (sessionStarted)
        KeyboardHome::set(nullptr);
}

juce::String ContentView::errorText() const
{
    if (const auto& midiError = app.midiManager.connectionError.get())
        return fromUTF8(*midiError);
    if (const auto& held = app.audioEngine.heldBackPlugin.get())
    {
        const auto name = fromUTF8(held->ref.name);
        return held->crashed
                   ? context.text("El plugin ", "The plug-in ") + name +
                         context.text(" detuvo el programa la última vez y no se cargó; elígelo "
                                      "de nuevo para probarlo.",
                                      " stopped the program last time and was not loaded; "
                                      "choose it again to try it.")
                   : context.text("Inicio seguro: no se cargó ningún plugin (",
                                  "Safe start: no plug-in was loaded (") +
                         name +
                         context.text("…); elige uno para cargarlo.", "…); choose one to load it.");
    }
    if (const auto& engineError = app.audioEngine.loadError.get())
        return fromUTF8(*engineError);
    // A layer that cannot load its sound must not go silent without a word, whichever tab shows.
    auto& engine = app.audioEngine;
    for (auto* layer : engine.allLayers())
        if (const auto& error = layer->loadError.get())
            return (layer == &engine.dronePad()
                        ? juce::String("Drone: ")
                        : context.text("Capa ", "Layer ") + fromUTF8(layer->slot) + ": ") +
                   fromUTF8(*error);
    for (auto* layer : engine.allLayers())
        if (const int silenced = layer->silencedPluginBlocks.get(); silenced > 0)
            return (layer == &engine.dronePad()
                        ? juce::String("Drone: ")
                        : context.text("Capa ", "Layer ") + fromUTF8(layer->slot) + ": ") +
                   silencedPluginText(context, silenced);
    if (const auto& copy = app.livePatchStore.damagedCopy.get())
        return context.text("La lista de patches estaba dañada; se guardó una copia en ",
                            "The patch list was damaged; a copy was kept in ") +
               fromUTF8(*copy);
    if (const auto& copy = app.controllerBindings.damagedCopy.get())
        return context.text("Los controles aprendidos estaban dañados; se guardó una copia en ",
                            "The learned controls were damaged; a copy was kept in ") +
               fromUTF8(*copy);
    return {};
}

void ContentView::refresh()
{
    chordsButton.setButtonText(context.text("Acordes", "Chords"));
    liveButton.setButtonText(context.text("En vivo", "Live"));
    chordsButton.setHighlighted(tab == 0);
    liveButton.setHighlighted(tab == 1);
    const auto error = errorText();
    styleLabel(errorLine, Fonts::caption(), juce::Colour(0xffff5a52));
    errorLine.setText(error, juce::dontSendNotification);
    if (errorLine.isVisible() != error.isNotEmpty())
    {
        errorLine.setVisible(error.isNotEmpty());
        resized();
    }
    repaint();
}

void ContentView::selectTab(int index)
{
    tab = juce::jlimit(0, 1, index);
    chordsTab.setVisible(tab == 0);
    live->setVisible(tab == 1);
    refresh();
}

void ContentView::resized()
{
    auto area = getLocalBounds();
    background.setBounds(area);
    headerBar.setBounds(area.removeFromTop(HeaderBar::height));
    connectionsBar.setBounds(area.removeFromTop(ConnectionsBar::height));
    area.removeFromTop(1); // the accent line
    if (errorLine.isVisible())
        errorLine.setBounds(area.removeFromBottom(errorHeight).reduced(16, 0));
    auto tabs = area.removeFromTop(tabBarHeight).reduced(16, 4);
    tabs.setY(tabs.getY() + 2);
    chordsButton.setBounds(tabs.removeFromLeft(juce::jmax(120, chordsButton.idealWidth())));
    tabs.removeFromLeft(6);
    liveButton.setBounds(tabs.removeFromLeft(juce::jmax(120, liveButton.idealWidth())));
    chordsTab.setBounds(area);
    live->setBounds(area);
}

void ContentView::paint(juce::Graphics&) {}

void ContentView::paintOverChildren(juce::Graphics& g)
{
    // The accent line under the bars, fading out to the right.
    const float y = (float)(HeaderBar::height + ConnectionsBar::height);
    const auto accent = context.accent();
    g.setGradientFill(juce::ColourGradient::horizontal(accent.withAlpha(0.45f), 0.0f,
                                                       accent.withAlpha(0.04f), (float)getWidth()));
    g.fillRect(0.0f, y, (float)getWidth(), 1.0f);
}

bool ContentView::keyPressed(const juce::KeyPress& key)
{
    // Escape stops teaching a control its MIDI controller.
    if (key == juce::KeyPress::escapeKey && context.midiLearn != nullptr &&
        context.midiLearn->cancel())
        return true;
    // On the stage page the arrow keys step through the patches.
    if (tab == 1 && key.getModifiers().getRawFlags() == 0)
    {
        if (key.getKeyCode() == juce::KeyPress::leftKey)
            return live->patchBar().step(-1), true;
        if (key.getKeyCode() == juce::KeyPress::rightKey)
            return live->patchBar().step(+1), true;
    }
    return keys.keyPressed(key);
}

bool ContentView::keyStateChanged(bool)
{
    return keys.keyStateChanged();
}

void ContentView::focusLost(FocusChangeType)
{
    // The releases go to whatever has the focus now: nothing must keep sounding.
    if (!hasKeyboardFocus(true))
        keys.releaseAll();
}

void ContentView::visibilityChanged()
{
    startSessionOnce();
}
void ContentView::parentHierarchyChanged()
{
    startSessionOnce();
}

void ContentView::startSessionOnce()
{
    if (sessionStarted || !isShowing())
        return;
    sessionStarted = true;
    app.setUpSession();
    KeyboardHome::set(this); // whatever takes the keyboard gives it back here
    grabKeyboardFocus();
}

void ContentView::showAppearance(juce::Component& anchor)
{
    showPopover(std::make_unique<AppearanceView>(context), anchor);
}

void ContentView::showCredits(juce::Component& anchor)
{
    showPopover(std::make_unique<CreditsView>(context), anchor);
}

} // namespace norvane
