#include "layout/RuForms.h"

#include "base/Bundle.h"
#include "base/DevPaths.h"
#include "base/Log.h"

#include "ondrix_fst.h"

#include <QDir>
#include <QFileInfo>

#include <atomic>
#include <mutex>

namespace murmelo::RuForms {
namespace {

std::mutex g_openLock;
std::atomic<bool> g_opened{false};
ondrix_fst* g_handle = nullptr;
std::optional<QString> g_bundleResources;

QString bundleResources() { return g_bundleResources ? *g_bundleResources : Bundle::resourcesPath(); }

// The developer tree's copy wins; the bundle's is the fallback.
QString lexiconPath() {
    const QString dev = murmeloRepoPath(QStringLiteral("layout/models/ru_forms.fst"));
    if (QFileInfo::exists(dev)) return dev;
    const QString resources = bundleResources();
    if (!resources.isEmpty() && QFileInfo(resources).isDir())
        return QDir(resources).filePath(QStringLiteral("layout-models/ru_forms.fst"));
    return dev;
}

const ondrix_fst* handle() {
    if (g_opened.load(std::memory_order_acquire)) return g_handle;
    std::lock_guard lock(g_openLock);
    if (g_opened.load(std::memory_order_relaxed)) return g_handle;
    const QString path = lexiconPath();
    if (!QFileInfo::exists(path)) {
        logLine(QStringLiteral("словоформы: файла нет (%1) — защита лексикона на прежних словарях").arg(path));
    } else {
        g_handle = ondrix_fst_open(path.toUtf8().constData());
        if (g_handle)
            logLine(QStringLiteral("словоформы: %1 форм из %2")
                        .arg(ondrix_fst_len(g_handle))
                        .arg(QFileInfo(path).fileName()));
        else
            logLine(QStringLiteral("словоформы: автомат не открылся (%1)").arg(path));
    }
    g_opened.store(true, std::memory_order_release);
    return g_handle;
}

}  // namespace

bool isReady() { return handle() != nullptr; }

quint64 count() {
    const auto* h = handle();
    return h ? ondrix_fst_len(h) : 0;
}

bool contains(const QString& word) {
    const auto* h = handle();
    if (!h || word.isEmpty()) return false;
    const QByteArray bytes = word.toUtf8();
    return ondrix_fst_contains(h, bytes.constData(), static_cast<size_t>(bytes.size()));
}

void resetForTesting(std::optional<QString> bundleResources) {
    std::lock_guard lock(g_openLock);
    ondrix_fst_close(g_handle);
    g_handle = nullptr;
    g_bundleResources = std::move(bundleResources);
    g_opened.store(false, std::memory_order_release);
}

}  // namespace murmelo::RuForms
