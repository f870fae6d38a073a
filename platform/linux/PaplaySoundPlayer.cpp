#include "linux/PaplaySoundPlayer.h"

#include "platform/Folders.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QtEndian>

#include <cmath>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace murmelo::linuxdesktop {
namespace {

constexpr int RATE = 22050;

struct Tone {
    const char* name;
    double startHz;
    double endHz;
    double seconds;
    double decay;  // per second, of the amplitude's exponential fade
};

// Short and distinct: a low pop, a high tink, and a longer falling bottle note for a rollback.
constexpr Tone TONES[] = {
    {"Pop", 520, 380, 0.07, 45},
    {"Tink", 2100, 2100, 0.09, 40},
    {"Bottle", 330, 260, 0.22, 14},
};

void putLE32(QByteArray& out, quint32 v) {
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}
void putLE16(QByteArray& out, quint16 v) {
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

class PaplaySound : public Sound {
public:
    explicit PaplaySound(QString path) : path_(std::move(path)) {}
    ~PaplaySound() override { stop(); }

    bool isPlaying() override {
        if (pid_ <= 0) return false;
        if (waitpid(pid_, nullptr, WNOHANG) == 0) return true;
        pid_ = -1;  // reaped (or no longer ours)
        return false;
    }
    void stop() override {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    void play() override {
        isPlaying();  // reaps a finished child
        const QByteArray file = QFile::encodeName(path_);
        char program[] = "paplay";
        char* argv[] = {program, const_cast<char*>(file.constData()), nullptr};
        pid_t pid = -1;
        if (posix_spawnp(&pid, "paplay", nullptr, nullptr, argv, environ) == 0) pid_ = pid;
    }

private:
    QString path_;
    pid_t pid_ = -1;
};

}  // namespace

QByteArray PaplaySoundPlayer::toneWav(const QString& name) {
    const Tone* tone = nullptr;
    for (const Tone& t : TONES)
        if (name == QLatin1String(t.name)) tone = &t;
    if (!tone) return {};
    const int frames = int(tone->seconds * RATE);
    QByteArray pcm;
    pcm.reserve(frames * 2);
    double phase = 0;
    for (int i = 0; i < frames; ++i) {
        const double t = double(i) / RATE;
        const double hz = tone->startHz + (tone->endHz - tone->startHz) * (double(i) / frames);
        phase += 2 * M_PI * hz / RATE;
        // A 3 ms attack keeps the start from clicking; the tail fades to silence.
        const double attack = std::min(1.0, t / 0.003);
        const double release = std::min(1.0, double(frames - i) / (0.005 * RATE));
        const double amp = 0.35 * attack * release * std::exp(-tone->decay * t);
        putLE16(pcm, quint16(qint16(std::lround(amp * 32767 * std::sin(phase)))));
    }
    QByteArray out;
    out.append("RIFF", 4);
    putLE32(out, quint32(36 + pcm.size()));
    out.append("WAVEfmt ", 8);
    putLE32(out, 16);
    putLE16(out, 1);  // PCM
    putLE16(out, 1);  // mono
    putLE32(out, RATE);
    putLE32(out, RATE * 2);
    putLE16(out, 2);
    putLE16(out, 16);
    out.append("data", 4);
    putLE32(out, quint32(pcm.size()));
    out.append(pcm);
    return out;
}

std::shared_ptr<Sound> PaplaySoundPlayer::load(const QString& name) {
    const QByteArray wav = toneWav(name);
    if (wav.isEmpty()) return nullptr;
    const QString dir = Folders::join(Folders::caches(), QStringLiteral("sounds"));
    const QString path = Folders::join(dir, name + QStringLiteral(".wav"));
    QFile existing(path);
    if (!existing.open(QIODevice::ReadOnly) || existing.readAll() != wav) {
        existing.close();
        if (!QDir().mkpath(dir)) return nullptr;
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(wav) != wav.size() || !file.commit()) return nullptr;
    }
    return std::make_shared<PaplaySound>(path);
}

}  // namespace murmelo::linuxdesktop
