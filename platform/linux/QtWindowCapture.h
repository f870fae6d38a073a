#pragma once
#include "platform/WindowCapture.h"

#include <QByteArray>
#include <mutex>

typedef struct _XDisplay Display;

namespace murmelo::linuxdesktop {

// Window images through Qt's screen grab of the window id. X11 asks no permission. The
// window is looked at first on a connection of its own, inside an error trap, so that one
// that vanished is reported as such. Without a compositing manager the server keeps no
// pixels of a covered window: a covered part shows what covers it.
class QtWindowCapture : public WindowCapture {
public:
    explicit QtWindowCapture(const QString& displayName = {});
    ~QtWindowCapture() override;

    bool hasPermission() const override { return true; }
    bool requestPermission() override { return true; }
    Result capture(quint64 windowId, QSize pixelSize) override;

private:
    QByteArray displayName_;
    std::mutex lock_;
    Display* dpy_ = nullptr;
};

}  // namespace murmelo::linuxdesktop
