#include "shell/AppDelegate.h"

#include "TestEnvironment.h"
#include "shell/TestSeams.h"
#include "shell/AppQuit.h"
#include "base/Log.h"
#include "shell/OneShotModes.h"
#include "base/OrderlyQuit.h"
#include "keepawake/OrphanedStayAwakeAlert.h"
#include "sim/SimInstanceRegistry.h"
#include "sim/SimNotificationCenter.h"
#include "sim/SimProcesses.h"
#include "sim/SimSessionEnd.h"

#include "platform/Processes.h"
#include "platform/Service.h"

#include <gtest/gtest.h>

#include <QMap>

using namespace murmelo;

namespace {

// Every service the start-up and the shutdown call writes "· name" into the log, so the
// log shows the whole routine, the real lines and the calls, in one order.
class AppDelegateTest : public ::testing::Test, public test::TestSeams {
protected:
    AppDelegateTest() {
        AppQuit::resetForTesting();
        OneShotModes::setOutput([this](const QString& line) { printed << line; });
        AppQuit::setDialogRunner([this](const QuitConfirmation&) {
            ++dialogs;
            return QuitConfirmation::Button::cancel;
        });
        delegate.setExitHandler([this](int status) { exits.push_back(status); });
        delegate.setBackgroundRunner([this](std::function<void()> fn) {
            logLine("· background");
            background.push_back(std::move(fn));
        });
        record();
    }
    ~AppDelegateTest() override {
        OneShotModes::setOutput(nullptr);
        OrphanedStayAwakeAlert::setRunner(nullptr);
        OrderlyQuit::resetForTesting();
        AppQuit::resetForTesting();
    }

    // The layout switcher's start-up and shutdown calls, heard like the others.
    struct NotedLayout : LayoutSeam {
        void layoutAppStatsFlush() override { logLine(QStringLiteral("· layoutAppStatsFlush")); }
        void inputRivalsStart() override { logLine(QStringLiteral("· inputRivalsStart")); }
        void layoutSwitcherStart() override { logLine(QStringLiteral("· layoutSwitcherStart")); }
    } notedLayout;
    ScopedService<LayoutSeam> notedLayoutScope{notedLayout};

    static std::function<void()> note(const char* name) {
        return [name] { logLine(QStringLiteral("· ") + QString::fromLatin1(name)); };
    }

