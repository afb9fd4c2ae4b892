#include "aids/DronePadController.h"
#include "input/ComputerKeyboardManager.h"
#include "store/LivePatch.h"
#include "support/EngineFixture.h"
#include "support/InstalledPlugins.h"

#include <random>

namespace norvane::test
{

class NoStuckNotesTest : public EngineFixture, public ::testing::WithParamInterface<unsigned>
{
};

/** Plays a long random performance through every input and every setting that changes what
    a key plays (patches recalled while keys and the pedal hold notes, sounds and plug-ins
    swapped, sources changed, all of it sometimes before the last change has loaded), renders
    now and then so the audio side keeps up, then lets go of everything: nothing may still
    sound anywhere. */
TEST_P(NoStuckNotesTest, RandomPerformanceLeavesNothingSounding)
{
    midiState->sources = {{"20-0", "Stage Piano"}, {"24-0", "Pad Controller"}};
    auto& midi = makeMidi();
    ComputerKeyboardManager keys(midi);
    DronePadController drone(engine->dronePad(), scheduler);
    engine->setPluginFinder(findInstalled);
    const auto piano = installedRef("MDA Piano");

    std::vector<std::unique_ptr<NoteLedger>> ledgers;
    for (auto* l : engine->playingLayers())
        ledgers.push_back(std::make_unique<NoteLedger>(*l));

    std::mt19937 random(GetParam());
    auto pick = [&](int low, int high)
    { return std::uniform_int_distribution<int>(low, high)(random); };

    std::set<int> midiKeysDown;
    std::set<char32_t> letterKeysDown;
    const std::u32string letters = U"awsedftgyhujkolpzx";
    auto layers = engine->playingLayers();

    constexpr int operations = 5000;
    int panics = 0;
    for (int op = 0; op < operations; ++op)
    {
        const int kind = pick(0, 99);
        if (kind < 25)
        {
            const int note = pick(0, 127);
            const std::uint8_t bytes[] = {(std::uint8_t)(0x90 | pick(0, 15)), (std::uint8_t)note,
                                          (std::uint8_t)pick(1, 127)};
            midiState->deliver(bytes, sizeof(bytes)); // as the MIDI thread would
            midiKeysDown.insert(note);
        }
        else if (kind < 45 && !midiKeysDown.empty())
        {
            auto it = midiKeysDown.begin();
            std::advance(it, pick(0, (int)midiKeysDown.size() - 1));
            // Note-off as 0x80 or as a note-on with velocity 0.
            const bool zeroVelocity = pick(0, 1) == 1;
            const std::uint8_t bytes[] = {(std::uint8_t)(zeroVelocity ? 0x93 : 0x84),
                                          (std::uint8_t)*it, 0};
            midi.processNow(bytes, sizeof(bytes));
            midiKeysDown.erase(it);
        }
        else if (kind < 55)
        {
            const char32_t c = letters[(size_t)pick(0, (int)letters.size() - 1)];
            KeyEvent e;
            e.character = pick(0, 3) == 0 ? c - 32 : c; // sometimes with Shift
            e.type = letterKeysDown.count(c) && pick(0, 2) != 0 ? KeyEvent::Type::up
                                                                : KeyEvent::Type::down;
            e.isRepeat = e.type == KeyEvent::Type::down && letterKeysDown.count(c) != 0;
            keys.handle(e);
            if (e.type == KeyEvent::Type::down)
                letterKeysDown.insert(c);
            else
                letterKeysDown.erase(c);
        }
        else if (kind < 61)
        {
            midi.toggleOnScreenKey(pick(20, 100));
        }
        else if (kind < 67)
        {
            const std::uint8_t bytes[] = {0xB0, 64, (std::uint8_t)pick(0, 127)};
            midi.processNow(bytes, sizeof(bytes));
        }
        else if (kind < 71)
        {
            midi.transposeSemitones = pick(-12, 12);
        }
        else if (kind < 85)
        {
            auto& l = *layers[(size_t)pick(0, 3)];
            switch (pick(0, 11))
            {
            case 8:
                l.variantIndex = pick(0, 2); // a new sound, loaded aside
                break;
            case 9:
                l.category = static_cast<InstrumentCategory>(pick(0, 5));
                break;
            case 10:
                // A plug-in, or back to the SoundFont: instances arrive through the messages.
                engine->loadInstrumentPlugin(pick(0, 1) == 0 ? std::optional<PluginRef>(piano)
                                                             : std::nullopt,
                                             std::nullopt, l);
                break;
            case 11:
            {
                // A patch recalled while notes are held: another range, octave and sound.
                auto patch = LivePatch::capture(*engine, drone, "Random");
                for (auto& snapshot : patch.layers)
                {
                    snapshot.isEnabled = pick(0, 3) != 0;
                    snapshot.categoryRawValue = pick(0, 5);
                    snapshot.variantIndex = pick(0, 2);
                    snapshot.lowKey = pick(0, 60);
                    snapshot.highKey = pick(61, 127);
                    snapshot.octaveShift = pick(-2, 2);
                    snapshot.transposeSemitones = pick(-12, 12);
                    snapshot.releaseTime = pick(0, 2) * 0.3;
                }
                patch.apply(*engine, drone);
                break;
            }
            case 7:
                l.damperAmount = pick(0, 2) * 0.5;
                break;
            case 0:
                l.transposeSemitones = pick(-15, 15);
                break;
            case 1:
                l.octaveShift = pick(-3, 3);
                break;
            case 2:
                l.lowKey = pick(0, 127);
                break;
            case 3:
                l.highKey = pick(0, 127);
                break;
            case 4:
                l.crossfadeSemitones = pick(0, 14);
                break;
            case 5:
                l.isEnabled = pick(0, 1) == 1;
                break;
            case 6:
                l.velocityCurve = allVelocityCurves[pick(0, 3)];
                break;
            }
        }
        else if (kind < 88)
        {
            const int attack = pick(0, 3), release = pick(0, 3);
            layers[(size_t)pick(0, 3)]->attackTime = attack * 0.1;
            layers[(size_t)pick(0, 3)]->releaseTime = release * 0.2;
        }
        else if (kind < 89)
        {
            midi.panic();
            ++panics;
        }
        else if (kind < 93)
        {
            const std::uint8_t bytes[] = {0xE0, (std::uint8_t)pick(0, 127),
                                          (std::uint8_t)pick(0, 127)};
            midi.processNow(bytes, sizeof(bytes));
        }
        else if (kind < 94)
        {
            // The other source: what the first one held is let go.
            const auto& sources = midi.availableSources.get();
            midi.connect(sources[(size_t)pick(0, (int)sources.size() - 1)].id);
            ASSERT_TRUE(midiState->deliver);
        }
        else if (kind < 95)
        {
            drainMessages(1); // plug-ins arrive
        }
        else
        {
            scheduler.advance(0.01);
            renderFor(0.002);
        }
    }
    // What is still being prepared takes over before the last keys are let go.
    drainMessages(1);
    settleChanges();

    // Let go of everything: keys, letters, pedal, latches (as the audio side last said).
    renderFor(0.01);
    for (int note : midiKeysDown)
    {
        const std::uint8_t bytes[] = {0x80, (std::uint8_t)note, 0};
        midiState->deliver(bytes, sizeof(bytes));
    }
    for (char32_t c : letterKeysDown)
    {
        KeyEvent e;
        e.type = KeyEvent::Type::up;
        e.character = c;
        keys.handle(e);
    }
    renderFor(0.01);
    for (int note : std::set<int>(midi.clickedNotes.get()))
        midi.toggleOnScreenKey(note - midi.transposeSemitones.get());
    const std::uint8_t pedalUp[] = {0xB0, 64, 0};
    midi.processNow(pedalUp, sizeof(pedalUp));
    renderFor(3.0); // the longest release, and the tails

    EXPECT_GT(panics, 5);
    EXPECT_TRUE(midi.sustainedNotes->empty())
        << "still held: " << midi.sustainedNotes->size() << " notes";
    for (size_t i = 0; i < layers.size(); ++i)
    {
        EXPECT_TRUE(layers[i]->soundedNotes().empty()) << "layer " << layers[i]->slot;
        EXPECT_TRUE(ledgers[i]->soundingPitches().empty()) << "layer " << layers[i]->slot;
        EXPECT_GT(ledgers[i]->totalStarts(), 20) << "layer " << layers[i]->slot;
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, NoStuckNotesTest,
                         ::testing::Values(20261206u, 1u, 2u, 3u, 4u, 5u, 6u, 7u));

} // namespace norvane::test
