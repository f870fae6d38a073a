#include "shell/OneShotModes.h"

#include "TestEnvironment.h"
#include "shell/TestSeams.h"
#include "shell/AppDelegate.h"
#include "shell/AppQuit.h"
#include "ai/AIProvider.h"
#include "ai/OpenAIKeychain.h"
#include "meetings/MeetingStore.h"
#include "ScopedEnv.h"
#include "StandIns.h"
#include "TestFiles.h"
#include "sim/SimAudioInput.h"
#include "sim/SimKeyStore.h"
#include "sim/SimDesktop.h"
#include "sim/SimProcesses.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

class OneShotModesTest : public ::testing::Test, public test::TestSeams {
protected:
    OneShotModesTest() {
        OneShotModes::setOutput([this](const QString& line) { out << line; });
        fresh();
        meetings.meetingPreflightReport = [] { return QString("=== готовность к записи встречи ==="); };
        keepawake.report = [] { return QString("сторож: выкл"); };
        keepawake.isInstalled = [] { return false; };
    }
    ~OneShotModesTest() override {
        OneShotModes::setOutput(nullptr);
        AppQuit::resetForTesting();
    }

    // A new process: nothing quit yet.
    void fresh() {
        AppQuit::resetForTesting();
        AppQuit::setDialogRunner([this](const QuitConfirmation&) {
            ++dialogs;
            return QuitConfirmation::Button::cancel;
        });
        delegate = std::make_unique<AppDelegate>();
        delegate->setExitHandler([this](int status) { exits.push_back(status); });
        out.clear();
        exits.clear();
    }

    bool run(const QStringList& args, const QProcessEnvironment& environment = QProcessEnvironment()) {
        return OneShotModes::run(args, environment);
    }

    test::TestEnvironment env;
    std::unique_ptr<AppDelegate> delegate;
    QStringList out;
    std::vector<int> exits;
    int dialogs = 0;
};

TEST_F(OneShotModesTest, NoModeLeavesTheStartAlone) {
    QProcessEnvironment environment;
    environment.insert("MURMELO_SCREEN_CONTEXT_PROBE", "0");
    EXPECT_FALSE(run({"--onboarding-preview", "--meeting-notes-send-x"}, environment));
    environment.insert("MURMELO_SCREEN_CONTEXT_PROBE", "yes");
    EXPECT_FALSE(run({}, environment));
    EXPECT_TRUE(out.isEmpty());
    EXPECT_TRUE(exits.empty());
    EXPECT_FALSE(AppQuit::isSilent());
}

TEST_F(OneShotModesTest, TheFirstMatchingModeInTableOrderRuns) {
    int probes = 0;
    reply.screenContextProbeRun = [&] { ++probes; };
    QProcessEnvironment probe;
    probe.insert("MURMELO_SCREEN_CONTEXT_PROBE", "2");

    struct Case {
        QStringList args;
        QProcessEnvironment environment;
        QString reason;
        QStringList printed;
    };
    const Case cases[] = {
        {{"--stay-awake-status", "--meeting-preflight"}, {}, "--meeting-preflight",
         {"=== готовность к записи встречи ==="}},
        {{"--meeting-preflight"}, probe, "--screen-context-probe", {}},
        {{"--migrate-autostart", "--stay-awake-status"}, {}, "--stay-awake-status", {"сторож: выкл"}},
        {{"--meeting-names"}, {}, "--meeting-names", {"никто не играет звук - звонилку не опознать"}},
        {{"--meeting-recover"}, {}, "--meeting-recover", {"брошенных записей нет", "расшифровано: 0"}},
        {{"--stay-awake-uninstall"}, {}, "--stay-awake-uninstall", {"сторож не установлен - снимать нечего"}},
    };
    for (const Case& c : cases) {
        fresh();
        EXPECT_TRUE(run(c.args, c.environment));
        EXPECT_EQ(out, c.printed) << c.reason.toStdString();
        EXPECT_EQ(exits, std::vector<int>{0}) << c.reason.toStdString();
        EXPECT_TRUE(env.logLines().last().endsWith("выход служебный: " + c.reason));
    }
    EXPECT_EQ(probes, 1);
    EXPECT_EQ(dialogs, 0);
}

TEST_F(OneShotModesTest, LoginItemMigrationWithNothingToMigrate) {
    EXPECT_TRUE(run({"--migrate-autostart"}));
    ASSERT_EQ(out.size(), 1);
    EXPECT_TRUE(out[0].startsWith("миграция не нужна: легаси-агента (")) << out[0].toStdString();
    EXPECT_EQ(exits, std::vector<int>{0});
}

