#include "input/DeliveryRepairCard.h"
#include "base/Graphemes.h"

#include "base/Localization.h"
#include "base/Log.h"
#include "base/RTL.h"
#include "ui/FloatingCard.h"
#include "ui/Water.h"
#include "input/ClipboardPaste.h"
#include "input/DeliveryAudit.h"
#include "input/DeliveryRepair.h"
#include "platform/ComposeStage.h"
#include "platform/Service.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

namespace murmelo {
namespace {

using Kind = DeliveryRepairCardController::Kind;

QLabel* label(const QString& text, const QFont& font, const QColor& color, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setFont(font);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, color);
    l->setPalette(pal);
    return l;
}

QPushButton* button(const QString& text, const QColor& ink, const std::optional<QColor>& fill, int padX, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setFont(F::sec());
    b->setFlat(true);
    b->setFocusPolicy(Qt::NoFocus);
    b->setCursor(Qt::PointingHandCursor);
    const QString bg = fill ? QStringLiteral("background:%1; border-radius:10px;").arg(fill->name(QColor::HexArgb))
                            : QStringLiteral("background:transparent;");
    b->setStyleSheet(QStringLiteral("QPushButton{color:%1; %2 border:none; padding:4px %3px;}")
                         .arg(ink.name(QColor::HexArgb), bg)
                         .arg(padX));
    return b;
}

}  // namespace

QString DeliveryRepairCardController::logTag(Kind kind) {
    switch (kind) {
    case Kind::dictation: return QStringLiteral("insert-repair");
    case Kind::polish: return QStringLiteral("polish-repair");
    case Kind::undo: return QStringLiteral("undo-repair");
    }
    return {};
}

TextWriteOrigin DeliveryRepairCardController::origin(Kind kind) {
    switch (kind) {
    case Kind::dictation: return TextWriteOrigin::dictationRepair;
    case Kind::polish: return TextWriteOrigin::polishRepair;
    case Kind::undo: return TextWriteOrigin::layoutUndoRepair;
    }
    return TextWriteOrigin::unknown;
}

DeliveryRepairCardController::Model DeliveryRepairCardController::model(int chars, const QString& app, Kind kind) {
    Model m{kind, chars, app, {}, {}, {}, {}};
    const QVariantList args{QString::number(chars), app};
    switch (kind) {
    case Kind::dictation:
        m.title = L(QStringLiteral("delivery.repair.title"), QStringLiteral("Вставка не доехала"));
        m.body = L(QStringLiteral("delivery.repair.body"), QStringLiteral("%1$@ симв. не легли в поле (%2$@). Текст цел."), args);
        break;
    case Kind::polish:
        m.title = L(QStringLiteral("delivery.repair.polish.title"), QStringLiteral("Правка не доехала"));
        m.body = L(QStringLiteral("delivery.repair.polish.body"),
                   QStringLiteral("Полировка стёрла %1$@ симв. и не смогла впечатать замену (%2$@). Текст цел."), args);
        break;
    case Kind::undo:
        m.title = L(QStringLiteral("delivery.repair.undo.title"), QStringLiteral("Откат не доехал"));
        m.body = L(QStringLiteral("delivery.repair.undo.body"),
                   QStringLiteral("Откат стёр слово и не смог вернуть %1$@ симв. набранного (%2$@)."), args);
        break;
    }
    m.insertButton = L(QStringLiteral("delivery.repair.again"), QStringLiteral("Вставить ещё раз"));
    m.okButton = L(QStringLiteral("common.ok"), QStringLiteral("Понятно"));
    return m;
}

QPointF DeliveryRepairCardController::cardOrigin(const std::optional<QRectF>& visibleFrame, const QSizeF& size) {
    return FloatingCard::origin(visibleFrame, size);
}

DeliveryRepairCardController::DeliveryRepairCardController() = default;
DeliveryRepairCardController::~DeliveryRepairCardController() { hide(); }

