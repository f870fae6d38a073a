#include "meetings/MeetingsSeam.h"

#include "meetings/MeetingAudioSource.h"
#include "meetings/MeetingNotes.h"
#include "meetings/MeetingParticipants.h"
#include "meetings/MeetingPreflight.h"
#include "meetings/MeetingStore.h"

#include <QThreadPool>

namespace murmelo {

MeetingsSeam::MeetingsSeam() {
    meetingStoreStartupMaintenance = [] { MeetingStore::startupMaintenance(); };
    meetingPreflightReport = [] { return MeetingPreflight::report(); };
    meetingCallWindowTitles = [] { return MeetingParticipants::CALL_WINDOW_TITLES(); };
    meetingParticipantCandidates = [](const QString& text) { return MeetingParticipants::candidates(text); };
    meetingCallAppPID = [] { return MeetingAudioSource::callAppPID(); };
    localizedApplicationName = [](qint64 pid) { return MeetingAudioSource::localizedApplicationName(pid); };
    meetingNotesDraft = [](const QString& folder, const QString& kind, QString* error) -> std::optional<NotesDraft> {
        MeetingNotes::Failure failure;
        const auto draft = MeetingNotes::draft(MeetingStore::Folder(folder),
                                               MeetingNotes::kindFromRaw(kind).value_or(MeetingNotes::Kind::notes), &failure);
        if (!draft) {
            if (error) *error = failure.description();
            return std::nullopt;
        }
        return NotesDraft{draft->characters()};
    };
    meetingNotesModel = [] { return MeetingNotes::MODEL(); };
    // The request blocks for minutes: never on the main thread.
    meetingNotesSend = [](const QString& folder, const QString& kind, NotesDone done) {
        QThreadPool::globalInstance()->start([folder, kind, done] {
            MeetingNotes::Failure failure;
            const auto written = MeetingNotes::send(MeetingStore::Folder(folder),
                                                    MeetingNotes::kindFromRaw(kind).value_or(MeetingNotes::Kind::notes), &failure);
            done(written, written ? QString() : failure.description());
        });
    };
}

}  // namespace murmelo