TEST_F(OneShotModesTest, MeetingNotesTakeAFolderAndAKind) {
    QStringList requests;
    meetings.meetingNotesDraft = [&](const QString& folder, const QString& kind, QString*) {
        requests << folder + " " + kind;
        return std::optional(MeetingsSeam::NotesDraft{1234});
    };
    meetings.meetingNotesModel = [] { return QString("gpt-x"); };
    ai.aiProviderIsReady = [] { return true; };
    const QString written = QDir(env.root()).filePath("notes.md");
    {
        QFile f(written);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QString("Итоги: ё\r\n").toUtf8());
    }
    meetings.meetingNotesSend = [&](const QString&, const QString&, MeetingsSeam::NotesDone done) {
        env.clock().advance(7.4);
        done(written, {});
    };

    struct Case {
        QStringList args;
        QString kind;
    };
    const Case cases[] = {
        {{"--meeting-notes-send", "/m/2026-01-15 call", "summary"}, "summary"},
        {{"--meeting-notes-send", "/m/2026-01-15 call", "minutes"}, "notes"},
        {{"--verbose", "--meeting-notes-send", "/m/2026-01-15 call"}, "notes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        requests.clear();
        fresh();
        EXPECT_TRUE(run(c.args));
        env.runPending();
        EXPECT_EQ(requests, QStringList{"/m/2026-01-15 call " + c.kind});
        // The CR LF pair is one character.
        EXPECT_EQ(out, (QStringList{"отправляю 1234 симв., модель gpt-x, ключ есть", "готово за 7 с, 9 симв.\n",
                                    "Итоги: ё\r\n"}));
        EXPECT_EQ(exits, std::vector<int>{0});
    }
}

// The meetings library's own sending, against the stand-in service: the request runs on a
// worker while the main queue keeps turning, and the mode ends from its completion.
TEST_F(OneShotModesTest, MeetingNotesAreSentOffTheMainThread) {
    const MeetingsSeam built;
    meetings.meetingNotesDraft = built.meetingNotesDraft;
    meetings.meetingNotesModel = built.meetingNotesModel;
    meetings.meetingNotesSend = built.meetingNotesSend;
    const AiSeam aiBuilt;
    ai.aiProviderIsReady = aiBuilt.aiProviderIsReady;
    sim::SimKeyStore keys;
    ScopedService<KeyStore> keysScope(keys);
    OpenAIKeychain::shared().invalidateCache();
    BundledKey::resetForTesting(env.root() + "/no-bundled-key.txt");
    keys.write("com.local.murmelo.openai", "api-key", "label", "sk-test-0123456789abcdef");
    env.defaults().set("meetingNotesCloud", true);
    test::writeFile(env.root() + "/script.json", R"({"responses": [{"delay": 0.5, "text": "ЗАГОЛОВОК: Планёрка\nТекст"}]})");
    const auto service = test::startResponsesStandIn(env.root() + "/record.jsonl", env.root() + "/script.json");
    ASSERT_TRUE(service.running());
    test::ScopedEnv host(AIProvider::HOST_ENVIRONMENT, service.base().toUtf8());
    const QString folder = env.root() + "/2026-03-14 09-30";
    QDir().mkpath(folder);
    test::writeFile(folder + "/transcript.md", "Привет");

    EXPECT_TRUE(run({"--meeting-notes-send", folder}));
    ASSERT_EQ(out.size(), 1);
    EXPECT_TRUE(out[0].startsWith("отправляю ")) << out[0].toStdString();
    EXPECT_TRUE(out[0].endsWith(" симв., модель gpt-5.6-terra, ключ есть")) << out[0].toStdString();
    EXPECT_TRUE(exits.empty());
    bool turned = false;
    MainQueue::shared().post([&] { turned = true; });
    env.runPending();
    EXPECT_TRUE(turned);
    ASSERT_TRUE(env.waitFor([&] { return !exits.empty(); }, 20000));
    EXPECT_EQ(exits, std::vector<int>{0});
    ASSERT_EQ(out.size(), 3);
    EXPECT_TRUE(out[1].startsWith("готово за ")) << out[1].toStdString();
    // No record in this folder: the folder names the notes.
    EXPECT_TRUE(out[2].startsWith("# Заметки · 2026-03-14 09-30\n\n> ")) << out[2].toStdString();
    EXPECT_TRUE(out[2].endsWith("\n\nТекст\n"));
    OpenAIKeychain::shared().invalidateCache();
    BundledKey::resetForTesting();
}

