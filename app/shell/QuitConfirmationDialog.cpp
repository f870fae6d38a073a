#include "shell/QuitConfirmationDialog.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>

namespace murmelo {
namespace QuitConfirmationDialog {

namespace {

QMessageBox::ButtonRole roleOf(QuitConfirmation::Button button) {
    switch (button) {
    case QuitConfirmation::Button::pause: return QMessageBox::ActionRole;
    case QuitConfirmation::Button::quit: return QMessageBox::AcceptRole;
    case QuitConfirmation::Button::cancel: return QMessageBox::RejectRole;
    }
    return QMessageBox::RejectRole;
}

}  // namespace

std::unique_ptr<QMessageBox> build(const QuitConfirmation& model) {
    auto box = std::make_unique<QMessageBox>();
    box->setIcon(QMessageBox::Question);
    box->setWindowTitle(model.windowTitle);
    box->setText(model.title);
    box->setInformativeText(model.body);
    for (size_t i = 0; i < model.buttons.size(); ++i) {
        QPushButton* b = box->addButton(model.buttonTitles.value(qsizetype(i)), roleOf(model.buttons[i]));
        b->setProperty("quitButton", int(model.buttons[i]));
        if (model.buttons[i] == model.defaultButton) box->setDefaultButton(b);
        if (model.buttons[i] == model.escapeButton) box->setEscapeButton(b);
    }
    return box;
}

QuitConfirmation::Button answer(const QMessageBox& box, const QuitConfirmation&) {
    const QAbstractButton* clicked = box.clickedButton();
    if (!clicked) return QuitConfirmation::Button::cancel;
    const QVariant v = clicked->property("quitButton");
    return v.isValid() ? QuitConfirmation::Button(v.toInt()) : QuitConfirmation::Button::cancel;
}

}  // namespace QuitConfirmationDialog

QuitConfirmation::Button runQuitConfirmationDialog(const QuitConfirmation& model) {
    auto box = QuitConfirmationDialog::build(model);
    // Brought to the front over other applications' windows: the quit is being asked now.
    box->setWindowFlag(Qt::WindowStaysOnTopHint);
    box->raise();
    box->activateWindow();
    box->exec();
    return QuitConfirmationDialog::answer(*box, model);
}

}  // namespace murmelo
