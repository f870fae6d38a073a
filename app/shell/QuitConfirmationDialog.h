#pragma once
#include "shell/AppQuit.h"

#include <memory>

class QMessageBox;

namespace murmelo {

// The quit dialog drawn from its model. build() gives the box without running it, so that
// tests can look at it on an offscreen display.
namespace QuitConfirmationDialog {

std::unique_ptr<QMessageBox> build(const QuitConfirmation& model);
// The button a click on the box's button stands for; cancel for anything else.
QuitConfirmation::Button answer(const QMessageBox& box, const QuitConfirmation& model);

}  // namespace QuitConfirmationDialog

// Runs the dialog modally and answers the chosen button (Escape or closing: cancel).
QuitConfirmation::Button runQuitConfirmationDialog(const QuitConfirmation& model);

}  // namespace murmelo
