#include "layout/ShadowCoreV2.h"

#include "base/Defaults.h"
#include "base/Graphemes.h"
#include "base/Log.h"
#include "layout/LayoutLexicons.h"
#include "layout/LayoutMaps.h"
#include "layout/LayoutSwitcherHost.h"
#include "layout/ManualInputSourceProfileV1.h"

#include <memory>

namespace murmelo {

namespace {

struct SharedSlot {
    bool decided = false;
    std::unique_ptr<ShadowCoreV2> instance;
};

SharedSlot& slot() {
    static SharedSlot s;
    return s;
}

bool isBlank(const QString& c) {
    return c == QLatin1String(" ") || c == QLatin1String("\t") || c == QLatin1String("\n") || c == QLatin1String("\r");
}

}  // namespace

ShadowCoreV2* ShadowCoreV2::shared() {
    SharedSlot& s = slot();
    if (!s.decided) {
        s.decided = true;
        const bool on = qgetenv("MURMELO_V2_SHADOW") == "1" ||
                        Defaults::shared().boolValue(QStringLiteral("layoutV2Shadow"));
        if (on) s.instance = std::make_unique<ShadowCoreV2>();
    }
    return s.instance.get();
}

void ShadowCoreV2::resetSharedForTesting() {
    slot().decided = false;
    slot().instance.reset();
}

void ShadowCoreV2::startRecordIfClosed() {
    if (!wordClosed) return;
    reset();
}

void ShadowCoreV2::noteKey(std::optional<int> keycode, const QString& produced,
                           const std::optional<QString>& deliveredBy) {
    if (graphemeCount(produced) != 1) return;
    if (isBlank(produced)) {
        wordClosed = true;
        return;
    }
    startRecordIfClosed();
    observed.push_back(KeyEvidenceV2{keycode, produced, deliveredBy});
    if (observed.size() > std::size_t(maxObserved)) observed.erase(observed.begin(), observed.end() - maxObserved);
}

void ShadowCoreV2::noteBackspace() {
    startRecordIfClosed();
    erased += 1;
    if (!observed.empty()) observed.pop_back();
}

void ShadowCoreV2::reset() {
    observed.clear();
    erased = 0;
    wordClosed = false;
}

EvidenceModelV2 ShadowCoreV2::snapshot(const QString& word, const std::optional<QString>& boundary,
                                       const QString& start, const LayoutSwitcherHost* host) const {
    EvidenceModelV2 m;
    m.word = word;
    m.boundary = boundary;
    m.keys = EvidenceModelV2::alignKeys(word, observed);
    m.erasedCount = erased;
    m.start = wordStartFromRaw(start).value_or(WordStartV2::clean);
    m.origin = WriteOriginV2::human;
    if (host) m.context = WordContextV2{host->prevWord(), host->recentLang()};
    return m;
}

EvidenceModelV2 ShadowCoreV2::snapshotLive(const QString& word, const LayoutSwitcherHost* host) const {
    return snapshot(word, std::nullopt, host ? host->bufStart() : QStringLiteral("clean"), host);
}

EvidenceModelV2 ShadowCoreV2::snapshotBoundary(const QString& word, const std::optional<QString>& boundary,
                                               const QString& start, const LayoutSwitcherHost* host) const {
    return snapshot(word, boundary, start, host);
}

LanguagePairV2 ShadowCoreV2::languagePair(LayoutSwitcherHost* host) {
    LanguagePairV2 pair;
    pair.first = QStringLiteral("ru");
    pair.second = QStringLiteral("en");
    pair.words = host;
    pair.prefixLanguage = QStringLiteral("ru");
    pair.calibrations.firstWordConfirms = ManualInputSourceProfileV1::firstWordConfirms;
    pair.calibrations.shortTokenMaxLen = 3;
    pair.calibrations.prefixVetoMinCore = LayoutSwitcherRules::livePrefixMinLen;
    pair.calibrations.capsAbbrevMinLen = LayoutSwitcherHost::capsAbbreviationMinLen;
    pair.calibrations.capsAbbrevMaxLen = LayoutSwitcherHost::capsAbbreviationMaxLen;
    pair.calibrations.capsPullsToward = QStringLiteral("en");
    return pair;
}

void ShadowCoreV2::compareLive(const std::optional<EvidenceModelV2>& model, bool oldStarted, LayoutSwitcherHost* host) {
    if (!model) return;
    const DecisionResultV2 v2 = decideV2(*model, languagePair(host));
    // Two silences agree without a line.
    if (!oldStarted && !v2.verdict.actsNow()) return;
    writeLine(*model, "live", oldStarted, v2);
}

void ShadowCoreV2::compareBoundary(const std::optional<EvidenceModelV2>& model, bool oldApplied,
                                   LayoutSwitcherHost* host) {
    if (!model) return;
    writeLine(*model, "boundary", oldApplied, decideV2(*model, languagePair(host)));
}

void ShadowCoreV2::writeLine(const EvidenceModelV2& model, const char* phase, bool oldActed,
                             const DecisionResultV2& v2) {
    const bool agree = oldActed == v2.verdict.actsNow();
    const QString line = QStringLiteral("shadow/v2: ") + priv(model.word) + QStringLiteral(" ") +
                         QString::fromLatin1(phase) + QStringLiteral(" old=") +
                         (oldActed ? QStringLiteral("convert") : QStringLiteral("keep")) + QStringLiteral(" new=") +
                         v2.verdict.label() + QStringLiteral(" ") +
                         (agree ? QStringLiteral("agree") : QStringLiteral("disagree")) + QStringLiteral(" reason=") +
                         v2.reason;
    if (lineSink)
        lineSink(line);
    else
        logLine(line);
}

}  // namespace murmelo
