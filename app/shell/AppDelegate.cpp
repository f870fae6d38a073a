#include "shell/AppDelegate.h"

#include "base/Defaults.h"
#include "base/Log.h"
#include "base/MurmeloRuntimeSafety.h"
#include "ai/AiSeam.h"
#include "base/BaseSeam.h"
#include "cleanup/CleanupSeam.h"
#include "diagnostics/DiagnosticsSeam.h"
#include "dictation/DictationSeam.h"
#include "input/InputSeam.h"
#include "keepawake/KeepAwakeSeam.h"
#include "layout/LayoutSeam.h"
#include "meetings/MeetingsSeam.h"
#include "onboarding/OnboardingSeam.h"
#include "presence/PresenceSeam.h"
#include "reply/ReplySeam.h"
#include "settings/SettingsSeam.h"
#include "stats/StatsSeam.h"
#include "ui/UiSeam.h"
#include "vocabulary/VocabularySeam.h"
#include "shell/OneShotModes.h"
#include "base/OrderlyQuit.h"
#include "ui/CoreMenuSections.h"
#include "keepawake/OrphanedStayAwakeAlert.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/InstanceRegistry.h"
#include "platform/MainQueue.h"
#include "platform/Processes.h"
#include "platform/RunningApplication.h"
#include "platform/SessionEnd.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThreadPool>

