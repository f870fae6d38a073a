#pragma once
#include "platform/Screens.h"

namespace murmelo::sim {

// Screens a test lays out by hand, notch areas included.
class SimScreens : public Screens {
public:
    std::vector<ScreenInfo> screens() const override { return screens_; }
    QPointF mouseLocation() const override { return mouse_; }
    bool compositing() const override { return compositing_; }

    // Replaces the screens and tells the observers.
    void setScreens(std::vector<ScreenInfo> screens) {
        screens_ = std::move(screens);
        notifyChanged();
    }
    void setMouse(QPointF at) { mouse_ = at; }
    void setCompositing(bool on) { compositing_ = on; }

    // A plain screen: the given frame, a top panel of panelHeight points.
    static ScreenInfo screen(const QRectF& frame, double scale = 1, double panelHeight = 24) {
        ScreenInfo s;
        s.name = QStringLiteral("sim-%1-%2").arg(frame.x()).arg(frame.y());
        s.frame = frame;
        s.visibleFrame = frame.adjusted(0, 0, 0, -panelHeight);
        s.backingScaleFactor = scale;
        return s;
    }

private:
    std::vector<ScreenInfo> screens_;
    QPointF mouse_{-100000, -100000};
    bool compositing_ = true;
};

}  // namespace murmelo::sim
