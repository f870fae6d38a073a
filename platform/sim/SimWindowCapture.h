#pragma once
#include "platform/TextRecognizer.h"
#include "platform/WindowCapture.h"

#include <QColor>
#include <mutex>
#include <vector>

namespace murmelo::sim {

// Captures that a test shapes: the permission switch, a failure to give, and a record of the
// windows and sizes asked for. The image is blank; the simulated recogniser says what it shows.
class SimWindowCapture : public WindowCapture {
public:
    bool hasPermission() const override { return permission; }
    bool requestPermission() override {
        ++permissionRequests;
        return permission;
    }
    Result capture(quint64 windowId, QSize pixelSize) override {
        std::lock_guard lock(mutex_);
        captures.push_back({windowId, pixelSize});
        if (!failure.isEmpty()) return {QImage(), failure};
        QImage image(pixelSize, QImage::Format_RGB32);
        image.fill(Qt::white);
        return {image, {}};
    }

    struct Capture {
        quint64 window;
        QSize size;
        bool operator==(const Capture&) const = default;
    };
    bool permission = true;
    int permissionRequests = 0;
    QString failure;
    std::vector<Capture> captures;

private:
    std::mutex mutex_;
};

// Recognition that answers the lines a test set.
class SimTextRecognizer : public TextRecognizer {
public:
    Result recognize(const QImage&) override {
        ++calls;
        return {lines, error};
    }
    std::vector<RecognizedLine> lines;
    QString error;
    int calls = 0;
};

}  // namespace murmelo::sim