namespace murmelo {
namespace {

AppDelegate* g_delegate = nullptr;

// A copy run outside its installation has no identifier of its own.
const char* const kFallbackBundleIdentifier = "com.local.murmelo";
const char* const kKeychainRepairedKey = "keychain.accessRepaired.v1";

quint32 reasonFor(SessionEnd::Kind kind) {
    switch (kind) {
    case SessionEnd::Kind::logOut: return AppQuit::code("logo");
    case SessionEnd::Kind::restart: return AppQuit::code("rest");
    case SessionEnd::Kind::shutDown: return AppQuit::code("shut");
    }
    return AppQuit::code("shut");
}

}  // namespace

AppDelegate::AppDelegate()
    : environment_(QProcessEnvironment::systemEnvironment()),
      exit_([](int status) { QCoreApplication::exit(status); }),
      background_([](std::function<void()> fn) { QThreadPool::globalInstance()->start(std::move(fn)); }) {
    const QStringList all = QCoreApplication::arguments();
    arguments_ = all.mid(1);
    g_delegate = this;
    // Whoever asks the application to quit (a menu, Qt itself) goes through terminate().
    if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(this);
    QuitMenuSection::quitRequest() = [this] { terminate(); };
}

AppDelegate::~AppDelegate() {
    if (g_delegate == this) g_delegate = nullptr;
    QuitMenuSection::quitRequest() = nullptr;
}

AppDelegate* AppDelegate::shared() { return g_delegate; }

void AppDelegate::setLaunchContext(QStringList arguments, QProcessEnvironment environment) {
    arguments_ = std::move(arguments);
    environment_ = std::move(environment);
}

void AppDelegate::setExitHandler(std::function<void(int)> handler) { exit_ = std::move(handler); }

void AppDelegate::setBackgroundRunner(std::function<void(std::function<void()>)> runner) {
    background_ = std::move(runner);
}

QString AppDelegate::murmeloShowPrefs() { return QStringLiteral("com.local.murmelo.showPrefs"); }

bool AppDelegate::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Quit && watched == QCoreApplication::instance()) {
        terminate();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

// ---- Start-up

void AppDelegate::applicationDidFinishLaunching() {

    // One-shot modes end the process before anything else happens.
    if (OneShotModes::run(arguments_, environment_)) return;

    // Once the start is logged, the session's SIGTERM and a closed terminal's SIGHUP take the
    // orderly quit; left to their default until the death handlers, they would kill outright.
    DiagnosticsSeam::shared().installQuitSignals();

    logLine(QStringLiteral("=== Murmelo запущен ==="));
    logLine(QStringLiteral("сборка: ") + BaseSeam::shared().buildStampLine());
    logLine(QStringLiteral("копия: ") + runningBuildLine());
    Log::leaveTrailAtLegacyPath();
    const QString preferred = BaseSeam::shared().preferredLocalization();
    logLine(QStringLiteral("язык интерфейса: ") + (preferred.isEmpty() ? QStringLiteral("—") : preferred) +
            QStringLiteral(" (в поставке: ") + BaseSeam::shared().shippedLanguages().join(QStringLiteral(", ")) +
            QStringLiteral(")"));

    if (!ensureSingleInstance()) return;

    SettingsSeam::shared().appearanceApply();
    logLine(QStringLiteral("оформление: при старте ") + SettingsSeam::shared().appearanceCurrent());

    CleanupSeam::shared().migrateSmartCleanupDefaultToLiteral();
    logLine(QStringLiteral("обработка диктовки: ") + CleanupSeam::shared().currentSmartCleanupModeTitle());
    CleanupSeam::shared().smartCleanupSelfLearningStart();

    // The smoke test: read once, it governs the rest of the routine.
    const bool smoke = MurmeloRuntimeSafety::isQuickActionsSmokeMode(environment_);
    if (smoke) logLine(QStringLiteral("Quick Actions smoke mode: диктовка и изменение текста отключены"));

    // The end of the session is a quit without questions.
    DiagnosticsSeam::shared().installDeathLogging();
    observeSessionEnd();

    // The orphan sweep must know which program is the recognition server.
    DictationSeam::shared().registerServerPrograms();
    // The sweep, the first health pulse and the first look for rival key programs share
    // one reading of the process table: reading it three times held up the event tap.
    std::optional<SharedProcessTable> startTable(std::in_place);
    DiagnosticsSeam::shared().orphansSweep();
    // The meeting store is tidied off the main thread.
    background_(MeetingsSeam::shared().meetingStoreStartupMaintenance);
    DiagnosticsSeam::shared().healthStart();
    DiagnosticsSeam::shared().mainStallWatchStart();

    UiSeam::shared().buildStatusMenu();
    if (smoke) {
        UiSeam::shared().ensureStatusItem();
    } else {
        PresenceSeam::shared().ladderPresenceShow();
        PresenceSeam::shared().presenceStyleApply();
        if (environment_.value(QStringLiteral("MURMELO_SOLAR_CALIBRATION")) == QStringLiteral("1"))
            MainQueue::shared().post(UiSeam::shared().solarCalibrationRecording);
    }

    UiSeam::shared().buildPanelRefresh();

    if (!smoke) {
        if (arguments_.contains(QStringLiteral("--onboarding-preview")))
            OnboardingSeam::shared().onboardingShowPreview();
        else
            OnboardingSeam::shared().onboardingShowAtLaunchIfNeeded();
    }

    logLine(QStringLiteral("AX trusted: ") +
            (InputSeam::shared().isProcessTrusted() ? QStringLiteral("true") : QStringLiteral("false")));

    // A keep-awake lock left by an earlier run.
    if (!smoke && KeepAwakeSeam::shared().checkAtLaunch())
        MainQueue::shared().after(1.2, [] { OrphanedStayAwakeAlert::show(); });

    // The key store is repaired until that succeeds once; after that its key is only read
    // ahead. Either read fills the key cache off the main thread.
    if (!Defaults::shared().boolValue(QString::fromLatin1(kKeychainRepairedKey))) {
        background_([repair = AiSeam::shared().openAIKeychainRepairAccess] {
            if (!repair()) return;
            MainQueue::shared().post(
                [] { Defaults::shared().set(QString::fromLatin1(kKeychainRepairedKey), true); });
        });
    } else {
        background_(AiSeam::shared().openAIKeychainWarmUp);
    }

    VocabularySeam::shared().bindDictationNeighbours();
    ReplySeam::shared().bindDictationNeighbours();
    // The dictation hotkeys reach recording control through the event tap.
    DictationSeam::shared().tapDictationInstall();
    if (!InputSeam::shared().installTap()) logLine(QStringLiteral("tap не встал, включаю guard для повторных попыток"));
    InputSeam::shared().startTapGuard();
    InputSeam::shared().secureInputStart();
    LayoutSeam::shared().inputRivalsStart();
    startTable.reset();

    if (smoke) {
        // A smoke test starts no capture or servers: only the model line of the menu.
        DictationSeam::shared().refreshModelMenu();
        return;
    }

    DictationSeam::shared().recorderPrime();
    DictationSeam::shared().recorderSweepOldRecordings();
    DictationSeam::shared().recorderSweepLeftovers();
    DictationSeam::shared().recordingHoldStartJanitor();
    DictationSeam::shared().audioRouteStartListening();
    observeShowPrefs();
    InputSeam::shared().clipboardManagerStart();
    LayoutSeam::shared().layoutSwitcherStart();
    VocabularySeam::shared().correctorStart(false);
    PresenceSeam::shared().beadDropPrewarm();
    startModel();
}

bool AppDelegate::ensureSingleInstance() {
    const std::optional<QString> own = RunningApplication::shared().bundleIdentifier();
    const QString bundleIdentifier =
        own && !own->isEmpty() ? *own : QString::fromLatin1(kFallbackBundleIdentifier);
    const InstanceRegistry::Claim claim = InstanceRegistry::shared().claim(bundleIdentifier);
    if (claim.isOnlyCopy) return true;

    logLine(QStringLiteral("⚠ Murmelo уже запущен (pid ") + QString::number(claim.otherPid) +
            QStringLiteral(") — второй экземпляр закрывается"));
    if (BaseSeam::shared().autostartLegacyHasBlanketKeepAlive()) {
        logLine(QStringLiteral("⚠ автозапуск: у старой записи X-GNOME-AutoRestart=true — повторные запуски идут от "
                               "сеанса, настройки не показываю. Починка: убрать X-GNOME-AutoRestart из ") +
                BaseSeam::shared().autostartLegacyPlistPath() + QStringLiteral(" или запустить murmelo --migrate-autostart"));
    } else {
        InstanceRegistry::shared().activate(claim.otherPid);
        DistributedNotificationCenter::shared().post(murmeloShowPrefs());
    }
    AppQuit::terminateSilently(QStringLiteral("второй экземпляр"));
    return false;
}

void AppDelegate::observeShowPrefs() {
    DistributedNotificationCenter::shared().addObserver(murmeloShowPrefs(), [] {
        logLine(QStringLiteral("повторный запуск — показываю настройки живого экземпляра"));
        SettingsSeam::shared().prefsWindowShow(QStringLiteral("home"));
    });
}

void AppDelegate::observeSessionEnd() {
    SessionEnd::shared().setHandler([this](SessionEnd::Kind kind) { terminate(reasonFor(kind)); });
    // SIGTERM reaches the main thread through the death handlers: the session logging out.
    OrderlyQuit::setHandler([this](const QString&) { terminate(reasonFor(SessionEnd::Kind::logOut)); });
}

void AppDelegate::startModel() {
    const auto decision = DictationSeam::shared().modelStartDecision();
    using Kind = DictationSeam::ModelStart::Kind;
    if (!decision) {
        DictationSeam::shared().refreshModelMenu();
        return;
    }
    switch (decision->kind) {
    case Kind::start:
        DictationSeam::shared().setSelectedModelID(decision->modelID);
        DictationSeam::shared().serverManagerStart(decision->modelID);
        DictationSeam::shared().refreshModelMenu();
        return;
    case Kind::substitute:
        logLine(QStringLiteral("выбранная модель ") + decision->selectedID +
                (decision->selectedIsKnown ? QStringLiteral(" не загружена — поднимаю ")
                                           : QStringLiteral(" неизвестна этой сборке — поднимаю ")) +
                decision->modelID);
        // An identifier this build does not know stays selected for a build that does.
        if (decision->selectedIsKnown) DictationSeam::shared().setSelectedModelID(decision->modelID);
        DictationSeam::shared().serverManagerStart(decision->modelID);
        DictationSeam::shared().refreshModelMenu();
        return;
    case Kind::nothingDownloaded:
        DictationSeam::shared().refreshModelMenu();
        if (OnboardingSeam::shared().onboardingIsManagingModelSetup()) {
            logLine(QStringLiteral("нет ни одной модели (выбрана ") + decision->selectedID +
                    QStringLiteral(") — загрузкой управляет онбординг"));
            return;
        }
        logLine(QStringLiteral("нет ни одной модели (выбрана ") + decision->selectedID +
                QStringLiteral(") — открываю Настройки для загрузки"));
        MainQueue::shared().after(0.6, [] { SettingsSeam::shared().prefsWindowShow(QStringLiteral("dictation")); });
        return;
    }
}

// ---- Quit and shutdown

AppQuit::Reply AppDelegate::applicationShouldTerminate() { return AppQuit::reply(); }

void AppDelegate::applicationWillTerminate() {
    DictationSeam::shared().recorderDiscardPrimedIfIdle();
    DictationSeam::shared().recorderSweepOldRecordings();
    DictationSeam::shared().recordingHoldSweepAll();
    StatsSeam::shared().monthlyStatsFlushNow();
    LayoutSeam::shared().layoutAppStatsFlush();
    OrderlyQuit::runFlushCallbacks();
    if (KeepAwakeSeam::shared().isArmed()) {
        // The lock is not released here: it outlives the process by design.
        logLine(KeepAwakeSeam::shared().usesSystemDaemon()
                    ? QStringLiteral("stay-awake: exiting; experimental lock remains with daemon")
                    : QStringLiteral("stay-awake: exiting; macOS will release the local assertion"));
    }
    AiSeam::shared().quickActionsDismiss();
    ReplySeam::shared().screenReplyCancel();
    ReplySeam::shared().quickReplyPreviewCancel();
    DictationSeam::shared().serverManagerStop();
    VocabularySeam::shared().correctorStop();
    // Its thread posts to the main queue, which ends with the event loop.
    DiagnosticsSeam::shared().mainStallWatchStop();
}

void AppDelegate::terminate(std::optional<quint32> systemReason) {
    if (terminating_) return;
    // While the dialog is open only the end of the session may go on; a second quit of the
    // user's waits for the answer to the first.
    if (asking_ && !systemReason) return;
    AppQuit::ScopedQuitReason reason(systemReason);
    asking_ = true;
    const AppQuit::Reply reply = applicationShouldTerminate();
    asking_ = false;
    if (terminating_ || reply == AppQuit::Reply::cancel) return;
    terminating_ = true;
    applicationWillTerminate();
    exit_(AppQuit::exitStatus());
}

}  // namespace murmelo
