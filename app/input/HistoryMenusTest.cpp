#include "input/HistoryMenus.h"

#include "ui/AppState.h"
#include "input/ClipboardManager.h"
#include "input/InputTestFixture.h"
#include "input/TapFuse.h"

#include <QAction>
#include <QMenu>

namespace murmelo::test {
namespace {

class HistoryMenusTest : public SimInputTest {
protected:
    HistoryMenusTest() {
        AppState& hub = AppState::shared();
        hub.appMenu = &appMenu;
        hub.historyMenu = &historyMenu;
        hub.clipboardMenu = &clipboardMenu;
        hub.secureInputItem = appMenu.addAction(QStringLiteral("secure"));
        hub.tapFuseItem = appMenu.addAction(QStringLiteral("fuse"));
        hub.frontAppBeforeMenu.reset();
        TapFuse::reset();
        HistoryMenus::attach();
    }
    ~HistoryMenusTest() override {
        AppState& hub = AppState::shared();
        hub.appMenu = nullptr;
        hub.historyMenu = nullptr;
        hub.clipboardMenu = nullptr;
        hub.secureInputItem = nullptr;
        hub.tapFuseItem = nullptr;
        hub.frontAppBeforeMenu.reset();
        SecureInput::setPresentationObserver(nullptr);
        TapFuse::reset();
    }
    void setHistory(const QStringList& texts) {
        QVariantList l;
        for (const QString& t : texts) l << t;
        env.defaults().set(HistoryMenus::historyKey, l);
    }
    static QStringList titles(const QMenu& menu) {
        QStringList out;
        for (QAction* a : menu.actions()) out << (a->isSeparator() ? QStringLiteral("---") : a->text());
        return out;
    }
    QAction* entry(QMenu& menu, const QString& title) {
        for (QAction* a : menu.actions())
            if (a->text() == title) return a;
        return nullptr;
    }

