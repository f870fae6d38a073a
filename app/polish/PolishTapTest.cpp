#include "polish/PolishTap.h"

#include "TestEnvironment.h"

#include <gtest/gtest.h>

using namespace murmelo;

namespace {

class PolishTapTest : public ::testing::Test {
protected:
    PolishTapTest() {
        tap.isRecording = [this] { return recording; };
        tap.perform = [this](PolishScopeMode mode) { performed.push_back(mode); };
        tap.keyCount = [this] { return keyDowns; };
    }
    void press(double heldSeconds) {
        tap.notePolishDown();
        env.advance(heldSeconds);
        tap.notePolishUp();
    }

    test::TestEnvironment env;
    PolishTap tap;
    bool recording = false;
    quint64 keyDowns = 0;
    std::vector<PolishScopeMode> performed;
};

}  // namespace

TEST_F(PolishTapTest, AShortPressPolishesTheParagraphAfterTheDelay) {
    press(0.39);
    env.advance(0.29);
    EXPECT_TRUE(performed.empty());
    env.advance(0.01);
    EXPECT_EQ(performed, std::vector<PolishScopeMode>{PolishScopeMode::currentParagraphUnpolished});
    EXPECT_TRUE(env.logContains("polish: одиночный тап "));
    EXPECT_FALSE(tap.hasPendingPolish());
}

TEST_F(PolishTapTest, WhatIsNoTap) {
    // Each case waits out the delay alone, so that one wrongly taken tap cannot be cancelled
    // by the next as a double tap.
    press(0.40);  // a hold
    env.advance(1.0);
    tap.notePolishDown();
    ++keyDowns;  // used as Shift for a letter
    tap.notePolishUp();
    env.advance(1.0);
    tap.notePolishUp();  // a release without a press
    env.advance(1.0);
    recording = true;
    press(0.1);
    env.advance(1.0);
    EXPECT_TRUE(performed.empty());
}

TEST_F(PolishTapTest, ASecondTapOrTheConverterCancels) {
    press(0.05);
    env.advance(0.15);
    press(0.05);
    env.advance(1.0);
    EXPECT_TRUE(performed.empty());
    EXPECT_TRUE(env.logContains("polish: второй тап (двойной) → отмена"));

    press(0.05);
    tap.cancelPendingPolish("двойной ⇧ — это ручной конвертер");
    env.advance(1.0);
    EXPECT_TRUE(performed.empty());
    EXPECT_TRUE(env.logContains("polish: отменена — двойной ⇧ — это ручной конвертер"));
}

TEST(PolishTapLifetimeTest, AWaitingTapOutlivedByItsOwnerDoesNothing) {
    test::TestEnvironment env;
    int performed = 0;
    {
        PolishTap tap;
        tap.isRecording = [] { return false; };
        tap.perform = [&](PolishScopeMode) { ++performed; };
        tap.notePolishDown();
        tap.notePolishUp();
    }
    env.advance(1.0);
    EXPECT_EQ(performed, 0);
}
