#include "polish/PolishCard.h"

#include "base/Graphemes.h"
#include "base/Localization.h"
#include "base/Log.h"
#include "base/RTL.h"
#include "input/TapConsumers.h"
#include "layout/RuForms.h"
#include "platform/ComposeStage.h"
#include "platform/Service.h"
#include "ui/FloatingCard.h"
#include "ui/Water.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace murmelo {
namespace {

using Kind = PolishDiff::Kind;

QString titleText() { return L(QStringLiteral("polish.card.title"), QStringLiteral("Полировка")); }
QString moreText(int more) { return L(QStringLiteral("polish.card.more"), QStringLiteral("и ещё %d"), {more}); }
QString undoText() { return L(QStringLiteral("polish.card.undo"), QStringLiteral("⌘Z — вернуть как было")); }

using FloatingCard::label;

}  // namespace

PolishCardBody::PolishCardBody(std::optional<QString> note, std::vector<PolishDiff::Edit> words, int more,
                               QString summary, bool showsUndo, bool dark)
    : dark(dark), note(std::move(note)), words(std::move(words)), more(more), summary(std::move(summary)),
      showsUndo(showsUndo) {}

QStringList PolishCardBody::lines() const {
    QStringList out{titleText()};
    if (note) out << *note;
    for (const PolishDiff::Edit& e : words) out << e.before + QStringLiteral(" → ") + e.after;
    if (more >= 1) out << moreText(more);
    if (!summary.isEmpty()) out << summary;
    if (showsUndo) out << undoText();
    return out;
}

QWidget* PolishCardBody::makeView() const {
    const Water w{dark, false};
    auto* view = new FloatingCardSurface(w);
    auto* column = new QVBoxLayout(view);
    column->setSpacing(7);
    column->setContentsMargins(14, 12, 14, 12);
    column->addWidget(label(titleText(), F::small(), w.cap(), view));
    if (note) {
        QLabel* n = label(*note, F::text(), w.ink(), view);
        n->setWordWrap(true);
        column->addWidget(n);
    }
    for (const PolishDiff::Edit& e : words) {
        auto* row = new QHBoxLayout;
        row->setSpacing(6);
        QFont struck = F::sec();
        struck.setStrikeOut(true);
        row->addWidget(label(e.before, struck, w.dim(), view), 0, Qt::AlignVCenter);
        row->addWidget(label(QStringLiteral("→"), F::small(), w.cap(), view), 0, Qt::AlignVCenter);
        row->addWidget(label(e.after, F::sec(), w.acc(), view), 0, Qt::AlignVCenter);
        row->addStretch();
        column->addLayout(row);
    }
    if (more >= 1) column->addWidget(label(moreText(more), F::small(), w.cap(), view));
    if (!summary.isEmpty()) column->addWidget(label(summary, F::small(), w.cap(), view));
    if (showsUndo) column->addWidget(label(undoText(), F::small(), w.cap(), view));
    view->setMinimumWidth(190);
    view->adjustSize();
    return view;
}

PolishCardController::PolishCardController(WordForms& forms) : forms_(forms) {}
PolishCardController::~PolishCardController() { hide(); }

PolishCardController& PolishCardController::shared() {
    if (auto* c = installedService<PolishCardController>()) return *c;
    static RuFormsWordForms forms;
    static auto* controller = new PolishCardController(forms);  // lives for the process
    return *controller;
}

bool RuFormsWordForms::isKnownForm(const QString& word) { return RuForms::contains(word); }

void PolishCardController::install(PolishCardController* controller) {
    installService<PolishCardController>(controller);
}

QStringList& PolishCardController::standCards() {
    static QStringList cards;
    return cards;
}

void PolishCardController::resetStandCards() { standCards().clear(); }

QPointF PolishCardController::cardOrigin(const std::optional<QRectF>& visibleFrame, const QSizeF& size) {
    return FloatingCard::origin(visibleFrame, size);
}

void PolishCardController::show(const std::vector<PolishDiff::Edit>& edits) {
    if (!TapPolish::isPolishEnabled() || edits.empty()) return;
    // Punctuation, case, ё and typo repairs are plain to see in the text; only a real word
    // replaced by another deserves a card.
    std::vector<PolishDiff::Edit> candidates;
    for (const PolishDiff::Edit& e : edits)
        if (e.kind == Kind::word && forms_.isKnownForm(e.before.toLower())) candidates.push_back(e);
    if (candidates.empty()) {
        logLine(QStringLiteral("polish/card: молчу — видно в тексте или починка опечатки (") +
                PolishDiff::summary(edits) + ')');
        return;
    }
    if (ComposeStage::standMode()) {
        standCards().append(PolishDiff::summary(candidates));
        logLine(QStringLiteral("polish/card: card suppressed on the stand — ") + QString::number(candidates.size()) +
                QStringLiteral(" word edits"));
        return;
    }
    std::weak_ptr<bool> alive = alive_;
    MainQueue::shared().post([this, alive, edits] {
        if (!alive.expired()) build(edits, std::nullopt, std::nullopt);
    });
}

void PolishCardController::showNote(const QString& note, bool isShort) {
    if (!TapPolish::isPolishEnabled()) return;
    if (ComposeStage::standMode()) {
        standCards().append(note);
        logLine(QStringLiteral("polish/card: note suppressed on the stand (") + QString::number(graphemeCount(note)) +
                QStringLiteral(" chars)"));
        return;
    }
    std::weak_ptr<bool> alive = alive_;
    const double life = isShort ? shortLife : lifetime;
    MainQueue::shared().post([this, alive, note, life] {
        if (!alive.expired()) build({}, note, life);
    });
}

void PolishCardController::build(const std::vector<PolishDiff::Edit>& edits, const std::optional<QString>& note,
                                 std::optional<double> life) {
    hide();
    std::vector<PolishDiff::Edit> words, rest;
    for (const PolishDiff::Edit& e : edits) (e.kind == Kind::word ? words : rest).push_back(e);
    const int wordCount = int(words.size());
    const int more = wordCount > maxRows ? wordCount - maxRows : 0;
    words.resize(std::min<size_t>(words.size(), maxRows));
    const bool dark = QGuiApplication::palette().color(QPalette::Window).lightness() < 128;
    body_.emplace(note, words, more, PolishDiff::summary(rest), !note.has_value(), dark);

    std::unique_ptr<QWidget> panel(body_->makeView());
    FloatingCard::setUpWindow(panel.get(), FloatingCard::Clicks::passThrough);
    RTL::apply(panel.get());
    panel->adjustSize();

    panel->setGeometry(FloatingCard::placement(panel->sizeHint().expandedTo(panel->minimumSize())));
    panel->show();
    panel_ = std::move(panel);

    std::weak_ptr<bool> alive = alive_;
    hideWork_ = MainQueue::shared().after(life.value_or(lifetime), [this, alive] {
        if (!alive.expired()) hide();
    });
    if (note) logLine(QStringLiteral("polish/card: причина показана"));
    else
        logLine(QStringLiteral("polish/card: показано правок ") + QString::number(edits.size()) +
                QStringLiteral(" (слов ") + QString::number(wordCount) + ')');
}

void PolishCardController::hide() {
    FloatingCard::close(panel_, hideWork_);
}

}  // namespace murmelo
