#pragma once
#include "ai/CloudResultWindow.h"
#include "ai/QuickActionsController.h"
#include "input/TapConsumers.h"

namespace murmelo {

// What the event tap asks of Quick Actions. While the result card has the keyboard the tap
// lets every key through to it untouched.
class QuickActionsTap : public TapQuickActions {
public:
    bool keyDown(qint64 keyCode, quint64 flags, bool synthetic) override {
        QuickActionsController* c = QuickActionsController::installed();
        return c && c->keyDown(keyCode, flags, synthetic);
    }
    void keyUp(qint64 keyCode, quint64 flags, bool synthetic) override {
        if (QuickActionsController* c = QuickActionsController::installed()) c->keyUp(keyCode, flags, synthetic);
    }
    void mouseDown(QPointF at) override {
        if (QuickActionsController* c = QuickActionsController::installed()) c->mouseDown(at);
    }
    void mouseUp(QPointF at, qint64 clickCount) override {
        if (QuickActionsController* c = QuickActionsController::installed()) c->mouseUp(at, clickCount);
    }
    void dismiss() override {
        if (QuickActionsController* c = QuickActionsController::installed()) c->dismiss();
    }
    bool resultCardIsKey() const override { return CloudResultWindow::shared().isKey(); }
    bool resultCardContains(QPointF point, double margin) const override {
        return CloudResultWindow::shared().contains(point, margin);
    }
};

}  // namespace murmelo
