#include "dictation/Wav.h"

#include "base/Log.h"
#include "platform/MainQueue.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <cmath>
#include <memory>

namespace murmelo {
namespace {

quint32 u32At(const QByteArray& d, qsizetype at) { return qFromLittleEndian<quint32>(d.constData() + at); }
quint16 u16At(const QByteArray& d, qsizetype at) { return qFromLittleEndian<quint16>(d.constData() + at); }

void putU32(QByteArray& d, qsizetype at, quint32 v) { qToLittleEndian<quint32>(v, d.data() + at); }

void appendU32(QByteArray& d, quint32 v) {
    char b[4];
    qToLittleEndian<quint32>(v, b);
    d.append(b, 4);
}

void appendU16(QByteArray& d, quint16 v) {
    char b[2];
    qToLittleEndian<quint16>(v, b);
    d.append(b, 2);
}

constexpr qint64 TRIM_BYTES_PER_SECOND = 32000;
constexpr qint64 TRIM_MIN_CUT = 9600;

}  // namespace

QByteArray wavHeader(qint64 dataBytes, qint64 sampleRate, int channels, int bits) {
    QByteArray h;
    h.reserve(44);
    h.append("RIFF", 4);
    appendU32(h, quint32(dataBytes + 36));
    h.append("WAVE", 4);
    h.append("fmt ", 4);
    appendU32(h, 16);
    appendU16(h, 1);
    appendU16(h, quint16(channels));
    appendU32(h, quint32(sampleRate));
    appendU32(h, quint32(sampleRate * channels * bits / 8));
    appendU16(h, quint16(channels * bits / 8));
    appendU16(h, quint16(bits));
    h.append("data", 4);
    appendU32(h, quint32(dataBytes));
    return h;
}

std::optional<WavRange> wavPCM16PayloadRange(const QByteArray& data) {
    const qsizetype n = data.size();
    if (n < 12 || !data.startsWith("RIFF") || data.mid(8, 4) != "WAVE") return std::nullopt;
    std::optional<WavRange> payload;
    bool pcm16 = false;
    qsizetype at = 12;
    while (n - at >= 8) {
        const qint64 size = u32At(data, at + 4);
        const qint64 following = n - at - 8;
        if (size > following) return std::nullopt;
        const char* id = data.constData() + at;
        if (memcmp(id, "data", 4) == 0) payload = WavRange{at + 8, at + 8 + qsizetype(size)};
        if (memcmp(id, "fmt ", 4) == 0 && size >= 16) pcm16 = u16At(data, at + 8) == 1 && u16At(data, at + 22) == 16;
        const qint64 padded = size + (size & 1);
        if (padded > following) return std::nullopt;
        at += 8 + qsizetype(padded);
    }
    if (payload && pcm16) return payload;
    return std::nullopt;
}

AudioLevels audioLevels(const QByteArray& data) {
    const auto range = wavPCM16PayloadRange(data);
    if (!range || range->size() < 2) return {};
    const char* p = data.constData() + range->start;
    const qsizetype count = range->size() / 2;
    int largest = 0;
    qint64 sum = 0;
    for (qsizetype i = 0; i < count; ++i) {
        const int magnitude = std::abs(int(qFromLittleEndian<qint16>(p + 2 * i)));
        if (magnitude > largest) largest = magnitude;
        sum += magnitude;
    }
    const float mean = float(double(sum) / double(count));
    return AudioLevels{float(largest) / 32768.0f, mean / 32768.0f};
}

float audioPeak(const QByteArray& data) { return audioLevels(data).peak; }

std::optional<QByteArray> trimWavToSeconds(const QByteArray& data, double seconds) {
    if (!(seconds > 0)) return std::nullopt;
    const auto range = wavPCM16PayloadRange(data);
    if (!range) return std::nullopt;
    const double wanted = seconds * double(TRIM_BYTES_PER_SECOND);
    // More than the largest file can hold keeps everything, which is no cut.
    if (wanted >= double(range->size()) + 1) return std::nullopt;
    qint64 keep = qint64(wanted);
    keep -= keep % 2;
    if (keep <= 0 || qint64(range->size()) - keep <= TRIM_MIN_CUT) return std::nullopt;
    QByteArray out = data.left(range->start + keep);
    putU32(out, range->start - 4, quint32(keep));
    putU32(out, 4, quint32(out.size() - 8));
    return out;
}

bool wavIsComplete(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) return false;
    const qint64 fileSize = info.size();
    if (fileSize <= 44) return false;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray head = f.read(16384);
    f.close();
    if (head.size() < 44) return false;
    if (!head.startsWith("RIFF") || head.mid(8, 4) != "WAVE") return false;
    qsizetype at = 12;
    while (at + 8 <= head.size()) {
        const qint64 size = u32At(head, at + 4);
        if (memcmp(head.constData() + at, "data", 4) == 0) return size != 0 && size == fileSize - (at + 8);
        if (size == 0 || size >= fileSize) return false;
        at += 8 + qsizetype(size + (size & 1));
    }
    return false;
}

namespace {

struct ReadyWait {
    QString path;
    std::function<void()> then;
    double start = 0;
};

void finishWait(const std::shared_ptr<ReadyWait>& wait, bool complete) {
    // The nudge keeps float error from turning 60 ms into 59.
    const qint64 ms = qint64((Clock::shared().uptime() - wait->start) * 1000.0 + 1e-6);
    if (ms > 0) {
        QString line = QStringLiteral("запись: файл дописан через ") + QString::number(ms) + QStringLiteral(" мс");
        if (!complete && !wavIsComplete(wait->path)) line += QStringLiteral(" — ПОТОЛОК, заголовок так и не сошёлся");
        logLine(line);
    }
    wait->then();
}

void checkReady(const std::shared_ptr<ReadyWait>& wait) {
    if (wavIsComplete(wait->path)) return finishWait(wait, true);
    // The tolerance keeps thirty steps of 0.01 s from falling just short of the limit.
    if (Clock::shared().uptime() - wait->start >= WAV_READY_TIMEOUT - 1e-9) return finishWait(wait, false);
    MainQueue::shared().after(WAV_READY_STEP, [wait] { checkReady(wait); });
}

}  // namespace

void whenWavReady(const QString& path, std::function<void()> then) {
    auto wait = std::make_shared<ReadyWait>(ReadyWait{path, std::move(then), Clock::shared().uptime()});
    checkReady(wait);
}

}  // namespace murmelo
