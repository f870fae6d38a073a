#pragma once
#include "input/TemporaryClipboardLease.h"
#include "platform/MainQueue.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

namespace murmelo {

class Pasteboard;

// One copied plain text in the history.
struct ClipItem {
    QString id;
    QString text;
    double date = 0;  // seconds since 1970-01-01 UTC; kept when the item moves
    bool pinned = false;
    bool operator==(const ClipItem&) const = default;
};

inline constexpr int CLIPBOARD_MAX = 50;

// Pasteboard changes that carry one of these types stay out of the history: transient
// (our own pastes), concealed and auto-generated (nspasteboard.org), and KDE's hint that
// Linux password managers set.
extern const QStringList CLIPBOARD_HISTORY_MARKER_TYPES;

// The single owner of the program's pasteboard work: the history of copied texts, the
// poll that feeds it, the program's own writes that must stay out of it, and the one
// temporary clipboard lease.
class ClipboardManager {
public:
    // The settings key the history lived under before it had a file of its own; read once
    // and moved over.
    static inline const QString STORE_KEY = QStringLiteral("clipboardHistory");
    static inline const QString ENABLED_KEY = QStringLiteral("clipboardEnabled");
    static constexpr int MAX = CLIPBOARD_MAX;
    static constexpr double POLL_INTERVAL = 0.6;
    // Changes are written together this long after the first of them.
    static constexpr double SAVE_DELAY = 1.0;
    // A copied text larger than this (UTF-8) is not kept in the history.
    static constexpr qsizetype MAX_ITEM_BYTES = 1024 * 1024;
    // The history's own file: $XDG_DATA_HOME/Murmelo/clipboard-history.json.
    static QString historyPath();

    explicit ClipboardManager(Pasteboard* pasteboard = nullptr);
    ~ClipboardManager();
    ClipboardManager(const ClipboardManager&) = delete;
    ClipboardManager& operator=(const ClipboardManager&) = delete;

    static ClipboardManager& shared();
    static void install(ClipboardManager* manager);

    // History
    bool isEnabled() const;
    void setEnabled(bool enabled);
    void start();
    void stop();
    bool isPolling() const { return polling_ != nullptr; }
    void poll();
    void capture(const QString& text);
    void togglePin(const QString& id);
    void deleteItem(const QString& id);
    void markUsed(const QString& id);
    void clearUnpinned();
    const std::vector<ClipItem>& items() const { return items_; }
    std::function<void()> onChange;
    // Writes a pending change now (quit, tests).
    void flush();

    // The program's own writes: the body writes to the pasteboard, the poll never sees it.
    void writeInternally(const std::function<void()>& body);

    // The lease.
    TemporaryClipboardLease::Token beginTemporaryLease(std::function<void()> restore);
    TemporaryClipboardLease::Token beginPreservingPasteboard(Pasteboard* pasteboard = nullptr);
    bool cancelTemporaryLease();
    bool isTemporaryLeaseActive(const TemporaryClipboardLease::Token& token) const;
    bool finishTemporaryLease(const TemporaryClipboardLease::Token& token);
    bool cancelTemporaryLease(const TemporaryClipboardLease::Token& token);
    bool cancelTemporaryLeaseForUserCommand();

    // Stored form (a JSON array as data); items that do not decode are skipped.
    static QByteArray encode(const std::vector<ClipItem>& items);
    static std::vector<ClipItem> decode(const QByteArray& data);

private:
    void load();
    void scheduleSave();
    bool writeFile(const std::vector<ClipItem>& items);
    void changed();
    void schedulePoll();

    Pasteboard& pasteboard_;
    std::vector<ClipItem> items_;
    qint64 lastChangeCount_ = 0;
    std::shared_ptr<TimerHandle> polling_;
    TimerHandle saving_;
    bool dirty_ = false;
    bool flushRegistered_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    TemporaryClipboardLease temporaryLease_;
};

// The age of a capture in Russian: "только что", "N мин назад", "N ч назад", or the date.
QString relTime(double capturedAt);

}  // namespace murmelo
