#pragma once
#include "platform/Screens.h"

#include <QObject>

class QScreen;
typedef struct _XDisplay Display;

namespace murmelo::linuxdesktop {

// The screens as Qt sees them, turned into bottom-left coordinates from the first screen;
// compositing is whether someone owns the _NET_WM_CM_S<n> selection of the default X
// screen. Linux screens have no notch areas. Main thread, own X connection.
class QtScreens : public QObject, public Screens {
public:
    explicit QtScreens(const QString& displayName = {});
    ~QtScreens() override;

    std::vector<ScreenInfo> screens() const override;
    QPointF mouseLocation() const override;
    bool compositing() const override;

private:
    void watch(QScreen* screen);

    Display* dpy_ = nullptr;
};

}  // namespace murmelo::linuxdesktop
