#include "engine/SamplerNode.h"
#include "support/EngineFixture.h"
#include "support/TempFolder.h"

namespace norvane::test
{

namespace
{

/** An engine whose application folder is a temporary one. */
class SoundBankTest : public ::testing::Test
{
protected:
    SoundBankTest()
    {
        AudioEngine::Options options;
        options.appFolder = temp.folder;
        engine = std::make_unique<AudioEngine>(scheduler, options);
    }

    TempFolder temp;
    ManualScheduler scheduler;
    std::unique_ptr<AudioEngine> engine;
};

} // namespace

TEST_F(SoundBankTest, WithoutAnInstalledSoundFontTheSystemBankPlays)
{
    ASSERT_FALSE(AudioEngine::systemBank().empty()) << "the General MIDI bank is not installed";
    EXPECT_EQ(engine->soundBankPath(), AudioEngine::systemBank());
    EXPECT_FALSE(engine->customSoundFontInstalled.get());
    for (auto* l : engine->playingLayers())
        EXPECT_FALSE(l->loadError.get().has_value());
}

TEST_F(SoundBankTest, InstallingSilencesReloadsAndReplacesAnEarlierCopy)
{
    auto ledger = std::make_unique<NoteLedger>(engine->layerA());
    engine->noteOn(60, 100);
    engine->noteOn(64, 100);
    settle(*engine);
    EXPECT_EQ(ledger->soundingPitches(), (std::vector<int>{60, 64}));

    const auto source = juce::File("/usr/share/sounds/sf2/TimGM6mb.sf2"); // small, quick to copy
    ASSERT_TRUE(source.existsAsFile()) << "timgm6mb-soundfont is not installed";
    engine->installSoundFont(source);
    settleChanges(*engine);
    EXPECT_TRUE(ledger->soundingPitches().empty()); // panic first
    ledger.reset();
    EXPECT_TRUE(engine->layerA().soundedNotes().empty());
    EXPECT_TRUE(engine->customSoundFontInstalled.get());
    EXPECT_FALSE(engine->loadError.get().has_value());
    const auto target = temp.folder.getChildFile("SoundFont.sf2");
    EXPECT_EQ(engine->soundBankPath(), target.getFullPathName().toStdString());
    EXPECT_EQ(engine->layerC().soundBankPath(), engine->soundBankPath());
    EXPECT_EQ(target.getSize(), source.getSize());
    EXPECT_FALSE(engine->layerA().loadError.get().has_value());

    // Installing again replaces the copy; nothing is left over beside it.
    engine->installSoundFont(source);
    EXPECT_EQ(target.getSize(), source.getSize());
    EXPECT_EQ(temp.folder.getNumberOfChildFiles(juce::File::findFiles, "*"), 1);

    // A failed install keeps the installed bank in place and in use.
    engine->installSoundFont(temp.folder.getChildFile("missing.sf2"));
    ASSERT_TRUE(engine->loadError.get().has_value());
    EXPECT_EQ(engine->loadError.get()->rfind("No se pudo instalar el SoundFont: ", 0), 0u);
    EXPECT_TRUE(target.existsAsFile());
    EXPECT_EQ(engine->soundBankPath(), target.getFullPathName().toStdString());

    // A file that is no SoundFont is refused before it replaces anything, and says why.
    const auto notABank = temp.folder.getChildFile("notes.sf2");
    notABank.replaceWithText("RIFF but not really a SoundFont");
    engine->installSoundFont(notABank);
    ASSERT_TRUE(engine->loadError.get().has_value());
    EXPECT_NE(engine->loadError.get()->find("could not be read (" +
                                            notABank.getFullPathName().toStdString()),
              std::string::npos);
    EXPECT_EQ(target.getSize(), source.getSize());
    EXPECT_EQ(engine->soundBankPath(), target.getFullPathName().toStdString());
    EXPECT_FALSE(temp.folder.getChildFile(".SoundFont.sf2.part").exists());

    engine->removeCustomSoundFont();
    EXPECT_FALSE(target.exists());
    EXPECT_FALSE(engine->customSoundFontInstalled.get());
    EXPECT_EQ(engine->soundBankPath(), AudioEngine::systemBank());

    // A new engine finds an installed SoundFont at start.
    engine->installSoundFont(source);
    engine.reset();
    AudioEngine::Options options;
    options.appFolder = temp.folder;
    AudioEngine next(scheduler, options);
    EXPECT_TRUE(next.customSoundFontInstalled.get());
}

TEST_F(SoundBankTest, ADamagedBankFailsPerLayerAndTheOthersKeepPlaying)
{
    // Damaged after it was installed.
    const auto junk = engine->customSoundFontFile();
    junk.replaceWithText("RIFF but not really a SoundFont");
    engine->reloadSharedBank(junk.getFullPathName().toStdString());
    settleChanges(*engine);
    for (auto* l : engine->playingLayers())
    {
        ASSERT_TRUE(l->loadError.get().has_value());
        EXPECT_NE(l->loadError.get()->find(": "), std::string::npos);
    }

    // Switching back: every layer loads again.
    engine->removeCustomSoundFont();
    settleChanges(*engine);
    for (auto* l : engine->playingLayers())
        EXPECT_FALSE(l->loadError.get().has_value());

    // One layer pointed at a missing bank does not disturb the others.
    engine->layerB().setSoundBankPath("/nonexistent.sf2");
    engine->layerB().loadInstrument();
    settleChanges(*engine);
    EXPECT_TRUE(engine->layerB().loadError.get().has_value());
    juce::AudioBuffer<float> out(2, 9600);
    engine->host().render(out, 0, 128);
    engine->noteOn(60, 110);
    engine->host().render(out, 0, out.getNumSamples());
    EXPECT_GT(out.getMagnitude(0, 0, out.getNumSamples()), 0.01f);
}

/** A damaged SoundFont in the player's folder at start: every layer plays the system's bank,
    the error names the player's file, and the file is left where it is. */
TEST(SoundBankAtStart, ADamagedInstalledSoundFontLeavesTheLayersOnTheSystemBank)
{
    TempFolder temp;
    const auto junk = temp.folder.getChildFile("SoundFont.sf2");
    ASSERT_TRUE(junk.replaceWithText("RIFF but not really a SoundFont"));
    ManualScheduler scheduler;
    AudioEngine::Options options;
    options.appFolder = temp.folder;
    AudioEngine engine(scheduler, options);

    EXPECT_EQ(engine.soundBankPath(), AudioEngine::systemBank());
    EXPECT_FALSE(engine.customSoundFontInstalled.get());
    ASSERT_TRUE(engine.loadError.get().has_value());
    EXPECT_NE(engine.loadError.get()->find(junk.getFullPathName().toStdString()), std::string::npos)
        << *engine.loadError.get();
    for (auto* l : engine.playingLayers())
        EXPECT_FALSE(l->loadError.get().has_value());
    EXPECT_TRUE(junk.existsAsFile());

    juce::AudioBuffer<float> out(2, 9600);
    engine.host().render(out, 0, 128);
    engine.noteOn(60, 110);
    engine.host().render(out, 0, out.getNumSamples());
    EXPECT_GT(out.getMagnitude(0, 0, out.getNumSamples()), 0.01f);
}

namespace
{

/** A device type of the test's own: speakers; a microphone (input only); a box that shows an
    input and no output; a card another program has open, which shows no channels at all; and,
    once the speakers are taken, a driver that no longer lists them (as ALSA does for a device
    it cannot open at that moment). */
class FakeDeviceType final : public juce::AudioIODeviceType
{
public:
    explicit FakeDeviceType(std::shared_ptr<bool> speakersTakenIn)
        : juce::AudioIODeviceType("Fake"), speakersTaken(std::move(speakersTakenIn))
    {
    }

