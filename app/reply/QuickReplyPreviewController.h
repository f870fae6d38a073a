#pragma once
#include "ai/QuickReplyResult.h"

#include <QString>
#include <optional>

namespace murmelo {

// Screen reply's side of the cloud result card: fills it with a reply, inserts what the user
// accepts into the application the reply was made for, and shows failures in the same card.
// Holds no state of its own: the card does. Main thread only.
class QuickReplyPreviewController {
public:
    static QuickReplyPreviewController& shared();

    // Seconds between activating the target and pasting into it.
    static constexpr double insertDelay = 0.14;

    void showResult(const QuickReplyResult& result, qint32 targetPID, const std::optional<QString>& contextLabel);
    void showError(const QString& message, bool offerSettings);
    void cancel();
    bool isVisible() const;

private:
    QuickReplyPreviewController() = default;
    void insert(const QString& text, qint32 pid);
    void putOnClipboard(const QString& text);
};

}  // namespace murmelo
