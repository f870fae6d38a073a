#include "dictation/StreamPreview.h"

#include "base/Defaults.h"
#include "base/Geometry.h"
#include "base/RTL.h"
#include "dictation/DictationVocabulary.h"
#include "dictation/ModelCatalog.h"
#include "dictation/RecognitionLanguage.h"
#include "dictation/Wav.h"
#include "dictation/WhisperReply.h"
#include "dictation/WhisperRequest.h"
#include "platform/MainQueue.h"

#include <QCursor>
#include <QFile>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QStringDecoder>
#include <QUuid>
#include <QWidget>
#include <thread>

namespace murmelo {

namespace {

constexpr qint64 MAX_PARTIAL = 800000;  // 25 s of 16 kHz 16-bit mono

double primaryHeight() {
    const QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->geometry().height() : 0;
}

// Screen frames, origin at the bottom left of the primary screen.
QList<QRectF> screenFrames() {
    QList<QRectF> frames;
    const double h = primaryHeight();
    for (const QScreen* s : QGuiApplication::screens()) frames << toQtRect(s->geometry(), h);
    return frames;
}

std::optional<QRectF> screenFor(const QRectF& r) {
    const QList<QRectF> frames = screenFrames();
    for (const QRectF& f : frames)
        if (f.contains(r.center())) return f;
    if (!frames.isEmpty()) return frames.first();
    return std::nullopt;
}

}  // namespace

bool isStreamPreviewEnabled() {
    return Defaults::shared().realBool(STREAM_PREVIEW_ENABLED_KEY).value_or(true);
}

std::optional<QByteArray> partialPCM(const QByteArray& file) {
    if (file.size() < 45) return std::nullopt;
    const qsizetype searchEnd = std::min<qsizetype>(file.size(), 1024);
    const qsizetype marker = file.left(searchEnd).indexOf("data", 12);
    qint64 start = marker >= 0 ? marker + 8 : 44;
    if (start >= file.size()) return std::nullopt;
    if (file.size() - start > MAX_PARTIAL) {
        const qint64 cut = file.size() - MAX_PARTIAL;
        // Keep the 16-bit samples whole.
        start = (cut - start) % 2 == 0 ? cut : cut + 1;
    }
    return file.mid(start);
}

std::optional<QByteArray> partialPCM(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    return partialPCM(f.readAll());
}

PreviewAnchor previewAnchor(const QRectF& r, const std::optional<QRectF>& screen, bool rightToLeft, double width) {
    const double gap = 0.2 * r.width();
    const double right = r.center().x() + gap + 8;
    const double left = r.center().x() - gap - 8 - width;
    PreviewAnchor a;
    a.x = rightToLeft ? left : right;
    a.top = r.center().y() + 22;
    if (!screen) return a;
    if (!rightToLeft) {
        if (a.x + width > screen->right() - 6) {
            a.x = left;
            if (a.x < screen->left() + 6) a.x = screen->left() + 6;
        }
    } else if (a.x < screen->left() + 6) {
        a.x = right;
        if (a.x + width > screen->right() - 6) a.x = screen->right() - 6 - width;
    }
    // Bottom-up frames: the top edge is the larger y.
    a.top = std::min(a.top, screen->bottom() - 6);
    return a;
}

PreviewPanel::PreviewPanel() {
    // A new screen arrangement gets a window built for it.
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        QObject::connect(app, &QGuiApplication::screenAdded, [this](QScreen*) { drop(); });
        QObject::connect(app, &QGuiApplication::screenRemoved, [this](QScreen*) { drop(); });
        QObject::connect(app, &QGuiApplication::primaryScreenChanged, [this](QScreen*) { drop(); });
    }
}

PreviewPanel::~PreviewPanel() { delete win_.data(); }

void PreviewPanel::drop() {
    delete win_.data();
    win_ = nullptr;
    label_ = nullptr;
}

void PreviewPanel::ensure() {
    if (win_) return;
    auto* w = new QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                                       Qt::WindowDoesNotAcceptFocus | Qt::X11BypassWindowManagerHint);
    w->setAttribute(Qt::WA_ShowWithoutActivating);
    w->setAttribute(Qt::WA_TransparentForMouseEvents);
    w->setAttribute(Qt::WA_TranslucentBackground);
    w->resize(int(maxW), 60);
    auto* back = new QWidget(w);
    back->setObjectName(QStringLiteral("previewBack"));
    back->setStyleSheet(QStringLiteral("#previewBack { background: rgba(30, 30, 30, 220); border-radius: 12px; }"));
    back->setGeometry(0, 0, int(maxW), 60);
    auto* l = new QLabel(w);
    l->setWordWrap(true);
    QFont font = l->font();
    font.setPixelSize(13);
    l->setFont(font);
    l->setStyleSheet(QStringLiteral("color: white;"));
    l->setAlignment(Qt::AlignLeading | Qt::AlignTop);
    RTL::apply(w);
    win_ = w;
    label_ = l;
}

