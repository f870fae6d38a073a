#include "ui/BuildPanelController.h"
#include "ui/FloatingCard.h"

#include "base/BuildStamp.h"
#include "base/Geometry.h"
#include "base/Localization.h"
#include "base/Log.h"
#include "base/RTL.h"
#include "ui/Water.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QToolButton>
#include <QWidget>

namespace murmelo {

std::optional<BuildPanelModel> BuildPanelModel::current() {
    const QStringList all = BuildStamp::whatsNew();
    BuildPanelModel m;
    m.lines = all.mid(0, MAX_LINES);
    m.availableLines = int(all.size());
    if (m.lines.isEmpty()) return std::nullopt;
    m.title = BuildStamp::badge() + (BuildStamp::dirty() ? QStringLiteral(" ●") : QString());
    m.detail = BuildStamp::commit().value_or(QStringLiteral("?")) + QStringLiteral(" · ") + BuildStamp::time().value_or(QString());

    const double A = W - 2 * PAD;
    m.height = PAD + m.lines.size() * (GAP + LINE_HEIGHT) + PAD + 12 + 13 + 1 + 15;
    // From the bottom up: the last line at PAD, each earlier one a line higher.
    double y = PAD;
    for (qsizetype i = m.lines.size() - 1; i >= 0; --i) {
        m.lineFrames.prepend(QRectF(PAD, y, A, LINE_HEIGHT));
        y += GAP + LINE_HEIGHT;
    }
    m.dividerFrame = QRectF(PAD, y + 6, A, 1);
    m.detailFrame = QRectF(PAD, m.dividerFrame.y() + 7, A - 16, 12);
    m.titleFrame = QRectF(PAD, m.detailFrame.bottom() + 1, A - 16, 15);
    m.closeFrame = QRectF(W - PAD - 13, m.height - PAD - 13, 13, 13);
    return m;
}

QPointF BuildPanelModel::topLeftOn(const QRect& available) const {
    const QRectF a(available);
    return QPointF(a.right() - W - MARGIN, a.bottom() - MARGIN - height);
}

QString BuildPanelModel::logLine() const {
    return QStringLiteral("плашка сборки: показана (%1 строк из %2)").arg(lines.size()).arg(availableLines);
}

QColor BuildPanelModel::surface() { return srgb(0.11, 0.115, 0.125, 0.94); }
QColor BuildPanelModel::border() { return srgb(1, 1, 1, 0.18 * 0.35); }
QColor BuildPanelModel::label() { return srgb(1, 1, 1, 0.85); }
QColor BuildPanelModel::tertiaryLabel() { return srgb(1, 1, 1, 0.45); }
QColor BuildPanelModel::quaternaryLabel() { return srgb(1, 1, 1, 0.3); }
QColor BuildPanelModel::separator() { return srgb(1, 1, 1, 0.18); }

namespace {

QString rgba(const QColor& c) {
    return QStringLiteral("rgba(%1,%2,%3,%4)").arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alphaF());
}

// The heads-up surface: rounded, clipped, with a hairline border.
class BuildPanelContent : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        FloatingCard::paintPlate(p, rect(), BuildPanelModel::surface(), BuildPanelModel::border(), 10);
    }
};

class Divider : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QColor c = BuildPanelModel::separator();
        c.setAlphaF(c.alphaF() * 0.5f);
        QPainter(this).fillRect(rect(), c);
    }
};

// The close symbol: a filled circle with a cross cut out of it.
QIcon closeIcon() {
    QPixmap pm(26, 26);
    pm.setDevicePixelRatio(2);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(BuildPanelModel::quaternaryLabel());
    p.drawEllipse(QRectF(0, 0, 13, 13));
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.setPen(QPen(Qt::black, 1.3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(4.3, 4.3), QPointF(8.7, 8.7));
    p.drawLine(QPointF(8.7, 4.3), QPointF(4.3, 8.7));
    p.end();
    return QIcon(pm);
}

QLabel* makeLabel(QWidget* parent, const QRectF& frame, double height, const QFont& font, const QColor& color) {
    auto* l = new QLabel(parent);
    l->setFont(font);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, color);
    l->setPalette(pal);
    l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    l->setGeometry(toQtRect(frame, height).toRect());
    return l;
}

}  // namespace