    void record() {
        base.buildStampLine = [] { return QString("1.0 (main abc123)"); };
        base.preferredLocalization = [] { return QString("ru"); };
        base.shippedLanguages = [] { return QStringList{"ru", "en"}; };
        settings.appearanceApply = note("appearanceApply");
        settings.appearanceCurrent = [] { return QString("dark"); };
        cleanup.migrateSmartCleanupDefaultToLiteral = note("migrateSmartCleanupDefaultToLiteral");
        cleanup.currentSmartCleanupModeTitle = [] { return QString("Дословно"); };
        cleanup.smartCleanupSelfLearningStart = note("smartCleanupSelfLearningStart");
        diagnostics.installQuitSignals = note("installQuitSignals");
        diagnostics.installDeathLogging = note("installDeathLogging");
        dictation.registerServerPrograms = note("registerServerPrograms");
        dictation.tapDictationInstall = note("tapDictationInstall");
        diagnostics.orphansSweep = note("orphansSweep");
        meetings.meetingStoreStartupMaintenance = note("meetingStoreStartupMaintenance");
        diagnostics.healthStart = note("healthStart");
        diagnostics.mainStallWatchStart = note("mainStallWatchStart");
        ui.buildStatusMenu = note("buildStatusMenu");
        ui.ensureStatusItem = note("ensureStatusItem");
        presence.ladderPresenceShow = note("ladderPresenceShow");
        presence.presenceStyleApply = note("presenceStyleApply");
        ui.solarCalibrationRecording = note("solarCalibrationRecording");
        ui.buildPanelRefresh = note("buildPanelRefresh");
        onboarding.onboardingShowPreview = note("onboardingShowPreview");
        onboarding.onboardingShowAtLaunchIfNeeded = note("onboardingShowAtLaunchIfNeeded");
        input.isProcessTrusted = [] { return true; };
        keepawake.checkAtLaunch = [this] {
            logLine("· stayAwakeCheckAtLaunch");
            return stayAwakeOrphan;
        };
        keepawake.keepAfterOrphan = note("stayAwakeKeepAfterOrphan");
        keepawake.releaseAfterOrphan = note("stayAwakeReleaseAfterOrphan");
        ai.openAIKeychainWarmUp = note("openAIKeychainWarmUp");
        ai.openAIKeychainRepairAccess = [] {
            logLine("· openAIKeychainRepairAccess");
            return true;
        };
        input.installTap = [this] {
            logLine("· installTap");
            return tapInstalls;
        };
        input.startTapGuard = note("startTapGuard");
        input.secureInputStart = note("secureInputStart");
        dictation.recorderPrime = note("recorderPrime");
        dictation.recorderSweepOldRecordings = note("recorderSweepOldRecordings");
        dictation.recorderSweepLeftovers = note("recorderSweepLeftovers");
        dictation.recordingHoldStartJanitor = note("recordingHoldStartJanitor");
        dictation.audioRouteStartListening = note("audioRouteStartListening");
        input.clipboardManagerStart = note("clipboardManagerStart");
        vocabulary.correctorStart = [](bool force) { logLine(force ? "· correctorStart(force)" : "· correctorStart"); };
        presence.beadDropPrewarm = note("beadDropPrewarm");
        dictation.modelStartDecision = [this] { return model; };
        dictation.setSelectedModelID = [](const QString& id) { logLine("· setSelectedModelID " + id); };
        dictation.serverManagerStart = [](const QString& id) { logLine("· serverManagerStart " + id); };
        dictation.refreshModelMenu = note("refreshModelMenu");
        onboarding.onboardingIsManagingModelSetup = [this] { return onboardingManagesModel; };
        settings.prefsWindowShow = [](const QString& tab) { logLine("· prefsWindowShow " + tab); };
        base.autostartLegacyHasBlanketKeepAlive = [this] { return legacyKeepAlive; };
        base.autostartLegacyPlistPath = [] { return QString("/home/u/.config/autostart/murmelo.desktop"); };
        // Shutdown
        dictation.recorderDiscardPrimedIfIdle = note("recorderDiscardPrimedIfIdle");
        dictation.recordingHoldSweepAll = note("recordingHoldSweepAll");
        stats.monthlyStatsFlushNow = note("monthlyStatsFlushNow");
        keepawake.isArmed = [] { return true; };
        keepawake.usesSystemDaemon = [] { return false; };
        ai.quickActionsDismiss = note("quickActionsDismiss");
        reply.screenReplyCancel = note("screenReplyCancel");
        reply.quickReplyPreviewCancel = note("quickReplyPreviewCancel");
        dictation.serverManagerStop = note("serverManagerStop");
        vocabulary.correctorStop = note("correctorStop");
        diagnostics.mainStallWatchStop = note("mainStallWatchStop");
    }

    void launch(const QStringList& args = {}, const QProcessEnvironment& environment = QProcessEnvironment()) {
        delegate.setLaunchContext(args, environment);
        delegate.applicationDidFinishLaunching();
    }

    // The log without time stamps; "копия: " carries the machine's own path.
    QStringList lines() const {
        QStringList out;
        for (const QString& line : env.logLines()) {
            QString text = line.mid(9);
            if (text.startsWith("копия: ")) text = "копия: …";
            out << text;
        }
        return out;
    }

    // A signal that ends the session finds its handler from the first line on.
    static QStringList startLines() {
        return {"· installQuitSignals", "=== Murmelo запущен ===", "сборка: 1.0 (main abc123)", "копия: …",
                "язык интерфейса: ru (в поставке: ru, en)"};
    }

    static QStringList shutdownLines() {
        return {"· recorderDiscardPrimedIfIdle",
                "· recorderSweepOldRecordings",
                "· recordingHoldSweepAll",
                "· monthlyStatsFlushNow",
                "· layoutAppStatsFlush",
                "stay-awake: exiting; macOS will release the local assertion",
                "· quickActionsDismiss",
                "· screenReplyCancel",
                "· quickReplyPreviewCancel",
                "· serverManagerStop",
                "· correctorStop",
                "· mainStallWatchStop"};
    }

