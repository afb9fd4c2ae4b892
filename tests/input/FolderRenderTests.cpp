#include "aids/DronePadController.h"
#include "store/LivePatch.h"
#include "support/EngineFixture.h"
#include "support/TempFolder.h"

#include <juce_audio_formats/juce_audio_formats.h>

namespace norvane::test
{

namespace
{

/** A file at 120 bpm, 1920 ticks a second: a note, a Program Change, another note. */
juce::File writeFile(const juce::File& folder, int program)
{
    juce::MidiMessageSequence track;
    auto at = [&](juce::MidiMessage m, double seconds)
    {
        m.setTimeStamp(seconds * 1920.0);
        track.addEvent(m);
    };
    at(juce::MidiMessage::noteOn(1, 60, (juce::uint8)100), 0.0);
    at(juce::MidiMessage::noteOff(1, 60), 0.4);
    at(juce::MidiMessage::programChange(1, program), 1.0);
    at(juce::MidiMessage::noteOn(1, 64, (juce::uint8)100), 1.5);
    at(juce::MidiMessage::noteOff(1, 64), 1.9);
    juce::MidiFile file;
    file.setTicksPerQuarterNote(960);
    file.addTrack(track);
    const auto out = folder.getChildFile("program" + juce::String(program) + ".mid");
    juce::FileOutputStream stream(out);
    stream.setPosition(0);
    stream.truncate();
    file.writeTo(stream);
    return out;
}

double rms(const juce::AudioBuffer<float>& audio, double from, double to)
{
    const int a = (int)(from * 48000.0), b = std::min(audio.getNumSamples(), (int)(to * 48000.0));
    return b > a ? audio.getRMSLevel(0, a, b - a) : 0.0;
}

} // namespace

/** A render through an application folder recalls its patches by Program Change as live:
    patch 1 silences every layer, so the note after it plays nothing while patch 0 plays it;
    the folder itself is left as it was. */
TEST(FolderRender, AProgramChangeRecallsTheFoldersPatch)
{
    TempFolder temp;
    const auto app = temp.folder.getChildFile("Norvane");
    ASSERT_TRUE(app.createDirectory());
    {
        ManualScheduler scheduler;
        AudioEngine::Options options;
        options.soundBankPath = "/nonexistent/none.sf2";
        AudioEngine engine(scheduler, options);
        DronePadController drone(engine.dronePad(), scheduler);
        auto piano = LivePatch::capture(engine, drone, "Piano");
        piano.layers[0].isEnabled = true;
        auto silent = LivePatch::capture(engine, drone, "Silent");
        for (auto& layer : silent.layers)
            layer.isEnabled = false;
        ASSERT_TRUE(app.getChildFile("LivePatches.json")
                        .replaceWithText(LivePatch::encodeList({piano, silent})));
    }
    const auto patches = app.getChildFile("LivePatches.json").loadFileAsString();

    std::map<int, juce::AudioBuffer<float>> renders;
    for (int program : {0, 1})
    {
        const auto midi = writeFile(temp.folder, program);
        const auto wav = temp.folder.getChildFile("out" + juce::String(program) + ".wav");
        juce::ChildProcess cli;
        ASSERT_TRUE(cli.start(juce::StringArray{NORVANE_CLI, "render", midi.getFullPathName(),
                                                wav.getFullPathName(), "--folder",
                                                app.getFullPathName(), "--seconds", "0.5"}));
        const auto said = cli.readAllProcessOutput();
        ASSERT_EQ(cli.getExitCode(), 0u) << said;

        juce::WavAudioFormat format;
        std::unique_ptr<juce::AudioFormatReader> reader(
            format.createReaderFor(new juce::FileInputStream(wav), true));
        ASSERT_NE(reader, nullptr);
        auto& audio = renders[program];
        audio.setSize(2, (int)reader->lengthInSamples);
        reader->read(&audio, 0, audio.getNumSamples(), 0, true, true);
    }

    EXPECT_GT(rms(renders[0], 0.0, 0.4), 1e-3);
    EXPECT_GT(rms(renders[1], 0.0, 0.4), 1e-3);
    EXPECT_GT(rms(renders[0], 1.5, 1.9), 1e-3);
    EXPECT_LT(rms(renders[1], 1.5, 1.9), 1e-5);

    // Rendered on a copy: the folder holds what it held, and no session of the render.
    EXPECT_EQ(app.getChildFile("LivePatches.json").loadFileAsString(), patches);
    EXPECT_FALSE(app.getChildFile("Session.json").exists());
    EXPECT_EQ(app.getNumberOfChildFiles(juce::File::findFilesAndDirectories), 1);
}

} // namespace norvane::test
