#include "input/ClipboardManager.h"
#include "input/ClipboardPaste.h"
#include "input/InputTestFixture.h"
#include "input/SyntheticInputPostGate.h"

using namespace murmelo;

namespace {

class ClipboardPasteTest : public test::SimInputTest {
protected:
    ClipboardPasteTest() {
        manager.start();
        field = frontField(QStringLiteral("org.kde.kate"), QStringLiteral("> "));
        userClipboard.setData(Pasteboard::plainTextType, "user's own text");
        userClipboard.setData(QStringLiteral("text/html"), "<b>user's own text</b>");
        pasteboard.setItemsFromOtherApp({userClipboard});
        env.advance(1);  // the history takes the user's copy
        keys.addObserver([this](const KeyEvent& e) {
            if (e.keyCode == 9 && e.keyDown) cmdVAt.push_back(env.clock().uptime() - t0);
        });
    }

    // Looks without reading a promised text: a read would be the canary's signal.
    bool clipboardIsTheUsers() const {
        if (pasteboard.types() != userClipboard.types()) return false;
        return pasteboard.items() == QList<PasteboardItem>{userClipboard};
    }
    // Advances to t seconds after the paste started.
    void at(double t) { env.advance(t - (env.clock().uptime() - t0)); }
    void paste(const QString& text) {
        t0 = env.clock().uptime();
        pasteViaClipboard(text, TextWriteOrigin::dictation);
    }
    bool historyHas(const QString& text) const {
        for (const ClipItem& i : manager.items())
            if (i.text == text) return true;
        return false;
    }

