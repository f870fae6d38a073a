#pragma once
#include <QString>
#include <optional>

namespace murmelo {

// Whether a ready screen reply is typed straight into the focused field.
namespace ScreenReplyAutoInsertPolicy {
inline const QString key = QStringLiteral("screenReply.autoInsertIntoField");
// On when the key was never written.
bool isEnabled();
void setEnabled(bool on);
}  // namespace ScreenReplyAutoInsertPolicy

// The focused field of the reply's target as the probe found it.
struct FocusedFieldSnapshot {
    std::optional<qint32> frontmostPID;
    bool isEditableTextField = false;
    bool isSecure = false;
    bool operator==(const FocusedFieldSnapshot&) const = default;

    // A field that was not probed.
    static FocusedFieldSnapshot unknown() { return {}; }
};

enum class ScreenReplyDelivery { preview, insertIntoField };

// The pure choice between the preview card and direct insertion, and its reason in words.
// Direct insertion only with everything verified; in doubt, the preview.
namespace ScreenReplyDeliveryDecision {
ScreenReplyDelivery decide(bool autoInsertEnabled, qint32 targetPID, const FocusedFieldSnapshot& focus,
                           bool needsConfirmation, bool replyIsEmpty);
QString reason(bool autoInsertEnabled, qint32 targetPID, const FocusedFieldSnapshot& focus, bool needsConfirmation,
               bool replyIsEmpty);
}  // namespace ScreenReplyDeliveryDecision

}  // namespace murmelo