    test::TestEnvironment env;
    sim::SimInstanceRegistry instances;
    sim::SimNotificationCenter notifications;
    sim::SimSessionEnd sessionEnd;
    ScopedService<InstanceRegistry> instancesScope_{instances};
    ScopedService<DistributedNotificationCenter> notificationsScope_{notifications};
    ScopedService<SessionEnd> sessionEndScope_{sessionEnd};
    AppDelegate delegate;
    QStringList printed;
    std::vector<int> exits;
    std::vector<std::function<void()>> background;
    int dialogs = 0;
    bool tapInstalls = true;
    bool stayAwakeOrphan = false;
    bool legacyKeepAlive = false;
    bool onboardingManagesModel = false;
    std::optional<DictationSeam::ModelStart> model =
        DictationSeam::ModelStart{DictationSeam::ModelStart::Kind::start, "large-v3", "", true};
};

TEST_F(AppDelegateTest, TheStartRunsEveryStepInOrder) {
    launch();
    const QStringList expected = startLines() + QStringList{
        "· appearanceApply",
        "оформление: при старте dark",
        "· migrateSmartCleanupDefaultToLiteral",
        "обработка диктовки: Дословно",
        "· smartCleanupSelfLearningStart",
        "· installDeathLogging",
        "· registerServerPrograms",
        "· orphansSweep",
        "· background",
        "· healthStart",
        "· mainStallWatchStart",
        "· buildStatusMenu",
        "· ladderPresenceShow",
        "· presenceStyleApply",
        "· buildPanelRefresh",
        "· onboardingShowAtLaunchIfNeeded",
        "AX trusted: true",
        "· stayAwakeCheckAtLaunch",
        "· background",
        "· tapDictationInstall",
        "· installTap",
        "· startTapGuard",
        "· secureInputStart",
        "· inputRivalsStart",
        "· recorderPrime",
        "· recorderSweepOldRecordings",
        "· recorderSweepLeftovers",
        "· recordingHoldStartJanitor",
        "· audioRouteStartListening",
        "· clipboardManagerStart",
        "· layoutSwitcherStart",
        "· correctorStart",
        "· beadDropPrewarm",
        "· setSelectedModelID large-v3",
        "· serverManagerStart large-v3",
        "· refreshModelMenu",
    };
    EXPECT_EQ(lines(), expected);
    EXPECT_TRUE(exits.empty());
    EXPECT_EQ(instances.claimed, QStringList{"com.local.murmelo"});
    EXPECT_EQ(notifications.observerCount(AppDelegate::murmeloShowPrefs()), 1);
    EXPECT_TRUE(sessionEnd.hasHandler());

    // The two blocks that leave the main thread: meeting maintenance, then the keychain
    // repair, which stores its success back on the main queue.
    ASSERT_EQ(background.size(), 2u);
    background[1]();
    env.runPending();
    EXPECT_TRUE(env.defaults().boolValue("keychain.accessRepaired.v1"));
}

TEST_F(AppDelegateTest, SmokeModeLeavesOutAudioTextAndServers) {
    QProcessEnvironment environment;
    environment.insert("MURMELO_QUICK_ACTIONS_SMOKE", "1");
    environment.insert("MURMELO_SOLAR_CALIBRATION", "1");
    env.defaults().set("keychain.accessRepaired.v1", true);
    tapInstalls = false;
    launch({"--onboarding-preview"}, environment);
    env.runPending();
    const QStringList expected = startLines() + QStringList{
        "· appearanceApply",
        "оформление: при старте dark",
        "· migrateSmartCleanupDefaultToLiteral",
        "обработка диктовки: Дословно",
        "· smartCleanupSelfLearningStart",
        "Quick Actions smoke mode: диктовка и изменение текста отключены",
        "· installDeathLogging",
        "· registerServerPrograms",
        "· orphansSweep",
        "· background",
        "· healthStart",
        "· mainStallWatchStart",
        "· buildStatusMenu",
        "· ensureStatusItem",
        "· buildPanelRefresh",
        "AX trusted: true",
        "· background",  // the key read ahead, once the repair has succeeded
        "· tapDictationInstall",
        "· installTap",
        "tap не встал, включаю guard для повторных попыток",
        "· startTapGuard",
        "· secureInputStart",
        "· inputRivalsStart",
        "· refreshModelMenu",
    };
    EXPECT_EQ(lines(), expected);
    EXPECT_EQ(notifications.observerCount(AppDelegate::murmeloShowPrefs()), 0);
    ASSERT_FALSE(background.empty());
    background.back()();
    EXPECT_EQ(lines().last(), "· openAIKeychainWarmUp");
}

TEST_F(AppDelegateTest, TheSweepThePulseAndTheRivalsShareOneReadingOfTheProcessTable) {
    sim::SimProcesses procs;
    ScopedService<Processes> installed(procs);
    procs.add(10, 1, 100, "/usr/bin/a");
    QMap<QString, qsizetype> seen;
    const auto reads = [&](const char* name, std::function<void()> after = nullptr) {
        return [&seen, name, after] {
            seen[name] = Processes::shared().table()->size();
            if (after) after();
        };
    };
    // A process that starts right after the sweep's reading is only seen once the start's
    // steps that share it are done.
    diagnostics.orphansSweep = reads("sweep", [&] { procs.add(11, 1, 100, "/usr/bin/b"); });
    diagnostics.healthStart = reads("pulse");
    struct RivalsRead : NotedLayout {
        std::function<void()> read;
        void inputRivalsStart() override { read(); }
    } rivals;
    rivals.read = reads("rivals");
    ScopedService<LayoutSeam> rivalsScope(rivals);
    dictation.recorderPrime = reads("later");
    launch();
    EXPECT_EQ(seen, (QMap<QString, qsizetype>{{"sweep", 1}, {"pulse", 1}, {"rivals", 1}, {"later", 2}}));
}

TEST_F(AppDelegateTest, SolarCalibrationAndOnboardingPreviewOutsideSmoke) {
    QProcessEnvironment environment;
    environment.insert("MURMELO_SOLAR_CALIBRATION", "1");
    launch({"--onboarding-preview"}, environment);
    const QStringList before = lines();
    EXPECT_TRUE(before.contains("· onboardingShowPreview"));
    EXPECT_FALSE(before.contains("· onboardingShowAtLaunchIfNeeded"));
    EXPECT_FALSE(before.contains("· solarCalibrationRecording"));  // queued, not run inside the routine
    env.runPending();
    EXPECT_EQ(lines().last(), "· solarCalibrationRecording");
}

TEST_F(AppDelegateTest, ASecondCopyLogsTheStartAndQuitsSilently) {
    instances.setRunningCopy("com.local.murmelo", 4321);
    launch();
    const QStringList expected = startLines() +
                                 QStringList{"⚠ Murmelo уже запущен (pid 4321) — второй экземпляр закрывается",
                                             "выход служебный: второй экземпляр"} +
                                 shutdownLines();
    EXPECT_EQ(lines(), expected);
    EXPECT_EQ(instances.activated, std::vector<qint64>{4321});
    EXPECT_EQ(notifications.posted, QStringList{"com.local.murmelo.showPrefs"});
    EXPECT_EQ(exits, std::vector<int>{0});
    EXPECT_EQ(dialogs, 0);
}

TEST_F(AppDelegateTest, ASecondCopyStartedByABlanketKeepAliveOnlyLogs) {
    instances.setRunningCopy("com.local.murmelo", 4321);
    legacyKeepAlive = true;
    launch();
    EXPECT_TRUE(env.logContains(
        "⚠ автозапуск: у старой записи X-GNOME-AutoRestart=true — повторные запуски идут от сеанса, настройки не "
        "показываю. Починка: убрать X-GNOME-AutoRestart из /home/u/.config/autostart/murmelo.desktop или запустить "
        "murmelo --migrate-autostart"));
    EXPECT_TRUE(instances.activated.empty());
    EXPECT_TRUE(notifications.posted.isEmpty());
    EXPECT_EQ(exits, std::vector<int>{0});
}

TEST_F(AppDelegateTest, TheLiveCopyShowsItsSettingsWhenAnotherStarts) {
    launch();
    DistributedNotificationCenter::shared().post(AppDelegate::murmeloShowPrefs());
    env.runPending();
    const QStringList tail = lines().mid(lines().size() - 2);
    EXPECT_EQ(tail, (QStringList{"повторный запуск — показываю настройки живого экземпляра", "· prefsWindowShow home"}));
}

TEST_F(AppDelegateTest, AOneShotModeRunsBeforeTheStartIsLogged) {
    launch({"--meeting-recover"});
    EXPECT_EQ(printed, (QStringList{"брошенных записей нет", "расшифровано: 0"}));
    EXPECT_EQ(lines(), QStringList{"выход служебный: --meeting-recover"} + shutdownLines());
    EXPECT_TRUE(instances.claimed.isEmpty());
    EXPECT_EQ(exits, std::vector<int>{0});
}

TEST_F(AppDelegateTest, TheModelStartFollowsTheDecision) {
    using Kind = DictationSeam::ModelStart::Kind;
    struct Case {
        DictationSeam::ModelStart decision;
        bool onboarding;
        QStringList tail;
    };
    const Case cases[] = {
        {{Kind::substitute, "base", "large-v3", true},
         false,
         {"выбранная модель large-v3 не загружена — поднимаю base", "· setSelectedModelID base",
          "· serverManagerStart base", "· refreshModelMenu"}},
        {{Kind::substitute, "base", "turbo-9", false},
         false,
         {"выбранная модель turbo-9 неизвестна этой сборке — поднимаю base", "· serverManagerStart base",
          "· refreshModelMenu"}},
        {{Kind::nothingDownloaded, "", "large-v3", true},
         true,
         {"· refreshModelMenu", "нет ни одной модели (выбрана large-v3) — загрузкой управляет онбординг"}},
        {{Kind::nothingDownloaded, "", "large-v3", true},
         false,
         {"· refreshModelMenu", "нет ни одной модели (выбрана large-v3) — открываю Настройки для загрузки"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tail.join(" | ").toStdString());
        test::TestEnvironment fresh;
        AppDelegate d;
        model = c.decision;
        onboardingManagesModel = c.onboarding;
        d.setBackgroundRunner([](std::function<void()>) {});
        d.setLaunchContext({}, {});
        d.applicationDidFinishLaunching();
        const QStringList all = fresh.logLines();
        QStringList tail;
        for (qsizetype i = all.size() - c.tail.size(); i < all.size(); ++i) tail << all[i].mid(9);
        EXPECT_EQ(tail, c.tail);
        // Only a missing model with nobody managing the download opens the settings, later.
        fresh.advance(0.59);
        EXPECT_FALSE(fresh.logContains("prefsWindowShow"));
        fresh.advance(0.01);
        EXPECT_EQ(fresh.logContains("· prefsWindowShow dictation"),
                  c.decision.kind == Kind::nothingDownloaded && !c.onboarding);
    }
}

TEST_F(AppDelegateTest, AnOrphanedKeepAwakeLockIsOfferedLater) {
    stayAwakeOrphan = true;
    std::vector<OrphanedStayAwakeAlert> shown;
    OrphanedStayAwakeAlert::setRunner([&](const OrphanedStayAwakeAlert& a) {
        shown.push_back(a);
        return OrphanedStayAwakeAlert::Answer::release;
    });
    launch();
    env.advance(1.19);
    EXPECT_TRUE(shown.empty());
    env.advance(0.01);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].message, "Ноутбук сейчас не заснёт");
    EXPECT_EQ(shown[0].buttons, (QStringList{"Держать дальше", "Вернуть сон"}));
    EXPECT_EQ(lines().last(), "· stayAwakeReleaseAfterOrphan");
}