    ClipboardManager manager{&pasteboard};
    QMenu appMenu, historyMenu, clipboardMenu;

private:
    ScopedService<ClipboardManager> managerScope_{manager};
};

TEST_F(HistoryMenusTest, TitlesAreShortenedByCharacters) {
    struct Case {
        QString text;
        int limit;
        QString want;
    };
    const QString sixty = QString(59, QChar(u'ж')) + QStringLiteral("👍");
    const std::vector<Case> cases = {
        {sixty, 60, sixty},
        {sixty + QStringLiteral("!"), 60, QString(57, QChar(u'ж')) + QStringLiteral("…")},
        {QStringLiteral("раз\nдва"), 60, QStringLiteral("раз два")},
        {QString(58, QChar('a')), 58, QString(58, QChar('a'))},
        {QString(59, QChar('a')), 58, QString(55, QChar('a')) + QStringLiteral("…")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HistoryMenus::shortened(c.text, c.limit), c.want) << c.text.size() << " chars, limit " << c.limit;
}

TEST_F(HistoryMenusTest, HistorySubmenu) {
    emit historyMenu.aboutToShow();
    EXPECT_EQ(titles(historyMenu), QStringList{QStringLiteral("пусто")});
    EXPECT_FALSE(historyMenu.actions().first()->isEnabled());

    setHistory({QStringLiteral("вторая\nстрока"), QStringLiteral("первая")});
    emit historyMenu.aboutToShow();
    EXPECT_EQ(titles(historyMenu), (QStringList{QStringLiteral("вторая строка"), QStringLiteral("первая"),
                                                QStringLiteral("---"), QStringLiteral("Очистить историю")}));
    EXPECT_EQ(historyMenu.actions().first()->toolTip(), QStringLiteral("вторая\nстрока"));

    entry(historyMenu, QStringLiteral("Очистить историю"))->trigger();
    EXPECT_FALSE(env.defaults().contains(HistoryMenus::historyKey));
    EXPECT_EQ(titles(historyMenu), QStringList{QStringLiteral("пусто")});
    EXPECT_TRUE(env.logContains(QStringLiteral("история очищена")));
}

TEST_F(HistoryMenusTest, ClipboardSubmenuShowsFifteenWithPins) {
    for (int i = 1; i <= 20; ++i) manager.capture(QStringLiteral("клип %1").arg(i));
    manager.togglePin(manager.items()[1].id);
    emit clipboardMenu.aboutToShow();
    const QStringList t = titles(clipboardMenu);
    ASSERT_EQ(t.size(), 17);
    EXPECT_EQ(t.mid(15), (QStringList{QStringLiteral("---"), QStringLiteral("Открыть историю буфера…")}));
    EXPECT_EQ(t.filter(QStringLiteral("📌 ")).size(), 1);
    EXPECT_EQ(HistoryMenus::clipboardMenuModel().first().representedObject, manager.items().front().id);
}

TEST_F(HistoryMenusTest, PickedClipMovesToTopAndIsPastedIntoTheRememberedApplication) {
    auto notes = frontField(QStringLiteral("com.example.notes"));
    manager.capture(QStringLiteral("старый"));
    manager.capture(QStringLiteral("новый"));
    emit appMenu.aboutToShow();  // remembers the notes application
    desktop.addApp(QStringLiteral("com.example.other"), QStringLiteral("Other"));
    desktop.focus(QStringLiteral("com.example.other"));
    emit clipboardMenu.aboutToShow();
    entry(clipboardMenu, QStringLiteral("старый"))->trigger();
    EXPECT_EQ(manager.items().front().text, QStringLiteral("старый"));
    EXPECT_TRUE(env.logContains(QStringLiteral("вставка из буфера: фокус возвращён в notes")));
    EXPECT_TRUE(env.logContains(QStringLiteral("из буфера вставлено: [6 симв.]")));
    env.advance(0.14);
    EXPECT_EQ(notes->value, QString());
    env.advance(3.0);
    EXPECT_EQ(notes->value, QStringLiteral("старый"));
}

TEST_F(HistoryMenusTest, EntryPickedOverTheRememberedApplicationPastesWithoutReactivating) {
    auto notes = frontField(QStringLiteral("com.example.notes"));
    setHistory({QStringLiteral("текст")});
    emit appMenu.aboutToShow();
    emit historyMenu.aboutToShow();
    historyMenu.actions().first()->trigger();
    env.advance(3.0);
    EXPECT_EQ(notes->value, QStringLiteral("текст"));
    EXPECT_FALSE(env.logContains(QStringLiteral("фокус возвращён")));
}

// The application the text was meant for has quit: nothing is pasted into whatever is in
// front now.
TEST_F(HistoryMenusTest, NothingIsPastedWhenTheRememberedApplicationQuit) {
    auto notes = frontField(QStringLiteral("com.example.notes"));
    auto other = frontField(QStringLiteral("com.example.other"));
    desktop.focus(QStringLiteral("com.example.notes"));
    emit appMenu.aboutToShow();
    desktop.quit(QStringLiteral("com.example.notes"));
    desktop.focus(QStringLiteral("com.example.other"));
    HistoryMenus::pasteReturningFocus(QStringLiteral("секрет"), QStringLiteral("истории"));
    env.advance(3.0);
    EXPECT_EQ(other->value, QString());
    EXPECT_EQ(notes->value, QString());
    EXPECT_TRUE(env.logContains(QStringLiteral("вставка из истории: notes закрыто — ничего не вставляю")));
    EXPECT_FALSE(env.logContains(QStringLiteral("вставлено")));
}

TEST_F(HistoryMenusTest, OpeningTheMenuRefreshesTheStatusLines) {
    emit appMenu.aboutToShow();
    EXPECT_FALSE(AppState::shared().secureInputItem->isVisible());
    EXPECT_FALSE(AppState::shared().tapFuseItem->isVisible());
    SecureInput::apply(true);
    TapFuse::shouldReEnable(TapFuse::Reason::timeout, 1.0);
    TapFuse::shouldReEnable(TapFuse::Reason::timeout, 2.0);
    TapFuse::shouldReEnable(TapFuse::Reason::timeout, 3.0);
    emit appMenu.aboutToShow();
    EXPECT_TRUE(AppState::shared().secureInputItem->isVisible());
    EXPECT_TRUE(AppState::shared().tapFuseItem->isVisible());
    EXPECT_EQ(AppState::shared().tapFuseItem->text(),
              QStringLiteral("Правки при печати на паузе (диктовка работает): приложение подвешивало ввод"));
    SecureInput::apply(false);
    emit appMenu.aboutToShow();
    EXPECT_FALSE(AppState::shared().secureInputItem->isVisible());
}

}  // namespace
}  // namespace murmelo::test
