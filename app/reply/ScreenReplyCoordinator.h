#pragma once
#include "ai/QuickReplyResult.h"

#include <QString>
#include <optional>

namespace murmelo {

// The screen reply's flow from a spoken command to a delivered reply. Main thread only.
class ScreenReplyCoordinator {
public:
    static ScreenReplyCoordinator& shared();

    // Hands a finished reply on: typed straight into the focused field when the user wants
    // that and the field is verifiably an ordinary one of the target, else shown in the
    // preview card. The reason is logged either way.
    void deliver(const QuickReplyResult& result, qint32 targetPID, const std::optional<QString>& contextLabel);

private:
    ScreenReplyCoordinator() = default;
};

}  // namespace murmelo
