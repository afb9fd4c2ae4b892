#include "app/AppState.h"
#include "catalog/PluginLibrary.h"
#include "store/CustomNames.h"
#include "store/UserDefaults.h"
#include "support/WindowFixture.h"
#include "ui/AppearanceView.h"
#include "ui/ContentView.h"
#include "ui/LayerControlView.h"
#include "ui/LiveView.h"
#include "ui/PianoKeyboardView.h"

#include <gtest/gtest.h>

namespace norvane::test
{

TEST_F(WindowTest, TheLanguageButtonSwitchesEveryTextAtOnce)
{
    auto& header = view->header();
    EXPECT_EQ(header.language.getButtonText(), "EN");
    EXPECT_EQ(header.language.getTooltip(), "Switch to Spanish");
    EXPECT_EQ(view->chordsTabButton().getButtonText(), "Chords");
    EXPECT_EQ(view->connections().controls.getButtonText(), "MIDI Controls");
    EXPECT_TRUE(view->chords().hintText().startsWith("Computer keyboard:"));
    EXPECT_TRUE(view->chords().hintText().endsWith("current octave: C4"));
    const auto englishCategory = view->chords().layerEditor(1).categoryButtonText();
    EXPECT_EQ(englishCategory, "Strings & Pads");

    header.language.onClick();
    EXPECT_EQ(localization.language.get(), AppLanguage::spanish);
    EXPECT_EQ(header.language.getButtonText(), "ES");
    EXPECT_EQ(header.language.getTooltip(), juce::String::fromUTF8("Cambiar a inglés"));
    EXPECT_EQ(header.feedback.getButtonText(), "Comentar");
    EXPECT_EQ(view->chordsTabButton().getButtonText(), "Acordes");
    EXPECT_EQ(view->liveTabButton().getButtonText(), "En vivo");
    EXPECT_EQ(view->connections().controls.getButtonText(), "Controles MIDI");
    EXPECT_EQ(view->connections().midiPicker.getButtonText(), "Sin dispositivos");
    EXPECT_TRUE(view->chords().hintText().startsWith("Teclado del computador:"));
    EXPECT_NE(view->chords().layerEditor(1).categoryButtonText(), englishCategory);
    EXPECT_EQ(defaults.string(Localization::key), "es");

    // Both languages draw the whole window at its smallest size.
    for (int i = 0; i < 2; ++i)
    {
        const auto image = render();
        EXPECT_EQ(image.getWidth(), ContentView::minimumWidth);
        EXPECT_EQ(image.getHeight(), ContentView::minimumHeight);
        localization.toggle();
    }
}

TEST_F(WindowTest, TranspositionStopsAtAnOctaveAndTheValueResetsIt)
{
    auto& header = view->header();
    auto& transpose = app->midiManager.transposeSemitones;
    for (int i = 0; i < 14; ++i)
        header.transposeUp.onClick();
    EXPECT_EQ(transpose.get(), 12);
    EXPECT_EQ(TransposeDisplay::valueText(12), "+12");
    for (int i = 0; i < 30; ++i)
        header.transposeDown.onClick();
    EXPECT_EQ(transpose.get(), -12);
    EXPECT_EQ(TransposeDisplay::valueText(-3), "-3");
    header.transposeValue.onClick();
    EXPECT_EQ(transpose.get(), 0);
    EXPECT_EQ(TransposeDisplay::valueText(0), "0");

    // The sustain light follows the pedal.
    const std::uint8_t pedalDown[] = {0xB0, 64, 127};
    app->midiManager.processNow(pedalDown, 3);
    settle(app->audioEngine);
    EXPECT_TRUE(header.sustain.isHighlighted());
}

TEST_F(WindowTest, ComputerKeysPlayOnlyWhileNoTextFieldHasTheFocus)
{
    bool textFocus = false;
    std::set<int> keysDown;
    auto& keys = view->computerKeys();
    keys.textFieldHasFocus = [&] { return textFocus; };
    keys.isKeyDown = [&](int code) { return keysDown.count(code) > 0; };
    auto& held = app->midiManager.activeNotes;
    // Each key is played, and reported back, before the next.
    const auto press = [&](int code, juce::ModifierKeys modifiers = {})
    {
        keysDown.insert(code);
        const bool taken =
            view->keyPressed(juce::KeyPress(code, modifiers, (juce::juce_wchar)code));
        settle(app->audioEngine);
        return taken;
    };
    const auto release = [&](int code)
    {
        keysDown.erase(code);
        const bool taken = view->keyStateChanged(false);
        settle(app->audioEngine);
        return taken;
    };

    // A held key repeats without sounding twice; its release stops it.
    keys.repeatWindowMs = 0;
    EXPECT_TRUE(press('A'));
    EXPECT_TRUE(press('A'));
    EXPECT_EQ(held.get(), std::set<int>{60});
    EXPECT_TRUE(press('X')); // an octave up while A is held
    EXPECT_TRUE(release('A'));
    EXPECT_TRUE(held->empty());
    release('X');
    EXPECT_TRUE(press('a'));
    EXPECT_EQ(held.get(), std::set<int>{72});
    release('a');

    // Typing in a field, and shortcuts, pass on and play nothing.
    textFocus = true;
    EXPECT_FALSE(press('S'));
    release('S');
    textFocus = false;
    EXPECT_FALSE(press('S', juce::ModifierKeys::ctrlModifier));
    EXPECT_FALSE(press('D', juce::ModifierKeys::altModifier));
    bool super = false;
    keys.isSuperDown = [&] { return super; };
    EXPECT_TRUE(press('F'));
    super = true;
    EXPECT_FALSE(press('H'));
    release('F'); // let go with Super held: the note still ends
    super = false;
    EXPECT_FALSE(press('R'));
    EXPECT_FALSE(press('5'));
    EXPECT_TRUE(held->empty());

    // A key held when the window loses the focus does not keep sounding.
    keysDown.clear();
    EXPECT_TRUE(press('G'));
    EXPECT_FALSE(held->empty());
    view->focusLost(juce::Component::focusChangedDirectly);
    settle(app->audioEngine);
    EXPECT_TRUE(held->empty());

    // Where the X server sends a release before each repeated press, a press that follows
    // its release within the window is a repeat: the note is not struck again.
    keys.repeatWindowMs = 40;
    EXPECT_TRUE(press('A'));
    const auto one = held.get();
    ASSERT_EQ(one.size(), 1u);
    for (int repeat = 0; repeat < 3; ++repeat)
    {
        EXPECT_TRUE(release('A'));
        EXPECT_EQ(held.get(), one) << "repeat " << repeat;
        EXPECT_TRUE(press('A'));
    }
    drainMessages(80); // longer than the window, the key still down
    settle(app->audioEngine);
    EXPECT_EQ(held.get(), one);
    release('A');
    EXPECT_TRUE(waitUntil(
        [&]
        {
            settle(app->audioEngine);
            return held->empty();
        }));
}

TEST_F(WindowTest, ChordCardKeyboardPickersAndErrorLine)
{
    auto& card = view->chords().chordCard();
    EXPECT_EQ(card.symbolText(), juce::String::fromUTF8("—"));
    EXPECT_EQ(card.notesText(), " ");
    for (int note : {60, 64, 67})
        app->midiManager.toggleOnScreenKey(note);
    settle(app->audioEngine);
    EXPECT_EQ(card.symbolText(), "C");
    EXPECT_EQ(card.notesText(), juce::String::fromUTF8("C  ·  E  ·  G"));
    EXPECT_EQ(view->chords().keyboard().state(64), PianoKeyboardView::KeyState::pressed);

    // Without MIDI sources the input picker offers only "No devices", and choosing it does nothing.
    auto menu = view->connections().midiMenu();
    juce::PopupMenu::MenuItemIterator items(menu);
    ASSERT_TRUE(items.next());
    EXPECT_EQ(items.getItem().text, "No devices");
    items.getItem().action();
    EXPECT_FALSE(items.next());
    EXPECT_FALSE(app->midiManager.selectedSourceID->has_value());

    auto outputs = view->connections().outputMenu();
    juce::PopupMenu::MenuItemIterator outputItems(outputs);
    ASSERT_TRUE(outputItems.next());
    EXPECT_EQ(outputItems.getItem().text, "System default");
    EXPECT_TRUE(outputItems.getItem().isTicked);

    // The MIDI input's error is shown before the engine's. (This engine has no sound bank:
    // its layers' errors are cleared to begin with.)
    for (auto* layer : app->audioEngine.playingLayers())
        layer->loadError = std::nullopt;
    app->audioEngine.dronePad().loadError = std::nullopt;
    EXPECT_TRUE(view->errorText().isEmpty());
    app->audioEngine.loadError = "engine";
    EXPECT_EQ(view->errorText(), "engine");
    app->midiManager.connectionError = "midi";
    EXPECT_EQ(view->errorText(), "midi");
    app->midiManager.connectionError = std::nullopt;
    app->audioEngine.loadError = std::nullopt;
    EXPECT_TRUE(view->errorText().isEmpty());
    app->livePatchStore.damagedCopy = std::string("/music/LivePatches.json.damaged-1");
    EXPECT_EQ(view->errorText(), "The patch list was damaged; a copy was kept in "
                                 "/music/LivePatches.json.damaged-1");
    app->livePatchStore.damagedCopy = std::nullopt;
    app->controllerBindings.damagedCopy = std::string("/music/Controllers.json.damaged-1");
    EXPECT_EQ(view->errorText(), "The learned controls were damaged; a copy was kept in "
                                 "/music/Controllers.json.damaged-1");
    app->controllerBindings.damagedCopy = std::nullopt;
    // A layer's failed sound shows in the window's line too, not only on its card.
    app->audioEngine.layerC().loadError = std::string("sin banco");
    EXPECT_EQ(view->errorText(), "Layer C: sin banco");
    app->audioEngine.layerC().loadError = std::nullopt;
    EXPECT_TRUE(view->errorText().isEmpty());

    // A controller assignment lights its button.
    EXPECT_FALSE(view->connections().controls.isHighlighted());
    app->midiManager.volumeTarget = CCDestination::layerB;
    EXPECT_TRUE(view->connections().controls.isHighlighted());
}

TEST_F(WindowTest, TabsShowOnePageAtATime)
{
    EXPECT_EQ(view->selectedTab(), 0);
    view->liveTabButton().onClick();
    EXPECT_EQ(view->selectedTab(), 1);
    EXPECT_FALSE(view->chords().isVisible());
    EXPECT_TRUE(view->livePage().isVisible());
    EXPECT_TRUE(view->liveTabButton().isHighlighted());
    view->chordsTabButton().onClick();
    EXPECT_TRUE(view->chords().isVisible());
}

} // namespace norvane::test

