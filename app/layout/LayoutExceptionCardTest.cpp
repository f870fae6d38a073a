#include "layout/LayoutExceptionCard.h"

#include "TestEnvironment.h"
#include "base/Defaults.h"

#include <QImage>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

using Change = LayoutExceptionCardController::Change;

struct ExceptionCard : ::testing::Test {
    test::TestEnvironment env;
    LayoutExceptionCardController cards;
};

TEST_F(ExceptionCard, RendersOffscreenAsAFloatingCardThatTakesNoFocusOrClicks) {
    cards.show(QStringLiteral("привет"), Change::added);
    EXPECT_FALSE(cards.isShowing());  // built on the main queue
    env.runPending();
    ASSERT_TRUE(cards.isShowing());
    LayoutExceptionCardBody* card = cards.panel();
    EXPECT_EQ(card->text(), QStringLiteral("«привет» — в исключениях"));
    EXPECT_TRUE(card->isVisible());
    const Qt::WindowFlags flags = card->windowFlags();
    EXPECT_TRUE(flags & Qt::FramelessWindowHint);
    EXPECT_TRUE(flags & Qt::WindowDoesNotAcceptFocus);
    EXPECT_TRUE(flags & Qt::WindowTransparentForInput);
    EXPECT_TRUE(card->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_TRUE(card->testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_TRUE(env.logContains(QStringLiteral("layout/exception-card: добавлено ")));

    const QImage img = card->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(img.width(), card->width());
    EXPECT_GE(img.width(), 180);
    EXPECT_EQ(img.pixelColor(0, 0).alpha(), 0);  // a rounded corner
    EXPECT_EQ(img.pixelColor(img.width() - 4, img.height() / 2).alpha(), 255);  // the water card
    // The text is drawn in the ink colour somewhere inside the padding.
    const QColor body = img.pixelColor(img.width() - 4, img.height() / 2);
    bool inked = false;
    for (int x = 14; x < img.width() - 14 && !inked; ++x)
        for (int y = 10; y < img.height() - 10 && !inked; ++y)
            inked = qAbs(img.pixelColor(x, y).lightness() - body.lightness()) > 60;
    EXPECT_TRUE(inked);
}

TEST_F(ExceptionCard, ASecondCardReplacesTheFirstAndStaysItsFullTime) {
    cards.show(QStringLiteral("первое"), Change::added);
    env.runPending();
    env.advance(1.0);
    cards.show(QStringLiteral("второе"), Change::removed);
    env.runPending();
    EXPECT_EQ(cards.shownCount(), 2);
    EXPECT_EQ(cards.panel()->text(), QStringLiteral("«второе» — убрано из исключений"));
    env.advance(2.0);  // past the first card's end
    EXPECT_TRUE(cards.isShowing());
    env.advance(0.5);
    EXPECT_FALSE(cards.isShowing());
}

TEST_F(ExceptionCard, OnlyAStoredFalseTurnsTheCardOff) {
    Defaults::shared().set(LayoutExceptionCardController::ENABLED_KEY, false);
    cards.show(QStringLiteral("привет"), Change::added);
    env.advance(1);
    EXPECT_FALSE(cards.isShowing());
    EXPECT_FALSE(env.logContains(QStringLiteral("layout/exception-card")));
    Defaults::shared().set(LayoutExceptionCardController::ENABLED_KEY, QStringLiteral("no"));
    cards.show(QStringLiteral("привет"), Change::added);
    env.runPending();
    EXPECT_TRUE(cards.isShowing());
}

TEST_F(ExceptionCard, AShortWordKeepsTheLeastWidthAndALongOneGrows) {
    const LayoutExceptionCardBody shortCard(LayoutExceptionCardController::text(QStringLiteral("ок"), Change::added), false);
    EXPECT_EQ(shortCard.sizeHint().width(), 180);
    const LayoutExceptionCardBody longCard(
        LayoutExceptionCardController::text(QStringLiteral("превысокомногорассмотрительствующий"), Change::removed), true);
    EXPECT_GT(longCard.sizeHint().width(), 300);
    EXPECT_EQ(longCard.sizeHint().height(), shortCard.sizeHint().height());
}

TEST_F(ExceptionCard, SitsSixteenPointsInFromTheBottomRightOfTheVisibleFrame) {
    EXPECT_EQ(LayoutExceptionCardController::cardOrigin(QRectF(1440, 0, 1920, 1040), QSizeF(200, 40)), QPointF(3144, 16));
    EXPECT_EQ(LayoutExceptionCardController::cardOrigin(std::nullopt, QSizeF(200, 40)), QPointF(0, 0));
}

}  // namespace
