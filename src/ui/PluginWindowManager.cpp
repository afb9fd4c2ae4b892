#include "ui/PluginWindowManager.h"

#include "core/MessageThread.h"
#include "engine/AudioEngine.h"
#include "engine/PluginNode.h"
#include "ui/KeyboardHome.h"

namespace norvane
{

namespace
{

/** A plug-in without an editor of its own: a note, then its parameters. */
class GenericPluginView final : public juce::Component
{
public:
    GenericPluginView(juce::AudioProcessor& plugin, const juce::String& text) : parameters(plugin)
    {
        note.setText(text, juce::dontSendNotification);
        note.setJustificationType(juce::Justification::centred);
        note.setFont(juce::Font(15.0f));
        addAndMakeVisible(note);
        addAndMakeVisible(parameters);
        setSize(std::max(420, parameters.getWidth()) + 2 * padding,
                std::min(600, parameters.getHeight()) + noteHeight + 2 * padding);
    }

    void resized() override
    {
        auto area = getLocalBounds().reduced(padding);
        note.setBounds(area.removeFromTop(noteHeight));
        parameters.setBounds(area);
    }

private:
    static constexpr int padding = 40, noteHeight = 36;
    juce::Label note;
    juce::GenericAudioProcessorEditor parameters;
};

class PluginWindow final : public juce::DocumentWindow
{
public:
    PluginWindow(const juce::String& title, juce::Component* content)
        : juce::DocumentWindow(title, juce::Colour(0xff1c1f24), juce::DocumentWindow::closeButton)
    {
        setUsingNativeTitleBar(true);
        setContentOwned(content, true); // an editor tells its plug-in when it goes
        setResizable(true, false);
        KeyboardHome::returnWhenGone(*this); // hidden or closed: the keys play again
    }

    void closeButtonPressed() override { setVisible(false); } // kept for the next open
};

} // namespace

PluginWindowManager::~PluginWindowManager() = default;

PluginWindowManager& PluginWindowManager::shared()
{
    static PluginWindowManager manager;
    return manager;
}

juce::String PluginWindowManager::noInterfaceText(AppLanguage language)
{
    return juce::String::fromUTF8(localized(language, "Este plugin no ofrece interfaz propia.",
                                            "This plugin has no interface of its own.")
                                      .c_str());
}

void PluginWindowManager::watch(AudioEngine& engine)
{
    subscriptions.push_back(
        engine.pluginNodeWillBeRemoved.add([this](PluginNode& node) { close(node); }));
}

juce::DocumentWindow* PluginWindowManager::windowFor(PluginNode& node) const
{
    const auto it = windows.find(&node);
    return it == windows.end() ? nullptr : it->second.get();
}

void PluginWindowManager::open(PluginNode& node, const juce::String& title, AppLanguage language)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    if (auto* window = windowFor(node))
    {
        window->setVisible(true);
        window->toFront(true);
        return;
    }

    auto& plugin = node.plugin();
    std::unique_ptr<juce::DocumentWindow> window;
    if (auto* editor = plugin.hasEditor() ? plugin.createEditorIfNeeded() : nullptr)
        window = std::make_unique<PluginWindow>(title, editor);
    else
        window = std::make_unique<PluginWindow>(
            title, new GenericPluginView(plugin, noInterfaceText(language)));

    window->centreWithSize(window->getWidth(), window->getHeight());
    window->setVisible(true);
    window->toFront(true);
    windows[&node] = std::move(window);
}

void PluginWindowManager::closeAll()
{
    windows.clear();
}

void PluginWindowManager::close(PluginNode& node)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    windows.erase(&node);
}

} // namespace norvane
