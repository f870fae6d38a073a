#include "input/OwnedChords.h"

#include "base/Log.h"
#include "platform/EventTap.h"
#include "platform/KeyEventPoster.h"

namespace murmelo::OwnedChords {
namespace {

constexpr int kKeyZ = 6;

QStringList& lastConflicts() {
    static QStringList names;
    return names;
}

}  // namespace

const QList<Chord>& all() {
    // Command is Ctrl and Option is Alt on this keyboard.
    static const QList<Chord> chords{
        {kKeyZ, KeyFlags::command | KeyFlags::option, QStringLiteral("Ctrl+Alt+Z")},
        {kKeyZ, KeyFlags::command | KeyFlags::option | KeyFlags::shift, QStringLiteral("Ctrl+Alt+Shift+Z")},
    };
    return chords;
}

void grab() {
    QStringList refused;
    for (const Chord& c : all())
        if (!EventTap::shared().grabChord(c.keyCode, c.flags)) refused << c.name;
    if (refused == lastConflicts()) return;
    lastConflicts() = refused;
    if (refused.isEmpty()) logLine(QStringLiteral("сочетания программы: все наши"));
    else logLine(QStringLiteral("⚠ ") + conflictLine());
}

QStringList conflicts() { return lastConflicts(); }

QString conflictLine() {
    if (lastConflicts().isEmpty()) return {};
    return QStringLiteral("сочетание %1 держит другая программа — откат полировки дойдёт и до приложения в фокусе")
        .arg(lastConflicts().join(QStringLiteral(", ")));
}

void resetForTesting() { lastConflicts().clear(); }

}  // namespace murmelo::OwnedChords
