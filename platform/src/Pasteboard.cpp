#include "platform/KeyEventPoster.h"
#include "platform/Pasteboard.h"

#include "platform/Service.h"

namespace murmelo {

QStringList PasteboardItem::types() const {
    QStringList out;
    for (const auto& e : entries) out << e.first;
    return out;
}

std::optional<QByteArray> PasteboardItem::data(const QString& type) const {
    for (const auto& e : entries)
        if (e.first == type) return e.second;
    return std::nullopt;
}

void PasteboardItem::setData(const QString& type, const QByteArray& bytes) {
    for (auto& e : entries)
        if (e.first == type) {
            e.second = bytes;
            return;
        }
    entries.append({type, bytes});
}

namespace {

// Before a backend is installed there is no clipboard to borrow and no key stream.
class NoPasteboard : public Pasteboard {
public:
    qint64 changeCount() const override { return 0; }
    QStringList types() const override { return {}; }
    QList<PasteboardItem> items() const override { return {}; }
    std::optional<QString> string() const override { return std::nullopt; }
    BoundedText boundedString(qsizetype) const override { return {}; }
    qint64 primaryChangeCount() const override { return 0; }
    std::optional<QString> primaryString() const override { return std::nullopt; }
    void clearContents() override {}
    bool writeItems(const QList<PasteboardItem>&) override { return false; }
    bool writePromised(const PasteboardItem&, const QString&, std::function<QByteArray()>) override { return false; }
};

class NoKeyPoster : public KeyEventPoster {
public:
    bool post(const KeyEvent&) override { return false; }
    FrontEditing frontEditing() override { return FrontEditing::editor; }
    void afterLanding(std::function<void()> landed) override { landed(); }
};

}  // namespace

Pasteboard& Pasteboard::general() {
    if (auto* p = installedService<Pasteboard>()) return *p;
    static NoPasteboard none;
    return none;
}

void Pasteboard::install(Pasteboard* pasteboard) { installService<Pasteboard>(pasteboard); }

KeyEventPoster& KeyEventPoster::shared() {
    if (auto* p = installedService<KeyEventPoster>()) return *p;
    static NoKeyPoster none;
    return none;
}

void KeyEventPoster::install(KeyEventPoster* poster) { installService<KeyEventPoster>(poster); }

}  // namespace murmelo
