// The accessibility route of polish: read the paragraph at the caret, ask the corrector, and
// put back only the corrected range, down a ladder of ways to write it.
#include "polish/PolishRoutes.h"

#include "base/Graphemes.h"
#include "base/Localization.h"
#include "base/Log.h"
#include "input/AXText.h"
#include "input/ClipboardPaste.h"
#include "input/TapConsumers.h"
#include "layout/LayoutSwitcher.h"
#include "platform/MainQueue.h"
#include "polish/CorrectorClient.h"
#include "polish/PolishCard.h"
#include "polish/PolishEditDelivery.h"
#include "polish/PolishJournal.h"
#include "polish/PolishSettings.h"
#include "polish/PolishUnderline.h"
#include "vocabulary/CorrectorManager.h"

#include <QHash>

namespace murmelo {

namespace {

constexpr quint16 keyRight = 124;
constexpr qint64 MAX_KEYS_MANUAL = 200;

bool isBlank(const QString& s) { return s.trimmed().isEmpty(); }

bool isNewline(QChar c) {
    const char16_t u = c.unicode();
    return u == 0x0A || u == 0x0B || u == 0x0C || u == 0x0D || u == 0x85 || u == 0x2028 || u == 0x2029;
}

// The field as far as the accessibility interface lets it be told apart: its application and
// its role. Paragraphs of one field differ by where they start.
quintptr elementHash(const AXElementPtr& el) {
    return quintptr(qHash(AXText::role(el)) ^ qHash(AXText::ownerPid(el).value_or(-1)));
}

}  // namespace

// One accessibility polish, from the request to the answer.
struct PolishRoutes::AXJob {
    AXElementPtr el;
    QString alreadyDone, toCorrect;
    PolishContext context;
    quint64 typedAt = 0;
    AXRange corrected;
    qint64 caret = 0;
    bool allowClipboard = true;
    PolishScopeMode mode = PolishScopeMode::lastSentenceIncremental;
};

AXRange PolishRoutes::paragraphRange(const QString& value, qint64 around) {
    if (value.isEmpty()) return {0, 0};
    const qint64 at = std::clamp<qint64>(around, 0, value.size());
    qint64 start = at, end = at;
    while (start > 0 && !isNewline(value[start - 1])) --start;
    while (end < value.size() && !isNewline(value[end])) ++end;
    return {start, end - start};
}

bool PolishRoutes::axNo(const QString& reason) {
    logLine(QStringLiteral("polish/ax: транспорт не годится — ") + reason + QStringLiteral(" [") + frontAppName() + ']');
    return false;
}

bool PolishRoutes::polishViaAX(bool allowClipboard, PolishScopeMode mode) {
    if (!TapPolish::isPolishEnabled()) return true;
    const AXElementPtr el = AXText::focused();
    if (!el) return axNo(QStringLiteral("AX не отдаёт поле в фокусе"));
    if (AXText::isSecure(el)) {
        logLine(QStringLiteral("polish/ax: поле пароля - не трогаем"));
        return true;
    }
    const QString role = AXText::role(el);
    if (!AXText::isEditable(el)) return axNo(QStringLiteral("поле не редактируемое (роль ") + role + ')');
    const std::optional<QString> value = AXText::value(el);
    if (!value) return axNo(QStringLiteral("значение поля не читается (роль ") + role + ')');
    const std::optional<AXRange> sel = AXText::selectedRange(el);
    if (!sel) return axNo(QStringLiteral("выделение не читается (роль ") + role + ')');

    const bool selection = sel->length > 0;
    const AXRange range = selection ? *sel : paragraphRange(*value, sel->location);
    if (range.length == 0) return axNo(QStringLiteral("абзац вокруг каретки пуст"));
    if (range.location + range.length > value->size()) return axNo(QStringLiteral("абзац вокруг каретки пуст"));
    const QString text = value->mid(range.location, range.length);
    if (isBlank(text)) return axNo(QStringLiteral("в абзаце одни пробелы"));

    std::optional<PolishParagraphIdentity> identity;
    if (!selection)
        identity = PolishParagraphIdentity{qint32(AXText::ownerPid(el).value_or(-1)), elementHash(el), range.location};
    const PolishScope::Split split = scope.scope(text, selection, identity, mode);
    if (isBlank(split.toCorrect)) {
        logLine(QStringLiteral("polish/ax: current paragraph is already polished — no-op"));
        return true;
    }
    const AXRange corrected{range.location + split.alreadyDone.size(), split.toCorrect.size()};
    if (corrected.location + corrected.length > value->size()) return axNo(QStringLiteral("диапазон правки вышел за поле"));

    if (!beginCorrecting()) return true;
    auto job = std::make_shared<AXJob>();
    job->el = el;
    job->alreadyDone = split.alreadyDone;
    job->toCorrect = split.toCorrect;
    job->typedAt = engine_.typedGen;
    job->context = polishContext(split.toCorrect, *value, corrected.location);
    job->corrected = corrected;
    job->caret = sel->location;
    job->allowClipboard = allowClipboard;
    job->mode = mode;
    requestCorrection(job->toCorrect, [weak = std::weak_ptr<PolishRoutes*>(self_), job](std::optional<QString> answer) {
        const auto alive = weak.lock();
        if (alive && *alive) (*alive)->axAnswer(job, answer);
    });
    return true;
}

void PolishRoutes::axAnswer(const std::shared_ptr<AXJob>& job, const std::optional<QString>& answer) {
    // Switched off while the corrector worked: the user no longer wants the edit.
    if (!TapPolish::isPolishEnabled()) {
        endCorrecting();
        logLine(QStringLiteral("polish/ax: полировку выключили, пока считали — правку не ставлю"));
        return;
    }
    if (!answer || answer->isEmpty()) {
        endCorrecting();
        card_.showNote(correctorNoticeText(), false);
        logLine(QStringLiteral("polish/ax: корректор недоступен (") + correctorReadinessName(correctorReadiness()) + ')');
        return;
    }
    const PolishResultValue result = polishForField(job->toCorrect, *answer, job->context, words_);
    if (result.trusted)
        logLine(QStringLiteral("polish/ax: рубеж ВЫКЛЮЧЕН (polishTrustModel) — выход модели целиком"));
    else if (result.rejectedWords > 0)
        logLine(QStringLiteral("polish/ax: VUDI менял слова (") + QString::number(result.rejectedWords) +
                QStringLiteral(") — вернул авторские"));
    if (result.text == job->toCorrect) {
        scope.lastPolishOutput = job->alreadyDone + job->toCorrect;
        endCorrecting();
        logLine(QStringLiteral("polish/ax: чинить нечего - молчу"));
        logLine(QStringLiteral("polish/ax: чинить нечего, граница сдвинута"));
        return;
    }
    if (engine_.typedGen != job->typedAt) {
        endCorrecting();
        logLine(QStringLiteral("polish/ax: печатал, пока считали — правку не ставлю"));
        return;
    }
    const AXRange r = job->corrected;
    const std::optional<QString> value = AXText::value(job->el);
    if (!value || value->size() < r.location + r.length || value->mid(r.location, r.length) != job->toCorrect) {
        endCorrecting();
        card_.showNote(L(QStringLiteral("polish.note.changed"), QStringLiteral("Текст изменился, пока считали")), false);
        logLine(QStringLiteral("polish/ax: текст изменился, пока считали — правку не ставлю"));
        return;
    }
    // The narrow write changes only the corrected characters.
    if (AXText::replace(job->el, r, result.text, false, TextWriteOrigin::polish)) {
        axSucceeded(*job, result);
        return;
    }
    const QString selectionRefused =
        L(QStringLiteral("polish.note.selectionRefused"), QStringLiteral("Не смог выделить правку в этом поле — правку не ставил"));
    if (job->allowClipboard && polishKeysFirst) {
        switch (polishPasteOverRange(job->el, r, result.text, job->alreadyDone, job->toCorrect, job->typedAt)) {
        case PolishPasteResult::pasted:
            logLine(QStringLiteral("polish/ax: правка поставлена клавишами + ⌘V до синтетики"));
            break;
        case PolishPasteResult::refusedNoSelection:
            logLine(QStringLiteral("polish/ax: выделение не встало — правку не ставлю, вниз по лестнице не иду"));
            endCorrecting();
            card_.showNote(selectionRefused, false);
            break;
        case PolishPasteResult::refusedGate:
            logLine(QStringLiteral("polish/ax: ворота отказали — вниз по лестнице не иду, правка не поставлена"));
            break;
        }
        return;
    }
    // Keys act where the caret is now: moved since the request, they would erase other text.
    const std::optional<AXRange> caretNow = AXText::selectedRange(job->el);
    const bool caretMoved = caretNow && *caretNow != AXRange{job->caret, 0};
    if (caretMoved)
        logLine(QStringLiteral("polish/ax: каретка ушла с места запроса (была ") + QString::number(job->caret) +
                QStringLiteral(", стала ") + polishRangeText(*caretNow) + QStringLiteral(") — синтетикой не ставлю"));
    if (!caretMoved && delivery_.polishTypeFix(job->el, *value, r, job->caret, job->toCorrect, result.text,
                                               QStringLiteral("polish/ax"), MAX_KEYS_MANUAL, false)) {
        axSucceeded(*job, result);
        return;
    }
    endCorrecting();
    if (job->allowClipboard) {
        if (polishPasteOverRange(job->el, r, result.text, job->alreadyDone, job->toCorrect, job->typedAt) ==
            PolishPasteResult::refusedNoSelection) {
            logLine(QStringLiteral("polish/ax: ни узкая запись, ни синтетика не прошли — уходим на буфер"));
            polishSelection(job->mode);
        }
        return;
    }
    logLine(QStringLiteral("polish/ax: ни узкая запись, ни синтетика не прошли — на буфер с автоматического жеста не уходим"));
    card_.showNote(L(QStringLiteral("polish.note.transportRefused"),
                     QStringLiteral("Это приложение не даёт поставить правку — попробуй правый ⇧")),
                   false);
}

void PolishRoutes::axSucceeded(const AXJob& job, const PolishResultValue& result) {
    endCorrecting();
    scope.lastPolishOutput = job.alreadyDone + result.text;
    const AXRange r = job.corrected;
    logLine(QStringLiteral("polish/ax: ") + priv(firstGraphemes(job.toCorrect, 40)) + QStringLiteral(" -> ") +
            priv(firstGraphemes(result.text, 40)) + QStringLiteral(" (диапазон ") + polishRangeText(r) + ')');
    PolishUnderline::show(job.el, r.location, job.toCorrect, result.text);
    journalNote(PolishJournal::Rule::vudiManual, job.toCorrect, result.text, r.location, AXText::ownerPid(job.el));
    if (isPolishCardEnabled()) card_.show(PolishDiff::compute(job.toCorrect, result.text));
}

PolishRoutes::PolishPasteResult PolishRoutes::polishPasteOverRange(const AXElementPtr& el, AXRange range,
                                                                   const QString& text, const QString& alreadyDone,
                                                                   const QString& was, quint64 typedAt) {
    if (polishSelectRange(el, range, QStringLiteral("polish/ax"), true) != PolishRangeSelect::done)
        return PolishPasteResult::refusedNoSelection;
    beginCorrecting();
    const QString app = frontAppName();
    if (engine_.typedGen != typedAt) {
        refuseGate(QStringLiteral("печатал, пока ставил"), app);
        return PolishPasteResult::refusedGate;
    }
    const std::optional<AXRange> now = AXText::selectedRange(el);
    if (!now || *now != range) {
        AXText::setSelectedRange(el, range);
        const bool restored = AXText::selectedRange(el) == range;
        logLine(QStringLiteral("polish/gate: выделение ушло до ⌘V — ") +
                (restored ? QStringLiteral("восстановил") : QStringLiteral("восстановить не удалось")) + QStringLiteral(" [") +
                app + ']');
        if (!restored) {
            refuseGate(QStringLiteral("выделение схлопнулось до ⌘V"), app);
            return PolishPasteResult::refusedGate;
        }
    }
    // The paste gives the user's clipboard back once the field has read the text.
    pasteViaClipboard(text, TextWriteOrigin::polish);
    scope.lastPolishOutput = alreadyDone + text;
    logLine(QStringLiteral("polish/ax: ") + priv(firstGraphemes(was, 40)) + QStringLiteral(" -> ") +
            priv(firstGraphemes(text, 40)) + QStringLiteral(" (выделением диапазона ") + polishRangeText(range) + QStringLiteral(" + ⌘V)"));
    PolishUnderline::show(el, range.location, was, text);
    if (isPolishCardEnabled()) card_.show(PolishDiff::compute(was, text));
    journalNote(PolishJournal::Rule::vudiManual, was, text, range.location, AXText::ownerPid(el));
    const std::optional<quint64> token = lockToken_;
    MainQueue::shared().after(PASTE_RELEASE, guarded([this, token] {
        if (token && lockToken_ == token) endCorrecting();
    }));
    polishConfirmPaste(el, range, text, engine_.typedGen, app, 0, was);
    return PolishPasteResult::pasted;
}

void PolishRoutes::refuseGate(const QString& reason, const QString& app) {
    logLine(QStringLiteral("polish/gate: ") + reason + QStringLiteral(" — ⌘V не отправляю, текст как был [") + app + ']');
    sendKey(keyRight);
    logLine(QStringLiteral("polish/gate: снял своё выделение — на экране не остаётся подсвеченного куска"));
    card_.showNote(
        L(QStringLiteral("polish.note.gateRefused"), QStringLiteral("Не смог проверить выделение — правку не ставил")), true);
    endCorrecting();
}

void PolishRoutes::polishConfirmPaste(const AXElementPtr& el, AXRange range, const QString& text, quint64 typedAt,
                                      const QString& app, int read, const QString& was) {
    MainQueue::shared().after(CONFIRM_DELAYS[read], guarded([=, this] {
        if (engine_.typedGen != typedAt) return;
        const std::optional<QString> value = AXText::value(el);
        const std::optional<AXRange> sel = AXText::selectedRange(el);
        QString at = QStringLiteral("поле не читается");
        if (value) at = priv(value->mid(std::clamp<qint64>(range.location, 0, value->size()), 40));
        logLine(QStringLiteral("polish/gate: чтение ") + QString::number(read + 1) + QStringLiteral(" после ⌘V: поле ") +
                QString::number(value ? value->size() : -1) + QStringLiteral(" симв., каретка ") +
                (sel ? polishRangeText(*sel) : QStringLiteral("нет")) + QStringLiteral(", на месте правки ") + at +
                QStringLiteral(" [") + app + ']');
        const QString unknown = QStringLiteral("polish/gate: после ⌘V дерево не показало ни старого, ни нового текста за 3 с — "
                                               "исход неизвестен, карточки нет [") + app + ']';
        if (!value) {
            if (read < 4) polishConfirmPaste(el, range, text, typedAt, app, read + 1, was);
            else logLine(unknown);
            return;
        }
        if (PolishSelect::anchor(text, *value, range)) {
            logLine(QStringLiteral("polish/gate: после ⌘V правка подтверждена чтением ") + QString::number(read + 1) +
                    QStringLiteral(" [") + app + ']');
            return;
        }
        if (read < 4) {
            polishConfirmPaste(el, range, text, typedAt, app, read + 1, was);
            return;
        }
        if (!was.isEmpty() && PolishSelect::anchor(was, *value, range))
            logLine(QStringLiteral("polish/gate: после ⌘V дерево всё ещё показывает СТАРЫЙ текст (3 с) — в Electron это не "
                                   "улика, карточки нет [") + app + ']');
        else
            logLine(unknown);
    }));
}

PolishRoutes::PolishParagraphSelect PolishRoutes::polishSelectParagraphViaAX() {
    const AXElementPtr el = AXText::focused();
    const std::optional<QString> value = el && !AXText::isSecure(el) && AXText::isEditable(el) ? AXText::value(el) : std::nullopt;
    const std::optional<AXRange> sel = value ? AXText::selectedRange(el) : std::nullopt;
    if (!sel) {
        logLine(QStringLiteral("polish: абзац через AX не выделить — поля нет, иду стрелками"));
        return PolishParagraphSelect::noField;
    }
    const AXRange range = paragraphRange(*value, sel->location);
    if (range.length == 0) {
        logLine(QStringLiteral("polish: абзац вокруг каретки пуст — стрелками этого не исправить"));
        return PolishParagraphSelect::refused;
    }
    return polishSelectRange(el, range, QStringLiteral("polish"), true) == PolishRangeSelect::done
               ? PolishParagraphSelect::done
               : PolishParagraphSelect::refused;
}

}  // namespace murmelo
