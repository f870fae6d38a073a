#include "meetings/MeetingPreflight.h"

#include "ai/AIProvider.h"
#include "base/Log.h"
#include "dictation/AudioRoute.h"
#include "dictation/LoopbackHttp.h"
#include "dictation/WhisperRequest.h"
#include "meetings/MeetingNotes.h"
#include "meetings/MeetingStore.h"
#include "meetings/SystemAudioTap.h"
#include "platform/AudioInput.h"

#include <QFile>
#include <QFileInfo>
#include <QThreadPool>
#include <algorithm>
#include <future>
#include <sys/statvfs.h>

namespace murmelo::MeetingPreflight {

namespace {

constexpr double kPingTimeout = 2.0;
constexpr double kPingWait = 3.0;

bool monitorOpens() {
    SystemAudioTap tap;
    MeetingError error;
    const bool opened = tap.start([](const float*, size_t) {}, &error);
    tap.stop();
    return opened;
}

bool answers(const QUrl& url) { return loopbackHttp("GET", url, {}, {}, kPingTimeout, kPingWait).responded; }

}  // namespace

QUrl serverRoot() { return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(SERVER_PORT)); }

bool ping(const QUrl& url) {
    // The exchange runs an event loop of its own, which the main thread must not.
    return std::async(std::launch::async, answers, url).get();
}

double freeGB(const QString& path) {
    struct statvfs fs {};
    if (::statvfs(QFile::encodeName(path).constData(), &fs) != 0) return 0;
    return double(fs.f_bavail) * double(fs.f_frsize) / double(1ULL << 30);
}

Facts gather(const QUrl& server) {
    // The ping waits up to 3 s; the other checks take their answers meanwhile.
    auto ping = std::async(std::launch::async, answers, server);
    Facts f;
    f.systemAudio = monitorOpens();
    f.microphone = AudioInput::shared().defaultInputDevice().has_value();
    f.inputName = AudioRoute::currentInputName();
    // The meetings root may not exist before the first recording; its nearest folder's volume
    // is the one it will be made on.
    QString at = MeetingStore::root();
    while (!QFileInfo::exists(at) && QFileInfo(at).absolutePath() != at) at = QFileInfo(at).absolutePath();
    f.freeGB = freeGB(at);
    const QList<MeetingStore::Folder> orphans = MeetingStore::orphans();
    f.untranscribed = int(std::count_if(orphans.begin(), orphans.end(),
                                        [](const MeetingStore::Folder& o) { return !MeetingStore::isRecording(o); }));
    f.cloudAllowed = MeetingNotes::cloudAllowed();
    f.providerReady = AIProvider::isReady();
    f.serverAnswers = ping.get();
    return f;
}

QList<Check> checks(const Facts& f) {
    QList<Check> out;
    out << Check{QStringLiteral("звук собеседника (монитор вывода)"), f.systemAudio, false,
                 f.systemAudio ? QStringLiteral("есть - собеседник пишется отдельным каналом")
                               : QStringLiteral("НЕТ - запись пойдёт только с микрофона, в наушниках собеседника не будет")};
    out << Check{QStringLiteral("микрофон"), f.microphone, true,
                 f.microphone ? QStringLiteral("есть") : QStringLiteral("НЕТ - записывать нечем")};
    out << Check{QStringLiteral("устройство входа"), !f.inputName.isEmpty(), true,
                 f.inputName.isEmpty() ? QStringLiteral("не определено") : f.inputName};
    out << Check{QStringLiteral("распознавание (whisper)"), f.serverAnswers, false,
                 f.serverAnswers ? QStringLiteral("отвечает")
                                 : QStringLiteral("молчит - запись сохранится, расшифровка будет позже")};
    const bool roomy = f.freeGB >= 1.0;
    out << Check{QStringLiteral("место на диске"), roomy, !roomy,
                 QString::asprintf("%.0f", f.freeGB) + QStringLiteral(" ГБ свободно (получас записи ≈ 0.11 ГБ)")};
    out << Check{QStringLiteral("записи без расшифровки"), f.untranscribed == 0, false,
                 f.untranscribed == 0 ? QStringLiteral("нет")
                                      : QString::number(f.untranscribed) +
                                            QStringLiteral(" шт. - разговор на диске есть, текста нет")};
    out << Check{QStringLiteral("заметки облачной моделью"), true, false,
                 !f.cloudAllowed     ? QStringLiteral("выключены - наружу ничего не уйдёт")
                 : f.providerReady ? QStringLiteral("разрешены, ключ есть")
                                   : QStringLiteral("разрешены, НО КЛЮЧА НЕТ")};
    return out;
}

QString format(const QList<Check>& checks) {
    QList<Check> sorted = checks;
    std::stable_sort(sorted.begin(), sorted.end(), [](const Check& a, const Check& b) { return !a.ok && b.ok; });
    QStringList lines{QStringLiteral("=== готовность к записи встречи ===")};
    int failed = 0;
    bool fatal = false;
    for (const Check& c : sorted) {
        const QString symbol = c.ok ? QStringLiteral("✓") : c.fatal ? QStringLiteral("✗") : QStringLiteral("⚠");
        lines << symbol + QLatin1Char(' ') + c.name + QStringLiteral(": ") + c.detail;
        if (!c.ok) {
            ++failed;
            fatal = fatal || c.fatal;
        }
    }
    if (failed > 0)
        lines << QStringLiteral("\nне в порядке: ") + QString::number(failed) + QStringLiteral(" из ") +
                     QString::number(checks.size()) + (fatal ? QStringLiteral(" (есть смертельное)") : QString());
    else
        lines << QStringLiteral("\nвсё на месте");
    return lines.join(QLatin1Char('\n'));
}

QList<Check> run() { return checks(gather()); }

QString report() { return format(run()); }

void logFailures(const QList<Check>& checks) {
    for (const Check& c : checks)
        if (!c.ok)
            logLine((c.fatal ? QStringLiteral("⚠ ВСТРЕЧА") : QStringLiteral("встреча")) + QStringLiteral(": ") + c.name +
                    QStringLiteral(" - ") + c.detail);
}

void runAfterStart() {
    QThreadPool::globalInstance()->start([] { logFailures(run()); });
}

}  // namespace murmelo::MeetingPreflight
