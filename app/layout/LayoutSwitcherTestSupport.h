#pragma once
#include "TestEnvironment.h"
#include "layout/LayoutBoundaryDecision.h"
#include "layout/LayoutCorrectionApply.h"
#include "layout/LayoutDisagreement.h"
#include "layout/LayoutFieldProbe.h"
#include "layout/LayoutFlipProbe.h"
#include "layout/LayoutGates.h"
#include "layout/LayoutKeyTruth.h"
#include "layout/LayoutLexicons.h"
#include "layout/LayoutLiveCorrection.h"
#include "layout/LayoutManualConversion.h"
#include "layout/LayoutOutput.h"
#include "layout/LayoutParts.h"
#include "layout/LayoutSourceSelection.h"
#include "layout/LayoutSwitcher.h"
#include "layout/LayoutSwitcherHost.h"
#include "layout/SwitcherDictation.h"
#include "layout/SwitcherPolish.h"
#include "sim/SimDesktop.h"
#include "sim/SimInputSources.h"

#include <gtest/gtest.h>
#include <functional>
#include <memory>

namespace murmelo::test {

// What a test answers in place of the engine's parts: each slot left empty answers as if the
// part had nothing to do (no decision, the key's own characters, nothing written or selected).
// Tests fill the slots they watch, or hand a slot to a real part (see the use* helpers).
struct PartSlots {
    using BufStart = LayoutSwitcher::BufStart;
    using CorrectionKind = LayoutSwitcher::CorrectionKind;
    using UndoGesture = LayoutSwitcher::UndoGesture;
    using UndoTransport = LayoutSwitcher::UndoTransport;

