#include "dictation/Recorder.h"

#include "base/Log.h"
#include "diagnostics/Death.h"
#include "dictation/AudioRoute.h"
#include "platform/Folders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace murmelo {
namespace {

void removeQuietly(const std::optional<QString>& path) {
    if (path) QFile::remove(*path);
}

QString yesNo(bool ok) { return ok ? QStringLiteral("true") : QStringLiteral("false"); }

}  // namespace

Recorder::Recorder() : self_(std::make_shared<Recorder*>(this)) {}

Recorder::~Recorder() { routeWatchdog_.cancel(); }

QString Recorder::nextFileName() {
    const quint64 n = ++seq;
    const quint64 ms = quint64(Clock::shared().now().toMSecsSinceEpoch());
    return Folders::join(Folders::temporary(), FILE_PREFIX + QString::number(ms) + QStringLiteral("_") +
                                                   QString::number(n) + FILE_SUFFIX);
}

void Recorder::prime() {
    if (rec_) return;
    const QString url = nextFileName();
    QString error;
    auto made = AudioRecorder::make(url, &error);
    if (!made) {
        logLine(QStringLiteral("ошибка prime: ") + error);
        rec_.reset();
        primedURL_.reset();
        forgetPrimedForDeath();
        return;
    }
    rec_ = std::move(made);
    primedURL_ = url;
    rememberPrimedForDeath(url);
}

void Recorder::dropRecorder() {
    rec_.reset();
    primedURL_.reset();
}

void Recorder::start() {
    if (!rec_) prime();
    forgetPrimedForDeath();
    if (!rec_ || !rec_->record()) {
        logLine(QStringLiteral("⚠ record()=false — пересобираю рекордер и повторяю старт"));
        // Drop the object first: its file must be closed before it goes.
        rec_.reset();
        removeQuietly(primedURL_);
        primedURL_.reset();
        prime();
        forgetPrimedForDeath();
        const bool ok = rec_ && rec_->record();
        logLine(QStringLiteral("повторный record()=") + yesNo(ok));
    }
    activeURL_ = primedURL_;
    startTime_ = Clock::shared().now();
    deadRouteRetried_ = false;
    watchForDeadRoute();
}

void Recorder::watchForDeadRoute() {
    routeWatchdog_.cancel();
    std::weak_ptr<Recorder*> weak = self_;
    routeWatchdog_ = MainQueue::shared().after(DEAD_ROUTE_CHECK_AFTER, [weak] {
        if (auto self = weak.lock()) (*self)->checkDeadRoute();
    });
}

void Recorder::checkDeadRoute() {
    if (!rec_ || !rec_->isRecording()) return;
    rec_->updateMeters();
    const float power = rec_->averagePower(0);
    if (power > DEAD_ROUTE_POWER_DB) return;
    if (deadRouteRetried_) {
        logLine(QStringLiteral("⚠ маршрут молчит и после пересборки — устройство ввода недоступно (") +
                AudioRoute::currentInputName() + QStringLiteral(")"));
        return;
    }
    deadRouteRetried_ = true;
    logLine(QStringLiteral("⚠ маршрут мёртв через 0.5с (") + QString::asprintf("%.0f", double(power)) +
            QStringLiteral(" дБ = цифровой ноль) — пересобираю и стартую заново, устройство: ") +
            AudioRoute::currentInputName());
    rec_->stop();
    rec_.reset();
    removeQuietly(activeURL_);
    primedURL_.reset();
    prime();
    const bool ok = rec_ && rec_->record();
    activeURL_ = primedURL_;
    startTime_ = Clock::shared().now();
    logLine(QStringLiteral("перезапуск записи на свежем маршруте: ") + (ok ? QStringLiteral("ок") : QStringLiteral("не удался")));
    watchForDeadRoute();
}

