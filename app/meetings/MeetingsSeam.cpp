#include "meetings/MeetingsSeam.h"

#include "meetings/MeetingAudioSource.h"
#include "meetings/MeetingStore.h"

namespace murmelo {

MeetingsSeam::MeetingsSeam() {
    meetingStoreStartupMaintenance = [] { MeetingStore::startupMaintenance(); };
    meetingCallAppPID = [] { return MeetingAudioSource::callAppPID(); };
    localizedApplicationName = [](qint64 pid) { return MeetingAudioSource::localizedApplicationName(pid); };
}

}  // namespace murmelo