TEST_F(AppDelegateTest, TheEndOfTheSessionRunsTheShutdownWithoutAsking) {
    launch();
    const qsizetype before = lines().size();
    sessionEnd.end(SessionEnd::Kind::shutDown);
    const QStringList after = lines().mid(before);
    EXPECT_EQ(after, QStringList{"выход: причина от системы (разлогин/перезагрузка/выключение) — не спрашиваю"} +
                         shutdownLines());
    EXPECT_EQ(dialogs, 0);
    EXPECT_EQ(exits, std::vector<int>{0});
}

TEST_F(AppDelegateTest, SigtermFromTheSessionTakesTheSameQuit) {
    int flushed = 0;
    OrderlyQuit::addFlushCallback([&] { ++flushed; });
    launch();
    const qsizetype before = lines().size();
    OrderlyQuit::request("SIGTERM от сеанса");
    const QStringList after = lines().mid(before);
    QStringList expected = QStringList{"выход: SIGTERM от сеанса — штатный выход, не смерть",
                                       "выход: причина от системы (разлогин/перезагрузка/выключение) — не спрашиваю"} +
                           shutdownLines();
    EXPECT_EQ(after, expected);
    EXPECT_EQ(flushed, 1);
    EXPECT_EQ(dialogs, 0);
    EXPECT_EQ(exits, std::vector<int>{0});
}

}  // namespace
