// The clipboard route of polish: copy the selection (or the paragraph, selected for it),
// polish it, and paste the result back over the still selected text.
#include "polish/PolishRoutes.h"

#include "base/Graphemes.h"
#include "base/Localization.h"
#include "base/Log.h"
#include "input/AXText.h"
#include "input/ClipboardManager.h"
#include "input/ClipboardPaste.h"
#include "input/TapConsumers.h"
#include "layout/LayoutSwitcher.h"
#include "platform/KeyEventPoster.h"
#include "platform/MainQueue.h"
#include "platform/Pasteboard.h"
#include "polish/CorrectorClient.h"
#include "polish/PolishCard.h"
#include "polish/PolishEditDelivery.h"
#include "polish/PolishJournal.h"
#include "polish/PolishSettings.h"
#include "polish/PolishUnderline.h"
#include "vocabulary/CorrectorManager.h"

namespace murmelo {

namespace {

constexpr quint16 keyC = 8;
constexpr quint16 keyHome = 115;
constexpr quint16 keyEnd = 119;

bool isBlank(const QString& s) { return s.trimmed().isEmpty(); }

std::optional<AXRange> focusedSelection() {
    const AXElementPtr el = AXText::focused();
    return el ? AXText::selectedRange(el) : std::nullopt;
}

}  // namespace

// One clipboard polish, from the copy to the paste.
struct ClipboardJob {
    TemporaryClipboardLease::Token lease;
    QString alreadyDone, toCorrect;
    PolishContext context;
    quint64 typedAt = 0;
    // Where the person was when the text was sent: a click, another application or a moved
    // caret means the still selected text is no longer where the paste would land.
    quint64 cursorAt = 0;
    std::optional<qint64> pid;
    std::optional<AXRange> selection;
};

void PolishRoutes::polishSelection(PolishScopeMode mode) {
    if (!TapPolish::isPolishEnabled() || engine_.isCorrecting()) return;
    // A terminal selects nothing with keys, and some would take the copy key as ^C.
    if (KeyEventPoster::shared().frontEditing() != FrontEditing::editor) {
        logLine(QStringLiteral("polish: в терминале выделить и скопировать текст клавишами нельзя — не полирую (") +
                frontAppName() + QStringLiteral(")"));
        card_.showNote(L(QStringLiteral("polish.note.terminal"),
                                         QStringLiteral("В терминале полировка не работает — выдели текст в редакторе")),
                                       false);
        return;
    }
    if (!beginCorrecting()) return;
    const quint64 token = *lockToken_;
    logLine(QStringLiteral("polish: двойной Option → полировка"));
    Pasteboard& board = Pasteboard::general();
    const TemporaryClipboardLease::Token lease = ClipboardManager::shared().beginPreservingPasteboard(&board);
    const qint64 changeCount = board.changeCount();
    sendKey(keyC, KeyFlags::command);
    // The safety release frees only this polish's own hold, never a later one's.
    MainQueue::shared().after(SAFETY_RELEASE, guarded([this, lease, token] {
        ClipboardManager::shared().finishTemporaryLease(lease);
        engine_.releaseEditLock(token);
        if (lockToken_ == token) lockToken_.reset();
    }));
    MainQueue::shared().after(COPY_SETTLE, guarded([this, lease, changeCount, mode] {
        afterCopy(lease, changeCount, mode, false);
    }));
}

void PolishRoutes::afterCopy(const TemporaryClipboardLease::Token& lease, qint64 changeCount, PolishScopeMode mode,
                             bool second) {
    ClipboardManager& clipboard = ClipboardManager::shared();
    if (!clipboard.isTemporaryLeaseActive(lease)) {
        endCorrecting();
        return;
    }
    Pasteboard& board = Pasteboard::general();
    if (board.changeCount() != changeCount) {
        const std::optional<QString> copied = board.string();
        if (copied && !copied->isEmpty()) {
            applyPolish(*copied, !second, lease, mode);
            return;
        }
    }
    if (!second) {
        // Nothing was selected: select the paragraph and copy again.
        if (polishSelectParagraphViaAX() == PolishParagraphSelect::noField) {
            // This desktop has no paragraph chord: the line at the caret, from its start to its
            // end, is the nearest the keys can select (a whole single-line field).
            sendKey(keyHome);
            sendKey(keyEnd, KeyFlags::shift);
        }
        sendKey(keyC, KeyFlags::command);
        MainQueue::shared().after(COPY_SETTLE, guarded([this, lease, changeCount, mode] {
            afterCopy(lease, changeCount, mode, true);
        }));
        return;
    }
    clipboard.finishTemporaryLease(lease);
    endCorrecting();
    card_.showNote(L(QStringLiteral("polish.note.nothing"), QStringLiteral("Нечего полировать — выдели текст")),
                                   false);
    logLine(QStringLiteral("polish: нечего полировать (выдели текст)"));
}

void PolishRoutes::applyPolish(const QString& copied, bool hadSelection, const TemporaryClipboardLease::Token& lease,
                               PolishScopeMode mode) {
    ClipboardManager& clipboard = ClipboardManager::shared();
    if (!clipboard.isTemporaryLeaseActive(lease)) {
        endCorrecting();
        return;
    }
    auto job = std::make_shared<ClipboardJob>();
    job->lease = lease;
    job->typedAt = engine_.typedGen;
    job->cursorAt = engine_.cursorGen;
    job->pid = frontPid();
    job->selection = focusedSelection();
    const PolishScope::Split split = scope.scope(copied, hadSelection, std::nullopt, mode);
    job->alreadyDone = split.alreadyDone;
    job->toCorrect = split.toCorrect;
    if (isBlank(job->toCorrect)) {
        clipboard.finishTemporaryLease(lease);
        endCorrecting();
        logLine(QStringLiteral("polish: нечего исправлять (нового нет)"));
        return;
    }
    job->context = polishContext(job->toCorrect, copied, job->alreadyDone.size());
    requestCorrection(job->toCorrect, [weak = std::weak_ptr<PolishRoutes*>(self_), job](std::optional<QString> answer) {
        const auto alive = weak.lock();
        if (alive && *alive) (*alive)->applyAnswer(job, answer);
    });
}

void PolishRoutes::applyAnswer(const std::shared_ptr<ClipboardJob>& job, const std::optional<QString>& answer) {
    ClipboardManager& clipboard = ClipboardManager::shared();
    if (!clipboard.isTemporaryLeaseActive(job->lease)) {
        endCorrecting();
        return;
    }
    auto stop = [&](const QString& line) {
        clipboard.finishTemporaryLease(job->lease);
        endCorrecting();
        if (!line.isEmpty()) logLine(line);
    };
    // Switched off while the corrector worked: the user no longer wants the edit.
    if (!TapPolish::isPolishEnabled()) {
        stop(QStringLiteral("polish: полировку выключили, пока считали — вставку отменил"));
        return;
    }
    if (!answer || answer->isEmpty()) {
        clipboard.finishTemporaryLease(job->lease);
        endCorrecting();
        card_.showNote(correctorNoticeText(), false);
        logLine(QStringLiteral("polish: корректор недоступен (") + correctorReadinessName(correctorReadiness()) + ')');
        return;
    }
    const PolishResultValue result = polishForField(job->toCorrect, *answer, job->context, words_);
    if (result.trusted) {
        logLine(QStringLiteral("polish: рубеж ВЫКЛЮЧЕН (polishTrustModel) — в текст идёт выход модели целиком"));
    } else if (result.rejectedWords > 0) {
        logLine(QStringLiteral("polish: VUDI менял слова (") + QString::number(result.rejectedWords) +
                QStringLiteral(") — вернул авторские") + (result.applied ? QString() : QStringLiteral(", правку отклонил целиком")));
    }
    if (result.text == job->toCorrect) {
        scope.lastPolishOutput = job->alreadyDone + job->toCorrect;
        stop(QStringLiteral("polish: чинить нечего - молчу"));
        logLine(result.applied ? QStringLiteral("polish: новое уже чистое, граница сдвинута")
                               : QStringLiteral("polish: правка отклонена рубежом, граница сдвинута"));
        return;
    }
    if (engine_.typedGen != job->typedAt) {
        stop(QStringLiteral("polish: печатал, пока считали — вставку отменил (иначе затёрло бы набранное)"));
        return;
    }
    // The paste replaces whatever is selected in front now: it must still be the copied text.
    QString moved;
    if (engine_.cursorGen != job->cursorAt) moved = QStringLiteral("щёлкнул или сменил окно");
    else if (frontPid() != job->pid) moved = QStringLiteral("сменил приложение");
    else if (const auto now = focusedSelection(); job->selection && now && *now != *job->selection)
        moved = QStringLiteral("сдвинул каретку");
    if (!moved.isEmpty()) {
        stop(QStringLiteral("polish: пока считали, человек ") + moved +
             QStringLiteral(" — вставку отменил (правка легла бы не туда)"));
        return;
    }
    const QString newText = job->alreadyDone + result.text;
    // The user's clipboard comes back first; the paste then borrows it again and gives it back
    // once the field has read the text.
    clipboard.finishTemporaryLease(job->lease);
    pasteViaClipboard(newText, TextWriteOrigin::polish);
    scope.lastPolishOutput = newText;
    journalNote(PolishJournal::Rule::vudiBuffer, job->toCorrect, result.text, 0, frontPid());
    card_.show(PolishDiff::compute(job->toCorrect, result.text));
    logLine(QStringLiteral("polish: ") + priv(firstGraphemes(job->toCorrect, 40)) + QStringLiteral(" -> ") +
            priv(firstGraphemes(result.text, 40)) + QStringLiteral(" (граница запомнена)"));
    const std::optional<quint64> token = lockToken_;
    MainQueue::shared().after(PASTE_RELEASE, guarded([this, token] {
        if (token && lockToken_ == token) endCorrecting();
    }));
}

}  // namespace murmelo
