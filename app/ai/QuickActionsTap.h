#pragma once
#include "ai/CloudResultWindow.h"
#include "input/TapConsumers.h"

namespace murmelo {

// What the event tap asks of Quick Actions. While the result card has the keyboard the tap
// lets every key through to it untouched.
class QuickActionsTap : public TapQuickActions {
public:
    bool resultCardIsKey() const override { return CloudResultWindow::shared().isKey(); }
    bool resultCardContains(QPointF point, double margin) const override {
        return CloudResultWindow::shared().contains(point, margin);
    }
};

}  // namespace murmelo
