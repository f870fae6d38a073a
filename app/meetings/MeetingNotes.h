#pragma once
#include "meetings/MeetingStore.h"

#include <QJsonObject>
#include <QString>
#include <optional>
#include <utility>

namespace murmelo {

// Notes or a short summary of one meeting, made from its local transcript by one request to
// the cloud model and written into the meeting folder under a fixed header. Also builds the
// exact request unsent, so that the user can see what would leave the machine.
namespace MeetingNotes {

enum class Kind { notes, summary };
QString rawValue(Kind kind);
std::optional<Kind> kindFromRaw(const QString& raw);
QString title(Kind kind);
QString fileName(Kind kind);
QString promptFile(Kind kind);
int maxOutput(Kind kind);

QString MODEL();
inline constexpr int MAX_OUTPUT = 4000;
inline const char* const SEND_ARGUMENT = "--meeting-notes-send";
inline const QString BACKEND_PATH = QStringLiteral("meeting-notes");
// The cloud service's Responses endpoint.
QUrl endpoint();
// A transcript is a long upload and a long answer: the transfer may idle this long, and the
// whole exchange ends at the deadline.
inline constexpr double IDLE_TIMEOUT_SECONDS = 180.0;
inline constexpr double DEADLINE_SECONDS = 600.0;

struct Failure {
    enum class Case { notReady, transport, api, noTranscript, noPrompt, emptyAnswer, writeFailed };
    Case which = Case::transport;
    QString text;  // notReady, transport, api (the message), writeFailed
    int status = 0;
    QString description() const;
};

struct Draft {
    QString instructions;
    QString input;
    QJsonObject payload;
    // Where the request goes: the user's own backend on that route, else the endpoint.
    QString destination;
    qint64 characters() const;
    QString readable() const;
};

std::optional<QString> promptText(Kind kind);
std::optional<Draft> draft(const MeetingStore::Folder& folder, Kind kind, Failure* failure);
Draft draft(const QString& transcript, const QString& prompt, const std::optional<MeetingStore::Meta>& meta, Kind kind);
// Blocks the calling thread on the network (never the main thread): the written file's path.
std::optional<QString> send(const MeetingStore::Folder& folder, Kind kind, Failure* failure);
bool cloudAllowed();
bool wasOffered(const MeetingStore::Folder& folder);
std::optional<QString> text(const QByteArray& body);
std::optional<QString> apiError(const QByteArray& body);
std::pair<std::optional<QString>, QString> splitTitle(const QString& reply);
QString header(const MeetingStore::Folder& folder, Kind kind);
QStringList corrections(const QString& notes);

// Tests shorten the transfer limits (nullopt: the ones above).
void setTimeoutsForTesting(std::optional<std::pair<double, double>> idleAndDeadline);

}  // namespace MeetingNotes
}  // namespace murmelo
