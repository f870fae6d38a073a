#include "ai/CloudResultView.h"

#include "base/Localization.h"
#include "ui/FloatingCard.h"

#include <QAbstractTextDocumentLayout>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

namespace murmelo {
namespace {

namespace M = CloudResultMetrics;

QString colourCss(const QColor& c) {
    return QStringLiteral("rgba(%1,%2,%3,%4)").arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alphaF());
}

QColor faded(QColor c, double opacity) {
    c.setAlphaF(c.alphaF() * opacity);
    return c;
}

// The rounded quiet surface behind the text.
class TextBoxFrame : public QWidget {
public:
    TextBoxFrame(const Water& w, QWidget* parent) : QWidget(parent), w_(w) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        FloatingCard::paintPlate(p, rect(), w_.fill(), w_.line(), 10);
    }

private:
    Water w_;
};

// The small filled circle before the context line.
class StatusDot : public QWidget {
public:
    StatusDot(const QColor& colour, QWidget* parent) : QWidget(parent), colour_(colour) { setFixedSize(7, 7); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(colour_);
        p.drawEllipse(rect());
    }

private:
    QColor colour_;
};

using FloatingCard::label;

void applyReadingFormat(QTextDocument* doc) {
    QTextCursor all(doc);
    all.select(QTextCursor::Document);
    QTextBlockFormat block;
    block.setLineHeight(M::lineSpacing, QTextBlockFormat::LineDistanceHeight);
    block.setBottomMargin(M::paragraphSpacing);
    all.mergeBlockFormat(block);
}

}  // namespace

QString cloudResultGlyph(const QString& symbolName) {
    static const QHash<QString, QString> glyphs{
        {QStringLiteral("xmark"), QStringLiteral("✕")},
        {QStringLiteral("doc.on.doc"), QStringLiteral("⧉")},
        {QStringLiteral("rectangle.2.swap"), QStringLiteral("⇄")},
        {QStringLiteral("text.insert"), QStringLiteral("↵")},
        {QStringLiteral("gearshape"), QStringLiteral("⚙")},
        {QStringLiteral("exclamationmark.triangle.fill"), QStringLiteral("⚠")},
        {QStringLiteral("pencil"), QStringLiteral("✎")},
    };
    return glyphs.value(symbolName);
}

CloudResultLayout CloudResultLayout::of(const CloudResultState& st) {
    CloudResultLayout l;
    l.compact = st.compact;
    l.textEditable = st.isEditable;
    l.textBottomInset = st.compact ? M::compactActionInset : 0;
    // An emptied card offers no delivery: it would replace the user's text with nothing.
    const bool deliverable = !st.textIsBlank;
    const QString copyText = L(QStringLiteral("result.copy"), QStringLiteral("Копировать"));
    if (st.compact) {
        if (!st.warning.isEmpty()) l.compactWarning = st.warning;
        if (st.showsSecondaryCopy)
            l.buttons << CloudResultButton{CloudResultAction::copy, {}, QStringLiteral("doc.on.doc"), copyText, false, true};
        if (st.showsPrimaryAction)
            l.buttons << CloudResultButton{CloudResultAction::primary, {},
                                           st.showsSecondaryCopy ? QStringLiteral("rectangle.2.swap")
                                                                 : QStringLiteral("doc.on.doc"),
                                           st.primaryTitle, true, deliverable};
        return l;
    }
    l.header = true;
    l.title = st.title;
    l.contextLine = st.meta.isEmpty() ? st.hint : st.meta;
    l.dotIsWarning = st.needsConfirmation;
    if (!st.warning.isEmpty()) l.warningRow = st.warning;
    l.warningIsWarning = st.needsConfirmation;
    l.editedRow = st.edited;
    l.buttons << CloudResultButton{CloudResultAction::cancel, {}, QStringLiteral("xmark"),
                                   L(QStringLiteral("result.cancel"), QStringLiteral("Отмена")), false, true};
    if (st.showsSettings)
        l.buttons << CloudResultButton{CloudResultAction::settings,
                                       L(QStringLiteral("result.settings"), QStringLiteral("Настройки…")),
                                       QStringLiteral("gearshape"), {}, false, true};
    if (st.showsActions) {
        if (st.showsSecondaryCopy)
            l.buttons << CloudResultButton{CloudResultAction::copy, copyText, QStringLiteral("doc.on.doc"), {}, false, true};
        if (st.showsPrimaryAction)
            l.buttons << CloudResultButton{CloudResultAction::primary, st.primaryTitle + QStringLiteral("  Ctrl+↩"),
                                           QStringLiteral("text.insert"), {}, true, deliverable};
    }
    return l;
}

