#include "aids/DronePadController.h"
#include "store/LivePatch.h"
#include "support/EngineFixture.h"
#include "support/TempFolder.h"

#include <juce_audio_formats/juce_audio_formats.h>

namespace norvane::test
{

namespace
{

void writeMidi(const juce::MidiMessageSequence& track, const juce::File& out)
{
    juce::MidiFile file;
    file.setTicksPerQuarterNote(960);
    file.addTrack(track);
    juce::FileOutputStream stream(out);
    stream.setPosition(0);
    stream.truncate();
    file.writeTo(stream);
}

/** What `norvane-cli render --folder` makes of the file; fails the test when it cannot. */
juce::AudioBuffer<float> renderThrough(const juce::File& app, const juce::File& midi,
                                       const juce::File& wav)
{
    juce::AudioBuffer<float> audio;
    juce::ChildProcess cli;
    if (!cli.start(juce::StringArray{NORVANE_CLI, "render", midi.getFullPathName(),
                                     wav.getFullPathName(), "--folder", app.getFullPathName(),
                                     "--seconds", "0.5"}))
    {
        ADD_FAILURE() << "norvane-cli did not start";
        return audio;
    }
    const auto said = cli.readAllProcessOutput();
    if (cli.getExitCode() != 0)
    {
        ADD_FAILURE() << said;
        return audio;
    }
    juce::WavAudioFormat format;
    std::unique_ptr<juce::AudioFormatReader> reader(
        format.createReaderFor(new juce::FileInputStream(wav), true));
    if (reader == nullptr)
    {
        ADD_FAILURE() << "no WAV in " << wav.getFullPathName();
        return audio;
    }
    audio.setSize(2, (int)reader->lengthInSamples);
    reader->read(&audio, 0, audio.getNumSamples(), 0, true, true);
    return audio;
}

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
    const auto out = folder.getChildFile("program" + juce::String(program) + ".mid");
    writeMidi(track, out);
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
        renders[program] = renderThrough(
            app, midi, temp.folder.getChildFile("out" + juce::String(program) + ".wav"));
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

/** The folder's controller bindings play in a render: a fader bound to layer A's level fades
    the held note out once the controller has come down through the level the layer stands at;
    before that, the controller's first values change nothing. */
TEST(FolderRender, TheFoldersControllerBindingsPlay)
{
    TempFolder temp;
    const auto app = temp.folder.getChildFile("Norvane");
    ASSERT_TRUE(app.createDirectory());
    juce::MidiMessageSequence track;
    auto at = [&](juce::MidiMessage m, double seconds)
    {
        m.setTimeStamp(seconds * 1920.0);
        track.addEvent(m);
    };
    at(juce::MidiMessage::noteOn(1, 48, (juce::uint8)110), 0.0);
    for (int v = 127, step = 0; v >= 0; v -= 8, ++step) // down from the top, past 108 of 127
        at(juce::MidiMessage::controllerEvent(2, 20, v), 0.6 + 0.05 * step);
    at(juce::MidiMessage::controllerEvent(2, 20, 0), 1.5);
    at(juce::MidiMessage::noteOff(1, 48), 2.4);
    const auto midi = temp.folder.getChildFile("fade.mid");
    writeMidi(track, midi);

    const auto plain = renderThrough(app, midi, temp.folder.getChildFile("plain.wav"));
    ASSERT_TRUE(app.getChildFile("Controllers.json")
                    .replaceWithText(R"({"bindings":[{"target":"layerA.volume","cc":20}]})"));
    const auto faded = renderThrough(app, midi, temp.folder.getChildFile("faded.wav"));
    ASSERT_GT(plain.getNumSamples(), 48000 * 2);
    ASSERT_EQ(faded.getNumSamples(), plain.getNumSamples());

    EXPECT_GT(rms(plain, 1.6, 2.3), 1e-3); // without the binding the note rings on
    EXPECT_NEAR(rms(faded, 0.1, 0.7) / rms(plain, 0.1, 0.7), 1.0, 0.01);
    EXPECT_NEAR(rms(faded, 0.6, 0.7) / rms(plain, 0.6, 0.7), 1.0, 0.01); // 127, 119, 111: waiting
    EXPECT_LT(rms(faded, 0.9, 1.0), 0.8 * rms(plain, 0.9, 1.0));           // taken over
    EXPECT_LT(rms(faded, 1.6, 2.3), 1e-5);                                // faded out
}

} // namespace norvane::test
