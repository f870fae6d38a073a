#pragma once
#include "platform/Pasteboard.h"

#include <QObject>

namespace murmelo::linuxdesktop {

// The X11 clipboard (the CLIPBOARD selection) through QClipboard, main thread only.
// X11 has no change counter: every change of owner or contents that Qt reports, and every
// write of ours, counts one. Only the first item of a write is kept (one selection, one
// item). A promised type is served by our own QMimeData subclass, whose retrieveData() runs
// only when a client really fetches the data (a TARGETS query does not), so the provider's
// call is the read canary. What we write, we own and serve for as long as we run.
class QtPasteboard : public QObject, public Pasteboard {
public:
    QtPasteboard();

    qint64 changeCount() const override { return changeCount_; }
    QStringList types() const override;
    QList<PasteboardItem> items() const override;
    std::optional<QString> string() const override;
    BoundedText boundedString(qsizetype maxBytes) const override;
    qint64 primaryChangeCount() const override { return primaryChangeCount_; }
    std::optional<QString> primaryString() const override;
    void clearContents() override;
    bool writeItems(const QList<PasteboardItem>& items) override;
    bool writePromised(const PasteboardItem& item, const QString& promisedType,
                       std::function<QByteArray()> provider) override;

    // PRIMARY takes what the clipboard holds, served like the clipboard (a promised type is
    // produced when a client reads it): the paste of a terminal without a paste shortcut.
    // False when the clipboard holds no text.
    bool mirrorToPrimary();

private:
    qint64 changeCount_ = 0;
    qint64 primaryChangeCount_ = 0;
    // What we last wrote, for PRIMARY.
    PasteboardItem lastItem_;
    QString lastPromisedType_;
    std::function<QByteArray()> lastProvider_;
};

}  // namespace murmelo::linuxdesktop