// ---- the text field ----

CloudResultTextField::CloudResultTextField(CloudResultState& state, const Water& w, QWidget* parent)
    : QTextEdit(parent), st_(state) {
    setAcceptRichText(false);
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setFont(F::system(M::textFontSize));
    document()->setDocumentMargin(M::textInset);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    setStyleSheet(QStringLiteral("QTextEdit { background: transparent; color: %1; selection-background-color: %2; "
                                 "selection-color: %1; }")
                      .arg(colourCss(w.textPalette().reading()), colourCss(faded(w.acc(), 0.28))));
    setMaximumWidth(int(M::readingMaxWidth));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    st_.textView = this;
    connect(this, &QTextEdit::textChanged, this, [this] {
        // Reloads are the program's own; only the user's changes count as edits.
        if (signalsBlocked()) return;
        st_.noteUserText(toPlainText());
    });
}

QSize CloudResultTextField::sizeHint() const { return {int(M::readingMaxWidth), int(std::ceil(st_.cardHeight))}; }
QSize CloudResultTextField::minimumSizeHint() const { return {0, int(std::ceil(st_.cardHeight))}; }

void CloudResultTextField::update(const CloudResultLayout& layout) {
    setReadOnly(!layout.textEditable);
    setViewportMargins(0, 0, 0, int(layout.textBottomInset));
    setMinimumHeight(int(std::ceil(st_.cardHeight)));
    if (applied_ == st_.revision) return;
    applied_ = st_.revision;
    {
        const QSignalBlocker quiet(this);
        setPlainText(st_.incoming);
        applyReadingFormat(document());
    }
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    setTextCursor(end);
}

// ---- the card ----

CloudResultView::CloudResultView(CloudResultState& state, const Water& w, std::function<void(CloudResultAction)> act,
                                 QWidget* parent)
    : QWidget(parent), st_(state), w_(w), act_(std::move(act)) {
    setAttribute(Qt::WA_TranslucentBackground);
    column_ = new QVBoxLayout(this);
    column_->setSpacing(10);
    textBox_ = new TextBoxFrame(w_, this);
    auto* grid = new QGridLayout(textBox_);
    grid->setContentsMargins(0, 0, 0, 0);
    text_ = new CloudResultTextField(st_, w_, textBox_);
    text_->installEventFilter(this);
    grid->addWidget(text_, 0, 0, Qt::AlignHCenter);
    connect(&st_, &CloudResultState::changed, this, &CloudResultView::rebuild);
    rebuild();
}

void CloudResultView::clearRows() {
    for (QWidget* row : rows_) row->deleteLater();
    for (QWidget* row : rows_) column_->removeWidget(row);
    rows_.clear();
    if (overlay_) {
        overlay_->deleteLater();
        overlay_ = nullptr;
    }
}

