#pragma once
#include "base/Unbuilt.h"
#include "platform/Service.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace murmelo {

// What start-up, the one-shot modes and shutdown need of meetings. The constructor binds the
// built entries to the meetings library; the others do nothing or answer their empty value.
struct MeetingsSeam {
    static MeetingsSeam& shared() { return sharedService<MeetingsSeam>(); }
    MeetingsSeam();
    // A meeting-notes request ready to send.
    struct NotesDraft {
        qint64 characters = 0;
    };

    std::function<void()> meetingStoreStartupMaintenance = unbuilt("meetingStoreStartupMaintenance");
    std::function<QString()> meetingPreflightReport = [] { return QString(); };
    std::function<std::optional<qint64>()> meetingCallAppPID = [] { return std::nullopt; };
    std::function<QString(qint64 pid)> localizedApplicationName = [](qint64) { return QString(); };
    std::function<QStringList()> meetingCallWindowTitles = [] { return QStringList(); };
    std::function<QStringList(const QString& ocrText)> meetingParticipantCandidates = [](const QString&) {
        return QStringList();
    };
    // kind is "notes" or "summary".
    std::function<std::optional<NotesDraft>(const QString& folder, const QString& kind, QString* error)>
        meetingNotesDraft = [](const QString&, const QString&, QString* error) -> std::optional<NotesDraft> {
        if (error) *error = QStringLiteral("заметки по встречам в этой сборке недоступны");
        return std::nullopt;
    };
    std::function<QString()> meetingNotesModel = [] { return QString(); };
    // Sends on a worker and calls done there: the path of the file it wrote, or nothing with
    // the error.
    using NotesDone = std::function<void(std::optional<QString> written, QString error)>;
    std::function<void(const QString& folder, const QString& kind, NotesDone done)> meetingNotesSend =
        [](const QString&, const QString&, NotesDone done) {
            done(std::nullopt, QStringLiteral("заметки по встречам в этой сборке недоступны"));
        };
    // Rebuilds the session of a folder and transcribes it; the transcript's path, or nothing.
    std::function<std::optional<QString>(const QString& folder)> meetingRetranscribe =
        [](const QString&) -> std::optional<QString> { return std::nullopt; };
    // Names of the meeting folders whose recording has no transcript, in list order.
    std::function<QStringList()> meetingRecoveryPending = [] { return QStringList(); };
    std::function<int(int limitSeconds)> meetingRecoveryRun = [](int) { return 0; };
};

}  // namespace murmelo
