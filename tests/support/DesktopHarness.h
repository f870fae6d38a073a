#pragma once
#include <QJsonObject>
#include <QString>
#include <functional>

namespace murmelo::test {

// Spins the Qt event loop until the condition holds or the time runs out; true when it
// held. The one way the real-desktop tests wait.
bool waitUntil(const std::function<bool()>& condition, double seconds = 5.0);

// The target window that scripts/desktop-session started for the real-desktop tests.
class DesktopTarget {
public:
    // True inside the test desktop (the target is running and Qt talks to its X server).
    static bool available();

    qint64 pid() const;
    // The target's own account of itself: line, text, focus, active, done, winId.
    QJsonObject state() const;
    QString line() const { return state().value(QStringLiteral("line")).toString(); }
    QString text() const { return state().value(QStringLiteral("text")).toString(); }
    unsigned long windowId() const;
    // Sends one command ("focus line", "focus text", "clear", "copy TEXT") and waits until
    // the target has carried it out; false on time-out.
    bool command(const QString& cmd);
};

}  // namespace murmelo::test
