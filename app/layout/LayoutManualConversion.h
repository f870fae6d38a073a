#pragma once
#include "input/TemporaryClipboardLease.h"
#include "layout/LayoutSwitcher.h"

#include <QDateTime>
#include <QString>
#include <memory>
#include <optional>

namespace murmelo {

// The user's own conversion: two quick presses of the right Shift retype the selection, or
// else the word before the caret, in the other layout, and the input source follows. The
// text travels through the clipboard under a temporary lease; the user's clipboard comes
// back once the field has read the paste. The gesture also teaches the engine: taking back
// one of its own conversions counts against it, any other converted word becomes an
// exception (or leaves the exceptions). Main thread only.
class LayoutManualConversion {
public:
    // What a manual conversion taught the engine.
    struct ManualFlipMemory {
        enum class Kind { learned, forgot, nothing };
        Kind kind = Kind::nothing;
        QString word;
        static ManualFlipMemory learned(const QString& w) { return {Kind::learned, w}; }
        static ManualFlipMemory forgot(const QString& w) { return {Kind::forgot, w}; }
        static ManualFlipMemory nothing() { return {}; }
        QString logSuffix() const;
        bool operator==(const ManualFlipMemory&) const = default;
    };

    static constexpr double doublePressWindow = 0.3;
    static constexpr double copyReadDelay = 0.1;
    static constexpr double lockAfterPaste = 0.3;
    static constexpr double safetyEnd = 0.9;
    static constexpr int learnMinChars = 4;
    static constexpr int learnMaxChars = 32;
    static constexpr int exceptionsCap = 500;

    explicit LayoutManualConversion(LayoutSwitcher& engine);
    ~LayoutManualConversion();
    LayoutManualConversion(const LayoutManualConversion&) = delete;
    LayoutManualConversion& operator=(const LayoutManualConversion&) = delete;

    void noteRightShift(bool down, bool polishBound);
    void manualConvert();
    QString convertText(const QString& text) const;
    void applyManual(const QString& text, const TemporaryClipboardLease::Token& lease);
    // In a terminal nothing can be selected or copied with keys: the last word comes from the
    // engine's own record of the keys typed (the word being typed, else the last word and
    // the space or tab after it), and is erased with BackSpace and typed converted.
    void convertFromRecord();
    std::optional<LayoutSwitcher::LastLayoutConversion> humanFlipUndoesOurs(const QString& source,
                                                                           const QDateTime& now) const;
    ManualFlipMemory noteHumanFlip(const QString& source, const QString& converted,
                                   const std::optional<LayoutSwitcher::LastLayoutConversion>& undoing,
                                   std::optional<bool> unlearnOn = std::nullopt);
    ManualFlipMemory noteManualFlip(const QString& source, const QString& converted, bool ruleOn);
    std::optional<QString> forgetManualException(const QString& word);
    bool noteManualLearned(const QString& word);

private:
    struct Run;
    void read(const std::shared_ptr<Run>& run, bool second);
    void finish(const std::shared_ptr<Run>& run);
    void endCorrecting();
    // The common part of both routes: checks, the write, the source, memory and log. With a
    // lease the converted text is pasted over the copied selection; without, `text` and the
    // trailing boundary are erased with keys and typed again converted.
    void writeConversion(const QString& text, const std::optional<TemporaryClipboardLease::Token>& lease,
                         const QString& trailing = {});
    QString key(const QString& text) const;

    LayoutSwitcher& engine_;
    std::optional<quint64> lockToken_;
    // The conversion under way, for the steps that run later.
    std::shared_ptr<Run> current_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace murmelo
