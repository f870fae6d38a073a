#include "layout/LayoutFlipProbe.h"

#include "base/Log.h"
#include "platform/MainQueue.h"

namespace murmelo {
namespace LayoutFlipProbe {

namespace {
qint64 msSinceFlip(const LayoutSwitcher& engine) { return engine.flipProbeAt->msecsTo(Clock::shared().now()); }
}  // namespace

void mark(LayoutSwitcher& engine) {
    if (engine.flipProbeFirstMs < 0 && engine.flipProbeAt) engine.flipProbeFirstMs = msSinceFlip(engine);
}

void flush(LayoutSwitcher& engine, const QString& outcome) {
    if (!engine.flipProbeAt) return;
    const qint64 ms = engine.flipProbeFirstMs >= 0 ? engine.flipProbeFirstMs : msSinceFlip(engine);
    logLine(QStringLiteral("layout/флип-затем: исход=%1, букв %2, bs %3, слово %4 симв., первое событие через %5 мс")
                .arg(outcome)
                .arg(engine.flipProbeLetters)
                .arg(engine.flipProbeBS)
                .arg(engine.flipProbeWordLen)
                .arg(ms));
    engine.flipProbeAt.reset();
}

void start(LayoutSwitcher& engine, qint64 wordLen) {
    flush(engine, QStringLiteral("новый-флип"));
    engine.flipProbeAt = Clock::shared().now();
    engine.flipProbeLetters = 0;
    engine.flipProbeBS = 0;
    engine.flipProbeWordLen = wordLen;
    engine.flipProbeFirstMs = -1;
}

void letter(LayoutSwitcher& engine) {
    if (!engine.flipProbeAt) return;
    mark(engine);
    if (engine.flipProbeBS > 0) {
        flush(engine, QStringLiteral("буквы-после-стирания"));
        return;
    }
    if (++engine.flipProbeLetters >= 5) flush(engine, QStringLiteral("печать-дальше"));
}

void backspace(LayoutSwitcher& engine) {
    if (!engine.flipProbeAt) return;
    mark(engine);
    ++engine.flipProbeBS;
    if (engine.flipProbeWordLen >= 1 && engine.flipProbeBS >= engine.flipProbeWordLen + engine.flipProbeLetters)
        flush(engine, QStringLiteral("стёр-всё-слово"));
}

void end(LayoutSwitcher& engine, const QString& outcome) {
    if (!engine.flipProbeAt) return;
    mark(engine);
    flush(engine, outcome);
}

}  // namespace LayoutFlipProbe

}  // namespace murmelo
