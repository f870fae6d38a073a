#pragma once
#include <QString>

namespace murmelo {

class Defaults;

// The claim that the program is busy with user-initiated, latency-critical work while a
// dictation is recorded and delivered. A fuse releases a claim no path ended after 90 s.
namespace DictationActivity {

inline constexpr double FUSE_SECONDS = 90;
inline const QString KEY = QStringLiteral("dictationActivity");
inline const QString REASON = QStringLiteral("dictation: key held, recording and delivering");

// The setting: only a stored Boolean false turns it off.
bool enabled(const Defaults& defaults);
void begin();
void end();

bool isHeld();
// How many claims were begun and ended, for tests.
int beginsForTesting();
void resetForTesting();

}  // namespace DictationActivity
}  // namespace murmelo
