#include "ui/AlertPresenter.h"

#include "base/Localization.h"
#include "platform/Service.h"

#include <QMessageBox>
#include <QPushButton>

namespace murmelo {

int AlertPresenter::run(const AlertModel& alert) {
    QMessageBox box;
    box.setIcon(alert.style == AlertModel::Style::warning ? QMessageBox::Warning : QMessageBox::Information);
    box.setWindowTitle(QStringLiteral("Ondrix"));
    box.setText(alert.title);
    box.setInformativeText(alert.informative);
    const QStringList buttons = alert.buttons.isEmpty() ? QStringList{L(QStringLiteral("alert.ok"), QStringLiteral("OK"))}
                                                        : alert.buttons;
    QList<QAbstractButton*> made;
    for (qsizetype i = 0; i < buttons.size(); ++i)
        made << box.addButton(buttons[i], i == 0 ? QMessageBox::AcceptRole : QMessageBox::RejectRole);
    box.setDefaultButton(qobject_cast<QPushButton*>(made.first()));
    box.exec();
    const qsizetype chosen = made.indexOf(box.clickedButton());
    return chosen < 0 ? int(made.size()) - 1 : int(chosen);
}

AlertPresenter& AlertPresenter::shared() { return sharedService<AlertPresenter>(); }

}  // namespace murmelo
