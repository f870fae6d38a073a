#include "input/TemporaryClipboardLease.h"

#include "base/Log.h"

#include <algorithm>

namespace murmelo {

TemporaryClipboardLease::Token TemporaryClipboardLease::begin(std::function<void()> restore) {
    cancel();
    Token token{QUuid::createUuid()};
    active_ = Active{token, std::move(restore)};
    return token;
}

bool TemporaryClipboardLease::cancel() {
    if (!active_) return false;
    // Cleared before the action runs, so that the action sees no lease.
    auto restore = std::move(active_->restore);
    active_.reset();
    if (restore) restore();
    return true;
}

bool TemporaryClipboardLease::isActive(const Token& token) const { return active_ && active_->token == token; }

bool TemporaryClipboardLease::cancel(const Token& token) {
    if (!isActive(token)) return false;
    return cancel();
}

bool TemporaryClipboardLease::finish(const Token& token) {
    if (!isActive(token)) return false;
    return cancel();
}

void PasteboardRestoreSchedule::noteRead(double at) {
    if (!readAt) readAt = at;
}

PasteboardRestoreSchedule::Decision PasteboardRestoreSchedule::decision(double now) const {
    if (!readAt) {
        if (now >= unreadTimeout) return Restore{false};
        return Wait{unreadTimeout};
    }
    const double deadline = std::max(minRestoreDelay, *readAt + readGrace);
    if (now >= deadline) return Restore{true};
    return Wait{deadline};
}

PasteboardSnapshot snapshotPasteboard(const Pasteboard& pasteboard) {
    PasteboardSnapshot out;
    for (const PasteboardItem& item : pasteboard.items()) {
        PasteboardItem fresh;
        // The backend leaves out types whose data it could not read.
        for (const auto& entry : item.entries) fresh.setData(entry.first, entry.second);
        if (!fresh.isEmpty()) out << fresh;
    }
    // What the pasteboard offers but could not be read (too large, or its owner did not
    // answer) will not come back with the restore: say so.
    QStringList read;
    for (const PasteboardItem& item : out) read << item.types();
    for (const QString& type : pasteboard.types())
        if (!read.contains(type))
            logLine(QStringLiteral("буфер: тип ") + type +
                    QStringLiteral(" не прочитан (больше предела или недоступен) — после вставки не вернётся"));
    return out;
}

void restorePasteboard(Pasteboard& pasteboard, const PasteboardSnapshot& snapshot) {
    pasteboard.clearContents();
    if (!snapshot.isEmpty()) pasteboard.writeItems(snapshot);
}

}  // namespace murmelo
