#include "polish/PolishTap.h"

#include "TestEnvironment.h"

#include <gtest/gtest.h>

using namespace murmelo;

namespace {

// The tap's owner as the test sets it: whether a dictation records, the key count, and the
// gestures performed.
struct Owner final : PolishTap::Owner {
    void performPolish(PolishScopeMode mode) override { performed.push_back(mode); }
    bool isRecording() override { return recording; }
    quint64 keyCount() override { return keyDowns; }
    bool recording = false;
    quint64 keyDowns = 0;
    std::vector<PolishScopeMode> performed;
};

class PolishTapTest : public ::testing::Test {
protected:
    void press(double heldSeconds) {
        tap.notePolishDown();
        env.advance(heldSeconds);
        tap.notePolishUp();
    }

    test::TestEnvironment env;
    Owner owner;
    PolishTap tap{owner};
};

}  // namespace

TEST_F(PolishTapTest, AShortPressPolishesTheParagraphAfterTheDelay) {
    press(0.39);
    env.advance(0.29);
    EXPECT_TRUE(owner.performed.empty());
    env.advance(0.01);
    EXPECT_EQ(owner.performed, std::vector<PolishScopeMode>{PolishScopeMode::currentParagraphUnpolished});
    EXPECT_TRUE(env.logContains("polish: одиночный тап "));
    EXPECT_FALSE(tap.hasPendingPolish());
}

TEST_F(PolishTapTest, WhatIsNoTap) {
    // Each case waits out the delay alone, so that one wrongly taken tap cannot be cancelled
    // by the next as a double tap.
    press(0.40);  // a hold
    env.advance(1.0);
    tap.notePolishDown();
    ++owner.keyDowns;  // used as Shift for a letter
    tap.notePolishUp();
    env.advance(1.0);
    tap.notePolishUp();  // a release without a press
    env.advance(1.0);
    owner.recording = true;
    press(0.1);
    env.advance(1.0);
    EXPECT_TRUE(owner.performed.empty());
}

TEST_F(PolishTapTest, ASecondTapOrTheConverterCancels) {
    press(0.05);
    env.advance(0.15);
    press(0.05);
    env.advance(1.0);
    EXPECT_TRUE(owner.performed.empty());
    EXPECT_TRUE(env.logContains("polish: второй тап (двойной) → отмена"));

    press(0.05);
    tap.cancelPendingPolish("двойной ⇧ — это ручной конвертер");
    env.advance(1.0);
    EXPECT_TRUE(owner.performed.empty());
    EXPECT_TRUE(env.logContains("polish: отменена — двойной ⇧ — это ручной конвертер"));
}

TEST(PolishTapLifetimeTest, AWaitingTapOutlivedByItsOwnerDoesNothing) {
    test::TestEnvironment env;
    Owner owner;
    {
        PolishTap tap{owner};
        tap.notePolishDown();
        tap.notePolishUp();
    }
    env.advance(1.0);
    EXPECT_TRUE(owner.performed.empty());
}
