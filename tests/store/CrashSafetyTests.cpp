#include "store/LivePatch.h"
#include "store/SessionStore.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <random>

namespace norvane::test
{

// A writer killed at any moment leaves every file whole: the previous document or the new
// one, never an empty or half-written file.
TEST(CrashSafety, KillingAWriterAtRandomMomentsNeverLeavesAHalfWrittenFile)
{
    // Under the sanitizers each writer takes a second to start: fewer rounds, the same checks.
#ifdef NORVANE_SANITIZED
    constexpr int rounds = 50;
#else
    constexpr int rounds = 200;
#endif
    TempFolder temp;
    std::mt19937 random(2026);
    const auto patches = temp.folder.getChildFile("LivePatches.json");
    const auto session = temp.folder.getChildFile("Session.json");
    juce::StringArray seen;
    int kills = 0, writtenBeforeKill = 0;

    for (int round = 0; round < rounds; ++round)
    {
        juce::ChildProcess writer;
        ASSERT_TRUE(writer.start(
            juce::StringArray{NORVANE_CLI, "save-loop", temp.folder.getFullPathName()}, 0));
        // Once this writer has replaced the file at least once, kill it at a random moment
        // of its work.
        const auto before = patches.loadFileAsString();
        for (int wait = 0; wait < 1000 && patches.loadFileAsString() == before; ++wait)
            juce::Thread::sleep(2);
        juce::Thread::sleep((int)(random() % 30));
        writer.kill(); // SIGKILL
        writer.waitForProcessToFinish(5000);
        ++kills;

        if (!patches.existsAsFile())
            continue; // killed before its first write
        ++writtenBeforeKill;
        const auto list = patches.loadFileAsString().toStdString();
        ASSERT_TRUE(LivePatch::decodeList(list).has_value())
            << "round " << round << ": " << list.size() << " bytes";
        if (session.existsAsFile())
        {
            const auto state = session.loadFileAsString().toStdString();
            ASSERT_TRUE(SessionState::decode(state).has_value()) << "round " << round;
        }
        seen.addIfNotAlreadyThere(juce::String(std::to_string(std::hash<std::string>{}(list))));
        // No temporary file is left to pile up either.
        EXPECT_LE(temp.folder.getNumberOfChildFiles(juce::File::findFiles), 4) << "round " << round;
    }
    EXPECT_EQ(kills, rounds);
    EXPECT_EQ(writtenBeforeKill, rounds);
    EXPECT_GT(seen.size(), rounds * 3 / 4); // the kills met the writer at many different points
}

} // namespace norvane::test
