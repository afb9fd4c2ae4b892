#pragma once

#include "ui/AppBackground.h"
#include "ui/ChordsTab.h"
#include "ui/ComputerKeys.h"
#include "ui/ConnectionsBar.h"
#include "ui/HeaderBar.h"
#include "ui/Look.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

namespace norvane
{

class AppState;
class CustomNames;
class LiveView;
class PluginLibrary;

/** The main window's content: the header, the connections bar, the accent line, the two tabs
    and the error line, over the window's ground. The letters of the computer keyboard play
    while no text field has the focus.

    The first time it shows, the session is restored and the autosave starts. */
class ContentView final : public juce::Component
{
public:
    ContentView(const ViewContext& context, AppState& app, CustomNames& names, PluginLibrary& plugins);
    ~ContentView() override;

    static constexpr int minimumWidth = 1400;
    static constexpr int minimumHeight = 760;

    void resized() override;
    void paint(juce::Graphics& g) override;
    void paintOverChildren(juce::Graphics& g) override;
    bool keyPressed(const juce::KeyPress& key) override;
    bool keyStateChanged(bool isKeyDown) override;
    void focusLost(FocusChangeType) override;
    void visibilityChanged() override;
    void parentHierarchyChanged() override;

    /** 0: Chords, 1: Live. */
    void selectTab(int index);
    int selectedTab() const { return tab; }

    /** The error line's text: the MIDI input's error first, else the engine's. Empty: none. */
    juce::String errorText() const;

    HeaderBar& header() { return headerBar; }
    ConnectionsBar& connections() { return connectionsBar; }
    ChordsTab& chords() { return chordsTab; }
    LiveView& livePage() { return *live; }
    ComputerKeys& computerKeys() { return keys; }
    PillButton& chordsTabButton() { return chordsButton; }
    PillButton& liveTabButton() { return liveButton; }

    void showAppearance(juce::Component& anchor);
    void showCredits(juce::Component& anchor);

private:
    void refresh();
    /** The keys and the chord, worked out once for both tabs. */
    void showPlayedNotes();
    void startSessionOnce();

    const ViewContext& context;
    AppState& app;
    ModelWatch watch;
    AppBackground background;
    HeaderBar headerBar;
    ConnectionsBar connectionsBar;
    PillButton chordsButton, liveButton;
    ChordsTab chordsTab;
    std::unique_ptr<LiveView> live;
    juce::Label errorLine;
    ComputerKeys keys;
    int tab = 0;
    bool sessionStarted = false;
};

} // namespace norvane
