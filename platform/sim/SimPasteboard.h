#pragma once
#include "platform/Pasteboard.h"

namespace murmelo::sim {

// The simulated general pasteboard: a change counter, typed items, promised data whose
// provider runs whenever someone reads it. Tests act as other programs through the
// methods below.
class SimPasteboard : public Pasteboard {
public:
    // Pasteboard
    qint64 changeCount() const override { return changeCount_; }
    QStringList types() const override;
    QList<PasteboardItem> items() const override;
    std::optional<QString> string() const override;
    BoundedText boundedString(qsizetype maxBytes) const override;
    qint64 primaryChangeCount() const override { return primaryChanges_; }
    std::optional<QString> primaryString() const override { return primary_; }
    void clearContents() override;
    bool writeItems(const QList<PasteboardItem>& items) override;
    bool writePromised(const PasteboardItem& item, const QString& promisedType,
                       std::function<QByteArray()> provider) override;

    // Another program copies a plain text, with extra representations (marker types).
    void copyFromOtherApp(const QString& text, const QList<QPair<QString, QByteArray>>& extra = {});
    // Another program selects a text and so takes PRIMARY.
    void selectPrimaryFromOtherApp(const QString& text) {
        primary_ = text;
        ++primaryChanges_;
    }
    // Another program replaces the contents with these items.
    void setItemsFromOtherApp(const QList<PasteboardItem>& items);
    // Another program reads the plain text, as a target does when it pastes.
    std::optional<QString> readAsClient() { return string(); }
    // The most one read takes of a type (tests lower it).
    qsizetype readLimit = Pasteboard::maxReadBytes;
    // Makes the pasteboard refuse promised data (the eager fallback of a paste).
    void setRefusesPromises(bool refuses) { refusesPromises_ = refuses; }
    // How many times a provider was asked for its data.
    int providerCalls() const { return providerCalls_; }

private:
    struct Item {
        PasteboardItem item;
        QString promisedType;
        std::function<QByteArray()> provider;
    };
    PasteboardItem resolved(const Item& item) const;

    QList<Item> items_;
    std::optional<QString> primary_;
    qint64 primaryChanges_ = 0;
    qint64 changeCount_ = 1;
    bool refusesPromises_ = false;
    mutable int providerCalls_ = 0;
};

}  // namespace murmelo::sim
