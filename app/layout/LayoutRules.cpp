#include "layout/LayoutRules.h"

#include "base/Defaults.h"

#include <QStringList>
#include <cstdlib>
#include <mutex>

namespace murmelo {

namespace {

enum class Form { OptOut, OptOutTwin, OptIn, OptInTwin };

struct Switch {
    bool LayoutRules::* field;
    const char* variable;
    Form form;
    const char* twinKey;
};

// The one table of rule switches: field, variable, how it is read, its defaults twin.
const Switch kSwitches[] = {
    {&LayoutRules::forcedOff, "MURMELO_LAYOUT_OFF", Form::OptIn, nullptr},
    {&LayoutRules::ruleAppPriorConfirms, "MURMELO_RULE_APP_PRIOR_CONFIRMS", Form::OptOut, nullptr},
    {&LayoutRules::ruleDigitVetoDirectional, "MURMELO_RULE_DIGIT_VETO_DIRECTIONAL", Form::OptOut, nullptr},
    {&LayoutRules::ruleUnknownBothSides, "MURMELO_RULE_UNKNOWN_BOTH_SIDES", Form::OptIn, nullptr},
    {&LayoutRules::ruleAlreadyExactByKeys, "MURMELO_RULE_ALREADY_EXACT_BY_KEYS", Form::OptOutTwin, "layoutAlreadyExactByKeysOff"},
    {&LayoutRules::ruleBridgeKeyTruth, "MURMELO_RULE_BRIDGE_KEY_TRUTH", Form::OptOutTwin, "layoutBridgeKeyTruthOff"},
    {&LayoutRules::rulePunctKeyLetter, "MURMELO_RULE_PUNCT_KEY_LETTER", Form::OptOut, nullptr},
    {&LayoutRules::ruleFlippedIsWord, "MURMELO_RULE_FLIPPED_IS_WORD", Form::OptOutTwin, "layoutFlippedIsWordOff"},
    {&LayoutRules::ruleLeadingSignLetter, "MURMELO_RULE_LEADING_SIGN_LETTER", Form::OptOutTwin, "layoutLeadingSignLetterOff"},
    {&LayoutRules::ruleTrailSignToEn, "MURMELO_RULE_TRAIL_SIGN_TO_EN", Form::OptOutTwin, "layoutTrailSignToEnOff"},
    {&LayoutRules::ruleVetoSecond, "MURMELO_RULE_VETO_SECOND", Form::OptOutTwin, "layoutVetoSecondOff"},
    {&LayoutRules::ruleCaretWordLang, "MURMELO_RULE_CARET_WORD_LANG", Form::OptIn, nullptr},
    {&LayoutRules::ruleTisAlways, "MURMELO_RULE_TIS_ALWAYS", Form::OptInTwin, "layoutTisAlways"},
    {&LayoutRules::ruleTisUnconfirmed, "MURMELO_RULE_TIS_UNCONFIRMED", Form::OptInTwin, "layoutTisUnconfirmed"},
    {&LayoutRules::ruleTisInEdit, "MURMELO_RULE_TIS_IN_EDIT", Form::OptInTwin, "layoutTisInEdit"},
    {&LayoutRules::ruleBackspaceUndo, "MURMELO_RULE_BACKSPACE_UNDO", Form::OptOutTwin, "layoutBackspaceUndoOff"},
    {&LayoutRules::ruleOneGesture, "MURMELO_RULE_ONE_GESTURE", Form::OptOutTwin, "layoutOneGestureOff"},
    {&LayoutRules::ruleTruthFromKeys, "MURMELO_RULE_TRUTH_FROM_KEYS", Form::OptInTwin, "layoutTruthFromKeys"},
    {&LayoutRules::ruleScreenTruth, "MURMELO_RULE_SCREEN_TRUTH", Form::OptOutTwin, "layoutScreenTruthOff"},
    {&LayoutRules::ruleOwnTranslation, "MURMELO_RULE_OWN_TRANSLATION", Form::OptOutTwin, "layoutOwnTranslationOff"},
    {&LayoutRules::ruleIdleReselect, "MURMELO_R50_IDLE_RESELECT", Form::OptOutTwin, "layoutIdleReselectOff"},
    {&LayoutRules::ruleExceptionUnlearn, "MURMELO_RULE_EXCEPTION_UNLEARN", Form::OptOutTwin, "layoutExceptionUnlearnOff"},
    {&LayoutRules::ruleShortRuCurated, "MURMELO_RULE_SHORT_RU_CURATED", Form::OptOut, nullptr},
    {&LayoutRules::ruleNonLetterCore, "MURMELO_RULE_NONLETTER_CORE", Form::OptIn, nullptr},
    {&LayoutRules::ruleTailBridgeAlways, "MURMELO_RULE_TAIL_BRIDGE", Form::OptOut, nullptr},
    {&LayoutRules::ruleLivePrefix, "MURMELO_RULE_LIVE_PREFIX", Form::OptOut, nullptr},
    {&LayoutRules::ruleLiveStem, "MURMELO_RULE_LIVE_STEM", Form::OptOut, nullptr},
    {&LayoutRules::liveStemFST, "MURMELO_LIVE_STEM_FST", Form::OptIn, nullptr},
    {&LayoutRules::ruleCodeUndo, "MURMELO_RULE_CODE_UNDO", Form::OptIn, nullptr},
    {&LayoutRules::ruleLiveDictRevert, "MURMELO_RULE_LIVE_DICT_REVERT", Form::OptOut, nullptr},
    {&LayoutRules::ruleLiveShortWord, "MURMELO_RULE_LIVE_SHORT_WORD", Form::OptOut, nullptr},
    {&LayoutRules::ruleTargetWordRescue, "MURMELO_RULE_TARGET_WORD", Form::OptOut, nullptr},
    {&LayoutRules::ruleCapsAbbreviation, "MURMELO_RULE_CAPS_ABBREV", Form::OptOut, nullptr},
    {&LayoutRules::ruleInnerMark, "MURMELO_RULE_INNER_MARK", Form::OptOut, nullptr},
    {&LayoutRules::ruleTwinFrequency, "MURMELO_RULE_TWIN_FREQ", Form::OptOut, nullptr},
    {&LayoutRules::ruleDigitTail, "MURMELO_RULE_DIGIT_TAIL", Form::OptOut, nullptr},
};

struct Tunable {
    qint64 LayoutRules::* field;
    const char* variable;
    qint64 fallback;
};

const Tunable kTunables[] = {
    {&LayoutRules::verifyRetryLimit, "MURMELO_VERIFY_RETRIES", 2},
    {&LayoutRules::shortGateMaxLen, "MURMELO_SHORT_GATE_MAX_LEN", 3},
    {&LayoutRules::liveStemMinLen, "MURMELO_LIVE_STEM_MINLEN", 4},
    {&LayoutRules::liveStemMinFreq, "MURMELO_LIVE_STEM_MINFREQ", 3},
    {&LayoutRules::hyphenProseFloor, "MURMELO_HYPHEN_PROSE_FLOOR", 50},
};

bool readSwitch(const Switch& s, const LayoutRules::Environment& environment, const Defaults& defaults) {
    const std::optional<QString> v = environment(s.variable);
    // An absent twin key reads as false.
    const bool twin = s.twinKey && defaults.boolValue(QString::fromLatin1(s.twinKey));
    switch (s.form) {
    case Form::OptOut: return v != QStringLiteral("0");
    case Form::OptOutTwin: return v != QStringLiteral("0") && !twin;
    case Form::OptIn: return v == QStringLiteral("1");
    case Form::OptInTwin: return v == QStringLiteral("1") || twin;
    }
    return false;
}

// A floating-point number in full: no blank or other character before or after it.
std::optional<double> wholeNumber(const QString& text) {
    if (text.isEmpty() || text.front().isSpace() || text.back().isSpace()) return std::nullopt;
    bool ok = false;
    const double d = text.toDouble(&ok);
    if (!ok) return std::nullopt;
    return d;
}

}  // namespace

BoundaryGates BoundaryGates::fromVariable(const std::optional<QString>& value) {
    BoundaryGates defaults;
    if (!value) return defaults;
    QList<double> numbers;
    for (const QString& item : value->split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (auto d = wholeNumber(item)) numbers.append(*d);
    }
    if (numbers.size() < 3) return defaults;
    BoundaryGates g;
    g.normal = numbers[0];
    g.context = numbers[1];
    g.disagree = numbers[2];
    g.absFloor = numbers.size() >= 4 ? numbers[3] : defaults.absFloor;
    return g;
}

LiveLadder LiveLadder::conservative() {
    return {2, {{2, 1.15}, {3, 1.09}, {4, 0.68}, {5, 0.43}, {6, 0.34}, {7, 0.30}}, 0.35};
}

LiveLadder LiveLadder::budgeted() {
    return {2, {{2, 1.15}, {3, 1.09}, {4, 0.68}, {5, 0.41}, {6, 0.34}}, 0.30};
}

LiveLadder LiveLadder::fromVariable(const std::optional<QString>& value) {
    return value == QStringLiteral("conservative") ? conservative() : budgeted();
}

qint64 LayoutRules::parseInteger(const std::optional<QString>& value, qint64 fallback) {
    if (!value || value->isEmpty()) return fallback;
    const QString& t = *value;
    int i = (t.front() == QLatin1Char('+') || t.front() == QLatin1Char('-')) ? 1 : 0;
    if (i == t.size()) return fallback;
    for (int k = i; k < t.size(); ++k) {
        if (t[k] < QLatin1Char('0') || t[k] > QLatin1Char('9')) return fallback;
    }
    bool ok = false;
    // QString's reader does not take a leading "+".
    const qint64 n = (t.front() == QLatin1Char('+') ? t.mid(1) : t).toLongLong(&ok, 10);
    return ok ? n : fallback;
}

double LayoutRules::parseNumber(const std::optional<QString>& value, double fallback) {
    if (!value) return fallback;
    return wholeNumber(*value).value_or(fallback);
}

LayoutRules LayoutRules::read(const Environment& environment, const Defaults& defaults) {
    LayoutRules r;
    for (const Switch& s : kSwitches) r.*(s.field) = readSwitch(s, environment, defaults);
    for (const Tunable& t : kTunables) r.*(t.field) = parseInteger(environment(t.variable), t.fallback);
    r.ruleMirrorPunct = environment("MURMELO_RULE_MIRROR_PUNCT").value_or(QStringLiteral("1"));
    r.gates = BoundaryGates::fromVariable(environment("MURMELO_GATES"));
    r.ladder = LiveLadder::fromVariable(environment("MURMELO_LAYOUT_LADDER"));
    return r;
}

LayoutRules::Environment LayoutRules::processEnvironment() {
    return [](const char* name) -> std::optional<QString> {
        const char* v = std::getenv(name);
        if (!v) return std::nullopt;
        return QString::fromUtf8(v);
    };
}

const LayoutRules& LayoutRules::shared() {
    static const LayoutRules rules = read(processEnvironment(), Defaults::shared());
    return rules;
}

}  // namespace murmelo
