#include "base/Bundle.h"

#include "base/BuildStampData.h"
#include "base/DevPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <mutex>

namespace murmelo::Bundle {
namespace {

std::mutex infoMutex;
std::optional<QHash<QString, QString>> testInfo;

const QHash<QString, QString>& builtInInfo() {
    static const QHash<QString, QString> info = [] {
        QHash<QString, QString> h;
        for (const BuildStampData::Entry* e = BuildStampData::entries(); e && e->key; ++e)
            h.insert(QString::fromUtf8(e->key), QString::fromUtf8(e->value));
        return h;
    }();
    return info;
}

}  // namespace

QString resourcesPath() {
    static const QString path = [] {
        if (QCoreApplication::instance()) {
            const QString installed =
                QDir::cleanPath(QCoreApplication::applicationDirPath() + "/../share/murmelo");
            if (QFileInfo(installed).isDir()) return installed;
        }
        return QDir::cleanPath(murmeloSourceRoot() + "/resources");
    }();
    return path;
}

QString resourcePath(const QString& relative) { return QDir(resourcesPath()).filePath(relative); }

bool isInstalled() { return resourcesPath() != QDir::cleanPath(murmeloSourceRoot() + "/resources"); }

std::optional<QString> infoString(const QString& key) {
    QString value;
    {
        std::lock_guard lock(infoMutex);
        value = testInfo ? testInfo->value(key) : builtInInfo().value(key);
    }
    if (value.isEmpty()) return std::nullopt;
    return value;
}

void setInfoForTesting(std::optional<QHash<QString, QString>> info) {
    std::lock_guard lock(infoMutex);
    testInfo = std::move(info);
}

}  // namespace murmelo::Bundle
