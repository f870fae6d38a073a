#include "layout/LayoutLiveCorrection.h"

#include "base/Log.h"
#include "layout/LayoutDisagreement.h"
#include "layout/LayoutFlipProbe.h"
#include "layout/LayoutKeyTruth.h"
#include "layout/LayoutLexicons.h"
#include "layout/LayoutMaps.h"
#include "layout/LayoutParts.h"
#include "layout/ManualInputSourceProfileV1.h"
#include "platform/MainQueue.h"
#include "stats/MonthlyStats.h"

#include <limits>

namespace murmelo {

namespace {

char32_t firstCodePoint(const QString& s) { return s.isEmpty() ? 0 : s.toUcs4().value(0); }
bool isLetter(const QString& ch) { return QChar::isLetter(firstCodePoint(ch)); }

bool holdsCodeCharacter(const QString& text) {
    for (char32_t c : text.toUcs4()) {
        if (QChar::isNumber(c) || c == U'/' || c == U'&') return true;
    }
    return false;
}

bool allLetters(const QString& text) {
    for (char32_t c : text.toUcs4()) {
        if (!QChar::isLetter(c)) return false;
    }
    return true;
}

}  // namespace

LayoutLiveCorrection::LayoutLiveCorrection(LayoutSwitcher& engine, LayoutAppGates& gates, LayoutCorrectionApply& apply,
                                           std::shared_ptr<LayoutBoundaryDecision> decision, Words& words)
    : engine_(engine), gates_(gates), apply_(apply), decision_(std::move(decision)), words_(words) {}

std::optional<WordAnalysis> LayoutLiveCorrection::DecisionWords::analyze(const QString& core, const QString& src) {
    return decision_.analyze(core, src);
}
bool LayoutLiveCorrection::DecisionWords::isRealWordInLayout(const QString& word, const QString& layout,
                                                             bool caseVariant) {
    return decision_.checks().isRealWordInLayout(word, layout, caseVariant).value_or(false);
}
bool LayoutLiveCorrection::DecisionWords::isRealShortWordCurated(const QString& word, const QString& layout,
                                                                 bool caseVariant) {
    return decision_.checks().isRealShortWordCurated(word, layout, caseVariant).value_or(false);
}
bool LayoutLiveCorrection::DecisionWords::livePrefixVeto(const QString& word, const QString& layout) {
    return decision_.checks().livePrefixVeto(word, layout);
}
bool LayoutLiveCorrection::DecisionWords::liveStemVeto(const QString& word, const QString& layout) {
    return decision_.checks().liveStemVeto(word, layout);
}

WordParts LayoutLiveCorrection::split(const QString& word) const {
    return decision_->shape().splitAffixes(word, WordClasses::punctAll(), std::nullopt, engine_.rules().ruleLeadingSignLetter);
}

bool LayoutLiveCorrection::tryStartLive() {
    LayoutSwitcher& e = engine_;
    if (!e.isEnabled()) return false;
    const EditRights rights(e.bufStart);
    if (!rights.allowsLiveFlip()) return false;
    if (e.liveRetypeVeto) return false;
    if (charCount(e.buf) < e.liveMinLen()) return false;
    if (!ManualInputSourceProfileV1::contains(e.observedSourceID())) return false;
    const std::optional<QString> srcFound = decision_->sourceLayout(e.buf);
    if (!srcFound) return false;
    const QString src = *srcFound;
    LayoutWordShape& shape = decision_->shape();
    if (src == QLatin1String("en") && LayoutWordShape::isCommandShapedToken(e.buf)) return false;

    const WordParts parts = LayoutWordShape::peelSlashAffixes(e.buf);
    const QString& core = parts.core;
    if (holdsCodeCharacter(core)) return false;
    const int coreLen = charCount(core);
    if (coreLen < e.liveMinLen()) return false;
    if (LayoutDisagreement(e).disagreementVetoedLive(core)) {
        e.veto(QStringLiteral("вето·несогласия"));
        return false;
    }

    QString best, converted;
    double margin = 0;
    bool fromScheme = false;
    if (auto scheme = LayoutWordShape::urlSchemeFlip(core, src)) {
        converted = scheme->first;
        best = scheme->second;
        margin = std::numeric_limits<double>::max();
        fromScheme = true;
    } else if (auto reading = words_.analyze(core, src)) {
        best = reading->best;
        converted = reading->converted;
        margin = reading->margin;
    } else {
        return false;
    }
    if (best == src) return false;
    const bool brandHit = fromScheme || e.isBrandPrefix(converted);
    const QString lowerCore = core.toLower();

    std::optional<double> score;
    if (auto m = e.models.find(LayoutMaps::languageOf(src)); m != e.models.end()) score = m->second.score(lowerCore);
    const bool plausibleAsTyped = score && *score >= e.absFloorDisagree();

    if (e.liveProbeSink) {
        LayoutSwitcher::LiveProbe probe;
        probe.core = core;
        probe.current = src;
        probe.best = best;
        probe.converted = converted;
        probe.margin = margin;
        probe.brandHit = brandHit;
        probe.floorOK = !plausibleAsTyped;
        probe.prefixOK = !words_.livePrefixVeto(core, src);
        probe.dictOK = !words_.isRealWordInLayout(lowerCore, src, false);
        e.liveProbeSink(probe);
        return false;
    }

    if (!brandHit) {
        const double need = e.liveLadder.margin(coreLen);
        if (need > margin) {
            const bool shortWord = e.rules().ruleLiveShortWord && coreLen == liveShortWordLen &&
                                   e.liveLadder.margin(4) <= margin &&
                                   words_.isRealShortWordCurated(converted.toLower(), best, true);
            if (!shortWord) return false;
        }
    }
    if (plausibleAsTyped) return false;
    if (words_.isRealWordInLayout(lowerCore, src, false)) return false;
    const QString middle = split(core).core.toLower();
    if (e.isProtectedWord(middle) || e.isKnownPrefix(middle)) return false;
    if (words_.livePrefixVeto(core, src)) {
        e.veto(QStringLiteral("живой·префикс"));
        return false;
    }
    if (words_.liveStemVeto(core, src)) {
        e.veto(QStringLiteral("живой·стем"));
        return false;
    }
    if (shape.capsAbbreviationSide(core, src, converted, best) == src) {
        e.veto(QStringLiteral("заглавная-аббревиатура"));
        return false;
    }

    const int erase = charCount(e.buf) - 1;
    const QString convertedCore = shape.trailSignStaysAsTyped(core, converted, src, best, e.rules().ruleTrailSignToEn);
    const QString replacement = parts.prefix + convertedCore + parts.suffix;
    const ManualInputDecisionV1 decision =
        e.automaticDecision(ManualInputAutomaticPhaseV1::live, replacement, best, true, !rights.movesSystemLayout(),
                            LayoutSwitcher::CorrectionKind::layout);
    if (decision.textAction.kind != ManualInputTextActionV1::Kind::replaceToken ||
        decision.textAction.cause() != ManualInputTextCauseV1::layout)
        return false;
    return flip(parts, src, best, erase, decision);
}

bool LayoutLiveCorrection::flip(const WordParts& parts, const QString& src, const QString& best,
                                int erase, const ManualInputDecisionV1& decision) {
    LayoutSwitcher& e = engine_;
    const QString r = decision.textAction.replacement().value_or(QString());
    const QString original = parts.prefix + parts.core + parts.suffix;
    const QUuid id = QUuid::createUuid();
    const std::optional<QString> previousSourceID = e.observedSourceID();
    const bool sink = bool(e.correctionSink);

    const LayoutCorrectionApply::SourceSelection selection = apply_.selectSource(decision.sourceAction, id);
    const bool accepted = selection.accepted;
    // Without an accepted selection the rest of the word is converted key by key.
    const bool bridge = !accepted || e.rules().ruleTailBridgeAlways;
    if (!sink) {
        e.parts().deliver(erase, r, LayoutSwitcher::UndoTransport::keys);
        MonthlyStats::noteLayoutCorrection();
    }
    if (bridge) {
        e.liveActive = true;
        e.liveLayout = best;
        e.liveLastActivityAt = Clock::shared().now();
    }
    if (sink) {
        LayoutSwitcher::CorrectionEvent event;
        event.word = original;
        event.converted = r;
        event.layout = best;
        event.nativeOK = decision.sourceAction.kind != ManualInputSourceActionV1::Kind::none;
        event.switched = accepted;
        event.kind = LayoutSwitcher::CorrectionKind::layout;
        event.reasonCodes = decision.reasonCodes;
        e.correctionSink(event);
    }
    e.setBuf(r);
    e.liveFlippedWord = true;
    e.liveFlipConversionID = id;
    e.liveFlipTarget = best;
    const QString app = gates_.frontAppName();

    LayoutSwitcher::PendingCorrection record;
    record.id = id;
    record.original = original;
    record.converted = r;
    record.from = ManualInputSourceProfileV1::language(previousSourceID).value_or(src);
    record.previousSourceID = previousSourceID;
    record.targetSourceID = selection.target;
    record.didSwitch = selection.didSwitch;
    record.kind = LayoutSwitcher::CorrectionKind::layout;
    record.phase = LayoutSwitcher::Phase::live;
    record.frontApp = app;
    record.at = Clock::shared().now();
    e.lastCorrection = record;

    logLine(QStringLiteral("layout: LIVE-флип ") + priv(original) + QStringLiteral(" -> ") + priv(r) + QStringLiteral(" (") +
            best + QStringLiteral(", ") +
            (accepted ? QStringLiteral("TIS запланирован") : QStringLiteral("TIS запрещён, Unicode-мост")) +
            QStringLiteral(", ") + decision.reasonCodes.join(QLatin1Char(',')) + QStringLiteral(", ") + app +
            QStringLiteral(")"));
    if (!sink) apply_.auditCorrectionDelivery(r, app);
    LayoutFlipProbe::start(e, charCount(r));
    return true;
}

bool LayoutLiveCorrection::liveType(const QString& ch) {
    LayoutSwitcher& e = engine_;
    const bool sink = bool(e.correctionSink);
    e.liveLastActivityAt = Clock::shared().now();
    const LayoutRules& rules = e.rules();
    std::optional<QString> truth;
    if (rules.ruleBridgeKeyTruth || rules.ruleTruthFromKeys) truth = e.lastKeyTruth;
    const std::optional<QString> byLetter = decision_->sourceLayout(ch);
    const QString from = LayoutKeyTruth::bridgeSource(truth, byLetter, e.liveLayout);
    const QString out = LayoutMaps::convert(ch, from, e.liveLayout).value_or(ch);

    const bool chIsLetter = isLetter(ch);
    bool useConverted = chIsLetter;
    if (!useConverted && !out.isEmpty()) {
        const char32_t first = firstCodePoint(out);
        useConverted = QChar::isLetter(first) || first == U',' || first == U'.';
    }
    if (!useConverted && e.liveLayout == QLatin1String("en") && out == QLatin1String("@") && ch != QLatin1String("@"))
        useConverted = true;
    if (!useConverted && rules.mirrorPunctOn() && !chIsLetter && charCount(out) == 1 && !isLetter(out) && out != ch &&
        (rules.mirrorPunctAll() || ch.size() != 1 || !WordClasses::punctAll().contains(ch[0])))
        useConverted = true;

    if (useConverted) {
        if (!e.buf.isEmpty()) {
            QString next = e.buf;
            if (next.endsWith(ch)) next.chop(ch.size());
            e.setBuf(next + out);
        }
        if (!sink) e.parts().sendUnicode(out, TextWriteOrigin::layout);
    } else if (!sink) {
        e.parts().sendUnicode(ch, TextWriteOrigin::layout);
    }
    return true;
}

bool LayoutLiveCorrection::undoLiveOnCodeChar(const QString& ch) {
    LayoutSwitcher& e = engine_;
    if (!e.rules().ruleCodeUndo || !holdsCodeCharacter(ch)) return false;
    if (charCount(e.liveRaw) <= 1) return false;
    const bool sink = bool(e.correctionSink);
    if (!sink) e.parts().deliver(charCount(e.buf) - 1, e.liveRaw, LayoutSwitcher::UndoTransport::keys);
    QString shown = e.buf;
    if (shown.endsWith(ch)) shown.chop(ch.size());
    logLine(QStringLiteral("layout: LIVE-откат ") + priv(shown) + QStringLiteral(" -> ") + priv(e.liveRaw) +
            QStringLiteral(" (улика кода «") + ch + QStringLiteral("»)"));
    e.setBuf(e.liveRaw);
    e.liveActive = false;
    e.liveRetypeVeto = true;
    e.liveFlippedWord = false;
    return true;
}

bool LayoutLiveCorrection::undoLiveOnDictEvidence() {
    LayoutSwitcher& e = engine_;
    if (!e.rules().ruleLiveDictRevert || !e.liveFlippedWord || e.buf.isEmpty() || e.liveFlipTarget.isEmpty()) return false;
    const bool sink = bool(e.correctionSink);
    const QString target = e.liveFlipTarget;
    const QString other = target == QLatin1String("ru") ? QStringLiteral("en") : QStringLiteral("ru");
    const std::optional<QString> typed = LayoutMaps::convert(e.buf, target, other);
    if (!typed) return false;
    const WordParts parts = split(*typed);
    if (parts.core.isEmpty()) return false;
    if (!words_.isRealWordInLayout(parts.core.toLower(), other, true)) return false;
    const std::optional<QString> back = LayoutMaps::convert(parts.core, other, target);
    if (!back) return false;
    // Both readings are words: the flip stays.
    if (allLetters(*back) && words_.isRealWordInLayout(back->toLower(), target, true)) return false;

    if (!sink) {
        e.parts().deliver(charCount(e.buf), *typed, LayoutSwitcher::UndoTransport::keys);
    } else {
        LayoutSwitcher::CorrectionEvent event;
        event.word = e.buf;
        event.converted = *typed;
        event.layout = other;
        e.correctionSink(event);
    }
    logLine(QStringLiteral("layout: LIVE-откат ") + priv(e.buf) + QStringLiteral(" -> ") +
            priv(parts.prefix + parts.core + parts.suffix) + QStringLiteral(" (улика словаря)"));
    e.setBuf(*typed);
    e.liveActive = false;
    e.liveFlippedWord = false;
    return true;
}

}  // namespace murmelo
