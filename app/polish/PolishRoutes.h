#pragma once
#include "input/TemporaryClipboardLease.h"
#include "platform/Accessibility.h"
#include "polish/PolishResult.h"
#include "polish/PolishScope.h"
#include "polish/PolishSelect.h"
#include "polish/PolishTap.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace murmelo {

class LayoutOutput;
class LayoutSwitcher;
class PolishCardController;
class PolishEditDelivery;
struct ClipboardJob;

// The gestures that start a polish and the two routes that carry it into the user's field:
// the accessibility route reads the paragraph at the caret and writes back only what the
// corrector changed; the clipboard route copies the text, polishes it and pastes it back.
// Shares the switcher's edit lock and its count of physical keys; answers protected words from
// `words`, types a fix by keys through `delivery` and shows its edits and notes on `card`.
// Main thread only.
class PolishRoutes final : private PolishTap::Owner {
public:
    enum class PolishPasteResult { pasted, refusedNoSelection, refusedGate };
    enum class PolishParagraphSelect { done, refused, noField };

    // Times of the clipboard route.
    static constexpr double COPY_SETTLE = 0.12;
    static constexpr double SAFETY_RELEASE = 12.0;
    static constexpr double PASTE_RELEASE = 0.3;
    // Waits between the reads that confirm a paste, each from the one before.
    static constexpr double CONFIRM_DELAYS[5] = {0.15, 0.3, 0.45, 0.9, 1.2};

    PolishRoutes(LayoutSwitcher& engine, LayoutOutput& output, PolishProtectedWords& words, PolishEditDelivery& delivery,
                 PolishCardController& card);
    ~PolishRoutes();
    PolishRoutes(const PolishRoutes&) = delete;
    PolishRoutes& operator=(const PolishRoutes&) = delete;

    // Gestures.
    void notePolishDown() { tap.notePolishDown(); }
    void notePolishUp() { tap.notePolishUp(); }
    void polishTriggered(PolishScopeMode mode = PolishScopeMode::lastSentenceIncremental);
    void cancelPendingPolish(const QString& reason) { tap.cancelPendingPolish(reason); }
    void noteSpaceTyped();

    // The clipboard route.
    void polishSelection(PolishScopeMode mode = PolishScopeMode::lastSentenceIncremental);

    // The accessibility route: true when it took charge (a request went out, nothing was to
    // do, polish is off, or the field is a password field); false when the caller may use
    // the clipboard route.
    bool polishViaAX(bool allowClipboard = true, PolishScopeMode mode = PolishScopeMode::lastSentenceIncremental);
    PolishPasteResult polishPasteOverRange(const AXElementPtr& el, AXRange range, const QString& text,
                                           const QString& alreadyDone, const QString& was, quint64 typedAt);
    PolishParagraphSelect polishSelectParagraphViaAX();
    // The paragraph around the UTF-16 location, without its line breaks.
    static AXRange paragraphRange(const QString& value, qint64 around);

    // Selecting a range of the field: by accessibility, else by arrow keys when allowed.
    PolishRangeSelect polishSelectRange(const AXElementPtr& el, AXRange range, const QString& tag, bool allowKeys);

    // A failed narrow write goes to the paste step before synthetic typing; read once from
    // MURMELO_POLISH_KEYS_FIRST ("0" turns it off).
    static bool polishKeysFirstFromEnvironment();
    bool polishKeysFirst = polishKeysFirstFromEnvironment();

    // The double-space gesture is built but switched off.
    static constexpr bool isPolishDoubleSpaceEnabled = false;
    static constexpr double POLISH_DOUBLE_SPACE_WINDOW = 0.6;
    static constexpr double POLISH_DOUBLE_SPACE_SETTLE = 0.15;
    bool doubleSpaceEnabled = isPolishDoubleSpaceEnabled;

    // Observer hook: a manual gesture goes here instead of polishing.
    std::function<void(PolishScopeMode)> polishGestureSink;

    PolishScope scope;
    PolishTap tap{*this};

private:
    struct AXJob;
    struct ClipboardWatch;

    void applyPolish(const QString& copied, bool hadSelection, const TemporaryClipboardLease::Token& lease,
                     PolishScopeMode mode);
    void applyAnswer(const std::shared_ptr<ClipboardJob>& job, const std::optional<QString>& answer);
    void afterCopy(const TemporaryClipboardLease::Token& lease, qint64 changeCount, PolishScopeMode mode, bool second);
    bool axNo(const QString& reason);
    void axAnswer(const std::shared_ptr<AXJob>& job, const std::optional<QString>& answer);
    void axSucceeded(const AXJob& job, const PolishResultValue& result);
    void refuseGate(const QString& reason, const QString& app);
    void polishConfirmPaste(const AXElementPtr& el, AXRange range, const QString& text, quint64 typedAt,
                            const QString& app, int read, const QString& was);
    bool polishSelectByKeys(const AXElementPtr& el, const QString& value, AXRange range, AXRange was,
                            const QString& tag);
    bool selectByArrows(const PolishSelect::KeyPlan& plan, const QString& want, const AXElementPtr& el,
                        const QString& tag);

    // The tap's owner: its gesture polishes, a recording dictation or a key between press and
    // release holds it back.
    void performPolish(PolishScopeMode mode) override { polishTriggered(mode); }
    bool isRecording() override;
    quint64 keyCount() override;

    void sendKey(quint16 keyCode, quint64 flags = 0);
    // Notes a write in the polish journal under the rule's name.
    static void journalNote(const QString& rule, const QString& before, const QString& after, qint64 at,
                            std::optional<qint64> pid);
    QString frontAppName() const;
    std::optional<qint64> frontPid() const;
    // The edit lock, held from the start of a polish to its end; the release frees only the
    // hold this polish took.
    bool beginCorrecting();
    void endCorrecting();
    // Work that waits on the main queue runs only while these routes exist.
    std::function<void()> guarded(std::function<void()> fn) const;

    LayoutSwitcher& engine_;
    LayoutOutput& output_;
    PolishProtectedWords& words_;
    PolishEditDelivery& delivery_;
    PolishCardController& card_;
    std::optional<quint64> lockToken_;
    std::optional<double> lastSpaceAt_;  // uptime
    std::shared_ptr<PolishRoutes*> self_;
};

// A text range as the polish log writes it: location+length.
QString polishRangeText(AXRange r);

}  // namespace murmelo