    void scanForDevices() override {}
    juce::StringArray getDeviceNames(bool wantInputNames) const override
    {
        if (wantInputNames)
            return {"Microphone"};
        if (*speakersTaken)
            return {"Mute Box", "Busy Card"};
        return {"Speakers", "Mute Box", "Busy Card"};
    }
    int getDefaultDeviceIndex(bool) const override { return 0; }
    int getIndexOfDevice(juce::AudioIODevice*, bool) const override { return -1; }
    bool hasSeparateInputsAndOutputs() const override { return true; }

    juce::AudioIODevice* createDevice(const juce::String& outputName, const juce::String&) override
    {
        return new Device(outputName, outputName == "Speakers" ? 2 : 0,
                          outputName == "Mute Box" ? 1 : 0);
    }

private:
    struct Device final : juce::AudioIODevice
    {
        Device(const juce::String& name, int outputsIn, int inputsIn)
            : juce::AudioIODevice(name, "Fake"), outputs(outputsIn), inputs(inputsIn)
        {
        }
        juce::StringArray getOutputChannelNames() override
        {
            juce::StringArray names;
            for (int i = 0; i < outputs; ++i)
                names.add("out " + juce::String(i));
            return names;
        }
        juce::StringArray getInputChannelNames() override
        {
            juce::StringArray names;
            for (int i = 0; i < inputs; ++i)
                names.add("in " + juce::String(i));
            return names;
        }
        juce::Array<double> getAvailableSampleRates() override { return {48000.0}; }
        juce::Array<int> getAvailableBufferSizes() override { return {128}; }
        int getDefaultBufferSize() override { return 128; }
        juce::String open(const juce::BigInteger&, const juce::BigInteger&, double, int) override
        {
            return {};
        }
        void close() override {}
        bool isOpen() override { return false; }
        void start(juce::AudioIODeviceCallback*) override {}
        void stop() override {}
        bool isPlaying() override { return false; }
        juce::String getLastError() override { return {}; }
        int getCurrentBufferSizeSamples() override { return 128; }
        double getCurrentSampleRate() override { return 48000.0; }
        int getCurrentBitDepth() override { return 32; }
        juce::BigInteger getActiveOutputChannels() const override { return {}; }
        juce::BigInteger getActiveInputChannels() const override { return {}; }
        int getOutputLatencyInSamples() override { return 0; }
        int getInputLatencyInSamples() override { return 0; }
        int outputs, inputs;
    };

