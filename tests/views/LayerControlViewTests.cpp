#include "catalog/PluginLibrary.h"
#include "engine/SoundLayer.h"
#include "store/CustomNames.h"
#include "store/UserDefaults.h"
#include "support/EngineFixture.h"
#include "support/MenuEntries.h"
#include "support/MessageLoop.h"
#include "support/ScannedLibrary.h"
#include "support/TempFolder.h"
#include "support/ViewSetup.h"
#include "ui/LayerControlView.h"
#include "ui/RenamePopover.h"

namespace norvane::test
{

namespace
{
/** Single-line labels whose text would not fit even at their smallest horizontal scale. */
void collectClippedLabels(juce::Component& parent, juce::StringArray& clipped)
{
    for (auto* child : parent.getChildren())
    {
        if (auto* label = dynamic_cast<juce::Label*>(child);
            label != nullptr && label->isVisible() && label->getText().isNotEmpty())
        {
            const auto font = label->getFont();
            const bool oneLine = label->getHeight() < 2.0f * font.getHeight();
            const float room = (float)label->getWidth() / label->getMinimumHorizontalScale();
            if (oneLine && (float)font.getStringWidth(label->getText()) > room + 0.5f)
                clipped.add(label->getText());
        }
        collectClippedLabels(*child, clipped);
    }
}

juce::PluginDescription fakePiano()
{
    juce::PluginDescription d;
    d.name = "Fake Piano";
    d.manufacturerName = "Test";
    d.pluginFormatName = "LV2";
    d.fileOrIdentifier = "urn:test:fake-piano";
    d.isInstrument = true;
    d.numOutputChannels = 2;
    return d;
}
} // namespace

class LayerControlViewTest : public EngineFixture, protected ViewSetup
{
protected:
    LayerControlViewTest()
    {
        // Plug-ins are never really instantiated here: the reference is set at once, and
        // the failure to find the plug-in would only arrive with the message loop.
        engine->setPluginFinder([](const PluginRef&) { return std::nullopt; });
        layer.category = InstrumentCategory::piano;
        waitForScan(library);
    }

    std::unique_ptr<LayerControlView> makeView(SoundLayer& layer, bool allowDisable = true)
    {
        return std::make_unique<LayerControlView>(context, layer, *engine, names, library,
                                                  allowDisable);
    }