BuildPanelController& BuildPanelController::shared() {
    static BuildPanelController* controller = new BuildPanelController;
    return *controller;
}

void BuildPanelController::hide() {
    if (!panel_) return;
    panel_->hide();
    panel_->deleteLater();
    panel_ = nullptr;
}

void BuildPanelController::closeClicked() {
    hide();
    logLine(QStringLiteral("плашка сборки: закрыта на эту сессию"));
}

void BuildPanelController::refresh() {
    if (!BuildStamp::showsPanel()) {
        hide();
        return;
    }
    hide();
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const auto model = BuildPanelModel::current();
    if (!model) return;
    const double H = model->height;
    const double A = BuildPanelModel::W - 2 * BuildPanelModel::PAD;

    auto* window = new QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                                            Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint);
    window->setAttribute(Qt::WA_ShowWithoutActivating);
    window->setAttribute(Qt::WA_TranslucentBackground);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setObjectName(QStringLiteral("buildPanel"));
    window->setWindowOpacity(0.96);
    window->setFixedSize(int(BuildPanelModel::W), int(H));
    window->move(model->topLeftOn(screen->availableGeometry()).toPoint());

    auto* content = new BuildPanelContent(window);
    content->setGeometry(0, 0, int(BuildPanelModel::W), int(H));

    const QFont titleFont = F::system(11.5, QFont::DemiBold);
    QLabel* title = makeLabel(content, model->titleFrame, H, titleFont, BuildPanelModel::label());
    title->setText(QFontMetricsF(titleFont).elidedText(model->title, Qt::ElideRight, model->titleFrame.width()));
    title->setObjectName(QStringLiteral("title"));

    const QFont detailFont = F::system(9.5);
    QLabel* detail = makeLabel(content, model->detailFrame, H, detailFont, BuildPanelModel::tertiaryLabel());
    detail->setText(model->detail);
    detail->setObjectName(QStringLiteral("detail"));

    auto* divider = new Divider(content);
    divider->setGeometry(toQtRect(model->dividerFrame, H).toRect());

    const QFont lineFont = F::system(11);
    const QFontMetricsF fm(lineFont);
    const QString bullet = QStringLiteral("· ");
    for (qsizetype i = 0; i < model->lines.size(); ++i) {
        QLabel* l = makeLabel(content, model->lineFrames[i], H, lineFont, BuildPanelModel::label());
        const QString text = fm.elidedText(model->lines[i], Qt::ElideRight, A - fm.horizontalAdvance(bullet));
        l->setTextFormat(Qt::RichText);
        l->setText(QStringLiteral("<span style=\"color:%1\">%2</span>%3")
                       .arg(rgba(BuildPanelModel::tertiaryLabel()), bullet.toHtmlEscaped(), text.toHtmlEscaped()));
        l->setObjectName(QStringLiteral("line%1").arg(i));
    }

    auto* close = new QToolButton(content);
    close->setAutoRaise(true);
    close->setStyleSheet(QStringLiteral("QToolButton { border: none; background: transparent; padding: 0; }"));
    close->setIcon(closeIcon());
    close->setIconSize(QSize(13, 13));
    close->setGeometry(toQtRect(model->closeFrame, H).toRect());
    close->setAccessibleName(L("build.panel.close", "Закрыть плашку сборки"));
    close->setToolTip(close->accessibleName());
    close->setObjectName(QStringLiteral("close"));
    connect(close, &QToolButton::clicked, this, &BuildPanelController::closeClicked);

    RTL::apply(content);
    window->show();
    panel_ = window;
    logLine(model->logLine());
}

}  // namespace murmelo
