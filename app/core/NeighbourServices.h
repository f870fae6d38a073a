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

    // The outcome of a step that can fail: an error text, or nothing when it went well.
    using Failure = std::optional<QString>;

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
    std::function<void()> ladderPresenceShow = [] {};
    std::function<void()> presenceStyleApply = [] {};
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

    // ---- Core parts whose code is not in the tree yet
    std::function<QString()> buildStampLine = [] { return QString(); };
    std::function<QString()> preferredLocalization = [] { return QString(); };
    std::function<QStringList()> shippedLanguages = [] { return QStringList(); };
    std::function<void()> installDeathLogging = [] {};
    std::function<void()> orphansSweep = [] {};
    std::function<void()> healthStart = [] {};
    std::function<void()> mainStallWatchStart = [] {};
    std::function<void()> buildStatusMenu = [] {};
    std::function<void()> ensureStatusItem = [] {};
    std::function<void()> solarCalibrationRecording = [] {};
    std::function<void()> buildPanelRefresh = [] {};
    std::function<bool()> autostartIsEnabled = [] { return false; };
    std::function<bool()> autostartLegacyHasBlanketKeepAlive = [] { return false; };
    std::function<QString()> autostartLegacyPlistPath = [] { return QString(); };
    // Prints its own lines; a failure when it could not migrate.
    std::function<Failure()> autostartMigrateFromLegacy = [] { return Failure(); };
    std::function<bool()> stayAwakeCheckAtLaunch = [] { return false; };
    std::function<void()> stayAwakeKeepAfterOrphan = [] {};
    std::function<void()> stayAwakeReleaseAfterOrphan = [] {};
    std::function<bool()> stayAwakeIsArmed = [] { return false; };
    std::function<bool()> stayAwakeUsesSystemDaemon = [] { return false; };
    std::function<QString()> stayAwakeReport = [] { return QString(); };
    std::function<bool()> stayAwakeIsInstalled = [] { return false; };
    std::function<void(std::function<void(std::optional<QString> error)>)> stayAwakeUninstall =
        [](auto completion) { completion(std::nullopt); };
};

}  // namespace murmelo
