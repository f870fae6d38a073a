#include "base/Localization.h"
#include "base/Log.h"
#include "dictation/Downloader.h"
#include "dictation/SherpaEngine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QUuid>
#include <filesystem>
#include <system_error>

namespace murmelo {

namespace {

QString failed(const std::error_code& ec) {
    return L(QStringLiteral("model.install.failed"), QStringLiteral("Не удалось установить модель: %1$@"),
             {QString::fromLocal8Bit(ec.message().c_str())});
}

}  // namespace

std::optional<QString> SherpaEngine::installArchive(const QString& archive, const QString& dest,
                                                    const ModelChoice& model, const QString& archiveTool) {
    namespace fs = std::filesystem;
    const QFileInfo destInfo(dest);
    const QString unpack = destInfo.absoluteDir().filePath(
        QStringLiteral(".") + model.filename + QStringLiteral(".") +
        QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + QStringLiteral(".unpack"));
    std::error_code ignored;
    fs::remove_all(fs::path(QFile::encodeName(unpack).constData()), ignored);

    bool keepUnpack = false;
    const auto cleanup = qScopeGuard([&] {
        std::error_code e;
        fs::remove(fs::path(QFile::encodeName(archive).constData()), e);
        if (!keepUnpack) fs::remove_all(fs::path(QFile::encodeName(unpack).constData()), e);
    });

    const fs::path unpackPath(QFile::encodeName(unpack).constData());
    std::error_code ec;
    fs::create_directories(unpackPath, ec);
    if (ec)
        return L(QStringLiteral("model.install.create_folder"), QStringLiteral("Не удалось создать папку для модели: %1$@"),
                 {QString::fromLocal8Bit(ec.message().c_str())});

    QProcess tar;
    tar.setProgram(archiveTool);
    tar.setArguments({QStringLiteral("xf"), archive, QStringLiteral("-C"), unpack});
    tar.setStandardOutputFile(QProcess::nullDevice());
    tar.setStandardErrorFile(QProcess::nullDevice());
    tar.start();
    if (!tar.waitForStarted(-1))
        return L(QStringLiteral("model.install.unpack"), QStringLiteral("Не удалось открыть архив модели: %1$@"),
                 {tar.errorString()});
    tar.waitForFinished(-1);
    if (tar.exitStatus() != QProcess::NormalExit || tar.exitCode() != 0)
        return L(QStringLiteral("model.install.corrupt"), QStringLiteral("Не удалось распаковать модель. Скачайте её ещё раз."));

    // The model must sit in a folder of its own inside the archive.
    QString found;
    const QStringList entries =
        QDir(unpack).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QString& entry : entries) {
        const QString candidate = QDir(unpack).filePath(entry);
        if (QFileInfo(candidate).isDir() && modelComplete(candidate)) {
            found = candidate;
            break;
        }
    }
    if (found.isEmpty())
        return L(QStringLiteral("model.install.missing_files"),
                 QStringLiteral("В архиве не хватает файлов модели. Скачайте её ещё раз."));

    for (const auto& [name, digest] : model.files) {
        if (modelChecksumError(QDir(found).filePath(name), digest))
            return L(QStringLiteral("model.install.checksum"),
                     QStringLiteral("Файл %1$@ не прошёл проверку. Скачайте модель ещё раз."), {name});
    }

    // A recogniser loaded from the old folder must not keep reading files that are moving away.
    if (SherpaEngine::shared().release) SherpaEngine::shared().release(destInfo.absoluteFilePath());

    const fs::path destPath(QFile::encodeName(destInfo.absoluteFilePath()).constData());
    const fs::path previous = unpackPath / "previous-model";
    if (fs::exists(fs::symlink_status(destPath, ignored))) {
        fs::rename(destPath, previous, ec);
        if (ec) return failed(ec);
    }
    fs::rename(fs::path(QFile::encodeName(found).constData()), destPath, ec);
    if (ec) {
        std::error_code back;
        if (fs::exists(previous, ignored)) {
            fs::rename(previous, destPath, back);
            if (back) {
                keepUnpack = true;
                logLine(QStringLiteral("Previous Parakeet model retained for recovery: ") +
                        QString::fromLocal8Bit(previous.c_str()));
            }
        }
        return failed(ec);
    }
    return std::nullopt;
}

}  // namespace murmelo
