#pragma once
#include <QString>

namespace murmelo {

// A failure of the meeting recorder itself: the type that raised it ("MeetingCapture",
// "MeetingChannel", "SystemAudioTap", "MeetingWAV"), a small code and a Russian description.
struct MeetingError {
    QString domain;
    int code = 0;
    QString description;
};

}  // namespace murmelo
