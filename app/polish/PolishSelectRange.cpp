// Selecting a range of the user's field before polish pastes over it: by accessibility
// first, verified by re-reading; else by arrow keys planned from the caret, verified by the
// selected text and re-planned once from where the caret really was.
#include "polish/PolishRoutes.h"

#include "base/Log.h"
#include "input/AXText.h"
#include "platform/Accessibility.h"
#include "platform/KeyEventPoster.h"
#include "platform/MainQueue.h"

namespace murmelo {

namespace {

constexpr quint16 keyA = 0;
constexpr quint16 keyLeft = 123;
constexpr quint16 keyRight = 124;
constexpr double RETRY_WAIT = 0.015;
constexpr int POLL_READS = 40;
constexpr double POLL_WAIT = 0.02;

// A short blocking wait that lets the target application catch up.
void waitFor(double seconds) { Accessibility::shared().settle(seconds); }

}  // namespace

PolishRangeSelect PolishRoutes::polishSelectRange(const AXElementPtr& el, AXRange range, const QString& tag,
                                                  bool allowKeys) {
    const std::optional<QString> value = AXText::value(el);
    if (!value) {
        logLine(tag + QStringLiteral(": значение поля не читается — выделять нечего"));
        return PolishRangeSelect::refused;
    }
    const qint64 length = value->size();
    const AXRange want = PolishSelect::clamp(range, length);
    if (want != range)
        logLine(tag + QStringLiteral(": диапазон прижат к полю (просили ") + polishRangeText(range) + QStringLiteral(", поле ") +
                QString::number(length) + QStringLiteral(" симв. → ") + polishRangeText(want) + ')');
    if (want.length < 1) {
        logLine(tag + QStringLiteral(": после прижатия к полю (") + QString::number(length) +
                QStringLiteral(" симв.) выделять нечего — отказ"));
        return PolishRangeSelect::empty;
    }
    const std::optional<AXRange> before = AXText::selectedRange(el);
    if (before == want) {
        logLine(tag + QStringLiteral(": диапазон ") + polishRangeText(want) + QStringLiteral(" уже выделен человеком — не трогаю"));
        return PolishRangeSelect::done;
    }
    const QString expected = value->mid(want.location, want.length);
    for (int k = 1; k <= 3; ++k) {
        if (!AXText::setSelectedRange(el, want)) {
            logLine(tag + QStringLiteral(": поле не принимает выделение диапазона (попытка ") + QString::number(k) + ')');
            break;
        }
        if (k >= 2) waitFor(RETRY_WAIT);
        if (AXText::selectedRange(el) == want || AXText::selectedText(el) == expected) {
            if (k > 1)
                logLine(tag + QStringLiteral(": выделение подтвердилось с попытки ") + QString::number(k) +
                        QStringLiteral(" — перечитка отставала, приложение диапазон приняло"));
            return PolishRangeSelect::done;
        }
    }
    const std::optional<AXRange> after = AXText::selectedRange(el);
    logLine(tag + QStringLiteral(": выделение не встало (просили ") + polishRangeText(want) + QStringLiteral(", в поле ") +
            (after ? polishRangeText(*after) : QStringLiteral("ничего")) + QStringLiteral(", поле ") + QString::number(length) +
            QStringLiteral(" симв.) — ") +
            (want.location + want.length <= length
                 ? QStringLiteral("диапазон ВНУТРИ поля: приложение подтвердило запись и не сдвинуло выделение")
                 : QStringLiteral("диапазон за краем поля")));
    if (!allowKeys) return PolishRangeSelect::refused;
    const std::optional<AXRange> start = before ? before : after;
    if (!start) return PolishRangeSelect::refused;
    // Keys reach only the application in front.
    if (frontPid() != AXText::ownerPid(el)) {
        logLine(tag + QStringLiteral(": поле не у фронтового приложения — клавишами не выделяю"));
        return PolishRangeSelect::refused;
    }
    return polishSelectByKeys(el, *value, want, *start, tag) ? PolishRangeSelect::done : PolishRangeSelect::refused;
}

bool PolishRoutes::polishSelectByKeys(const AXElementPtr& el, const QString& value, AXRange range, AXRange was,
                                      const QString& tag) {
    const QString wantText = value.mid(range.location, range.length);
    if (range.location == 0 && range.length == value.size()) {
        sendKey(keyA, KeyFlags::command);
        if (AXText::selectedText(el) == wantText) {
            logLine(tag + QStringLiteral(": выделил всё поле ⌘A (") + QString::number(range.length) + QStringLiteral(" симв.)"));
            return true;
        }
        sendKey(keyRight);
        logLine(tag + QStringLiteral(": ⌘A не дал ожидаемого выделения — снял и иду стрелками"));
    }
    qint64 caret = was.location;
    if (was.length > 0) {
        sendKey(keyRight);
        caret = was.location + was.length;
    }
    const auto plan = PolishSelect::keyPlan(value, range, caret);
    if (!plan) {
        logLine(tag + QStringLiteral(": клавишами не выделить — каретка ") + QString::number(caret) + QStringLiteral(" вне поля ") +
                QString::number(value.size()) + QStringLiteral(" симв."));
        return false;
    }
    if (plan->keys() > PolishSelect::MAX_KEYS) {
        logLine(tag + QStringLiteral(": выделение ") + QString::number(plan->keys()) + QStringLiteral(" клавиш — больше потолка ") +
                QString::number(PolishSelect::MAX_KEYS) + QStringLiteral(", клавишами не ставлю"));
        return false;
    }
    if (selectByArrows(*plan, wantText, el, tag)) return true;

    const QString dropped = tag + QStringLiteral(": снял своё выделение — на экране не остаётся подсвеченного куска");
    const std::optional<QString> selected = AXText::selectedText(el);
    const std::optional<qint64> a =
        selected && !selected->isEmpty() ? PolishSelect::anchor(*selected, value, range) : std::nullopt;
    if (!a) {
        sendKey(keyRight);
        logLine(dropped);
        logLine(tag + QStringLiteral(": клавишами выделилось не то, опознать сдвиг не удалось — отказ"));
        return false;
    }
    // Collapsing the wrong selection to its end puts the caret where it really was.
    sendKey(keyRight);
    const auto replan = PolishSelect::keyPlan(value, range, *a);
    if (!replan || replan->keys() > PolishSelect::MAX_KEYS) {
        logLine(tag + QStringLiteral(": пересчёт от настоящей каретки ") + QString::number(*a) +
                QStringLiteral(" не уложился в потолок — отказ"));
        return false;
    }
    logLine(tag + QStringLiteral(": каретка отставала на ") + QString::number(*a - (range.location + range.length)) +
            QStringLiteral(" симв. (дерево дало ") + QString::number(caret) + QStringLiteral(", на деле ") + QString::number(*a) +
            QStringLiteral(") — повторяю выделение"));
    if (selectByArrows(*replan, wantText, el, tag)) return true;
    sendKey(keyRight);
    logLine(dropped);
    logLine(tag + QStringLiteral(": клавишами выделить не удалось и после пересчёта — отказ"));
    return false;
}

bool PolishRoutes::selectByArrows(const PolishSelect::KeyPlan& plan, const QString& want, const AXElementPtr& el,
                                  const QString& tag) {
    const quint16 arrow = plan.move > 0 ? keyRight : keyLeft;
    for (qint64 i = 0; i < std::abs(plan.move); ++i) sendKey(arrow);
    for (qint64 i = 0; i < plan.shiftLeft; ++i) sendKey(keyLeft, KeyFlags::shift);
    const double started = Clock::shared().uptime();
    std::optional<AXRange> sel;
    for (int i = 0; i < POLL_READS; ++i) {
        if (i > 0) waitFor(POLL_WAIT);
        sel = AXText::selectedRange(el);
        if (sel && sel->length == want.size()) break;
    }
    const qint64 ms = qint64((Clock::shared().uptime() - started) * 1000.0);
    logLine(tag + QStringLiteral(": выделение клавишами — ") + QString::number(plan.keys()) + QStringLiteral(" нажатий, длина по AX ") +
            QString::number(sel ? sel->length : -1) + QStringLiteral(" при плане ") + QString::number(want.size()) +
            QStringLiteral(" через ") + QString::number(ms) + QStringLiteral(" мс [") + frontAppName() + ']');
    const std::optional<QString> text = AXText::selectedText(el);
    if (!text) {
        logLine(tag + QStringLiteral(": поле не отдаёт выделенный текст — проверить выделение нечем"));
        return false;
    }
    if (*text != want) return false;
    logLine(tag + QStringLiteral(": выделил клавишами ") + QString::number(plan.shiftLeft) + QStringLiteral(" симв. (") +
            QString::number(plan.keys()) + QStringLiteral(" нажатий), текст сверен"));
    return true;
}

QString polishRangeText(AXRange r) { return QString::number(r.location) + '+' + QString::number(r.length); }

}  // namespace murmelo
