#pragma once
#include "dictation/LoopbackHttp.h"

#include <QByteArray>
#include <QPointer>
#include <QRectF>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

class QLabel;
class QWidget;

namespace murmelo {

inline const QString STREAM_PREVIEW_ENABLED_KEY = QStringLiteral("streamPreviewEnabled");
// True unless the user turned it off.
bool isStreamPreviewEnabled();

// The samples recorded so far of a WAV file still being written, at most the last 25 s;
// nothing when there are none. The chunk sizes are not final yet and are not read.
std::optional<QByteArray> partialPCM(const QByteArray& file);
std::optional<QByteArray> partialPCM(const QString& path);

// Where the preview panel stands beside the rectangle r, in screen coordinates with the
// origin at the bottom left: its left edge and its top edge. screen: the frame of the screen
// it goes on, if there is one.
struct PreviewAnchor {
    double x = 0;
    double top = 0;
};
PreviewAnchor previewAnchor(const QRectF& r, const std::optional<QRectF>& screen, bool rightToLeft, double width);

// A small floating panel with a running transcript; it grows downwards from a fixed top.
class PreviewPanel {
public:
    PreviewPanel();
    ~PreviewPanel();
    static constexpr double maxW = 380;

    void show(const QRectF& nearOrb);
    void update(const QString& text);
    void hide();

    QString text() const;
    bool isVisible() const;
    // The window's frame in screen coordinates with the origin at the bottom left.
    QRectF frame() const;
    double anchorX = 0;
    double anchorTop = 0;

private:
    void ensure();
    void layout(double labelHeight);
    void drop();

    QPointer<QWidget> win_;
    QPointer<QLabel> label_;
    QRectF frame_;
};

// Shows a running transcript of the dictation being recorded. Nothing starts it yet.
class StreamPreview {
public:
    static StreamPreview& shared();
    StreamPreview();

    static constexpr double TICK = 1.2;
    static constexpr qint64 MIN_BYTES = 24001;

    void start(const QString& file);
    void hide();
    void tick();

    PreviewPanel& panel() { return panel_; }
    bool busy() const { return busy_; }

    // One recognition request; the answer is handed to done on the main queue. Tests replace it.
    std::function<void(const QUrl&, const QByteArray& contentType, const QByteArray& body,
                       std::function<void(HttpResult)> done)>
        send;
    // Where the pointer is, origin at the bottom left. Tests replace it.
    std::function<QPointF()> pointer;

private:
    void schedule();

    PreviewPanel panel_;
    bool busy_ = false;
    quint64 gen_ = 0;
    std::optional<QString> fileURL_;
    std::shared_ptr<bool> ticking_;
};

}  // namespace murmelo
