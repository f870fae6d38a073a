#include "vocabulary/DictationLearningController.h"

#include "base/Graphemes.h"
#include "base/Localization.h"
#include "base/Log.h"
#include "cleanup/SmartCleanupScenarioStore.h"
#include "cleanup/SmartCleanupSelfLearningCoordinator.h"
#include "cleanup/SmartCleanupStructureLearner.h"
#include "platform/Service.h"
#include "vocabulary/DictationLearningDialog.h"
#include "vocabulary/DictationLearningStore.h"

namespace murmelo {
namespace {

using Kind = LearningAlert::Kind;

LearningAlert alert(Kind kind, QString message, QString informative, QStringList buttons, bool activateFirst) {
    LearningAlert a;
    a.kind = kind;
    a.message = std::move(message);
    a.informativeText = std::move(informative);
    a.buttons = std::move(buttons);
    a.activateFirst = activateFirst;
    return a;
}

const QString kOK = QStringLiteral("OK");

LearningAlert nothingToCorrect() {
    return alert(Kind::nothingToCorrect, QStringLiteral("Пока нечего исправлять"),
                 QStringLiteral("Сначала сделай обычную диктовку. Ondrix предложит исправить именно последний "
                                "вставленный текст."),
                 {kOK}, true);
}

LearningAlert editLast(const LastDeliveredDictation& last) {
    LearningAlert a = alert(
        Kind::editLast, L(QStringLiteral("learn.fixLast.title"), QStringLiteral("Исправить последнюю диктовку")),
        L(QStringLiteral("learn.fixLast.body"),
          QStringLiteral("Отредактируй текст. Ondrix найдёт одно изменённое слово или фразу и покажет правило перед "
                         "сохранением.")),
        {QStringLiteral("Продолжить"), QStringLiteral("Отмена")}, true);
    a.editorText = last.deliveredText;
    a.popupItems << L(QStringLiteral("learn.scope.everywhere"), QStringLiteral("Запомнить везде"));
    if (last.context)
        a.popupItems << L(QStringLiteral("learn.scope.onlyIn"), QStringLiteral("Только в %1$@"),
                          {last.context->appName});
    return a;
}

LearningAlert confirmRule(const DictationCorrectionCandidate& candidate, const QString& scopeText) {
    return alert(Kind::confirmRule, L(QStringLiteral("learn.remember.title"), QStringLiteral("Запомнить исправление?")),
                 L(QStringLiteral("learn.remember.body"),
                   QStringLiteral("«%1$@» → «%2$@»\n\nОбласть: %3$@. Правило применяется локально и его можно удалить "
                                  "из меню Ondrix."),
                   {candidate.source, candidate.replacement, scopeText}),
                 {QStringLiteral("Запомнить"), QStringLiteral("Отмена")}, false);
}

LearningAlert offerScenario() {
    return alert(Kind::offerScenario,
                 L(QStringLiteral("learn.addScenario.title"), QStringLiteral("Добавить правило обработки диктовки?")),
                 QStringLiteral("Ondrix распознал структурное исправление. Исходный и исправленный текст будут "
                                "сохранены только локально как подтверждённый тестовый сценарий.\n\nПеред активацией "
                                "навыков Ondrix прогонит весь встроенный, сгенерированный и подтверждённый корпус. "
                                "Сценарии можно удалить через меню «Smart Cleanup: самопроверка…»."),
                 {QStringLiteral("Добавить и проверить"), QStringLiteral("Отмена")}, false);
}

LearningAlert scenarioAdded(qint64 total, qint64 failures) {
    const QString body =
        failures > 0 ? QStringLiteral("Сценарий сохранён, но есть ") + QString::number(failures) +
                           QStringLiteral(" непрошедших проверок. Небезопасные изменения не активированы.")
                     : QStringLiteral("Все ") + QString::number(total) +
                           QStringLiteral(" проверок прошли. Подтверждённые навыки активны.");
    return alert(Kind::scenarioAdded, QStringLiteral("Сценарий добавлен"), body, {kOK}, true);
}

LearningAlert scenarioRefused() {
    return alert(Kind::scenarioRefused, QStringLiteral("Не удалось сохранить сценарий"),
                 QStringLiteral("Пример не прошёл локальные ограничения размера или формата."), {kOK}, true);
}

LearningAlert noUsableCorrection() {
    return alert(Kind::noUsableCorrection, QStringLiteral("Нужно одно точечное исправление"),
                 QStringLiteral("Измени одно слово или короткую фразу до пяти слов либо разметь структуру как "
                                "нумерованный список минимум из двух пунктов. Произвольные большие переписывания "
                                "Ondrix не превращает в автоматическое правило."),
                 {kOK}, true);
}

LearningAlert noRules() {
    return alert(Kind::noRules, QStringLiteral("Запомненных исправлений нет"),
                 QStringLiteral("Они появятся после команды «Исправить последнюю диктовку…»."), {kOK}, true);
}

LearningAlert ruleList(const QList<LearnedDictationReplacement>& rules) {
    LearningAlert a = alert(
        Kind::rules, L(QStringLiteral("learn.list.title"), QStringLiteral("Запомненные исправления")),
        L(QStringLiteral("learn.list.body"),
          QStringLiteral("Выбери правило для удаления. Текст диктовок здесь не хранится.")),
        {QStringLiteral("Удалить выбранное"), QStringLiteral("Очистить все"), QStringLiteral("Закрыть")}, true);
    for (const auto& rule : rules) {
        const QString scope = rule.scope == DictationLearningScope::global
                                  ? QStringLiteral("везде")
                                  : rule.appName.value_or(QStringLiteral("приложение"));
        a.popupItems << DictationLearningController::shortened(rule.source) + QStringLiteral(" → ") +
                            DictationLearningController::shortened(rule.replacement) + QStringLiteral(" · ") + scope;
        a.popupIds << rule.id;
    }
    return a;
}

LearningAlert confirmDeleteAll() {
    return alert(Kind::confirmDeleteAll,
                 L(QStringLiteral("learn.deleteAll.title"), QStringLiteral("Удалить все исправления?")),
                 L(QStringLiteral("learn.deleteAll.body"),
                   QStringLiteral("Ручной словарь терминов останется без изменений. Подсказки распознаванию из этих "
                                  "правил также будут удалены.")),
                 {QStringLiteral("Удалить"), QStringLiteral("Отмена")}, false);
}

}  // namespace

DictationLearningController& DictationLearningController::shared() {
    static DictationLearningController controller;
    return controller;
}

QString DictationLearningController::shortened(const QString& text) {
    const QStringList chars = graphemes(text);
    if (chars.size() <= 35) return text;
    return chars.mid(0, 32).join(QString()) + QStringLiteral("…");
}

LearningAnswer DictationLearningController::run(const LearningAlert& alert) {
    if (DictationLearningPresenter* installed = installedService<DictationLearningPresenter>())
        return installed->run(alert);
    return DictationLearningDialog::run(alert);
}

void DictationLearningController::showCorrection() {
    DictationLearningStore& store = DictationLearningStore::shared();
    const std::optional<LastDeliveredDictation> last = store.lastDelivered();
    if (!last) {
        run(nothingToCorrect());
        return;
    }
    const LearningAnswer edited = run(editLast(*last));
    if (edited.button != 0) return;
    const QString corrected = edited.editedText.trimmed();

    if (const auto candidate = store.correctionCandidate(last->deliveredText, corrected)) {
        const bool onlyHere = last->context && edited.selectedItem == 1;
        const DictationLearningScope scope =
            onlyHere ? DictationLearningScope::application : DictationLearningScope::global;
        const auto rule = LearnedDictationReplacement::make(
            candidate->source, candidate->replacement, scope,
            last->context ? std::optional<QString>(last->context->bundleID) : std::nullopt,
            last->context ? std::optional<QString>(last->context->appName) : std::nullopt);
        const QString scopeText = onlyHere ? QStringLiteral("только в ") + last->context->appName
                                           : QStringLiteral("во всех приложениях");
        if (run(confirmRule(*candidate, scopeText)).button != 0) return;
        store.add(rule);
        // Counts and the scope only: what was dictated never reaches the log.
        logLine(QStringLiteral("обучение диктовки: сохранено локальное правило (") +
                QString::number(graphemeCount(candidate->source)) + QStringLiteral("→") +
                QString::number(graphemeCount(candidate->replacement)) + QStringLiteral(" симв., ") + rawValue(scope) +
                QStringLiteral(")"));
        return;
    }

    const auto scenario = SmartCleanupStructureLearner::scenario(last->sourceText, corrected);
    if (!scenario) {
        run(noUsableCorrection());
        return;
    }
    if (run(offerScenario()).button != 0) return;
    if (!SmartCleanupScenarioStore::shared().addConfirmed(*scenario)) {
        run(scenarioRefused());
        return;
    }
    const SmartCleanupEvaluationReport report = SmartCleanupSelfLearningCoordinator::shared().runEvaluation();
    logLine(QStringLiteral("Smart Cleanup learning: сценарий подтверждён, self-test ") +
            QString::number(report.passedCount) + QStringLiteral("/") + QString::number(report.totalCount) +
            QStringLiteral(", ошибок=") + QString::number(report.failures.size()));
    run(scenarioAdded(report.totalCount, report.failures.size()));
}

void DictationLearningController::showRules() {
    DictationLearningStore& store = DictationLearningStore::shared();
    const QList<LearnedDictationReplacement> rules = store.rules();
    if (rules.isEmpty()) {
        run(noRules());
        return;
    }
    const LearningAlert list = ruleList(rules);
    const LearningAnswer answer = run(list);
    if (answer.button == 0) {
        const QString id = list.popupIds.value(answer.selectedItem);
        if (id.isEmpty()) return;
        store.remove(id);
        logLine(QStringLiteral("обучение диктовки: правило удалено"));
    } else if (answer.button == 1) {
        if (run(confirmDeleteAll()).button != 0) return;
        store.clear();
        logLine(QStringLiteral("обучение диктовки: все правила удалены"));
    }
}

}  // namespace murmelo