std::optional<Recorder::Take> Recorder::stop() {
    routeWatchdog_.cancel();
    routeWatchdog_.reset();
    if (rec_ && startTime_ && activeURL_) {
        rec_->stop();
        rec_.reset();
        const double dur = double(startTime_->msecsTo(Clock::shared().now())) / 1000.0;
        const QString url = *activeURL_;
        primedURL_.reset();
        startTime_.reset();
        activeURL_.reset();
        return Take{dur, url};
    }
    logLine(QStringLiteral("рекордер: отдать файл нечем — рекордер ") +
            (rec_ ? QStringLiteral("есть") : QStringLiteral("отсутствует")) + QStringLiteral(", ") +
            QStringLiteral("время старта ") + (startTime_ ? QStringLiteral("есть") : QStringLiteral("пусто")) +
            QStringLiteral(", ") + QStringLiteral("файл ") +
            (activeURL_ ? QStringLiteral("заведён") : QStringLiteral("не заведён")));
    return std::nullopt;
}

void Recorder::discardPrimedIfIdle() {
    if (!rec_ || rec_->isRecording() || !primedURL_) return;
    const QString path = *primedURL_;
    dropRecorder();
    forgetPrimedForDeath();
    QFile::remove(path);
}

void Recorder::forceRebuild() {
    if (rec_ && rec_->isRecording()) return;
    dropRecorder();
    prime();
}

double Recorder::currentLevel() {
    if (!rec_ || !rec_->isRecording()) return 0;
    rec_->updateMeters();
    const double p = rec_->averagePower(0);
    if (p <= -50) return 0;
    return std::clamp(std::pow((p + 50) / 50, 1.4), 0.0, 1.0);
}

void Recorder::sweepOldRecordings() {
    const QString folder = Folders::temporary();
    QDir dir(folder);
    if (!dir.exists()) return;
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    const qint64 cutoff = Clock::shared().now().toSecsSinceEpoch() - 86400;
    int tightened = 0;
    for (const QString& name : names) {
        if (!name.startsWith(FILE_PREFIX) || !name.endsWith(FILE_SUFFIX)) continue;
        const QByteArray path = QFile::encodeName(Folders::join(folder, name));
        // Only regular files are ours to touch: a link planted under a recording's name is
        // neither followed nor changed.
        struct stat st {};
        if (lstat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (st.st_mtime < cutoff) {
            unlink(path.constData());
            continue;
        }
        if ((st.st_mode & 077) == 0) continue;
        const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            fchmod(fd, 0600);
            ::close(fd);
        }
        ++tightened;
    }
    if (tightened > 0)
        logLine(QStringLiteral("записи: правами 0600 закрыто ") + QString::number(tightened) + QStringLiteral(" старых файлов"));
}

namespace {

// A recording whose header still claims no audio: the recorder writes the real size only
// when the take ends, so the process that made it never finished it.
bool isUnfinished(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    unsigned char header[44];
    ssize_t got = 0;
    while (got < ssize_t(sizeof header)) {
        const ssize_t n = ::read(fd, header + got, sizeof header - size_t(got));
        if (n <= 0) break;
        got += n;
    }
    ::close(fd);
    if (got < ssize_t(sizeof header)) return true;
    return (header[40] | header[41] | header[42] | header[43]) == 0;
}

}  // namespace

void Recorder::sweepLeftovers() {
    const QString folder = Folders::temporary();
    QDir dir(folder);
    if (!dir.exists()) return;
    QStringList own;
    for (const auto& url : {recorder().primedURL(), recorder().activeURL()})
        if (url) own << QFileInfo(*url).fileName();
    int removed = 0;
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        if (!name.startsWith(FILE_PREFIX) || !name.endsWith(FILE_SUFFIX) || own.contains(name)) continue;
        const QByteArray path = QFile::encodeName(Folders::join(folder, name));
        struct stat st {};
        if (lstat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid()) continue;
        if (isUnfinished(path) && ::unlink(path.constData()) == 0) ++removed;
    }
    if (removed > 0)
        logLine(QStringLiteral("записи: убрано недописанных записей прежних запусков: ") + QString::number(removed));
}

Recorder& recorder() {
    static Recorder shared;
    return shared;
}

}  // namespace murmelo
