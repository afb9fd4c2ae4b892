#include "core/MidiParser.h"
#include "support/EngineFixture.h"

#include <gtest/gtest.h>

namespace norvane::test
{

namespace
{

std::vector<ChannelMessage> parse(std::vector<std::uint8_t> bytes)
{
    std::vector<ChannelMessage> out;
    parseMidiBytes(bytes.data(), bytes.size(), [&](const ChannelMessage& m) { out.push_back(m); });
    return out;
}

using M = ChannelMessage;

} // namespace

TEST(MidiParser, TrickyInputs)
{
    struct Case
    {
        const char* what;
        std::vector<std::uint8_t> bytes;
        std::vector<ChannelMessage> expected;
    };
    const Case cases[] = {
        {"note on", {0x90, 60, 100}, {M{0x90, 60, 100}}},
        {"any channel", {0x9F, 60, 100, 0x83, 61, 0}, {M{0x90, 60, 100, 16}, M{0x80, 61, 0, 4}}},
        {"running status plays only the first note", {0x90, 60, 100, 64, 100}, {M{0x90, 60, 100}}},
        {"truncated message dropped", {0x90, 60}, {}},
        {"truncated after a whole one", {0xB0, 64, 127, 0xE0, 0}, {M{0xB0, 64, 127}}},
        {"one-data-byte messages", {0xC5, 7, 0xD0, 33}, {M{0xC0, 7, 0, 6}, M{0xD0, 33, 0}}},
        {"one-data-byte message cut off", {0xC0}, {}},
        {"system exclusive skipped byte by byte",
         {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7, 0x90, 60, 1},
         {M{0x90, 60, 1}}},
        {"unterminated system exclusive never swallows later notes",
         {0xF0, 0x43, 0x12, 0x90, 62, 90},
         {M{0x90, 62, 90}}},
        {"system bytes and stray data skipped",
         {0xFF, 0xFE, 0xF8, 0x12, 0x7F, 0xB3, 64, 63},
         {M{0xB0, 64, 63, 4}}},
        {"pitch bend", {0xE0, 0x00, 0x40}, {M{0xE0, 0x00, 0x40}}},
        {"polyphonic pressure parsed, ignored later", {0xA0, 60, 10}, {M{0xA0, 60, 10}}},
        {"empty", {}, {}},
        {"lone status bytes", {0x80, 0x90}, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parse(c.bytes), c.expected) << c.what;
}

class MidiCorpusTest : public EngineFixture
{
};

/** Every saved input of the fuzzer's corpus goes through the parser and the whole dispatch
    into the engine without harm; whatever it did, panic leaves nothing sounding. */
TEST_F(MidiCorpusTest, CorpusReplaysSafelyThroughTheWholeInputPath)
{
    auto& midi = makeMidi();
    std::vector<std::unique_ptr<NoteLedger>> ledgers;
    for (auto* l : engine->playingLayers())
    {
        l->isEnabled = true;
        ledgers.push_back(std::make_unique<NoteLedger>(*l));
    }

    const auto files = juce::File(NORVANE_FUZZ_CORPUS).findChildFiles(juce::File::findFiles, false);
    ASSERT_GE(files.size(), 8);
    for (const auto& file : files)
    {
        juce::MemoryBlock data;
        ASSERT_TRUE(file.loadFileAsData(data));
        midi.processNow(static_cast<const std::uint8_t*>(data.getData()), data.getSize());
    }

    // Bytes that are not data bytes where data is expected are still handled safely.
    const std::uint8_t wild[] = {0x90, 0xF8, 0xFF, 0xC0, 0xFF, 0xE0, 0xFF, 0xFF, 0xB0, 0x07, 0xFF};
    midi.volumeTarget = CCDestination::master;
    midi.processNow(wild, sizeof(wild));
    EXPECT_LE(engine->masterVolume.get(), 1.0);

    midi.panic();
    for (auto& ledger : ledgers)
        EXPECT_TRUE(ledger->soundingPitches().empty());
}

} // namespace norvane::test
