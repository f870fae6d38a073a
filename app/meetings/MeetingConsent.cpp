#include "meetings/MeetingConsent.h"

#include "base/Defaults.h"
#include "base/Localization.h"
#include "input/ClipboardManager.h"
#include "platform/Pasteboard.h"
#include "platform/Service.h"

#include <QMessageBox>
#include <QPushButton>

namespace murmelo::MeetingConsent {

namespace {

int showDialog(const ConsentAlert& alert) {
    QMessageBox box;
    box.setIcon(QMessageBox::Information);
    box.setText(alert.message);
    box.setInformativeText(alert.informativeText);
    QList<QAbstractButton*> buttons;
    for (qsizetype i = 0; i < alert.buttons.size(); ++i)
        buttons << box.addButton(alert.buttons[i], i == 0 ? QMessageBox::AcceptRole : QMessageBox::RejectRole);
    if (!buttons.isEmpty()) box.setDefaultButton(static_cast<QPushButton*>(buttons.first()));
    // A program without a window in front: the warning must come forward by itself.
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.show();
    box.raise();
    box.activateWindow();
    box.exec();
    return int(buttons.indexOf(box.clickedButton()));
}

}  // namespace

const QStringList& ALL_PARTY_STATES() {
    static const QStringList states{
        QStringLiteral("Калифорния"), QStringLiteral("Коннектикут"), QStringLiteral("Делавэр"),
        QStringLiteral("Флорида"),    QStringLiteral("Иллинойс"),    QStringLiteral("Мэриленд"),
        QStringLiteral("Массачусетс"), QStringLiteral("Монтана"),    QStringLiteral("Нью-Гэмпшир"),
        QStringLiteral("Орегон"),     QStringLiteral("Пенсильвания"), QStringLiteral("Вашингтон")};
    return states;
}

ConsentAlert alert() {
    ConsentAlert a;
    a.message = L(QStringLiteral("meeting.consent.warn.title"), QStringLiteral("Прежде чем записывать разговор"));
    a.informativeText =
        L(QStringLiteral("meeting.consent.warn.body"),
          QStringLiteral("В большинстве мест участник вправе записывать собственный разговор. Но в двенадцати "
                         "штатах США нужно согласие ВСЕХ участников:")) +
        QStringLiteral("\n\n") + ALL_PARTY_STATES().join(QStringLiteral(", ")) + QStringLiteral(".\n\n") +
        L(QStringLiteral("meeting.consent.warn.tail"),
          QStringLiteral("Запись и расшифровка остаются на этом компьютере. Заметки делает облачная модель и только "
                         "по отдельной кнопке. Предупредить участников можно готовой строкой - она появится в меню "
                         "записи."));
    a.buttons = {L(QStringLiteral("meeting.consent.warn.ok"), QStringLiteral("Понятно, записывать")),
                 L(QStringLiteral("meeting.consent.warn.cancel"), QStringLiteral("Не записывать"))};
    return a;
}

bool warnOnceIfNeeded() {
    if (wasWarned()) return true;
    const ConsentAlert a = alert();
    MeetingConsentPresenter* presenter = installedService<MeetingConsentPresenter>();
    const int pressed = presenter ? presenter->run(a) : showDialog(a);
    if (pressed != 0) return false;
    markWarned();
    return true;
}

QString announcement() {
    return L(QStringLiteral("meeting.consent.text"),
             QStringLiteral("Я включил запись разговора, чтобы потом собрать заметки. Запись и расшифровка остаются "
                            "на моём компьютере. Скажите, если не хотите."));
}

void copyAnnouncement() {
    const QString text = announcement();
    Pasteboard& board = Pasteboard::general();
    ClipboardManager::shared().writeInternally([&] {
        board.clearContents();
        PasteboardItem item;
        item.setData(Pasteboard::plainTextType, text.toUtf8());
        board.writeItems({item});
    });
}

bool wasWarned() { return Defaults::shared().boolValue(WARNED_KEY); }

void markWarned() { Defaults::shared().set(WARNED_KEY, true); }

bool reminderEnabled() { return Defaults::shared().realBool(REMINDER_KEY).value_or(true); }

}  // namespace murmelo::MeetingConsent
