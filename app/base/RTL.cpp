#include "base/RTL.h"

#include "base/Defaults.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QTextEdit>
#include <QTextOption>

namespace murmelo::RTL {
namespace {

// Left becomes right and right becomes left, pinned as absolute so that Qt's own
// right-to-left flip does not turn it back; centred and justified stay.
Qt::Alignment swapped(Qt::Alignment a) {
    const Qt::Alignment rest = a & ~(Qt::AlignHorizontal_Mask | Qt::AlignAbsolute);
    const Qt::Alignment h = a & Qt::AlignHorizontal_Mask;
    if (h == Qt::AlignLeft) return rest | Qt::AlignRight | Qt::AlignAbsolute;
    if (h == Qt::AlignRight) return rest | Qt::AlignLeft | Qt::AlignAbsolute;
    return a;
}

bool isTextField(QWidget* w) { return qobject_cast<QLabel*>(w) || qobject_cast<QLineEdit*>(w); }
bool isTextView(QWidget* w) { return qobject_cast<QTextEdit*>(w) || qobject_cast<QPlainTextEdit*>(w); }

void adjustText(QWidget* w) {
    if (auto* label = qobject_cast<QLabel*>(w)) label->setAlignment(swapped(label->alignment()));
    else if (auto* field = qobject_cast<QLineEdit*>(w)) field->setAlignment(swapped(field->alignment()));
    else if (auto* text = qobject_cast<QTextEdit*>(w)) {
        QTextOption o = text->document()->defaultTextOption();
        o.setTextDirection(Qt::RightToLeft);
        o.setAlignment(swapped(o.alignment()));
        text->document()->setDefaultTextOption(o);
        text->setAlignment(swapped(text->alignment()));
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) {
        QTextOption o = plain->document()->defaultTextOption();
        o.setTextDirection(Qt::RightToLeft);
        o.setAlignment(swapped(o.alignment()));
        plain->document()->setDefaultTextOption(o);
    }
}

QList<QWidget*> childViews(QWidget* parent) {
    return parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
}

void mirrorChildren(QWidget* parent) {
    const int W = parent->width();
    for (QWidget* sub : childViews(parent)) {
        const QRect f = sub->geometry();
        sub->setGeometry(W - (f.x() + f.width()), f.y(), f.width(), f.height());
        sub->setLayoutDirection(Qt::RightToLeft);
        if (auto* scroll = qobject_cast<QAbstractScrollArea*>(sub)) {
            QWidget* document = nullptr;
            if (auto* area = qobject_cast<QScrollArea*>(scroll)) document = area->widget();
            else if (isTextView(scroll)) document = scroll;
            if (!document) continue;
            document->setLayoutDirection(Qt::RightToLeft);
            if (document != scroll) mirrorChildren(document);
            if (isTextField(document) || isTextView(document)) adjustText(document);
            continue;
        }
        if (isTextField(sub) || isTextView(sub)) adjustText(sub);
        mirrorChildren(sub);
    }
}

}  // namespace

const QSet<QString>& languages() {
    static const QSet<QString> set{"ar", "he", "fa", "ur", "ps", "sd", "ckb", "yi", "dv"};
    return set;
}

bool isActive() {
    const auto stored = Defaults::shared().object(QString::fromLatin1(forceKey));
    if (stored) return Defaults::shared().boolValue(QString::fromLatin1(forceKey));
    return QGuiApplication::layoutDirection() == Qt::RightToLeft;
}

void apply(QWidget* view) {
    if (!view || !isActive()) return;
    view->setLayoutDirection(Qt::RightToLeft);
    mirrorChildren(view);
}

}  // namespace murmelo::RTL
