#include "engine/PluginNode.h"
#include "support/EngineFixture.h"
#include "support/InstalledPlugins.h"
#include "ui/PluginWindowManager.h"

namespace norvane::test
{

namespace
{

/** Every label's text inside a component. */
juce::StringArray labelTexts(juce::Component& root)
{
    juce::StringArray texts;
    if (auto* label = dynamic_cast<juce::Label*>(&root))
        texts.add(label->getText());
    for (auto* child : root.getChildren())
        texts.addArray(labelTexts(*child));
    return texts;
}

template <typename Kind> bool contains(juce::Component& root)
{
    if (dynamic_cast<Kind*>(&root) != nullptr)
        return true;
    for (auto* child : root.getChildren())
        if (contains<Kind>(*child))
            return true;
    return false;
}

} // namespace

class PluginWindowTest : public EngineFixture
{
protected:
    PluginWindowTest()
    {
        engine->setPluginFinder(findInstalled);
        windows.watch(*engine);
    }
    ~PluginWindowTest() override { windows.closeAll(); }

    PluginWindowManager windows;
};

TEST_F(PluginWindowTest, OneWindowPerNodeKeptUntilTheNodeGoes)
{
    auto& layer = engine->layerA();
    engine->loadInstrumentPlugin(installedRef("MDA Piano"), std::nullopt, layer);
    ASSERT_TRUE(waitUntil([&] { return layer.pluginNode() != nullptr; }));
    auto& node = *layer.pluginNode();

    windows.open(node, juce::String::fromUTF8("David Robillard \u2013 MDA Piano"),
                 AppLanguage::english);
    auto* window = windows.windowFor(node);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->getName(), juce::String::fromUTF8("David Robillard \u2013 MDA Piano"));
    if (!node.plugin().hasEditor())
    {
        EXPECT_TRUE(labelTexts(*window).contains("This plugin has no interface of its own."));
    }

    // Opened twice: one window. Closed with its button: hidden, and back on the next open.
    windows.open(node, "again", AppLanguage::english);
    EXPECT_EQ(windows.windowCount(), 1);
    EXPECT_EQ(windows.windowFor(node), window);
    window->closeButtonPressed();
    EXPECT_FALSE(window->isVisible());
    windows.open(node, "again", AppLanguage::english);
    EXPECT_EQ(windows.windowFor(node), window);
    EXPECT_TRUE(window->isVisible());

    // Back to the built-in sound: the plug-in and its window go.
    engine->loadInstrumentPlugin(std::nullopt, std::nullopt, layer);
    EXPECT_EQ(windows.windowCount(), 0);
}

TEST_F(PluginWindowTest, APlugInWithoutAnEditorShowsTheNoteAndItsParameters)
{
    auto& layer = engine->layerA();
    engine->loadEffectPlugin(installedRef("MDA Delay"), std::nullopt, layer);
    ASSERT_TRUE(waitUntil([&] { return layer.effectNode() != nullptr; }));
    auto& node = *layer.effectNode();
    windows.open(node, "FX", AppLanguage::spanish);
    auto* window = windows.windowFor(node);
    ASSERT_NE(window, nullptr);
    if (node.plugin().hasEditor())
        GTEST_SKIP() << "this build of the plug-in brings its own editor";
    EXPECT_TRUE(labelTexts(*window).contains(
        juce::String::fromUTF8("Este plugin no ofrece interfaz propia.")));
    EXPECT_TRUE(contains<juce::GenericAudioProcessorEditor>(*window));
}

} // namespace norvane::test
