#pragma once
#include <QString>
#include <optional>

namespace murmelo {

// Dictation recordings the user keeps for good: a `recordings` folder beside the logs.
// Nothing deletes them. Main thread only.
namespace Recordings {

inline const QString KEY = QStringLiteral("keepRecordings");

QString dir();
bool keepEnabled();
// Moves the recording into the folder as "rec-" + milliseconds + ".wav", never over a file
// that is there already; none when it could not be moved (the recording stays where it was).
std::optional<QString> keep(const QString& recording);

struct Summary {
    int count = 0;
    qint64 bytes = 0;
};
Summary summary();

}  // namespace Recordings
}  // namespace murmelo
