#include "store/LivePatch.h"
#include "support/MessageLoop.h"
#include "support/WindowFixture.h"
#include "ui/LiveView.h"
#include "ui/PatchBar.h"

#include <set>

namespace norvane::test
{

/** The main content in a real window on the display: keys reach it as the X server's do,
    through the window's peer, which hands each to whatever has the keyboard focus. */
class FocusTest : public WindowTest
{
protected:
    FocusTest()
    {
        view->computerKeys().isKeyDown = [this](int code) { return down.count(code) > 0; };
        view->computerKeys().repeatWindowMs = 0;
        view->setSize(ContentView::minimumWidth, ContentView::minimumHeight);
        window.setContentNonOwned(view.get(), true);
        window.addToDesktop();
        window.setVisible(true);
        window.toFront(true);
    }

    ~FocusTest() override
    {
        juce::PopupMenu::dismissAllActiveMenus();
        window.clearContentComponent();
        drainMessages();
    }

    /** A key pressed as the display sends it; what it played is taken in. */
    bool press(int code)
    {
        down.insert(code);
        const bool used =
            window.getPeer()->handleKeyPress(juce::KeyPress(code, {}, (juce::juce_wchar)code));
        drainMessages(20);
        settle(app->audioEngine);
        return used;
    }

    void release(int code)
    {
        down.erase(code);
        window.getPeer()->handleKeyUpOrDown(false);
        drainMessages(20);
        settle(app->audioEngine);
    }

    /** The letter A (middle C) through the window: does it sound? */
    bool keysPlay()
    {
        press('A');
        const bool sounds = app->midiManager.activeNotes->count(60) == 1;
        release('A');
        return sounds;
    }

    juce::CallOutBox* popover()
    {
        for (auto* child : window.getChildren())
            if (auto* box = dynamic_cast<juce::CallOutBox*>(child))
                return box;
        return nullptr;
    }

    /** Opens a popover from its button and closes it with Escape, through the window. */
    void openAndEscape(juce::Button& button)
    {
        button.triggerClick();
        ASSERT_TRUE(waitUntil([&] { return popover() != nullptr; }));
        ASSERT_FALSE(view->hasKeyboardFocus(true)); // the popover has it
        press(juce::KeyPress::escapeKey);
        ASSERT_TRUE(waitUntil([&] { return popover() == nullptr; }));
        drainMessages();
    }

    juce::DocumentWindow window{"Norvane", juce::Colours::black, 0};
    std::set<int> down;
};

TEST_F(FocusTest, TheKeysComeBackWheneverAPopoverOrMenuCloses)
{
    ASSERT_TRUE(waitUntil([&] { return view->hasKeyboardFocus(true); }));
    EXPECT_TRUE(keysPlay());

    // The MIDI Controls popover, closed with Escape: the letters play again.
    openAndEscape(view->connections().controls);
    EXPECT_TRUE(view->hasKeyboardFocus(true));
    EXPECT_TRUE(keysPlay());

    // After the key ranges' popover, Escape does its own job again: it stops a MIDI learn.
    view->selectTab(1);
    openAndEscape(view->livePage().keyRangeButton());
    app->midiManager.learn(ControlTarget::of(ControlTarget::Kind::masterVolume));
    drainMessages();
    ASSERT_TRUE(app->midiManager.learningTarget->has_value());
    press(juce::KeyPress::escapeKey);
    EXPECT_FALSE(app->midiManager.learningTarget->has_value());

    // After the save popover, the arrows step through the patches.
    for (const char* name : {"One", "Two"})
        app->livePatchStore.save(
            LivePatch::capture(app->audioEngine, app->dronePadController, name));
    openAndEscape(view->livePage().patchBar().saveButton);
    press(juce::KeyPress::rightKey);
    EXPECT_EQ(app->livePatchStore.activeIndex(), std::optional<int>(0));
    press(juce::KeyPress::rightKey);
    EXPECT_EQ(app->livePatchStore.activeIndex(), std::optional<int>(1));

    // A menu dismissed, as a click beside it does: the keys play.
    view->connections().midiPicker.triggerClick();
    drainMessages();
    juce::PopupMenu::dismissAllActiveMenus();
    drainMessages();
    EXPECT_TRUE(keysPlay());
}

TEST_F(FocusTest, ATextFieldInAPopoverKeepsItsKeys)
{
    ASSERT_TRUE(waitUntil([&] { return view->hasKeyboardFocus(true); }));
    view->selectTab(1);
    view->livePage().patchBar().saveButton.triggerClick();
    ASSERT_TRUE(waitUntil([&] { return popover() != nullptr; }));
    ASSERT_TRUE(waitUntil(
        []
        {
            return dynamic_cast<juce::TextEditor*>(
                       juce::Component::getCurrentlyFocusedComponent()) != nullptr;
        }));
    press('A'); // typed into the name, played nowhere
    EXPECT_TRUE(app->midiManager.activeNotes->empty());
    release('A');
    press(juce::KeyPress::escapeKey);
    ASSERT_TRUE(waitUntil([&] { return popover() == nullptr; }));
    EXPECT_TRUE(waitUntil([&] { return view->hasKeyboardFocus(true); }));
}

} // namespace norvane::test
