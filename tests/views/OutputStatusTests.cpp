#include "app/AppState.h"
#include "engine/SimulatedAudioDevice.h"
#include "store/FileWriter.h"
#include "support/EngineFixture.h"
#include "support/FakeMidi.h"
#include "support/MenuEntries.h"
#include "support/ViewSetup.h"
#include "ui/OutputStatus.h"

#include <gtest/gtest.h>

namespace norvane::test
{

namespace
{

/** The application playing through a simulated sound card of 44.1 kHz and 256 frames of its
    own, with 220 frames of latency, that also offers other sizes and 48 kHz. */
class OutputStatusTest : public ::testing::Test, protected ViewSetup
{
protected:
    OutputStatusTest()
    {
        settings.sampleRate = 44100.0;
        settings.bufferSize = 256;
        settings.otherBufferSizes = {32, 64, 128, 512, 1024, 2048};
        settings.otherSampleRates = {48000.0};
        settings.outputLatency = 220;
        settings.realTime = false;
        open();
    }

    /** A run of the application in the test's folder, on the simulated device. */
    void open()
    {
        app.reset();
        AppState::Options options;
        options.engine.soundBankPath = "/nonexistent/none.sf2";
        options.engine.useAudioDevice = true;
        options.engine.deviceType = [s = settings]
        { return std::make_unique<SimulatedAudioDeviceType>(s); };
        options.midi = std::make_unique<FakeMidi>(std::make_shared<FakeMidi::State>());
        options.folder = temp.folder;
        options.defaults = &defaults;
        options.localization = &loc;
        options.updateFeed = juce::URL("http://127.0.0.1:9/version.json");
        app = std::make_unique<AppState>(scheduler, std::move(options));
        app->setUpSession();
    }

    AudioEngine& engine() { return app->audioEngine; }

    void chooseSimulatedDevice()
    {
        for (const auto& device : engine().listOutputDevices())
            if (device.type == SimulatedAudioDeviceType::typeName)
                engine().selectOutputDevice(device);
        ASSERT_EQ(engine().host().deviceName(), SimulatedAudioDeviceType::deviceName);
    }

    /** Callbacks as the audio thread would record them, with the device stopped so that
        these are the only ones. */
    void record(int count, double shareOfPeriod)
    {
        const double period = engine().host().deviceFigures()->periodMs;
        for (int i = 0; i < count; ++i)
            engine().host().callbackTimes().record(shareOfPeriod * period, period, shareOfPeriod * period);
    }

