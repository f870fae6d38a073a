#pragma once
#include "vocabulary/DictationLearningController.h"

#include <memory>

class QMessageBox;

namespace murmelo {

// The learning alerts drawn from their model as Qt message boxes. build() gives the box
// without running it, so that tests can look at it on an offscreen display.
namespace DictationLearningDialog {

std::unique_ptr<QMessageBox> build(const LearningAlert& alert);
// The answer the box stands for once it was closed: the pressed button's index, the
// editor's text and the pop-up's choice.
LearningAnswer answer(const QMessageBox& box, const LearningAlert& alert);
// Brings the box forward when the alert asks for it, runs it modally and answers.
LearningAnswer run(const LearningAlert& alert);

}  // namespace DictationLearningDialog

}  // namespace murmelo
