#include "linux/QtPasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace murmelo::linuxdesktop {
namespace {

// Selection targets that are protocol, not contents.
bool isProtocolTarget(const QString& t) {
    static const QStringList names{QStringLiteral("TARGETS"), QStringLiteral("MULTIPLE"), QStringLiteral("TIMESTAMP"),
                                   QStringLiteral("SAVE_TARGETS"), QStringLiteral("DELETE"), QStringLiteral("INCR")};
    return t.isEmpty() || names.contains(t);
}

// Our contents on the clipboard: fixed entries plus, optionally, one type produced on
// demand. retrieveData() is what Qt calls when a client fetches a type.
class PromisingMimeData : public QMimeData {
public:
    PromisingMimeData(PasteboardItem item, QString promisedType, std::function<QByteArray()> provider)
        : item_(std::move(item)), promisedType_(std::move(promisedType)), provider_(std::move(provider)) {}

    QStringList formats() const override {
        QStringList out = item_.types();
        if (provider_ && !out.contains(promisedType_)) out << promisedType_;
        return out;
    }
    bool hasFormat(const QString& type) const override { return formats().contains(type); }

protected:
    QVariant retrieveData(const QString& type, QMetaType metaType) const override {
        QByteArray bytes;
        if (provider_ && type == promisedType_) bytes = provider_();
        else if (auto d = item_.data(type)) bytes = *d;
        else return {};
        if (type == QLatin1String("text/plain") && metaType.id() == QMetaType::QString) return QString::fromUtf8(bytes);
        return bytes;
    }

private:
    PasteboardItem item_;
    QString promisedType_;
    std::function<QByteArray()> provider_;
};

QClipboard* clipboard() { return QGuiApplication::clipboard(); }

}  // namespace

QtPasteboard::QtPasteboard() {
    connect(clipboard(), &QClipboard::changed, this, [this](QClipboard::Mode mode) {
        if (mode == QClipboard::Clipboard) ++changeCount_;
        // Qt hears of a new PRIMARY owner through XFixes; our own mirror does not count.
        if (mode == QClipboard::Selection && !clipboard()->ownsSelection()) ++primaryChangeCount_;
    });
}

std::optional<QString> QtPasteboard::primaryString() const {
    if (!clipboard()->supportsSelection() || clipboard()->ownsSelection()) return std::nullopt;
    const QMimeData* m = clipboard()->mimeData(QClipboard::Selection);
    if (!m || !m->hasText()) return std::nullopt;
    const QString text = m->text();
    if (text.size() > maxReadBytes / 2) return std::nullopt;
    return text;
}

QStringList QtPasteboard::types() const {
    QStringList out;
    if (const QMimeData* m = clipboard()->mimeData())
        for (const QString& t : m->formats())
            if (!isProtocolTarget(t) && !out.contains(t)) out << t;
    return out;
}

QList<PasteboardItem> QtPasteboard::items() const {
    const QMimeData* m = clipboard()->mimeData();
    if (!m) return {};
    PasteboardItem item;
    for (const QString& t : types()) {
        // Qt fetches the whole selection; what is over the bound is dropped, not kept.
        const QByteArray d = m->data(t);
        if (!d.isNull() && d.size() <= maxReadBytes) item.setData(t, d);
    }
    if (item.isEmpty()) return {};
    return {item};
}

std::optional<QString> QtPasteboard::string() const {
    const QMimeData* m = clipboard()->mimeData();
    if (!m || !m->hasText()) return std::nullopt;
    QString text = m->text();
    if (text.size() * qsizetype(sizeof(QChar)) > maxReadBytes) return std::nullopt;
    return text;
}

Pasteboard::BoundedText QtPasteboard::boundedString(qsizetype maxBytes) const {
    const QMimeData* m = clipboard()->mimeData();
    if (!m || !m->hasText()) return {};
    // Qt fetches a selection whole; what is over the bound is dropped before it is decoded
    // or copied.
    QByteArray utf8 = m->data(QStringLiteral("text/plain;charset=utf-8"));
    if (utf8.isEmpty()) {
        const QString text = m->text();
        if (text.size() > maxBytes) return {std::nullopt, true, -1};
        utf8 = text.toUtf8();
    }
    if (utf8.size() > maxBytes) return {std::nullopt, true, utf8.size()};
    return {QString::fromUtf8(utf8), false, utf8.size()};
}

void QtPasteboard::clearContents() {
    clipboard()->clear();
    ++changeCount_;
}

bool QtPasteboard::writeItems(const QList<PasteboardItem>& items) {
    if (items.isEmpty()) return true;
    lastItem_ = items.first();
    lastPromisedType_.clear();
    lastProvider_ = {};
    clipboard()->setMimeData(new PromisingMimeData(items.first(), {}, {}));
    ++changeCount_;
    return clipboard()->ownsClipboard();
}

bool QtPasteboard::writePromised(const PasteboardItem& item, const QString& promisedType,
                                 std::function<QByteArray()> provider) {
    if (!provider || promisedType.isEmpty()) return false;
    lastItem_ = item;
    lastPromisedType_ = promisedType;
    lastProvider_ = provider;
    clipboard()->setMimeData(new PromisingMimeData(item, promisedType, std::move(provider)));
    ++changeCount_;
    return clipboard()->ownsClipboard();
}

bool QtPasteboard::mirrorToPrimary() {
    if (clipboard()->ownsClipboard()) {
        if (!lastItem_.types().contains(QStringLiteral("text/plain")) && lastPromisedType_ != QLatin1String("text/plain"))
            return false;
        clipboard()->setMimeData(new PromisingMimeData(lastItem_, lastPromisedType_, lastProvider_), QClipboard::Selection);
        return true;
    }
    const std::optional<QString> text = string();
    if (!text) return false;
    clipboard()->setText(*text, QClipboard::Selection);
    return true;
}

}  // namespace murmelo::linuxdesktop