    std::shared_ptr<bool> speakersTaken;
};

} // namespace

TEST_F(SoundBankTest, DevicesWithOutputsAreListedAndSoAreBusyOnesAndTheOneOpen)
{
    auto taken = std::make_shared<bool>(false);
    engine->host().deviceManager().addAudioDeviceType(std::make_unique<FakeDeviceType>(taken));
    auto fakeNames = [&]
    {
        std::vector<std::string> names;
        for (auto& d : engine->listOutputDevices())
            if (d.type == "Fake")
                names.push_back(d.name);
        return names;
    };
    EXPECT_EQ(fakeNames(), (std::vector<std::string>{"Speakers", "Busy Card"}));

    const auto devices = engine->listOutputDevices();
    const auto speakers =
        std::find_if(devices.begin(), devices.end(), [](auto& d) { return d.name == "Speakers"; });
    ASSERT_NE(speakers, devices.end());
    EXPECT_EQ(speakers->id, MIDIManager::fnv1a("Fake/Speakers"));

    // Playing through the speakers, which the driver then no longer lists: still offered.
    ASSERT_FALSE(
        engine->host().openDevice(AudioHost::OutputDevice{"Fake", "Speakers"}).has_value());
    *taken = true;
    EXPECT_EQ(fakeNames(), (std::vector<std::string>{"Busy Card", "Speakers"}));
    engine->host().stop();
}

} // namespace norvane::test
