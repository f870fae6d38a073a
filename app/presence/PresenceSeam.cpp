#include "presence/PresenceSeam.h"

#include "presence/DropPresenceWindows.h"
#include "presence/Ladder.h"
#include "presence/PresenceStyle.h"
#include "ui/AppState.h"

namespace murmelo {

PresenceSeam::PresenceSeam() {
    ladderPresenceShow = [] { AppState::shared().ladder().show(); };
    presenceStyleApply = [] { PresenceStyles::apply(); };
}

void installPresence() {
    AppState::setPresenceFactory([] {
        return std::make_pair(std::unique_ptr<LadderPresence>(std::make_unique<LadderIndicator>()),
                              std::unique_ptr<DropPresence>(std::make_unique<DropPresenceWindows>()));
    });
}

}  // namespace murmelo
