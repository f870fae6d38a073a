#pragma once
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace murmelo {

// What the start-up, the one-shot modes and the shutdown need from subsystems that build on
// the core (dictation, clean-up, meetings, presence, settings, ...) and from the input
// layer. Those libraries depend on the core, not the other way round, so each of them fills
// its entries when the process starts; an entry nobody filled does nothing, which is what
// the program does while that subsystem is absent.
struct NeighbourServices {
    static NeighbourServices& shared();
    // Tests install their own; nullptr goes back to the process's.
    static void install(NeighbourServices* services);

    // What the model start does (the dictation subsystem decides it).
    struct ModelStart {
        enum class Kind { start, substitute, nothingDownloaded };
        Kind kind = Kind::start;
        QString modelID;     // start: the model; substitute: the one to use
        QString selectedID;  // substitute, nothingDownloaded: the selected identifier
        bool selectedIsKnown = true;
    };

    // A meeting-notes request ready to send.
    struct NotesDraft {
        qint64 characters = 0;
    };

    // ---- Dictation capture and recognition
    std::function<void()> recorderPrime = [] {};
    std::function<void()> recorderSweepOldRecordings = [] {};
    std::function<void()> recordingHoldStartJanitor = [] {};
    // Listens for changes of the audio input route and tells the recorder.
    std::function<void()> audioRouteStartListening = [] {};
    std::function<void()> recorderDiscardPrimedIfIdle = [] {};
    // Removes every recording held for a rollback (a sweep with an age of 0 s).
    std::function<void()> recordingHoldSweepAll = [] {};
    std::function<bool()> dictationPauseIsActive = [] { return false; };
    std::function<void(int minutes)> dictationPause = [](int) {};
    std::function<std::optional<ModelStart>()> modelStartDecision = [] { return std::nullopt; };
    std::function<void(const QString& id)> setSelectedModelID = [](const QString&) {};
    std::function<void(const QString& id)> serverManagerStart = [](const QString&) {};
    std::function<void()> serverManagerStop = [] {};

    // ---- Clean-up rules
    std::function<void()> migrateSmartCleanupDefaultToLiteral = [] {};
    std::function<QString()> currentSmartCleanupModeTitle = [] { return QString(); };
    std::function<void()> smartCleanupSelfLearningStart = [] {};

    // ---- Corrector service
    std::function<void(bool force)> correctorStart = [](bool) {};
    std::function<void()> correctorStop = [] {};

    // ---- Statistics
    std::function<void()> monthlyStatsFlushNow = [] {};
    std::function<void()> layoutAppStatsFlush = [] {};

    // ---- Layout switcher
    std::function<void()> inputRivalsStart = [] {};
    std::function<void()> layoutSwitcherStart = [] {};

    // ---- AI access, Quick Actions, screen reply
    std::function<bool()> openAIKeychainRepairAccess = [] { return false; };
    std::function<bool()> aiProviderIsReady = [] { return false; };
    std::function<void()> quickActionsDismiss = [] {};
    std::function<void()> screenReplyCancel = [] {};
    std::function<void()> quickReplyPreviewCancel = [] {};
    // Prints its own report to standard output.
    std::function<void()> screenContextProbeRun = [] {};
    // Captures the window of the process whose title matches one of the patterns and
    // recognises its text; the completion may come on any thread, once.
    std::function<void(qint64 pid, const QStringList& titles,
                       std::function<void(std::optional<QString> text, QString error)> completion)>
        windowOCRRecognizeText = [](qint64, const QStringList&, auto completion) {
            completion(std::nullopt, QStringLiteral("распознавание окон в этой сборке недоступно"));
        };

    // ---- Meetings
    std::function<void()> meetingStoreStartupMaintenance = [] {};
    std::function<QString()> meetingPreflightReport = [] { return QString(); };
    std::function<std::optional<qint64>()> meetingCallAppPID = [] { return std::nullopt; };
    std::function<QString(qint64 pid)> localizedApplicationName = [](qint64) { return QString(); };
    std::function<QStringList()> meetingCallWindowTitles = [] { return QStringList(); };
    std::function<QStringList(const QString& ocrText)> meetingParticipantCandidates = [](const QString&) {
        return QStringList();
    };
    // kind is "notes" or "summary".
    std::function<std::optional<NotesDraft>(const QString& folder, const QString& kind, QString* error)>
        meetingNotesDraft = [](const QString&, const QString&, QString* error) -> std::optional<NotesDraft> {
        if (error) *error = QStringLiteral("заметки по встречам в этой сборке недоступны");
        return std::nullopt;
    };
    std::function<QString()> meetingNotesModel = [] { return QString(); };
    // The path of the file it wrote, or nothing with the error.
    std::function<std::optional<QString>(const QString& folder, const QString& kind, QString* error)>
        meetingNotesSend = [](const QString&, const QString&, QString* error) -> std::optional<QString> {
        if (error) *error = QStringLiteral("заметки по встречам в этой сборке недоступны");
        return std::nullopt;
    };
    // Rebuilds the session of a folder and transcribes it; the transcript's path, or nothing.
    std::function<std::optional<QString>(const QString& folder)> meetingRetranscribe =
        [](const QString&) -> std::optional<QString> { return std::nullopt; };
    // Names of the meeting folders whose recording has no transcript, in list order.
    std::function<QStringList()> meetingRecoveryPending = [] { return QStringList(); };
    std::function<int(int limitSeconds)> meetingRecoveryRun = [](int) { return 0; };

    // ---- Presence and quick panel
    std::function<void()> ladderPresenceShow;
    // Until the presence subsystem exists the only style is the bar icon.
    std::function<void()> presenceStyleApply;
    std::function<void()> beadDropPrewarm = [] {};
    std::function<void()> quickPanelHide = [] {};

    // ---- Settings window
    std::function<void()> appearanceApply = [] {};
    std::function<QString()> appearanceCurrent = [] { return QStringLiteral("system"); };
    // tab: "appearance", "dictation", "history", "meetings", "app" or "home".
    std::function<void(const QString& tab)> prefsWindowShow = [](const QString&) {};

    // ---- Onboarding
    std::function<void()> onboardingShowPreview = [] {};
    std::function<void()> onboardingShowAtLaunchIfNeeded = [] {};
    std::function<bool()> onboardingIsManagingModelSetup = [] { return false; };

    // ---- Input layer (a library above the core)
    std::function<bool()> installTap = [] { return false; };
    std::function<void()> startTapGuard = [] {};
    std::function<void()> secureInputStart = [] {};
    std::function<void()> clipboardManagerStart = [] {};
    std::function<bool()> isProcessTrusted = [] { return false; };
    std::function<void()> refreshModelMenu = [] {};

    // ---- Parts of the core itself. They call the real thing (set by the constructor);
    // they are entries so that the start-up's order can be checked on its own.
    std::function<QString()> buildStampLine;
    std::function<QString()> preferredLocalization;
    std::function<QStringList()> shippedLanguages;
    std::function<void()> installDeathLogging;
    std::function<void()> orphansSweep;
    std::function<void()> healthStart;
    std::function<void()> mainStallWatchStart;
    std::function<void()> buildStatusMenu;
    std::function<void()> ensureStatusItem;
    std::function<void()> solarCalibrationRecording;
    std::function<void()> buildPanelRefresh;
    std::function<bool()> autostartIsEnabled;
    std::function<bool()> autostartLegacyHasBlanketKeepAlive;
    std::function<QString()> autostartLegacyPlistPath;
    std::function<bool()> stayAwakeCheckAtLaunch;
    std::function<void()> stayAwakeKeepAfterOrphan;
    std::function<void()> stayAwakeReleaseAfterOrphan;
    std::function<bool()> stayAwakeIsArmed;
    std::function<bool()> stayAwakeUsesSystemDaemon;
    std::function<QString()> stayAwakeReport;
    std::function<bool()> stayAwakeIsInstalled;
    // Completes on the main queue with an error text or none.
    std::function<void(std::function<void(std::optional<QString> error)>)> stayAwakeUninstall;

    NeighbourServices();
};

}  // namespace murmelo
