#pragma once

#include "core/AppLanguage.h"
#include "core/Observable.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <map>
#include <memory>

namespace norvane
{

class AudioEngine;
class PluginNode;

/** The editor windows of hosted plug-ins: one window per plug-in node, showing the plug-in's
    own editor, or, for a plug-in without one, a note saying so above a generic editor of its
    parameters. Opening a node's window again brings the same window to the front; closing it
    with its close button only hides it. A window goes for good when its node leaves the graph.

    Message thread only.
*/
class PluginWindowManager
{
public:
    PluginWindowManager() = default;
    ~PluginWindowManager();

    static PluginWindowManager& shared();

    /** Closes a node's window when the engine removes the node. */
    void watch(AudioEngine& engine);

    void open(PluginNode& node, const juce::String& title, AppLanguage language);
    void close(PluginNode& node);

    /** Closes every window (at the end of the run, before the plug-ins go). */
    void closeAll();

    /** The window recorded for a node, open or hidden. */
    juce::DocumentWindow* windowFor(PluginNode& node) const;
    int windowCount() const { return (int)windows.size(); }

    /** The text shown for a plug-in without an editor of its own. */
    static juce::String noInterfaceText(AppLanguage language);

private:
    std::map<PluginNode*, std::unique_ptr<juce::DocumentWindow>> windows;
    std::vector<CallbackList<PluginNode&>::Subscription> subscriptions;
};

} // namespace norvane
