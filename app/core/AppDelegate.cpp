#include "core/AppDelegate.h"

#include "core/Defaults.h"
#include "core/Log.h"
#include "core/MurmeloRuntimeSafety.h"
#include "core/NeighbourServices.h"
#include "core/OneShotModes.h"
#include "core/OrderlyQuit.h"
#include "core/OrphanedStayAwakeAlert.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/InstanceRegistry.h"
#include "platform/MainQueue.h"
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
}

AppDelegate::~AppDelegate() {
    if (g_delegate == this) g_delegate = nullptr;
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
    auto& services = NeighbourServices::shared();

    // 1. One-shot modes end the process before anything else happens.
    if (OneShotModes::run(arguments_, environment_)) return;

    // 2. The start in the log.
    logLine(QStringLiteral("=== Murmelo запущен ==="));
    logLine(QStringLiteral("сборка: ") + services.buildStampLine());
    logLine(QStringLiteral("копия: ") + runningBuildLine());
    Log::leaveTrailAtLegacyPath();
    const QString preferred = services.preferredLocalization();
    logLine(QStringLiteral("язык интерфейса: ") + (preferred.isEmpty() ? QStringLiteral("—") : preferred) +
            QStringLiteral(" (в поставке: ") + services.shippedLanguages().join(QStringLiteral(", ")) +
            QStringLiteral(")"));

    // 3. A second copy ends here.
    if (!ensureSingleInstance()) return;

    // 4. Appearance.
    services.appearanceApply();
    logLine(QStringLiteral("оформление: при старте ") + services.appearanceCurrent());

    // 5, 6. Clean-up mode and its self-learning.
    services.migrateSmartCleanupDefaultToLiteral();
    logLine(QStringLiteral("обработка диктовки: ") + services.currentSmartCleanupModeTitle());
    services.smartCleanupSelfLearningStart();

    // 7. The smoke test: read once, it governs the rest of the routine.
    const bool smoke = MurmeloRuntimeSafety::isQuickActionsSmokeMode(environment_);
    if (smoke) logLine(QStringLiteral("Quick Actions smoke mode: диктовка и изменение текста отключены"));

    // 8. Death instrumentation, and the end of the session as a quit without questions.
    services.installDeathLogging();
    observeSessionEnd();

    // 9-11. Orphans of an earlier run, meeting-store maintenance off the main thread,
    // health pulse and stall watchdog.
    services.orphansSweep();
    background_(services.meetingStoreStartupMaintenance);
    services.healthStart();
    services.mainStallWatchStart();

    // 12. Nothing to do here: Linux does not end idle background programs on its own.

    // 13, 14. Status menu, status item and presence.
    services.buildStatusMenu();
    if (smoke) {
        services.ensureStatusItem();
    } else {
        services.ladderPresenceShow();
        services.presenceStyleApply();
        if (environment_.value(QStringLiteral("MURMELO_SOLAR_CALIBRATION")) == QStringLiteral("1"))
            MainQueue::shared().post(services.solarCalibrationRecording);
    }

    // 15. Build panel.
    services.buildPanelRefresh();

    // 16. Onboarding.
    if (!smoke) {
        if (arguments_.contains(QStringLiteral("--onboarding-preview")))
            services.onboardingShowPreview();
        else
            services.onboardingShowAtLaunchIfNeeded();
    }

    // 17. Accessibility trust.
    logLine(QStringLiteral("AX trusted: ") +
            (services.isProcessTrusted() ? QStringLiteral("true") : QStringLiteral("false")));

    // 18. A keep-awake lock left by an earlier run.
    if (!smoke && services.stayAwakeCheckAtLaunch())
        MainQueue::shared().after(1.2, [] { OrphanedStayAwakeAlert::show(); });

    // 19. Keychain repair, until it succeeds once.
    if (!Defaults::shared().boolValue(QString::fromLatin1(kKeychainRepairedKey))) {
        background_([repair = services.openAIKeychainRepairAccess] {
            if (!repair()) return;
            MainQueue::shared().post(
                [] { Defaults::shared().set(QString::fromLatin1(kKeychainRepairedKey), true); });
        });
    }

    // 20, 21. Event tap with its guard, secure input, rival taps.
    if (!services.installTap()) logLine(QStringLiteral("tap не встал, включаю guard для повторных попыток"));
    services.startTapGuard();
    services.secureInputStart();
    services.inputRivalsStart();

    if (smoke) {
        // 23. Only the model line of the menu.
        services.refreshModelMenu();
        return;
    }

    // 22. Capture and servers.
    services.recorderPrime();
    services.recorderSweepOldRecordings();
    services.recordingHoldStartJanitor();
    services.audioRouteStartListening();
    observeShowPrefs();
    services.clipboardManagerStart();
    services.layoutSwitcherStart();
    services.correctorStart(false);
    services.beadDropPrewarm();
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
    auto& services = NeighbourServices::shared();
    if (services.autostartLegacyHasBlanketKeepAlive()) {
        logLine(QStringLiteral("⚠ автозапуск: у легаси-агента KeepAlive=true — повторные запуски идут от launchd, "
                               "настройки не показываю. Починка: заменить KeepAlive на {SuccessfulExit=false} ") +
                QStringLiteral("в ") + services.autostartLegacyPlistPath() +
                QStringLiteral(", см. app/README.md → Автозапуск"));
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
        NeighbourServices::shared().prefsWindowShow(QStringLiteral("home"));
    });
}

