#include "presence/PresenceSeam.h"

#include "dictation/Recorder.h"
#include "presence/BeadDrop.h"
#include "presence/DropPresenceWindows.h"
#include "presence/GlDropView.h"
#include "presence/SolarPasses.h"
#include "presence/Ladder.h"
#include "presence/PresenceStyle.h"
#include "ui/AppState.h"

namespace murmelo {

PresenceSeam::PresenceSeam() {
    ladderPresenceShow = [] { AppState::shared().ladder().show(); };
    presenceStyleApply = [] { PresenceStyles::apply(); };
    beadDropPrewarm = [] { BeadDrop::prewarm(); };
}

void installPresence() {
    setBeadImageProvider([](double scale) { return BeadDrop::image(scale); });
    AppState::setPresenceFactory([] {
        return std::make_pair(std::unique_ptr<LadderPresence>(std::make_unique<LadderIndicator>()),
                              std::unique_ptr<DropPresence>(std::make_unique<DropPresenceWindows>(
                                  [](const DropRenderTransform& t, OrbDesign design) {
                                      return std::make_unique<GlDropView>(t, design,
                                                                          [] { return recorder().currentLevel(); });
                                  },
                                  [] { return DropGraphics::shared().ready(); })));
    });
}

}  // namespace murmelo
