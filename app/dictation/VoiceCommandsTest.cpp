#include "dictation/VoiceCommands.h"

#include "DesktopHarness.h"
#include "TestEnvironment.h"
#include "platform/Folders.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

using Kind = VoiceCommandResult::Kind;

TEST(VoiceCommandList, ParsesFirstDefinitionLongestNameFirst) {
    const QString text =
        " \tдневник =  \n"
        "# закомментировано = echo no\n"
        "без знака равенства\n"
        "дневник = echo \"$MURMELO_TRANSCRIPT\" >> ~/дневник.md\n"
        "ДНЕВНИК = echo second\n"
        "дневник работы = echo a=b\n"
        "  = echo nameless\n"
        "счёт = echo 1\n";
    EXPECT_EQ(VoiceCommands::parse(text),
              (QList<VoiceCommand>{{"дневник работы", "echo a=b"},
                                   {"дневник", "echo \"$MURMELO_TRANSCRIPT\" >> ~/дневник.md"},
                                   {"счёт", "echo 1"}}));
    EXPECT_TRUE(VoiceCommands::parse(VOICE_COMMANDS_SAMPLE).isEmpty());
    EXPECT_TRUE(VoiceCommands::parse("").isEmpty());
}

struct MatchCase {
    const char* name;
    QString text;
    std::optional<VoiceCommandMatch> expected;
};

class VoiceCommandMatching : public ::testing::TestWithParam<MatchCase> {};

const QList<VoiceCommand> COMMANDS =
    VoiceCommands::parse("дневник = echo d\nдневник работы = echo w\n");

