#include "meetings/MeetingChannelTranscription.h"

#include "base/Format.h"
#include "base/Log.h"
#include "dictation/LoopbackHttp.h"
#include "dictation/RecognitionLanguage.h"
#include "dictation/ServerManager.h"
#include "dictation/Wav.h"
#include "dictation/WhisperRequest.h"
#include "meetings/MeetingSpeech.h"
#include "platform/MainQueue.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

namespace murmelo::MeetingTranscriber {
namespace {

constexpr qint64 BYTES_PER_SECOND = 32000;

qint64 evenBytes(double seconds) { return qint64(seconds * double(BYTES_PER_SECOND)) & ~qint64(1); }

std::optional<QByteArray> send(const RecognitionServer& server, const QByteArray& wav, bool strictVAD, int attempt) {
    const QString boundary = WhisperRequest::boundary(QStringLiteral("Boundary-meeting-"));
    QList<FormField> fields{{QStringLiteral("response_format"), QStringLiteral("verbose_json")},
                            {QStringLiteral("temperature"), QStringLiteral("0")},
                            {QStringLiteral("beam_size"), QStringLiteral("5")}};
    if (strictVAD) fields.append({QStringLiteral("vad_threshold"), QString::fromLatin1(SPARSE_VAD_THRESHOLD)});
    if (const auto language = RecognitionLanguage::requestField()) fields.append({QStringLiteral("language"), *language});
    const HttpResult r = loopbackHttp("POST", server.endpoint, WhisperRequest::contentType(boundary),
                                      WhisperRequest::multipartBody(boundary, QStringLiteral("w.wav"), wav, fields),
                                      WINDOW_REQUEST_TIMEOUT, WINDOW_REQUEST_WAIT);
    if (attempt == 0 && !r.responded && r.serverGone()) {
        logLine(QStringLiteral("встреча: сайдкар не ответил на окне - поднимаю и повторяю"));
        if (server.revive) server.revive();
        return send(server, wav, strictVAD, 1);
    }
    if (!r.responded) return std::nullopt;
    return r.body;
}

}  // namespace

RecognitionServer RecognitionServer::local() {
    return {SERVER(), [] {
                // The manager is the main thread's; this thread only waits for the server.
                MainQueue::shared().post([] { ServerManager::shared().reviveIfNeeded(); });
                ServerManager::shared().waitReady(REVIVAL_WAIT);
            }};
}

double duration(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists() || info.size() < 45) return 0;
    return double(info.size() - 44) / double(BYTES_PER_SECOND);
}

std::vector<float> samples(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray d = f.readAll();
    std::vector<float> out;
    if (d.size() <= 44) return out;
    out.reserve(size_t((d.size() - 44) / 2));
    for (qsizetype at = 44; at + 1 < d.size(); at += 2)
        out.push_back(float(qFromLittleEndian<qint16>(d.constData() + at)) / 32768.0f);
    return out;
}

std::optional<QByteArray> slice(const QString& path, double from, double to) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    const qint64 startByte = evenBytes(from);
    const qint64 length = evenBytes(to - from);
    if (length < 1 || !f.seek(44 + startByte)) return std::nullopt;
    const QByteArray data = f.read(length);
    if (data.isEmpty()) return std::nullopt;
    return wavHeader(data.size()) + data;
}

MeetingStitch transcribeChannel(const QString& path, const QString& label, const RecognitionServer& server) {
    const double d = duration(path);
    if (d <= 0) return {};
    std::vector<MeetingWindow::Slot> plan;
    bool strictVAD = false;
    const std::vector<double> levels = MeetingSpeech::levels(path);
    const double share = MeetingSpeech::loudShare(levels);
    if (!levels.empty() && share < MeetingSpeech::DENSE_SHARE) {
        const auto regions = MeetingSpeech::regions(levels);
        plan = MeetingWindow::plan(regions);
        strictVAD = true;
        logLine(formatSpec(QStringLiteral("встреча/%@: речи %.0f%% времени, кусков %d - режу по речи"),
                           {label, share * 100.0, qlonglong(regions.size())}));
    } else {
        for (const auto& [start, end] : MeetingWindow::plan(d)) plan.push_back({start, end, !plan.empty()});
    }
    if (plan.empty()) {
        logLine(QStringLiteral("встреча/") + label + QStringLiteral(": речи не найдено вовсе"));
        return {};
    }
    std::vector<std::vector<MeetingWord>> chunks;
    chunks.reserve(plan.size());
    const int n = int(plan.size());
    for (int i = 0; i < n; ++i) {
        const auto& slot = plan[size_t(i)];
        std::optional<QByteArray> reply;
        if (const auto data = slice(path, slot.start, slot.end)) reply = send(server, *data, strictVAD, 0);
        if (reply) {
            chunks.push_back(MeetingWindow::words(*reply, slot.start));
        } else {
            logLine(QStringLiteral("⚠ встреча/") + label + QStringLiteral(": окно ") + QString::number(i + 1) + QStringLiteral("/") +
                    QString::number(n) + QStringLiteral(" (") + QString::number(qint64(slot.start)) + QStringLiteral("-") +
                    QString::number(qint64(slot.end)) + QStringLiteral(" с) не распознано"));
            chunks.emplace_back();
        }
    }
    MeetingStitch stitch = MeetingWindow::stitch(chunks, plan);
    logLine(QStringLiteral("встреча/") + label + QStringLiteral(": ") + QString::number(n) + QStringLiteral(" окон, ") +
            QString::number(stitch.words.size()) + QStringLiteral(" слов, ") + QStringLiteral("ненадёжных швов ") +
            QString::number(stitch.unreliableSeams()));
    return stitch;
}

}  // namespace murmelo::MeetingTranscriber
