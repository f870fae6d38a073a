#pragma once
#include "platform/TextRecognizer.h"
#include "platform/Workspace.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <variant>
#include <vector>

namespace murmelo {

// Captures one window of an application and reads its text by optical character
// recognition. Password managers are never captured. Keeps no state between calls.
namespace WindowOCR {

inline constexpr double maxCapturePixels = 12'000'000;
// Ordinary windows only: a capture is taken of a window larger than this, in points.
inline constexpr double minWindowWidth = 200;
inline constexpr double minWindowHeight = 120;
inline constexpr double minConfidence = 0.3;
inline constexpr int minTextLength = 20;
// Lines whose middles are closer than this read as one row.
inline constexpr double rowTolerance = 0.01;

struct Failure {
    enum Kind { captureFailed, blockedApp, noPermission, noWindow, noText, service };
    Kind kind = noText;
    // The capture's error (captureFailed), the application's name (blockedApp), or the
    // capture or recognition service's own message, passed on unchanged (service).
    QString detail;
    QString description() const;
    bool operator==(const Failure&) const = default;
};

// Called exactly once: with the text, or with the failure.
using Completion = std::function<void(std::optional<QString> text, std::optional<Failure> failure)>;

bool hasPermission();
bool requestPermission();

// The blocklist and permission checks answer on the caller's thread before this returns;
// the capture and recognition run on the recognition worker, and their completion is
// called there (a caller that wants the main thread posts to it).
void recognizeText(qint32 pid, const std::optional<QStringList>& titleMatching, Completion completion);

// The capture's pixel size for a window of width by height points at the given scale.
QSize cappedSize(double width, double height, double scale);
bool matches(const QString& title, const QStringList& any);
// The window to capture: the largest candidate, the first listed on equal areas.
std::variant<WindowInfo, Failure> chooseWindow(const std::vector<WindowInfo>& windows,
                                               const std::optional<QStringList>& titleMatching);
// The lines read top to bottom and, within a row, left to right.
std::vector<RecognizedLine> ordered(std::vector<RecognizedLine> lines);
std::variant<QString, Failure> recognize(const QImage& image);

}  // namespace WindowOCR
}  // namespace murmelo
