#include "input/ComputerKeyboardManager.h"
#include "support/EngineFixture.h"

namespace norvane::test
{

namespace
{

KeyEvent down(char32_t c, bool repeat = false)
{
    KeyEvent e;
    e.type = KeyEvent::Type::down;
    e.character = c;
    e.isRepeat = repeat;
    return e;
}

KeyEvent up(char32_t c)
{
    KeyEvent e;
    e.type = KeyEvent::Type::up;
    e.character = c;
    return e;
}

} // namespace

class ComputerKeyboardTest : public EngineFixture
{
protected:
    ComputerKeyboardTest() : keys(makeMidi()) {}
    ComputerKeyboardManager keys;
};

TEST_F(ComputerKeyboardTest, LettersMapOntoOneAndAHalfOctaves)
{
    const std::u32string whites = U"asdfghjkl", blacks = U"wetyuop";
    const int whiteOffsets[] = {0, 2, 4, 5, 7, 9, 11, 12, 14};
    const int blackOffsets[] = {1, 3, 6, 8, 10, 13, 15};
    for (size_t i = 0; i < whites.size(); ++i)
        EXPECT_EQ(ComputerKeyboardManager::offsetFor(whites[i]), whiteOffsets[i]);
    for (size_t i = 0; i < blacks.size(); ++i)
        EXPECT_EQ(ComputerKeyboardManager::offsetFor(blacks[i]), blackOffsets[i]);

    NoteLedger ledger(engine->layerA());
    EXPECT_TRUE(keys.handle(down(U'a')));
    EXPECT_TRUE(keys.handle(down(U'P'))); // Shift or Caps Lock: same note
    settle();
    EXPECT_EQ(midi->activeNotes.get(), (std::set<int>{60, 75}));

    // R, I, Q and digits pass through untouched.
    for (char32_t c : {U'r', U'i', U'q', U'1', U'\0'})
        EXPECT_FALSE(keys.handle(down(c)));
    settle();
    EXPECT_EQ(ledger.totalStarts(), 2);
}

TEST_F(ComputerKeyboardTest, RepeatsPlayOnceAndModifiersOrTextFieldsPassKeysOn)
{
    NoteLedger ledger(engine->layerA());
    keys.handle(down(U'a'));
    for (int i = 0; i < 10; ++i)
        EXPECT_TRUE(keys.handle(down(U'a', true)));
    EXPECT_TRUE(keys.handle(down(U'a'))); // a second key-down without key-up
    EXPECT_TRUE(keys.handle(up(U'a')));
    settle();
    ASSERT_EQ(ledger.startsInOrder().size(), 1u);
    EXPECT_EQ(ledger.startsInOrder()[0], std::make_pair(60, 100));
    EXPECT_TRUE(ledger.soundingPitches().empty());
    EXPECT_TRUE(keys.handle(up(U'a'))); // released twice: nothing more

    auto command = down(U'a');
    command.command = true;
    EXPECT_FALSE(keys.handle(command));
    auto alt = down(U's');
    alt.option = true;
    EXPECT_FALSE(keys.handle(alt));
    auto control = down(U'x');
    control.control = true;
    EXPECT_FALSE(keys.handle(control));
    auto typing = down(U'd');
    typing.textFieldHasFocus = true;
    EXPECT_FALSE(keys.handle(typing));
    settle();
    EXPECT_EQ(ledger.startsInOrder().size(), 1u);
    EXPECT_EQ(keys.baseNote.get(), 60);
}

TEST_F(ComputerKeyboardTest, OctaveKeysStayInRangeAndHeldKeysReleaseTheirOwnNote)
{
    NoteLedger ledger(engine->layerA());
    keys.handle(down(U'a'));
    for (int expected : {72, 84, 96, 108})
    {
        EXPECT_TRUE(keys.handle(down(U'x')));
        EXPECT_TRUE(keys.handle(up(U'x')));
        EXPECT_EQ(keys.baseNote.get(), expected);
    }
    keys.handle(down(U'x'));
    EXPECT_EQ(keys.baseNote.get(), 108); // 120 would leave the range
    EXPECT_TRUE(keys.handle(down(U'z', true)));
    EXPECT_EQ(keys.baseNote.get(), 108); // repeats never move it

    keys.handle(up(U'a'));
    settle();
    EXPECT_TRUE(ledger.soundingPitches().empty()); // 60 stopped, not 108

    for (int i = 0; i < 10; ++i)
        keys.handle(down(U'Z'));
    EXPECT_EQ(keys.baseNote.get(), 0);

    keys.handle(down(U'l'));
    keys.handle(down(U'k'));
    keys.releaseAll();
    settle();
    EXPECT_TRUE(ledger.soundingPitches().empty());
    EXPECT_TRUE(midi->activeNotes->empty());
}

} // namespace norvane::test
