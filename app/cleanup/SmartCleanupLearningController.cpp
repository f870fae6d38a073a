#include "cleanup/SmartCleanupLearningController.h"

#include "base/Localization.h"
#include "base/Log.h"
#include "cleanup/SmartCleanupSelfLearningCoordinator.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace murmelo {
namespace {

SmartCleanupAlert::Runner g_runner;

int runModal(const SmartCleanupAlert& alert) {
    QMessageBox box;
    box.setText(alert.message);
    box.setInformativeText(alert.informativeText);
    QList<QAbstractButton*> buttons;
    for (qsizetype i = 0; i < alert.buttons.size(); ++i) {
        buttons << box.addButton(alert.buttons[i], i == 0 ? QMessageBox::AcceptRole : QMessageBox::RejectRole);
    }
    if (!buttons.isEmpty()) box.setDefaultButton(qobject_cast<QPushButton*>(buttons.first()));
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.raise();
    box.activateWindow();
    box.exec();
    return int(buttons.indexOf(box.clickedButton()));
}

}  // namespace

SmartCleanupAlert SmartCleanupAlert::status(const SmartCleanupEvaluationReport& report,
                                            const SmartCleanupShadowSnapshot& shadow) {
    const QString summary =
        report.failures.isEmpty()
            ? QStringLiteral("Все проверки пройдены.")
            : QStringLiteral("Есть ") + QString::number(report.failures.size()) +
                  QStringLiteral(" непрошедших проверок. Новые неподтверждённые изменения не активируются.");
    QStringList skills;
    for (const SmartCleanupSkillID& s : sortedSkills(report.activeSkills)) skills << s.rawValue;

    SmartCleanupAlert alert;
    alert.message = L(QStringLiteral("smartCleanup.selfTest.title"), QStringLiteral("Обработка диктовки: самопроверка"));
    alert.informativeText =
        summary + QStringLiteral("\n\nСценарии: ") + QString::number(report.passedCount) + QStringLiteral("/") +
        QString::number(report.totalCount) + QStringLiteral("\nВстроенные: ") + QString::number(report.builtInCount) +
        QStringLiteral("\nСгенерированные: ") + QString::number(report.generatedCount) +
        QStringLiteral("\nПодтверждённые тобой: ") + QString::number(report.confirmedCount) +
        QStringLiteral("\nТеневые прогоны: ") + QString::number(shadow.evaluatedCount) +
        QStringLiteral("\nРасхождения активного и кандидатного пакета: ") + QString::number(shadow.divergenceCount) +
        QStringLiteral("\nПакет: ") + report.rulePackVersion + QStringLiteral("\nАктивные навыки: ") +
        skills.join(QStringLiteral(", ")) +
        QStringLiteral("\n\nСодержание диктовок автоматически не сохраняется. В локальный корпус попадают только "
                       "примеры, которые ты явно подтверждаешь через исправление последней диктовки.");
    alert.buttons << QStringLiteral("Закрыть");
    if (report.confirmedCount > 0) alert.buttons << QStringLiteral("Удалить мои сценарии");
    return alert;
}

SmartCleanupAlert SmartCleanupAlert::deleteConfirmed() {
    SmartCleanupAlert alert;
    alert.message =
        L(QStringLiteral("smartCleanup.deleteConfirmed.title"), QStringLiteral("Удалить подтверждённые сценарии?"));
    alert.informativeText = L(QStringLiteral("smartCleanup.deleteConfirmed.body"),
                              QStringLiteral("Встроенный и автоматически сгенерированный тестовый корпус останется. "
                                             "Запомненные замены терминов также не изменятся."));
    alert.buttons << QStringLiteral("Удалить") << QStringLiteral("Отмена");
    return alert;
}

int SmartCleanupAlert::run() const { return g_runner ? g_runner(*this) : runModal(*this); }

void SmartCleanupAlert::setRunner(Runner runner) { g_runner = std::move(runner); }

SmartCleanupLearningController& SmartCleanupLearningController::shared() {
    static SmartCleanupLearningController controller;
    return controller;
}

void SmartCleanupLearningController::showStatus() {
    auto& coordinator = SmartCleanupSelfLearningCoordinator::shared();
    const SmartCleanupEvaluationReport report = coordinator.runEvaluation();
    const SmartCleanupAlert status = SmartCleanupAlert::status(report, SmartCleanupShadowMonitor::shared().snapshot());
    if (status.run() != 1 || status.buttons.size() < 2) return;
    if (SmartCleanupAlert::deleteConfirmed().run() != 0) return;
    SmartCleanupScenarioStore::shared().clearConfirmedScenarios();
    coordinator.runEvaluation();
    logLine(QStringLiteral("Smart Cleanup learning: подтверждённые сценарии удалены"));
}

}  // namespace murmelo