    ClipboardManager manager{&pasteboard};
    std::shared_ptr<sim::SimField> field;
    PasteboardItem userClipboard;
    std::vector<double> cmdVAt;
    double t0 = 0;

private:
    ScopedService<ClipboardManager> managerScope_{manager};
};

TEST_F(ClipboardPasteTest, TwoLinePasteReadAtOneTenthRestoresAtSixTenthsConfirmed) {
    const QString text = QStringLiteral("первая строка\nвторая строка");
    keys.setPasteReadDelay(0.1);
    paste(text);
    EXPECT_TRUE(cmdVAt.empty());
    at(0.069);
    EXPECT_TRUE(cmdVAt.empty());  // still settling
    at(0.07);
    ASSERT_EQ(cmdVAt.size(), 1u);
    EXPECT_NEAR(cmdVAt[0], 0.07, 1e-9);
    EXPECT_TRUE(env.logContains(QStringLiteral("вставка: Cmd+V отправлен (27 симв., settle 70мс)")));
    at(0.07 + 0.1);
    EXPECT_EQ(field->value, QStringLiteral("> ") + text);
    EXPECT_TRUE(env.logContains(QStringLiteral("вставка: буфер прочитан через 100 мс после ⌘V")));
    at(0.07 + 0.59);
    EXPECT_FALSE(clipboardIsTheUsers());
    at(0.07 + 0.6);
    EXPECT_TRUE(clipboardIsTheUsers());
    EXPECT_TRUE(env.logContains(QStringLiteral("вставка: буфер восстановлен через 600 мс после ⌘V (чтение подтверждено)")));
    env.advance(10);
    EXPECT_FALSE(historyHas(text));
    EXPECT_TRUE(historyHas(QStringLiteral("user's own text")));
    EXPECT_EQ(manager.items().size(), 1u);
}

TEST_F(ClipboardPasteTest, LateReadRestoresAfterTheGrace) {
    keys.setPasteReadDelay(1.0);
    paste(QStringLiteral("текст"));
    at(0.07 + 1.249);
    EXPECT_FALSE(clipboardIsTheUsers());
    at(0.07 + 1.25);
    EXPECT_TRUE(clipboardIsTheUsers());
    EXPECT_TRUE(env.logContains(QStringLiteral("вставка: буфер восстановлен через 1250 мс после ⌘V (чтение подтверждено)")));
}

TEST_F(ClipboardPasteTest, NoReaderRestoresAtTheDeadlineWithTheWarning) {
    field->ignoresPaste = true;
    paste(QStringLiteral("никто не прочтёт"));
    at(0.07 + 1.99);
    EXPECT_FALSE(clipboardIsTheUsers());
    at(0.07 + 2.0);
    EXPECT_TRUE(clipboardIsTheUsers());
    EXPECT_TRUE(env.logContains(QStringLiteral(
        "⚠ вставка: буфер никто не прочитал за 2000 мс - вставка не подтверждена, диктовка в истории; буфер восстановлен")));
    EXPECT_EQ(field->value, QStringLiteral("> "));
}

TEST_F(ClipboardPasteTest, RemoteViewerGetsLongerSettleAndDeadline) {
    frontField(QStringLiteral("com.nomachine.nxplayer"));
    desktop.focusedField()->ignoresPaste = true;
    setClipboardPasteMode(true);
    QStringList notes;
    setDictationTimingNote([&](const QString& n) { notes << n; });
    paste(QStringLiteral("удалённо"));
    EXPECT_EQ(notes, QStringList{QStringLiteral("УДАЛЁННЫЙ СТОЛ: settle 500 мс вместо 70")});
    at(3.49);
    EXPECT_FALSE(clipboardIsTheUsers());
    at(3.5);
    EXPECT_TRUE(clipboardIsTheUsers());
    EXPECT_TRUE(env.logContains(QStringLiteral("вставка: Cmd+V отправлен (8 симв., settle 500мс, remote)")));
    EXPECT_TRUE(env.logContains(QStringLiteral("буфер никто не прочитал за 3000 мс")));
    setDictationTimingNote({});
}

TEST_F(ClipboardPasteTest, SettingOnWithALocalTargetSaysSo) {
    setClipboardPasteMode(true);
    paste(QStringLiteral("локально"));
    at(1);
    EXPECT_TRUE(env.logContains(QStringLiteral(
        "вставка: Cmd+V отправлен (8 симв., settle 70мс, тумблер буфера вкл, но впереди не удалёнка — локальный ритм)")));
}

TEST_F(ClipboardPasteTest, PasswordFieldRefusesAndNothingIsPosted) {
    frontField(QStringLiteral("org.keepassxc.KeePassXC"), {}, QStringLiteral("AXSecureTextField"));
    const qint64 count = pasteboard.changeCount();
    paste(QStringLiteral("не пароль"));
    at(5);
    EXPECT_TRUE(keys.posted().empty());
    EXPECT_EQ(pasteboard.changeCount(), count);
    EXPECT_TRUE(clipboardIsTheUsers());
    EXPECT_TRUE(env.logContains(QStringLiteral("поле под кареткой парольное")));
}

TEST_F(ClipboardPasteTest, SecondPasteEndsTheFirstWhichPostsNothing) {
    keys.setPasteReadDelay(0.05);
    paste(QStringLiteral("первая"));
    at(0.03);
    paste(QStringLiteral("вторая"));
    env.advance(5);
    EXPECT_EQ(cmdVAt.size(), 1u);
    EXPECT_EQ(field->value, QStringLiteral("> вторая"));
    EXPECT_TRUE(clipboardIsTheUsers());
    EXPECT_TRUE(env.logContains(QStringLiteral("вставка: отменена пользовательским ⌘ до отправки Cmd+V")));
}

TEST_F(ClipboardPasteTest, UserCommandDuringSettleSuppressesTheChord) {
    env.defaults().set(TextWriteTrace::SETTING_KEY, true);
    paste(QStringLiteral("отменим"));
    EXPECT_TRUE(manager.cancelTemporaryLeaseForUserCommand());
    EXPECT_TRUE(clipboardIsTheUsers());
    at(1);
    EXPECT_TRUE(keys.posted().empty());
    EXPECT_TRUE(env.logContains(QStringLiteral(" END outcome=cancelled-before-cmd-v elapsed=70ms")));
}

TEST_F(ClipboardPasteTest, RefusedPromiseFallsBackToAnEagerWriteAndATimer) {
    env.defaults().set(TextWriteTrace::SETTING_KEY, true);
    pasteboard.setRefusesPromises(true);
    paste(QStringLiteral("жадно"));
    at(0.07 + 0.6);
    EXPECT_EQ(field->value, QStringLiteral("> жадно"));
    EXPECT_TRUE(clipboardIsTheUsers());
    EXPECT_TRUE(env.logContains(QStringLiteral("вставка: канарейка чтения не встала - буфер записан жадно, restore по таймеру")));
    EXPECT_TRUE(env.logContains(QStringLiteral("OBSERVE clipboard-provider=fallback-eager")));
    EXPECT_TRUE(env.logContains(QStringLiteral("вставка: буфер восстановлен по таймеру 600 мс (канарейки не было)")));
    env.advance(10);
    EXPECT_FALSE(historyHas(QStringLiteral("жадно")));
}

TEST_F(ClipboardPasteTest, ReadAfterRestoreIsReportedAsOldContentsPasted) {
    keys.setPasteReadDelay(2.5);
    paste(QStringLiteral("опоздали"));
    at(5);
    EXPECT_EQ(field->value, QStringLiteral("> user's own text"));
    // The reader got the user's contents: the canary is gone, so no read is noted at all.
    EXPECT_TRUE(env.logContains(QStringLiteral("буфер никто не прочитал за 2000 мс")));
}

TEST_F(ClipboardPasteTest, TraceAndLogCarryNoPastedText) {
    env.defaults().set(TextWriteTrace::SETTING_KEY, true);
    const QString sentence = QStringLiteral("Пароль от сейфа лежит под ковриком");
    keys.setPasteReadDelay(0.1);
    paste(sentence);
    env.advance(5);
    ASSERT_EQ(field->value, QStringLiteral("> ") + sentence);
    const QString log = env.logText();
    EXPECT_TRUE(log.contains(QStringLiteral("OBSERVE clipboard-delivery=read-confirmed restore=600ms")));
    EXPECT_TRUE(log.contains(QStringLiteral("END outcome=cmd-v-posted elapsed=70ms")));
    for (const QString& word : sentence.split(' '))
        if (word.size() > 3) {
            EXPECT_FALSE(log.contains(word)) << word.toStdString();
        }
}

}  // namespace
