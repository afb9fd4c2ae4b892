#include "catalog/PluginLibrary.h"
#include "support/InstalledPlugins.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <atomic>

namespace norvane::test
{

namespace
{

juce::PluginDescription described(const juce::String& name, bool instrument)
{
    juce::PluginDescription d;
    d.name = name;
    d.manufacturerName = "Test";
    d.pluginFormatName = "LV2";
    d.fileOrIdentifier = "urn:test:" + name + (instrument ? ":i" : ":e");
    d.isInstrument = instrument;
    d.numInputChannels = instrument ? 0 : 2;
    d.numOutputChannels = 2;
    return d;
}

std::vector<std::string> names(const std::vector<InstalledPlugin>& list)
{
    std::vector<std::string> out;
    for (auto& p : list)
        out.push_back(p.description.name.toStdString());
    return out;
}

PluginRef ref(const char* name)
{
    return PluginRef::of(described(name, true));
}

} // namespace

TEST(PluginLibrary, TheScanFindsTheInstalledInstrumentsAndEffectsSortedByName)
{
    TempFolder temp;
    PluginLibrary library(temp.folder.getChildFile("Plugins.json"),
                          [](auto&) { return installedPlugins(); });
    waitForScan(library);
    const auto instruments = names(library.installedInstruments.get());
    const auto effects = names(library.installedEffects.get());
    for (const char* expected : {"MDA Piano", "MDA DX10", "MDA ePiano", "MDA JX10"})
        EXPECT_NE(std::find(instruments.begin(), instruments.end(), expected), instruments.end())
            << expected;
    for (const char* expected : {"MDA Delay", "MDA Overdrive"})
        EXPECT_NE(std::find(effects.begin(), effects.end(), expected), effects.end()) << expected;
    EXPECT_TRUE(std::is_sorted(instruments.begin(), instruments.end(),
                               [](auto& a, auto& b)
                               { return juce::String(a).compareIgnoreCase(b) < 0; }));

    const auto piano =
        std::find_if(library.installedInstruments->begin(), library.installedInstruments->end(),
                     [](auto& p) { return p.description.name == "MDA Piano"; });
    ASSERT_NE(piano, library.installedInstruments->end());
    EXPECT_EQ(piano->ref.componentType, PluginRef::instrumentType);
    EXPECT_EQ(piano->ref.name,
              piano->description.manufacturerName.toStdString() + " \u2013 MDA Piano");
    EXPECT_EQ(library.find(piano->ref)->fileOrIdentifier, piano->description.fileOrIdentifier);
    // Read from the plug-ins' own data, with or without lv2-dev installed.
    EXPECT_EQ(piano->description.category, "lv2:InstrumentPlugin");
    const auto delay =
        std::find_if(library.installedEffects->begin(), library.installedEffects->end(),
                     [](auto& p) { return p.description.name == "MDA Delay"; });
    ASSERT_NE(delay, library.installedEffects->end());
    EXPECT_EQ(delay->description.category, "lv2:DelayPlugin");
}

/** What a plug-in declares classes it; only a plug-in that declares nothing is judged by its
    audio inputs. */
TEST(PluginRef, APlugInIsAnInstrumentWhenItDeclaresOne)
{
    const auto lv2 = [](const char* category, int inputs)
    {
        auto d = described("x", false);
        d.category = category;
        d.isInstrument = false;
        d.numInputChannels = inputs;
        return PluginRef::isInstrumentPlugin(d);
    };
    EXPECT_TRUE(lv2("lv2:InstrumentPlugin", 2)); // a synthesizer with audio inputs
    EXPECT_TRUE(lv2("lv2:EQPlugin,InstrumentPlugin", 0));
    EXPECT_FALSE(lv2("lv2:GeneratorPlugin", 0)); // a test-tone generator
    EXPECT_FALSE(lv2("lv2:OscillatorPlugin", 0));
    EXPECT_TRUE(lv2("lv2:", 0)); // nothing declared: the ports
    EXPECT_FALSE(lv2("lv2:", 2));
    EXPECT_TRUE(lv2("", 0)); // scanned before classes were read

    auto vst3 = described("y", false);
    vst3.pluginFormatName = "VST3";
    vst3.category = "Fx|Delay";
    vst3.numInputChannels = 0;
    EXPECT_FALSE(PluginRef::isInstrumentPlugin(vst3));
    vst3.category = "Instrument|Synth";
    vst3.isInstrument = true;
    vst3.numInputChannels = 2;
    EXPECT_TRUE(PluginRef::isInstrumentPlugin(vst3));
}

TEST(PluginLibrary, SortingIsCaseInsensitiveAndStable)
{
    TempFolder temp;
    PluginLibrary library(temp.folder.getChildFile("Plugins.json"),
                          [](auto&)
                          {
                              return std::vector{described("zebra", true), described("Alpha", true),
                                                 described("beta", false),
                                                 described("Beta", false)};
                          });
    waitForScan(library);
    EXPECT_EQ(names(library.installedInstruments.get()),
              (std::vector<std::string>{"Alpha", "zebra"}));
    EXPECT_EQ(names(library.installedEffects.get()), (std::vector<std::string>{"beta", "Beta"}));
}

/** A plug-in with no audio output (a MIDI filter, a meter) is offered nowhere; a reference
    stored while a plug-in was classed otherwise, and under another name, still finds it. */
TEST(PluginLibrary, SilentPlugInsAreNotOfferedAndStoredReferencesSurviveAClassChange)
{
    auto filter = described("Arpeggiator", false);
    filter.numOutputChannels = 0;
    auto synth = described("Synth", true);
    synth.numInputChannels = 2; // an instrument that also takes audio in
    TempFolder temp;
    PluginLibrary library(temp.folder.getChildFile("Plugins.json"),
                          [=](auto&) {
                              return std::vector{filter, synth, described("Echo", false)};
                          });
    waitForScan(library);
    EXPECT_EQ(names(library.installedInstruments.get()), (std::vector<std::string>{"Synth"}));
    EXPECT_EQ(names(library.installedEffects.get()), (std::vector<std::string>{"Echo"}));

    auto stored = PluginRef::of(synth);
    stored.componentType = PluginRef::effectType; // as an older scan classed it
    stored.name = "Test \u2013 Synth 1.0";
    ASSERT_TRUE(library.find(stored).has_value());
    EXPECT_EQ(library.find(stored)->fileOrIdentifier, synth.fileOrIdentifier);
    auto other = stored;
    other.componentSubType ^= 1;
    EXPECT_FALSE(library.find(other).has_value());
}

TEST(PluginLibrary, SlotsArePaddedCutAndStoredInTheirDocument)
{
    TempFolder temp;
    const auto file = temp.folder.getChildFile("Plugins.json");
    const auto a = ref("A"), b = ref("B");
    PluginLibrary::SlotMap stored{{0, {a, std::nullopt, b, a, b}}};
    file.replaceWithText(PluginLibrary::encode(stored));

    PluginLibrary library(file, {});
    EXPECT_EQ(library.slots(InstrumentCategory::piano), (PluginLibrary::Slots{a, std::nullopt, b}));
    EXPECT_EQ(library.assignedPlugins(InstrumentCategory::piano), (std::vector<PluginRef>{a, b}));
    EXPECT_EQ(library.slots(InstrumentCategory::organ), PluginLibrary::Slots(3));

    // Index 3 and negative indices change nothing and write nothing.
    const auto before = file.loadFileAsString();
    file.setLastModificationTime(juce::Time(2000, 0, 1, 0, 0));
    library.setSlot(b, 3, InstrumentCategory::piano);
    library.setSlot(b, -1, InstrumentCategory::piano);
    EXPECT_EQ(file.getLastModificationTime(), juce::Time(2000, 0, 1, 0, 0));

    library.setSlot(std::nullopt, 2, InstrumentCategory::piano);
    library.setSlot(b, 1, InstrumentCategory::organ);
    const auto text = file.loadFileAsString().toStdString();
    EXPECT_EQ(text.substr(0, 23), "{\"instrumentSlots\":{\"0\"");
    EXPECT_NE(text.find("null,null]"), std::string::npos); // cleared: three entries kept

    PluginLibrary again(file, {});
    EXPECT_EQ(again.instrumentSlots.get(),
              (PluginLibrary::SlotMap{{0, {a, std::nullopt, std::nullopt}},
                                      {3, {std::nullopt, b, std::nullopt}}}));
}

TEST(PluginLibrary, ADamagedDocumentGivesEmptySlotsAndIsKeptBeforeTheFirstSave)
{
    TempFolder temp;
    const auto file = temp.folder.getChildFile("Plugins.json");
    for (const char* damaged :
         {"{\"instrumentSlots\":{\"0\":[{\"componentType\":1,\"name\":\"x\"}]}}",
          "{\"instrumentSlots\":{\"0\":[{\"componentType\":-1,\"componentSubType\":1,"
          "\"manufacturer\":1,\"name\":\"x\"}]}}",
          "{\"instrumentSlots\":[]}", "not json"})
    {
        SCOPED_TRACE(damaged);
        EXPECT_FALSE(PluginLibrary::decode(damaged).has_value());
    }
    EXPECT_EQ(PluginLibrary::decode("{}")->size(), 0u);
    EXPECT_EQ(
        PluginLibrary::decode("{\"instrumentSlots\":{\"2\":[null]},\"other\":1}")->at(2).size(),
        1u);

    file.replaceWithText("{\"instrumentSlots\":{\"0\":[7]}}");
    PluginLibrary library(file, {});
    EXPECT_TRUE(library.instrumentSlots->empty());
    library.setSlot(ref("A"), 0, InstrumentCategory::piano);
    EXPECT_EQ(temp.folder.getChildFile("Plugins.json.damaged-1").loadFileAsString(),
              "{\"instrumentSlots\":{\"0\":[7]}}");
    EXPECT_EQ(PluginLibrary(file, {}).assignedPlugins(InstrumentCategory::piano).size(), 1u);
}

TEST(PluginScanner, APlugInThatCrashesOrHangsIsSkippedAndTheRestScanned)
{
    // A stand-in scanner program: it crashes on the piano and hangs on the DX10.
    TempFolder temp;
    const auto script = temp.folder.getChildFile("scan.sh");
    script.replaceWithText("#!/bin/sh\n"
                           "out=$1; shift 2; i=0\n"
                           "for id in \"$@\"; do\n"
                           "  case \"$id\" in */Piano) kill -SEGV $$;; *DX10*) sleep 30;; esac\n"
                           "  printf '%d\\tdone\\n' $i >> \"$out\"; i=$((i+1))\n"
                           "done\n",
                           false, false, "\n");
    script.setExecutePermission(true);

    // The progress counts every plug-in found, skipped ones too, and names each in turn.
    std::vector<ScanProgress> reports;
    ScanFeedback feedback;
    feedback.progress = [&](const ScanProgress& p) { reports.push_back(p); };
    PluginScanner scanner(script, 1.0);
    scanner.scan(feedback);
    const auto skipped = scanner.skipped();
    EXPECT_EQ(skipped.size(), 2) << skipped.joinIntoString(", ").toStdString();
    EXPECT_TRUE(skipped.joinIntoString(" ").contains("Piano"));
    EXPECT_TRUE(skipped.joinIntoString(" ").contains("DX10"));

    ASSERT_FALSE(reports.empty());
    const int total = reports.back().total;
    EXPECT_GE(total, 4);
    EXPECT_EQ(reports.back().done, total);
    bool namedDX10 = false;
    for (size_t i = 0; i < reports.size(); ++i)
    {
        EXPECT_EQ(reports[i].total, total);
        if (i > 0)
        {
            EXPECT_GE(reports[i].done, reports[i - 1].done);
        }
        namedDX10 = namedDX10 || reports[i].current == "DX10";
    }
    EXPECT_TRUE(namedDX10);
}

TEST(PluginScanner, ACancelledScanKillsItsChildAndEnds)
{
    // A child that hangs far longer than the scanner would wait on its own.
    TempFolder temp;
    const auto script = temp.folder.getChildFile("scan.sh");
    script.replaceWithText("#!/bin/sh\n"
                           "out=$1; shift 2; i=0\n"
                           "for id in \"$@\"; do\n"
                           "  case \"$id\" in *DX10*) exec sleep 3000;; esac\n"
                           "  printf '%d\\tdone\\n' $i >> \"$out\"; i=$((i+1))\n"
                           "done\n",
                           false, false, "\n");
    script.setExecutePermission(true);

    std::atomic<bool> stop{false};
    ScanFeedback feedback;
    feedback.progress = [&](const ScanProgress& p) { stop = stop || p.current == "DX10"; };
    feedback.cancelled = [&] { return stop.load(); };
    PluginScanner scanner(script, 600.0);
    scanner.scan(feedback);
    EXPECT_TRUE(stop);
    EXPECT_TRUE(scanner.skipped().isEmpty()); // given up, not waited out
}

} // namespace norvane::test
