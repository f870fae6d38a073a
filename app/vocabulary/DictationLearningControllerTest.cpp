#include "vocabulary/DictationLearningController.h"

#include "TestEnvironment.h"
#include "cleanup/SmartCleanupScenarioStore.h"
#include "platform/Service.h"
#include "vocabulary/CorrectionsMenuSection.h"
#include "vocabulary/DictationLearningDialog.h"
#include "vocabulary/DictationLearningStore.h"

#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QPlainTextEdit>
#include <gtest/gtest.h>

#include <deque>

using namespace murmelo;
using Kind = LearningAlert::Kind;

namespace {

const DictationContext kA{QStringLiteral("com.example.a"), QStringLiteral("Заметки")};

// Answers the alerts in turn for the user and keeps what it was shown.
class ScriptedPresenter : public DictationLearningPresenter {
public:
    LearningAnswer run(const LearningAlert& alert) override {
        shown.push_back(alert);
        if (answers.empty()) return {};
        LearningAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    QList<Kind> kinds() const {
        QList<Kind> out;
        for (const auto& a : shown) out << a.kind;
        return out;
    }
    std::deque<LearningAnswer> answers;
    std::vector<LearningAlert> shown;
};

class DictationLearningControllerTest : public ::testing::Test {
protected:
    // The shared store starts without a dictation and without rules.
    DictationLearningControllerTest() { store() = DictationLearningStore(); }
    ~DictationLearningControllerTest() override {
        store().clear();
        // Whatever a test showed names the product as the user knows it.
        for (const LearningAlert& a : presenter.shown)
            for (const QString& text : QStringList{a.message, a.informativeText} + a.buttons)
                EXPECT_FALSE(text.contains(QStringLiteral("Murmelo"))) << text.toStdString();
    }
    static DictationLearningStore& store() { return DictationLearningStore::shared(); }
    void deliver(const QString& text, std::optional<DictationContext> context = kA) {
        store().recordLast(text, text, context, SmartCleanupMode::literal);
    }
    LearningAnswer press(int button, QString edited = {}, int item = 0) { return {button, std::move(edited), item}; }

