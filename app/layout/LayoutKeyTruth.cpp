#include "layout/LayoutKeyTruth.h"

#include "base/Log.h"
#include "input/InputEventFlightRecorder.h"
#include "layout/KeyboardTruth.h"
#include "layout/LayoutMaps.h"
#include "layout/LayoutParts.h"
#include "layout/LayoutSwitcherHost.h"
#include "layout/ManualInputSourceProfileV1.h"
#include "layout/ShadowCoreV2.h"
#include "layout/SystemLayouts.h"
#include "platform/MainQueue.h"

namespace murmelo {

namespace {

double uptime() { return Clock::shared().uptime(); }

bool isLetter(const QString& ch) {
    const QList<uint> points = ch.toUcs4();
    return !points.isEmpty() && QChar::isLetter(char32_t(points.first()));
}

QString orUnknown(const std::optional<QString>& s) { return s.value_or(QStringLiteral("?")); }

}  // namespace

bool LayoutKeyTruth::letterOfOtherLayout(const QString& ch, const QString& from, const QString& to) {
    if (ch == QLatin1String("'") || isLetter(ch) || from.isEmpty() || to.isEmpty()) return false;
    const std::optional<QString> converted = LayoutMaps::convert(ch, from, to);
    return converted && isLetter(*converted);
}

bool LayoutKeyTruth::bridgeAdmitsSign(const QString& ch, const std::optional<QString>& truth, const QString& target,
                                      bool ruleBridgeKeyTruth) {
    return ruleBridgeKeyTruth && truth && *truth != target && letterOfOtherLayout(ch, *truth, target);
}

QString LayoutKeyTruth::bridgeSource(const std::optional<QString>& truth, const std::optional<QString>& byLetter,
                                     const QString& target) {
    if (truth) return *truth;
    if (byLetter) return *byLetter;
    return target;
}

bool LayoutKeyTruth::staleTableSignature(const std::optional<QString>& verifyTarget, double verifyUntil,
                                         const std::optional<QString>& executedSource,
                                         const std::optional<QString>& rawTruth, double now) {
    if (!verifyTarget || now >= verifyUntil || !executedSource || !rawTruth) return false;
    return executedSource == ManualInputSourceProfileV1::sourceID(*verifyTarget) && *rawTruth != *verifyTarget;
}

std::optional<QString> LayoutKeyTruth::ownReading(bool ruleOn, bool stale, const std::optional<QString>& target,
                                                  quint16 keycode, quint64 flags, const QString& raw) {
    if (!ruleOn || !stale || !target) return std::nullopt;
    std::optional<QString> own = KeyboardTruth::translation(keycode, flags, *target);
    if (!own || own->isEmpty() || *own == raw) return std::nullopt;
    return own;
}

std::pair<QString, bool> LayoutKeyTruth::handleKey(const InputEvent& event, const QString& raw, bool ownTranslation,
                                                   bool idleReselect) {
    const quint16 keycode = quint16(event.keyCode & 0xFFFF);
    const double now = uptime();
    // Before anything reads the own switch's windows: a source the user picked since is not
    // to be read through, re-selected against or bridged into.
    if (engine_.graceTarget || engine_.layoutVerifyTarget) userChangedSource(engine_.rawSystemSourceID());
    const std::optional<QString> truth = KeyboardTruth::language(keycode, event.flags, raw);
    const std::optional<QString> executed =
        engine_.lastOwnSelect ? std::optional(engine_.lastOwnSelect->sourceID) : std::nullopt;
    const bool stale =
        staleTableSignature(engine_.layoutVerifyTarget, engine_.layoutVerifyUntil, executed, truth, now);

    const std::optional<QString> own =
        ownReading(ownTranslation, stale, engine_.layoutVerifyTarget, keycode, event.flags, raw);
    if (own) {
        ++ownTranslated;
        if (!engine_.ownTranslationLogged) {
            engine_.ownTranslationLogged = true;
            logLine(QStringLiteral("layout/R50: после нашего селекта событие несёт ") + orUnknown(truth) +
                    QStringLiteral(", ") + QStringLiteral("свой TIS ") + orUnknown(engine_.layoutVerifyTarget) +
                    QStringLiteral(" - читаю клавишу по своему ") + QStringLiteral("(kc=%1; за сессию %2)")
                                                                       .arg(keycode)
                                                                       .arg(ownTranslated));
        }
    }
    const QString chars = own ? *own : raw;

    if (idleReselectWanted(idleReselect, stale, engine_.idleReselectDone) && engine_.layoutVerifyTarget) {
        const QString target = *engine_.layoutVerifyTarget;
        if (const std::optional<QString> source = ManualInputSourceProfileV1::sourceID(target)) {
            engine_.idleReselectDone = true;
            const std::optional<double> ms =
                engine_.parts().fireIdleReselect(*source);
            if (ms) {
                ++idleReselects;
                logLine(QStringLiteral("layout/R50: холостой TIS-селект ") + target +
                        QStringLiteral(" на первом расхождении ") + QStringLiteral("(событие несёт ") +
                        orUnknown(truth) + QStringLiteral(") - ") + QString::asprintf("%.2f", *ms) +
                        QStringLiteral(" мс, ") + QStringLiteral("за сессию ") + QString::number(idleReselects));
            } else {
                logLine(QStringLiteral("layout/R50: холостой TIS-селект ") + target +
                        QStringLiteral(" не удался - источник не найден или отказ"));
            }
        }
    }

    engine_.lastKeyTruth = own ? engine_.layoutVerifyTarget : truth;
    bookkeeping(truth);
    if (ShadowCoreV2* shadow = ShadowCoreV2::shared()) shadow->noteKey(int(keycode), chars, engine_.lastKeyTruth);

    // Bridging and verification look at one character only.
    if (chars.toUcs4().size() != 1) return {chars, false};
    const bool letter = isLetter(chars);
    if (!letter && !(engine_.graceTarget && bridgeAdmitsSign(chars, engine_.lastKeyTruth, *engine_.graceTarget,
                                                             engine_.rules().ruleBridgeKeyTruth)))
        return {chars, false};

    if (engine_.graceTarget) {
        const QString target = *engine_.graceTarget;
        const bool alreadyThere = engine_.rules().ruleTruthFromKeys && engine_.lastKeyTruth == target;
        if (now < engine_.graceUntil && !alreadyThere) {
            bridgeChar(chars, target);
            return {chars, true};
        }
        engine_.graceTarget.reset();
    }

    if (engine_.layoutVerifyTarget && now < engine_.layoutVerifyUntil) {
        const QString target = *engine_.layoutVerifyTarget;
        const std::optional<QString> byLetters = LayoutSwitcherHost::sourceLayout(raw);
        const QString source = byLetters.value_or(target);
        if (source != target && engine_.layoutVerifyRetries < engine_.rules().verifyRetryLimit) {
            ++engine_.layoutVerifyRetries;
            logLine(QStringLiteral("⚠ layout: флип в ") + target + QStringLiteral(" не доехал до HID (события в ") +
                    orUnknown(byLetters) + QStringLiteral(") — повторный TIS-селект №") +
                    QString::number(engine_.layoutVerifyRetries));
            engine_.parts().selectLayout(target, true, std::nullopt, {});
            bridgeChar(chars, target);
            return {chars, true};
        }
    }
    engine_.layoutVerifyTarget.reset();
    return {chars, false};
}

bool LayoutKeyTruth::userChangedSource(const std::optional<QString>& system) {
    if (!engine_.lastOwnSelect || !engine_.ownSelectArrived) return false;
    if (!ManualInputSourceProfileV1::contains(system) || system == engine_.lastOwnSelect->sourceID) return false;
    logLine(QStringLiteral("layout/правда: источник сменили не мы (") + orUnknown(ManualInputSourceProfileV1::language(system)) +
            QStringLiteral(") — это выбор пользователя, мост и проверку флипа снимаю"));
    engine_.graceTarget.reset();
    engine_.layoutVerifyTarget.reset();
    engine_.layoutVerifyRetries = 0;
    return true;
}

void LayoutKeyTruth::bookkeeping(const std::optional<QString>& truth) {
    if (!truth) return;
    engine_.observedByKeys = engine_.lastKeyTruth ? engine_.lastKeyTruth : truth;
    const std::optional<QString> system = ManualInputSourceProfileV1::language(engine_.rawSystemSourceID());
    if (system && *system != *truth) {
        ++keyTruthMismatch;
        const double now = uptime();
        if (now - lastTruthLogAt > mismatchLogGap) {
            lastTruthLogAt = now;
            logLine(QStringLiteral("layout/правда: по клавишам ") + *truth + QStringLiteral(", система говорит ") +
                    *system + QStringLiteral(", ") + QStringLiteral("настройки ") +
                    orUnknown(SystemInputSourcePrefs::selectedLanguage()) +
                    QStringLiteral(" - расхождений за сессию ") + QString::number(keyTruthMismatch));
        }
        if (now - lastTruthDumpAt > mismatchDumpGap) {
            lastTruthDumpAt = now;
            InputEventFlightRecorder::shared().dump(QStringLiteral("layout-truth-mismatch"), Clock::shared().now());
        }
        engine_.parts().scheduleAXProbeOnMismatch();
    } else {
        ++keyTruthAgree;
        if (keyTruthAgree % agreementLogEvery == 0) {
            logLine(QStringLiteral("layout/правда: сходится, ") + QString::number(keyTruthAgree) +
                    QStringLiteral(" нажатий подряд ") + QStringLiteral("(расхождений за сессию ") +
                    QString::number(keyTruthMismatch) + QStringLiteral(")"));
        }
    }
}

void LayoutKeyTruth::bridgeChar(const QString& s, const QString& target) {
    const LayoutRules& rules = engine_.rules();
    const std::optional<QString> byLetter = LayoutSwitcherHost::sourceLayout(s);
    const QString source = rules.ruleBridgeKeyTruth || rules.ruleTruthFromKeys
                               ? bridgeSource(engine_.lastKeyTruth, byLetter, target)
                               : byLetter.value_or(target);
    QString out = s;
    if (source != target) out = LayoutMaps::convert(s, source, target).value_or(s);

    engine_.parts().sendUnicode(out, TextWriteOrigin::layout);
    engine_.lastCorrection.reset();
    engine_.bsEmptyRun = 0;

    // The bridged text joins the word, but not the live reading of it.
    const QString word = engine_.buf + out;
    const qsizetype length = word.toUcs4().size();
    engine_.setBuffer(word);
    if (length > 2) engine_.editingExisting = false;
    if (length > LayoutSwitcher::bufferCap) {
        engine_.setBuffer(QString());
        logLine(QStringLiteral("layout/buf: сброс >64 симв. (мост) - диагностика, не правило"));
    }
    if (out != s) {
        logLine(QStringLiteral("layout: grace-мост ") + priv(s) + QStringLiteral("→") + priv(out) + QStringLiteral(" (") +
                target + QStringLiteral(")"));
    }
}

}  // namespace murmelo
