#pragma once

#include "aids/DronePadController.h"
#include "core/Scheduler.h"
#include "engine/AudioEngine.h"
#include "input/ComputerKeyboardManager.h"
#include "input/MIDIManager.h"
#include "store/ControllerBindings.h"
#include "store/LivePatchStore.h"
#include "store/Localization.h"
#include "store/SessionStore.h"
#include "store/UserDefaults.h"
#include "update/UpdateChecker.h"

#include <memory>

namespace norvane
{

/** The program's long-lived objects, created once in this order and handed to each other,
    and the one-time wiring that runs when the window first shows: the update check, the
    session restore and autosave, and patch recall by Program Change.

    The window only hangs views on these objects. Message thread only.
*/
class AppState
{
public:
    struct Options
    {
        AudioEngine::Options engine;
        std::unique_ptr<MidiSystem> midi;     ///< the machine's MIDI, or a stand-in
        juce::File folder;                    ///< the application folder
        UserDefaults* defaults = nullptr;     ///< nothing: the user's settings
        Localization* localization = nullptr; ///< nothing: the shared one
        std::optional<juce::URL> updateFeed;  ///< nothing: the maker's feed
    };

    AppState(Scheduler& scheduler, Options options);
    ~AppState();

    /** Runs once; later calls do nothing. */
    void setUpSession();

    /** The end of the run: the session is saved at once. */
    void willTerminate();

    /** Does what a bound controller or key pressed: flips a switch or fires an action. */
    void press(const ControlTarget& target);

    Scheduler& scheduler;
    UserDefaults& defaults;
    AudioEngine audioEngine;
    MIDIManager midiManager;
    ComputerKeyboardManager keyboardInput;
    DronePadController dronePadController;
    LivePatchStore livePatchStore;
    ControllerBindings controllerBindings;
    Localization& loc;
    UpdateChecker updates;
    std::unique_ptr<SessionStore> sessionStore;

private:
    juce::File folder;
    CallbackList<ControlTarget>::Subscription pressWatch;
    CallbackList<const ControllerBinding&>::Subscription learnWatch;
    CallbackList<const std::vector<ControllerBinding>&>::Subscription bindingsWatch;
};

} // namespace norvane
