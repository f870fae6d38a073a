#pragma once
#include <QHash>
#include <QString>
#include <functional>
#include <optional>

namespace murmelo {

class Defaults;

// Thresholds of the word decision at a boundary: the score margin a conversion needs with no
// recent context, with context in the target language, with context in the other language,
// and the absolute score at which the typed reading counts as plausible in its own layout.
struct BoundaryGates {
    double normal = 0.1;
    double context = 0.3;
    double disagree = 0.3;
    double absFloor = -1.5;
    // MURMELO_GATES: comma-separated numbers; fewer than three valid ones keep every default.
    static BoundaryGates fromVariable(const std::optional<QString>& value);
};

// Score margin a live flip needs, by word length.
struct LiveLadder {
    int minLen = 2;
    QHash<int, double> shortMargins;
    double tail = 0.3;
    double margin(int length) const { return shortMargins.value(length, tail); }

    static LiveLadder conservative();
    static LiveLadder budgeted();
    // MURMELO_LAYOUT_LADDER "conservative" (exactly) picks the conservative ladder.
    static LiveLadder fromVariable(const std::optional<QString>& value);
};

// Every rule switch and tunable of the layout switcher, read once from the environment and,
// for some rules, a user-defaults twin. Developers and test runs use the variables; the twins
// let a user turn a behaviour off for good. The one table of switches is in LayoutRules.cpp.
struct LayoutRules {
    bool forcedOff = false;
    bool ruleAppPriorConfirms = true;
    bool ruleDigitVetoDirectional = true;
    bool ruleUnknownBothSides = false;
    bool ruleAlreadyExactByKeys = true;
    bool ruleBridgeKeyTruth = true;
    bool rulePunctKeyLetter = true;
    bool ruleFlippedIsWord = true;
    bool ruleLeadingSignLetter = true;
    bool ruleTrailSignToEn = true;
    bool ruleVetoSecond = true;
    bool ruleCaretWordLang = false;
    bool ruleTisAlways = false;
    bool ruleTisUnconfirmed = false;
    bool ruleTisInEdit = false;
    bool ruleBackspaceUndo = true;
    bool ruleOneGesture = true;
    bool ruleTruthFromKeys = false;
    bool ruleScreenTruth = true;
    bool ruleOwnTranslation = true;
    bool ruleIdleReselect = true;
    bool ruleExceptionUnlearn = true;
    bool ruleShortRuCurated = true;
    bool ruleNonLetterCore = false;
    bool ruleTailBridgeAlways = true;
    bool ruleLivePrefix = true;
    bool ruleLiveStem = true;
    bool liveStemFST = false;
    bool ruleCodeUndo = false;
    bool ruleLiveDictRevert = true;
    bool ruleLiveShortWord = true;
    bool ruleTargetWordRescue = true;
    bool ruleCapsAbbreviation = true;
    bool ruleInnerMark = true;
    bool ruleTwinFrequency = true;
    bool ruleDigitTail = true;

    // Mirrored punctuation of the live bridge: "1" unless MURMELO_RULE_MIRROR_PUNCT says otherwise.
    QString ruleMirrorPunct = QStringLiteral("1");
    bool mirrorPunctOn() const { return ruleMirrorPunct != QLatin1String("0"); }
    bool mirrorPunctAll() const { return ruleMirrorPunct == QLatin1String("all"); }
    // Disagreements that make a veto.
    int vetoStrikes() const { return ruleVetoSecond ? 2 : 1; }

    qint64 verifyRetryLimit = 2;
    qint64 shortGateMaxLen = 3;
    qint64 liveStemMinLen = 4;
    qint64 liveStemMinFreq = 3;
    qint64 hyphenProseFloor = 50;

    BoundaryGates gates;
    LiveLadder ladder = LiveLadder::budgeted();

    // Fixed constants of the rules.
    static constexpr int flippedIsWordMinLen = 3;
    static constexpr int livePrefixMinLen = 3;
    static constexpr int livePrefixMaxLen = 8;
    static constexpr int livePrefixMinParents = 2;
    static constexpr int liveShortWordLen = 3;
    static constexpr int targetWordRescueMinLen = 4;
    static constexpr int capsAbbreviationMinLen = 2;
    static constexpr int capsAbbreviationMaxLen = 4;
    static constexpr int twinFrequencyFloor = 900;
    static constexpr int digitTailMinLetters = 2;
    static constexpr double screenTruthTTL = 10.0;
    static constexpr double screenTruthProbeGap = 2.0;
    static constexpr double screenTruthWriteQuiet = 0.12;

    using Environment = std::function<std::optional<QString>(const char* name)>;

    // The values for this environment and defaults domain.
    static LayoutRules read(const Environment& environment, const Defaults& defaults);
    // The process's values: read from the process environment and the shared defaults at the
    // first call, then kept until the process ends.
    static const LayoutRules& shared();
    static Environment processEnvironment();

    // Integer tunable: the whole value in base 10 with an optional sign, else the default.
    static qint64 parseInteger(const std::optional<QString>& value, qint64 fallback);
    // Number tunable: the whole value as a floating-point number, nothing around it.
    static double parseNumber(const std::optional<QString>& value, double fallback);
};

}  // namespace murmelo
