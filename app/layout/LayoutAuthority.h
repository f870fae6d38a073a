#pragma once
#include <QString>
#include <QtGlobal>
#include <limits>
#include <optional>

namespace murmelo {

// The ticket that lets an automatic input-source selection run only while no user action has
// overtaken it. Every user action that must win over the engine raises the generation, which
// voids any outstanding ticket. Times are uptime seconds.
struct AutomaticLayoutAuthority {
    bool leftCommandDown = false;
    double suppressUntil = -std::numeric_limits<double>::infinity();
    quint64 generation = 0;
    std::optional<quint64> pendingGeneration;
    std::optional<QString> pendingExpectedSourceID;

    // None while the left Command key is held or the cooldown runs.
    std::optional<quint64> request(double now, const std::optional<QString>& expectedSourceID);
    // True when the ticket is still the pending one and the source is the one it expected.
    // A refused ticket stays pending unless it was consumed.
    bool consume(quint64 ticket, double now, const std::optional<QString>& currentSourceID);
    void noteLeftCommand(bool isDown, double now, double cooldown);
    void noteUserShortcut(double now, double cooldown);
    void invalidatePending();

private:
    void voidPending();
};

}  // namespace murmelo
