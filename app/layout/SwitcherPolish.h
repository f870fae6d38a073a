#pragma once
// What the switcher engine tells polish, which lives outside it: polish implements this and the
// shell hands it to the application's engine.
#include "input/DeliveryRepair.h"
#include "platform/Accessibility.h"

#include <QString>

namespace murmelo {

class SwitcherPolish {
public:
    virtual ~SwitcherPolish() = default;
    // The polish key went down or up (the right Shift when it is also the polish key).
    virtual void notePolishDown() = 0;
    virtual void notePolishUp() = 0;
    // A waiting polish tap is dropped: the gesture meant something else.
    virtual void cancelPendingPolish(const QString& reason) = 0;
    // Every plain Space the user typed.
    virtual void noteSpaceTyped() = 0;
    // Every key press of the user's, after the engine counted it.
    virtual void notePolishLiveTyping() = 0;
    // Re-reads a field after an undo pasted over a correction, and repairs it or offers the card.
    virtual void auditUndoEdit(const AXElementPtr& el, const DeliveryRepair::EditPacket& packet,
                               quint64 typedAtWrite) = 0;
};

}  // namespace murmelo
