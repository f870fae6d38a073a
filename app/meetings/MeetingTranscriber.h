#pragma once
#include <QDateTime>
#include <QString>

namespace murmelo {

// The transcriber's texts for a meeting's date and length, shared by every text written
// about a meeting.
namespace MeetingTranscriber {

// The current locale's long date and short time.
QString dateText(const QDateTime& date);
// Seconds under half a minute, else whole minutes, from an hour on hours and minutes.
QString durationText(double seconds);

}  // namespace MeetingTranscriber
}  // namespace murmelo
