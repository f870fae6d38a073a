#pragma once
#include "ai/QuickActionsController.h"
#include "dictation/DictationPolish.h"
#include "layout/SwitcherDictation.h"
#include "layout/SwitcherPolish.h"

namespace murmelo {

// Joins subsystems that meet but may not include each other: a later subsystem's code fills
// an earlier one's seam. The shell knows both sides, so the joining happens here, once, before
// the start-up. It makes the application's switcher engine with its polish and dictation ports,
// and the dictation neighbours with their polish port.
void linkSubsystems();

// Typing without Command while a dictation records ends the dictation: the switcher asks
// recording control whether a take runs and stops it.
class SwitcherDictationLink final : public SwitcherDictation {
public:
    bool isRecording() override;
    void stopRecording() override;
};

// Cleaned dictation passes the same rewrite guard as polish and Quick Actions, and live
// polish stands down when a dictation starts.
class DictationPolishLink final : public DictationPolish {
public:
    QString rewriteGuardAccept(const QString& original, const QString& candidate, const QString& layer) override;
    void cancelPolishLive() override;
};

// The switcher's notes to polish: the polish key, Space and the cancel of a waiting tap go to
// the polish routes, every key to live polish, and undo packets to the edit audit.
class SwitcherPolishLink final : public SwitcherPolish {
public:
    void notePolishDown() override;
    void notePolishUp() override;
    void cancelPendingPolish(const QString& reason) override;
    void noteSpaceTyped() override;
    void notePolishLiveTyping() override;
    void auditUndoEdit(const AXElementPtr& el, const DeliveryRepair::EditPacket& packet, quint64 typedAtWrite) override;
};

// Quick Actions' words go to the personal dictionary and count against the recogniser's
// prompt; the switcher knows the words and sends the copy key; results pass the rewrite
// guard and count in the monthly statistics.
class QuickActionsLink final : public QuickActionsNeighbours {
public:
    std::optional<QString> dictionaryWord(const QString& text) override;
    bool addToDictionary(const QString& word) override;
    std::pair<int, int> personalPromptFit(const QString& bundleID, const QString& appName) override;
    bool knowsWord(const QString& word) override;
    std::optional<QString> rewriteRejection(const QString& original, const QString& candidate, bool mayShrink,
                                            bool mayGrow, bool mayChangeScript) override;
    void noteQuickAction() override;
    void sendCopyKey() override;
};

// The program's Quick Actions, over the shared panel and usage store.
QuickActionsController& applicationQuickActions();

}  // namespace murmelo