    SimulatedAudioDeviceType::Settings settings;
    ManualScheduler scheduler;
    std::unique_ptr<AppState> app;
};

} // namespace

/** What the status beside the output shows: the callback's load, the xruns (the driver's and
    the callbacks past their period) and the device's latency plus a buffer; a click starts the
    count again, and a device opened again counts from its own start. */
TEST_F(OutputStatusTest, TheStatusShowsTheDevicesFiguresAndAClickResetsTheXruns)
{
    chooseSimulatedDevice();
    engine().host().stopPlaying();
    DeviceStatusButton status(context, engine());

    engine().host().callbackTimes().clear();
    record(2, 1.3);    // two callbacks past their period
    record(2000, 0.25); // then a steady quarter of it
    settings.clock->lateCallbacks += 3; // what the driver reports
    status.refresh();
    // The program asks for 128 frames: (220 + 128) / 44.1 kHz of latency.
    EXPECT_EQ(status.getButtonText(), "CPU 25% · 5 xruns · 7.9 ms");
    loc.language = AppLanguage::spanish;
    status.refresh();
    EXPECT_EQ(status.getButtonText(), juce::String::fromUTF8("CPU 25 % · 5 cortes · 7.9 ms"));
    loc.language = AppLanguage::english;

    status.clicked();
    EXPECT_EQ(status.getButtonText(), "CPU 25% · 0 xruns · 7.9 ms");
    settings.clock->lateCallbacks += 1;
    status.refresh();
    EXPECT_EQ(status.getButtonText(), "CPU 25% · 1 xrun · 7.9 ms");
    record(1, 2.0);
    record(2000, 0.5);
    status.refresh();
    EXPECT_EQ(status.getButtonText(), "CPU 50% · 2 xruns · 7.9 ms");

    // At 512 frames the device starts again from nothing, and so does the count; the reset
    // made on the old opening does not hide the new device's first xrun.
    engine().selectOutputFormat({512, 44100.0});
    engine().host().stopPlaying();
    settings.clock->lateCallbacks += 1;
    status.refresh();
    EXPECT_TRUE(status.getButtonText().endsWith(" · 1 xrun · 16.6 ms")) << status.getButtonText();
}

TEST_F(OutputStatusTest, WithoutADeviceTheStatusSaysSo)
{
    engine().host().stop(); // the engine plays on its silent clock, through nothing
    DeviceStatusButton status(context, engine());
    EXPECT_EQ(status.getButtonText(), "No audio output");
    OutputSettingsView view(context, engine());
    EXPECT_FALSE(view.bufferPicker.isEnabled());
    EXPECT_TRUE(menuEntries(view.bufferMenu()).empty());
}

/** The popover offers the device's sizes between 64 and 1024 frames and its rates; a choice
    opens the device again so, keeps the other figure, and comes back with the session. */
TEST_F(OutputStatusTest, ThePopoverChoosesTheBufferAndRateAndTheSessionKeepsThem)
{
    chooseSimulatedDevice();
    OutputSettingsView view(context, engine());
    EXPECT_EQ(view.bufferPicker.getButtonText(), "128 (2.9 ms)"); // what the program asks first

    auto sizes = menuEntries(view.bufferMenu());
    std::vector<juce::String> texts;
    for (const auto& e : sizes)
        texts.push_back(e.text);
    ASSERT_EQ(texts, (std::vector<juce::String>{"64 (1.5 ms)", "128 (2.9 ms)", "256 (5.8 ms)",
                                                "512 (11.6 ms)", "1024 (23.2 ms)"}));
    EXPECT_EQ(tickedCount(sizes), 1);
    EXPECT_TRUE(findEntry(sizes, "128 (2.9 ms)")->ticked);

    findEntry(sizes, "512 (11.6 ms)")->action();
    EXPECT_EQ(engine().host().deviceFigures()->bufferSize, 512);
    EXPECT_EQ(view.bufferPicker.getButtonText(), "512 (11.6 ms)");
    EXPECT_TRUE(engine().isRunning()); // playing again at once

    const auto rates = menuEntries(view.rateMenu());
    ASSERT_EQ(rates.size(), 2u);
    EXPECT_TRUE(findEntry(rates, "44100 Hz")->ticked);
    findEntry(rates, "48000 Hz")->action();
    EXPECT_EQ(engine().host().deviceFigures()->sampleRate, 48000.0);
    EXPECT_EQ(engine().host().deviceFigures()->bufferSize, 512);
    EXPECT_EQ(engine().host().sampleRate(), 48000.0); // the graph follows the device
    EXPECT_EQ(view.ratePicker.getButtonText(), "48000 Hz");
    EXPECT_EQ(view.bufferPicker.getButtonText(), "512 (10.7 ms)");

    app->willTerminate();
    open();
    EXPECT_EQ(engine().host().deviceName(), SimulatedAudioDeviceType::deviceName);
    EXPECT_EQ(engine().host().deviceFigures()->bufferSize, 512);
    EXPECT_EQ(engine().host().deviceFigures()->sampleRate, 48000.0);
    EXPECT_EQ(engine().outputFormat.get(), (DeviceFormat{512, 48000.0}));
}

/** A session written by hand with a size or rate no device is asked for opens the device as
    it comes; the rest of the session still loads. */
TEST_F(OutputStatusTest, ASessionWithImpossibleFiguresOpensTheDeviceAsItComes)
{
    chooseSimulatedDevice();
    engine().selectOutputFormat({1024, 48000.0});
    app->willTerminate();
    app.reset();
    const auto file = temp.folder.getChildFile("Session.json");
    auto text = file.loadFileAsString();
    ASSERT_TRUE(text.contains("\"audioBufferSize\":1024")) << text;
    ASSERT_TRUE(text.contains("\"audioSampleRate\":48000")) << text;
    text = text.replace("\"audioBufferSize\":1024", "\"audioBufferSize\":100000")
               .replace("\"audioSampleRate\":48000", "\"audioSampleRate\":-1");
    ASSERT_TRUE(file.replaceWithText(text));

    open();
    EXPECT_EQ(engine().host().deviceName(), SimulatedAudioDeviceType::deviceName);
    EXPECT_EQ(engine().outputFormat.get(), DeviceFormat{});
    EXPECT_EQ(engine().host().deviceFigures()->bufferSize, 128);
    EXPECT_EQ(engine().host().deviceFigures()->sampleRate, 44100.0);
}

} // namespace norvane::test
