// The real executable as separate processes: one-shot modes, a second copy, copies started
// at the same moment. Every folder of the copies lives in a temporary directory.
#include "base/DevPaths.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kTimeoutMs = 15000;

class MurmeloProcessTest : public ::testing::Test {
protected:
    MurmeloProcessTest() {
        for (const char* sub : {"home", "state", "data", "cache", "config", "run", "tmp"})
            QDir(dir.path()).mkpath(sub);
        QFile::setPermissions(path("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("HOME", path("home"));
        environment.insert("XDG_STATE_HOME", path("state"));
        environment.insert("XDG_DATA_HOME", path("data"));
        environment.insert("XDG_CACHE_HOME", path("cache"));
        environment.insert("XDG_CONFIG_HOME", path("config"));
        environment.insert("XDG_RUNTIME_DIR", path("run"));
        environment.insert("TMPDIR", path("tmp"));
        for (const char* key : {"MURMELO_QUICK_ACTIONS_SMOKE", "MURMELO_SCREEN_CONTEXT_PROBE", "DBUS_SESSION_BUS_ADDRESS"})
            environment.remove(key);
    }

    ~MurmeloProcessTest() override {
        for (auto& p : processes) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(kTimeoutMs);
            }
        }
    }

    QString path(const char* sub) const { return QDir(dir.path()).filePath(sub); }
    QString logPath() const { return path("state") + "/Murmelo/murmelo.log"; }
    static QString executable() { return QCoreApplication::applicationDirPath() + "/murmelo"; }

    QProcess* start(const QStringList& args = {}) {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(environment);
        p->start(executable(), args);
        EXPECT_TRUE(p->waitForStarted(kTimeoutMs));
        processes.push_back(std::move(p));
        return processes.back().get();
    }