TEST_P(VoiceCommandMatching, Matches) {
    const MatchCase& c = GetParam();
    EXPECT_EQ(VoiceCommands::match(c.text, COMMANDS), c.expected) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VoiceCommandMatching,
    ::testing::Values(
        MatchCase{"commaAndStop", "Дневник, купил хлеб.", VoiceCommandMatch{{"дневник", "echo d"}, "купил хлеб"}},
        MatchCase{"letterFollows", "Дневники за май", std::nullopt},
        MatchCase{"nameAlone", "Дневник.", std::nullopt},
        MatchCase{"longerNameFirst", "дневник работы: план", VoiceCommandMatch{{"дневник работы", "echo w"}, "план"}},
        MatchCase{"hyphen", "Дневник-запись", VoiceCommandMatch{{"дневник", "echo d"}, "запись"}},
        MatchCase{"blank", " \n", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

struct VoiceCommandRun : ::testing::Test {
    test::TestEnvironment env;
    QList<QPair<QString, TextWriteOrigin>> pasted;

    const QByteArray savedShell = qgetenv("SHELL");
    VoiceCommandRun() { qputenv("SHELL", "/bin/sh"); }
    ~VoiceCommandRun() override { qputenv("SHELL", savedShell); }

    // Waits (in real time: a child process runs) for the main queue to get the result.
    template <class Done>
    void serveUntil(Done done) {
        QDeadlineTimer guard(30000);
        while (!done() && !guard.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            env.runPending();
        }
    }

    void deliver(const QString& list, const QString& text, double bound = VoiceCommands::timeout) {
        VoiceCommands::setText(list);
        const int before = env.logLines().size();
        deliverDictation(text, [this](const QString& t, TextWriteOrigin o) { pasted.append({t, o}); }, bound);
        if (VoiceCommands::match(text)) {
            // The result's own log line ends the run.
            serveUntil([&] {
                const QStringList lines = env.logLines().mid(before);
                return std::any_of(lines.begin(), lines.end(), [](const QString& l) {
                    return l.contains("выводить нечего") || l.contains("вставляю");
                });
            });
        }
    }
};

TEST_F(VoiceCommandRun, TranscriptGoesToTheCommandInItsVariable) {
    const QString file = Folders::join(env.root(), "diary.md");
    deliver("дневник = echo \"$MURMELO_TRANSCRIPT\" >> '" + file + "'", "Дневник, купил хлеб.");
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(f.readAll()), "купил хлеб\n");
    EXPECT_TRUE(pasted.isEmpty());
    EXPECT_TRUE(env.logContains("своя команда «дневник»: 10 симв. → echo"));
    EXPECT_TRUE(env.logContains("своя команда «дневник»: выполнена, выводить нечего"));
}

TEST_F(VoiceCommandRun, OutputIsInsertedInPlaceOfTheDictation) {
    deliver("посчитай = echo 4", "посчитай два плюс два");
    EXPECT_EQ(pasted, (QList<QPair<QString, TextWriteOrigin>>{{"4", TextWriteOrigin::voiceCommand}}));
    EXPECT_TRUE(env.logContains("своя команда «посчитай»: вывод 1 симв. → вставляю"));
}

TEST_F(VoiceCommandRun, UnmatchedTextIsInserted) {
    deliver("дневник = echo d", "Дневник.");
    EXPECT_EQ(pasted, (QList<QPair<QString, TextWriteOrigin>>{{"Дневник.", TextWriteOrigin::dictation}}));
}

TEST_F(VoiceCommandRun, FailureInsertsTheDictationAsHandedIn) {
    deliver("сбой = exit 1", "Сбой, сейчас.");
    EXPECT_EQ(pasted, (QList<QPair<QString, TextWriteOrigin>>{{"Сбой, сейчас.", TextWriteOrigin::dictation}}));
    EXPECT_TRUE(env.logContains("⚠ своя команда «сбой» не сработала (код возврата 1) — вставляю надиктовку как есть"));
}

TEST_F(VoiceCommandRun, ResultsOfTheRunner) {
    struct Case {
        const char* name;
        QString command;
        VoiceCommandResult expected;
    };
    const QString longError = QString("e").repeated(500);
    for (const Case& c : {
             Case{"statusOneSilent", "exit 1", {Kind::failed, "код возврата 1"}},
             Case{"errorCutTo200", "printf '" + longError + "' >&2; exit 3", {Kind::failed, longError.left(200)}},
             Case{"notUtf8IsEmpty", "printf '\\377\\376'", {Kind::silent, {}}},
             Case{"notUtf8Failure", "printf '\\377' >&2; exit 2", {Kind::failed, "код возврата 2"}},
             Case{"outputTrimmed", "printf '  4\\n\\n'", {Kind::output, "4"}},
             Case{"transcriptReplacesInherited", "printf %s \"$MURMELO_TRANSCRIPT\"", {Kind::output, "план"}},
         }) {
        qputenv("MURMELO_TRANSCRIPT", "inherited");
        EXPECT_EQ(VoiceCommands::runBlocking({"x", c.command}, "план"), c.expected) << c.name;
    }
    qunsetenv("MURMELO_TRANSCRIPT");
}

TEST_F(VoiceCommandRun, AShellThatCannotStartFails) {
    qputenv("SHELL", (env.root() + "/no-such-shell").toLocal8Bit());
    const VoiceCommandResult r = VoiceCommands::runBlocking({"x", "echo 1"}, "t");
    EXPECT_EQ(r.kind, Kind::failed);
    EXPECT_TRUE(r.text.startsWith("не запустилась: ")) << r.text.toStdString();
}

// Much more standard error than a pipe holds, while standard output stays open: read one
// after the other, this would wait for the bound.
TEST_F(VoiceCommandRun, AFloodOfErrorsDoesNotStallTheRunner) {
    QElapsedTimer t;
    t.start();
    const VoiceCommandResult r =
        VoiceCommands::runBlocking({"x", "head -c 2000000 /dev/zero | tr '\\0' e >&2; echo done; exit 5"}, "t");
    EXPECT_EQ(r, (VoiceCommandResult{Kind::failed, QString("e").repeated(200)}));
    EXPECT_LT(t.elapsed(), 9000);
}

// The bound ends the shell and whatever it left behind, even a child that holds the pipes.
TEST_F(VoiceCommandRun, TheBoundEndsTheWholeGroup) {
    const QString pidFile = Folders::join(env.root(), "child.pid");
    const double bound = 0.5;
    QElapsedTimer t;
    t.start();
    const VoiceCommandResult r = VoiceCommands::runBlocking(
        {"x", "sleep 60 & echo $! > '" + pidFile + "'; trap '' TERM; head -c 300000 /dev/zero | tr '\\0' e >&2; sleep 60"},
        "t", bound);
    EXPECT_LT(t.elapsed(), qint64((bound + VoiceCommands::killGrace) * 1000) + 2000);
    EXPECT_EQ(r.kind, Kind::failed);
    QFile f(pidFile);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const pid_t child = f.readAll().trimmed().toInt();
    ASSERT_GT(child, 0);
    // A killed child may stay a zombie until whoever inherited it reaps it: that is not running.
    auto running = [child] {
        QFile stat(QString("/proc/%1/stat").arg(child));
        if (!stat.open(QIODevice::ReadOnly)) return false;
        const QByteArray s = stat.readAll();
        return s.mid(s.lastIndexOf(')') + 2, 1) != "Z";
    };
    test::waitUntil([&] { return !running(); }, 5.0);
    EXPECT_FALSE(running());
}

}  // namespace