QWidget* CloudResultView::button(const CloudResultButton& b) {
    auto* button = new QPushButton(this);
    const QString glyph = cloudResultGlyph(b.icon);
    button->setText(b.title.isEmpty() ? glyph : glyph + QStringLiteral(" ") + b.title);
    button->setFont(F::sec());
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setFocusPolicy(Qt::NoFocus);
    button->setEnabled(b.enabled);
    if (!b.tooltip.isEmpty()) {
        button->setToolTip(b.tooltip);
        button->setAccessibleName(b.tooltip);
    }
    const OndrixTextPalette text = w_.textPalette();
    const QColor fg = b.accent ? w_.acc() : text.action();
    const QColor bg = b.accent ? faded(w_.acc(), 0.14) : w_.fill();
    const QColor edge = b.accent ? faded(w_.acc(), 0.34) : w_.line();
    button->setStyleSheet(QStringLiteral("QPushButton { color: %1; background: %2; border: 0.5px solid %3; "
                                         "border-radius: 7px; padding: %4; } QPushButton:disabled { color: %5; }")
                              .arg(colourCss(fg), colourCss(bg), colourCss(edge),
                                   b.title.isEmpty() ? QStringLiteral("0px") : QStringLiteral("5px 10px"),
                                   colourCss(faded(fg, 0.4))));
    if (b.title.isEmpty()) button->setFixedSize(28, 24);
    connect(button, &QPushButton::clicked, this, [this, action = b.action] { act_(action); });
    return button;
}

void CloudResultView::rebuild() {
    const CloudResultLayout layout = CloudResultLayout::of(st_);
    text_->update(layout);
    const bool same = (layout.compact == shown_.compact && layout.header == shown_.header &&
                           layout.title == shown_.title && layout.contextLine == shown_.contextLine &&
                           layout.dotIsWarning == shown_.dotIsWarning && layout.warningRow == shown_.warningRow &&
                           layout.warningIsWarning == shown_.warningIsWarning && layout.editedRow == shown_.editedRow &&
                           layout.buttons == shown_.buttons && layout.compactWarning == shown_.compactWarning);
    if (built_ && same) return;
    built_ = true;
    shown_ = layout;
    clearRows();
    column_->removeWidget(textBox_);
    const OndrixTextPalette palette = w_.textPalette();
    if (layout.compact) column_->setContentsMargins(0, 0, 0, 0);
    else column_->setContentsMargins(14, 16, 14, 12);
    setMinimumWidth(int(layout.compact ? M::compactMinWidth : M::minWidth));

    QList<CloudResultButton> rowButtons = layout.buttons;
    if (layout.header) {
        auto* header = new QWidget(this);
        auto* h = new QHBoxLayout(header);
        h->setContentsMargins(0, 0, 0, 0);
        h->setSpacing(8);
        auto* block = new QVBoxLayout;
        block->setSpacing(1);
        QLabel* title = label(layout.title, F::readingTitle(), palette.strong(), header);
        title->setWordWrap(true);
        block->addWidget(title);
        auto* context = new QHBoxLayout;
        context->setSpacing(6);
        context->addWidget(new StatusDot(layout.dotIsWarning ? w_.warn() : w_.acc(), header), 0, Qt::AlignVCenter);
        QLabel* line = label(layout.contextLine, F::sec(), palette.secondary(), header);
        line->setObjectName(QStringLiteral("contextLine"));
        line->setMinimumWidth(1);
        line->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        context->addWidget(line, 1);
        block->addLayout(context);
        h->addLayout(block, 1);
        h->addWidget(button(rowButtons.takeFirst()), 0, Qt::AlignTop);
        column_->addWidget(header);
        rows_ << header;
    }
    column_->addWidget(textBox_, 1);
    if (layout.warningRow) {
        auto* row = new QWidget(this);
        auto* h = new QHBoxLayout(row);
        h->setContentsMargins(0, 0, 0, 0);
        h->setSpacing(6);
        const QColor c = layout.warningIsWarning ? w_.warn() : palette.secondary();
        h->addWidget(label(cloudResultGlyph(QStringLiteral("exclamationmark.triangle.fill")), F::small(), c, row), 0,
                     Qt::AlignTop);
        QLabel* text = label(*layout.warningRow, F::sec(), c, row);
        text->setWordWrap(true);
        h->addWidget(text, 1);
        column_->addWidget(row);
        rows_ << row;
    }
    if (layout.editedRow) {
        auto* row = new QWidget(this);
        auto* h = new QHBoxLayout(row);
        h->setContentsMargins(0, 0, 0, 0);
        h->setSpacing(8);
        h->addWidget(label(cloudResultGlyph(QStringLiteral("pencil")), F::small(), palette.secondary(), row));
        h->addWidget(label(L(QStringLiteral("result.edited"), QStringLiteral("текст изменён вручную")), F::sec(),
                           palette.secondary(), row));
        auto* revert = new QPushButton(L(QStringLiteral("result.revert"), QStringLiteral("Вернуть исходный")), row);
        revert->setFlat(true);
        revert->setFont(F::sec());
        revert->setFocusPolicy(Qt::NoFocus);
        revert->setCursor(Qt::PointingHandCursor);
        revert->setStyleSheet(QStringLiteral("QPushButton { color: %1; border: none; padding: 0; }").arg(colourCss(w_.acc())));
        connect(revert, &QPushButton::clicked, this, [this] { act_(CloudResultAction::revert); });
        h->addWidget(revert);
        h->addStretch(1);
        column_->addWidget(row);
        rows_ << row;
    }
    if (!layout.compact) {
        auto* row = new QWidget(this);
        auto* h = new QHBoxLayout(row);
        h->setContentsMargins(0, 0, 0, 0);
        h->setSpacing(8);
        h->addStretch(1);
        for (const CloudResultButton& b : rowButtons) h->addWidget(button(b));
        column_->addWidget(row);
        rows_ << row;
    } else {
        overlay_ = new QWidget(textBox_);
        auto* h = new QHBoxLayout(overlay_);
        h->setContentsMargins(7, 7, 7, 7);
        h->setSpacing(6);
        if (layout.compactWarning) {
            QLabel* icon = label(cloudResultGlyph(QStringLiteral("exclamationmark.triangle.fill")), F::sec(), w_.warn(),
                                 overlay_);
            icon->setToolTip(*layout.compactWarning);
            h->addWidget(icon);
        }
        h->addStretch(1);
        for (const CloudResultButton& b : rowButtons) h->addWidget(button(b));
        static_cast<QGridLayout*>(textBox_->layout())->addWidget(overlay_, 0, 0, Qt::AlignBottom);
    }
    updateGeometry();
    update();
}

