#include "layout/KeyboardTruth.h"

#include "layout/ManualInputSourceProfileV1.h"
#include "platform/KeyEventPoster.h"

#include <atomic>
#include <mutex>

namespace murmelo::KeyboardTruth {
namespace {

using Maps = QHash<QString, std::shared_ptr<const SystemLayouts::LayoutData>>;

std::mutex buildLock;
std::atomic<const Maps*> current{nullptr};

// The key data of both profile layouts, read once: no input-source lookup per key press.
const Maps& maps() {
    if (const Maps* m = current.load(std::memory_order_acquire)) return *m;
    std::lock_guard lock(buildLock);
    if (const Maps* m = current.load(std::memory_order_acquire)) return *m;
    auto* m = new Maps;
    for (const char* language : {"ru", "en"}) {
        const std::optional<QString> id = ManualInputSourceProfileV1::sourceID(QString::fromLatin1(language));
        if (!id) continue;
        if (auto data = SystemLayouts::layoutData(*id)) m->insert(*id, std::move(data));
    }
    current.store(m, std::memory_order_release);
    return *m;
}

}  // namespace

SystemLayouts::Level level(quint64 flags) {
    const bool shift = flags & KeyFlags::shift;
    const bool option = flags & KeyFlags::option;
    if (shift && option) return SystemLayouts::Level::optionShift;
    if (option) return SystemLayouts::Level::option;
    if (shift) return SystemLayouts::Level::shift;
    return SystemLayouts::Level::base;
}

std::optional<QString> translation(quint16 keycode, quint64 flags, const QString& language) {
    const std::optional<QString> id = ManualInputSourceProfileV1::sourceID(language);
    if (!id) return std::nullopt;
    const auto it = maps().constFind(*id);
    if (it == maps().constEnd()) return std::nullopt;
    return SystemLayouts::string(keycode, level(flags), **it);
}

std::optional<QString> language(quint16 keycode, quint64 flags, const QString& produced) {
    if (produced.isEmpty()) return std::nullopt;
    std::optional<QString> match;
    for (const char* language : {"ru", "en"}) {
        if (translation(keycode, flags, QString::fromLatin1(language)) != produced) continue;
        // The same text on both layouts (a digit, the space bar) tells nothing.
        if (match) return std::nullopt;
        match = QString::fromLatin1(language);
    }
    return match;
}

void prepare() { maps(); }

void resetForTesting() {
    std::lock_guard lock(buildLock);
    delete current.exchange(nullptr, std::memory_order_acq_rel);
}

}  // namespace murmelo::KeyboardTruth
