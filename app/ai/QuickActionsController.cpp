#include "ai/QuickActionsController.h"

#include "ai/AIProvider.h"
#include "ai/CloudResultWindow.h"
#include "ai/QuickActionUsageStore.h"
#include "ai/QuickActionsUI.h"
#include "ai/QuickReplyCoordinator.h"
#include "ai/QuickReplySettingsLink.h"
#include "base/Defaults.h"
#include "base/Graphemes.h"
#include "base/Localization.h"
#include "base/Log.h"
#include "base/MurmeloRuntimeSafety.h"
#include "input/ClipboardManager.h"
#include "input/ClipboardPaste.h"
#include "platform/KeyEventPoster.h"
#include "platform/MainQueue.h"
#include "platform/Pasteboard.h"
#include "platform/Screens.h"
#include "platform/Service.h"
#include "platform/Workspace.h"

#include <QSet>
#include <cmath>
#include <variant>

namespace murmelo {
namespace {

constexpr quint64 SHIFT = KeyFlags::shift;
constexpr quint64 COMMAND = KeyFlags::command;
constexpr qint64 keyA = 0;

bool storedSwitch(const QString& key) {
    const std::optional<QVariant> v = Defaults::shared().object(key);
    return v ? Defaults::shared().boolValue(key) : true;
}

QString cloudHost() { return AIProvider::defaultUpstream().host(); }

QSet<QString> disabledApps() {
    const QStringList list = Defaults::shared().stringListValue(QUICK_ACTIONS_DISABLED_APPS_KEY);
    return QSet<QString>(list.begin(), list.end());
}

QString quoted(const QString& title) { return QStringLiteral("«") + title + QStringLiteral("»"); }

}  // namespace

bool isQuickActionsEnabled() {
    if (MurmeloRuntimeSafety::isQuickActionsSmokeMode()) return true;
    return storedSwitch(QUICK_ACTIONS_ENABLED_KEY);
}

void setQuickActionsEnabled(bool on) {
    Defaults::shared().set(QUICK_ACTIONS_ENABLED_KEY, on);
    if (!on) {
        if (QuickActionsController* c = QuickActionsController::installed()) c->dismiss();
    }
}

bool isQuickActionsCloudEnabled() { return storedSwitch(QUICK_ACTIONS_CLOUD_KEY); }

void setQuickActionsCloudEnabled(bool on) {
    Defaults::shared().set(QUICK_ACTIONS_CLOUD_KEY, on);
    logLine(QStringLiteral("Quick Actions: облачные действия ") +
            (on ? QStringLiteral("включены") : QStringLiteral("выключены")) + QStringLiteral(" — ") +
            (on ? QStringLiteral("выделенный текст будет уходить на ") + cloudHost()
                : QStringLiteral("всё остаётся на машине")));
}

QuickActionsController* QuickActionsController::installed() { return installedService<QuickActionsController>(); }

QuickActionsController& QuickActionsController::shared() { return *installed(); }

void QuickActionsController::install(QuickActionsController* controller) {
    installService<QuickActionsController>(controller);
}

QuickActionsController::QuickActionsController(QuickActionsNeighbours& neighbours, QuickActionPanelController& panel,
                                               QuickActionUsageStore& usage)
    : neighbours_(neighbours), panel_(panel), usage_(usage), reader_([&neighbours] { neighbours.sendCopyKey(); }) {
    panel_.setController(this);
    // Another application in front ends the bar and whatever it was doing.
    workspace_ = &Workspace::shared();
    activationObserver_ = workspace_->addActivationObserver([this](const AppIdentity&) {
        dismiss();
        // A PRIMARY selection made before the switch belongs to the application left behind.
        reader_.forgetPrimary();
    });
}

QuickActionsController::~QuickActionsController() {
    if (installedService<Workspace>() == workspace_) workspace_->removeActivationObserver(activationObserver_);
    if (installed() == this) install(nullptr);
    panel_.setController(nullptr);
}

bool QuickActionsController::shouldProbeSelection(double dragDistance, qint64 clickCount) {
    return dragDistance >= minDragDistance || clickCount > 1;
}

bool QuickActionsController::isSelectionNavigationKey(qint64 keyCode) {
    switch (keyCode) {
    case 115: case 116: case 119: case 121: case 123: case 124: case 125: case 126: return true;
    default: return false;
    }
}

QString QuickActionsController::model(QuickActionID action) {
    switch (action) {
    case QuickActionID::translate:
    case QuickActionID::shorter:
    case QuickActionID::summarize:
    case QuickActionID::explain: return MURMELO_AI_FAST_MODEL;
    default: return MURMELO_AI_QUALITY_MODEL;
    }
}

std::optional<QRectF> QuickActionsController::dragBounds(const std::optional<QPointF>& from, QPointF to) {
    if (!from) return std::nullopt;
    const double dy = std::abs(to.y() - from->y());
    if (dy <= 2) return std::nullopt;
    const double x = std::min(from->x(), to.x());
    const double y = std::min(from->y(), to.y());
    return QRectF(x, y - 8, std::abs(to.x() - from->x()), dy + 16);
}

bool QuickActionsController::onBarOrCard(QPointF point) const {
    return CloudResultWindow::shared().contains(point, 0) || panel_.contains(point, 0) || panel_.tookPress(point);
}

void QuickActionsController::dismiss() {
    reader_.cancelPendingRead();
    detectionGeneration_ = QUuid::createUuid();
    if (activeTask_) {
        CloudTask task = *activeTask_;
        activeTask_.reset();
        task.cancel();
    }
    panel_.dismiss();
}

void QuickActionsController::mouseDown(QPointF at) {
    if (onBarOrCard(at)) {
        mouseDownPoint_.reset();
        return;
    }
    dismiss();
    mouseDownPoint_ = at;
    reader_.markGestureStart();
}

void QuickActionsController::mouseUp(QPointF at, qint64 clickCount) {
    if (onBarOrCard(at)) {
        mouseDownPoint_.reset();
        return;
    }
    const std::optional<QPointF> origin = mouseDownPoint_;
    mouseDownPoint_.reset();
    const double distance = origin ? std::hypot(at.x() - origin->x(), at.y() - origin->y()) : 0;
    if (!(origin && distance >= minDragDistance) && clickCount < 2) return;
    // A multiple click's selection began with its first press.
    reader_.useGestureStartOf(int(std::max<qint64>(clickCount, 1)));
    scheduleDetection(at, true, true, origin);
}

bool QuickActionsController::keyDown(qint64 keyCode, quint64 flags, bool synthetic) {
    if (panel_.handleKeyDown(keyCode)) return true;
    if (synthetic) return false;
    if (((flags & SHIFT) && isSelectionNavigationKey(keyCode)) || ((flags & COMMAND) && keyCode == keyA)) return false;
    dismiss();
    return false;
}

void QuickActionsController::keyUp(qint64 keyCode, quint64 flags, bool synthetic) {
    if (synthetic) return;
    if (((flags & SHIFT) && isSelectionNavigationKey(keyCode)) || ((flags & COMMAND) && keyCode == keyA))
        scheduleDetection(Screens::shared().mouseLocation(), true, false, std::nullopt);
}

void QuickActionsController::scheduleDetection(QPointF anchor, bool allowClipboardFallback, bool preferCursorAnchor,
                                               std::optional<QPointF> dragOrigin) {
    if (!MurmeloRuntimeSafety::isQuickActionsSmokeMode() && !storedSwitch(QUICK_ACTIONS_ENABLED_KEY)) return;
    // A cloud action still loading belongs to the selection this one replaces: its request
    // and its card go, or the card would spin with nothing left to end it.
    if (activeTask_ || panel_.state() == QuickActionPanelController::State::loading) {
        if (activeTask_) {
            CloudTask task = *activeTask_;
            activeTask_.reset();
            task.cancel();
        }
        panel_.dismiss();
    }
    const QUuid token = QUuid::createUuid();
    detectionGeneration_ = token;
    std::weak_ptr<int> alive = alive_;
    MainQueue::shared().after(detectionDelay, [this, alive, token, anchor, allowClipboardFallback,
                                               preferCursorAnchor, dragOrigin] {
        if (alive.expired() || detectionGeneration_ != token) return;
        const QSet<QString> optedOut = disabledApps();
        // An opted-out application is left alone before anything is read: no copy key reaches it.
        if (const std::optional<AppIdentity> front = Workspace::shared().frontmostApplication()) {
            const QString id = front->bundleIdentifier.isEmpty() ? QStringLiteral("pid.") + QString::number(front->pid)
                                                                 : front->bundleIdentifier;
            if (optedOut.contains(id)) return;
        }
        reader_.readSelection(anchor, allowClipboardFallback, preferCursorAnchor,
                              [this, alive, token, optedOut, dragOrigin, anchor](
                                  const std::optional<QuickActionSelection>& found) {
                                  if (alive.expired() || detectionGeneration_ != token) return;
                                  if (!found || optedOut.contains(found->bundleID)) return;
                                  detected(found, dragOrigin, anchor);
                              });
    });
}

void QuickActionsController::detected(const std::optional<QuickActionSelection>& found,
                                      std::optional<QPointF> dragOrigin, QPointF anchor) {
    QuickActionSelection selection = *found;
    if (!selection.selectionBounds) selection.selectionBounds = dragBounds(dragOrigin, anchor);
    QList<QuickActionID> actions = usage_.primaryActions(selection);
    if (const std::optional<QString> word = neighbours_.dictionaryWord(selection.text)) {
        if (!neighbours_.knowsWord(*word)) actions << QuickActionID::addToDictionary;
    }
    panel_.show(selection, actions);
}

void QuickActionsController::perform(QuickActionID action, const QuickActionSelection& selection) {
    const QString title = QuickActionIDs::title(action);
    if (MurmeloRuntimeSafety::isQuickActionsSmokeMode()) {
        logLine(QStringLiteral("Quick Actions smoke: ") + quoted(title) +
                QStringLiteral(" показано, действие заблокировано"));
        panel_.showMessage(QStringLiteral("Тестовый режим"), QStringLiteral("Действие не выполнялось"));
        return;
    }
    switch (action) {
    case QuickActionID::more: panel_.showMoreMenu(selection); return;
    case QuickActionID::copy:
        copyIntentionally(selection.text);
        panel_.showMessage(QStringLiteral("Скопировано"), selection.appName);
        usage_.record(QuickActionID::copy, selection);
        return;
    case QuickActionID::addToDictionary: {
        const std::optional<QString> word = neighbours_.dictionaryWord(selection.text);
        if (!word) {
            panel_.showMessage(QStringLiteral("Это не слово"), QStringLiteral("В словарь берётся одно слово без цифр"));
            return;
        }
        const bool added = neighbours_.addToDictionary(*word);
        const auto [total, fit] = neighbours_.personalPromptFit(selection.bundleID, selection.appName);
        const QString detail = QStringLiteral("слов ") + QString::number(total) +
                               QStringLiteral(", в подсказке распознавания ") + QString::number(fit);
        logLine(QStringLiteral("личный словарь: ") + (added ? QStringLiteral("+") : QStringLiteral("уже есть")) +
                QStringLiteral(" ") + priv(*word) + QStringLiteral(" — ") + detail);
        panel_.showMessage(added ? QStringLiteral("Добавлено в словарь") : QStringLiteral("Уже в словаре"), detail);
        return;
    }
    default: break;
    }
    const QUuid token = QUuid::createUuid();
    detectionGeneration_ = token;
    panel_.showLoading(title);
    const bool cloudOn = isQuickActionsCloudEnabled();
    if (!AIProvider::userKey() || !cloudOn) {
        logLine(QStringLiteral("Quick Actions: ") + quoted(title) + QStringLiteral(" не выполнено - ") +
                (cloudOn ? QStringLiteral("облако включено, но ключа нет") : QStringLiteral("облако выключено в настройках")));
        panel_.showError(cloudOn ? QStringLiteral("Для ") + quoted(title) +
                                       QStringLiteral(" добавьте OpenAI API key в настройках Quick Reply.")
                                 : quoted(title) +
                                       QStringLiteral(" работает только через облако, а оно выключено в настройках."),
                         selection);
        return;
    }
    logLine(QStringLiteral("Quick Actions: ") + quoted(title) + QStringLiteral(" → облако (") +
            QString::number(graphemeCount(selection.text)) + QStringLiteral(" симв. уходит на ") + cloudHost() +
            QStringLiteral(")"));
    std::weak_ptr<int> alive = alive_;
    const std::optional<CloudTask> task = QuickActionAPIClient::shared().transform(
        selection.text, action, model(action), {},
        [this, alive, token, action, selection](const QuickActionOutcome& outcome) {
            if (alive.expired() || detectionGeneration_ != token) return;
            activeTask_.reset();
            cloudCompleted(outcome, action, selection);
        });
    // A failure before sending has completed already and left no task behind.
    if (task && detectionGeneration_ == token && panel_.state() == QuickActionPanelController::State::loading)
        activeTask_ = task;
}

QuickActionTransformResult QuickActionsController::amended(const QuickActionTransformResult& result,
                                                           const QuickActionSelection& selection) {
    QStringList notes;
    if (!result.warning.isEmpty()) notes << result.warning;
    else if (result.needsConfirmation) notes << QStringLiteral("Проверьте отмеченные моделью сведения.");
    const QStringList numbers = QuickReplyCoordinator::unsupportedNumbers(result.text, selection.text);
    if (!numbers.isEmpty())
        notes << QStringLiteral("Проверьте новые числа: ") + numbers.join(QStringLiteral(", ")) + QStringLiteral(".");
    if (selection.wasTruncatedForAI)
        notes << QStringLiteral("Для AI-действия использованы первые 20 000 символов выделения.");
    QuickActionTransformResult out = result;
    out.needsConfirmation = !numbers.isEmpty() || result.needsConfirmation || selection.wasTruncatedForAI;
    out.warning = notes.join(QLatin1Char(' '));
    return out;
}

void QuickActionsController::cloudCompleted(const QuickActionOutcome& outcome, QuickActionID action,
                                            const QuickActionSelection& selection) {
    const QString title = QuickActionIDs::title(action);
    if (const auto* error = std::get_if<QuickActionAPIError>(&outcome)) {
        logLine(QStringLiteral("Quick Actions: ") + quoted(title) + QStringLiteral(" не выполнено - ") +
                error->errorDescription());
        panel_.showError(error->errorDescription(), selection);
        return;
    }
    const auto& result = std::get<QuickActionTransformResult>(outcome);
    const bool mayShrink = action == QuickActionID::shorter || action == QuickActionID::summarize;
    const bool mayGrow = action == QuickActionID::explain || action == QuickActionID::reply;
    const bool mayChangeScript = action == QuickActionID::translate;
    if (const std::optional<QString> reason =
            neighbours_.rewriteRejection(selection.text, result.text, mayShrink, mayGrow, mayChangeScript)) {
        logLine(QStringLiteral("Quick Actions: ") + quoted(title) + QStringLiteral(" вернуло негодный результат (") +
                *reason + QStringLiteral(") — не показываю"));
        panel_.showError(QStringLiteral("Ответ не похож на результат действия (") + *reason +
                             QStringLiteral("). Попробуйте ещё раз."),
                         selection);
        return;
    }
    const QuickActionTransformResult shown = amended(result, selection);
    usage_.record(action, selection);
    neighbours_.noteQuickAction();
    panel_.showResult(shown, action, selection);
}

void QuickActionsController::applyResult(const QuickActionTransformResult& result,
                                         const QuickActionSelection& selection) {
    if (!selection.isEditable) {
        copyIntentionally(result.text);
        panel_.showMessage(QStringLiteral("Результат скопирован"), QStringLiteral("Исходный текст доступен только для чтения"));
        return;
    }
    panel_.dismiss();
    const std::optional<AppIdentity> app = Workspace::shared().runningApplication(selection.targetPID);
    if (!app || !Workspace::shared().isRunning(*app)) {
        panel_.showError(L(QStringLiteral("quickActions.sourceAppClosed"), QStringLiteral("Исходное приложение уже закрыто.")),
                         selection);
        return;
    }
    Workspace::shared().activate(*app);
    std::weak_ptr<int> alive = alive_;
    MainQueue::shared().after(reactivationDelay, [this, alive, result, selection] {
        if (alive.expired()) return;
        pasteBack(result, selection);
    });
}

void QuickActionsController::pasteBack(const QuickActionTransformResult& result, const QuickActionSelection& selection) {
    // The paste lands in whatever is in front: when the window manager kept another
    // application there, the result must not go into it.
    const std::optional<AppIdentity> front = Workspace::shared().frontmostApplication();
    const bool inFront = front && front->pid == selection.targetPID;
    auto changed = [this, result] {
        logLine(QStringLiteral("Quick Actions: выделение изменилось — замену отменил, результат в буфере"));
        copyIntentionally(result.text);
        panel_.showMessage(QStringLiteral("Выделение изменилось"), QStringLiteral("Результат скопирован — вставьте вручную"));
    };
    if (!inFront) return changed();
    std::weak_ptr<int> alive = alive_;
    reader_.readSelection(selection.anchor, false, false,
                          [this, alive, result, selection, changed](const std::optional<QuickActionSelection>& now) {
                              if (alive.expired()) return;
                              if (now && now->text != selection.text) return changed();
                              pasteViaClipboard(result.text, TextWriteOrigin::quickActions);
                              logLine(QStringLiteral("Quick Actions: пользователь подтвердил замену (") +
                                      QString::number(graphemeCount(result.text)) + QStringLiteral(" симв.)"));
                          });
}

void QuickActionsController::copyResult(const QString& text, const QuickActionSelection& selection) {
    copyIntentionally(text);
    panel_.showMessage(QStringLiteral("Результат скопирован"), selection.appName);
}

void QuickActionsController::copyIntentionally(const QString& text) {
    ClipboardManager& clipboard = ClipboardManager::shared();
    clipboard.writeInternally([&text] {
        Pasteboard& board = Pasteboard::general();
        board.clearContents();
        PasteboardItem item;
        item.setData(Pasteboard::plainTextType, text.toUtf8());
        board.writeItems({item});
    });
    clipboard.capture(text);
    logLine(QStringLiteral("Quick Actions: скопировано ") + QString::number(graphemeCount(text)) + QStringLiteral(" симв."));
}

void QuickActionsController::openAISettings() {
    dismiss();
    QuickReplySettingsLink::showWindow();
}

void QuickActionsController::disable(const QString& bundleID) {
    QSet<QString> apps = disabledApps();
    apps.insert(bundleID);
    QStringList sorted(apps.begin(), apps.end());
    sorted.sort();
    Defaults::shared().set(QUICK_ACTIONS_DISABLED_APPS_KEY, sorted);
    dismiss();
}

}  // namespace murmelo
