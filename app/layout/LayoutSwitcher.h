#pragma once
#include "input/DeliveryRepair.h"
#include "input/TextWriteTrace.h"
#include "layout/LayoutAuthority.h"
#include "layout/LayoutRules.h"
#include "layout/LayoutScreenTruth.h"
#include "layout/ManualInputRecordsV1.h"
#include "layout/NgramModel.h"
#include "platform/ComposeStage.h"
#include "platform/EventTap.h"
#include "platform/MainQueue.h"

#include <QDateTime>
#include <QMetaObject>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <functional>
#include <map>
#include <optional>

namespace murmelo {

struct EditRights;
class LayoutParts;

// Words that are never converted: commands, acronyms, product names, short English words.
const QSet<QString>& layoutExceptionSeed();
// Beginnings of a web address.
const QSet<QString>& urlSchemes();

// The keyboard layout switcher: keeps the word being typed and, at its end or while it is being
// typed, decides whether it went into the wrong one of the two layouts. One engine per
// application; tests build their own. Main thread only.
class LayoutSwitcher {
public:
    // How the current word's buffer began; the word's edit rights follow from it.
    enum class BufStart { clean, click, nav, mod, bs };
    static QString bufStartName(BufStart s);
    static std::optional<BufStart> bufStartFromName(const QString& name);

    enum class CorrectionKind { layout, spell };
    enum class UndoGesture { backspace, commandZ };
    enum class UndoTransport { clipboard, keys };
    enum class Phase { live, boundary };

    // The undo record of the last correction or live flip.
    struct PendingCorrection {
        QUuid id;
        QString original;
        QString converted;
        QString from;
        std::optional<QString> previousSourceID;
        std::optional<QString> targetSourceID;
        std::optional<QChar> boundary;
        bool didSwitch = false;
        CorrectionKind kind = CorrectionKind::layout;
        Phase phase = Phase::boundary;
        QString frontApp;
        QDateTime at;
    };
    // The last conversion shown, for erasing or flipping it back.
    struct LastLayoutConversion {
        std::optional<QUuid> id;
        QString typed;
        QString shown;
        QDateTime at;
    };
    struct DisagreementStrike {
        QDateTime at;
        std::optional<QUuid> conversion;
    };
    struct CorrectionEvent {
        QString word, converted, layout;
        bool nativeOK = false, switched = false;
        CorrectionKind kind = CorrectionKind::layout;
        QStringList reasonCodes;
    };
    struct LiveProbe {
        QString core, current, best, converted;
        double margin = 0;
        bool brandHit = false, floorOK = false, prefixOK = false, dictOK = false;
    };

    // Who holds the edit lock and until when. A slow owner names a longer deadline; the watchdog
    // frees only the same hold found past its deadline on two ticks in a row.
    struct EditLock {
        quint64 token = 0;
        QString owner;
        double deadline = 0;  // uptime seconds
    };

    static constexpr double watchdogInterval = 1.5;
    static constexpr int bufferCap = 64;
    static constexpr qint64 keyCodeZ = 6;
    static constexpr qint64 keyCodeBackspace = 51;

    // The parts answer what the engine asks on its key path; they live as long as the engine.
    explicit LayoutSwitcher(LayoutParts& parts, LayoutRules rules = LayoutRules::shared());
    ~LayoutSwitcher();
    LayoutSwitcher(const LayoutSwitcher&) = delete;
    LayoutSwitcher& operator=(const LayoutSwitcher&) = delete;

    // The application's engine, which the shell makes and installs at start-up; asking for it
    // before that is a fault of the start-up order and stops the program.
    static LayoutSwitcher& shared();
    static void install(LayoutSwitcher* engine);

    LayoutParts& parts() const { return parts_; }

    // Settings keys.
    static const QString ENABLED_KEY, EXC_KEY, NAMES_KEY, BRANDS_KEY, SPELL_GUESS_KEY, LIVE_KEY, EXCLUDED_APPS_KEY,
        NATIVE_KEY, LEARNED_DELIVERY_KEY;

    const LayoutRules& rules() const { return rules_; }

    // Settings, read afresh at every access.
    bool isEnabled() const;
    void setEnabled(bool on);
    bool isSpellGuessEnabled() const;
    void setSpellGuessEnabled(bool on);
    bool isLive() const;
    bool isNativeSwitch() const;
    QSet<QString> excludedAppBundles() const;
    bool isSpellEnabled() const { return false; }
    void setSpellEnabled(bool) {}
    // The Russian layout is among the enabled input sources.
    static bool typingFixLanguagesAvailable();

    // Lifecycle.
    void start();
    void loadIfNeeded();
    void watchdogTick();
    void saveExceptions();
    void saveNames();
    void noteBrandSeen(const QString& word);

