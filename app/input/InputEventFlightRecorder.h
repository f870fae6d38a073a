#pragma once
#include "platform/EventTap.h"

#include <QDateTime>
#include <QString>
#include <mutex>
#include <optional>
#include <vector>

namespace murmelo {

// One event as the tap saw it. The characters themselves are never kept: only their
// count and keyed signatures.
struct InputFlightEvent {
    QDateTime wallTime;
    quint64 eventTimestamp = 0;
    QString kind;  // "down", "up", "flags"
    qint64 keyCode = 0;
    quint64 flags = 0;
    qint64 sourcePID = 0;
    qint64 sourceUserID = 0;
    qint64 sourceGroupID = 0;
    qint64 sourceStateID = 0;
    qint64 userData = 0;
    bool autorepeat = false;
    qint64 keyboardType = 0;
    int unicodeUnits = 0;
    std::optional<QString> unicodeSignature;
    std::optional<QString> tail4Signature;
    std::optional<QString> tail5Signature;

    bool isOndrixSynthetic() const;
    bool operator==(const InputFlightEvent&) const = default;
};

// The last 30 s of key and modifier events, written to the log on request as a block of
// "input-flight/" lines, so that a reported keyboard problem shows what the stream looked
// like just before. Works only while the write trace's diagnostic setting is on.
class InputEventFlightRecorder {
public:
    static InputEventFlightRecorder& shared();
    // A recorder reading its dump window from the given environment value.
    explicit InputEventFlightRecorder(const std::optional<QString>& windowSetting);

    void observe(InputEventType type, const InputEvent& event, const QDateTime& now);
    void dump(const QString& reason, const QDateTime& now);

    double dumpWindow() const { return dumpWindow_; }
    std::vector<InputFlightEvent> events() const;
    QString unicodeRun() const;

    static constexpr double retention = 30.0;
    static constexpr int capacity = 2400;
    static constexpr int maxDumpEvents = 1200;
    // The reason of the automatic dump; it names no word, so the log does not tell what
    // was typed.
    static inline const QString automaticDumpReason = QStringLiteral("known-key-sequence");

private:
    void trim(const QDateTime& now);
    QString line(const QString& id, const InputFlightEvent& item, const QDateTime& now) const;

    mutable std::mutex lock_;
    std::vector<InputFlightEvent> events_;
    QString unicodeRun_;
    quint64 dumpSequence_ = 0;
    QDateTime lastAutomaticDumpAt_;
    double dumpWindow_ = 120.0;
};

}  // namespace murmelo
