#include "store/ControllerBindings.h"
#include "support/MenuEntries.h"
#include "support/WindowFixture.h"
#include "ui/ChannelStrip.h"
#include "ui/ConnectionsBar.h"
#include "ui/DronePadView.h"
#include "ui/LiveView.h"
#include "ui/MetronomeView.h"
#include "ui/MidiLearn.h"
#include "ui/PatchBar.h"

namespace norvane::test
{

namespace
{

using K = ControlTarget::Kind;

juce::MouseEvent rightClick(juce::Component& on)
{
    const auto at = on.getLocalBounds().getCentre().toFloat();
    return juce::MouseEvent(juce::Desktop::getInstance().getMainMouseSource(), at,
                            juce::ModifierKeys(juce::ModifierKeys::rightButtonModifier), 1.0f, 0.0f,
                            0.0f, 0.0f, 0.0f, &on, &on, juce::Time::getCurrentTime(), at,
                            juce::Time::getCurrentTime(), 1, false);
}

juce::String tooltipOf(juce::Component& control)
{
    auto* client = dynamic_cast<juce::SettableTooltipClient*>(&control);
    return client != nullptr ? client->getTooltip() : juce::String();
}

} // namespace

/** Every control a controller can move offers learning on a right-click, and a right-click
    does nothing else to it: no press, no switch, no drag. */
TEST_F(WindowTest, TheConsolesControlsOfferMidiLearn)
{
    auto& live = view->livePage();
    auto& header = view->header();
    const std::pair<juce::Component*, ControlTarget> controls[] = {
        {&live.masterStrip().fader(), ControlTarget::master()},
        {&live.strip(1).fader(), ControlTarget::ofLayer(K::layerVolume, 1)},
        {&live.strip(2).powerSwitch(), ControlTarget::ofLayer(K::layerEnabled, 2)},
        {&live.dronePad().enabledSwitch(), ControlTarget::of(K::droneEnabled)},
        {&live.dronePad().knob(0), ControlTarget::of(K::droneVolume)},
        {&live.metronome().startStopButton(), ControlTarget::of(K::metronomeRunning)},
        {&live.metronome().tapButton(), ControlTarget::of(K::metronomeTap)},
        {&header.transposeUp, ControlTarget::of(K::transposeUp)},
        {&header.transposeDown, ControlTarget::of(K::transposeDown)},
        {&header.panic, ControlTarget::of(K::panic)},
        {&live.patchBar().back, ControlTarget::of(K::patchPrevious)},
        {&live.patchBar().forward, ControlTarget::of(K::patchNext)},
    };
    for (auto& [control, target] : controls)
    {
        ASSERT_NE(learn->markOn(*control), nullptr) << target.name();
        const auto entries = menuEntries(learn->menuFor(target));
        EXPECT_NE(findEntry(entries, "Learn MIDI"), nullptr) << target.name();
    }
    // The knobs of a strip's panels, made when a panel opens.
    auto panel = live.strip(0).makePanel(ChannelStrip::Module::eq);
    std::vector<juce::Slider*> sliders;
    std::function<void(juce::Component&)> find = [&](juce::Component& c)
    {
        if (auto* s = dynamic_cast<juce::Slider*>(&c))
            sliders.push_back(s);
        for (auto* child : c.getChildren())
            find(*child);
    };
    find(*panel);
    ASSERT_EQ(sliders.size(), 3u);
    for (auto* s : sliders)
        EXPECT_NE(learn->markOn(*s), nullptr);

    // A right-click on a switch or a button is the menu's alone.
    auto& power = live.strip(2).powerSwitch();
    const bool wasOn = power.getToggleState();
    power.mouseDown(rightClick(power));
    power.mouseUp(rightClick(power));
    EXPECT_EQ(power.getToggleState(), wasOn);
    app->midiManager.transposeSemitones = 0;
    header.transposeUp.mouseDown(rightClick(header.transposeUp));
    header.transposeUp.mouseUp(rightClick(header.transposeUp));
    EXPECT_EQ(app->midiManager.transposeSemitones.get(), 0);
    auto& fader = live.strip(1).fader();
    const double level = fader.value();
    fader.mouseDrag(rightClick(fader).withNewPosition(juce::Point<float>(10.0f, 0.0f)));
    fader.mouseUp(rightClick(fader));
    EXPECT_EQ(fader.value(), level);
}

/** Learning from the menu: the control wears a ring and says what it waits for; Escape stops
    it. The next controller binds it: a mark, the binding in its tooltip, "Forget MIDI" in its
    menu and a row in the MIDI controls' list, whose button forgets it again. */
TEST_F(WindowTest, LearningShowsOnTheControlAndInTheList)
{
    auto& fader = view->livePage().strip(0).fader();
    const auto target = ControlTarget::ofLayer(K::layerVolume, 0);
    auto* mark = learn->markOn(fader);
    ASSERT_NE(mark, nullptr);
    EXPECT_FALSE(mark->isVisible());

    findEntry(menuEntries(learn->menuFor(target)), "Learn MIDI")->action();
    EXPECT_EQ(app->midiManager.learningTarget.get(), target);
    EXPECT_TRUE(mark->isVisible());
    EXPECT_TRUE(tooltipOf(fader).contains("Esc cancels"));
    EXPECT_TRUE(view->keyPressed(juce::KeyPress(juce::KeyPress::escapeKey)));
    EXPECT_FALSE(app->midiManager.learningTarget->has_value());
    EXPECT_FALSE(mark->isVisible());
    EXPECT_FALSE(tooltipOf(fader).contains("Esc"));
    EXPECT_FALSE(view->keyPressed(juce::KeyPress(juce::KeyPress::escapeKey))); // nothing to stop

    findEntry(menuEntries(learn->menuFor(target)), "Learn MIDI")->action();
    settle(app->audioEngine);
    const std::uint8_t move[] = {0xB1, 20, 64};
    app->midiManager.processNow(move, 3);
    settle(app->audioEngine);
    EXPECT_EQ(app->controllerBindings.bindingFor(target),
              (ControllerBinding{target, ControllerBinding::Source::controller, 20, 2}));
    EXPECT_TRUE(mark->isVisible());
    EXPECT_TRUE(tooltipOf(fader).endsWith(juce::String::fromUTF8("MIDI: CC 20 · channel 2")));
    const auto entries = menuEntries(learn->menuFor(target));
    EXPECT_NE(findEntry(entries, juce::String::fromUTF8("Forget MIDI (CC 20 · channel 2)")), nullptr)
        << entries.back().text;

    MidiControlsView list(context, app->midiManager);
    ASSERT_EQ(list.bindingCount(), 1);
    EXPECT_EQ(list.bindingText(0).first, juce::String::fromUTF8("Layer A · Volume"));
    EXPECT_EQ(list.bindingText(0).second, juce::String::fromUTF8("CC 20 · channel 2"));
    localization.language = AppLanguage::spanish;
    EXPECT_EQ(list.bindingText(0).first, juce::String::fromUTF8("Capa A · Volumen"));
    EXPECT_TRUE(tooltipOf(fader).endsWith(juce::String::fromUTF8("MIDI: CC 20 · canal 2")));
    list.forgetButton(0).triggerClick();
    juce::MessageManager::getInstance()->runDispatchLoopUntil(50);
    EXPECT_EQ(list.bindingCount(), 0);
    EXPECT_FALSE(app->controllerBindings.bindingFor(target));
    EXPECT_FALSE(mark->isVisible());
    EXPECT_FALSE(tooltipOf(fader).contains("MIDI:"));

    // The reversed pedal's switch.
    ASSERT_FALSE(list.pedalInverted.getToggleState());
    list.pedalInverted.triggerClick();
    juce::MessageManager::getInstance()->runDispatchLoopUntil(50);
    EXPECT_TRUE(app->midiManager.sustainPedalInverted.get());
}

} // namespace norvane::test
