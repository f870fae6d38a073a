#include "input/ClipboardPaste.h"
#include "base/Graphemes.h"

#include "base/Log.h"
#include "input/ClipboardManager.h"
#include "input/SecureInput.h"
#include "input/SyntheticInputPostGate.h"
#include "input/TemporaryClipboardLease.h"
#include "platform/MainQueue.h"
#include "platform/Pasteboard.h"

#include <memory>

namespace murmelo {
namespace {

const QString TRANSIENT_TYPE = QStringLiteral("org.nspasteboard.TransientType");

std::function<void(const QString&)>& timingNote() {
    static std::function<void(const QString&)> note;
    return note;
}

// One paste, shared by its steps on the main queue.
struct ClipboardInsertionState {
    PasteboardRestoreSchedule schedule;
    std::optional<double> sentAt;    // uptime of Command-V
    std::optional<double> readDate;  // uptime of the first read
    bool lazyProvider = true;
    TextWriteTraceToken trace;
};
using StatePtr = std::shared_ptr<ClipboardInsertionState>;
using Token = TemporaryClipboardLease::Token;

double now() { return Clock::shared().uptime(); }
// Whole milliseconds, truncated; a microsecond's tolerance keeps 0.6 s from reading 599.
qint64 wholeMs(double seconds) { return qint64(seconds * 1000.0 + 1e-6); }

void restoreCheck(const StatePtr& state, const Token& lease);

void scheduleRestoreCheck(double after, const StatePtr& state, const Token& lease) {
    auto check = [state, lease] { restoreCheck(state, lease); };
    if (after <= 0) MainQueue::shared().post(check);
    else MainQueue::shared().after(after, check);
}

void noteCanaryRead(const StatePtr& state, const Token& lease) {
    if (state->readDate) return;
    state->readDate = now();
    if (!ClipboardManager::shared().isTemporaryLeaseActive(lease)) {
        logLine(QStringLiteral("⚠ вставка: буфер прочитан уже ПОСЛЕ восстановления - вставилось старое содержимое "
                               "(см. «физический ⌘» выше)"));
        TextWriteTrace::observe(state->trace, [] { return QStringLiteral("clipboard-read=after-restore"); });
        return;
    }
    if (!state->sentAt) {
        logLine(QStringLiteral("вставка: буфер прочитан посторонним ещё до ⌘V - сигнал чтения потерян"));
        TextWriteTrace::observe(state->trace, [] { return QStringLiteral("clipboard-read=before-cmd-v"); });
        return;
    }
    const qint64 delay = wholeMs(*state->readDate - *state->sentAt);
    logLine(QStringLiteral("вставка: буфер прочитан через ") + QString::number(delay) + QStringLiteral(" мс после ⌘V"));
    TextWriteTrace::observe(state->trace, [delay] {
        return QStringLiteral("clipboard-read=after-cmd-v delay=") + QString::number(delay) + QStringLiteral("ms");
    });
    scheduleRestoreCheck(PasteTiming::readGrace, state, lease);
}

void restoreCheck(const StatePtr& state, const Token& lease) {
    ClipboardManager& manager = ClipboardManager::shared();
    if (!manager.isTemporaryLeaseActive(lease) || !state->sentAt) return;
    const double elapsed = now() - *state->sentAt;
    const qint64 ms = wholeMs(elapsed);
    const QString msText = QString::number(ms);
    if (!state->lazyProvider) {
        manager.finishTemporaryLease(lease);
        TextWriteTrace::observe(state->trace, [&] { return QStringLiteral("clipboard-restore=timer-no-canary delay=") + msText + QStringLiteral("ms"); });
        logLine(QStringLiteral("вставка: буфер восстановлен по таймеру ") + msText + QStringLiteral(" мс (канарейки не было)"));
        return;
    }
    PasteboardRestoreSchedule schedule = state->schedule;
    if (state->readDate) schedule.noteRead(*state->readDate - *state->sentAt);
    // Measured time carries binary noise; a microsecond early still counts as due.
    const auto decision = schedule.decision(elapsed + 1e-6);
    if (const auto* wait = std::get_if<PasteboardRestoreSchedule::Wait>(&decision)) {
        scheduleRestoreCheck(wait->until - elapsed, state, lease);
        return;
    }
    const bool confirmed = std::get<PasteboardRestoreSchedule::Restore>(decision).readConfirmed;
    manager.finishTemporaryLease(lease);
    if (confirmed) {
        TextWriteTrace::observe(state->trace, [&] { return QStringLiteral("clipboard-delivery=read-confirmed restore=") + msText + QStringLiteral("ms"); });
        logLine(QStringLiteral("вставка: буфер восстановлен через ") + msText + QStringLiteral(" мс после ⌘V (чтение подтверждено)"));
    } else {
        TextWriteTrace::observe(state->trace, [&] { return QStringLiteral("clipboard-delivery=unconfirmed restore=") + msText + QStringLiteral("ms"); });
        logLine(QStringLiteral("⚠ вставка: буфер никто не прочитал за ") + msText +
                QStringLiteral(" мс - вставка не подтверждена, диктовка в истории; буфер восстановлен"));
    }
}

void sendStep(const StatePtr& state, const Token& lease, bool remote, double settle, int characters) {
    if (!ClipboardManager::shared().isTemporaryLeaseActive(lease)) {
        TextWriteTrace::finish(state->trace, [] { return QStringLiteral("cancelled-before-cmd-v"); });
        logLine(QStringLiteral("вставка: отменена пользовательским ⌘ до отправки Cmd+V"));
        return;
    }
    sendCommandKeystroke(9);
    state->sentAt = now();
    TextWriteTrace::finish(state->trace, [remote] { return remote ? QStringLiteral("cmd-v-posted-remote") : QStringLiteral("cmd-v-posted"); }, true);
    QString suffix;
    if (remote) suffix = QStringLiteral(", remote");
    else if (isClipboardPasteMode()) suffix = QStringLiteral(", тумблер буфера вкл, но впереди не удалёнка — локальный ритм");
    logLine(QStringLiteral("вставка: Cmd+V отправлен (") + QString::number(characters) + QStringLiteral(" симв., settle ") +
            QString::number(wholeMs(settle)) + QStringLiteral("мс") + suffix + ')');
    scheduleRestoreCheck(state->schedule.minRestoreDelay, state, lease);
}

}  // namespace

void setDictationTimingNote(std::function<void(const QString&)> note) { timingNote() = std::move(note); }

namespace {

// A password field never gets a paste, whoever asks: nothing is written or posted.
bool pasteAllowed() {
    switch (SecureInput::pasteVerdict()) {
    case SecureInput::WriteVerdict::denySecureField:
        logLine(QStringLiteral("⚠ вставка через буфер отменена: поле под кареткой парольное (буфер не тронут)"));
        return false;
    case SecureInput::WriteVerdict::denyBlindAX:
        logLine(QStringLiteral("⚠ вставка через буфер отменена: скрытый ввод активен, а поле не опознать (буфер не тронут)"));
        return false;
    case SecureInput::WriteVerdict::allow: break;
    }
    return true;
}

// Writes the text behind the read canary and posts Command-V after the settle; the lease
// ends when the target has read the text, or at the deadline when nobody reads.
void pasteWithLease(const QString& text, TextWriteOrigin origin, const Token& lease) {
    auto state = std::make_shared<ClipboardInsertionState>();
    state->trace = TextWriteTrace::begin(text, TextWriteRoute::clipboard, origin, 0);
    ClipboardManager& manager = ClipboardManager::shared();
    Pasteboard& board = Pasteboard::general();
    const bool remote = isRemotePasteActive();
    state->schedule = PasteboardRestoreSchedule{remote ? PasteTiming::minRestoreRemote : PasteTiming::minRestoreLocal,
                                                PasteTiming::readGrace,
                                                remote ? PasteTiming::unreadTimeoutRemote : PasteTiming::unreadTimeoutLocal,
                                                std::nullopt};

    // The canary produces the text when asked and reports the read on the main queue.
    const QByteArray bytes = text.toUtf8();
    auto canary = [bytes, state, lease]() {
        MainQueue::shared().post([state, lease] { noteCanaryRead(state, lease); });
        return bytes;
    };

    // Written as our own, so the history never sees it.
    manager.writeInternally([&] {
        board.clearContents();
        PasteboardItem item;
        item.setData(TRANSIENT_TYPE, QByteArray(""));
        if (!board.writePromised(item, Pasteboard::plainTextType, canary)) {
            board.clearContents();
            PasteboardItem eager;
            eager.setData(Pasteboard::plainTextType, bytes);
            board.writeItems({eager});
            state->lazyProvider = false;
            TextWriteTrace::observe(state->trace, [] { return QStringLiteral("clipboard-provider=fallback-eager"); });
            logLine(QStringLiteral("вставка: канарейка чтения не встала - буфер записан жадно, restore по таймеру"));
        }
    });

    // The paste waits for the clipboard owner to settle.
    const double settle = remote ? PasteTiming::settleRemote : PasteTiming::settleLocal;
    if (remote && timingNote()) timingNote()(QStringLiteral("УДАЛЁННЫЙ СТОЛ: settle 500 мс вместо 70"));
    const int characters = graphemeCount(text);
    MainQueue::shared().after(settle, [state, lease, remote, settle, characters] {
        sendStep(state, lease, remote, settle, characters);
    });
}

}  // namespace

void pasteViaClipboard(const QString& text, TextWriteOrigin origin) {
    if (!pasteAllowed()) return;
    const Token lease = ClipboardManager::shared().beginPreservingPasteboard(&Pasteboard::general());
    pasteWithLease(text, origin, lease);
}

bool pasteUnderLease(const QString& text, const TemporaryClipboardLease::Token& lease, TextWriteOrigin origin) {
    if (!ClipboardManager::shared().isTemporaryLeaseActive(lease)) return false;
    if (!pasteAllowed()) return false;
    pasteWithLease(text, origin, lease);
    return true;
}

}  // namespace murmelo
