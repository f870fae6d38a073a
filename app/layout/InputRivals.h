#pragma once
#include "platform/Processes.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace murmelo {

// Other programs that watch or grab the keyboard and edit the same keystrokes as the
// switcher: layout switchers and key remappers. Found by process name in the process table,
// reported in the log when the set changes and kept as a warning line in the status menu.
// Main thread only.
namespace InputRivals {

struct Known {
    QString process;  // the executable's name as the process table shows it
    QString name;     // what the user reads
};
// Our list of Linux layout switchers and key remappers.
const QList<Known>& known();

inline constexpr double checkInterval = 60.0;

// The display name of a process, when it is a known rival.
std::optional<QString> rivalName(const ProcessRow& row);
// Sorted distinct names of the rivals in the table, our own process excluded.
QStringList running(const Processes& processes);
// Those of the process table, then the programs that hold a chord of ours (OwnedChords).
QStringList running();
// Logs and refreshes the menu line when the set changed, or always when forced.
void report(bool force = false);
// The forced first report, then a check every minute for the life of the process.
void start();
// The warning for the last reported set; none while it is empty.
std::optional<QString> menuLine();
// Sets the status menu's rival line to menuLine(), hidden when there is none.
void refreshRivalItem();
const QStringList& lastReported();
void resetForTesting();

}  // namespace InputRivals
}  // namespace murmelo