    // The edit lock every correction, undo, manual conversion and polish holds while it writes.
    std::optional<quint64> acquireEditLock(const QString& owner, double maxSeconds);
    // Releases only the hold the token names; a stale token leaves a newer hold alone.
    void releaseEditLock(quint64 token);
    bool isCorrecting() const { return editLock_.has_value(); }
    const std::optional<EditLock>& editLock() const { return editLock_; }

    // Word predicates.
    bool isKnown(const QString& w) const;
    bool isKnownPrefix(const QString& p) const;
    bool isBrandPrefix(const QString& s) const;
    bool isProtectedWord(const QString& w) const;
    bool isWorthFlippingInto(const QString& w) const;

    // Key path.
    bool handleKeyDown(const InputEvent& event);
    bool handleKeyDown(const InputEvent& event, bool backspaceUndo, bool oneGesture, bool ownTranslation,
                       bool idleReselect);
    // One character (one code point) into the word state; true swallows the key.
    bool ingest(const QString& ch);
    // Puts another text in place of the word being typed (a flip or its revert).
    void setBuf(const QString& text);
    void noteCursorMoved();
    void noteLeftCommandChanged(bool isDown);
    void noteUserShortcut();
    void cancelPendingAutomaticLayoutSelection();
    void noteAutomaticSourceSelectionFailed();

    // The current input source as the engine believes it: the keys' evidence when that rule is
    // on, else what the system (or the stand) reports.
    std::optional<QString> observedSourceID() const { return currentSourceID(); }
    std::optional<QString> currentSourceID() const;
    std::optional<QString> systemSourceID() const;
    std::optional<QString> rawSystemSourceID() const { return systemSourceID(); }
    static std::optional<QString> truthFromKeysAnswer(bool ruleOn, const std::optional<QString>& observedByKeys,
                                                      const std::function<std::optional<QString>()>& system);
    // "en" or "ru" of the believed current source; none outside the two layouts.
    std::optional<QString> currentLayoutId() const;
    static std::optional<QString> langForSource(const std::optional<QString>& sourceID);

    // The simulated text field that stands in for the system while stand mode is on. Stand
    // mode, once on, stays on for the life of the process.
    static ComposeStage* stage() { return ComposeStage::installed(); }
    static void setStage(ComposeStage* stage) { ComposeStage::install(stage); }
    static bool standMode() { return ComposeStage::standMode(); }
    static void setStandMode(bool on) { ComposeStage::setStandMode(on); }
    void veto(const QString& reason) { if (vetoSink) vetoSink(reason); }
    std::optional<QString> learnedAppPrior() const;

    // Snapshots of the moment put to the manual-input arbiter; its answer comes back unchanged.
    ManualInputDecisionV1 automaticDecision(ManualInputAutomaticPhaseV1 phase, const QString& replacement,
                                            const QString& targetLanguage, bool evaluatorConfident, bool editMode,
                                            CorrectionKind kind) const;
    ManualInputDecisionV1 manualDecision(const QString& replacement, const QString& targetSourceID,
                                         bool editMode) const;
    ManualInputDecisionV1 undoDecision(const PendingCorrection& pending) const;

    // Derived values.
    double tNormal() const { return boundaryGates.normal; }
    double tContext() const { return boundaryGates.context; }
    double tDisagree() const { return boundaryGates.disagree; }
    double absFloorDisagree() const { return boundaryGates.absFloor; }
    int liveMinLen() const { return liveLadder.minLen; }
    bool nativeHoldActive() const { return wordsTyped < nativeHoldUntilWord; }

    // The last finished word; setting it moves the old one to prevWord2.
    const QString& prevWord() const { return prevWord_; }
    const QString& prevWord2() const { return prevWord2_; }
    void setPrevWord(const QString& word);
    // The last finished word as the field now shows it (a conversion rewrote it in place).
    void replacePrevWord(const QString& word) { prevWord_ = word; }

    // Models and thresholds.
    const QString modelsDir;
    std::map<QString, NgramModel> models;
    BoundaryGates boundaryGates;
    bool loaded = false;

    // Word buffer and sentence context.
    QString buf;
    // Replaces the buffer; writers other than the key path go through here.
    void setBuffer(const QString& text);
    // The key being handled, while its characters are ingested: a boundary the engine retypes
    // itself is replayed as this key was pressed.
    std::optional<InputEvent> keyInHand;
    std::optional<QString> recentLang;
    std::optional<QChar> prevBoundary;
    BufStart bufStart = BufStart::clean;
    bool editingExisting = false;
    qint64 bsEmptyRun = 0;
    bool capErased = false;
    bool atSentenceStart = false;
    qint64 wordsTyped = 0;
    qint64 nativeHoldUntilWord = -1;
    quint64 typedGen = 0;
    // Clicks and application switches, counted; work that waits notices the caret moved.
    quint64 cursorGen = 0;
    static const QSet<qint64>& navKeys();

    // Learned word sets.
    QSet<QString> exceptions, learnedNames, brandsSeen;

