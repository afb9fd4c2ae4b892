#include "aids/DronePadController.h"
#include "aids/Metronome.h"
#include "store/UserDefaults.h"
#include "support/EngineFixture.h"
#include "support/MessageLoop.h"
#include "support/TempFolder.h"
#include "ui/DronePadView.h"
#include "ui/MetronomeView.h"

#include "support/ViewSetup.h"

#include <gtest/gtest.h>

namespace norvane::test
{

namespace
{
/** A click as the button receives it: through its own click handling, on the message loop. */
void click(juce::Button& button)
{
    button.triggerClick();
    drainMessages(5);
}

/** Children that lie outside the panel or on top of one another. */
int misplacedChildren(juce::Component& panel, int height)
{
    int faults = 0;
    const auto area = juce::Rectangle<int>(panel.getWidth(), height);
    for (auto* a : panel.getChildren())
    {
        if (!a->isVisible())
            continue;
        faults += !area.contains(a->getBounds());
        for (auto* b : panel.getChildren())
            faults += a < b && b->isVisible() && a->getBounds().intersects(b->getBounds());
    }
    return faults;
}

struct MenuSection
{
    juce::String header;
    juce::StringArray items, ticked;
    std::vector<std::function<void()>> actions;
};

std::vector<MenuSection> sections(const juce::PopupMenu& menu)
{
    std::vector<MenuSection> list;
    juce::PopupMenu::MenuItemIterator it(menu);
    while (it.next())
    {
        const auto& item = it.getItem();
        if (item.isSectionHeader)
            list.push_back({item.text, {}, {}, {}});
        else if (!item.isSeparator && !list.empty())
        {
            list.back().items.add(item.text);
            if (item.isTicked)
                list.back().ticked.add(item.text);
            list.back().actions.push_back(item.action);
        }
    }
    return list;
}
} // namespace

class PanelTest : public EngineFixture, protected ViewSetup
{
protected:
};

TEST_F(PanelTest, DroneKeysSwitchAndOctaveSteps)
{
    auto& layer = engine->dronePad();
    DronePadController drone(layer, scheduler);
    NoteLedger ledger(layer);
    DronePadView view(context, drone, layer);

    for (int width : {280, 380})
    {
        view.setSize(width, view.idealHeight());
        EXPECT_EQ(misplacedChildren(view, view.idealHeight()), 0) << width;
    }

    // A key switches the drone on in that key; the same key again leaves it on.
    click(view.keyButton(4));
    settle();
    EXPECT_TRUE(drone.isEnabled.get());
    EXPECT_EQ(drone.rootPitchClass.get(), 4);
    EXPECT_EQ(ledger.soundingPitches(), (std::vector<int>{40, 47, 52, 59}));
    EXPECT_TRUE(view.keyButton(4).isHighlighted());
    EXPECT_FALSE(view.keyButton(0).isHighlighted());
    EXPECT_TRUE(view.enabledSwitch().getToggleState());
    click(view.keyButton(4));
    EXPECT_TRUE(drone.isEnabled.get());

    click(view.enabledSwitch());
    settle();
    EXPECT_FALSE(drone.isEnabled.get());
    EXPECT_TRUE(ledger.soundingPitches().empty());
    drone.isEnabled = true; // from elsewhere: the switch follows
    EXPECT_TRUE(view.enabledSwitch().getToggleState());

    // The octave stops at 0 and at 6.
    for (int i = 0; i < 3; ++i)
        click(view.octaveDownButton());
    EXPECT_EQ(drone.octave.get(), 0);
    settle();
    ledger.clear();
    click(view.octaveDownButton());
    settle();
    EXPECT_EQ(drone.octave.get(), 0);
    EXPECT_TRUE(ledger.commands.empty());
    EXPECT_EQ(view.octaveText(), "0");
    for (int i = 0; i < 7; ++i)
        click(view.octaveUpButton());
    EXPECT_EQ(drone.octave.get(), 6);
    EXPECT_EQ(view.octaveText(), "6");
}

TEST_F(PanelTest, DronePadTypesAndKnobs)
{
    auto& layer = engine->dronePad();
    DronePadController drone(layer, scheduler);
    NoteLedger ledger(layer);
    DronePadView view(context, drone, layer);
    ASSERT_EQ(view.padTypeCount(), 3u);
    drone.chooseKey(4);

    // A pad type: its tone at once, the notes after the reload.
    click(view.padTypeButton(1));
    EXPECT_EQ(layer.variantIndex.get(), 1);
    EXPECT_TRUE(view.padTypeButton(1).isHighlighted());
    EXPECT_FALSE(view.padTypeButton(0).isHighlighted());
    EXPECT_DOUBLE_EQ(view.knob(1).value(), 0.85);
    EXPECT_DOUBLE_EQ(view.knob(2).value(), 0.95);
    settle();
    EXPECT_TRUE(ledger.soundingPitches().empty());
    scheduler.advance(0.2);
    settleChanges();
    EXPECT_EQ(ledger.soundingPitches(), (std::vector<int>{40, 47, 52, 59}));

    // Shimmer up adds the high octaves; a double-click takes them away again.
    auto& shimmer = view.knob(4);
    shimmer.dragTo(-RotaryKnob::dragPoints, false);
    shimmer.endDrag();
    settle();
    EXPECT_DOUBLE_EQ(drone.shimmer.get(), 1.0);
    EXPECT_EQ(ledger.soundingPitches(), (std::vector<int>{40, 47, 52, 59, 64, 71, 76}));
    shimmer.resetToDefault();
    settle();
    EXPECT_EQ(drone.shimmer.get(), 0.0);
    EXPECT_EQ(ledger.soundingPitches(), (std::vector<int>{40, 47, 52, 59}));

    // The other knobs' defaults land on their own values.
    view.knob(0).resetToDefault();
    EXPECT_DOUBLE_EQ(layer.volume.get(), 0.5);
    drone.brightness = 0.0;
    view.knob(3).resetToDefault();
    EXPECT_DOUBLE_EQ(drone.brightness.get(), 0.5);
    EXPECT_DOUBLE_EQ(layer.eqHighGain.get(), 2.5); // pad type 1's own high band
    layer.reverbDecay = 0.2;
    view.knob(2).resetToDefault();
    EXPECT_DOUBLE_EQ(layer.reverbDecay.get(), 0.9);

    loc.language = AppLanguage::spanish;
    EXPECT_EQ(view.knob(0).label(), "Volumen");
    EXPECT_EQ(view.knob(3).label(), "Brillo");
    EXPECT_EQ(view.octaveCaption(), "Octava");
    EXPECT_EQ(view.padTypeButton(0).getButtonText(), juce::String::fromUTF8("Cálido"));
}

TEST_F(PanelTest, MetronomeTempoSignatureAndTransport)
{
    auto& metronome = engine->metronome();
    MetronomeView view(context, metronome);
    for (int width : {250, 340})
    {
        view.setSize(width, view.idealHeight());
        EXPECT_EQ(misplacedChildren(view, view.idealHeight()), 0) << width;
    }

    metronome.bpm = 240.0;
    click(view.fasterButton());
    EXPECT_EQ(metronome.bpm.get(), 240.0);
    metronome.bpm = 40.0;
    click(view.slowerButton());
    EXPECT_EQ(metronome.bpm.get(), 40.0);
    click(view.fasterButton());
    EXPECT_EQ(metronome.bpm.get(), 41.0);
    EXPECT_EQ(view.tempoText(), "41");

    auto menu = sections(view.signatureMenu());
    ASSERT_EQ(menu.size(), 2u);
    EXPECT_EQ(menu[0].header, "Simple");
    EXPECT_EQ(menu[0].items, juce::StringArray({"2/4", "3/4", "4/4", "5/4", "6/4", "7/4", "3/8",
                                                "5/8", "7/8", "2/2", "3/2"}));
    EXPECT_EQ(menu[0].ticked, juce::StringArray({"4/4"}));
    EXPECT_EQ(menu[1].header, "Compound");
    EXPECT_EQ(menu[1].items, juce::StringArray({"6/8", "9/8", "12/8"}));
    menu[1].actions[1]();
    EXPECT_EQ(metronome.signature.get(), (TimeSignature{9, 8}));
    EXPECT_EQ(view.signaturePill().getButtonText(), "9/8");
    EXPECT_EQ(sections(view.signatureMenu())[1].ticked, juce::StringArray({"9/8"}));

    view.volumeSlider().setValue(0.3, juce::sendNotificationSync);
    EXPECT_DOUBLE_EQ(metronome.volume.get(), 0.3);
    metronome.volume = 0.9;
    EXPECT_DOUBLE_EQ(view.volumeSlider().getValue(), 0.9);

    EXPECT_EQ(view.startStopSymbol(), "play.fill");
    click(view.startStopButton());
    EXPECT_TRUE(metronome.isRunning.get());
    EXPECT_EQ(view.startStopSymbol(), "stop.fill");
    click(view.startStopButton());
    EXPECT_FALSE(metronome.isRunning.get());
    EXPECT_EQ(view.startStopSymbol(), "play.fill");

    EXPECT_EQ(view.title(), "Metronome");
    loc.language = AppLanguage::spanish;
    EXPECT_EQ(view.title(), juce::String::fromUTF8("Metrónomo"));
    EXPECT_EQ(view.startStopButton().getTooltip(),
              juce::String::fromUTF8("Iniciar o detener el metrónomo"));
    menu = sections(view.signatureMenu());
    EXPECT_EQ(menu[0].header, "Simples");
    EXPECT_EQ(menu[1].header, "Compuestos");
}

} // namespace norvane::test
