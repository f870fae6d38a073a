#pragma once
#include "platform/Pasteboard.h"

#include <QList>
#include <QUuid>
#include <functional>
#include <optional>
#include <variant>

namespace murmelo {

// The single borrowing of the user's clipboard. Ending a lease, by finishing or
// cancelling it, always runs its restore action once; a new lease ends the old one first.
class TemporaryClipboardLease {
public:
    struct Token {
        QUuid id;
        bool operator==(const Token&) const = default;
    };

    Token begin(std::function<void()> restore);
    bool cancel();
    bool isActive(const Token& token) const;
    // Some lease is active.
    bool isActive() const { return active_.has_value(); }
    bool cancel(const Token& token);
    bool finish(const Token& token);

private:
    struct Active {
        Token token;
        std::function<void()> restore;
    };
    std::optional<Active> active_;
};

// When to give the clipboard back after Command-V; all times are seconds from Command-V.
struct PasteboardRestoreSchedule {
    double minRestoreDelay = 0;
    double readGrace = 0;
    double unreadTimeout = 0;
    std::optional<double> readAt;

    struct Restore {
        bool readConfirmed;
        bool operator==(const Restore&) const = default;
    };
    struct Wait {
        double until;
        bool operator==(const Wait&) const = default;
    };
    using Decision = std::variant<Restore, Wait>;

    // The first read wins.
    void noteRead(double at);
    Decision decision(double now) const;
    bool operator==(const PasteboardRestoreSchedule&) const = default;
};

using PasteboardSnapshot = QList<PasteboardItem>;

// Copies every item with the data of every readable type; items left without a type are
// dropped.
PasteboardSnapshot snapshotPasteboard(const Pasteboard& pasteboard);
// Clears the pasteboard and writes the snapshot back (nothing for an empty one).
void restorePasteboard(Pasteboard& pasteboard, const PasteboardSnapshot& snapshot);

}  // namespace murmelo
