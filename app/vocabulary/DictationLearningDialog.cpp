#include "vocabulary/DictationLearningDialog.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>

namespace murmelo::DictationLearningDialog {
namespace {

// Geometry of the accessory views, in points, top-left origin.
constexpr int kAccessoryWidth = 470;
constexpr int kEditorAccessoryHeight = 150;
constexpr int kEditorHeight = 108;
constexpr int kScopeWidth = 260;
constexpr int kPopupHeight = 28;
constexpr int kScopeTop = kEditorAccessoryHeight - 4 - kPopupHeight;

QWidget* editorAccessory(const LearningAlert& alert) {
    auto* view = new QWidget;
    view->setObjectName(QStringLiteral("accessory"));
    view->setFixedSize(kAccessoryWidth, kEditorAccessoryHeight);
    auto* editor = new QPlainTextEdit(view);
    editor->setObjectName(QStringLiteral("editor"));
    editor->setGeometry(0, 0, kAccessoryWidth, kEditorHeight);
    editor->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    editor->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    editor->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    editor->setFrameShape(QFrame::StyledPanel);
    QFont font = editor->font();
    font.setPointSize(13);
    editor->setFont(font);
    editor->setPlainText(alert.editorText.value_or(QString()));
    auto* scope = new QComboBox(view);
    scope->setObjectName(QStringLiteral("popup"));
    scope->setGeometry(0, kScopeTop, kScopeWidth, kPopupHeight);
    scope->addItems(alert.popupItems);
    scope->setCurrentIndex(0);
    return view;
}

QWidget* listAccessory(const LearningAlert& alert) {
    auto* view = new QWidget;
    view->setObjectName(QStringLiteral("accessory"));
    view->setFixedSize(kAccessoryWidth, kPopupHeight);
    auto* rules = new QComboBox(view);
    rules->setObjectName(QStringLiteral("popup"));
    rules->setGeometry(0, 0, kAccessoryWidth, kPopupHeight);
    for (qsizetype i = 0; i < alert.popupItems.size(); ++i)
        rules->addItem(alert.popupItems[i], alert.popupIds.value(i));
    return view;
}

}  // namespace

std::unique_ptr<QMessageBox> build(const LearningAlert& alert) {
    auto box = std::make_unique<QMessageBox>();
    box->setIcon(QMessageBox::Information);
    box->setText(alert.message);
    box->setInformativeText(alert.informativeText);
    QPushButton* first = nullptr;
    for (qsizetype i = 0; i < alert.buttons.size(); ++i) {
        QPushButton* b = box->addButton(alert.buttons[i], i == 0 ? QMessageBox::AcceptRole : QMessageBox::RejectRole);
        b->setProperty("learningButton", int(i));
        if (i == 0) first = b;
    }
    if (first) box->setDefaultButton(first);
    QWidget* accessory = nullptr;
    if (alert.kind == LearningAlert::Kind::editLast)
        accessory = editorAccessory(alert);
    else if (alert.kind == LearningAlert::Kind::rules)
        accessory = listAccessory(alert);
    if (accessory) {
        // Below the texts, above the buttons, as the accessory of an alert sits.
        auto* grid = static_cast<QGridLayout*>(box->layout());
        auto* buttons = box->findChild<QDialogButtonBox*>();
        const int at = buttons ? grid->indexOf(buttons) : -1;
        if (at >= 0) {
            int row = 0, column = 0, rows = 0, columns = 0;
            grid->getItemPosition(at, &row, &column, &rows, &columns);
            grid->removeWidget(buttons);
            grid->addWidget(accessory, row, column, 1, columns);
            grid->addWidget(buttons, row + 1, column, rows, columns);
        } else {
            grid->addWidget(accessory, grid->rowCount(), 0, 1, grid->columnCount());
        }
    }
    return box;
}

LearningAnswer answer(const QMessageBox& box, const LearningAlert&) {
    LearningAnswer a;
    if (const QAbstractButton* clicked = box.clickedButton()) {
        const QVariant index = clicked->property("learningButton");
        if (index.isValid()) a.button = index.toInt();
    }
    if (const auto* editor = box.findChild<QPlainTextEdit*>(QStringLiteral("editor"))) a.editedText = editor->toPlainText();
    if (const auto* popup = box.findChild<QComboBox*>(QStringLiteral("popup"))) a.selectedItem = popup->currentIndex();
    return a;
}

LearningAnswer run(const LearningAlert& alert) {
    const std::unique_ptr<QMessageBox> box = build(alert);
    if (alert.activateFirst) {
        // The program has no window in front; the box must come forward by itself.
        box->setWindowFlag(Qt::WindowStaysOnTopHint);
        box->show();
        box->raise();
        box->activateWindow();
    }
    box->exec();
    return answer(*box, alert);
}

}  // namespace murmelo::DictationLearningDialog
