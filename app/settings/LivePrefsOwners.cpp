#include "ai/QuickActionsMenuSection.h"
#include "base/AppLanguage.h"
#include "base/Autostart.h"
#include "base/BuildStamp.h"
#include "base/Log.h"
#include "dictation/DictationHistory.h"
#include "dictation/ModelCatalog.h"
#include "dictation/RecognitionLanguage.h"
#include "dictation/ServerManager.h"
#include "dictation/VoiceCommands.h"
#include "input/HotkeyDef.h"
#include "keepawake/StayAwake.h"
#include "layout/LayoutSwitcher.h"
#include "layout/TypingFixLanguages.h"
#include "meetings/MeetingPolish.h"
#include "meetings/MeetingStore.h"
#include "reply/ReplyProfile.h"
#include "settings/PrefsOwners.h"
#include "stats/MonthlyStats.h"
#include "vocabulary/AppVocab.h"
#include "vocabulary/CorrectorManager.h"
#include "vocabulary/PersonalDictionary.h"
#include "vocabulary/TextReplacements.h"

namespace murmelo {

QString LivePrefsOwners::customVocab() { return murmelo::customVocab(); }
void LivePrefsOwners::setCustomVocab(const QString& text) { murmelo::setCustomVocab(text); }
QString LivePrefsOwners::replacementsRaw() { return TextReplacements::raw(); }
QString LivePrefsOwners::personalWordsJoined() { return PersonalDictionary::joined(); }
QString LivePrefsOwners::voiceCommandsText() { return VoiceCommands::text(); }
void LivePrefsOwners::setVoiceCommandsText(const QString& text) { VoiceCommands::setText(text); }

qint64 LivePrefsOwners::dictationKey() { return currentHotkey().code; }
std::optional<qint64> LivePrefsOwners::commandKey() {
    const auto key = currentCommandHotkey();
    return key ? std::optional(key->code) : std::nullopt;
}
std::optional<qint64> LivePrefsOwners::polishKey() {
    const auto key = currentPolishHotkey();
    return key ? std::optional(key->code) : std::nullopt;
}

bool LivePrefsOwners::typingToolsAvailable() { return TypingFixLanguages::isAvailable(); }
bool LivePrefsOwners::layoutEnabled() { return LayoutSwitcher::shared().isEnabled(); }
SmartCleanupMode LivePrefsOwners::smartCleanupMode() { return currentSmartCleanupMode(); }
bool LivePrefsOwners::polishEnabled() { return isPolishEnabled(); }
bool LivePrefsOwners::quickActionsEnabled() { return QuickActionsMenuSection::isQuickActionsEnabled(); }

bool LivePrefsOwners::autostartEnabled() { return Autostart::isEnabled(); }
QString LivePrefsOwners::recognitionLanguage() { return RecognitionLanguage::current(); }
QString LivePrefsOwners::defaultSignature() { return ReplyProfile::defaultSignature(); }

bool LivePrefsOwners::clipboardEnabled() { return ClipboardManager::shared().isEnabled(); }
std::vector<ClipItem> LivePrefsOwners::clipboardItems() { return ClipboardManager::shared().items(); }
void LivePrefsOwners::setClipboardOnChange(std::function<void()> callback) {
    ClipboardManager::shared().onChange = std::move(callback);
}
bool LivePrefsOwners::dictationHistoryEnabled() { return isDictationHistoryEnabled(); }
QStringList LivePrefsOwners::dictationHistory() { return murmelo::dictationHistory(); }

PresenceStyle LivePrefsOwners::presenceStyle() { return PresenceStyles::chosen(); }
bool LivePrefsOwners::logUserText() { return Log::userTextEnabled(); }
bool LivePrefsOwners::buildPanelShown() { return BuildStamp::showsPanel(); }
QString LivePrefsOwners::appLanguage() { return AppLanguage::current(); }

QString LivePrefsOwners::selectedModelID() { return currentSelectedID(); }
QList<PrefsOwners::Model> LivePrefsOwners::models() {
    QList<Model> out;
    for (const ModelChoice& m : MODELS()) out.append({m.id, m.shortTitle});
    return out;
}
bool LivePrefsOwners::isDownloaded(const QString& modelID) {
    const auto model = modelWithID(modelID);
    return model && ServerManager::shared().isDownloaded(*model);
}
QString LivePrefsOwners::humanBytes(qint64 bytes) { return murmelo::humanBytes(bytes); }

void LivePrefsOwners::activateStatistics() { MonthlyStats::activate(); }

int LivePrefsOwners::meetingAudioDays() { return MeetingStore::audioDays(); }
bool LivePrefsOwners::meetingPolishEnabled() { return MeetingPolish::isEnabled(); }

PrefsOwners::StayAwakeState LivePrefsOwners::stayAwake() {
    return {StayAwake::isEnabled(), StayAwake::statusText(), StayAwake::hours(), StayAwake::batteryFloor(),
            StayAwake::status() == StayAwake::Status::orphan};
}
void LivePrefsOwners::setStayAwakeEnabled(bool on) { StayAwake::setEnabled(on); }
void LivePrefsOwners::holdIdleAssertion(bool on) { StayAwake::holdIdleAssertion(on); }

}  // namespace murmelo
