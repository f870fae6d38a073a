#include "layout/LayoutFieldProbe.h"

#include "base/Log.h"
#include "base/SerialQueue.h"
#include "input/AXText.h"
#include "input/DeliveryAudit.h"
#include "layout/LayoutLexicons.h"
#include "platform/MainQueue.h"

namespace murmelo {

namespace AXProbeReader {

AXProbeReading read(qint64 pid, float timeout) {
    Accessibility& ax = Accessibility::shared();
    AXElementPtr app = ax.applicationElement(pid);
    if (!app) return AXProbeReading::noFocus(AXError::invalidUIElement);
    ax.setMessagingTimeout(*app, timeout);
    AXError error = AXError::success;
    AXElementPtr focused = ax.focusedElementOf(*app, &error);
    if (error == AXError::cannotComplete) return AXProbeReading::timedOut(QStringLiteral("focus"));
    if (error != AXError::success) return AXProbeReading::noFocus(error);
    if (!focused) return AXProbeReading::noFocus(AXError::success);
    ax.setMessagingTimeout(*focused, timeout);

    AXError valueError = AXError::success;
    const QVariant value = ax.attribute(*focused, AXNames::value, &valueError);
    if (valueError == AXError::cannotComplete) return AXProbeReading::timedOut(QStringLiteral("value"));

    AXError rangeError = AXError::success;
    const QVariant range = ax.attribute(*focused, AXNames::selectedRange, &rangeError);
    if (rangeError == AXError::cannotComplete) return AXProbeReading::timedOut(QStringLiteral("caret"));
    qint64 caret = -1;
    if (rangeError == AXError::success && range.canConvert<AXRange>()) caret = range.value<AXRange>().location;

    if (valueError != AXError::success || value.typeId() != QMetaType::QString) return AXProbeReading::noValue(caret);
    const QString text = value.toString();
    if (caret < 0) return AXProbeReading::noCaret(text.size());
    return AXProbeReading::ok(text, caret);
}

}  // namespace AXProbeReader

namespace {

SerialQueue& probeQueue() {
    static auto* q = new SerialQueue;  // "com.local.murmelo.layout.ax-probe"; lives for the process
    return *q;
}

QString head(const QString& app) { return QStringLiteral("layout/ax-зонд: ") + app; }

bool isRussianLetter(char16_t u) { return (u >= u'а' && u <= u'я') || (u >= u'А' && u <= u'Я') || u == u'ё' || u == u'Ё'; }
bool isLatinLetter(char16_t u) { return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z'); }

// What stands left of the word, for the log only.
QString leftNeighbour(const QString& text, qsizetype start) {
    if (start == 0) return QStringLiteral("начало-поля");
    const QChar c = text[start - 1];
    const char16_t u = c.unicode();
    if (c.isSurrogate()) return QStringLiteral("знак");
    if (u == u' ' || u == u'\t') return QStringLiteral("пробел");
    if ((u >= 0x0A && u <= 0x0D) || u == 0x85 || u == 0x2028 || u == 0x2029) return QStringLiteral("новая-строка");
    if (c.isNumber()) return QStringLiteral("цифра");
    if (isRussianLetter(u)) return QStringLiteral("буква-ru");
    if (isLatinLetter(u)) return QStringLiteral("буква-en");
    if (c.isLetter()) return QStringLiteral("буква-др");
    return QStringLiteral("знак");
}

// A cut of UTF-16 units with halves of surrogate pairs made into replacement characters.
QString repaired(const QString& units) {
    QString out;
    out.reserve(units.size());
    for (qsizetype i = 0; i < units.size(); ++i) {
        const QChar c = units[i];
        if (c.isHighSurrogate() && i + 1 < units.size() && units[i + 1].isLowSurrogate()) {
            out.append(c);
            out.append(units[++i]);
        } else if (c.isSurrogate()) {
            out.append(QChar(QChar::ReplacementCharacter));
        } else {
            out.append(c);
        }
    }
    return out;
}

}  // namespace

LayoutFieldProbe::LayoutFieldProbe(LayoutSwitcher& engine, LayoutAppGates& gates) : engine_(engine), gates_(gates) {}

void LayoutFieldProbe::waitForReads() { probeQueue().waitUntilIdle(); }

void LayoutFieldProbe::scheduleAXEditProbe() {
    const bool live = EditRights(engine_.bufStart).allowsLiveFlip();
    scheduleAXProbe(live ? QStringLiteral("клик/хоткей") : QStringLiteral("backspace/стрелки"), true, probeDelay);
}

void LayoutFieldProbe::scheduleAXProbe(const QString& source, bool requireEditMode, double delay) {
    // Observers replace the real field, and the stand has no other application to read.
    if (engine_.correctionSink || engine_.liveProbeSink || LayoutSwitcher::standMode()) return;
    std::weak_ptr<bool> alive = alive_;
    MainQueue::shared().after(delay, [this, alive, source, requireEditMode] {
        if (alive.expired()) return;
        startAXProbe(source, requireEditMode, 1);
    });
}

void LayoutFieldProbe::startAXProbe(const QString& source, bool requireEditMode, int attempt) {
    if (engine_.buf.isEmpty()) return;
    if (requireEditMode && !EditRights(engine_.bufStart).asksFieldForNeighbour()) return;
    const QString app = gates_.frontAppName();
    if (engine_.axProbeInFlight) {
        const quint64 dropped = ++engine_.axProbeDropped;
        if (dropped == 1 || dropped % 50 == 0) {
            logLine(head(app) + QStringLiteral(" ax=занят - другой зонд ещё в полёте, пропущено %1 (%2)").arg(dropped).arg(source));
        }
        return;
    }
    const std::optional<qint64> pid = gates_.focusedAppPid();
    if (!pid) {
        logLine(head(app) + QStringLiteral(" ax=нет-pid поп=%1 (%2)").arg(attempt).arg(source));
        return;
    }
    const quint64 gen = DeliveryAudit::typedGen();
    const QString word = engine_.buf;
    engine_.axProbeInFlight = true;
    std::weak_ptr<bool> alive = alive_;
    probeQueue().async([this, alive, reader = axProbeReader, pid = *pid, gen, word, app, source, requireEditMode, attempt] {
        const double started = Clock::shared().uptime();
        const AXProbeReading reading = reader(pid, axProbeTimeout);
        const qint64 ms = qint64((Clock::shared().uptime() - started) * 1000.0);
        MainQueue::shared().post([this, alive, reading, ms, word, gen, app, source, requireEditMode, attempt] {
            if (alive.expired()) return;
            engine_.axProbeInFlight = false;
            finishAXProbe(reading, ms, word, gen, app, source, requireEditMode, attempt);
        });
    });
}

void LayoutFieldProbe::scheduleAXProbeOnMismatch() {
    if (!engine_.rules().ruleScreenTruth || engine_.buf.isEmpty() || armedScreenTruth()) return;
    const QDateTime now = Clock::shared().now();
    if (engine_.lastScreenProbeAt.isValid() &&
        engine_.lastScreenProbeAt.msecsTo(now) <= qint64(LayoutRules::screenTruthProbeGap * 1000))
        return;
    engine_.lastScreenProbeAt = now;
    scheduleAXProbe(QStringLiteral("расхождение"), false, probeDelay);
}

void LayoutFieldProbe::finishAXProbe(const AXProbeReading& reading, qint64 ms, const QString& word, quint64 gen,
                                     const QString& app, const QString& source, bool requireEditMode, int attempt) {
    using Kind = AXProbeReading::Kind;
    switch (reading.kind) {
    case Kind::ok: {
        if (gen != DeliveryAudit::typedGen() || engine_.buf != word) {
            const quint64 stale = ++engine_.axProbeStale;
            logLine(head(app) + QStringLiteral(" ax=устарел - буфер сменился за %1мс чтения (%2), за сессию %3")
                                    .arg(ms)
                                    .arg(source)
                                    .arg(stale));
            return;
        }
        const QString& text = reading.text;
        const qint64 n = word.size();
        if (reading.caret > text.size() || reading.caret < n) {
            logLine(head(app) + QStringLiteral(" ax=ok len=%1 caret=%2 слово=%3 → oob %4мс (%5)")
                                    .arg(text.size())
                                    .arg(reading.caret)
                                    .arg(charCount(word))
                                    .arg(ms)
                                    .arg(source));
            return;
        }
        const qsizetype start = reading.caret - n;
        const QString atWord = text.mid(start, n);
        const bool match = atWord == word;
        logLine(head(app) + QStringLiteral(" ax=ok слева=%1 совп=%2 len=%3 caret=%4 слово=%5 %6мс поп=%7 (%8)")
                                .arg(leftNeighbour(text, start), match ? QStringLiteral("да") : QStringLiteral("нет"))
                                .arg(text.size())
                                .arg(reading.caret)
                                .arg(charCount(word))
                                .arg(ms)
                                .arg(attempt)
                                .arg(source));
        noteScreenTruth(match, repaired(atWord), word, app);
        return;
    }
    case Kind::noFocus:
        if (attempt == 1) {
            std::weak_ptr<bool> alive = alive_;
            MainQueue::shared().after(noFocusRetryDelay, [this, alive, source, requireEditMode] {
                if (alive.expired()) return;
                startAXProbe(source, requireEditMode, 2);
            });
            return;
        }
        logLine(head(app) + QStringLiteral(" ax=нет-фокуса ×2 err=%1 (%2)").arg(int(reading.error)).arg(source));
        return;
    case Kind::noValue:
        logLine(head(app) + QStringLiteral(" ax=нет-value caret=%1 %2мс поп=%3 (%4)")
                                .arg(reading.caret < 0 ? QStringLiteral("нет") : QString::number(reading.caret))
                                .arg(ms)
                                .arg(attempt)
                                .arg(source));
        return;
    case Kind::noCaret:
        logLine(head(app) + QStringLiteral(" ax=нет-caret len=%1 %2мс поп=%3 (%4)").arg(reading.length).arg(ms).arg(attempt).arg(source));
        return;
    case Kind::timeout: {
        const quint64 timeouts = ++engine_.axProbeTimeouts;
        logLine(head(app) + QStringLiteral(" ax=таймаут стадия=%1 %2мс поп=%3 (%4) - не знаю, за сессию %5")
                                .arg(reading.stage)
                                .arg(ms)
                                .arg(attempt)
                                .arg(source)
                                .arg(timeouts));
        return;
    }
    }
}

void LayoutFieldProbe::noteScreenTruth(bool match, const QString& field, const QString& word, const QString& app) {
    const bool enabled = engine_.rules().ruleScreenTruth;
    if (!enabled) return;
    if (match) {
        engine_.screenTruth.reset();
        return;
    }
    // The field may still show our own flip or write, or the system has not taken our switch yet.
    if (engine_.liveActive || engine_.liveFlippedWord || engine_.graceTarget) return;
    const QDateTime now = Clock::shared().now();
    if (engine_.screenTruthLastWriteAt.isValid() &&
        engine_.screenTruthLastWriteAt.msecsTo(now) <= qint64(LayoutRules::screenTruthWriteQuiet * 1000))
        return;
    const std::optional<ScreenTruthVerdict> v = LayoutScreenTruth::verdict(word, field, enabled);
    if (!v) return;
    const bool changed = engine_.screenTruth != v;
    engine_.screenTruth = v;
    engine_.screenTruthAt = now;
    engine_.screenTruthApp = app;
    if (changed) {
        logLine(QStringLiteral("layout/экран: поле в %1, буфер в %2 - беру правду с экрана [%3] (%4 симв.)")
                    .arg(v->screen, v->stream, app)
                    .arg(charCount(word)));
    }
}

std::optional<ScreenTruthVerdict> LayoutFieldProbe::armedScreenTruth() {
    if (!engine_.rules().ruleScreenTruth || !engine_.screenTruth) return std::nullopt;
    const bool young = engine_.screenTruthAt.isValid() &&
                       engine_.screenTruthAt.msecsTo(Clock::shared().now()) < qint64(LayoutRules::screenTruthTTL * 1000);
    const std::optional<QString> focused = gates_.cachedAppName();
    if (young && (!engine_.screenTruthApp || !focused || *focused == *engine_.screenTruthApp)) return engine_.screenTruth;
    engine_.screenTruth.reset();
    return std::nullopt;
}

QString LayoutFieldProbe::screenTruthWord(const QString& word) {
    const std::optional<ScreenTruthVerdict> v = armedScreenTruth();
    if (!v) return word;
    const QString shown = LayoutScreenTruth::onScreen(word, v);
    if (shown == word) return word;
    engine_.screenTruth.reset();
    ++engine_.screenTruthUsed;
    logLine(QStringLiteral("layout/экран: %1 в буфере, %2 на экране - решаю по экрану (за сессию %3)")
                .arg(priv(word), priv(shown))
                .arg(engine_.screenTruthUsed));
    scheduleAXProbe(QStringLiteral("после правки по экрану"), false, afterScreenWordDelay);
    return shown;
}

std::optional<std::pair<QString, int>> LayoutFieldProbe::focusedValueAndCaret() {
    const AXElementPtr el = AXText::focused();
    if (!el) return std::nullopt;
    const std::optional<QString> value = AXText::value(el);
    const std::optional<AXRange> range = AXText::selectedRange(el);
    if (!value || !range || range->length != 0) return std::nullopt;
    return std::pair<QString, int>(*value, int(range->location));
}

}  // namespace murmelo
