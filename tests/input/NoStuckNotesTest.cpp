#include "input/ComputerKeyboardManager.h"
#include "support/EngineFixture.h"

#include <random>

namespace norvane::test
{

class NoStuckNotesTest : public EngineFixture
{
};

/** Plays a long random performance through every input and every setting that changes what
    a key plays, renders now and then so the audio side keeps up, then lets go of everything:
    nothing may still sound anywhere. */
TEST_F(NoStuckNotesTest, RandomPerformanceLeavesNothingSounding)
{
    auto& midi = makeMidi();
    ComputerKeyboardManager keys(midi);

    std::vector<std::unique_ptr<NoteLedger>> ledgers;
    for (auto* l : engine->playingLayers())
        ledgers.push_back(std::make_unique<NoteLedger>(*l));

    std::mt19937 random(20261206);
    auto pick = [&](int low, int high)
    { return std::uniform_int_distribution<int>(low, high)(random); };

    std::set<int> midiKeysDown;
    std::set<char32_t> letterKeysDown;
    const std::u32string letters = U"awsedftgyhujkolpzx";
    auto layers = engine->playingLayers();

    constexpr int operations = 12000;
    int panics = 0;
    for (int op = 0; op < operations; ++op)
    {
        const int kind = pick(0, 99);
        if (kind < 25)
        {
            const int note = pick(0, 127);
            const std::uint8_t bytes[] = {(std::uint8_t)(0x90 | pick(0, 15)), (std::uint8_t)note,
                                          (std::uint8_t)pick(1, 127)};
            midi.processNow(bytes, sizeof(bytes));
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
            switch (pick(0, 7))
            {
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
        else if (kind < 94)
        {
            const std::uint8_t bytes[] = {0xE0, (std::uint8_t)pick(0, 127),
                                          (std::uint8_t)pick(0, 127)};
            midi.processNow(bytes, sizeof(bytes));
        }
        else
        {
            scheduler.advance(0.01);
            renderFor(0.002);
        }
    }

    // Let go of everything: keys, letters, pedal, latches (as the audio side last said).
    renderFor(0.01);
    for (int note : midiKeysDown)
    {
        const std::uint8_t bytes[] = {0x80, (std::uint8_t)note, 0};
        midi.processNow(bytes, sizeof(bytes));
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
    renderFor(0.01);

    EXPECT_GT(panics, 20);
    EXPECT_TRUE(midi.sustainedNotes->empty())
        << "still held: " << midi.sustainedNotes->size() << " notes";
    for (size_t i = 0; i < layers.size(); ++i)
    {
        EXPECT_TRUE(layers[i]->soundedNotes().empty()) << "layer " << layers[i]->slot;
        EXPECT_TRUE(ledgers[i]->soundingPitches().empty()) << "layer " << layers[i]->slot;
        EXPECT_GT(ledgers[i]->totalStarts(), 100) << "layer " << layers[i]->slot;
    }
}

} // namespace norvane::test
