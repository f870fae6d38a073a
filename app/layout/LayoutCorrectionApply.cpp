#include "layout/LayoutCorrectionApply.h"

#include "base/Graphemes.h"
#include "base/Log.h"
#include "input/AXText.h"
#include "layout/LayoutParts.h"
#include "layout/ManualInputSourceProfileV1.h"
#include "platform/Accessibility.h"
#include "platform/MainQueue.h"
#include "stats/MonthlyStats.h"

namespace murmelo {

namespace {

constexpr quint16 keyCodeReturn = 36;
constexpr quint16 keyCodeTab = 48;
constexpr quint16 keyCodeKeypadEnter = 76;

bool isLineEnd(std::optional<QChar> c) { return c && (*c == QLatin1Char('\n') || *c == QLatin1Char('\r')); }

// The word as the next decision's context: lower-case, without the signs around it.
QString contextWord(const QString& to) {
    QString w = to.toLower();
    qsizetype from = 0, end = w.size();
    while (from < end && !w[from].isLetter()) ++from;
    while (end > from && !w[end - 1].isLetter()) --end;
    return w.mid(from, end - from);
}

}  // namespace

LayoutCorrectionApply::LayoutCorrectionApply(LayoutSwitcher& engine, LayoutAppGates& gates)
    : engine_(engine), gates_(gates), alive_(std::make_shared<bool>(true)) {}

LayoutCorrectionApply::~LayoutCorrectionApply() { *alive_ = false; }

bool LayoutCorrectionApply::correct(const QString& word, const QString& to, std::optional<QChar> boundary,
                                    const QString& layout, bool nativeOK, const EditRights& rights,
                                    CorrectionKind kind) {
    if (engine_.isCorrecting()) return false;
    const ManualInputDecisionV1 decision = engine_.automaticDecision(
        ManualInputAutomaticPhaseV1::boundary, to, layout, nativeOK, !rights.movesSystemLayout(), kind);
    const ManualInputTextCauseV1 cause =
        kind == CorrectionKind::layout ? ManualInputTextCauseV1::layout : ManualInputTextCauseV1::spell;
    const ManualInputTextActionV1& text = decision.textAction;
    if (text.kind == ManualInputTextActionV1::Kind::replaceToken && text.replacement() == to && text.cause() == cause) {
        applyCorrection(word, to, boundary, layout, nativeOK, rights, kind, decision.sourceAction, decision.reasonCodes);
        return true;
    }
    if (decision.reasonCodes.contains(QStringLiteral("scope.frontmost_unsupported"))) {
        logLine(QStringLiteral("layout: правка ") + priv(word) + QStringLiteral(" пропущена — удалённый рабочий стол ") +
                QStringLiteral("(синтетический ввод туда не доходит)"));
    } else if (decision.reasonCodes.contains(QStringLiteral("scope.unsupported_source"))) {
        logLine(QStringLiteral("layout: правка ") + priv(word) + QStringLiteral(" пропущена — текущий input source вне ") +
                QStringLiteral("профиля ") + ManualInputSourceProfileV1::id);
    }
    return false;
}

void LayoutCorrectionApply::applyCorrection(const QString& word, const QString& to, std::optional<QChar> boundary,
                                            const QString& layout, bool nativeOK, const EditRights& rights,
                                            CorrectionKind kind, const ManualInputSourceActionV1& sourceAction,
                                            const QStringList& reasonCodes) {
    const std::optional<quint64> lock =
        engine_.acquireEditLock(QStringLiteral("correction"), LayoutSwitcher::watchdogInterval);
    // With the observer hook the engine runs without touching the application.
    const bool hooked = bool(engine_.correctionSink);

    const std::optional<QString> keptRecent = engine_.recentLang;
    const std::optional<QString> previousSourceID = engine_.observedSourceID();
    const QString from = ManualInputSourceProfileV1::language(previousSourceID).value_or(layout);
    const QUuid id = QUuid::createUuid();
    // The key that carried the boundary, when it is the one being handled now.
    std::optional<InputEvent> key;
    if (boundary && engine_.keyInHand && engine_.keyInHand->unicode.contains(*boundary)) key = engine_.keyInHand;

    engine_.setBuffer(QString());
    if (!hooked) {
        // The boundary has not reached the application yet: only the word is erased.
        deliver(graphemeCount(word), to, LayoutSwitcher::UndoTransport::keys);
        if (kind == CorrectionKind::layout) MonthlyStats::noteLayoutCorrection();
        else MonthlyStats::noteTextCorrection(word, to);
        if (boundary) typeBoundary(*boundary, key);
    }
    const bool notedHold = engine_.nativeHoldActive();

    const SourceSelection selection = selectSource(sourceAction, id);
    const bool accepted = selection.accepted;
    const bool didSwitch = selection.didSwitch;

    const bool layoutKind = kind == CorrectionKind::layout;
    const int wordLength = graphemeCount(word);
    if (layoutKind && rights.delaysLayoutOneMoreWord() && !notedHold &&
        !(wordLength > 3 && (!keptRecent || *keptRecent == layout))) {
        engine_.nativeHoldUntilWord = engine_.wordsTyped + 1;
    }
    if ((nativeOK && rights.givesLanguageContext()) || !layoutKind) engine_.recentLang = layout;

    const LayoutAppGates::FocusedApp app = gates_.focusedApp();
    const QDateTime now = Clock::shared().now();
    if (isLineEnd(boundary)) {
        // A correction followed by a line end cannot be undone.
        engine_.lastCorrection.reset();
        boundaryKey_.reset();
    } else {
        if (layoutKind) engine_.lastConversionForVeto = LayoutSwitcher::LastLayoutConversion{id, word, to, now};
        PendingCorrection p;
        p.id = id;
        p.original = word;
        p.converted = to;
        p.from = from;
        p.previousSourceID = previousSourceID;
        p.targetSourceID = selection.target;
        p.boundary = boundary;
        p.didSwitch = didSwitch;
        p.kind = kind;
        p.phase = LayoutSwitcher::Phase::boundary;
        p.frontApp = app.name;
        p.at = now;
        engine_.lastCorrection = p;
        if (key) boundaryKey_ = std::pair(id, *key);
        else boundaryKey_.reset();
    }
    engine_.setPrevWord(contextWord(to));

    if (hooked) {
        LayoutSwitcher::CorrectionEvent e;
        e.word = word;
        e.converted = to;
        e.layout = layout;
        e.nativeOK = nativeOK;
        e.switched = accepted;
        e.kind = kind;
        e.reasonCodes = reasonCodes;
        engine_.correctionSink(e);
    }

    QString note;
    const auto has = [&](const char* code) { return reasonCodes.contains(QLatin1String(code)); };
    if (!hooked && accepted) note = QStringLiteral(", раскладка запланирована: ждём exact receipt");
    else if (didSwitch) note = QString();
    else if (has("source.disabled_by_setting")) note = QStringLiteral(", раскладка не тронута: native-режим выключен");
    else if (has("source.none_for_spell")) note = QStringLiteral(", раскладка не тронута: орфография");
    else if (has("source.blocked.edit_mode")) note = QStringLiteral(", раскладка не тронута: режим правки");
    else if (has("source.blocked.unconfirmed_transition") && notedHold)
        note = QStringLiteral(", раскладка не тронута: задержка после правки (одно слово)");
    else if (has("source.blocked.unconfirmed_transition"))
        note = QStringLiteral(", раскладка не тронута: язык не подтверждён окружением (одно слово)");
    else note = QStringLiteral(", раскладка не тронута: селект отклонён (⌘-кулдаун или нет источника)");
    logLine(QStringLiteral("layout: исправлено ") + priv(word) + QStringLiteral(" -> ") + priv(to) + QStringLiteral(" (") +
            layout + note + QStringLiteral(", ") + app.name + QStringLiteral(")"));

    if (!hooked && !isLineEnd(boundary)) auditCorrectionDelivery(to, app.name);
    if (lock) engine_.releaseEditLock(*lock);
}

void LayoutCorrectionApply::typeBoundary(QChar boundary, const std::optional<InputEvent>& key) {
    const bool lineEnd = isLineEnd(boundary);
    if (key && (lineEnd || boundary == QLatin1Char('\t'))) {
        const quint16 code = quint16(key->keyCode & 0xFFFF);
        // Replayed with its modifiers, so Shift-Return stays a soft line break and Tab moves
        // on as the Tab key does where a tab character would not.
        if (code == keyCodeReturn || code == keyCodeKeypadEnter || code == keyCodeTab) {
            engine_.parts().sendKey(code, key->flags);
            return;
        }
    }
    if (lineEnd) {
        engine_.parts().sendKey(keyCodeReturn, 0);
    } else {
        engine_.parts().sendUnicode(QString(boundary), TextWriteOrigin::layout);
    }
}

TextWriteRoute LayoutCorrectionApply::deliver(int count, const QString& text, LayoutSwitcher::UndoTransport transport) {
    return engine_.parts().deliver(count, text, transport);
}

LayoutCorrectionApply::SourceSelection LayoutCorrectionApply::selectSource(const ManualInputSourceActionV1& action,
                                                                          const QUuid& id) {
    SourceSelection selection;
    if (action.kind != ManualInputSourceActionV1::Kind::selectExact) return selection;
    const QString sourceID = action.sourceID().value_or(QString());
    selection.target = sourceID;
    if (engine_.correctionSink) {
        selection.accepted = true;
        selection.didSwitch = true;
    } else {
        selection.accepted = engine_.parts().selectExactSource(sourceID, false, std::nullopt, switchReceipt(id, sourceID));
    }
    return selection;
}

std::function<void(bool)> LayoutCorrectionApply::switchReceipt(const QUuid& id, const QString& sourceID) {
    std::weak_ptr<bool> alive = alive_;
    return [this, alive, id, sourceID](bool ok) {
        auto token = alive.lock();
        if (!token || !*token) return;
        std::optional<PendingCorrection>& record = engine_.lastCorrection;
        // A newer correction, an undo or a typed key may have replaced or dropped the record.
        if (record && record->id == id && record->targetSourceID == sourceID) record->didSwitch = ok;
    };
}

bool LayoutCorrectionApply::undoGestureTakes(const std::optional<PendingCorrection>& pending, UndoGesture gesture,
                                             bool ruleOn, const QDateTime& now, double boundaryMaxAge, bool sameApp) {
    if (!pending) return false;
    if (pending->phase == LayoutSwitcher::Phase::boundary) {
        if (pending->at.msecsTo(now) >= qint64(boundaryMaxAge * 1000)) return false;
        return gesture == UndoGesture::backspace || ruleOn;
    }
    return ruleOn && sameApp;
}

bool LayoutCorrectionApply::takeFlipUndo(UndoGesture gesture, bool ruleOn, bool oneGesture) {
    if (!engine_.lastCorrection) return false;
    const PendingCorrection record = *engine_.lastCorrection;
    const bool sameApp = record.frontApp == gates_.focusedApp().name;
    if (!undoGestureTakes(record, gesture, ruleOn, Clock::shared().now(), LayoutSwitcher::undoMaxAge, sameApp))
        return false;
    // Asked before anything moves: a gesture the arbiter refuses is not an undo, and its key
    // goes on to the application as typed.
    const ManualInputDecisionV1 decision = engine_.undoDecision(record);
    if (decision.textAction.kind != ManualInputTextActionV1::Kind::restoreOriginal) {
        engine_.lastCorrection.reset();
        return false;
    }
    if (gesture == UndoGesture::backspace) engine_.parts().flipProbeBackspace();
    engine_.parts().flipProbeEnd(gesture == UndoGesture::backspace ? QStringLiteral("откат-backspace")
                                                                   : QStringLiteral("откат-⌘Z"));
    return performUndo(record, decision, oneGesture);
}

bool LayoutCorrectionApply::performUndo(const PendingCorrection& pending, bool oneGesture) {
    const ManualInputDecisionV1 decision = engine_.undoDecision(pending);
    if (decision.textAction.kind != ManualInputTextActionV1::Kind::restoreOriginal) {
        engine_.lastCorrection.reset();
        return false;
    }
    return performUndo(pending, decision, oneGesture);
}

bool LayoutCorrectionApply::performUndo(const PendingCorrection& pending, const ManualInputDecisionV1& decision,
                                        bool oneGesture) {
    ++undos_;
    engine_.cancelPendingAutomaticLayoutSelection();
    // The switch the undone correction asked for is void, landed or not: its bridging and
    // verification would retype the next keys into a layout the user just refused.
    engine_.graceTarget.reset();
    engine_.layoutVerifyTarget.reset();
    engine_.layoutVerifyRetries = 0;
    const std::optional<quint64> lock = engine_.acquireEditLock(QStringLiteral("undo"), LayoutSwitcher::watchdogInterval);
    const bool hooked = bool(engine_.correctionSink);
    std::optional<InputEvent> key;
    if (boundaryKey_ && boundaryKey_->first == pending.id) key = boundaryKey_->second;

    if (!hooked) {
        const auto transport = oneGesture ? LayoutSwitcher::UndoTransport::clipboard : LayoutSwitcher::UndoTransport::keys;
        QString text = pending.original;
        const int erasing = graphemeCount(pending.converted) + (pending.boundary ? 1 : 0);
        // One paste carries the boundary too, so the whole undo lands at once.
        if (transport == LayoutSwitcher::UndoTransport::clipboard && pending.boundary) text += *pending.boundary;
        std::optional<FieldBefore> before;
        const quint64 typedAtWrite = engine_.typedGen;
        if (oneGesture) {
            if (const AXElementPtr el = AXText::focusedForKeyPath()) {
                if (auto snapshot = DeliveryRepair::snapshot(el)) before = FieldBefore{el, *snapshot};
            }
        }
        const TextWriteRoute route = deliver(erasing, text, transport);
        if (pending.kind == CorrectionKind::layout) MonthlyStats::undoLayoutCorrection();
        if (transport == LayoutSwitcher::UndoTransport::keys && pending.boundary) typeBoundary(*pending.boundary, key);
        if (oneGesture && route == TextWriteRoute::clipboard) auditUndoDelivery(before, erasing, text, typedAtWrite);
    }
    if (decision.sourceAction.kind == ManualInputSourceActionV1::Kind::restoreExact && !hooked) {
        if (auto sourceID = decision.sourceAction.sourceID())
            engine_.parts().selectExactSource(*sourceID, false, QStringLiteral("rollback"), {});
    }
    engine_.recentLang = ManualInputSourceProfileV1::language(pending.previousSourceID);

    if (pending.phase == LayoutSwitcher::Phase::boundary) {
        noteUndo(pending.kind, pending.original, pending.from, pending.id);
        engine_.setBuffer(QString());
    } else {
        // The user is still inside the word: it goes back to the buffer as typed, and this
        // word gets no second live flip.
        engine_.setBuffer(pending.original);
        engine_.liveActive = false;
        engine_.liveFlippedWord = false;
        engine_.liveRetypeVeto = true;
        engine_.undoneWordPrefix = pending.original.toLower();
        engine_.parts().noteDisagreement(pending.original, QStringLiteral("откат live-флипа"), pending.id);
        logLine(QStringLiteral("layout: ОТКАТ live-флипа -> ") + priv(pending.original) + QStringLiteral(" ") +
                QStringLiteral("(вечные исключения не учим — это префикс; слово до границы не трогаем)"));
    }
    engine_.lastCorrection.reset();
    boundaryKey_.reset();
    if (lock) engine_.releaseEditLock(*lock);
    return true;
}

bool LayoutCorrectionApply::noteUndo(CorrectionKind kind, const QString& original, const QString& from,
                                     std::optional<QUuid> conversion) {
    if (kind == CorrectionKind::spell) {
        engine_.exceptions.insert(original.toLower());
        engine_.saveExceptions();
        logLine(QStringLiteral("layout: ОТКАТ орфо -> ") + priv(original) +
                QStringLiteral(" + в исключения навсегда (с первого раза)"));
        return true;
    }
    engine_.parts().noteDisagreement(original, QStringLiteral("откат жестом, ") + from, conversion);
    return false;
}

void LayoutCorrectionApply::auditCorrectionDelivery(const QString& expected, const QString& app) {
    if (engine_.correctionSink || expected.isEmpty()) return;
    const std::optional<QString> bundle = gates_.focusedApp().bundle;
    std::weak_ptr<bool> alive = alive_;
    const quint64 undos = undos_;
    const qint64 word = engine_.wordsTyped;
    MainQueue::shared().after(auditDelay, [this, alive, expected, app, bundle, undos, word] {
        auto token = alive.lock();
        if (token && *token) checkCorrectionDelivery(expected, app, bundle, undos, word, false);
    });
}

void LayoutCorrectionApply::checkCorrectionDelivery(const QString& expected, const QString& app,
                                                    const std::optional<QString>& bundle, quint64 undos, qint64 word,
                                                    bool last) {
    if (undos != undos_) return;
    // The field as the system has it: no wake-up of the application, no stand-in field.
    Accessibility& ax = Accessibility::shared();
    const AXElementPtr el = ax.focusedElement();
    if (!el) return;
    const QVariant raw = ax.attribute(*el, AXNames::value);
    if (raw.typeId() != QMetaType::QString) return;
    const QString value = raw.toString();
    if (value.isEmpty()) return;
    const QString tail = value.right(expected.size() + auditTailSlack);
    const qsizetype at = tail.lastIndexOf(expected);
    if (at < 0) {
        if (!last) {
            std::weak_ptr<bool> alive = alive_;
            MainQueue::shared().after(auditRetryDelay, [this, alive, expected, app, bundle, undos, word] {
                auto token = alive.lock();
                if (token && *token) checkCorrectionDelivery(expected, app, bundle, undos, word, true);
            });
            return;
        }
        logLine(QStringLiteral("⚠ layout/audit: впечатанное не найдено в хвосте поля ") +
                QStringLiteral("(ожидал %1 симв., хвост %2 симв., ").arg(expected.size()).arg(tail.size()) + app +
                QStringLiteral(") — ") + QStringLiteral("правка не легла или её тут же стёрли"));
        if (engine_.lastConversionForVeto && engine_.lastConversionForVeto->shown == expected)
            engine_.lastConversionForVeto.reset();
        // The word in the buffer is not the one in the field: flipping it again, bridging its
        // keys or undoing the correction would erase and type blind.
        if (engine_.wordsTyped == word) {
            engine_.liveActive = false;
            engine_.liveRetypeVeto = true;
            engine_.lastCorrection.reset();
            logLine(QStringLiteral("layout/audit: поле не совпадает с нашей правкой — до конца слова живых правок и ") +
                    QStringLiteral("отката нет (") + app + QStringLiteral(")"));
        }
        return;
    }
    if (at > 0 && tail[at - 1].isLetter()) {
        logLine(QStringLiteral("⚠ layout/audit: перед впечатанным осталась буква — недостёртый остаток ") +
                QStringLiteral("(класс «аfood», ") + app + QStringLiteral("): ") + priv(tail.mid(at - 1)));
        if (bundle && !AXText::isSecure(el) && AXText::acceptsWrite(el)) {
            const std::optional<qint64> pid = AXText::ownerPid(el);
            gates_.noteDeliveryMiss(*bundle, app, pid && AXText::writeLooksRefused(*pid));
        }
        return;
    }
    if (bundle) gates_.forgiveDeliveryMiss(*bundle);
}

void LayoutCorrectionApply::auditUndoDelivery(const std::optional<FieldBefore>& field, int erasing,
                                              const QString& inserting, quint64 typedAtWrite) {
    const QString tag = QStringLiteral("layout/откат");
    if (!field) {
        logLine(tag + QStringLiteral(": поле до отката по AX не прочиталось — самопроверки доставки нет ") +
                QStringLiteral("(") + gates_.frontAppName() + QStringLiteral(")"));
        return;
    }
    const std::optional<DeliveryRepair::EditPacket> packet =
        DeliveryRepair::undoPacket(field->second, erasing, inserting);
    if (!packet) {
        logLine(tag + QStringLiteral(": каретка по AX не там, где стираем — самопроверки доставки нет ") +
                QStringLiteral("(") + gates_.frontAppName() + QStringLiteral(")"));
        return;
    }
    engine_.parts().auditUndoEdit(field->first, *packet, typedAtWrite);
}

}  // namespace murmelo