TEST_F(OneShotModesTest, FailedModesSaySoAndExitNonZero) {
    struct Case {
        QStringList args;
        std::function<void()> arrange;
        QStringList printed;
    };
    const Case cases[] = {
        {{"--meeting-notes-send"}, [] {}, {"укажи папку встречи"}},
        {{"--meeting-retranscribe"}, [] {}, {"укажи папку встречи"}},
        {{"--meeting-notes-send", "/m/x"},
         [this] {
             meetings.meetingNotesDraft = [](const QString&, const QString&, QString* error) {
                 *error = "нет транскрипта";
                 return std::optional<MeetingsSeam::NotesDraft>();
             };
         },
         {"не вышло: нет транскрипта"}},
        {{"--meeting-notes-send", "/m/x"},
         [this] {
             meetings.meetingNotesDraft = [](const QString&, const QString&, QString*) {
                 return std::optional(MeetingsSeam::NotesDraft{10});
             };
             meetings.meetingNotesSend = [](const QString&, const QString&, MeetingsSeam::NotesDone done) {
                 done(std::nullopt, "HTTP 401");
             };
         },
         {"отправляю 10 симв., модель gpt-5.6-terra, ключ НЕТ", "не вышло: HTTP 401"}},
        {{"--meeting-retranscribe", "/m/x"}, [] {}, {"не вышло: расшифровка не сохранена"}},
        {{"--meeting-recover"},
         [this] {
             meetings.meetingRecoveryPending = [] { return QStringList{"a", "b"}; };
             meetings.meetingRecoveryRun = [](int limit) { return limit == 0 ? 1 : -1; };
         },
         {"брошенных записей: 2", "  a", "  b", "расшифровано: 1"}},
        {{"--meeting-names"},
         [this] {
             meetings.meetingCallAppPID = [] { return std::optional<qint64>(4242); };
             meetings.localizedApplicationName = [](qint64) { return QString("Zoom"); };
         },
         {"окно: Zoom [pid 4242]", "снимок не вышел: Не нашёл окно приложения на экране."}},
    };
    for (const Case& c : cases) {
        fresh();
        c.arrange();
        EXPECT_TRUE(run(c.args));
        env.runPending();
        EXPECT_EQ(out, c.printed) << c.args.join(' ').toStdString();
        EXPECT_EQ(exits, std::vector<int>{1}) << c.args.join(' ').toStdString();
    }
}

// The meetings library's own answers: the call application among the programs playing sound.
TEST_F(OneShotModesTest, CallWindowNamesFindTheCallApplicationPlaying) {
    const MeetingsSeam built;
    meetings.meetingCallAppPID = built.meetingCallAppPID;
    meetings.localizedApplicationName = built.localizedApplicationName;
    sim::SimDesktop desk;
    sim::SimProcesses processes;
    sim::SimAudioInput sound;
    ScopedService<Workspace> desk_(desk);
    ScopedService<Processes> processes_(processes);
    ScopedService<AudioInput> sound_(sound);
    const qint64 music = desk.addApp("org.gnome.rhythmbox3", "Rhythmbox").identity.pid;
    const qint64 teams = desk.addApp("teams-for-linux", "Teams").identity.pid;
    processes.add(qint32(music), 1, 0, "/usr/bin/rhythmbox");
    processes.add(qint32(teams), 1, 0, "/opt/teams/teams");
    processes.add(9100, qint32(teams), 0, "/opt/teams/teams");  // its audio helper
    reply.windowOCRRecognizeText = [](qint64, const QStringList&, auto completion) {
        completion(std::nullopt, QString("нет окна"));
    };

    sound.streams = {{music, "Rhythmbox", "rhythmbox"}};
    EXPECT_TRUE(run({"--meeting-names"}));
    EXPECT_EQ(out, QStringList{"никто не играет звук - звонилку не опознать"});

    fresh();
    sound.streams = {{music, "Rhythmbox", "rhythmbox"}, {9100, "teams", "teams"}};
    EXPECT_TRUE(run({"--meeting-names"}));
    EXPECT_EQ(out, QStringList({"окно: Teams [pid " + QString::number(teams) + "]", "снимок не вышел: нет окна"}));
}

TEST_F(OneShotModesTest, CallWindowNamesPrintTheTextAndCandidates) {
    meetings.meetingCallAppPID = [] { return std::optional<qint64>(77); };
    meetings.meetingCallWindowTitles = [] { return QStringList{"Zoom Meeting"}; };
    QStringList askedTitles;
    QString text;
    for (int i = 1; i <= 45; ++i) text += QString("строка %1\n\n").arg(i);
    reply.windowOCRRecognizeText = [&](qint64 pid, const QStringList& titles, auto completion) {
        EXPECT_EQ(pid, 77);
        askedTitles = titles;
        completion(text, QString());
    };
    meetings.meetingParticipantCandidates = [](const QString&) { return QStringList{"Анна", "Пётр"}; };
    EXPECT_TRUE(run({"--meeting-names"}));
    EXPECT_EQ(askedTitles, QStringList{"Zoom Meeting"});
    ASSERT_EQ(out.size(), 5);
    EXPECT_EQ(out[0], "окно: ? [pid 77]");
    EXPECT_EQ(out[1], "--- распознанный текст ---");
    EXPECT_EQ(out[2].split('\n').size(), 40);
    EXPECT_TRUE(out[2].endsWith("строка 40"));
    EXPECT_EQ(out[3], "--- имена-кандидаты ---");
    EXPECT_EQ(out[4], "Анна | Пётр");
    EXPECT_EQ(exits, std::vector<int>{0});
}

