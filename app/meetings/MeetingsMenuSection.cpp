#include "meetings/MeetingsMenuSection.h"

#include "base/Localization.h"
#include "ui/CoreMenuSections.h"

namespace murmelo {

QList<MenuEntry> MeetingsMenuSection::entries() const {
    return {MenuEntry::item("openMeetings", L("meetings.menu", "Встречи…"), "person.wave.2")};
}

void MeetingsMenuSection::trigger(const QString&, QAction*) {
    runMenuAction(openMeetings, L("meetings.menu", "Встречи…"));
}

}  // namespace murmelo