void PreviewPanel::layout(double h) {
    const double height = h + 22;
    frame_ = QRectF(anchorX, anchorTop - height, maxW, height);
    if (!win_) return;
    win_->setGeometry(toQtRect(frame_, primaryHeight()).toRect());
    if (auto* back = win_->findChild<QWidget*>(QStringLiteral("previewBack"))) back->setGeometry(0, 0, int(maxW), int(height));
    // Label at (14, 11) from the bottom left, inside the panel.
    label_->setGeometry(toQtRect(QRectF(14, 11, maxW - 28, h), height).toRect());
}

void PreviewPanel::show(const QRectF& nearOrb) {
    ensure();
    label_->setText(QStringLiteral("…"));
    const PreviewAnchor a = previewAnchor(nearOrb, screenFor(nearOrb), RTL::isActive(), maxW);
    anchorX = a.x;
    anchorTop = a.top;
    layout(40);
    win_->show();
    win_->raise();
}

void PreviewPanel::update(const QString& text) {
    ensure();
    // At most six lines; the oldest words give way to the newest.
    QString shown = text.isEmpty() ? QStringLiteral("…") : text;
    const QFontMetrics fm(label_->font());
    const int width = int(maxW - 28);
    while (shown.size() > 1 &&
           fm.boundingRect(QRect(0, 0, width, 600), Qt::TextWordWrap, shown).height() > 6 * fm.lineSpacing())
        shown = QStringLiteral("…") + shown.mid(std::max<qsizetype>(2, shown.size() / 10));
    label_->setText(shown);
    const double h = std::clamp<double>(fm.boundingRect(QRect(0, 0, width, 600), Qt::TextWordWrap, shown).height(), 20, 120);
    layout(h);
}

void PreviewPanel::hide() {
    if (win_) win_->hide();
}

QString PreviewPanel::text() const { return label_ ? label_->text() : QString(); }
bool PreviewPanel::isVisible() const { return win_ && win_->isVisible(); }
QRectF PreviewPanel::frame() const { return frame_; }

StreamPreview& StreamPreview::shared() {
    static StreamPreview preview;
    return preview;
}

StreamPreview::StreamPreview() {
    send = [](const QUrl& url, const QByteArray& contentType, const QByteArray& body, std::function<void(HttpResult)> done) {
        MainQueue& main = MainQueue::shared();
        std::thread([&main, url, contentType, body, done = std::move(done)]() mutable {
            HttpResult r = loopbackHttp("POST", url, contentType, body, 10, 10);
            main.post([r = std::move(r), done = std::move(done)] { done(r); });
        }).detach();
    };
    pointer = [] { return QPointF(QCursor::pos().x(), primaryHeight() - QCursor::pos().y()); };
}

void StreamPreview::start(const QString& file) {
    if (!isStreamPreviewEnabled()) return;
    if (const auto model = currentModel(); model && model->engine == ASREngine::sherpa) return;
    ++gen_;
    fileURL_ = file;
    busy_ = false;
    const QPointF p = pointer();
    panel_.show(QRectF(p.x() + 16, p.y() - 132, 130, 130));
    schedule();
}

void StreamPreview::schedule() {
    if (ticking_) *ticking_ = false;
    ticking_ = std::make_shared<bool>(true);
    std::weak_ptr<bool> alive = ticking_;
    // Repeats until hidden or restarted. Only the pending timer holds the repeat, so that
    // it is freed once it stops, rather than holding itself forever.
    auto again = std::make_shared<std::function<void()>>();
    std::weak_ptr<std::function<void()>> self = again;
    *again = [this, alive, self] {
        const auto live = alive.lock();
        if (!live || !*live) return;
        tick();
        if (const auto next = self.lock()) MainQueue::shared().after(TICK, [next] { (*next)(); });
    };
    MainQueue::shared().after(TICK, [again] { (*again)(); });
}

void StreamPreview::hide() {
    if (ticking_) *ticking_ = false;
    ticking_.reset();
    ++gen_;
    busy_ = false;
    panel_.hide();
}

void StreamPreview::tick() {
    if (busy_ || !fileURL_) return;
    const auto pcm = partialPCM(*fileURL_);
    if (!pcm || pcm->size() < MIN_BYTES) return;
    busy_ = true;
    const quint64 asked = gen_;

    const QString boundary = QStringLiteral("Boundary-prev-") + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    QList<FormField> fields{{QStringLiteral("response_format"), QStringLiteral("text")},
                            {QStringLiteral("temperature"), QStringLiteral("0")}};
    if (const auto language = RecognitionLanguage::requestField()) fields.append({QStringLiteral("language"), *language});
    const QString vocab = DictationVocabulary::shared().effectiveVocab(std::nullopt).trimmed();
    if (!vocab.isEmpty()) fields.append({QStringLiteral("prompt"), WhisperRequest::dictationPrompt(vocab)});
    const QByteArray body =
        WhisperRequest::multipartBody(boundary, QStringLiteral("p.wav"), wavHeader(pcm->size()) + *pcm, fields);

    send(SERVER(), "multipart/form-data; boundary=" + boundary.toLatin1(), body, [this, asked](const HttpResult& r) {
        busy_ = false;
        if (gen_ != asked || !r.responded || r.body.isEmpty()) return;
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString text = decoder.decode(r.body);
        if (decoder.hasError()) return;
        const QString clean = cleanText(text);
        if (clean.isEmpty() || isFiller(clean)) return;
        panel_.update(clean);
    });
}

}  // namespace murmelo
