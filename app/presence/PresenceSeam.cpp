#include "presence/PresenceSeam.h"

#include "ui/AppState.h"

namespace murmelo {

// Until the presence indicators exist the only presence is the status item and its ladder.
PresenceSeam::PresenceSeam() {
    ladderPresenceShow = [] { AppState::shared().ladder().show(); };
    presenceStyleApply = [] { AppState::shared().ensureStatusItem(); };
}

}  // namespace murmelo
