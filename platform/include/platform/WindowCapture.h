#pragma once
#include <QImage>
#include <QSize>
#include <QString>

namespace murmelo {

// An image of one window as the screen shows it.
class WindowCapture {
public:
    struct Result {
        QImage image;  // null when the capture failed
        QString error;
    };

    virtual ~WindowCapture() = default;
    // Whether this process may capture other applications' windows (a desktop that asks the
    // user for it says no until granted).
    virtual bool hasPermission() const = 0;
    // Asks the desktop for that permission; whether it is granted now.
    virtual bool requestPermission() = 0;
    // The window's content scaled to pixelSize. Any thread; blocks while the image is taken.
    virtual Result capture(quint64 windowId, QSize pixelSize) = 0;

    static WindowCapture& shared();
    static void install(WindowCapture* capture);
};

}  // namespace murmelo
