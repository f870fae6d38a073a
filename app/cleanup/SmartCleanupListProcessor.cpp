#include "cleanup/SmartCleanupProcessors.h"

#include "base/Log.h"

#include <atomic>

namespace murmelo {

// Spoken lists are not shaped yet: the text passes on unchanged, and the first run says so.
SmartCleanupProcessorResult SmartCleanupListProcessor::process(const QString& text, const SmartCleanupContext&) const {
    static std::atomic_bool said{false};
    if (!said.exchange(true)) logLine(QStringLiteral("Smart Cleanup: списки ещё не распознаются, текст проходит без изменений"));
    return SmartCleanupProcessorResult::unchanged(text);
}

}  // namespace murmelo