    // Corrections and undo.
    std::optional<PendingCorrection> lastCorrection;
    static constexpr double undoMaxAge = 2.0;
    std::optional<QString> undoneWordPrefix;

    // Disagreement strikes and vetoes.
    QHash<QString, QDateTime> disagreementVeto;
    static constexpr double disagreementVetoTTL = 900.0;
    static constexpr int disagreementVetoCap = 32;
    QHash<QString, DisagreementStrike> disagreementStrike;
    std::optional<LastLayoutConversion> lastConversionForVeto;
    static constexpr double disagreementEraseWindow = 120.0;

    // Live correction.
    bool liveActive = false;
    QString liveLayout, liveRaw, liveRawPeak, liveFlipTarget;
    bool liveFlippedWord = false;
    std::optional<QUuid> liveFlipConversionID;
    bool liveRetypeVeto = false;
    QDateTime liveLastActivityAt;  // null: never
    LiveLadder liveLadder;

    // Flip probe.
    std::optional<QDateTime> flipProbeAt;
    qint64 flipProbeLetters = 0, flipProbeBS = 0, flipProbeWordLen = 0, flipProbeFirstMs = -1;

    // Screen truth and the accessibility probe of the field.
    std::optional<ScreenTruthVerdict> screenTruth;
    QDateTime screenTruthAt;  // null: the distant past
    std::optional<QString> screenTruthApp;
    QDateTime lastScreenProbeAt;
    quint64 screenTruthUsed = 0;
    bool axProbeInFlight = false;
    quint64 axProbeDropped = 0, axProbeTimeouts = 0, axProbeStale = 0;

    // Own switch: grace and verification windows (uptime seconds), and the language the
    // last printable key came from.
    std::optional<QString> lastKeyTruth;
    std::optional<QString> graceTarget;
    double graceUntil = 0;
    const double graceWindow;
    std::optional<QString> layoutVerifyTarget;
    double layoutVerifyUntil = 0;
    qint64 layoutVerifyRetries = 0;
    static constexpr double verifyWindow = 5.0;
    struct OwnSelect {
        QString sourceID;
        double at = 0;  // uptime seconds
    };
    // The source the engine last selected successfully.
    std::optional<OwnSelect> lastOwnSelect;
    // The system was seen on that source after the selection: a later change is not ours.
    bool ownSelectArrived = false;
    bool idleReselectDone = false;
    bool ownTranslationLogged = false;
    // The language the latest keystrokes showed.
    std::optional<QString> observedByKeys;
    // When the engine last wrote into a field itself; field readings just after it are not the user's.
    QDateTime screenTruthLastWriteAt;
    TimerHandle pendingLayoutSelection;
    // The pending selection takes back an undone switch; the user's Command does not fence it.
    bool pendingSelectionIsRollback = false;
    static constexpr double layoutSelectionDelay = 0.08;
    static constexpr double userCommandCooldown = 0.35;
    // Until the selection authority is built: the time before which no automatic selection runs.
    double automaticSelectionHeldUntil = 0;
    quint64 automaticSelectionEpoch = 0;
    // Tickets for automatic source selections; the left Command key and shortcuts void them.
    AutomaticLayoutAuthority layoutSelectionAuthority;

    // Manual conversion: the last right-Shift press that did not convert, and whether a
    // physical key went down since.
    std::optional<QDateTime> lastRShift;
    bool keyBetweenShifts = false;

    QSet<QString> learnedUnreliableBundles;
    qint64 liveScopeAt = -1;

    bool wdCorrecting() const { return wdSeen_.has_value(); }
    const bool openDictConverts;

    // Observer and test hooks; nothing in the application sets them.
    std::function<void(const CorrectionEvent&)> correctionSink;
    std::function<void(const LiveProbe&)> liveProbeSink;
    std::function<void()> manualConvertSink;
    std::function<void(const QString&)> vetoSink;
    std::function<void(const QString&)> spellVetoSink;

private:
    enum class Reset { navigation, modifier, foreignSource, gatedApp, click };
    void applyReset(Reset kind);
    bool handleBackspace(bool backspaceUndo, bool oneGesture);
    bool ingestBoundary(QChar ch);
    bool decideAtBoundary(const QString& word, QChar boundary, BufStart start, bool onEnter);
    void dropLiveWord();
    void caretWordLanguage();
    void scheduleWatchdog();

    LayoutParts& parts_;
    LayoutRules rules_;
    QString prevWord_, prevWord2_;
    std::optional<EditLock> editLock_;
    quint64 nextLockToken_ = 1;
    // The hold the previous watchdog tick saw.
    std::optional<quint64> wdSeen_;
    TimerHandle watchdog_;
    QMetaObject::Connection enabledWatch_;
    bool started_ = false;
    int bufChars_ = 0;
};

}  // namespace murmelo
