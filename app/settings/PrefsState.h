#pragma once
#include "cleanup/SmartCleanupMode.h"
#include "input/ClipboardManager.h"
#include "input/HotkeyDef.h"
#include "presence/PresenceStyle.h"
#include "settings/Appearance.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <optional>
#include <vector>

namespace murmelo {

// The settings view's fixed width, and the upper bound of its height (points).
inline constexpr double PREFS_WINDOW_WIDTH = 1040.0;
inline constexpr double PREFS_WINDOW_HEIGHT = 736.0;

// The pages of the rail. Raw values are stored and passed between copies; the rail shows
// them in allCases order.
enum class PrefsTab { appearance = 0, dictation = 1, history = 2, meetings = 3, app = 4, home = 5 };

namespace PrefsTabs {
inline constexpr std::array<PrefsTab, 6> allCases{PrefsTab::home,     PrefsTab::dictation,  PrefsTab::history,
                                                  PrefsTab::meetings, PrefsTab::appearance, PrefsTab::app};
inline int rawValue(PrefsTab tab) { return int(tab); }
inline int id(PrefsTab tab) { return int(tab); }
std::optional<PrefsTab> fromRaw(qint64 raw);
// Looked up in the interface language on every call.
QString title(PrefsTab tab);
QString icon(PrefsTab tab);
// The name other subsystems open a page by ("home", "dictation", ...).
QString name(PrefsTab tab);
std::optional<PrefsTab> fromName(const QString& name);
}  // namespace PrefsTabs

// One choice of a picker or menu; its id is also the text shown.
template <class Value>
struct PrefsOption {
    QString id;
    Value value;
    bool separated = false;
    bool enabled = true;
    QString title() const { return id; }
};

// One entry of an application-scope picker: the bundle identifier (empty for every
// application), the label and the application's name.
struct PrefsScope {
    QString id;
    QString title;
    QString name;
    bool operator==(const PrefsScope&) const = default;
};

// The published fields of the settings model, in declaration order: type, name, setter,
// initial value.
#define MURMELO_PREFS_FIELDS(X)                                                                    \
    X(PrefsTab, tab, setTab, PrefsTab::home)                                                       \
    X(bool, layoutEnabled, setLayoutEnabled, false)                                                \
    X(SmartCleanupMode, smartCleanupMode, setSmartCleanupMode, SmartCleanupMode::literal)          \
    X(bool, punctuationEnabled, setPunctuationEnabled, false)                                      \
    X(bool, selectionActionsEnabled, setSelectionActionsEnabled, false)                            \
    X(bool, meetingGestureEnabled, setMeetingGestureEnabled, false)                                \
    X(bool, meetingGestureAvailable, setMeetingGestureAvailable, true)                             \
    X(bool, typingToolsAvailable, setTypingToolsAvailable, false)                                  \
    X(qint64, punctuationKey, setPunctuationKey, POLISH_HOTKEY_OFF)                                \
    X(bool, showsStatistics, setShowsStatistics, false)                                            \
    X(QDateTime, statsMonth, setStatsMonth, QDateTime::currentDateTime())                          \
    X(qint64, statsRevision, setStatsRevision, 0)                                                  \
    X(double, pageHeight, setPageHeight, 0.0)                                                      \
    X(AppAppearance, appearance, setAppearance, Appearance::current())                             \
    X(AppOrbStyle, orbStyle, setOrbStyle, OrbStyle::current())                                     \
    X(PresenceStyle, presence, setPresence, PresenceStyle::drop)                                   \
    X(qint64, dictationKey, setDictationKey, 0)                                                    \
    X(qint64, commandKey, setCommandKey, COMMAND_HOTKEY_OFF)                                       \
    X(bool, autostartOn, setAutostartOn, false)                                                    \
    X(QString, recogLang, setRecogLang, QStringLiteral("auto"))                                    \
    X(QString, modelID, setModelID, QString())                                                     \
    X(PrefsBoolMap, modelDownloaded, setModelDownloaded, PrefsBoolMap())                           \
    X(bool, modelsEnabled, setModelsEnabled, true)                                                 \
    X(bool, progressShown, setProgressShown, false)                                                \
    X(double, progressValue, setProgressValue, 0.0)                                                \
    X(QString, progressText, setProgressText, QString())                                           \
    X(QString, footer, setFooter, QString())                                                       \
    X(QString, diskText, setDiskText, QString())                                                   \
    X(bool, cleanupEnabled, setCleanupEnabled, false)                                              \
    X(QList<PrefsScope>, vocabScopes, setVocabScopes, QList<PrefsScope>())                         \
    X(QString, vocabScopeID, setVocabScopeID, QString())                                           \
    X(QString, vocabText, setVocabText, QString())                                                 \
    X(QString, vocabSaved, setVocabSaved, QString())                                               \
    X(QString, replacementsText, setReplacementsText, QString())                                   \
    X(QString, replacementsSaved, setReplacementsSaved, QString())                                 \
    X(QString, myWordsText, setMyWordsText, QString())                                             \
    X(QString, myWordsSaved, setMyWordsSaved, QString())                                           \
    X(QString, myWordsBudget, setMyWordsBudget, QString())                                         \
    X(QString, commandsText, setCommandsText, QString())                                           \
    X(bool, cloudOn, setCloudOn, false)                                                            \
    X(QString, globalSignature, setGlobalSignature, QString())                                     \
    X(QList<PrefsScope>, replyScopes, setReplyScopes, QList<PrefsScope>())                         \
    X(QString, replyScopeID, setReplyScopeID, QString())                                           \
    X(bool, replyEnabled, setReplyEnabled, false)                                                  \
    X(qint64, replyMedium, setReplyMedium, 0)                                                      \
    X(qint64, replyTone, setReplyTone, 0)                                                          \
    X(qint64, replyLength, setReplyLength, 0)                                                      \
    X(QString, replySignature, setReplySignature, QString())                                       \
    X(QString, replyExtra, setReplyExtra, QString())                                               \
    X(QString, replySaved, setReplySaved, QString())                                               \
    X(bool, clipOn, setClipOn, false)                                                              \
    X(bool, dictationHistoryOn, setDictationHistoryOn, true)                                       \
    X(qint64, dictationHistoryCount, setDictationHistoryCount, 0)                                  \
    X(qint64, meetingAudioDays, setMeetingAudioDays, 30)                                           \
    X(bool, meetingPolishOn, setMeetingPolishOn, true)                                             \
    X(QString, appLanguage, setAppLanguage, QStringLiteral("system"))                              \
    X(bool, appLanguageRestartNeeded, setAppLanguageRestartNeeded, false)                          \
    X(bool, stayAwakeOn, setStayAwakeOn, false)                                                    \
    X(bool, stayAwakeUsable, setStayAwakeUsable, true)                                             \
    X(QString, stayAwakeStatus, setStayAwakeStatus, QString())                                     \
    X(qint64, stayAwakeHours, setStayAwakeHours, 8)                                                \
    X(qint64, stayAwakeFloor, setStayAwakeFloor, 20)                                               \
    X(bool, stayAwakeOrphan, setStayAwakeOrphan, false)                                            \
    X(bool, logTextOn, setLogTextOn, false)                                                        \
    X(bool, buildPanelOn, setBuildPanelOn, false)                                                  \
    X(std::vector<ClipItem>, clipboardItems, setClipboardItems, std::vector<ClipItem>())           \
    X(QStringList, dictationHistoryItems, setDictationHistoryItems, QStringList())

using PrefsBoolMap = QMap<QString, bool>;

#define MURMELO_PREFS_ENUM(Type, name, setter, initial) name,
// One published field of the settings model.
enum class PrefsField { MURMELO_PREFS_FIELDS(MURMELO_PREFS_ENUM) };
#undef MURMELO_PREFS_ENUM

// The settings model: a mirror of every setting the settings pages show, filled from the
// owners by the window controller, plus the pages' own state. Owns no setting. Every
// assignment notifies, equal values included: willChange before the value is stored, changed
// after; assigning the page, the statistics switch or the page height then calls onLayout.
// Main thread only.
class PrefsState : public QObject {
    Q_OBJECT
public:
    PrefsState();

#define MURMELO_PREFS_MEMBER(Type, name, setter, initial)                                          \
    const Type& name() const { return name##_; }                                                   \
    void setter(Type value) { assign(PrefsField::name, name##_, std::move(value)); }
    MURMELO_PREFS_FIELDS(MURMELO_PREFS_MEMBER)
#undef MURMELO_PREFS_MEMBER

    // Called after each assignment of tab, showsStatistics and pageHeight; set by the window.
    std::function<void()> onLayout;
    // Not published: the next show keeps the statistics page. Only the window's
    // showStatistics arms it: statistics opened from the rail are an ordinary page that the
    // next show replaces.
    bool statisticsRouteArmed = false;
    // The disk card opens collapsed; nothing changes this.
    bool modelsExpanded = false;

    // Opens the statistics page on the month of the given instant.
    void selectStatistics(const QDateTime& at);

signals:
    void willChange(murmelo::PrefsField field);
    void changed(murmelo::PrefsField field);

private:
    template <class T>
    void assign(PrefsField field, T& slot, T value) {
        emit willChange(field);
        slot = std::move(value);
        emit changed(field);
        if ((field == PrefsField::tab || field == PrefsField::showsStatistics || field == PrefsField::pageHeight) &&
            onLayout)
            onLayout();
    }

#define MURMELO_PREFS_STORAGE(Type, name, setter, initial) Type name##_;
    MURMELO_PREFS_FIELDS(MURMELO_PREFS_STORAGE)
#undef MURMELO_PREFS_STORAGE
};

}  // namespace murmelo