TEST_F(OneShotModesTest, KeepAwakeRemovalEndsWhenItsCompletionArrives) {
    keepawake.isInstalled = [] { return true; };
    std::function<void(std::optional<QString>)> pending;
    keepawake.uninstall = [&](auto completion) { pending = completion; };

    EXPECT_TRUE(run({"--stay-awake-uninstall"}));
    EXPECT_TRUE(exits.empty());
    ASSERT_TRUE(pending);
    pending(QString("пользователь отказал"));
    env.runPending();
    EXPECT_EQ(out, QStringList{"не удалось снять: пользователь отказал"});
    EXPECT_EQ(exits, std::vector<int>{1});
}

TEST_F(OneShotModesTest, KeepAwakeRemovalPrintsTheFreshReport) {
    keepawake.isInstalled = [] { return true; };
    keepawake.uninstall = [](auto completion) { completion(std::nullopt); };
    EXPECT_TRUE(run({"--stay-awake-uninstall"}));
    env.runPending();
    EXPECT_EQ(out, QStringList{"сторож: выкл"});
    EXPECT_EQ(exits, std::vector<int>{0});
}

TEST(OneShotCommandLine, HelpUnknownOptionsAndWhatStartsNormally) {
    using Kind = OneShotModes::CommandLineAnswer::Kind;
    const OneShotModes::CommandLineAnswer help{Kind::help, {}};
    auto unknown = [](const char* option) { return OneShotModes::CommandLineAnswer{Kind::unknownOption, option}; };
    struct Case {
        const char* name;
        QStringList args;
        std::optional<OneShotModes::CommandLineAnswer> answer;
    } const cases[] = {
        {"no arguments", {}, std::nullopt},
        {"long help", {"--help"}, help},
        {"short help", {"-h"}, help},
        {"help wins over a mode", {"--stay-awake-status", "--help"}, help},
        {"unknown option", {"--bogus"}, unknown("--bogus")},
        {"unknown option after a mode", {"--stay-awake-status", "-x"}, unknown("-x")},
        {"a flag's longer cousin", {"--meeting-notes-send-x"}, unknown("--meeting-notes-send-x")},
        {"modes and start options", {"--meeting-recover", "--onboarding-preview", "--manual-input-release-gate"}, std::nullopt},
        {"operands are not options", {"--meeting-notes-send", "/m/2026-01-15 call", "--summary"}, std::nullopt},
        {"toolkit option with a value", {"-platform", "offscreen", "--style=fusion", "--reverse"}, std::nullopt},
        {"toolkit flag given a value", {"-reverse=1"}, unknown("-reverse=1")},
        {"plain words and a dash", {"word", "-"}, std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(OneShotModes::checkCommandLine(c.args), c.answer) << c.name;
}

TEST(OneShotCommandLine, HelpHasOneLinePerModeThatItselfIsKnown) {
    test::TestEnvironment env;
    const QStringList lines = OneShotModes::helpText().split('\n');
    for (const char* flag : {"--meeting-preflight", "--meeting-names", "--meeting-notes-send", "--meeting-retranscribe",
                             "--meeting-recover", "--stay-awake-status", "--stay-awake-uninstall", "--migrate-autostart",
                             "MURMELO_SCREEN_CONTEXT_PROBE=1", "--help"}) {
        EXPECT_EQ(lines.filter(QRegularExpression(QStringLiteral("^  ") + QRegularExpression::escape(flag) + "\\b")).size(), 1)
            << flag;
    }
    // Every option the help names is accepted.
    for (const QString& line : lines) {
        const QString flag = line.trimmed().section(' ', 0, 0).remove(',');
        if (!flag.startsWith("--")) continue;
        const auto answer = OneShotModes::checkCommandLine({flag});
        EXPECT_TRUE(!answer || answer->kind == OneShotModes::CommandLineAnswer::Kind::help) << flag.toStdString();
    }
}

TEST(OneShotProbeLevel, ParsesADecimalInteger) {
    const std::pair<const char*, int> cases[] = {{nullptr, 0}, {"", 0}, {"1", 1}, {"3", 3}, {"x", 0}, {"0x2", 0}};
    for (const auto& [value, level] : cases) {
        QProcessEnvironment environment;
        if (value) environment.insert("MURMELO_SCREEN_CONTEXT_PROBE", value);
        EXPECT_EQ(OneShotModes::screenContextProbeLevel(environment), level) << (value ? value : "(absent)");
    }
}

}  // namespace
