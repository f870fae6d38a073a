#include "input/InputEventFlightRecorder.h"

#include "base/Log.h"
#include "input/SyntheticInputPostGate.h"
#include "input/TextWriteTrace.h"
#include "platform/MainQueue.h"
#include "platform/Workspace.h"

#include <QCoreApplication>
#include <QProcessEnvironment>
#include <algorithm>
#include <cmath>

namespace murmelo {
namespace {

constexpr int kRunLimit = 24;
constexpr int kUnicodeLimit = 16;
constexpr quint64 kShortcutModifiers = 0x1C0000;  // Control, Option, Command

bool endsRun(qint64 keyCode) {
    switch (keyCode) {
    case 115: case 116: case 117: case 119: case 121: case 123: case 124: case 125: case 126: return true;
    default: return false;
    }
}

QString hex(quint64 v) { return QStringLiteral("0x") + QString::number(v, 16); }

}  // namespace

bool InputFlightEvent::isOndrixSynthetic() const { return userData == SYNTHETIC_MARK; }

InputEventFlightRecorder& InputEventFlightRecorder::shared() {
    static InputEventFlightRecorder recorder([] {
        const auto env = QProcessEnvironment::systemEnvironment();
        return env.contains(QStringLiteral("MURMELO_FLIGHT_WINDOW"))
                   ? std::optional<QString>(env.value(QStringLiteral("MURMELO_FLIGHT_WINDOW")))
                   : std::nullopt;
    }());
    return recorder;
}

InputEventFlightRecorder::InputEventFlightRecorder(const std::optional<QString>& windowSetting)
    : lastAutomaticDumpAt_(QDateTime::fromMSecsSinceEpoch(0)) {
    if (windowSetting) {
        bool ok = false;
        const double v = windowSetting->trimmed().toDouble(&ok);
        // A window that cannot be printed as whole seconds is no window at all.
        if (ok && std::isfinite(v) && std::fabs(v) < 9.0e15) dumpWindow_ = v;
    }
}

void InputEventFlightRecorder::observe(InputEventType type, const InputEvent& event, const QDateTime& now) {
    if (!TextWriteTrace::isEnabled()) return;
    QString kind;
    switch (type) {
    case InputEventType::keyDown: kind = QStringLiteral("down"); break;
    case InputEventType::flagsChanged: kind = QStringLiteral("flags"); break;
    case InputEventType::keyUp: kind = QStringLiteral("up"); break;
    default: return;
    }
    const bool down = type == InputEventType::keyDown;
    const QString chars = down ? event.unicode.left(kUnicodeLimit) : QString();

    bool automatic = false;
    {
        std::lock_guard guard(lock_);
        if (down) {
            if (event.keyCode == 51) {
                if (!unicodeRun_.isEmpty()) unicodeRun_.chop(1);
            } else if (endsRun(event.keyCode) || (event.flags & kShortcutModifiers) != 0) {
                unicodeRun_.clear();
            } else if (!chars.isEmpty()) {
                unicodeRun_ += chars;
                if (unicodeRun_.size() > kRunLimit) unicodeRun_ = unicodeRun_.right(kRunLimit);
            }
        }
        InputFlightEvent item;
        item.wallTime = now;
        item.eventTimestamp = event.timestamp;
        item.kind = kind;
        item.keyCode = event.keyCode;
        item.flags = event.flags;
        item.sourcePID = event.sourcePID;
        item.sourceUserID = event.sourceUserID;
        item.sourceGroupID = event.sourceGroupID;
        item.sourceStateID = event.sourceStateID;
        item.userData = event.userData;
        item.autorepeat = event.autorepeat;
        item.keyboardType = event.keyboardType;
        item.unicodeUnits = int(chars.size());
        if (!chars.isEmpty()) item.unicodeSignature = TextWriteTrace::signature(chars);
        if (unicodeRun_.size() > 3) item.tail4Signature = TextWriteTrace::signature(unicodeRun_.right(4));
        if (unicodeRun_.size() > 4) item.tail5Signature = TextWriteTrace::signature(unicodeRun_.right(5));
        events_.push_back(std::move(item));
        trim(now);

        const QString lower = unicodeRun_.toLower();
        if (down && (lower.endsWith(QStringLiteral("make")) || lower.endsWith(QStringLiteral("make "))) &&
            lastAutomaticDumpAt_.msecsTo(now) >= 1000) {
            lastAutomaticDumpAt_ = now;
            automatic = true;
        }
    }
    if (automatic)
        MainQueue::shared().post([this] { dump(automaticDumpReason, Clock::shared().now()); });
}

void InputEventFlightRecorder::trim(const QDateTime& now) {
    const QDateTime cutoff = now.addMSecs(-qint64(retention * 1000.0));
    events_.erase(std::remove_if(events_.begin(), events_.end(),
                                 [&](const InputFlightEvent& e) { return e.wallTime < cutoff; }),
                  events_.end());
    if (events_.size() > size_t(capacity)) events_.erase(events_.begin(), events_.end() - capacity);
}

void InputEventFlightRecorder::dump(const QString& reason, const QDateTime& now) {
    if (!TextWriteTrace::isEnabled()) return;
    QString id;
    std::vector<InputFlightEvent> selected;
    {
        std::lock_guard guard(lock_);
        trim(now);
        ++dumpSequence_;
        id = QString::asprintf("p%lld-%06llu", qlonglong(QCoreApplication::applicationPid()),
                               (unsigned long long)dumpSequence_);
        const QDateTime from = now.addMSecs(-qint64(dumpWindow_ * 1000.0));
        for (const InputFlightEvent& e : events_)
            if (!(e.wallTime < from)) selected.push_back(e);
        if (selected.size() > size_t(maxDumpEvents)) selected.erase(selected.begin(), selected.end() - maxDumpEvents);
    }
    logLine(QStringLiteral("input-flight/") + id + QStringLiteral(" BEGIN reason=") + reason + QStringLiteral(" events=") +
            QString::number(selected.size()) + QStringLiteral(" window=") + QString::number(qint64(dumpWindow_)) +
            QStringLiteral("s plaintext=none"));
    for (const InputFlightEvent& e : selected) logLine(line(id, e, now));
    logLine(QStringLiteral("input-flight/") + id + QStringLiteral(" END"));
}

QString InputEventFlightRecorder::line(const QString& id, const InputFlightEvent& item, const QDateTime& now) const {
    const qint64 age = std::max<qint64>(item.wallTime.msecsTo(now), 0);
    QString source;
    if (item.sourcePID < 1) {
        source = QStringLiteral("hid#") + QString::number(item.sourcePID);
    } else if (item.sourcePID == QCoreApplication::applicationPid()) {
        source = QStringLiteral("com.local.murmelo#") + QString::number(item.sourcePID);
    } else {
        const auto app = Workspace::shared().runningApplication(item.sourcePID);
        const QString bundle = app && !app->bundleIdentifier.isEmpty() ? app->bundleIdentifier : QStringLiteral("?");
        source = bundle + QStringLiteral("#") + QString::number(item.sourcePID);
    }
    auto sig = [](const std::optional<QString>& s) { return s ? *s : QStringLiteral("-"); };
    const QStringList parts = {
        QStringLiteral("input-flight/") + id + QStringLiteral(" EVENT age=") + QString::number(age) +
            QStringLiteral("ms kind=") + item.kind,
        QStringLiteral("kc=") + QString::number(item.keyCode),
        QStringLiteral("flags=") + hex(item.flags),
        QStringLiteral("source=") + source,
        QStringLiteral("uid=") + QString::number(item.sourceUserID),
        QStringLiteral("gid=") + QString::number(item.sourceGroupID),
        QStringLiteral("state=") + QString::number(item.sourceStateID),
        QStringLiteral("userdata=") + hex(quint64(item.userData)),
        QStringLiteral("ours=") + (item.isOndrixSynthetic() ? QStringLiteral("1") : QStringLiteral("0")),
        QStringLiteral("repeat=") + (item.autorepeat ? QStringLiteral("1") : QStringLiteral("0")),
        QStringLiteral("keyboard=") + QString::number(item.keyboardType),
        QStringLiteral("u16=") + QString::number(item.unicodeUnits),
        QStringLiteral("usig=") + sig(item.unicodeSignature),
        QStringLiteral("tail4=") + sig(item.tail4Signature),
        QStringLiteral("tail5=") + sig(item.tail5Signature),
    };
    return parts.join(QLatin1Char(' '));
}

std::vector<InputFlightEvent> InputEventFlightRecorder::events() const {
    std::lock_guard guard(lock_);
    return events_;
}

QString InputEventFlightRecorder::unicodeRun() const {
    std::lock_guard guard(lock_);
    return unicodeRun_;
}

}  // namespace murmelo
