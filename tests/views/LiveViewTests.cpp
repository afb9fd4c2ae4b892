#include "engine/SoundLayer.h"
#include "store/LivePatch.h"
#include "store/SessionStore.h"
#include "support/MessageLoop.h"
#include "support/WindowFixture.h"
#include "ui/ChannelStrip.h"
#include "ui/LiveView.h"
#include "ui/ParameterRows.h"

#include <gtest/gtest.h>

namespace norvane::test
{

namespace
{
/** Every component of type T inside `root`, in depth-first order. */
template <typename T> std::vector<T*> findAll(juce::Component& root)
{
    std::vector<T*> found;
    for (auto* child : root.getChildren())
    {
        if (auto* match = dynamic_cast<T*>(child))
            found.push_back(match);
        for (auto* inner : findAll<T>(*child))
            found.push_back(inner);
    }
    return found;
}

/** The menu entry with that text, searched through sub-menus. */
const juce::PopupMenu::Item* entry(const juce::PopupMenu& menu, const juce::String& text)
{
    for (juce::PopupMenu::MenuItemIterator items(menu, true); items.next();)
        if (items.getItem().text == text)
            return &items.getItem();
    return nullptr;
}

void send(AppState& app, std::initializer_list<std::uint8_t> bytes)
{
    const std::vector<std::uint8_t> message(bytes);
    app.midiManager.processNow(message.data(), message.size());
    settle(app.audioEngine);
}
} // namespace

class LiveViewTest : public WindowTest
{
protected:
    LiveView& live() { return view->livePage(); }
    PatchBar& bar() { return live().patchBar(); }
    const std::vector<LivePatch>& patches() { return app->livePatchStore.patches.get(); }

