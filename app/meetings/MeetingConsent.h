#pragma once
#include <QString>
#include <QStringList>

namespace murmelo {

// The one-time warning before the first recording, as a plain model: its texts and its
// buttons (the first is the default).
struct ConsentAlert {
    QString message;
    QString informativeText;
    QStringList buttons;
    bool operator==(const ConsentAlert&) const = default;
};

// Shows the warning modally and returns the index of the button pressed (-1 when it was
// closed another way). The application shows a Qt dialog; tests install their own.
class MeetingConsentPresenter {
public:
    virtual ~MeetingConsentPresenter() = default;
    virtual int run(const ConsentAlert& alert) = 0;
};

// The legal side of recording a conversation: the warning before the first recording and the
// sentence the owner can paste into the call's chat.
namespace MeetingConsent {

inline const QString WARNED_KEY = QStringLiteral("meetingConsentWarned");
inline const QString REMINDER_KEY = QStringLiteral("meetingAnnounceReminder");
// The US states that need every party's consent, in the order the warning lists them.
const QStringList& ALL_PARTY_STATES();

ConsentAlert alert();
// True when recording may go on: at once when the warning was accepted before, else after the
// owner accepts it now (which is remembered). Declining stores nothing. Main thread.
bool warnOnceIfNeeded();
QString announcement();
// Replaces whatever the clipboard holds with the announcement as plain text.
void copyAnnouncement();
bool wasWarned();
void markWarned();
// True unless the setting holds a real false.
bool reminderEnabled();

}  // namespace MeetingConsent
}  // namespace murmelo
