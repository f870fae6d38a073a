#pragma once
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QString>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <mutex>
#include <vector>

namespace murmelo::test {

// Spins the Qt event loop until the condition holds or the time runs out; true when it
// held. The one way the real-desktop tests wait.
bool waitUntil(const std::function<bool()>& condition, double seconds = 5.0);

// Collects the Qt warnings logged, from any thread, while it lives (the backends report
// failures of the desktop's servers that way).
class LoggedWarnings {
public:
    LoggedWarnings();
    ~LoggedWarnings();
    LoggedWarnings(const LoggedWarnings&) = delete;
    LoggedWarnings& operator=(const LoggedWarnings&) = delete;
    QStringList lines() const;
    bool contains(const QString& part) const { return !lines().filter(part).isEmpty(); }

private:
    static void handler(QtMsgType type, const QMessageLogContext& context, const QString& text);
    static inline std::mutex mutex_;
    static inline QStringList lines_;
    QtMessageHandler previous_ = nullptr;
};

// The environment for the real program started in a home of its own: every XDG folder and
// the temporary folder inside that home (made here), on the test desktop's X server.
QProcessEnvironment programEnvironment(const QString& home);

// Puts the default recognition model's file (a stand-in: recognition goes to a stand-in
// server) into the home. Without a model the program opens its settings for a download at
// start-up, and that window takes the keyboard focus from the target.
void putRecognitionModel(const QString& home);

// The real program, started as the user starts it, in a home of its own (programEnvironment)
// with the user settings given; ended when this goes away.
class DesktopProgram {
public:
    DesktopProgram() = default;
    ~DesktopProgram();
    DesktopProgram(const DesktopProgram&) = delete;
    DesktopProgram& operator=(const DesktopProgram&) = delete;

    // Stores the settings, starts the program and waits until its event tap is up and the
    // layout switcher's word tables and spell checkers are loaded; false on time-out. The
    // home holds a recognition model unless told otherwise.
    enum class Model { onDisk, none };
    bool start(const QByteArray& defaultsJson = "{}", Model model = Model::onDisk);
    QString home() const { return home_.path(); }
    QString logPath() const { return home_.filePath(QStringLiteral("state/Murmelo/murmelo.log")); }
    QString log() const;
    bool running() const { return process_.state() != QProcess::NotRunning; }
    // Keeps the home (its log among it) after the test, for a look at a failure.
    void keepHome() { home_.setAutoRemove(false); }

private:
    QTemporaryDir home_;
    QProcess process_;
};

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

// Writes the samples (16-bit mono) into the test desktop's FIFO microphone, as a speaker
// would talk; returns once all are written or the microphone is gone.
void speakIntoMicrophone(const std::vector<qint16>& samples);

}  // namespace murmelo::test
