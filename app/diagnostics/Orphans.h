#pragma once
#include "platform/Processes.h"

#include <QList>
#include <QProcessEnvironment>
#include <QStringList>
#include <optional>

namespace murmelo::Orphans {

using ProcRow = ProcessRow;

enum class ServerKind { none, recognition, corrector };

// The environment variable a server owner sets to its own process id when it starts a
// server, so that a server whose owner died is recognised even where orphans are adopted
// by a session's reaper rather than by process 1.
inline constexpr const char* OWNER_ENV = "MURMELO_SERVER_OWNER";
void markOwner(QProcessEnvironment& environment);

// The programs this application starts as its servers. A binary is recognised by the
// resolved path of the running executable; a script ("….py") by being the first argument
// of a Python interpreter. Defaults: "whisper-server" and "corrector-server" beside the
// application's executable.
void setServerPrograms(const QStringList& recognition, const QStringList& corrector);
// Sets the recognition server's programs and keeps the corrector's as they are.
void setRecognitionPrograms(const QStringList& recognition);
// Sets the corrector server's programs and keeps the recognition server's as they are.
void setCorrectorPrograms(const QStringList& corrector);
void resetServerPrograms();

// Only our own servers count: same user, one of the programs above.
ServerKind serverKind(const ProcRow& row);
bool isSidecar(const ProcRow& row);
// The process that started the server is gone: adopted by process 1, or its parent is no
// longer the owner named in its environment.
bool isParentGone(const ProcRow& row);

std::optional<QList<ProcRow>> processTable();
// Our servers whose parent is gone, in row order; never this process, nor process 0 or 1.
QList<ProcRow> orphans(const QList<ProcRow>& rows, qint32 selfPid);
QList<qint32> orphanPids(const QList<ProcRow>& rows, qint32 selfPid);
QList<qint32> pidsOf(const QList<ProcRow>& rows);

// The launch-time sweep: kills orphaned servers and logs them.
void sweep();

// Of the listeners on a port, the ones that may be killed to free it: our own servers
// that are orphaned or children of this process. Another program is never a target.
QList<ProcRow> portKillTargets(const QList<qint32>& listeners, const QList<ProcRow>& rows, qint32 selfPid);
// Frees a TCP port for a server about to start; blocks while the table is read.
void freePort(quint16 port, std::optional<qint32> selfPid = std::nullopt);

}  // namespace murmelo::Orphans