DeliveryRepairCardController& DeliveryRepairCardController::shared() {
    if (auto* c = installedService<DeliveryRepairCardController>()) return *c;
    static auto* controller = new DeliveryRepairCardController;  // lives for the process
    return *controller;
}

void DeliveryRepairCardController::install(DeliveryRepairCardController* controller) {
    installService<DeliveryRepairCardController>(controller);
}

void DeliveryRepairCardController::show(const QString& expected, const QString& app, Kind kind) {
    // A stand's field is in-process: there is no user to offer the repair to.
    if (ComposeStage::standMode()) return;
    MainQueue::shared().post([this, expected, app, kind] { build(expected, app, kind); });
}

void DeliveryRepairCardController::build(const QString& expected, const QString& app, Kind kind) {
    hide();
    pendingText_ = expected;
    pendingApp_ = app;
    pendingKind_ = kind;
    const int chars = graphemeCount(expected);
    model_ = model(chars, app, kind);

    const bool dark = QGuiApplication::palette().color(QPalette::Window).lightness() < 128;
    const Water w{dark, false};
    auto panel = std::make_unique<FloatingCardSurface>(w);
    // The card has buttons: it takes clicks, but never the focus.
    FloatingCard::setUpWindow(panel.get(), FloatingCard::Clicks::taken, Qt::NoDropShadowWindowHint);
    auto* column = new QVBoxLayout(panel.get());
    column->setSpacing(7);
    column->setContentsMargins(14, 12, 14, 12);
    column->addWidget(label(model_.title, F::small(), w.cap(), panel.get()));
    column->addWidget(label(model_.body, F::sec(), w.ink(), panel.get()));
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    std::weak_ptr<bool> alive = alive_;
    auto* again = button(model_.insertButton, w.knobOn(), w.acc(), 10, panel.get());
    QObject::connect(again, &QPushButton::clicked, [this, alive] { if (!alive.expired()) reinsert(); });
    auto* ok = button(model_.okButton, w.cap(), std::nullopt, 8, panel.get());
    QObject::connect(ok, &QPushButton::clicked, [this, alive] { if (!alive.expired()) hide(); });
    row->addWidget(again);
    row->addWidget(ok);
    row->addStretch();
    column->addLayout(row);
    panel->setMinimumWidth(210 + 28);
    RTL::apply(panel.get());
    panel->adjustSize();

    panel->setGeometry(FloatingCard::placement(panel->sizeHint().expandedTo(panel->minimumSize())));
    panel->show();
    panel_ = std::move(panel);
    ++shown_;

    hideWork_ = MainQueue::shared().after(lifetime, [this, alive] { if (!alive.expired()) hide(); });
    logLine(logTag(kind) + QStringLiteral(": card shown — ") + QString::number(chars) +
            QStringLiteral(" chars kept for manual reinsert (") + app + ')' + DeliveryRepair::loadAvg1Token());
}

void DeliveryRepairCardController::hide() {
    FloatingCard::close(panel_, hideWork_);
    pendingText_.reset();
}

void DeliveryRepairCardController::reinsert() {
    if (!pendingText_) return;
    const QString text = *pendingText_;
    const QString app = pendingApp_;
    const Kind kind = pendingKind_;
    hide();
    const int chars = graphemeCount(text);
    logLine(logTag(kind) + QStringLiteral(": manual reinsert — ") + QString::number(chars) + QStringLiteral(" chars via clipboard (") +
            app + ')' + DeliveryRepair::loadAvg1Token());
    // The field as it stands before the reinsert: the audit then sees the text arrive
    // wherever the caret put it, and never offers a second copy of a text that landed.
    const auto before = DeliveryRepair::snapshotFocusedField();
    pasteViaClipboard(text, origin(kind));
    if (kind != Kind::dictation && chars < DeliveryRepair::minTailMatch) return;
    DeliveryAudit::auditDictationDelivery(text, app, std::nullopt, before, 1, DeliveryRepair::verifyDelay);
}

}  // namespace murmelo
