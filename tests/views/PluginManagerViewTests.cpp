#include "catalog/PluginLibrary.h"
#include "store/UserDefaults.h"
#include "support/MenuEntries.h"
#include "support/MessageLoop.h"
#include "support/TempFolder.h"
#include "ui/PluginManagerView.h"

#include "support/ViewSetup.h"

#include "support/ScannedLibrary.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace norvane::test
{

namespace
{
juce::PluginDescription fakeInstrument(const juce::String& name)
{
    juce::PluginDescription d;
    d.name = name;
    d.manufacturerName = "Test";
    d.pluginFormatName = "LV2";
    d.fileOrIdentifier = "urn:test:" + name;
    d.isInstrument = true;
    d.numOutputChannels = 2;
    return d;
}

} // namespace

class PluginManagerViewTest : public ::testing::Test, protected ViewSetup
{
protected:
    std::unique_ptr<PluginLibrary> openLibrary()
    {
        auto library = std::make_unique<PluginLibrary>(temp.folder.getChildFile("Plugins.json"),
                                                       [this](auto&) { return installed; });
        waitForScan(*library);
        return library;
    }

    std::vector<juce::PluginDescription> installed{fakeInstrument("Zeta Piano"),
                                                   fakeInstrument("Alpha Organ")};
};

TEST_F(PluginManagerViewTest, SlotsOfEveryCategoryButThePadAreStoredWhole)
{
    auto library = openLibrary();
    PluginManagerView view(context, *library);
    EXPECT_EQ(view.getWidth(), 420);
    EXPECT_EQ(view.getHeight(), 540);
    EXPECT_FALSE(view.showsEmptyMessage());
    EXPECT_EQ(view.sectionTitles(), juce::StringArray({"Piano", "Electric Piano", "Classic Keys",
                                                       "Organ", "Strings & Pads"}));

    auto menu = menuEntries(view.slotMenu(InstrumentCategory::piano, 2));
    ASSERT_EQ(menu.size(), 3u);
    EXPECT_EQ(menu[0].text, "Empty");
    EXPECT_TRUE(menu[0].ticked);
    EXPECT_EQ(menu[1].text, "Alpha Organ");
    EXPECT_EQ(menu[2].text, "Zeta Piano");
    menu[2].action();

    const auto zeta = PluginRef::of(installed[0]);
    const PluginLibrary::Slots expected{std::nullopt, std::nullopt, zeta};
    EXPECT_EQ(library->instrumentSlots->at((int)InstrumentCategory::piano), expected);
    EXPECT_EQ(view.slotText(InstrumentCategory::piano, 2), "Zeta Piano");
    EXPECT_EQ(view.slotText(InstrumentCategory::piano, 0), "Empty");
    EXPECT_TRUE(menuEntries(view.slotMenu(InstrumentCategory::piano, 2))[2].ticked);

    // The same plug-in may fill a second slot; the file keeps both.
    menuEntries(view.slotMenu(InstrumentCategory::piano, 0))[2].action();
    auto reopened = openLibrary();
    EXPECT_EQ(reopened->slots(InstrumentCategory::piano),
              (PluginLibrary::Slots{zeta, std::nullopt, zeta}));

    menuEntries(view.slotMenu(InstrumentCategory::piano, 2))[0].action();
    EXPECT_EQ(library->assignedPlugins(InstrumentCategory::piano), std::vector<PluginRef>{zeta});

    loc.language = AppLanguage::spanish;
    EXPECT_EQ(view.slotText(InstrumentCategory::piano, 1), juce::String::fromUTF8("Vacío"));
    EXPECT_TRUE(view.explanationText().startsWith("Hasta 3 plugins LV2 o VST3"));
    EXPECT_EQ(view.sectionTitles()[1], juce::String::fromUTF8("Piano eléctrico"));
}

TEST_F(PluginManagerViewTest, NoInstalledInstrumentsShowsOnlyTheMessageUntilARescanFindsSome)
{
    installed.clear();
    auto library = openLibrary();
    PluginManagerView view(context, *library);
    EXPECT_TRUE(view.showsEmptyMessage());
    EXPECT_TRUE(view.sectionTitles().isEmpty());
    EXPECT_TRUE(view.explanationText().startsWith("Up to 3 LV2 or VST3 plugins per category"));

    installed.push_back(fakeInstrument("Late Piano"));
    view.rescanButton().triggerClick();
    // The click is handled a message later, and the message is hidden while the scan runs:
    // wait for the scan's end.
    EXPECT_TRUE(waitUntil([&] { return !library->isScanning() && !view.showsEmptyMessage(); }));
    EXPECT_EQ(menuEntries(view.slotMenu(InstrumentCategory::organ, 0)).size(), 2u);
}

TEST_F(PluginManagerViewTest, AScanShowsItsProgressAndKeepsTheListUntilItEnds)
{
    auto library = openLibrary();
    PluginManagerView view(context, *library);
    ASSERT_FALSE(view.showsEmptyMessage());
    EXPECT_TRUE(view.progressText().isEmpty());

    // A scan that stops on its second plug-in until the test lets it go on.
    std::atomic<bool> release{false};
    installed = {fakeInstrument("New Piano")};
    auto slow = std::make_unique<PluginLibrary>(temp.folder.getChildFile("Plugins.json"),
                                                [&](const ScanFeedback& feedback)
                                                {
                                                    feedback.progress({1, 4, "mda-DX10"});
                                                    while (!release && !feedback.cancelled())
                                                        std::this_thread::sleep_for(
                                                            std::chrono::milliseconds(5));
                                                    return installed;
                                                });
    PluginManagerView scanning(context, *slow);
    ASSERT_TRUE(waitUntil([&] { return scanning.progressText().contains("of"); }));
    EXPECT_EQ(scanning.progressText(),
              juce::String::fromUTF8("Scanning installed plugins… 2 of 4: mda-DX10"));
    EXPECT_FALSE(scanning.showsEmptyMessage()); // nothing found yet is not "none installed"
    EXPECT_FALSE(scanning.rescanButton().isEnabled());
    loc.language = AppLanguage::spanish;
    EXPECT_EQ(scanning.progressText(),
              juce::String::fromUTF8("Buscando plugins instalados… 2 de 4: mda-DX10"));

    release = true;
    waitForScan(*slow);
    EXPECT_TRUE(scanning.progressText().isEmpty());
    EXPECT_TRUE(scanning.rescanButton().isEnabled());
    EXPECT_EQ(menuEntries(scanning.slotMenu(InstrumentCategory::piano, 0))[1].text, "New Piano");

    // A rescan keeps what was found until it publishes; a library closed in the middle of
    // one stops it and waits for its thread.
    release = false;
    scanning.rescanButton().triggerClick();
    drainMessages();
    ASSERT_TRUE(slow->isScanning());
    EXPECT_EQ(menuEntries(scanning.slotMenu(InstrumentCategory::piano, 0))[1].text, "New Piano");
}

} // namespace norvane::test
