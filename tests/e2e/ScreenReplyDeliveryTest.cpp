// Where a finished screen reply goes: straight into the focused field of the application it
// was made for, or into the result card, from which the user inserts or copies it. A reply
// never lands in an application it was not made for.
#include "Desk.h"

#include "ai/CloudActionHistory.h"
#include "ai/CloudResultWindow.h"
#include "reply/QuickReplyPreviewController.h"
#include "reply/ScreenReplyCoordinator.h"
#include "reply/ScreenReplyDeliveryDecision.h"
#include "input/TextWriteTrace.h"
#include "stats/MonthlyStats.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

const QString REPLY = QStringLiteral("Буду завтра в 10");

struct ScreenReplyDelivery : ::testing::Test {
    e2e::Desk desk;
    CloudActionHistory history{Defaults::shared()};
    CloudResultWindow& card = CloudResultWindow::shared();
    e2e::Field field;
    qint32 target = 0;

    ScreenReplyDelivery() {
        card.useHistory(&history);
        desk.setting(QStringLiteral("textWriteTrace"), true);
        desk.copy(QStringLiteral("буфер пользователя"));
        field = desk.open(QStringLiteral("org.kde.kate"), QStringLiteral("Ответ: "));
        target = qint32(desk.desktop.app(QStringLiteral("org.kde.kate"))->identity.pid);
    }
    ~ScreenReplyDelivery() override {
        card.close();
        card.useHistory(nullptr);
    }

    static QuickReplyResult result(bool needsConfirmation = false) {
        QuickReplyResult r;
        r.actionTitle = QStringLiteral("Ответ Ивану");
        r.reply = REPLY;
        r.needsConfirmation = needsConfirmation;
        return r;
    }
    int writes(TextWriteOrigin origin) const {
        return desk.logCount(QStringLiteral("BEGIN origin=") + rawValue(origin) + QStringLiteral(" "));
    }
    qint64 quickReplies() const { return MonthlyStats::snapshot().record.quickReplies; }
};

TEST_F(ScreenReplyDelivery, AnOrdinaryFieldOfTheTargetTakesTheReplyAtOnce) {
    const qint64 counted = quickReplies();
    ScreenReplyCoordinator::shared().deliver(result(), target, QStringLiteral("Почта"));
    EXPECT_EQ(desk.logCount(QStringLiteral("Ответ на экран: вставляю сразу в поле — ")), 1);
    desk.wait(3);
    EXPECT_EQ(writes(TextWriteOrigin::screenReply), 1);
    EXPECT_EQ(desk.pastesPosted(), 1);
    EXPECT_EQ(field->value, QStringLiteral("Ответ: ") + REPLY);
    EXPECT_EQ(desk.clipboardText(), QStringLiteral("буфер пользователя"));
    EXPECT_FALSE(card.isVisible());
    EXPECT_EQ(quickReplies(), counted);  // only the card's road counts
}

TEST_F(ScreenReplyDelivery, APasswordFieldGetsTheCardWithoutAnInsertButton) {
    desk.focus(QStringLiteral("org.kde.kate"), desk.desktop.addField(QStringLiteral("org.kde.kate"), AXNames::secureTextFieldRole));
    ScreenReplyCoordinator::shared().deliver(result(), target, std::nullopt);
    desk.wait(3);
    EXPECT_TRUE(desk.logHas(QStringLiteral("Ответ на экран: предпросмотр — фокус в парольном поле")));
    EXPECT_EQ(desk.pastesPosted(), 0);
    EXPECT_EQ(writes(TextWriteOrigin::screenReply), 0);
    ASSERT_TRUE(card.isVisible());
    EXPECT_EQ(card.state().title, QStringLiteral("Ответ Ивану"));
    EXPECT_EQ(card.state().meta, QStringLiteral("Ondrix"));
    EXPECT_FALSE(card.state().showsPrimaryAction);
    EXPECT_TRUE(card.state().showsSecondaryCopy);
}

