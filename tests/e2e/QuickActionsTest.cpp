// A selection made with the mouse in another application gets the bead, the bar's cloud
// action goes to the Responses stand-in, and the result card puts the answer back over the
// selection by a paste, or on the clipboard when the selection has changed meanwhile.
#include "Desk.h"

#include "StandIns.h"
#include "ScopedEnv.h"
#include "TestFiles.h"
#include "ai/AIProvider.h"
#include "ai/CloudActionHistory.h"
#include "ai/CloudResultWindow.h"
#include "ai/OpenAIKeychain.h"
#include "ai/QuickActionUsageStore.h"
#include "ai/QuickActionsController.h"
#include "ai/QuickActionsTap.h"
#include "ai/QuickActionsUI.h"
#include "shell/SubsystemLinks.h"
#include "sim/SimKeyStore.h"
#include "stats/MonthlyStats.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace murmelo;
using State = QuickActionPanelController::State;

namespace {

QString answer(const QString& title, const QString& text) {
    return QString::fromUtf8(QJsonDocument(QJsonObject{{"action_title", title},
                                                        {"text", text},
                                                        {"output_language", "ru"},
                                                        {"needs_confirmation", false},
                                                        {"warning", ""}})
                                 .toJson(QJsonDocument::Compact));
}

class QuickActionsE2E : public ::testing::Test {
protected:
    QuickActionsE2E() {
        OpenAIKeychain::shared().invalidateCache();
        BundledKey::resetForTesting(desk.env.root() + "/no-bundled-key.txt");
        card.useHistory(&history);
        field = desk.open("org.kde.kate", "превет мир", "AXTextArea");
        field->frame = QRectF(100, 200, 400, 20);
        desk.copy("мой буфер");
    }
    ~QuickActionsE2E() override {
        card.close();
        card.useHistory(nullptr);
        OpenAIKeychain::shared().invalidateCache();
        BundledKey::resetForTesting();
    }
    void storeKey() {
        keys.write("com.local.murmelo.openai", "api-key", "label", QByteArray("sk-test-0123456789abcdef"));
        OpenAIKeychain::shared().invalidateCache();
    }
    bool startService() {
        test::writeFile(desk.env.root() + "/script.json",
                        QJsonDocument(QJsonObject{{"responses", QJsonArray{QJsonObject{
                                                                    {"text", answer("Исправлено", "привет мир")}}}}})
                            .toJson(QJsonDocument::Compact));
        service.emplace(test::startResponsesStandIn(desk.env.root() + "/record.jsonl", desk.env.root() + "/script.json"));
        host.emplace(AIProvider::HOST_ENVIRONMENT, service->base().toUtf8());
        return service->running();
    }
    // The user double-clicks the text, the field having selected it.
    void doubleClickSelection() {
        desk.caret(0, 10);
        desk.click({300, 210}, 2);
    }
    qint64 monthlyQuickActions() const { return MonthlyStats::snapshot().record.quickActions; }

    e2e::Desk desk;
    sim::SimKeyStore keys;
    ScopedService<KeyStore> keysScope{keys};
    QuickActionsLink link;
    QuickActionUsageStore usage{Defaults::shared()};
    QuickActionPanelController panel;
    QuickActionsController controller{link, panel, usage};
    ScopedService<QuickActionsController> controllerScope{controller};
    QuickActionsTap tapConsumer;
    ScopedService<TapQuickActions> tapScope{static_cast<TapQuickActions&>(tapConsumer)};
    CloudActionHistory history{Defaults::shared()};
    CloudResultWindow& card = CloudResultWindow::shared();
    std::shared_ptr<sim::SimField> field;
    std::optional<test::ResponsesStandIn> service;
    std::optional<test::ScopedEnv> host;
};

TEST_F(QuickActionsE2E, ImproveReplacesTheDoubleClickedSelection) {
    storeKey();
    ASSERT_TRUE(startService());
    const qint64 monthBefore = monthlyQuickActions();
    doubleClickSelection();
    desk.wait(0.11);
    EXPECT_EQ(panel.state(), State::hidden);
    desk.wait(0.01);
    ASSERT_EQ(panel.state(), State::collapsed);
    EXPECT_EQ(panel.selection()->detectionPath, "ax-bounds");

    panel.expand();
    panel.perform(QuickActionID::improve);
    EXPECT_EQ(panel.state(), State::loading);
    ASSERT_TRUE(desk.env.waitFor([&] { return card.hasRequest(); }, 20000));
    EXPECT_EQ(service->requests().size(), 1);
    EXPECT_EQ(card.state().incoming, "привет мир");

    card.perform(CloudResultAction::primary);
    desk.wait(3);
    EXPECT_EQ(field->value, "привет мир");
    EXPECT_EQ(desk.clipboardText(), "мой буфер");
    EXPECT_TRUE(desk.logHas("Quick Actions: пользователь подтвердил замену (10 симв.)"));
    EXPECT_TRUE(Defaults::shared().object("quickActions.usage.v1").has_value());
    EXPECT_EQ(usage.primaryActions(*panel.lastSelection()).size(), 2);
    EXPECT_EQ(monthlyQuickActions(), monthBefore + 1);
}

TEST_F(QuickActionsE2E, AChangedSelectionGetsTheResultOnTheClipboard) {
    storeKey();
    ASSERT_TRUE(startService());
    doubleClickSelection();
    desk.wait(0.12);
    panel.perform(QuickActionID::improve);
    ASSERT_TRUE(desk.env.waitFor([&] { return card.hasRequest(); }, 20000));
    desk.caret(0, 6);  // the user selected something else meanwhile
    card.perform(CloudResultAction::primary);
    desk.wait(0.2);
    EXPECT_EQ(field->value, "превет мир");
    EXPECT_EQ(desk.clipboardText(), "привет мир");
    EXPECT_EQ(panel.texts().value(0), "Выделение изменилось");
    EXPECT_EQ(desk.pastesPosted(), 0);
}

TEST_F(QuickActionsE2E, WithoutAKeyNothingIsSentAndTheErrorGoesAfterTwelveSeconds) {
    ASSERT_TRUE(startService());
    doubleClickSelection();
    desk.wait(0.12);
    panel.perform(QuickActionID::improve);
    EXPECT_EQ(panel.state(), State::error);
    EXPECT_EQ(panel.texts(), QStringList{"Для «Улучшить» добавьте OpenAI API key в настройках Quick Reply."});
    desk.wait(11.9);
    EXPECT_EQ(panel.state(), State::error);
    desk.wait(0.2);
    EXPECT_EQ(panel.state(), State::hidden);
    EXPECT_TRUE(service->requests().isEmpty());
}

TEST_F(QuickActionsE2E, TheMenuSwitchOffShowsNothing) {
    ASSERT_TRUE(desk.choose("toggleQuickActions"));
    EXPECT_TRUE(desk.logHas("Quick Actions: выкл"));
    doubleClickSelection();
    desk.wait(1);
    EXPECT_EQ(panel.state(), State::hidden);
    ASSERT_TRUE(desk.choose("toggleQuickActions"));
    doubleClickSelection();
    desk.wait(0.12);
    EXPECT_EQ(panel.state(), State::collapsed);
}

}  // namespace