    std::optional<size_t> highlightedChip()
    {
        std::optional<size_t> found;
        for (size_t i = 0; i < bar().chips().size(); ++i)
            if (bar().chips()[i]->isActive())
                found = i;
        return found;
    }
};

TEST_F(LiveViewTest, PatchBarSavesOverwritesDeletesAndSteps)
{
    EXPECT_FALSE(bar().back.isEnabled()); // nothing to step through yet
    for (const char* name : {"Intro", "Verse", "Chorus"})
        bar().saveNew(name);
    EXPECT_EQ(highlightedChip(), 2u);

    // The save popover proposes the next number, in both languages.
    auto save = bar().makeSaveView();
    EXPECT_EQ(save->nameField.getText(), "Patch 4");
    EXPECT_EQ(save->caption(), "Recalled by Program Change 4 from your controller.");
    localization.toggle();
    EXPECT_EQ(bar().makeSaveView()->caption(),
              juce::String::fromUTF8("Se recallará con Program Change 4 desde tu controlador."));
    localization.toggle();

    // Only spaces: Save stays disabled; surrounding spaces are kept as typed.
    save->nameField.setText("   ");
    drainMessages(); // the field reports its changes on the message loop
    EXPECT_FALSE(save->saveButton.isEnabled());
    save->save();
    EXPECT_EQ(patches().size(), 3u);
    save->nameField.setText("  Bridge  ");
    drainMessages();
    EXPECT_TRUE(save->saveButton.isEnabled());
    save->save();
    ASSERT_EQ(patches().size(), 4u);
    EXPECT_EQ(patches()[3].name, "  Bridge  ");
    EXPECT_EQ(highlightedChip(), 3u);

    // Overwriting keeps the place, the name and the id, takes the sound, and makes it active.
    const auto verse = patches()[1];
    app->audioEngine.masterVolume = 0.31;
    bar().overwrite(1);
    EXPECT_EQ(patches()[1].id, verse.id);
    EXPECT_EQ(patches()[1].name, "Verse");
    EXPECT_EQ(patches()[1].masterVolume, 0.31);
    EXPECT_EQ(highlightedChip(), 1u);
    EXPECT_EQ(bar().chipMenu(1).getNumItems(), 2);

    // Deleting the active patch leaves no chip highlighted.
    bar().remove(1);
    EXPECT_EQ(patches().size(), 3u);
    EXPECT_FALSE(highlightedChip().has_value());

    // The arrow keys step only while the Live tab shows.
    const juce::KeyPress right(juce::KeyPress::rightKey), left(juce::KeyPress::leftKey);
    view->selectTab(0);
    view->keyPressed(right);
    EXPECT_FALSE(highlightedChip().has_value());
    view->selectTab(1);
    EXPECT_TRUE(view->keyPressed(right));
    EXPECT_EQ(highlightedChip(), 0u); // from none, → takes the first
    EXPECT_TRUE(view->keyPressed(right));
    EXPECT_EQ(highlightedChip(), 1u);
    EXPECT_EQ(app->audioEngine.masterVolume.get(), patches()[1].masterVolume);
    bar().remove(1);
    EXPECT_TRUE(view->keyPressed(left));
    EXPECT_EQ(highlightedChip(), 1u); // from none, ← takes the last
}

TEST_F(LiveViewTest, TheActivePatchIsAlwaysInView)
{
    // More patches than the bar shows: each step, either way round, keeps its chip in view.
    for (int i = 0; i < 30; ++i)
        bar().saveNew("Song " + juce::String(i + 1));
    view->selectTab(1);
    const auto inView = [&]
    {
        const auto index = highlightedChip();
        const auto shown = bar().visibleChips();
        const auto chip = index ? bar().chips()[*index]->getBounds() : juce::Rectangle<int>();
        return index && chip.getX() >= shown.getX() && chip.getRight() <= shown.getRight();
    };
    ASSERT_LT(bar().visibleChips().getWidth(), bar().chips().back()->getRight());
    EXPECT_TRUE(inView()); // the last one saved
    for (int i = 0; i < 31; ++i)
    {
        bar().step(+1);
        EXPECT_TRUE(inView()) << "step " << i;
    }
    for (int i = 0; i < 5; ++i)
    {
        bar().step(-1);
        EXPECT_TRUE(inView()) << "back " << i;
    }
}

TEST_F(LiveViewTest, StripsShowWhatTheLayersDo)
{
    auto& a = live().strip(0);
    auto& b = live().strip(1);
    auto& layerB = app->audioEngine.layerB();
    EXPECT_FALSE(a.hasPowerSwitch());
    EXPECT_TRUE(b.hasPowerSwitch());

    // A sound that failed to load says so on its strip (this engine has no bank).
    EXPECT_EQ(b.shownError(), juce::String::fromUTF8(layerB.loadError->value_or("").c_str()));
    layerB.loadError = std::string("No se pudo cargar el sonido");
    EXPECT_EQ(b.shownError(), "No se pudo cargar el sonido");
    layerB.loadError = std::nullopt;
    EXPECT_TRUE(b.shownError().isEmpty());

    // EQ: half a decibel lights the dot and reads 0 dB; -3.9 reads -3 dB.
    layerB.eqLowGain = 0.0;
    layerB.eqMidGain = 0.0;
    layerB.eqHighGain = 0.0;
    EXPECT_FALSE(b.isActive(ChannelStrip::Module::eq));
    layerB.eqLowGain = -0.5;
    EXPECT_TRUE(b.isActive(ChannelStrip::Module::eq));
    auto eqPanel = b.makePanel(ChannelStrip::Module::eq);
    auto eqRows = findAll<SliderRow>(*eqPanel);
    ASSERT_EQ(eqRows.size(), 3u);
    EXPECT_EQ(eqRows[0]->valueText(), "0 dB");
    layerB.eqLowGain = -3.9;
    EXPECT_EQ(eqRows[0]->valueText(), "-3 dB");

    // Transposition: "+12 st" at the top, where plus does nothing.
    auto pitchPanel = b.makePanel(ChannelStrip::Module::pitch);
    auto steppers = findAll<StepperRow>(*pitchPanel);
    ASSERT_EQ(steppers.size(), 2u);
    EXPECT_EQ(steppers[0]->text(), "0 st");
    for (int i = 0; i < 14; ++i)
        steppers[0]->step(+1);
    EXPECT_EQ(layerB.transposeSemitones.get(), 12);
    EXPECT_EQ(steppers[0]->text(), "+12 st");
    EXPECT_FALSE(steppers[0]->canStep(+1));
    EXPECT_TRUE(b.isActive(ChannelStrip::Module::pitch));
    layerB.transposeSemitones = -3;
    EXPECT_EQ(steppers[0]->text(), "-3 st");
    steppers[1]->step(+1);
    EXPECT_EQ(steppers[1]->text(), "+1");

    // A partial key range lights Range.
    EXPECT_FALSE(b.isActive(ChannelStrip::Module::split));
    layerB.lowKey = 60;
    EXPECT_TRUE(b.isActive(ChannelStrip::Module::split));

    // The power switch, and the fader dimmed to 40 % while the layer is off.
    b.powerSwitch().setToggleState(true, juce::dontSendNotification);
    b.powerSwitch().onClick();
    EXPECT_TRUE(layerB.isEnabled.get());
    EXPECT_EQ(b.fader().getAlpha(), 1.0f);
    b.powerSwitch().setToggleState(false, juce::dontSendNotification);
    b.powerSwitch().onClick();
    EXPECT_FALSE(layerB.isEnabled.get());
    EXPECT_NEAR(b.fader().getAlpha(), 0.4f, 1e-6);

    // "No effect" puts out the FX dot.
    layerB.effectPlugin = PluginRef{PluginRef::effectType, 1, 2, "Maker – Echo"};
    EXPECT_TRUE(b.isActive(ChannelStrip::Module::fx));
    auto fxPanel = b.makePanel(ChannelStrip::Module::fx);
    auto pills = findAll<MenuPill>(*fxPanel);
    ASSERT_EQ(pills.size(), 1u);
    const auto menu = pills[0]->makeMenu();
    const auto* noEffect = entry(menu, "No effect");
    ASSERT_NE(noEffect, nullptr);
    noEffect->action();
    EXPECT_FALSE(b.isActive(ChannelStrip::Module::fx));
    EXPECT_EQ(pills[0]->getButtonText(), "No effect");
}

TEST_F(LiveViewTest, AStageRunLeavesNothingSoundingAndTheSessionAsShown)
{
    app->setUpSession();
    auto& engine = app->audioEngine;
    live().strip(1).powerSwitch().setToggleState(true, juce::dontSendNotification);
    live().strip(1).powerSwitch().onClick();
    engine.layerB().lowKey = 60;
    bar().saveNew("Split");
    engine.layerC().isEnabled = true;
    engine.layerB().lowKey = 0;
    bar().saveNew("Stack");

    // Notes held, pedal down, and patches recalled by Program Change over them.
    send(*app, {0x90, 48, 90});
    send(*app, {0x90, 64, 90});
    send(*app, {0xB0, 64, 127});
    send(*app, {0xC0, 0});
    EXPECT_EQ(highlightedChip(), 0u);
    send(*app, {0x90, 67, 100});
    send(*app, {0x80, 48, 0});
    view->selectTab(0);
    send(*app, {0xC0, 1});
    view->selectTab(1);
    EXPECT_EQ(highlightedChip(), 1u);

    // Layers changed from the strips while the pedal holds the chord.
    auto& c = live().strip(2);
    const auto menu = c.instrumentMenu();
    const auto* organ =
        entry(menu, fromUTF8(variants(InstrumentCategory::organ)[1].name(AppLanguage::english)));
    ASSERT_NE(organ, nullptr);
    organ->action();
    c.fader().beginDrag();
    c.fader().dragTo(48.0f, false);
    c.fader().endDrag();
    live().strip(3).powerSwitch().setToggleState(true, juce::dontSendNotification);
    live().strip(3).powerSwitch().onClick();

    send(*app, {0x80, 64, 0});
    send(*app, {0x80, 67, 0});
    send(*app, {0xB0, 64, 0});

    // Nothing keeps sounding anywhere.
    EXPECT_TRUE(app->midiManager.sustainedNotes->empty());
    for (auto* layer : engine.playingLayers())
        EXPECT_TRUE(layer->soundedNotes().empty()) << layer->slot;

    // The saved session holds what the strips show.
    app->willTerminate();
    const auto stored = app->sessionStore->fileLocation().loadFileAsString();
    const auto session = SessionState::decode(stored.toStdString());
    ASSERT_TRUE(session.has_value());
    const auto& layers = session->patch.layers;
    ASSERT_EQ(layers.size(), 4u);
    for (size_t i = 0; i < 4; ++i)
    {
        auto& strip = live().strip(i);
        EXPECT_EQ(strip.percentText(), juce::String((int)(layers[i].volume * 100.0)) + "%");
        if (strip.hasPowerSwitch())
        {
            EXPECT_EQ(strip.powerSwitch().getToggleState(), layers[i].isEnabled);
        }
    }
    EXPECT_EQ(layers[2].categoryRawValue, (int)InstrumentCategory::organ);
    EXPECT_EQ(layers[2].variantIndex, 1);
    EXPECT_EQ(live().strip(2).instrumentText(), organ->text);
    EXPECT_TRUE(layers[3].isEnabled);
}

} // namespace norvane::test
