#include "reply/WindowOCR.h"

#include "base/Graphemes.h"
#include "base/Log.h"
#include "base/SerialQueue.h"
#include "platform/WindowCapture.h"
#include "reply/ScreenCaptureBlocklist.h"

#include <algorithm>
#include <cmath>

namespace murmelo::WindowOCR {
namespace {

// The recognition worker: captures and recognitions run here one after another, so the
// recogniser is set up once and the caller's thread is never held.
SerialQueue& worker() {
    static SerialQueue* queue = new SerialQueue;
    return *queue;
}

std::variant<QImage, Failure> capture(qint32 pid, const std::optional<QStringList>& titleMatching) {
    const auto chosen = chooseWindow(Workspace::shared().windowsOf(pid), titleMatching);
    if (const auto* failure = std::get_if<Failure>(&chosen)) return *failure;
    const WindowInfo& window = std::get<WindowInfo>(chosen);
    const QSize size = cappedSize(window.frame.width(), window.frame.height(), 2);
    WindowCapture::Result shot = WindowCapture::shared().capture(window.id, size);
    if (shot.image.isNull()) return Failure{Failure::captureFailed, shot.error};
    return shot.image;
}

}  // namespace

QString Failure::description() const {
    switch (kind) {
    case captureFailed: return QStringLiteral("Снимок окна не удался: ") + detail;
    case blockedApp: return QStringLiteral("Снимок окна «") + detail + QStringLiteral("» не делается: это менеджер паролей.");
    case noPermission:
        return QStringLiteral(
            "Запасной путь - снимок окна - недоступен: нет разрешения «Запись экрана» (Системные настройки → "
            "Конфиденциальность и безопасность → Запись экрана → включить Murmelo, затем перезапустить приложение).");
    case noWindow: return QStringLiteral("Не нашёл окно приложения на экране.");
    case noText: return QStringLiteral("На экране не нашлось читаемого текста.");
    case service: return detail;
    }
    return detail;
}

bool hasPermission() { return WindowCapture::shared().hasPermission(); }

bool requestPermission() { return WindowCapture::shared().requestPermission(); }

void recognizeText(qint32 pid, const std::optional<QStringList>& titleMatching, Completion completion) {
    if (ScreenCaptureBlocklist::blocks(pid)) {
        const QString name = ScreenCaptureBlocklist::appName(pid);
        logLine(QStringLiteral("OCR: снимок ") + name + QStringLiteral(" запрещён — менеджер паролей"));
        completion(std::nullopt, Failure{Failure::blockedApp, name});
        return;
    }
    if (!hasPermission()) {
        completion(std::nullopt, Failure{Failure::noPermission, {}});
        return;
    }
    worker().async([pid, titleMatching, completion = std::move(completion)] {
        auto shot = capture(pid, titleMatching);
        if (const auto* failure = std::get_if<Failure>(&shot)) {
            completion(std::nullopt, *failure);
            return;
        }
        auto text = recognize(std::get<QImage>(shot));
        if (const auto* failure = std::get_if<Failure>(&text)) completion(std::nullopt, *failure);
        else completion(std::get<QString>(text), std::nullopt);
    });
}

QSize cappedSize(double width, double height, double scale) {
    double w = std::max(width * scale, 1.0);
    double h = std::max(height * scale, 1.0);
    if (w * h > maxCapturePixels) {
        const double factor = std::sqrt(maxCapturePixels / (w * h));
        return QSize(std::max(int(std::trunc(w * factor)), 1), std::max(int(std::trunc(h * factor)), 1));
    }
    return QSize(int(std::trunc(w)), int(std::trunc(h)));
}

bool matches(const QString& title, const QStringList& any) {
    if (title.isEmpty()) return false;
    const QString lower = title.toLower();
    return std::any_of(any.begin(), any.end(),
                       [&](const QString& f) { return !f.isEmpty() && lower.contains(f.toLower()); });
}

std::variant<WindowInfo, Failure> chooseWindow(const std::vector<WindowInfo>& windows,
                                               const std::optional<QStringList>& titleMatching) {
    std::vector<WindowInfo> candidates;
    for (const WindowInfo& w : windows)
        if (w.mapped && w.normal && w.frame.width() > minWindowWidth && w.frame.height() > minWindowHeight)
            candidates.push_back(w);
    if (titleMatching) {
        QStringList seen;
        std::vector<WindowInfo> matching;
        for (const WindowInfo& w : candidates) {
            if (!w.title.isEmpty()) seen.append(w.title);
            if (matches(w.title, *titleMatching)) matching.push_back(w);
        }
        if (matching.empty() && !seen.isEmpty())
            logLine(QStringLiteral("OCR: окна по заголовку нет, были: ") + seen.join(QStringLiteral(" | ")));
        candidates = std::move(matching);
    }
    if (candidates.empty()) return Failure{Failure::noWindow, {}};
    const auto area = [](const WindowInfo& w) { return w.frame.width() * w.frame.height(); };
    // max_element keeps the first of equal ones.
    return *std::max_element(candidates.begin(), candidates.end(),
                             [&](const WindowInfo& a, const WindowInfo& b) { return area(a) < area(b); });
}

// "Close enough to be one row" is not transitive, so it cannot order a sort by itself: the
// lines are first sorted top to bottom, cut into rows where a line lies a tolerance or more
// below the row's first line, and each row is then read left to right.
std::vector<RecognizedLine> ordered(std::vector<RecognizedLine> lines) {
    std::stable_sort(lines.begin(), lines.end(),
                     [](const RecognizedLine& a, const RecognizedLine& b) { return a.midY > b.midY; });
    auto rowStart = lines.begin();
    while (rowStart != lines.end()) {
        auto rowEnd = std::find_if(rowStart, lines.end(), [&](const RecognizedLine& l) {
            return rowStart->midY - l.midY >= rowTolerance;
        });
        std::stable_sort(rowStart, rowEnd, [](const RecognizedLine& a, const RecognizedLine& b) { return a.left < b.left; });
        rowStart = rowEnd;
    }
    return lines;
}

std::variant<QString, Failure> recognize(const QImage& image) {
    TextRecognizer::Result result = TextRecognizer::shared().recognize(image);
    if (!result.error.isEmpty()) return Failure{Failure::service, result.error};
    std::vector<RecognizedLine> kept;
    for (RecognizedLine& line : result.lines)
        if (line.confidence > minConfidence) kept.push_back(std::move(line));
    QStringList texts;
    for (const RecognizedLine& line : ordered(std::move(kept))) texts.append(line.text);
    const QString text = texts.join(QLatin1Char('\n')).trimmed();
    if (graphemeCount(text) < minTextLength) return Failure{Failure::noText, {}};
    return text;
}

}  // namespace murmelo::WindowOCR
