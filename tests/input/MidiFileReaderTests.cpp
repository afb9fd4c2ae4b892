#include "input/MidiFileReader.h"
#include "input/PerformanceRenderer.h"
#include "support/EngineFixture.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

namespace norvane::test
{

namespace
{

using Bytes = std::vector<std::uint8_t>;

/** A Standard MIDI File of the tracks given (their event bytes, without the end marker), at
    96 ticks per quarter. */
juce::File writeMidi(const TempFolder& temp, const std::vector<Bytes>& tracks,
                     bool endMarkers = true)
{
    Bytes file{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, (std::uint8_t)tracks.size(), 0, 96};
    for (auto track : tracks)
    {
        if (endMarkers)
            track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});
        const auto n = (std::uint32_t)track.size();
        file.insert(file.end(), {'M', 'T', 'r', 'k', (std::uint8_t)(n >> 24),
                                 (std::uint8_t)(n >> 16), (std::uint8_t)(n >> 8), (std::uint8_t)n});
        file.insert(file.end(), track.begin(), track.end());
    }
    auto out = temp.folder.getChildFile("take.mid");
    out.replaceWithData(file.data(), file.size());
    return out;
}

std::vector<TimedMessage> read(const juce::File& file)
{
    std::string error;
    auto messages = readMidiFile(file, error);
    EXPECT_TRUE(messages.has_value()) << error;
    return messages.value_or(std::vector<TimedMessage>{});
}

} // namespace

TEST(MidiFileReader, EachTracksOrderAtOneInstantIsKept)
{
    TempFolder temp;
    const auto file = writeMidi(
        temp,
        {// A zero-length note, then a repeated note (off and on at one instant), the second
         // played with running status; a tempo change to 60 bpm at the first beat.
         {0x00, 0x90, 60, 100, 0x00, 0x80, 60, 0,             // C4 on and off at tick 0
          0x60, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40,           // beat 1: 1 000 000 µs a beat
          0x00, 0x90, 62, 90, 0x60, 62, 0, 0x00, 62, 80,      // D4, off and on again at beat 2
          0x60, 0x80, 62, 0, 0x00, 0xC0, 5},                  // beat 3: off; a program change
         // A second track at the same instants comes after the first at each of them.
         {0x00, 0xB1, 64, 127, 0x60, 0x91, 70, 100}});
    const auto messages = read(file);
    ASSERT_EQ(messages.size(), 9u);
    const std::vector<Bytes> expected{{0x90, 60, 100}, {0x80, 60, 0}, {0xB1, 64, 127},
                                      {0x90, 62, 90},  {0x91, 70, 100}, {0x90, 62, 0},
                                      {0x90, 62, 80},  {0x80, 62, 0},  {0xC0, 5}};
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(messages[i].bytes, expected[i]) << "message " << i;
    // 120 bpm up to beat 1 (0.5 s), then 60 bpm: a second a beat.
    EXPECT_DOUBLE_EQ(messages[3].seconds, 0.5);
    EXPECT_DOUBLE_EQ(messages[5].seconds, 1.5);
    EXPECT_DOUBLE_EQ(messages[7].seconds, 2.5);
}

TEST(MidiFileReader, DamagedFilesKeepWhatCameBeforeTheDamageOrSayWhy)
{
    TempFolder temp;
    // Cut in the middle of a note and missing its end marker: the note before it stays.
    auto messages = read(writeMidi(temp, {{0x00, 0x90, 60, 100, 0x60, 0x80, 60}}, false));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].bytes, (Bytes{0x90, 60, 100}));
    // Data with no status, a length past the end, a quantity of five bytes: nothing read
    // from there on, and no crash.
    for (const Bytes& damaged : {Bytes{0x00, 60, 100}, Bytes{0x00, 0xFF, 0x01, 0x7F, 'x'},
                                 Bytes{0x81, 0x81, 0x81, 0x81, 0x01, 0x90, 60, 1},
                                 Bytes{0x00, 0xF5, 0x00}})
        EXPECT_TRUE(read(writeMidi(temp, {damaged})).empty());

    std::string error;
    const auto notMidi = temp.folder.getChildFile("notes.txt");
    notMidi.replaceWithText("MThd");
    EXPECT_FALSE(readMidiFile(notMidi, error).has_value());
    EXPECT_EQ(error, "not a Standard MIDI File: " + notMidi.getFullPathName().toStdString());
    EXPECT_FALSE(readMidiFile(temp.folder.getChildFile("none.mid"), error).has_value());
    EXPECT_EQ(error.rfind("cannot open ", 0), 0u);
}

class ZeroLengthNoteRender : public EngineFixture
{
protected:
    ZeroLengthNoteRender() : EngineFixture(true) {}
};

TEST_F(ZeroLengthNoteRender, AZeroLengthNoteStartsAndStops)
{
    // On strings, whose notes sustain: a note whose off sits at its on's tick must not ring on.
    ASSERT_FALSE(engine->soundBankPath().empty()) << "the General MIDI bank is not installed";
    engine->layerA().category = InstrumentCategory::strings;
    settleChanges();
    TempFolder temp;
    const auto messages = read(writeMidi(temp, {{0x00, 0x90, 60, 110, 0x00, 0x80, 60, 0}}));
    auto& midi = makeMidi();
    PerformanceRenderer renderer(*engine, midi, scheduler);
    const auto audio = renderer.render(messages, 4.0);
    const int from = (int)(3.0 * engine->host().sampleRate());
    EXPECT_LT(audio.getMagnitude(0, from, audio.getNumSamples() - from), 1.0e-4f);
}

} // namespace norvane::test
