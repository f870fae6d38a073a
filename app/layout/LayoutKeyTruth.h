#pragma once
#include "layout/LayoutSwitcher.h"

#include <QString>
#include <limits>
#include <optional>
#include <utility>

namespace murmelo {

// What each printable key shows of the layout that really produced it. Right after the
// engine switched the input source itself, the old layout's tables may still serve a few
// keys: those are read through the target layout, retyped into it ("bridged"), and the
// selection is repeated when the letters show it did not arrive. Main thread only.
class LayoutKeyTruth {
public:
    explicit LayoutKeyTruth(LayoutSwitcher& engine) : engine_(engine) {}

    // A sign that sits on a letter key of the other layout (";" on the US keys of "ж"); the
    // apostrophe never counts.
    static bool letterOfOtherLayout(const QString& ch, const QString& from, const QString& to);
    static bool bridgeAdmitsSign(const QString& ch, const std::optional<QString>& truth, const QString& target,
                                 bool ruleBridgeKeyTruth);
    static QString bridgeSource(const std::optional<QString>& truth, const std::optional<QString>& byLetter,
                                const QString& target);
    // The engine selected the target's source itself, verification runs, and this key still
    // came through the other layout.
    static bool staleTableSignature(const std::optional<QString>& verifyTarget, double verifyUntil,
                                    const std::optional<QString>& executedSource,
                                    const std::optional<QString>& rawTruth, double now);
    static std::optional<QString> ownReading(bool ruleOn, bool stale, const std::optional<QString>& target,
                                             quint16 keycode, quint64 flags, const QString& raw);
    static bool idleReselectWanted(bool ruleOn, bool stale, bool done) { return ruleOn && stale && !done; }

    // One printable key: the characters to use for it, and whether it was retyped already and
    // must be swallowed.
    std::pair<QString, bool> handleKey(const InputEvent& event, const QString& raw, bool ownTranslation,
                                       bool idleReselect);
    // Types the key's characters in the target layout in place of the key.
    void bridgeChar(const QString& s, const QString& target);

    quint64 keyTruthMismatch = 0;
    quint64 keyTruthAgree = 0;
    quint64 ownTranslated = 0;
    quint64 idleReselects = 0;
    // Uptime seconds of the last mismatch line and flight-recorder dump.
    double lastTruthLogAt = -std::numeric_limits<double>::infinity();
    double lastTruthDumpAt = -std::numeric_limits<double>::infinity();

    static constexpr double mismatchLogGap = 5.0;
    static constexpr double mismatchDumpGap = 60.0;
    static constexpr quint64 agreementLogEvery = 200;

private:
    // The system reports a profile source other than the one the engine selected and saw
    // arrive: the user switched, and the own switch's windows end.
    bool userChangedSource(const std::optional<QString>& system);
    void bookkeeping(const std::optional<QString>& truth);

    LayoutSwitcher& engine_;
};

}  // namespace murmelo