void CloudResultView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The one-line context is cut in the middle at the width it gets.
    if (auto* line = findChild<QLabel*>(QStringLiteral("contextLine")))
        line->setText(line->fontMetrics().elidedText(shown_.contextLine, Qt::ElideMiddle, std::max(1, line->width())));
}

int CloudResultView::heightAtWidth(int width) {
    setFixedWidth(width);
    column_->activate();
    return column_->hasHeightForWidth() ? column_->totalHeightForWidth(width) : column_->totalSizeHint().height();
}

void CloudResultView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    FloatingCard::paintSurface(p, rect(), w_, shown_.compact ? 10 : 16);
}

bool CloudResultView::handleKey(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        act_(CloudResultAction::cancel);
        return true;
    }
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & Qt::ControlModifier)) {
        // Bound only where the primary button is there and enabled.
        for (const CloudResultButton& b : shown_.buttons)
            if (b.action == CloudResultAction::primary && b.enabled) act_(CloudResultAction::primary);
        return true;
    }
    return false;
}

bool CloudResultView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == text_ && event->type() == QEvent::KeyPress && handleKey(static_cast<QKeyEvent*>(event))) return true;
    return QWidget::eventFilter(watched, event);
}

void CloudResultView::keyPressEvent(QKeyEvent* event) {
    if (!handleKey(event)) QWidget::keyPressEvent(event);
}

}  // namespace murmelo
