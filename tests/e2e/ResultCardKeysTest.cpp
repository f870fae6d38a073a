// Keys typed into the cloud result card while it has the keyboard belong to the card alone:
// the event tap hands them to neither Quick Actions nor the layout switcher.
#include "Desk.h"

#include "ai/CloudActionHistory.h"
#include "ai/CloudResultWindow.h"
#include "ai/QuickActionsTap.h"
#include "input/TapConsumers.h"
#include "platform/Service.h"

#include <QApplication>
#include <QStringList>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

struct QuickActionsRecorder : QuickActionsTap {
    QStringList calls;
    bool keyDown(qint64 code, quint64, bool) override { return calls << QString("down %1").arg(code), false; }
    void keyUp(qint64 code, quint64, bool) override { calls << QString("up %1").arg(code); }
};

struct SwitcherRecorder : TapLayoutSwitcher {
    QStringList calls;
    bool handleKeyDown(const InputEvent& e) override { return calls << QString("key %1").arg(e.keyCode), false; }
    void noteRealKeyDown() override { calls << "real"; }
};

TEST(ResultCardKeysTest, WhileTheCardIsKeyTheTapPassesKeysUntouched) {
    e2e::Desk desk;
    QuickActionsRecorder quickActions;
    SwitcherRecorder switcher;
    ScopedService<TapQuickActions> qaScope{static_cast<TapQuickActions&>(quickActions)};
    ScopedService<TapLayoutSwitcher> switcherScope{static_cast<TapLayoutSwitcher&>(switcher)};
    CloudActionHistory history(Defaults::shared());
    CloudResultWindow& card = CloudResultWindow::shared();
    card.useHistory(&history);
    desk.open(QStringLiteral("org.kde.kate"), QStringLiteral("ghbdtn"));

    CloudResultRequest request;
    request.title = QStringLiteral("Исправлено");
    request.text = QStringLiteral("привет");
    request.primaryTitle = QStringLiteral("Заменить");
    card.show(request);
    card.panel()->activateWindow();
    QApplication::processEvents();
    ASSERT_TRUE(card.isKey());
    desk.press(0).press(38);  // "a" and "j"
    EXPECT_TRUE(quickActions.calls.isEmpty()) << quickActions.calls.join(", ").toStdString();
    EXPECT_TRUE(switcher.calls.isEmpty()) << switcher.calls.join(", ").toStdString();

    card.close();
    QApplication::processEvents();
    desk.press(0);
    EXPECT_EQ(quickActions.calls, (QStringList{"down 0", "up 0"}));
    EXPECT_TRUE(switcher.calls.contains("key 0"));
    card.useHistory(nullptr);
}

}  // namespace
