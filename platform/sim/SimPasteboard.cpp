#include "sim/SimPasteboard.h"

#include <algorithm>

namespace murmelo::sim {

PasteboardItem SimPasteboard::resolved(const Item& item) const {
    PasteboardItem out = item.item;
    if (item.provider) {
        ++providerCalls_;
        out.setData(item.promisedType, item.provider());
    }
    return out;
}

QStringList SimPasteboard::types() const {
    QStringList out;
    for (const Item& i : items_) {
        for (const QString& t : i.item.types())
            if (!out.contains(t)) out << t;
        if (i.provider && !out.contains(i.promisedType)) out << i.promisedType;
    }
    return out;
}

QList<PasteboardItem> SimPasteboard::items() const {
    QList<PasteboardItem> out;
    // A provider may write to the pasteboard; iterate over a copy.
    const QList<Item> copy = items_;
    for (const Item& i : copy) {
        PasteboardItem bounded;
        for (const auto& [type, bytes] : resolved(i).entries)
            if (bytes.size() <= readLimit) bounded.entries.append({type, bytes});
        out << bounded;
    }
    return out;
}

std::optional<QString> SimPasteboard::string() const { return boundedString(readLimit).text; }

Pasteboard::BoundedText SimPasteboard::boundedString(qsizetype maxBytes) const {
    const QList<Item> copy = items_;
    for (const Item& i : copy) {
        std::optional<QByteArray> d;
        if (i.provider && i.promisedType == plainTextType) d = resolved(i).data(plainTextType).value_or(QByteArray());
        else d = i.item.data(plainTextType);
        if (!d) continue;
        if (d->size() > std::min(maxBytes, readLimit)) return {std::nullopt, true, d->size()};
        return {QString::fromUtf8(*d), false, d->size()};
    }
    return {};
}

void SimPasteboard::clearContents() {
    items_.clear();
    ++changeCount_;
}

bool SimPasteboard::writeItems(const QList<PasteboardItem>& items) {
    for (const PasteboardItem& i : items) items_.append({i, {}, {}});
    ++changeCount_;
    return true;
}

bool SimPasteboard::writePromised(const PasteboardItem& item, const QString& promisedType,
                                  std::function<QByteArray()> provider) {
    if (refusesPromises_ || !provider) return false;
    items_.append({item, promisedType, std::move(provider)});
    ++changeCount_;
    return true;
}

void SimPasteboard::copyFromOtherApp(const QString& text, const QList<QPair<QString, QByteArray>>& extra) {
    PasteboardItem item;
    item.setData(plainTextType, text.toUtf8());
    for (const auto& e : extra) item.setData(e.first, e.second);
    setItemsFromOtherApp({item});
}

void SimPasteboard::setItemsFromOtherApp(const QList<PasteboardItem>& items) {
    items_.clear();
    for (const PasteboardItem& i : items) items_.append({i, {}, {}});
    ++changeCount_;
}

}  // namespace murmelo::sim
