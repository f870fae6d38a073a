#pragma once
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace murmelo {

// One item on the pasteboard: its representations, each a type and its bytes, in the
// order the writer set them.
struct PasteboardItem {
    QList<QPair<QString, QByteArray>> entries;

    QStringList types() const;
    std::optional<QByteArray> data(const QString& type) const;
    // Replaces the data of a type already present, else appends the type.
    void setData(const QString& type, const QByteArray& bytes);
    bool isEmpty() const { return entries.isEmpty(); }
    bool operator==(const PasteboardItem&) const = default;
};

// The general pasteboard (the clipboard). X11 has no change counter and one item per
// selection: the Linux backend counts ownership changes itself and keeps only the first
// item written.
class Pasteboard {
public:
    // The plain-text representation.
    static inline const QString plainTextType = QStringLiteral("text/plain");
    // The most a read takes of one type: another program may offer gigabytes. Larger data
    // counts as unreadable.
    static constexpr qsizetype maxReadBytes = 64LL * 1024 * 1024;

    virtual ~Pasteboard() = default;

    // Grows by at least one on every change of the contents, ours or another program's.
    virtual qint64 changeCount() const = 0;
    // The types present, without asking anyone for data (an X11 TARGETS query).
    virtual QStringList types() const = 0;
    // Every item with the data of every type; a type whose data cannot be read, or is
    // larger than maxReadBytes, is left out. Reading a promised type makes its provider
    // produce the data now.
    virtual QList<PasteboardItem> items() const = 0;
    // The plain text, when there is any and it is no larger than maxReadBytes.
    virtual std::optional<QString> string() const = 0;
    // The plain text when its UTF-8 is no larger than maxBytes. A larger one is not taken:
    // tooLarge, with its size in bytes when the backend knows it.
    struct BoundedText {
        std::optional<QString> text;
        bool tooLarge = false;
        qint64 bytes = -1;
    };
    virtual BoundedText boundedString(qsizetype maxBytes) const = 0;

    // The X11 PRIMARY selection: the text another program last selected, taken without a
    // key. Its count grows whenever another program takes or changes it; what this program
    // put there itself is not reported. A desktop without one answers none and never counts.
    virtual qint64 primaryChangeCount() const = 0;
    virtual std::optional<QString> primaryString() const = 0;

    virtual void clearContents() = 0;
    // Writes the items (after clearContents); false when refused.
    virtual bool writeItems(const QList<PasteboardItem>& items) = 0;
    // Writes one item whose entries are stored as given and whose promisedType is produced
    // by provider only when another client reads it; the call of provider is the sign that
    // someone read the data (X11: the owner is asked for the selection). May be called
    // more than once. False when the pasteboard refuses the promise.
    virtual bool writePromised(const PasteboardItem& item, const QString& promisedType,
                               std::function<QByteArray()> provider) = 0;

    static Pasteboard& general();
    static void install(Pasteboard* pasteboard);
};

}  // namespace murmelo