    test::TestEnvironment env;
    ScriptedPresenter presenter;
    ScopedService<DictationLearningPresenter> presenterScope{presenter};
};

}  // namespace

TEST_F(DictationLearningControllerTest, BeforeTheFirstDictationThereIsNothingToCorrect) {
    DictationLearningController::shared().showCorrection();
    ASSERT_EQ(presenter.kinds(), QList<Kind>{Kind::nothingToCorrect});
    EXPECT_TRUE(presenter.shown[0].activateFirst);
    EXPECT_EQ(presenter.shown[0].buttons, QStringList{"OK"});
}

TEST_F(DictationLearningControllerTest, OnlyInTheApplicationStoresAnApplicationRuleAndLogsCountsOnly) {
    deliver(QStringLiteral("Позвони Мише завтра"));
    presenter.answers = {press(0, QStringLiteral("  Позвони Маше завтра\n"), 1), press(0)};
    DictationLearningController::shared().showCorrection();

    ASSERT_EQ(presenter.kinds(), (QList<Kind>{Kind::editLast, Kind::confirmRule}));
    const LearningAlert& edit = presenter.shown[0];
    EXPECT_EQ(edit.editorText, QStringLiteral("Позвони Мише завтра"));
    EXPECT_EQ(edit.popupItems, (QStringList{"Запомнить везде", "Только в Заметки"}));
    EXPECT_EQ(edit.buttons, (QStringList{"Продолжить", "Отмена"}));
    EXPECT_TRUE(edit.activateFirst);
    const LearningAlert& confirm = presenter.shown[1];
    EXPECT_FALSE(confirm.activateFirst);
    EXPECT_EQ(confirm.informativeText,
              QStringLiteral("«Мише» → «Маше»\n\nОбласть: только в Заметки. Правило применяется локально и его можно "
                             "удалить из меню Ondrix."));

    const auto rules = store().rules();
    ASSERT_EQ(rules.size(), 1);
    EXPECT_EQ(rules[0].scope, DictationLearningScope::application);
    EXPECT_EQ(rules[0].bundleID, kA.bundleID);
    EXPECT_EQ(rules[0].appName, kA.appName);
    EXPECT_TRUE(env.logContains(QStringLiteral("обучение диктовки: сохранено локальное правило (4→4 симв., application)")));
    EXPECT_FALSE(env.logContains(QStringLiteral("Мише")));
    EXPECT_FALSE(env.logContains(QStringLiteral("Маше")));
    // The dictation stays, so it can be corrected again.
    EXPECT_TRUE(store().lastDelivered());
}

TEST_F(DictationLearningControllerTest, WithoutAContextEveryRuleIsGlobal) {
    deliver(QStringLiteral("Позвони Мише завтра"), std::nullopt);
    presenter.answers = {press(0, QStringLiteral("Позвони Маше завтра"), 1), press(0)};
    DictationLearningController::shared().showCorrection();
    EXPECT_EQ(presenter.shown[0].popupItems, QStringList{"Запомнить везде"});
    EXPECT_TRUE(presenter.shown[1].informativeText.contains(QStringLiteral("Область: во всех приложениях.")));
    ASSERT_EQ(store().rules().size(), 1);
    EXPECT_EQ(store().rules()[0].scope, DictationLearningScope::global);
    EXPECT_FALSE(store().rules()[0].bundleID);
}

TEST_F(DictationLearningControllerTest, DecliningOrNoUsableEditStoresNothing) {
    deliver(QStringLiteral("Позвони Мише завтра"));
    struct Case {
        const char* name;
        std::deque<LearningAnswer> answers;
        QList<Kind> kinds;
    };
    const Case cases[] = {
        {"cancel the editor", {press(1, QStringLiteral("Позвони Маше завтра"))}, {Kind::editLast}},
        {"closed the editor", {press(-1, QStringLiteral("Позвони Маше завтра"))}, {Kind::editLast}},
        {"decline the rule", {press(0, QStringLiteral("Позвони Маше завтра")), press(1)},
         {Kind::editLast, Kind::confirmRule}},
        {"unchanged text", {press(0, QStringLiteral("Позвони Мише завтра"))},
         {Kind::editLast, Kind::noUsableCorrection}},
        {"a big rewrite", {press(0, QStringLiteral("Совсем другой текст здесь теперь"))},
         {Kind::editLast, Kind::noUsableCorrection}},
    };
    for (const Case& c : cases) {
        presenter.shown.clear();
        presenter.answers = c.answers;
        DictationLearningController::shared().showCorrection();
        EXPECT_EQ(presenter.kinds(), c.kinds) << c.name;
        EXPECT_TRUE(store().rules().isEmpty()) << c.name;
    }
    EXPECT_FALSE(env.logContains(QStringLiteral("обучение диктовки")));
    EXPECT_TRUE(presenter.shown.back().activateFirst);
}

TEST_F(DictationLearningControllerTest, ANumberedListBecomesAConfirmedScenarioAfterTheSelfTest) {
    SmartCleanupScenarioStore::shared().clearConfirmedScenarios();
    // Four items: more than five words change, so no replacement is proposed first.
    deliver(QStringLiteral("План, во-первых, проверить, во-вторых, перезапустить, в-третьих, заработать, "
                           "в-четвёртых, отдохнуть."));
    const QString list = QStringLiteral("План:\n1. проверить\n2. перезапустить\n3. заработать\n4. отдохнуть.");
    presenter.answers = {press(0, list), press(0), press(0)};
    DictationLearningController::shared().showCorrection();
    ASSERT_EQ(presenter.kinds(), (QList<Kind>{Kind::editLast, Kind::offerScenario, Kind::scenarioAdded}));
    EXPECT_EQ(SmartCleanupScenarioStore::shared().confirmedScenarios().size(), 1);
    EXPECT_TRUE(env.logContains(QStringLiteral("Smart Cleanup learning: сценарий подтверждён, self-test ")));
    EXPECT_FALSE(env.logContains(QStringLiteral("проверить")));
    EXPECT_TRUE(presenter.shown[2].activateFirst);
    SmartCleanupScenarioStore::shared().clearConfirmedScenarios();

    // Declining the offer stores nothing.
    presenter.shown.clear();
    presenter.answers = {press(0, list), press(1)};
    DictationLearningController::shared().showCorrection();
    EXPECT_EQ(presenter.kinds(), (QList<Kind>{Kind::editLast, Kind::offerScenario}));
    EXPECT_TRUE(SmartCleanupScenarioStore::shared().confirmedScenarios().isEmpty());
}

TEST_F(DictationLearningControllerTest, TheRuleListShortensAndDeletes) {
    const QString s35(35, QChar(u'д'));
    const QString s36(36, QChar(u'д'));
    store().add(LearnedDictationReplacement::make(s36, s35, DictationLearningScope::global, std::nullopt, std::nullopt));
    env.clock().advance(1);
    store().add(LearnedDictationReplacement::make(QStringLiteral("кот"), QStringLiteral("пёс"),
                                                  DictationLearningScope::application, QStringLiteral("x"),
                                                  std::nullopt));
    env.clock().advance(1);
    store().add(LearnedDictationReplacement::make(QStringLiteral("Мише"), QStringLiteral("Маше"),
                                                  DictationLearningScope::application, kA.bundleID, kA.appName));
    const auto rules = store().rules();

    presenter.answers = {press(2)};
    DictationLearningController::shared().showRules();
    const LearningAlert& list = presenter.shown[0];
    EXPECT_EQ(list.popupItems, (QStringList{QStringLiteral("Мише → Маше · Заметки"),
                                            QStringLiteral("кот → пёс · приложение"),
                                            QString(32, QChar(u'д')) + QStringLiteral("… → ") + s35 +
                                                QStringLiteral(" · везде")}));
    EXPECT_EQ(list.popupIds, (QStringList{rules[0].id, rules[1].id, rules[2].id}));
    EXPECT_EQ(store().rules().size(), 3);

    presenter.answers = {press(0, {}, 1)};
    DictationLearningController::shared().showRules();
    EXPECT_EQ(store().rules(), (QList<LearnedDictationReplacement>{rules[0], rules[2]}));
    EXPECT_TRUE(env.logContains(QStringLiteral("обучение диктовки: правило удалено")));

    presenter.shown.clear();
    presenter.answers = {press(1), press(1)};
    DictationLearningController::shared().showRules();
    EXPECT_EQ(presenter.kinds(), (QList<Kind>{Kind::rules, Kind::confirmDeleteAll}));
    EXPECT_EQ(store().rules().size(), 2);

    presenter.answers = {press(1), press(0)};
    DictationLearningController::shared().showRules();
    EXPECT_TRUE(store().rules().isEmpty());
    EXPECT_TRUE(env.logContains(QStringLiteral("обучение диктовки: все правила удалены")));

    presenter.shown.clear();
    DictationLearningController::shared().showRules();
    EXPECT_EQ(presenter.kinds(), QList<Kind>{Kind::noRules});
}

TEST_F(DictationLearningControllerTest, TheMenuLinesOpenTheDialogs) {
    CorrectionsMenuSection section;
    section.trigger(QStringLiteral("openLearnedCorrections"), nullptr);
    section.trigger(QStringLiteral("openLastDictationCorrection"), nullptr);
    ASSERT_EQ(presenter.shown.size(), 2u);
    EXPECT_EQ(presenter.shown[0].kind, Kind::noRules);
}

TEST(DictationLearningDialog, TheBoxHoldsTheModelAndAnswersForIt) {
    LearningAlert alert;
    alert.kind = Kind::editLast;
    alert.message = QStringLiteral("Исправить последнюю диктовку");
    alert.buttons = QStringList{"Продолжить", "Отмена"};
    alert.editorText = QStringLiteral("Позвони Мише завтра");
    alert.popupItems = QStringList{"Запомнить везде", "Только в Заметки"};
    const auto box = DictationLearningDialog::build(alert);
    auto* editor = box->findChild<QPlainTextEdit*>(QStringLiteral("editor"));
    auto* popup = box->findChild<QComboBox*>(QStringLiteral("popup"));
    ASSERT_TRUE(editor && popup);
    EXPECT_EQ(editor->toPlainText(), *alert.editorText);
    EXPECT_EQ(editor->geometry(), QRect(0, 0, 470, 108));
    EXPECT_EQ(popup->geometry(), QRect(0, 118, 260, 28));
    EXPECT_EQ(popup->count(), 2);
    EXPECT_EQ(popup->currentIndex(), 0);
    EXPECT_EQ(box->defaultButton()->text(), QStringLiteral("Продолжить"));

    editor->setPlainText(QStringLiteral("Позвони Маше завтра"));
    popup->setCurrentIndex(1);
    box->defaultButton()->click();
    const LearningAnswer answer = DictationLearningDialog::answer(*box, alert);
    EXPECT_EQ(answer.button, 0);
    EXPECT_EQ(answer.editedText, QStringLiteral("Позвони Маше завтра"));
    EXPECT_EQ(answer.selectedItem, 1);
}