TEST_F(ScreenReplyDelivery, InsertFromTheCardPastesIntoTheTargetAfterActivating) {
    ScreenReplyAutoInsertPolicy::setEnabled(false);
    const qint64 counted = quickReplies();
    ScreenReplyCoordinator::shared().deliver(result(), target, QStringLiteral("Почта"));
    EXPECT_TRUE(desk.logHas(QStringLiteral("Ответ на экран: предпросмотр — настройка выключена")));
    ASSERT_TRUE(card.isVisible());
    EXPECT_TRUE(card.state().showsPrimaryAction);
    EXPECT_EQ(card.state().meta, QStringLiteral("Почта"));
    EXPECT_EQ(quickReplies(), counted + 1);

    // The user looked elsewhere meanwhile; insert brings the target back first.
    desk.open(QStringLiteral("org.gnome.gedit"));
    card.perform(CloudResultAction::primary);
    EXPECT_TRUE(desk.logHas(QStringLiteral("Quick Reply: пользователь подтвердил вставку (16 симв.)")));
    desk.wait(QuickReplyPreviewController::insertDelay - 0.01);
    EXPECT_EQ(desk.pastesPosted(), 0);
    desk.wait(3);
    EXPECT_EQ(writes(TextWriteOrigin::quickReply), 1);
    EXPECT_EQ(field->value, QStringLiteral("Ответ: ") + REPLY);
    EXPECT_EQ(desk.clipboardText(), QStringLiteral("буфер пользователя"));
}

// Nothing is typed anywhere when the target cannot take the reply: it is on the clipboard,
// once in the history, and the card says why.
TEST_F(ScreenReplyDelivery, ATargetThatIsGoneOrStaysBehindGetsTheReplyOnTheClipboard) {
    struct Row {
        const char* name;
        std::function<void(e2e::Desk&)> meanwhile;
        QString cardText;
        QString logLine;
    } rows[] = {
        {"quit",
         [](e2e::Desk& d) { d.desktop.quit(QStringLiteral("org.kde.kate")); },
         QStringLiteral("Приложение, куда отвечали, закрыто. Ответ скопирован в буфер — вставь вручную."),
         QStringLiteral("Ответ: приложение-адресат исчезло (pid ")},
        {"activation refused",
         [](e2e::Desk& d) {
             d.desktop.app(QStringLiteral("org.kde.kate"))->refusesActivation = true;
             d.open(QStringLiteral("org.gnome.gedit"));
         },
         QStringLiteral("Приложение, куда отвечали, не вышло вперёд. Ответ скопирован в буфер — вставь вручную."),
         QStringLiteral("Ответ: приложение-адресат не впереди (pid ")},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        e2e::Desk& d = desk;
        d.focus(QStringLiteral("org.kde.kate"));
        d.desktop.app(QStringLiteral("org.kde.kate"))->refusesActivation = false;
        QuickReplyPreviewController::shared().showResult(result(true), target, std::nullopt);
        ASSERT_TRUE(card.state().showsPrimaryAction);
        r.meanwhile(d);
        const e2e::Field other = d.focusedField();
        const QString otherBefore = other ? other->value : QString();
        card.perform(CloudResultAction::primary);
        d.wait(3);
        EXPECT_EQ(d.pastesPosted(), 0);
        EXPECT_EQ(field->value, QStringLiteral("Ответ: "));
        if (other) {
            EXPECT_EQ(other->value, otherBefore);
        }
        EXPECT_EQ(d.clipboardText(), REPLY);
        EXPECT_EQ(std::count_if(d.clipboardHistory().begin(), d.clipboardHistory().end(),
                                [](const ClipItem& i) { return i.text == REPLY; }),
                  1);
        EXPECT_TRUE(d.logHas(r.logLine));
        ASSERT_TRUE(card.isVisible());
        EXPECT_EQ(card.state().incoming, r.cardText);
        EXPECT_FALSE(card.state().showsSettings);
        card.close();
    }
}

TEST_F(ScreenReplyDelivery, CopyFromTheCardPutsTheReplyOnTheClipboard) {
    QuickReplyPreviewController::shared().showResult(result(), target, std::nullopt);
    card.perform(CloudResultAction::copy);
    EXPECT_EQ(desk.clipboardText(), REPLY);
    EXPECT_TRUE(desk.logHas(QStringLiteral("Ответ: скопирован пользователем (16 симв.)")));
    EXPECT_FALSE(card.isVisible());
    desk.wait(3);
    EXPECT_EQ(desk.pastesPosted(), 0);
}

}  // namespace
