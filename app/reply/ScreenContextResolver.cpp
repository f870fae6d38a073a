#include "reply/ScreenContextResolver.h"

#include "base/Graphemes.h"
#include "base/Log.h"
#include "input/ClipboardManager.h"
#include "platform/MainQueue.h"
#include "platform/Pasteboard.h"
#include "reply/AXTextHarvester.h"
#include "reply/ContextHygiene.h"
#include "reply/ScreenCaptureBlocklist.h"
#include "reply/WindowOCR.h"

#include <QThreadPool>
#include <memory>

namespace murmelo::ScreenContextResolver {
namespace {

// What the steps of one resolution share.
struct Run {
    ReplyTarget target;
    QuickActionAppCategory category = QuickActionAppCategory::generic;
    std::function<void(Result)> completion;
    std::optional<QString> shortSelection;
    QString reason;

    void finish(const QString& text, ScreenContextSource source) {
        completion(package(text, source, target.appName, target.bundleID, category, target.pid));
    }
};
using RunPtr = std::shared_ptr<Run>;

// A password manager may mark what it copies as concealed: such contents are never context,
// and they are recognised by their types alone, without asking for the data.
bool clipboardIsConcealed() {
    const QStringList types = Pasteboard::general().types();
    for (const QString& marker : CLIPBOARD_HISTORY_MARKER_TYPES)
        if (types.contains(marker)) return true;
    return false;
}

void fallbackToClipboard(const RunPtr& run) {
    if (!clipboardIsConcealed()) {
        const QString clip = Pasteboard::general().string().value_or(QString()).trimmed();
        if (graphemeCount(clip) >= minimumUsefulLength) return run->finish(clip, ScreenContextSource::clipboard);
    }
    if (run->shortSelection && !run->shortSelection->isEmpty())
        return run->finish(*run->shortSelection, ScreenContextSource::axSelection);
    run->completion(ScreenContextError{ScreenContextError::nothingFound, run->reason});
}

void captureStep(const RunPtr& run, bool allowOCR) {
    if (!allowOCR) {
        const QString tail = WindowOCR::hasPermission()
                                 ? QStringLiteral("Снимок окна выключен в настройках.")
                                 : QStringLiteral("Снимок окна выключен, и разрешения «Запись экрана» тоже нет.");
        run->reason = noTextReason(run->target.appName, tail);
        return fallbackToClipboard(run);
    }
    // Recognition answers on its worker (or here, at once, when it refuses): the rest of the
    // ladder runs on the main thread either way.
    WindowOCR::recognizeText(run->target.pid, std::nullopt,
                             [run](std::optional<QString> text, std::optional<WindowOCR::Failure> failure) {
                                 MainQueue::shared().post([run, text, failure] {
                                     if (text && graphemeCount(*text) >= minimumUsefulLength)
                                         return run->finish(*text, ScreenContextSource::ocr);
                                     if (text) {
                                         run->reason = noTextReason(run->target.appName,
                                                                    QStringLiteral("На снимке окна почти нет текста."));
                                     } else {
                                         const QString message = failure ? failure->description() : QString();
                                         logLine(QStringLiteral("Контекст экрана: OCR не сработал — ") + message);
                                         run->reason = noTextReason(run->target.appName, message);
                                     }
                                     fallbackToClipboard(run);
                                 });
                             });
}

}  // namespace

void resolve(const ReplyTarget& target, bool allowOCR, std::function<void(Result)> completion) {
    if (ScreenCaptureBlocklist::blocks(std::optional<QString>(target.bundleID))) {
        logLine(QStringLiteral("Контекст экрана: ") + target.appName +
                QStringLiteral(" — менеджер паролей, лестница не запускается"));
        completion(ScreenContextError{ScreenContextError::blockedApp, target.appName});
        return;
    }
    if (!target.isAlive()) {
        completion(ScreenContextError{ScreenContextError::nothingFound, target.appName + QStringLiteral(" уже закрыто.")});
        return;
    }
    auto run = std::make_shared<Run>();
    run->target = target;
    run->category = QuickActionAppCategories::classify(target.bundleID);
    run->completion = std::move(completion);
    // Both reads wait for the other application: never on the main thread.
    QThreadPool::globalInstance()->start([run, allowOCR] {
        const auto selection = AXTextHarvester::selectedText(run->target.pid);
        if (selection && graphemeCount(*selection) >= minimumUsefulLength)
            return MainQueue::shared().post([run, text = *selection] { run->finish(text, ScreenContextSource::axSelection); });
        const auto harvest = AXTextHarvester::harvestWindow(run->target.pid, AXTextHarvester::timeBudget);
        if (harvest.text && graphemeCount(*harvest.text) >= minimumUsefulWindowLength)
            return MainQueue::shared().post([run, text = *harvest.text] { run->finish(text, ScreenContextSource::axWindow); });
        MainQueue::shared().post([run, allowOCR, selection] {
            run->shortSelection = selection;
            captureStep(run, allowOCR);
        });
    });
}

ScreenContext package(const QString& text, ScreenContextSource source, const QString& appName, const QString& bundleID,
                      QuickActionAppCategory category, qint32 pid) {
    const ContextHygiene::Redaction clean = ContextHygiene::redactSecrets(text);
    const auto [cut, wasCut] = trim(clean.text, category);
    ScreenContext context{cut, source, appName, bundleID, category, pid, wasCut, clean.redacted};
    QString line = QStringLiteral("Контекст экрана: ") + rawValue(source) + QStringLiteral(", ") +
                   QString::number(graphemeCount(cut)) + QStringLiteral(" симв.");
    if (wasCut) line += QStringLiteral(" (обрезано до потолка)");
    if (clean.redacted > 0) line += QStringLiteral(", скрыто секретов: ") + QString::number(clean.redacted);
    logLine(line + QStringLiteral(" — ") + appName);
    return context;
}

std::pair<QString, bool> trim(const QString& text, QuickActionAppCategory category) {
    const QStringList chars = graphemes(text);
    if (chars.size() <= contextLimit) return {text, false};
    const auto join = [&](qsizetype from, qsizetype count) { return chars.mid(from, count).join(QString()); };
    if (category == QuickActionAppCategory::chat) return {join(chars.size() - contextLimit, contextLimit), true};
    const int budget = contextLimit - graphemeCount(dropMark);
    const int head = int(budget * headShareWhenTrimming);
    const int tail = budget - head;
    return {join(0, head) + dropMark + join(chars.size() - tail, tail), true};
}

QString noTextReason(const QString& appName, const QString& tail) {
    return QStringLiteral("«") + appName + QStringLiteral("» не отдал ни выделения, ни текста окна через Accessibility. ") + tail;
}

}  // namespace murmelo::ScreenContextResolver
