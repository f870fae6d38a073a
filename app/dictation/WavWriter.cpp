#include "dictation/WavWriter.h"

#include "dictation/Wav.h"

#include <QFile>
#include <QtEndian>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace murmelo {
namespace {

// The largest payload whose RIFF size (payload + 36) still fits 32 bits, kept even.
constexpr qint64 MAX_DATA_BYTES = (qint64(0xFFFFFFFF) - 36) & ~qint64(1);

bool writeAll(int fd, const char* p, size_t n, off_t at) {
    while (n > 0) {
        const ssize_t w = at >= 0 ? pwrite(fd, p, n, at) : write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += w;
        n -= size_t(w);
        if (at >= 0) at += w;
    }
    return true;
}

}  // namespace

std::unique_ptr<WavWriter> WavWriter::create(const QString& path, int sampleRate, QString* error, int channels) {
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (error) *error = QString::fromLocal8Bit(strerror(errno)) + QStringLiteral(": ") + path;
        return nullptr;
    }
    // The creation mode is already 0600; a umask can only narrow it.
    fchmod(fd, 0600);
    std::unique_ptr<WavWriter> w(new WavWriter(fd, path, sampleRate, channels));
    if (!w->writeHeader(0)) {
        if (error) *error = QString::fromLocal8Bit(strerror(errno)) + QStringLiteral(": ") + path;
        return nullptr;
    }
    return w;
}

WavWriter::WavWriter(int fd, QString path, int sampleRate, int channels)
    : fd_(fd), path_(std::move(path)), sampleRate_(sampleRate), channels_(channels) {}

WavWriter::~WavWriter() {
    if (fd_ >= 0) ::close(fd_);
}

bool WavWriter::writeHeader(qint64 dataBytes) {
    const QByteArray h = wavHeader(dataBytes, sampleRate_, channels_, 16);
    return writeAll(fd_, h.constData(), size_t(h.size()), 0);
}

void WavWriter::append(const qint16* samples, size_t count) {
    if (fd_ < 0 || failed_ || count == 0) return;
    // Whole frames only, so that the data chunk never ends inside one.
    const qint64 frameBytes = 2 * qint64(qMax(channels_, 1));
    const qint64 room = (MAX_DATA_BYTES - dataBytes_) / frameBytes * frameBytes / 2;
    if (qint64(count) > room) count = size_t(room);
    if (count == 0) return;
    std::vector<char> bytes(count * 2);
    for (size_t i = 0; i < count; ++i) qToLittleEndian<qint16>(samples[i], bytes.data() + 2 * i);
    if (!writeAll(fd_, bytes.data(), bytes.size(), off_t(44 + dataBytes_))) {
        // A partly written block stays beyond the payload the header will claim.
        writeError_ = QString::fromLocal8Bit(strerror(errno));
        failed_ = true;
        return;
    }
    dataBytes_ += qint64(bytes.size());
}

bool WavWriter::refreshHeader() { return fd_ >= 0 && writeHeader(dataBytes_); }

bool WavWriter::finish() {
    if (fd_ < 0) return false;
    bool ok = writeHeader(dataBytes_);
    // Bytes of a failed block would make the data chunk stop short of the end of the file.
    if (ok && ftruncate(fd_, off_t(44 + dataBytes_)) != 0) ok = false;
    if (::close(fd_) != 0) ok = false;
    fd_ = -1;
    return ok;
}

}  // namespace murmelo
