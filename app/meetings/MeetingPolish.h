#pragma once
#include "vocabulary/CorrectorManager.h"

#include <QSet>
#include <QString>

namespace murmelo {

// The punctuation pass of meeting transcripts through the local corrector: each Russian turn
// is sent and the answer kept only when its word count stayed close. When dictation polish is
// off the corrector is not running; a transcription run borrows it and returns it. Every call
// blocks its thread (never the main thread) for a bounded time.
namespace MeetingPolish {

inline constexpr int MIN_CHARS = 20;
inline constexpr double MAX_GROWTH = 1.4;
inline constexpr double MIN_SHRINK = 0.8;
inline constexpr double CORRECTOR_WAIT = 15.0;

// "meetingPolish": a stored Boolean, else on.
bool isEnabled();
bool shouldPolish(const QSet<QString>& languages, const QString& text);
bool languageDisagrees(const QSet<QString>& languages, const QString& text);
// The corrected text, or the text as it was.
QString fix(const QString& text, quint16 port = CORRECTOR_PORT);
bool acceptable(const QString& original, const QString& fixed);
// Whether this run started the corrector.
bool borrowCorrector(CorrectorManager& manager = CorrectorManager::shared(), quint16 port = CORRECTOR_PORT,
                     double wait = CORRECTOR_WAIT);
void returnCorrector(bool borrowed, CorrectorManager& manager = CorrectorManager::shared());

}  // namespace MeetingPolish
}  // namespace murmelo