    CustomNames names{temp.folder.getChildFile("CustomNames.json")};
    PluginLibrary library{temp.folder.getChildFile("Plugins.json"),
                          [](auto&) { return std::vector<juce::PluginDescription>{fakePiano()}; }};
    SoundLayer& layer = engine->layerB();
};

TEST_F(LayerControlViewTest, PowerSwitchAndCategoryChoices)
{
    EXPECT_FALSE(makeView(engine->layerA(), false)->hasPowerSwitch());
    auto view = makeView(layer);
    EXPECT_TRUE(view->hasPowerSwitch());
    EXPECT_EQ(view->categoryButtonText(), "Piano");

    auto menu = menuEntries(view->categoryMenu());
    ASSERT_EQ(menu.size(), 6u);
    EXPECT_EQ(menu[3].text, "Organ");
    EXPECT_TRUE(menu[0].ticked);

    // Any load writes loadError (nothing or a reason): a marker left in place means none ran.
    layer.variantIndex = 2;
    settleChanges();
    layer.loadError = std::string("marker");
    menu[0].action();
    settleChanges();
    EXPECT_EQ(layer.loadError.get(), std::optional<std::string>("marker"));
    EXPECT_EQ(layer.variantIndex.get(), 2);

    menu[3].action();
    settleChanges(); // the new sound loads in the background
    EXPECT_EQ(layer.category.get(), InstrumentCategory::organ);
    EXPECT_EQ(layer.variantIndex.get(), 0);
    EXPECT_NE(layer.loadError.get(), std::optional<std::string>("marker"));
    EXPECT_EQ(view->categoryButtonText(), "Organ");
    EXPECT_EQ(view->variantButtonText(), "Drawbar Organ");
    EXPECT_EQ(view->errorText(), juce::String(layer.loadError->value_or("")));
}

TEST_F(LayerControlViewTest, ALoadedPluginTakesTheCategoryButtonAndTheTick)
{
    auto view = makeView(layer);
    library.setSlot(PluginRef::of(fakePiano()), 1, InstrumentCategory::piano);
    auto menu = menuEntries(view->variantMenu());
    EXPECT_EQ(findEntry(menu, "Open plugin window"), nullptr);
    const auto* plugin = findEntry(menu, "Fake Piano");
    ASSERT_NE(plugin, nullptr);
    EXPECT_FALSE(plugin->ticked);
    plugin->action();

    EXPECT_EQ(layer.instrumentPlugin.get(), PluginRef::of(fakePiano()));
    EXPECT_EQ(view->categoryButtonText(), "LV2/VST3 Plugin");
    EXPECT_EQ(view->variantButtonText(), "Fake Piano");
    menu = menuEntries(view->variantMenu());
    EXPECT_EQ(tickedCount(menu), 1);
    EXPECT_TRUE(findEntry(menu, "Fake Piano")->ticked);
    EXPECT_EQ(tickedCount(menuEntries(view->categoryMenu())), 0);
    loc.language = AppLanguage::spanish;
    EXPECT_EQ(view->categoryButtonText(), "Plugin LV2/VST3");
    loc.language = AppLanguage::english;

    // Renaming the sound renames the plug-in that plays, in every menu; the built-in sound
    // behind it keeps its own name.
    auto popover = view->makeSoundRenamePopover();
    EXPECT_EQ(popover->text(), "Fake Piano");
    popover->field().setText("Stage grand");
    popover->save();
    EXPECT_EQ(view->variantButtonText(), "Stage grand");
    EXPECT_NE(findEntry(menuEntries(view->variantMenu()), "Stage grand"), nullptr);
    EXPECT_EQ(names.name(layer.currentVariant(), AppLanguage::english),
              layer.currentVariant().name(AppLanguage::english));
    findEntry(menuEntries(view->variantMenu()), "Restore sound name")->action();
    EXPECT_EQ(view->variantButtonText(), "Fake Piano");
    menu = menuEntries(view->variantMenu());

    // A built-in sound unloads the plug-in.
    menu[1].action();
    EXPECT_FALSE(layer.instrumentPlugin->has_value());
    EXPECT_EQ(layer.variantIndex.get(), 1);
    EXPECT_EQ(view->categoryButtonText(), "Piano");
    EXPECT_TRUE(menuEntries(view->variantMenu())[1].ticked);
}

TEST_F(LayerControlViewTest, SteppersStopAtTheirEndsAndSectionsKeepValuesWhenClosed)
{
    auto view = makeView(layer);
    int heightChanges = 0;
    view->onHeightChanged = [&] { ++heightChanges; };
    const int closed = view->idealHeight();

    view->setExpanded(LayerControlView::Section::pitch, true);
    EXPECT_TRUE(view->isExpanded(LayerControlView::Section::pitch));
    EXPECT_GT(view->idealHeight(), closed + 80);
    EXPECT_EQ(view->getHeight(), view->idealHeight());
    EXPECT_EQ(heightChanges, 1);

    for (int i = 0; i < 20; ++i)
        view->stepTranspose(+1);
    EXPECT_EQ(layer.transposeSemitones.get(), 12);
    EXPECT_EQ(view->transposeText(), "12 st");
    EXPECT_FALSE(view->canStepTranspose(+1));
    for (int i = 0; i < 30; ++i)
        view->stepTranspose(-1);
    EXPECT_EQ(layer.transposeSemitones.get(), -12);
    EXPECT_FALSE(view->canStepTranspose(-1));
    EXPECT_TRUE(view->canStepTranspose(+1));

    for (int i = 0; i < 5; ++i)
        view->stepOctave(+1);
    EXPECT_EQ(view->octaveText(), "2");
    for (int i = 0; i < 5; ++i)
        view->stepOctave(-1);
    EXPECT_EQ(layer.octaveShift.get(), -2);
    EXPECT_FALSE(view->canStepOctave(-1));

    view->setExpanded(LayerControlView::Section::pitch, false);
    EXPECT_EQ(view->idealHeight(), closed);
    EXPECT_EQ(heightChanges, 2);
    EXPECT_EQ(layer.transposeSemitones.get(), -12);
    EXPECT_EQ(layer.octaveShift.get(), -2);
    view->setExpanded(LayerControlView::Section::pitch, true);
    EXPECT_EQ(view->transposeText(), "-12 st");
}

TEST_F(LayerControlViewTest, LanguageSwitchesAtOnceAndNothingClips)
{
    auto view = makeView(layer);
    for (auto section : {LayerControlView::Section::eq, LayerControlView::Section::compression,
                         LayerControlView::Section::reverb, LayerControlView::Section::damper,
                         LayerControlView::Section::keyRange, LayerControlView::Section::pitch})
        view->setExpanded(section, true);
    layer.eqLowGain = -24.0;
    layer.transposeSemitones = -12;
    layer.category = InstrumentCategory::harpsichord; // the longest category names
    EXPECT_EQ(view->sectionTitle(LayerControlView::Section::pitch), "Pitch & velocity");
    EXPECT_EQ(view->layerNameText(), "Layer B");

    juce::StringArray clipped;
    collectClippedLabels(*view, clipped);
    EXPECT_TRUE(clipped.isEmpty()) << clipped.joinIntoString(" | ");

    loc.language = AppLanguage::spanish;
    EXPECT_EQ(view->sectionTitle(LayerControlView::Section::pitch), "Tono y velocidad");
    EXPECT_EQ(view->layerNameText(), "Capa B");
    EXPECT_EQ(view->categoryButtonText(), juce::String::fromUTF8("Teclados clásicos"));
    EXPECT_EQ(view->variantButtonText(), "Clavicordio");
    collectClippedLabels(*view, clipped);
    EXPECT_TRUE(clipped.isEmpty()) << clipped.joinIntoString(" | ");
}

TEST_F(LayerControlViewTest, RenamesAreTrimmedAndReopeningShowsTheCurrentName)
{
    auto view = makeView(layer);
    const auto builtIn = view->variantButtonText();
    auto popover = view->makeSoundRenamePopover();
    EXPECT_EQ(popover->titleText(), "Rename sound");
    EXPECT_EQ(popover->text(), builtIn);
    popover->field().setText("  Mi piano \n");
    popover->saveButton().triggerClick();
    drainMessages();
    EXPECT_EQ(view->variantButtonText(), "Mi piano");
    EXPECT_EQ(CustomNames(temp.folder.getChildFile("CustomNames.json"))
                  .name(layer.currentVariant(), AppLanguage::english),
              "Mi piano");

    // An abandoned edit is forgotten.
    view->makeSoundRenamePopover()->field().setText("never saved");
    EXPECT_EQ(view->makeSoundRenamePopover()->text(), "Mi piano");
    const auto soundMenu = menuEntries(view->variantMenu());
    const auto* restore = findEntry(soundMenu, "Restore sound name");
    ASSERT_NE(restore, nullptr);
    restore->action();
    EXPECT_EQ(view->variantButtonText(), builtIn);
    EXPECT_EQ(findEntry(menuEntries(view->variantMenu()), "Restore sound name"), nullptr);

    EXPECT_EQ(menuEntries(view->layerNameMenu()).size(), 1u);
    auto layerPopover = view->makeLayerRenamePopover();
    EXPECT_EQ(layerPopover->text(), "Layer B");
    layerPopover->field().setText("\t Bass  ");
    layerPopover->save();
    EXPECT_EQ(view->layerNameText(), "Bass");
    EXPECT_EQ(view->makeLayerRenamePopover()->text(), "Bass");
    const auto layerMenu = menuEntries(view->layerNameMenu());
    ASSERT_EQ(layerMenu.size(), 2u);
    EXPECT_EQ(layerMenu[1].text, "Restore original name");

    // Saving nothing but spaces restores the built-in name.
    layerPopover = view->makeLayerRenamePopover();
    layerPopover->field().setText("   ");
    layerPopover->save();
    EXPECT_EQ(view->layerNameText(), "Layer B");
    EXPECT_TRUE(names.layerNames->empty());
}

} // namespace norvane::test