void AppDelegate::observeSessionEnd() {
    SessionEnd::shared().setHandler([this](SessionEnd::Kind kind) { terminate(reasonFor(kind)); });
    // SIGTERM reaches the main thread through the death handlers: the session logging out.
    OrderlyQuit::setHandler([this](const QString&) { terminate(reasonFor(SessionEnd::Kind::logOut)); });
}

void AppDelegate::startModel() {
    auto& services = NeighbourServices::shared();
    const auto decision = services.modelStartDecision();
    using Kind = NeighbourServices::ModelStart::Kind;
    if (!decision) {
        services.refreshModelMenu();
        return;
    }
    switch (decision->kind) {
    case Kind::start:
        services.setSelectedModelID(decision->modelID);
        services.serverManagerStart(decision->modelID);
        services.refreshModelMenu();
        return;
    case Kind::substitute:
        logLine(QStringLiteral("выбранная модель ") + decision->selectedID +
                (decision->selectedIsKnown ? QStringLiteral(" не загружена — поднимаю ")
                                           : QStringLiteral(" неизвестна этой сборке — поднимаю ")) +
                decision->modelID);
        // An identifier this build does not know stays selected for a build that does.
        if (decision->selectedIsKnown) services.setSelectedModelID(decision->modelID);
        services.serverManagerStart(decision->modelID);
        services.refreshModelMenu();
        return;
    case Kind::nothingDownloaded:
        services.refreshModelMenu();
        if (services.onboardingIsManagingModelSetup()) {
            logLine(QStringLiteral("нет ни одной модели (выбрана ") + decision->selectedID +
                    QStringLiteral(") — загрузкой управляет онбординг"));
            return;
        }
        logLine(QStringLiteral("нет ни одной модели (выбрана ") + decision->selectedID +
                QStringLiteral(") — открываю Настройки для загрузки"));
        MainQueue::shared().after(0.6, [] { NeighbourServices::shared().prefsWindowShow(QStringLiteral("dictation")); });
        return;
    }
}

// ---- Quit and shutdown

AppQuit::Reply AppDelegate::applicationShouldTerminate() { return AppQuit::reply(); }

void AppDelegate::applicationWillTerminate() {
    auto& services = NeighbourServices::shared();
    services.recorderDiscardPrimedIfIdle();
    services.recorderSweepOldRecordings();
    services.recordingHoldSweepAll();
    services.monthlyStatsFlushNow();
    services.layoutAppStatsFlush();
    OrderlyQuit::runFlushCallbacks();
    if (services.stayAwakeIsArmed()) {
        // The lock is not released here: it outlives the process by design.
        logLine(services.stayAwakeUsesSystemDaemon()
                    ? QStringLiteral("stay-awake: exiting; experimental lock remains with daemon")
                    : QStringLiteral("stay-awake: exiting; macOS will release the local assertion"));
    }
    services.quickActionsDismiss();
    services.screenReplyCancel();
    services.quickReplyPreviewCancel();
    services.serverManagerStop();
    services.correctorStop();
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
