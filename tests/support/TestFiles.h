#pragma once
// Files a test lays out in its temporary home and reads back, their digests, and archives
// packed from them with the system's tar.
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <gtest/gtest.h>

namespace murmelo::test {

// Writes the bytes as the whole file, making its folders first.
inline void writeFile(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

// The file's bytes, or "<missing>" where it cannot be read.
inline QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// The SHA-256 of the bytes, in lower-case hex as the model lists give it.
inline QString sha(const QByteArray& data) {
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex());
}

// Runs tar with these arguments (packing a staged folder, say) and waits for it to succeed.
inline void tar(const QStringList& args) {
    QProcess p;
    p.start("/usr/bin/tar", args);
    ASSERT_TRUE(p.waitForFinished(30000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
}

}  // namespace murmelo::test