    QString log() const {
        QFile f(logPath());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    // Polls until the condition holds or the time is up.
    static bool eventually(const std::function<bool()>& condition) {
        QDeadlineTimer deadline(kTimeoutMs);
        while (!condition()) {
            if (deadline.hasExpired()) return false;
            // Lets QProcess notice children that ended.
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(10);
        }
        return true;
    }

    // Waits for the event itself, however loaded the machine: until the condition holds, or
    // false once the process that was to bring it about has ended.
    static bool once(const std::function<bool()>& condition, const QProcess* source) {
        while (!condition()) {
            if (source->state() == QProcess::NotRunning) return condition();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(10);
        }
        return true;
    }

    QTemporaryDir dir;
    QProcessEnvironment environment;
    std::vector<std::unique_ptr<QProcess>> processes;
};

TEST_F(MurmeloProcessTest, OneShotModesPrintAndEndWithoutTheApplication) {
    struct Case {
        QStringList args;
        QString output;
        int status;
    };
    const Case cases[] = {
        {{"--meeting-recover"}, "брошенных записей нет\nрасшифровано: 0\n", 0},
        {{"--meeting-notes-send"}, "укажи папку встречи\n", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        QProcess* p = start(c.args);
        ASSERT_TRUE(p->waitForFinished(kTimeoutMs));
        EXPECT_EQ(QString::fromUtf8(p->readAllStandardOutput()), c.output);
        EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p->exitCode(), c.status);
    }
    // No start, no tray, no claim of the single copy.
    EXPECT_FALSE(log().contains("=== Murmelo запущен ==="));
    EXPECT_FALSE(QFile::exists(path("run") + "/com.local.murmelo.lock"));
}

// Answered before anything starts, with no display at all.
TEST_F(MurmeloProcessTest, HelpAndUnknownOptionsNeedNoDisplay) {
    environment.remove("QT_QPA_PLATFORM");
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    environment.insert("LANG", "C.UTF-8");
    environment.remove("LANGUAGE");
    environment.remove("LC_ALL");
    QProcess* help = start({"--help"});
    ASSERT_TRUE(help->waitForFinished(kTimeoutMs));
    EXPECT_EQ(help->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(help->exitCode(), 0);
    const QString text = QString::fromUtf8(help->readAllStandardOutput());
    for (const char* mode : {"--meeting-recover", "--stay-awake-status", "--migrate-autostart"})
        EXPECT_TRUE(text.contains(QStringLiteral("\n  ") + mode)) << text.toStdString();

    QProcess* bogus = start({"--stay-awake-status", "--bogus"});
    ASSERT_TRUE(bogus->waitForFinished(kTimeoutMs));
    EXPECT_EQ(bogus->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(bogus->exitCode(), 2);
    EXPECT_TRUE(QString::fromUtf8(bogus->readAllStandardError()).contains("--bogus"));
    EXPECT_TRUE(bogus->readAllStandardOutput().isEmpty());

    EXPECT_FALSE(QFile::exists(logPath()));
}

// Every wait is for its event, not for a time: a loaded machine only makes the test slower.
TEST_F(MurmeloProcessTest, ASecondCopyWakesTheFirstAndQuits) {
    QProcess* first = start();
    // The first copy listens for a second one only late in its start-up: its last step, the
    // model start, finds no model in this fresh home.
    ASSERT_TRUE(once([&] { return log().contains("нет ни одной модели (выбрана "); }, first)) << log().toStdString();

    QProcess* second = start();
    ASSERT_TRUE(second->waitForFinished(-1));
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 0);
    const QString pid = QString::number(first->processId());
    EXPECT_TRUE(log().contains("⚠ Murmelo уже запущен (pid " + pid + ") — второй экземпляр закрывается"))
        << log().toStdString();
    EXPECT_TRUE(log().contains("выход служебный: второй экземпляр"));
    EXPECT_EQ(log().count("=== Murmelo запущен ==="), 2);
    EXPECT_TRUE(once([&] { return log().contains("повторный запуск — показываю настройки живого экземпляра"); }, first))
        << log().toStdString();
    EXPECT_EQ(first->state(), QProcess::Running);
}

// The start-up tidies the meeting store off the main thread: the old flat files move into a
// folder, the audio of a transcribed meeting past its 30 days goes, the untranscribed ones
// are listed for recovery.
TEST_F(MurmeloProcessTest, TheStartUpTidiesTheMeetingStore) {
    const QString root = path("tmp") + "/murmelo-meetings";
    const QString legacy = path("state") + "/Murmelo/meetings";
    auto put = [](const QString& file, const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    };
    for (const char* name : {"meeting-1773469800-mic.wav", "meeting-1773469800-system.wav", "meeting-1773469800.md"})
        put(legacy + "/" + name, QByteArray(1000, 'x'));
    const QByteArray old = QDateTime::currentDateTimeUtc().addDays(-31).toString(Qt::ISODate).toUtf8();
    put(root + "/old/meta.json", "{\"started\":\"" + old + "\"}");
    put(root + "/old/mic.wav", QByteArray(1000, 'm'));
    put(root + "/old/transcript.md", "t");
    put(root + "/fresh/meta.json", "{\"started\":\"" + old + "\"}");
    put(root + "/fresh/mic.wav", QByteArray(1000, 'm'));

    QProcess* app = start();
    ASSERT_TRUE(once([&] { return log().contains("встреча: записей без расшифровки "); }, app)) << log().toStdString();
    EXPECT_TRUE(log().contains("встреча: записей без расшифровки 1 - fresh")) << log().toStdString();
    EXPECT_FALSE(log().contains("заглушка: meetingStoreStartupMaintenance"));
    EXPECT_FALSE(QFile::exists(root + "/old/mic.wav"));
    EXPECT_TRUE(QFile::exists(root + "/fresh/mic.wav"));
    EXPECT_EQ(QDir(legacy).entryList(QDir::Files), QStringList{"ГДЕ-ТЕПЕРЬ-ЗАПИСИ.txt"});
    EXPECT_TRUE(QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot).contains(
        QDateTime::fromSecsSinceEpoch(1773469800).toString("yyyy-MM-dd HH-mm")));
}

// scripts/run puts the applications menu entry in place on the first run (the quit dialog
// sends the user there), and leaves an existing one, the user's edits included, alone.
TEST_F(MurmeloProcessTest, TheRunScriptInstallsTheDesktopEntryOnce) {
    const QString script = murmelo::murmeloSourceRoot() + "/scripts/install-desktop-entry";
    const QString entry = path("data") + "/applications/com.local.murmelo.desktop";
    auto run = [&](const QString& program) {
        QProcess p;
        p.setProcessEnvironment(environment);
        p.start(script, {program});
        EXPECT_TRUE(p.waitForFinished(-1));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    };
    const QString program = path("home") + "/my build/$bin/murmelo";
    run(program);
    QFile f(entry);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    f.close();
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\nType=Application\nName=Ondrix\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("\nExec=\"" + path("home") + "/my build/\\\\$bin/murmelo\"\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("\nStartupWMClass=murmelo\n"));

    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("[Desktop Entry]\nName=Mine\n");
    f.close();
    run("/elsewhere/murmelo");
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("[Desktop Entry]\nName=Mine\n"));
}

// The session's SIGTERM at log-out and the SIGHUP of a closed terminal both take the
// orderly quit, without asking.
TEST_F(MurmeloProcessTest, SigtermAndSighupRunTheOrderlyShutdown) {
    struct Case {
        int signal;
        const char* request;
    } const cases[] = {
        {SIGTERM, "выход: SIGTERM от сеанса — штатный выход, не смерть"},
        {SIGHUP, "выход: SIGHUP: терминал закрыт — штатный выход, не смерть"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request);
        QFile::remove(logPath());
        QProcess* app = start();
        ASSERT_TRUE(eventually([&] { return log().contains("AX trusted: "); })) << log().toStdString();
        ASSERT_EQ(::kill(pid_t(app->processId()), c.signal), 0);
        ASSERT_TRUE(app->waitForFinished(kTimeoutMs));
        EXPECT_EQ(app->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(app->exitCode(), 0);
        const QString text = log();
        const qsizetype request = text.indexOf(QString::fromUtf8(c.request));
        EXPECT_GT(request, 0) << text.toStdString();
        const qsizetype reason =
            text.indexOf("выход: причина от системы (разлогин/перезагрузка/выключение) — не спрашиваю");
        EXPECT_GT(reason, request) << text.toStdString();
        EXPECT_GT(text.indexOf("⚰ Murmelo вышел: штатный exit/atexit (не сигнал)"), reason) << text.toStdString();
        EXPECT_FALSE(text.contains("умер: SIG"));
    }
}

// A terminal closed while the start-up is still on its way to the death handlers: the SIGHUP
// after the start line takes the orderly quit as well. The start-up is held right after that
// line by the old log in the temporary folder being a FIFO, which it reads to the end before
// leaving its trail there.
TEST_F(MurmeloProcessTest, ASighupRightAfterTheStartLineRunsTheOrderlyShutdown) {
    const QByteArray legacy = QFile::encodeName(path("tmp") + "/murmelo.log");
    ASSERT_EQ(::mkfifo(legacy.constData(), 0600), 0);
    QProcess* app = start();
    ASSERT_TRUE(once([&] { return log().contains("=== Murmelo запущен ==="); }, app)) << log().toStdString();
    ASSERT_EQ(::kill(pid_t(app->processId()), SIGHUP), 0);

    // Lets the start-up go on: the old log already names the new one, so it writes nothing back.
    int fifo = -1;
    // The open succeeds once the program reads; a program the signal killed never does.
    if (once([&] { return (fifo = ::open(legacy.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) >= 0; }, app)) {
        const QByteArray trail = "лог переехал: " + logPath().toUtf8() + "\n";
        EXPECT_EQ(::write(fifo, trail.constData(), size_t(trail.size())), trail.size());
        ::close(fifo);
    }

    ASSERT_TRUE(app->waitForFinished(-1));
    EXPECT_EQ(app->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app->exitCode(), 0);
    const QString text = log();
    EXPECT_TRUE(text.contains("выход: SIGHUP: терминал закрыт — штатный выход, не смерть")) << text.toStdString();
    EXPECT_TRUE(text.contains("⚰ Murmelo вышел: штатный exit/atexit (не сигнал)")) << text.toStdString();
    EXPECT_FALSE(text.contains("умер: SIG"));
}

TEST_F(MurmeloProcessTest, CopiesStartedTogetherLeaveExactlyOne) {
    constexpr int kCopies = 4;
    std::vector<QProcess*> copies;
    for (int i = 0; i < kCopies; ++i) copies.push_back(start());
    auto finished = [&] {
        int n = 0;
        for (QProcess* p : copies) n += p->state() == QProcess::NotRunning;
        return n;
    };
    ASSERT_TRUE(eventually([&] { return finished() == kCopies - 1 && log().contains("AX trusted: "); }))
        << log().toStdString();
    for (QProcess* p : copies) {
        if (p->state() != QProcess::NotRunning) continue;
        EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p->exitCode(), 0);
    }
    EXPECT_EQ(log().count("выход служебный: второй экземпляр"), kCopies - 1);
    EXPECT_EQ(log().count("AX trusted: "), 1);
    EXPECT_EQ(finished(), kCopies - 1);
}

}  // namespace
