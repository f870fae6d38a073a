#include "DesktopHarness.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace murmelo::test {

bool waitUntil(const std::function<bool()>& condition, double seconds) {
    QElapsedTimer t;
    t.start();
    for (;;) {
        if (condition()) return true;
        if (t.elapsed() > seconds * 1000) return condition();
        // Runs events for at most 10 ms: replies and notifications arrive meanwhile.
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

LoggedWarnings::LoggedWarnings() {
    {
        std::lock_guard lock(mutex_);
        lines_.clear();
    }
    previous_ = qInstallMessageHandler(&LoggedWarnings::handler);
}

LoggedWarnings::~LoggedWarnings() { qInstallMessageHandler(previous_); }

QStringList LoggedWarnings::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

void LoggedWarnings::handler(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtDebugMsg || type == QtInfoMsg) return;
    std::lock_guard lock(mutex_);
    lines_ << text;
}

bool DesktopTarget::available() {
    return !qEnvironmentVariableIsEmpty("MURMELO_TARGET_STATE") && QGuiApplication::platformName() == QLatin1String("xcb");
}

qint64 DesktopTarget::pid() const { return qEnvironmentVariable("MURMELO_TARGET_PID").toLongLong(); }

QJsonObject DesktopTarget::state() const {
    QFile f(qEnvironmentVariable("MURMELO_TARGET_STATE"));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QJsonDocument::fromJson(f.readAll()).object();
}

unsigned long DesktopTarget::windowId() const {
    return state().value(QStringLiteral("winId")).toString().toULong();
}

bool DesktopTarget::command(const QString& cmd) {
    const int before = state().value(QStringLiteral("done")).toInt();
    const int fd = ::open(qEnvironmentVariable("MURMELO_TARGET_IN").toLocal8Bit().constData(), O_WRONLY | O_NONBLOCK);
    if (fd < 0) return false;
    const QByteArray line = cmd.toUtf8() + '\n';
    const bool written = ::write(fd, line.constData(), line.size()) == line.size();
    ::close(fd);
    return written && waitUntil([&] { return state().value(QStringLiteral("done")).toInt() > before; });
}

QProcessEnvironment programEnvironment(const QString& home) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QDir root(home);
    for (const char* dir : {"config", "state", "data", "cache", "tmp"}) root.mkpath(QString::fromLatin1(dir));
    env.insert("HOME", home);
    env.insert("XDG_CONFIG_HOME", root.filePath("config"));
    env.insert("XDG_STATE_HOME", root.filePath("state"));
    env.insert("XDG_DATA_HOME", root.filePath("data"));
    env.insert("XDG_CACHE_HOME", root.filePath("cache"));
    env.insert("TMPDIR", root.filePath("tmp"));
    env.insert("QT_QPA_PLATFORM", "xcb");
    return env;
}

DesktopProgram::~DesktopProgram() {
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        if (!process_.waitForFinished(20000)) process_.kill();
    }
}

QString DesktopProgram::log() const {
    QFile f(logPath());
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

void putRecognitionModel(const QString& home) {
    QDir(home).mkpath(QStringLiteral(".whisper-models"));
    QFile model(QDir(home).filePath(QStringLiteral(".whisper-models/ggml-large-v3-turbo-q5_0.bin")));
    if (model.open(QIODevice::WriteOnly)) model.write("m");
}

bool DesktopProgram::start(const QByteArray& defaultsJson, Model model) {
    if (!home_.isValid()) return false;
    if (model == Model::onDisk) putRecognitionModel(home_.path());
    QDir().mkpath(home_.filePath(QStringLiteral("config/Murmelo")));
    QFile defaults(home_.filePath(QStringLiteral("config/Murmelo/defaults.json")));
    if (!defaults.open(QIODevice::WriteOnly)) return false;
    defaults.write(defaultsJson);
    defaults.close();
    process_.setProcessEnvironment(programEnvironment(home_.path()));
    process_.setProcessChannelMode(QProcess::ForwardedChannels);
    process_.start(QCoreApplication::applicationDirPath() + QStringLiteral("/murmelo"), {});
    if (!process_.waitForStarted(30000)) return false;
    return waitUntil([&] {
        const QString l = log();
        return l.contains(QStringLiteral("event-tap установлен")) && l.contains(QStringLiteral("layout: модели [")) &&
               l.contains(QStringLiteral("layout/spell: рус.язык"));
    }, 90);
}

void speakIntoMicrophone(const std::vector<qint16>& samples) {
    const int fd = ::open(qgetenv("MURMELO_MIC_FIFO").constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return;
    const char* p = reinterpret_cast<const char*>(samples.data());
    size_t left = samples.size() * sizeof(qint16);
    while (left > 0) {
        const ssize_t w = ::write(fd, p, left);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) break;
        p += w;
        left -= size_t(w);
    }
    ::close(fd);
}

}  // namespace murmelo::test
