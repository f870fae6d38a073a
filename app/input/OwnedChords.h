#pragma once
#include <QList>
#include <QString>
#include <QStringList>

namespace murmelo {

// Chords the tap keeps for the program itself. A desktop whose tap can only observe (X11)
// must grab them, or the focused application acts on them too; a grab another program
// already holds is a conflict the user is told about.
namespace OwnedChords {

struct Chord {
    int keyCode = 0;
    quint64 flags = 0;
    QString name;  // as the user presses it on this keyboard
};

// The polish underline revert, Command-Option-Z, with and without Shift.
const QList<Chord>& all();
// Names every owned chord to the installed tap. A chord another program holds is logged
// when the set of such chords changes, and kept for conflicts().
void grab();
// The names of the owned chords that another program holds, as of the last grab().
QStringList conflicts();
// The warning for the conflicts; empty when there are none.
QString conflictLine();

void resetForTesting();

}  // namespace OwnedChords
}  // namespace murmelo
