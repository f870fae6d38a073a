#include "ProcessRunningApplication.h"

#include "platform/Service.h"

#include <QFileInfo>

namespace murmelo {

QString ProcessRunningApplication::executablePath() const {
    return QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
}

QString ProcessRunningApplication::bundlePath() const { return executablePath(); }

std::optional<QDateTime> ProcessRunningApplication::executableModificationTime() const {
    QString exe = executablePath();
    if (exe.isEmpty()) return std::nullopt;
    QFileInfo info(exe);
    if (!info.exists()) return std::nullopt;
    QDateTime t = info.lastModified();
    if (!t.isValid()) return std::nullopt;
    return t;
}

RunningApplication& RunningApplication::shared() {
    if (auto* a = installedService<RunningApplication>()) return *a;
    static ProcessRunningApplication anonymous;
    return anonymous;
}

void RunningApplication::install(RunningApplication* app) { installService<RunningApplication>(app); }

}  // namespace murmelo