    std::function<bool(const QString&, QChar, BufStart, bool)> consider;
    std::function<std::optional<QString>(const QString&)> sourceLayout;
    std::function<void(const QString&, const QString&, std::optional<QUuid>)> noteDisagreement;
    std::function<bool(const QString&, const QString&, std::optional<QChar>, const QString&, bool, const EditRights&, CorrectionKind)> correct;
    std::function<bool(UndoGesture, bool, bool)> takeFlipUndo;
    std::function<bool()> tryStartLive;
    std::function<bool(const QString&)> liveType;
    std::function<bool(const QString&)> undoLiveOnCodeChar;
    std::function<void()> undoLiveOnDictEvidence;
    std::function<void(const QString&)> flipProbeEnd;
    std::function<void()> flipProbeLetter;
    std::function<void()> flipProbeBackspace;
    std::function<std::pair<QString, bool>(const InputEvent&, const QString&, bool, bool)> keyTruth;
    std::function<QString(const QString&)> screenTruthWord;
    std::function<void()> scheduleAXEditProbe;
    std::function<void()> scheduleAXProbeOnMismatch;
    std::function<std::optional<std::pair<QString, int>>()> focusedValueAndCaret;
    std::function<bool()> isRemoteDesktopFrontmost;
    std::function<bool()> isExcludedAppFocused;
    std::function<void(quint16, quint64)> sendKey;
    std::function<std::optional<TextWriteTraceToken>(const QString&, TextWriteOrigin)> sendUnicode;
    std::function<void(int, TextWriteOrigin)> sendBackspaces;
    std::function<bool(int, const QString&)> deliverViaAX;
    std::function<TextWriteRoute(int, const QString&, UndoTransport)> deliver;
    std::function<void(const QString&, TextWriteOrigin)> pasteAtomically;
    std::function<void()> probeExcludedFieldCapability;
    std::function<bool(const QString&, bool, const std::optional<QString>&, std::function<void(bool)>)> selectExactSource;
    std::function<bool(const QString&, bool, const std::optional<QString>&, std::function<void(bool)>)> selectLayout;
    std::function<std::optional<double>(const QString&)> fireIdleReselect;
    std::function<std::optional<QString>()> systemSourceID;
    std::function<std::optional<QString>()> frontAppPrior;
    std::function<void(const QString&, bool)> noteWordForStats;
    std::function<void(const std::optional<QString>&, const QString&)> handleAppActivated;
    std::function<void(bool, bool)> noteRightShift;
    std::function<void()> notePolishDown;
    std::function<void()> notePolishUp;
    std::function<void(const QString&)> cancelPendingPolish;
    std::function<void()> noteSpaceTyped;
    std::function<void()> notePolishLiveTyping;
    std::function<void(const AXElementPtr&, const DeliveryRepair::EditPacket&, quint64)> auditUndoEdit;
    std::function<bool()> isRecording;
    std::function<void()> stopRecording;
};

// The engine's parts as a test's slots answer them.
class SlotParts final : public LayoutParts {
public:
    explicit SlotParts(PartSlots& steps) : steps_(steps) {}
    bool consider(const QString& word, QChar boundary, BufStart start, bool onEnter) override {
        if (steps_.consider) return steps_.consider(word, boundary, start, onEnter);
        return false;
    }
    std::optional<QString> sourceLayout(const QString& word) override {
        if (steps_.sourceLayout) return steps_.sourceLayout(word);
        return std::nullopt;
    }
    void noteDisagreement(const QString& word, const QString& why, std::optional<QUuid> conversion) override { if (steps_.noteDisagreement) steps_.noteDisagreement(word, why, conversion); }
    bool correct(const QString& word, const QString& to, std::optional<QChar> boundary, const QString& layout, bool nativeOK, const EditRights& rights, CorrectionKind kind) override {
        if (steps_.correct) return steps_.correct(word, to, boundary, layout, nativeOK, rights, kind);
        return false;
    }
    bool takeFlipUndo(UndoGesture gesture, bool ruleOn, bool oneGesture) override {
        if (steps_.takeFlipUndo) return steps_.takeFlipUndo(gesture, ruleOn, oneGesture);
        return false;
    }
    bool tryStartLive() override {
        if (steps_.tryStartLive) return steps_.tryStartLive();
        return false;
    }
    bool liveType(const QString& ch) override {
        if (steps_.liveType) return steps_.liveType(ch);
        return false;
    }
    bool undoLiveOnCodeChar(const QString& ch) override {
        if (steps_.undoLiveOnCodeChar) return steps_.undoLiveOnCodeChar(ch);
        return false;
    }
    void undoLiveOnDictEvidence() override { if (steps_.undoLiveOnDictEvidence) steps_.undoLiveOnDictEvidence(); }
    void flipProbeEnd(const QString& reason) override { if (steps_.flipProbeEnd) steps_.flipProbeEnd(reason); }
    void flipProbeLetter() override { if (steps_.flipProbeLetter) steps_.flipProbeLetter(); }
    void flipProbeBackspace() override { if (steps_.flipProbeBackspace) steps_.flipProbeBackspace(); }
    std::pair<QString, bool> keyTruth(const InputEvent& event, const QString& produced, bool ownTranslation, bool idleReselect) override {
        if (steps_.keyTruth) return steps_.keyTruth(event, produced, ownTranslation, idleReselect);
        return {produced, false};
    }
    QString screenTruthWord(const QString& word) override {
        if (steps_.screenTruthWord) return steps_.screenTruthWord(word);
        return word;
    }
    void scheduleAXEditProbe() override { if (steps_.scheduleAXEditProbe) steps_.scheduleAXEditProbe(); }
    void scheduleAXProbeOnMismatch() override { if (steps_.scheduleAXProbeOnMismatch) steps_.scheduleAXProbeOnMismatch(); }
    std::optional<std::pair<QString, int>> focusedValueAndCaret() override {
        if (steps_.focusedValueAndCaret) return steps_.focusedValueAndCaret();
        return std::nullopt;
    }
    bool isRemoteDesktopFrontmost() override {
        if (steps_.isRemoteDesktopFrontmost) return steps_.isRemoteDesktopFrontmost();
        return false;
    }
    bool isExcludedAppFocused() override {
        if (steps_.isExcludedAppFocused) return steps_.isExcludedAppFocused();
        return false;
    }
    void sendKey(quint16 keyCode, quint64 flags) override { if (steps_.sendKey) steps_.sendKey(keyCode, flags); }
    std::optional<TextWriteTraceToken> sendUnicode(const QString& text, TextWriteOrigin origin) override {
        if (steps_.sendUnicode) return steps_.sendUnicode(text, origin);
        return std::nullopt;
    }
    void sendBackspaces(int count, TextWriteOrigin origin) override { if (steps_.sendBackspaces) steps_.sendBackspaces(count, origin); }
    bool deliverViaAX(int count, const QString& text) override {
        if (steps_.deliverViaAX) return steps_.deliverViaAX(count, text);
        return false;
    }
    TextWriteRoute deliver(int count, const QString& text, UndoTransport transport) override {
        if (steps_.deliver) return steps_.deliver(count, text, transport);
        return TextWriteRoute::directUnicode;
    }
    void pasteAtomically(const QString& text, TextWriteOrigin origin) override { if (steps_.pasteAtomically) steps_.pasteAtomically(text, origin); }
    void probeExcludedFieldCapability() override { if (steps_.probeExcludedFieldCapability) steps_.probeExcludedFieldCapability(); }
    bool selectExactSource(const QString& sourceID, bool retry, const std::optional<QString>& sound, std::function<void(bool)> completion) override {
        if (steps_.selectExactSource) return steps_.selectExactSource(sourceID, retry, sound, std::move(completion));
        return false;
    }
    bool selectLayout(const QString& language, bool retry, const std::optional<QString>& sound, std::function<void(bool)> completion) override {
        if (steps_.selectLayout) return steps_.selectLayout(language, retry, sound, std::move(completion));
        return false;
    }
    std::optional<double> fireIdleReselect(const QString& sourceID) override {
        if (steps_.fireIdleReselect) return steps_.fireIdleReselect(sourceID);
        return std::nullopt;
    }
    // Unfilled, the source and the front application's prior are read from the desktop, as
    // the application's parts read them.
    std::optional<QString> systemSourceID() override {
        if (steps_.systemSourceID) return steps_.systemSourceID();
        return LayoutSourceSelection::systemSourceID();
    }
    std::optional<QString> frontAppPrior() override {
        if (steps_.frontAppPrior) return steps_.frontAppPrior();
        return LayoutSwitcherHost::frontAppPrior();
    }
    void noteWordForStats(const QString& word, bool live) override { if (steps_.noteWordForStats) steps_.noteWordForStats(word, live); }
    void handleAppActivated(const std::optional<QString>& bundle, const QString& name) override { if (steps_.handleAppActivated) steps_.handleAppActivated(bundle, name); }
    void noteRightShift(bool down, bool polishBound) override { if (steps_.noteRightShift) steps_.noteRightShift(down, polishBound); }
    void notePolishDown() override { if (steps_.notePolishDown) steps_.notePolishDown(); }
    void notePolishUp() override { if (steps_.notePolishUp) steps_.notePolishUp(); }
    void cancelPendingPolish(const QString& reason) override { if (steps_.cancelPendingPolish) steps_.cancelPendingPolish(reason); }
    void noteSpaceTyped() override { if (steps_.noteSpaceTyped) steps_.noteSpaceTyped(); }
    void notePolishLiveTyping() override { if (steps_.notePolishLiveTyping) steps_.notePolishLiveTyping(); }
    void auditUndoEdit(const AXElementPtr& el, const DeliveryRepair::EditPacket& packet, quint64 typedAtWrite) override { if (steps_.auditUndoEdit) steps_.auditUndoEdit(el, packet, typedAtWrite); }
    bool isRecording() override {
        if (steps_.isRecording) return steps_.isRecording();
        return false;
    }
    void stopRecording() override { if (steps_.stopRecording) steps_.stopRecording(); }

private:
    PartSlots& steps_;
};

// Hands the slots a part owns to that real part, as the application's engine answers them.
inline void useOutput(PartSlots& s, LayoutOutput& output, LayoutSourceSelection& selection) {
    s.sendKey = [&output](quint16 keyCode, quint64 flags) { output.sendKey(keyCode, flags); };
    s.sendUnicode = [&output](const QString& text, TextWriteOrigin origin) { return output.sendUnicode(text, origin); };
    s.sendBackspaces = [&output](int count, TextWriteOrigin origin) { output.sendBackspaces(count, origin); };
    s.deliverViaAX = [&output](int count, const QString& text) { return output.deliverViaAX(count, text); };
    s.deliver = [&output](int count, const QString& text, LayoutSwitcher::UndoTransport transport) {
        return output.deliver(count, text, transport);
    };
    s.pasteAtomically = [&output](const QString& text, TextWriteOrigin origin) { output.pasteAtomically(text, origin); };
    s.selectExactSource = [&selection](const QString& sourceID, bool retry, const std::optional<QString>& sound,
                                       std::function<void(bool)> completion) {
        return selection.selectExactSource(sourceID, retry, sound, std::move(completion));
    };
    s.selectLayout = [&selection](const QString& language, bool retry, const std::optional<QString>& sound,
                                  std::function<void(bool)> completion) {
        return selection.selectLayout(language, retry, sound, std::move(completion));
    };
    s.probeExcludedFieldCapability = [&output] { output.probeExcludedFieldCapability(); };
    s.fireIdleReselect = [&selection](const QString& sourceID) { return selection.fireIdleReselect(sourceID); };
}

inline void useGates(PartSlots& s, LayoutAppGates& gates) {
    s.isRemoteDesktopFrontmost = [&gates] { return gates.isRemoteDesktopFrontmost(); };
    s.isExcludedAppFocused = [&gates] { return gates.isExcludedAppFocused(); };
}

inline void useKeyTruth(PartSlots& s, LayoutKeyTruth& truth) {
    s.keyTruth = [&truth](const InputEvent& event, const QString& produced, bool ownTranslation, bool idleReselect) {
        return truth.handleKey(event, produced, ownTranslation, idleReselect);
    };
}

inline void useCorrection(PartSlots& s, LayoutCorrectionApply& apply) {
    s.correct = [&apply](const QString& word, const QString& to, std::optional<QChar> boundary, const QString& layout,
                         bool nativeOK, const EditRights& rights, LayoutSwitcher::CorrectionKind kind) {
        return apply.correct(word, to, boundary, layout, nativeOK, rights, kind);
    };
    s.takeFlipUndo = [&apply](LayoutSwitcher::UndoGesture gesture, bool ruleOn, bool oneGesture) {
        return apply.takeFlipUndo(gesture, ruleOn, oneGesture);
    };
}

inline void useManualConversion(PartSlots& s, LayoutManualConversion& manual) {
    s.noteRightShift = [&manual](bool down, bool polishBound) { manual.noteRightShift(down, polishBound); };
}

// Live correction and the flip probe that watches its flips.
inline void useLiveCorrection(PartSlots& s, LayoutSwitcher& engine, LayoutLiveCorrection& live) {
    s.tryStartLive = [&live] { return live.tryStartLive(); };
    s.liveType = [&live](const QString& ch) { return live.liveType(ch); };
    s.undoLiveOnCodeChar = [&live](const QString& ch) { return live.undoLiveOnCodeChar(ch); };
    s.undoLiveOnDictEvidence = [&live] { live.undoLiveOnDictEvidence(); };
    s.flipProbeEnd = [&engine](const QString& outcome) { LayoutFlipProbe::end(engine, outcome); };
    s.flipProbeLetter = [&engine] { LayoutFlipProbe::letter(engine); };
    s.flipProbeBackspace = [&engine] { LayoutFlipProbe::backspace(engine); };
}

inline void useFieldProbe(PartSlots& s, LayoutFieldProbe& probe) {
    s.scheduleAXEditProbe = [&probe] { probe.scheduleAXEditProbe(); };
    s.scheduleAXProbeOnMismatch = [&probe] { probe.scheduleAXProbeOnMismatch(); };
    s.screenTruthWord = [&probe](const QString& word) { return probe.screenTruthWord(word); };
    s.focusedValueAndCaret = [] { return LayoutFieldProbe::focusedValueAndCaret(); };
}

// A word decision over the tables, with the source layout of a word and the disagreement memory.
inline std::shared_ptr<LayoutBoundaryDecision> useDecision(PartSlots& s, LayoutSwitcher& engine,
                                                           LayoutLexicons& lexicons) {
    auto decision = std::make_shared<LayoutBoundaryDecision>(engine, lexicons);
    s.consider = [decision](const QString& word, QChar boundary, LayoutSwitcher::BufStart start, bool onEnter) {
        return decision->consider(word, boundary, start, onEnter);
    };
    s.sourceLayout = [decision](const QString& word) { return decision->sourceLayout(word); };
    s.noteDisagreement = [&engine](const QString& word, const QString& why, std::optional<QUuid> conversion) {
        LayoutDisagreement(engine).noteDisagreement(word, why, conversion);
    };
    return decision;
}

// Application switches and finished words go to the host.
inline void useHost(PartSlots& s, LayoutSwitcherHost& host) {
    s.handleAppActivated = [&host](const std::optional<QString>& bundle, const QString& name) {
        host.handleAppActivated(bundle, name);
    };
    s.noteWordForStats = [&host](const QString& word, bool live) { host.noteWordForStats(word, live); };
}

// For an application engine built in a test with neither polish nor dictation beside it:
// nothing is recording, and polish hears nothing.
struct NoPolish final : SwitcherPolish {
    void notePolishDown() override {}
    void notePolishUp() override {}
    void cancelPendingPolish(const QString&) override {}
    void noteSpaceTyped() override {}
    void notePolishLiveTyping() override {}
    void auditUndoEdit(const AXElementPtr&, const DeliveryRepair::EditPacket&, quint64) override {}
};
struct NoDictation final : SwitcherDictation {
    bool isRecording() override { return false; }
    void stopRecording() override {}
};

// A selection's cues as a test hears them; the release check fails selections when told to.
struct HeardCues final : SelectionEffects {
    QStringList cues;
    bool forceFailure = false;
    void playCue(const QString& cue) override { cues << cue; }
    bool releaseGateForcesFailure() override { return forceFailure; }
};

// A switcher engine of its own over a simulated keyboard (US and Russian) and desktop, with
// the rule switches at their defaults unless a test gives its own. Its parts are the slots in
// `steps`; an application switch with no slot filled drops the word, as a click does.
struct SwitcherFixture : ::testing::Test {
    TestEnvironment env;
    sim::SimInputSources sources = sim::SimInputSources::usRussian();
    ScopedService<InputSources> sourcesScope{sources};
    sim::SimDesktop desktop;
    ScopedService<Workspace> desktopScope{desktop};
    PartSlots steps;
    SlotParts parts{steps};
    std::unique_ptr<LayoutSwitcher> engine;

    static LayoutRules rulesWith(const QHash<QString, QString>& vars = {}) {
        return LayoutRules::read(
            [vars](const char* name) -> std::optional<QString> {
                auto it = vars.find(QString::fromLatin1(name));
                if (it == vars.end()) return std::nullopt;
                return *it;
            },
            Defaults::shared());
    }
    void makeEngine(const QHash<QString, QString>& vars = {}) {
        engine = std::make_unique<LayoutSwitcher>(parts, rulesWith(vars));
        steps.handleAppActivated = [this](const std::optional<QString>&, const QString&) { engine->noteCursorMoved(); };
    }
    void SetUp() override { makeEngine(); }
};

}  // namespace murmelo::test
