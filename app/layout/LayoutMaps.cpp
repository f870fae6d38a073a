#include "layout/LayoutMaps.h"

#include "base/Log.h"
#include "layout/ManualInputSourceProfileV1.h"
#include "layout/SystemLayouts.h"

#include <atomic>
#include <mutex>

namespace murmelo::LayoutMaps {
namespace {

struct Runtime {
    QHash<QString, KLayout> layouts;
    QStringList order;
};

const QStringList profileOrder{QStringLiteral("en"), QStringLiteral("ru")};

Runtime build() {
    Runtime rt;
    QStringList entries;
    for (const QString& language : profileOrder) {
        const std::optional<QString> sourceID = ManualInputSourceProfileV1::sourceID(language);
        if (!sourceID) continue;
        if (std::optional<KLayout> layout = SystemLayouts::keyLayout(*sourceID, language)) {
            entries << QStringLiteral("%1=«%2» %3+%4 клавиш")
                           .arg(language, layout->name)
                           .arg(layout->base.size())
                           .arg(layout->shift.size());
            rt.layouts.insert(language, *layout);
            rt.order << language;
        } else {
            entries << QStringLiteral("%1 НЕ СНЯЛАСЬ (%2)").arg(language, *sourceID);
        }
    }
    logLine(QStringLiteral("layout/maps: сняты с системы — ") + entries.join(QStringLiteral(", ")));
    return rt;
}

std::mutex buildLock;
std::atomic<const Runtime*> current{nullptr};

const Runtime& runtime() {
    if (const Runtime* rt = current.load(std::memory_order_acquire)) return *rt;
    std::lock_guard lock(buildLock);
    if (const Runtime* rt = current.load(std::memory_order_acquire)) return *rt;
    const Runtime* rt = new Runtime(build());
    current.store(rt, std::memory_order_release);
    return *rt;
}

const KLayout* layout(const QString& language) {
    const auto& table = runtime().layouts;
    const auto it = table.constFind(language);
    return it == table.constEnd() ? nullptr : &*it;
}

// Text fields replace quotes and dashes as they are typed; these are read back as the
// plain character that the key produced.
char32_t plainCharacter(char32_t c) {
    switch (c) {
    case U'\u00AB': case U'\u00BB': case U'\u201C': case U'\u201D': case U'\u201E': case U'\u201F': return U'"';
    case U'\u2013': case U'\u2014': case U'\u2012': case U'\u2212': return U'-';
    case U'\u2018': case U'\u2019': case U'\u201A': return U'\'';
    default: return 0;
    }
}

}  // namespace

const QHash<QString, KLayout>& layouts() { return runtime().layouts; }

const QStringList& layoutOrder() { return runtime().order; }

QString languageOf(const QString& name) {
    const KLayout* l = layout(name);
    return l ? l->language : name;
}

std::optional<KeyStroke> forward(char32_t character, const QString& language) {
    const KLayout* l = layout(language);
    if (!l) return std::nullopt;
    const auto it = l->reverse.constFind(character);
    if (it == l->reverse.constEnd()) return std::nullopt;
    return *it;
}

std::optional<char32_t> produce(char32_t legend, bool shift, const QString& language) {
    const KLayout* l = layout(language);
    if (!l) return std::nullopt;
    const auto& map = shift ? l->shift : l->base;
    const auto it = map.constFind(legend);
    if (it == map.constEnd()) return std::nullopt;
    return *it;
}

std::optional<QString> convert(const QString& text, const QString& from, const QString& to) {
    if (text.isEmpty()) return QString();
    const KLayout* src = layout(from);
    const KLayout* dst = layout(to);
    if (!src || !dst) return std::nullopt;
    // Characters compare by canonical equivalence: a decomposed й is the key's й.
    const QString nfc = text.normalized(QString::NormalizationForm_C);
    QString out;
    out.reserve(nfc.size());
    for (const uint ucs : nfc.toUcs4()) {
        const char32_t c = ucs;
        auto hit = src->reverse.constFind(c);
        if (hit == src->reverse.constEnd()) {
            const char32_t plain = plainCharacter(c);
            if (!plain) return std::nullopt;
            hit = src->reverse.constFind(plain);
            if (hit == src->reverse.constEnd()) return std::nullopt;
        }
        const auto& map = hit->shift ? dst->shift : dst->base;
        const auto produced = map.constFind(hit->legend);
        if (produced == map.constEnd()) return std::nullopt;
        const char32_t p = *produced;
        out.append(QString::fromUcs4(&p, 1));
    }
    return out;
}

void resetForTesting() {
    std::lock_guard lock(buildLock);
    delete current.exchange(nullptr, std::memory_order_acq_rel);
}

}  // namespace murmelo::LayoutMaps
