#pragma once
#include "meetings/MeetingWindow.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>
#include <vector>

namespace murmelo {

namespace MeetingTranscriber {

inline constexpr const char* SPARSE_VAD_THRESHOLD = "0.5";
inline constexpr double WINDOW_REQUEST_TIMEOUT = 300;
inline constexpr double WINDOW_REQUEST_WAIT = 310;
inline constexpr double REVIVAL_WAIT = 20;

// The recognition server a channel is sent to.
struct RecognitionServer {
    QUrl endpoint;
    // Brings a server that went away back and waits for it, bounded; called on the
    // transcription's thread.
    std::function<void()> revive;
    // The local server of dictation: revived on the main thread, waited for here.
    static RecognitionServer local();
};

// Seconds of audio in a meeting WAV by its size (the header of an unfinished file may lag).
double duration(const QString& path);
std::vector<float> samples(const QString& path);
// The window [from, to) of a meeting WAV as a WAV of its own; none when nothing is there.
std::optional<QByteArray> slice(const QString& path, double from, double to);
// One channel in recognition windows, stitched; never on the main thread. label names the
// channel in the log ("микрофон", "система").
MeetingStitch transcribeChannel(const QString& path, const QString& label,
                                const RecognitionServer& server = RecognitionServer::local());

}  // namespace MeetingTranscriber
}  // namespace murmelo
