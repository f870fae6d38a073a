#pragma once
#include "input/DeliveryRepair.h"
#include "input/TextWriteTrace.h"

#include <QString>
#include <optional>

namespace murmelo {

// Re-reads the focused field after a dictation was written and repairs a lost or
// truncated insertion once through the clipboard; otherwise the repair card is offered.
// Main queue only.
namespace DeliveryAudit {

inline constexpr double AUDIT_DELAY = 0.45;

void auditDictationDelivery(const QString& expected, const QString& app, std::optional<TextWriteTraceToken> trace,
                            std::optional<DeliveryRepair::FieldSnapshot> before, int attempt = 0,
                            double delay = AUDIT_DELAY);

// The user's own typing: the key stream advances it for every physical key.
quint64 typedGen();
void noteUserTyped();
// While another owner watches corrections (the layout switcher's test hook), no audit runs.
bool hasCorrectionSink();
void setCorrectionSink(bool installed);

}  // namespace DeliveryAudit
}  // namespace murmelo
