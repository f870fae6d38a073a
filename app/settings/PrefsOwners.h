#pragma once
#include "cleanup/SmartCleanupMode.h"
#include "input/ClipboardManager.h"
#include "presence/PresenceStyle.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

namespace murmelo {

// The components that own the settings the window shows: what the window reads from each and
// the few writes it makes itself. The application's answers come from the real owners
// (LivePrefsOwners); tests answer with their own.
class PrefsOwners {
public:
    virtual ~PrefsOwners() = default;

    struct Model {
        QString id;
        QString shortTitle;
    };
    struct StayAwakeState {
        bool enabled = false;
        QString statusText;
        int hours = 8;
        int batteryFloor = 20;
        bool orphan = false;
    };

    // Vocabulary and dictation words.
    virtual QString customVocab() = 0;
    virtual void setCustomVocab(const QString& text) = 0;
    virtual QString replacementsRaw() = 0;
    virtual QString personalWordsJoined() = 0;
    virtual QString voiceCommandsText() = 0;
    virtual void setVoiceCommandsText(const QString& text) = 0;
    // Keys: the code of each hotkey, none for one switched off.
    virtual qint64 dictationKey() = 0;
    virtual std::optional<qint64> commandKey() = 0;
    virtual std::optional<qint64> polishKey() = 0;
    // Switches of the home page.
    virtual bool typingToolsAvailable() = 0;
    virtual bool layoutEnabled() = 0;
    virtual SmartCleanupMode smartCleanupMode() = 0;
    virtual bool polishEnabled() = 0;
    virtual bool quickActionsEnabled() = 0;
    // Launch, recognition, signature.
    virtual bool autostartEnabled() = 0;
    virtual QString recognitionLanguage() = 0;
    virtual QString defaultSignature() = 0;
    // History and clipboard.
    virtual bool clipboardEnabled() = 0;
    virtual std::vector<ClipItem> clipboardItems() = 0;
    // The clipboard history's change callback (empty: detached).
    virtual void setClipboardOnChange(std::function<void()> callback) = 0;
    virtual bool dictationHistoryEnabled() = 0;
    virtual QStringList dictationHistory() = 0;
    // Presence and application.
    virtual PresenceStyle presenceStyle() = 0;
    virtual bool logUserText() = 0;
    virtual bool buildPanelShown() = 0;
    virtual QString appLanguage() = 0;
    // Models.
    virtual QString selectedModelID() = 0;
    virtual QList<Model> models() = 0;
    virtual bool isDownloaded(const QString& modelID) = 0;
    virtual QString humanBytes(qint64 bytes) = 0;
    // Statistics: the month's record made current before the page shows it.
    virtual void activateStatistics() = 0;
    // Meetings.
    virtual int meetingAudioDays() = 0;
    virtual bool meetingPolishEnabled() = 0;
    // Keep-awake.
    virtual StayAwakeState stayAwake() = 0;
    virtual void setStayAwakeEnabled(bool on) = 0;
    virtual void holdIdleAssertion(bool on) = 0;
};

// The real owners of the running program.
class LivePrefsOwners final : public PrefsOwners {
public:
    QString customVocab() override;
    void setCustomVocab(const QString& text) override;
    QString replacementsRaw() override;
    QString personalWordsJoined() override;
    QString voiceCommandsText() override;
    void setVoiceCommandsText(const QString& text) override;
    qint64 dictationKey() override;
    std::optional<qint64> commandKey() override;
    std::optional<qint64> polishKey() override;
    bool typingToolsAvailable() override;
    bool layoutEnabled() override;
    SmartCleanupMode smartCleanupMode() override;
    bool polishEnabled() override;
    bool quickActionsEnabled() override;
    bool autostartEnabled() override;
    QString recognitionLanguage() override;
    QString defaultSignature() override;
    bool clipboardEnabled() override;
    std::vector<ClipItem> clipboardItems() override;
    void setClipboardOnChange(std::function<void()> callback) override;
    bool dictationHistoryEnabled() override;
    QStringList dictationHistory() override;
    PresenceStyle presenceStyle() override;
    bool logUserText() override;
    bool buildPanelShown() override;
    QString appLanguage() override;
    QString selectedModelID() override;
    QList<Model> models() override;
    bool isDownloaded(const QString& modelID) override;
    QString humanBytes(qint64 bytes) override;
    void activateStatistics() override;
    int meetingAudioDays() override;
    bool meetingPolishEnabled() override;
    StayAwakeState stayAwake() override;
    void setStayAwakeEnabled(bool on) override;
    void holdIdleAssertion(bool on) override;
};

}  // namespace murmelo