namespace norvane::test
{

TEST_F(WindowTest, AppearancePanelChoosesColoursGroundsAndPhotos)
{
    AppearanceView panel(context);
    const auto click = [&](juce::Rectangle<int> area)
    {
        auto mouse = juce::Desktop::getInstance().getMainMouseSource();
        const auto at = area.getCentre().toFloat();
        panel.mouseUp(juce::MouseEvent(mouse, at, {}, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, &panel, &panel,
                                       juce::Time::getCurrentTime(), at,
                                       juce::Time::getCurrentTime(), 1, false));
    };
    click(panel.presetArea(5));
    EXPECT_EQ(theme.selectedPresetID.get(), "rojo");
    click(panel.swatchArea(5));
    EXPECT_EQ(theme.backgroundStyle.get(), BackgroundStyle::paper);
    EXPECT_TRUE(context.isLightStyle());

    // A file that is no picture: the error in the current language, the ground unchanged.
    const auto text = temp.folder.getChildFile("notes.txt");
    text.replaceWithText("no picture");
    panel.useImage(text);
    EXPECT_EQ(panel.imageError(),
              juce::String("That image could not be read. Try a PNG or a JPEG."));
    EXPECT_EQ(theme.backgroundStyle.get(), BackgroundStyle::paper);
    EXPECT_FALSE(panel.showsImageControls());
    EXPECT_EQ(panel.imageButtonText(), juce::String::fromUTF8("Choose image…"));

    juce::Image picture(juce::Image::RGB, 4, 4, true);
    const auto png = temp.folder.getChildFile("photo.png");
    {
        juce::FileOutputStream out(png);
        ASSERT_TRUE(juce::PNGImageFormat().writeImageToStream(picture, out));
    }
    panel.useImage(png);
    EXPECT_FALSE(panel.imageError().has_value());
    EXPECT_TRUE(panel.showsImageControls());
    EXPECT_EQ(panel.imageButtonText(), juce::String::fromUTF8("Change image…"));
    EXPECT_EQ(theme.backgroundStyle.get(), BackgroundStyle::image);
    EXPECT_FALSE(context.isLightStyle()); // the photo keeps the window dark
}

} // namespace norvane::test
