#pragma once
#include <QList>
#include <QString>
#include <QUrl>

namespace murmelo {

// Whether everything is in place to record and transcribe a meeting: seven checks, none of
// which ever stops a recording.
namespace MeetingPreflight {

struct Check {
    QString name;
    bool ok = false;
    bool fatal = false;  // the failure makes the recording useless rather than degraded
    QString detail;
    bool operator==(const Check&) const = default;
};

// What the checks are made from, as the machine answers now.
struct Facts {
    bool systemAudio = false;   // the default output's monitor opens
    bool microphone = false;    // there is a default input device
    QString inputName;          // as the log names the default input
    bool serverAnswers = false;
    double freeGB = 0;          // at the meetings root
    int untranscribed = 0;      // recordings without a transcript, the one being recorded aside
    bool cloudAllowed = false;
    bool providerReady = false;
};

// The recognition server's root, which answers while the server is up.
QUrl serverRoot();
// Any HTTP answer within 3 s counts, whatever its status. Safe on the main thread: the
// exchange runs on a thread of its own while this one waits.
bool ping(const QUrl& url);
// Space available at the path in GB (2^30 bytes); 0 when it cannot be read.
double freeGB(const QString& path);

Facts gather(const QUrl& server = serverRoot());
QList<Check> checks(const Facts& facts);
// Header, failed checks first (otherwise in order), an empty line and the summary.
QString format(const QList<Check>& checks);

QList<Check> run();
QString report();
// At a recording's start: runs the checks on a worker and logs the ones that failed, so no
// check delays the recording.
void runAfterStart();
void logFailures(const QList<Check>& checks);

}  // namespace MeetingPreflight
}  // namespace murmelo
