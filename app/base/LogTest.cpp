#include "base/Log.h"

#include "TestEnvironment.h"
#include "platform/Folders.h"
#include "platform/RunningApplication.h"
#include "platform/Service.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace murmelo;

namespace {

mode_t modeOf(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return 0;
    return st.st_mode & 0777;
}

void writeBytes(const QString& path, qint64 size, char fill = 'x') {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(QByteArray(size, fill));
}

struct FakeApp : RunningApplication {
    std::optional<QString> id;
    QString exe = "/opt/murmelo/bin/murmelo";
    std::optional<QDateTime> mtime;
    CodeSignature sig;
    std::optional<QString> bundleIdentifier() const override { return id; }
    QString bundlePath() const override { return exe; }
    QString executablePath() const override { return exe; }
    std::optional<QDateTime> executableModificationTime() const override { return mtime; }
    CodeSignature codeSignature() const override { return sig; }
};

class LogTest : public ::testing::Test {
protected:
    test::TestEnvironment env;
};

TEST_F(LogTest, TestHostsWriteToTheTemporaryFolderWithTimestampedLines) {
    EXPECT_FALSE(Log::isApp());
    EXPECT_EQ(Log::path(), Folders::join(Folders::temporary(), "murmelo-tests.log"));
    EXPECT_EQ(Log::sidecarPath("corrector.log"), Folders::join(Folders::temporary(), "corrector.log"));
    logLine("привет\nвторая");
    EXPECT_EQ(env.logText(), "10:00:00 привет\nвторая\n");
    EXPECT_EQ(modeOf(Log::path()), 0600u);
}

TEST_F(LogTest, ApplicationLogsIntoItsOwnPrivateFolder) {
    FakeApp app;
    app.id = "com.local.murmelo";
    ScopedService<RunningApplication> appScope(app);
    Log::resetForTesting();
    logLine("старт");
    EXPECT_TRUE(Log::isApp());
    EXPECT_EQ(Log::path(), Folders::join(Folders::join(Folders::userLogs(), "Murmelo"), "murmelo.log"));
    EXPECT_EQ(modeOf(Log::dir()), 0700u);
    EXPECT_EQ(modeOf(Log::path()), 0600u);
}

// Only a folder of ours is narrowed: a regular file standing where the log folder should
// be, or the shared temporary folder a test host logs into, keeps its mode.
TEST_F(LogTest, ModesChangeOnlyOnTheLogFolderWeOwn) {
    ::chmod(QFile::encodeName(Folders::temporary()).constData(), 0755);
    logLine("тест");
    EXPECT_EQ(modeOf(Folders::temporary()), 0755u);

    FakeApp app;
    app.id = "com.local.murmelo";
    ScopedService<RunningApplication> appScope(app);
    Log::resetForTesting();
    const QString standIn = Folders::join(Folders::userLogs(), "Murmelo");
    QDir().mkpath(Folders::userLogs());
    writeBytes(standIn, 3);
    ::chmod(QFile::encodeName(standIn).constData(), 0644);
    logLine("старт");
    EXPECT_EQ(modeOf(standIn), 0644u);
    EXPECT_TRUE(QFileInfo(standIn).isFile());
}

TEST_F(LogTest, RotatesOnlyWhenALineCrossesTheLimit) {
    // "10:00:00 " + message + "\n" lands the file at exactly the limit: it stays.
    const qint64 lineOverhead = 10;
    writeBytes(Log::path(), 100);
    std::string big(size_t(Log::rotateAt - 100 - lineOverhead), 'a');
    logLine(QString::fromStdString(big));
    EXPECT_EQ(QFileInfo(Log::path()).size(), qint64(Log::rotateAt));
    EXPECT_FALSE(QFileInfo::exists(Log::rotatedPath()));

    writeBytes(Log::rotatedPath(), 5, 'o');  // an older rotated file is replaced
    logLine("z");
    EXPECT_EQ(QFileInfo(Log::path()).size(), 0);
    EXPECT_EQ(modeOf(Log::path()), 0600u);
    QFile rotated(Log::rotatedPath());
    ASSERT_TRUE(rotated.open(QIODevice::ReadOnly));
    QByteArray all = rotated.readAll();
    EXPECT_EQ(all.size(), qint64(Log::rotateAt) + 11);
    EXPECT_TRUE(all.endsWith("10:00:00 z\n"));
}

TEST_F(LogTest, RecreatesADeletedLogAndNarrowsWidePermissions) {
    writeBytes(Log::path(), 3);
    ::chmod(QFile::encodeName(Log::path()).constData(), 0644);
    logLine("a");
    EXPECT_EQ(modeOf(Log::path()), 0600u);

    QFile::remove(Log::path());
    env.advance(1);
    logLine("b");
    EXPECT_EQ(env.logText(), "10:00:01 b\n");
    EXPECT_EQ(modeOf(Log::path()), 0600u);
    logLine("c");
    EXPECT_EQ(env.logLines(), (QStringList{"10:00:01 b", "10:00:01 c"}));
}

TEST_F(LogTest, PrivSummarisesUserTextByGraphemesAndWords) {
    struct Case { QString text; QString expected; };
    const Case cases[] = {
        {"", "[0 симв.]"},
        {"слово", "[5 симв.]"},
        {"два слова", "[9 симв., 2 сл.]"},
        {"   ", "[3 симв.]"},
        {"a\r\nb", "[3 симв.]"},  // CR LF is one character; no separator between words
        {"a\r\n\nb", "[4 симв., 2 сл.]"},
        {QString::fromUtf8("👍🏽 ок"), "[4 симв., 2 сл.]"},
        {QString::fromUtf8("a\u00A0b"), "[3 симв.]"},
        {"  a \t b  ", "[9 симв., 2 сл.]"},
    };
    for (const Case& c : cases) EXPECT_EQ(priv(c.text), c.expected) << c.text.toStdString();
    env.defaults().set("logUserText", true);
    EXPECT_EQ(priv("x"), "[x]");
}

TEST_F(LogTest, LogTraceBuildsItsTextOnlyWhenUserTextIsAllowed) {
    int built = 0;
    auto build = [&] { ++built; return QStringLiteral("секрет"); };
    logTrace(build);
    env.defaults().set("logUserText", false);
    logTrace(build);
    env.defaults().set("logUserText", "true");  // only a real Boolean counts
    logTrace(build);
    EXPECT_EQ(built, 0);
    EXPECT_FALSE(env.logContains("секрет"));
    env.defaults().set("logUserText", true);
    logTrace(build);
    EXPECT_EQ(built, 1);
    EXPECT_TRUE(env.logContains("секрет"));
}

TEST_F(LogTest, SidecarsAreDroppedPastTheLimitAndMarkedOnlyWhenPresent) {
    const QString big = Log::sidecarPath("whisper-server.log");
    const QString exact = Log::sidecarPath("corrector.log");
    writeBytes(big, qint64(Log::rotateAt) + 1);
    writeBytes(exact, qint64(Log::rotateAt));
    Log::prepareSidecar(big);
    Log::prepareSidecar(exact);
    EXPECT_EQ(QFileInfo(big).size(), 0);
    EXPECT_EQ(modeOf(big), 0600u);
    EXPECT_EQ(QFileInfo(exact).size(), qint64(Log::rotateAt));

    Log::markSidecar(big, "старт large-v3");
    QFile f(big);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(f.readAll()), "\n=== 15.01 10:00:00 старт large-v3 ===\n");

