#include "layout/ManualInputRecordsV1.h"

#include "layout/ManualInputSourceProfileV1.h"

#include <algorithm>
#include <cassert>
#include <utility>

namespace murmelo {

namespace {

template <class E, std::size_t N>
QString raw(const std::pair<E, const char*> (&table)[N], E v) {
    for (const auto& [e, text] : table)
        if (e == v) return QString::fromLatin1(text);
    return {};
}

template <class E, std::size_t N>
std::optional<E> parse(const std::pair<E, const char*> (&table)[N], const QString& text) {
    for (const auto& [e, t] : table)
        if (text == QLatin1String(t)) return e;
    return std::nullopt;
}

using Lane = ManualInputLaneV1;
const std::pair<Lane, const char*> lanes[] = {
    {Lane::automatic, "automatic"}, {Lane::manualConverter, "manual_converter"}, {Lane::undo, "undo"}, {Lane::control, "control"}};

using Kind = ManualInputEventKindV1;
const std::pair<Kind, const char*> kinds[] = {{Kind::automaticText, "automatic_text"},
                                              {Kind::manualDoubleShift, "manual_double_shift"},
                                              {Kind::undo, "undo"},
                                              {Kind::shortcut, "shortcut"},
                                              {Kind::click, "click"},
                                              {Kind::navigation, "navigation"}};

using Phase = ManualInputAutomaticPhaseV1;
const std::pair<Phase, const char*> phases[] = {{Phase::live, "live"}, {Phase::boundary, "boundary"}};

using Prot = ManualInputTokenProtectionV1;
const std::pair<Prot, const char*> protections[] = {{Prot::none, "none"},
                                                    {Prot::code, "code"},
                                                    {Prot::url, "url"},
                                                    {Prot::compound, "compound"},
                                                    {Prot::foreignSingle, "foreign_single"},
                                                    {Prot::tailEdit, "tail_edit"},
                                                    {Prot::learnedException, "learned_exception"},
                                                    {Prot::realWord, "real_word"}};

using Cause = ManualInputTextCauseV1;
const std::pair<Cause, const char*> causes[] = {
    {Cause::layout, "layout"}, {Cause::spell, "spell"}, {Cause::manualLayout, "manual_layout"}};

using Level = ManualInputConfidenceLevelV1;
const std::pair<Level, const char*> levels[] = {{Level::blocked, "blocked"},
                                                {Level::none, "none"},
                                                {Level::heuristic, "heuristic"},
                                                {Level::dictionary, "dictionary"},
                                                {Level::explicit_, "explicit"}};

using Update = ManualInputStateUpdateV1;
const std::pair<Update, const char*> updates[] = {{Update::bufferReplace, "buffer.replace"},
                                                  {Update::contextCommitLanguage, "context.commit_language"},
                                                  {Update::contextReset, "context.reset"},
                                                  {Update::learningRecordLayoutReject, "learning.record_layout_reject"},
                                                  {Update::learningRecordSpellReject, "learning.record_spell_reject"},
                                                  {Update::pendingSourceClear, "pending_source.clear"},
                                                  {Update::pendingSourceSet, "pending_source.set"},
                                                  {Update::retypeVetoSet, "retype_veto.set"},
                                                  {Update::undoClear, "undo.clear"},
                                                  {Update::undoSet, "undo.set"}};

}  // namespace

QString rawValue(ManualInputLaneV1 v) { return raw(lanes, v); }
QString rawValue(ManualInputEventKindV1 v) { return raw(kinds, v); }
QString rawValue(ManualInputAutomaticPhaseV1 v) { return raw(phases, v); }
QString rawValue(ManualInputTokenProtectionV1 v) { return raw(protections, v); }
QString rawValue(ManualInputTextCauseV1 v) { return raw(causes, v); }
QString rawValue(ManualInputConfidenceLevelV1 v) { return raw(levels, v); }
QString rawValue(ManualInputStateUpdateV1 v) { return raw(updates, v); }

template <> std::optional<ManualInputLaneV1> fromRawValue(const QString& t) { return parse(lanes, t); }
template <> std::optional<ManualInputEventKindV1> fromRawValue(const QString& t) { return parse(kinds, t); }
template <> std::optional<ManualInputAutomaticPhaseV1> fromRawValue(const QString& t) { return parse(phases, t); }
template <> std::optional<ManualInputTokenProtectionV1> fromRawValue(const QString& t) { return parse(protections, t); }
template <> std::optional<ManualInputTextCauseV1> fromRawValue(const QString& t) { return parse(causes, t); }
template <> std::optional<ManualInputConfidenceLevelV1> fromRawValue(const QString& t) { return parse(levels, t); }
template <> std::optional<ManualInputStateUpdateV1> fromRawValue(const QString& t) { return parse(updates, t); }

const std::vector<ManualInputStateUpdateV1>& allManualInputStateUpdates() {
    static const std::vector<ManualInputStateUpdateV1> all = [] {
        std::vector<ManualInputStateUpdateV1> v;
        for (const auto& [u, text] : updates) v.push_back(u);
        return v;
    }();
    return all;
}

std::optional<QString> ManualInputTextActionV1::replacement() const {
    if (kind == Kind::none) return std::nullopt;
    return replacement_;
}

std::optional<ManualInputTextCauseV1> ManualInputTextActionV1::cause() const {
    if (kind == Kind::none) return std::nullopt;
    return cause_;
}

std::optional<QString> ManualInputSourceActionV1::sourceID() const {
    if (kind == Kind::selectExact || kind == Kind::restoreExact) return sourceID_;
    return std::nullopt;
}

ManualInputDecisionV1::ManualInputDecisionV1(ManualInputLaneV1 lane_, ManualInputTextActionV1 textAction_,
                                             ManualInputSourceActionV1 sourceAction_,
                                             ManualInputConfidenceV1 confidence_, QStringList reasonCodes_,
                                             std::vector<ManualInputStateUpdateV1> allowedStateUpdates_)
    : version(versionText),
      profileID(ManualInputSourceProfileV1::id),
      lane(lane_),
      textAction(std::move(textAction_)),
      sourceAction(std::move(sourceAction_)),
      confidence(std::move(confidence_)),
      reasonCodes(std::move(reasonCodes_)),
      allowedStateUpdates(std::move(allowedStateUpdates_)) {
    assert(!allows(ManualInputStateUpdateV1::pendingSourceSet) ||
           sourceAction.kind == ManualInputSourceActionV1::Kind::selectExact ||
           sourceAction.kind == ManualInputSourceActionV1::Kind::restoreExact);
    assert(!sourceAction.sourceID() || ManualInputSourceProfileV1::contains(sourceAction.sourceID()));
}

bool ManualInputDecisionV1::allows(ManualInputStateUpdateV1 u) const {
    return std::find(allowedStateUpdates.begin(), allowedStateUpdates.end(), u) != allowedStateUpdates.end();
}

}  // namespace murmelo
