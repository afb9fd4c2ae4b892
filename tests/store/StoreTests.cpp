#include "store/AppData.h"
#include "store/CustomNames.h"
#include "store/FileWriter.h"
#include "store/Json.h"
#include "store/LivePatchStore.h"
#include "store/StoredFile.h"

#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace norvane::test
{

namespace
{

std::string contentsOf(const juce::File& f)
{
    return f.loadFileAsString().toStdString();
}

} // namespace

TEST(AppData, TakesOverTheFirstOlderFolderOnlyWhenThereIsNoFolderYet)
{
    {
        TempFolder base;
        base.folder.getChildFile("Keldmoor").getChildFile("LivePatches.json").create();
        base.folder.getChildFile("Vantrel").createDirectory();
        const auto folder = AppData::locate(base.folder);
        EXPECT_EQ(folder, base.folder.getChildFile("Norvane"));
        EXPECT_TRUE(folder.getChildFile("LivePatches.json").existsAsFile());
        EXPECT_FALSE(base.folder.getChildFile("Keldmoor").exists());
        EXPECT_TRUE(base.folder.getChildFile("Vantrel").isDirectory()); // only one is taken
    }
    {
        TempFolder base;
        base.folder.getChildFile("Vantrel").getChildFile("Session.json").create();
        EXPECT_TRUE(AppData::locate(base.folder).getChildFile("Session.json").existsAsFile());
    }
    {
        TempFolder base;
        base.folder.getChildFile("Norvane").createDirectory();
        base.folder.getChildFile("Keldmoor").createDirectory();
        AppData::locate(base.folder);
        EXPECT_TRUE(base.folder.getChildFile("Keldmoor").isDirectory()); // left alone
    }
    {
        TempFolder base;
        const auto folder = AppData::locate(base.folder.getChildFile("deeper/still"));
        EXPECT_TRUE(folder.isDirectory()); // created with its parents
    }
}

TEST(StoredFile, AtomicWritesReplaceWholeAndFailuresLeaveTheOldContents)
{
    TempFolder temp;
    const auto target = temp.folder.getChildFile("sub/Doc.json");
    ASSERT_TRUE(writeFileAtomically(target, "{\"a\":1}"));
    ASSERT_TRUE(writeFileAtomically(target, "{\"a\":2}"));
    EXPECT_EQ(contentsOf(target), "{\"a\":2}");
    // No temporary files left behind.
    EXPECT_EQ(target.getParentDirectory().getNumberOfChildFiles(
                  juce::File::findFilesAndDirectories | juce::File::ignoreHiddenFiles),
              1);
    EXPECT_EQ(target.getParentDirectory().getNumberOfChildFiles(juce::File::findFiles, ".*"), 0);

    // A folder in the way of the target: the write fails and says so.
    const auto blocked = temp.folder.getChildFile("Blocked.json");
    blocked.createDirectory();
    EXPECT_FALSE(writeFileAtomically(blocked, "x"));
    EXPECT_TRUE(blocked.isDirectory());
}

TEST(StoredFile, AnUndecodableFileIsKeptAsideBeforeTheFirstWriteAndNeverOverwritten)
{
    TempFolder temp;
    const auto target = temp.folder.getChildFile("CustomNames.json");
    target.replaceWithText("{\"variantNames\": {\"gm#0\": 12}");
    temp.folder.getChildFile("CustomNames.json.damaged-1").replaceWithText("earlier");

    StoredFile file(target);
    file.markUndecodable();
    EXPECT_TRUE(file.write("{}"));
    EXPECT_EQ(contentsOf(target), "{}");
    EXPECT_EQ(contentsOf(temp.folder.getChildFile("CustomNames.json.damaged-1")), "earlier");
    EXPECT_EQ(contentsOf(temp.folder.getChildFile("CustomNames.json.damaged-2")),
              "{\"variantNames\": {\"gm#0\": 12}");

    EXPECT_TRUE(file.write("{\"x\":1}")); // kept once, not at every write
    EXPECT_FALSE(temp.folder.getChildFile("CustomNames.json.damaged-3").exists());
}

/** A file that is there but cannot be read (its permissions) is not taken for a missing one:
    it is moved aside whole before anything is written in its place, and the patch list says
    where. Root reads everything, so the reading is done as an unprivileged user. */
TEST(StoredFile, AFileThatCannotBeReadIsKeptAsideWholeNotOverwritten)
{
    TempFolder temp;
    ::chmod(temp.folder.getFullPathName().toRawUTF8(), 0777);
    const auto names = temp.folder.getChildFile("CustomNames.json");
    const auto patches = temp.folder.getChildFile("LivePatches.json");
    for (const auto& f : {names, patches})
    {
        f.replaceWithText("precious");
        ::chmod(f.getFullPathName().toRawUTF8(), 0);
    }

    auto asPlayer = [&]
    {
        int faults = 0;
        StoredFile file(names);
        faults += file.read().has_value() ? 1 : 0;
        faults += file.isMarkedUndecodable() ? 0 : 2;
        faults += file.write("{}") ? 0 : 4;
        LivePatchStore store(patches);
        faults += store.damagedCopy.get() == patches.getFullPathName().toStdString() + ".damaged-1"
                      ? 0
                      : 8;
        return faults;
    };
    if (::geteuid() == 0)
    {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0)
        {
            const bool dropped = ::setgid(65534) == 0 && ::setuid(65534) == 0;
            ::_exit(dropped ? asPlayer() : 100);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    else
    {
        EXPECT_EQ(asPlayer(), 0);
    }
    for (const auto& f : {names, patches})
    {
        const auto kept = f.getSiblingFile(f.getFileName() + ".damaged-1");
        ::chmod(kept.getFullPathName().toRawUTF8(), 0644);
        EXPECT_EQ(contentsOf(kept), "precious");
    }
    EXPECT_EQ(contentsOf(names), "{}");
    EXPECT_FALSE(patches.exists()); // written at the first change, not before
}

/** Writes handed to the writer thread: the caller goes on at once, whatever the disk is doing;
    of a burst for one file only the last is written; the damaged original is still kept aside
    first; and a write now waits for the ones handed over before it. */
TEST(StoredFile, WritesLaterRunOnTheWriterThreadLastOneWinning)
{
    TempFolder temp;
    const auto target = temp.folder.getChildFile("Session.json");
    target.replaceWithText("damaged");

    // The writer is busy with another file (a disk that hangs) while the saves come.
    std::promise<void> release;
    auto released = release.get_future().share();
    FileWriter::shared().post(temp.folder.getChildFile("Other.json"),
                              [released] { released.wait(); });

    StoredFile stored(target);
    stored.markUndecodable();
    std::atomic<int> encoded{0};
    const auto caller = std::this_thread::get_id();
    std::atomic<bool> encodedElsewhere{true};
    for (int i = 0; i < 50; ++i)
        stored.writeLater(
            [i, &encoded, &encodedElsewhere, caller]
            {
                ++encoded;
                encodedElsewhere = encodedElsewhere && std::this_thread::get_id() != caller;
                return "{\"save\":" + std::to_string(i) + "}";
            });
    EXPECT_EQ(target.loadFileAsString(), "damaged"); // nothing written on this thread
    EXPECT_EQ(encoded.load(), 0);

    release.set_value();
    stored.flush();
    EXPECT_EQ(target.loadFileAsString(), "{\"save\":49}");
    EXPECT_EQ(encoded.load(), 1);
    EXPECT_TRUE(encodedElsewhere.load());
    EXPECT_EQ(temp.folder.getChildFile("Session.json.damaged-1").loadFileAsString(), "damaged");

    stored.writeLater([] { return std::string("{\"save\":50}"); });
    EXPECT_TRUE(stored.write("{\"save\":51}"));
    EXPECT_EQ(target.loadFileAsString(), "{\"save\":51}");
    EXPECT_FALSE(temp.folder.getChildFile("Session.json.damaged-2").exists());
}

TEST(Json, CompactOutputEscapesAndLeavesOutAbsentValues)
{
    auto object = juce::DynamicObject::Ptr(new juce::DynamicObject());
    object->setProperty("name", juce::String::fromUTF8("Piano \"cálido\"\n\t\\"));
    object->setProperty("gone", juce::var());
    object->setProperty("n", 42);
    object->setProperty("x", 0.1);
    object->setProperty("big", (juce::int64)4294967295LL);
    object->setProperty("list", juce::Array<juce::var>{true, false});
    EXPECT_EQ(toCompactJson(juce::var(object.get())),
              "{\"name\":\"Piano \\\"cálido\\\"\\n\\t\\\\\",\"n\":42,\"x\":0.1,"
              "\"big\":4294967295,\"list\":[true,false]}");

    const auto parsed = parseJson(toCompactJson(juce::var(object.get())));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->getProperty("name", {}).toString(),
              juce::String::fromUTF8("Piano \"cálido\"\n\t\\"));
    EXPECT_FALSE(parseJson("{\"a\":"));
    EXPECT_FALSE(stringMapFrom(juce::var(5)));
}

TEST(CustomNames, RenameTrimRestoreAndRoundTrip)
{
    TempFolder temp;
    const auto location = temp.folder.getChildFile("CustomNames.json");
    const auto clavinet = variants(InstrumentCategory::electricPiano, std::nullopt)[2];
    {
        CustomNames names(location);
        EXPECT_EQ(names.name(clavinet, AppLanguage::english), "Clavinet");
        EXPECT_EQ(names.layerName("A", AppLanguage::spanish), "Capa A");
        EXPECT_EQ(names.layerName("Drone", AppLanguage::english), "Drone Pad");

        names.renameVariant(clavinet.id(), "  Funky Clav \n");
        names.renameLayer("B", "Pads");
        names.renameLayer("C", "   ");
        EXPECT_EQ(names.name(clavinet, AppLanguage::spanish), "Funky Clav");
        EXPECT_EQ(names.layerName("C", AppLanguage::english), "Layer C");
    }
    EXPECT_EQ(contentsOf(location),
              "{\"variantNames\":{\"gm#7\":\"Funky Clav\"},\"layerNames\":{\"B\":\"Pads\"}}");

    CustomNames reloaded(location);
    // The same program is named the same in every category.
    const auto harpsichordClavinet = variants(InstrumentCategory::harpsichord, std::nullopt)[1];
    EXPECT_EQ(reloaded.name(harpsichordClavinet, AppLanguage::english), "Funky Clav");
    EXPECT_EQ(reloaded.layerName("B", AppLanguage::spanish), "Pads");
    reloaded.restoreVariantName(clavinet.id());
    reloaded.renameLayer("B", " \t ");
    EXPECT_EQ(reloaded.name(clavinet, AppLanguage::english), "Clavinet");
    EXPECT_EQ(contentsOf(location), "{\"variantNames\":{},\"layerNames\":{}}");
}

TEST(CustomNames, PartialAndDamagedFiles)
{
    TempFolder temp;
    const auto location = temp.folder.getChildFile("CustomNames.json");
    location.replaceWithText("{\"layerNames\":{\"A\":\"Grand\"},\"unknown\":[1,2]}");
    {
        CustomNames names(location);
        EXPECT_EQ(names.layerName("A", AppLanguage::english), "Grand");
        EXPECT_TRUE(names.variantNames->empty());
    }

    location.replaceWithText("{\"layerNames\":{\"A\":\"Grand\"");
    CustomNames damaged(location);
    EXPECT_TRUE(damaged.layerNames->empty());
    damaged.renameLayer("D", "Organ");
    EXPECT_EQ(contentsOf(location.getSiblingFile("CustomNames.json.damaged-1")),
              "{\"layerNames\":{\"A\":\"Grand\"");
    EXPECT_EQ(CustomNames(location).layerName("D", AppLanguage::english), "Organ");
}

} // namespace norvane::test