    const QString missing = Log::sidecarPath("none.log");
    Log::markSidecar(missing, "x");
    EXPECT_FALSE(QFileInfo::exists(missing));
}

TEST_F(LogTest, LegacyTrailIsWrittenOnceAndNeverCreatesAFile) {
    Log::leaveTrailAtLegacyPath();
    EXPECT_FALSE(QFileInfo::exists(Log::legacyPath()));

    writeBytes(Log::legacyPath(), 10, '.');
    Log::leaveTrailAtLegacyPath();
    Log::leaveTrailAtLegacyPath();
    QFile f(Log::legacyPath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    EXPECT_EQ(text.count("лог переехал: " + Log::path()), 1);
}

TEST_F(LogTest, RunningBuildLineDescribesLocationBuildTimeAndSignature) {
    FakeApp app;
    app.mtime = QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7));
    app.sig.kind = CodeSignature::Kind::AdHoc;
    ScopedService<RunningApplication> appScope(app);
    EXPECT_EQ(runningBuildLine(),
              "/opt/murmelo/bin/murmelo · собрана 04.03 05:06 · подпись ad-hoc (привязана к этому бинарю)");
    app.mtime.reset();
    app.sig = {CodeSignature::Kind::Certificate, "Dev"};
    EXPECT_EQ(runningBuildLine(), "/opt/murmelo/bin/murmelo · подпись «Dev»");
    app.sig = {CodeSignature::Kind::None, {}};
    EXPECT_EQ(runningBuildLine(), "/opt/murmelo/bin/murmelo · подпись отсутствует");
}

TEST_F(LogTest, TwoProcessesAppendingToOneLogLoseNoLine) {
    constexpr int kLines = 10000;
    logLine("start");
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = ::fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            for (int i = 0; i < kLines; ++i) logLine(QStringLiteral("p%1 %2").arg(c).arg(i));
            ::_exit(0);
        }
    }
    for (pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const QStringList lines = env.logLines();
    ASSERT_EQ(lines.size(), 2 * kLines + 1);
    int seen[2] = {0, 0};
    for (const QString& line : lines.mid(1)) {
        ASSERT_TRUE(line.startsWith("10:00:00 p")) << line.toStdString();
        const QStringList parts = line.mid(10).split(' ');
        const int proc = parts[0].toInt();
        ASSERT_EQ(parts[1].toInt(), seen[proc]) << "lines of one process stay in order";
        ++seen[proc];
    }
    EXPECT_EQ(seen[0], kLines);
    EXPECT_EQ(seen[1], kLines);
}

}  // namespace
