#include "layout/LayoutManualConversion.h"

#include "base/Log.h"
#include "input/ClipboardManager.h"
#include "input/ClipboardPaste.h"
#include "layout/LayoutDisagreement.h"
#include "layout/LayoutExceptionCard.h"
#include "layout/LayoutMaps.h"
#include "layout/LayoutParts.h"
#include "layout/LayoutSwitcherHost.h"
#include "layout/ManualInputSourceProfileV1.h"
#include "platform/ComposeStage.h"
#include "platform/KeyEventPoster.h"
#include "platform/MainQueue.h"
#include "platform/Pasteboard.h"
#include "stats/MonthlyStats.h"

namespace murmelo {

namespace {

constexpr quint16 kKeyC = 8;
constexpr quint16 kKeyLeft = 123;
// The whole run fits well inside this; the watchdog frees the lock only past it.
constexpr double kLockSeconds = 1.5;

bool isSeparator(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\n') || c == QLatin1Char('\t') || c == QLatin1Char('\r');
}

bool lettersOnly(const QString& s) {
    for (const char32_t c : s.toUcs4())
        if (!QChar::isLetter(c)) return false;
    return true;
}

int characterCount(const QString& s) { return int(s.toUcs4().size()); }

QString otherLanguage(const QString& lang) { return lang == QStringLiteral("ru") ? QStringLiteral("en") : QStringLiteral("ru"); }

}  // namespace

// One conversion from the gesture to the end of its lease.
struct LayoutManualConversion::Run {
    TemporaryClipboardLease::Token lease;
    qint64 changeCount = 0;
    // From the paste on, the paste's read canary decides when the lease ends.
    bool pasted = false;
};

QString LayoutManualConversion::ManualFlipMemory::logSuffix() const {
    switch (kind) {
    case Kind::learned: return QStringLiteral(" + выучено");
    case Kind::forgot: return QStringLiteral(" − убрано из исключений");
    case Kind::nothing: break;
    }
    return {};
}

LayoutManualConversion::LayoutManualConversion(LayoutSwitcher& engine) : engine_(engine) {}

LayoutManualConversion::~LayoutManualConversion() = default;

// ---- The gesture

void LayoutManualConversion::noteRightShift(bool down, bool polishBound) {
    if (!down) {
        if (polishBound) engine_.parts().notePolishUp();
        return;
    }
    const QDateTime now = Clock::shared().now();
    if (engine_.lastRShift && engine_.lastRShift->msecsTo(now) < qint64(doublePressWindow * 1000) &&
        !engine_.keyBetweenShifts) {
        engine_.lastRShift.reset();
        engine_.keyBetweenShifts = false;
        engine_.parts().cancelPendingPolish(QStringLiteral("двойной ⇧ — это ручной конвертер"));
        manualConvert();
        return;
    }
    engine_.lastRShift = now;
    engine_.keyBetweenShifts = false;
    if (polishBound) engine_.parts().notePolishDown();
}

// ---- The conversion

void LayoutManualConversion::manualConvert() {
    if (engine_.manualConvertSink) {
        engine_.manualConvertSink();
        return;
    }
    const bool remote = engine_.parts().isRemoteDesktopFrontmost();
    if (!ManualInputSourceProfileV1::contains(engine_.observedSourceID()) || remote) {
        logLine(QStringLiteral("layout: двойной Shift пропущен — input source вне профиля ") + ManualInputSourceProfileV1::id +
                QStringLiteral(" или remote desktop"));
        return;
    }
    engine_.lastCorrection.reset();
    logLine(QStringLiteral("layout: двойной Shift → ручной конвертер"));
    // A correction already writing keeps its own lock; ours then has nothing to release.
    if (!lockToken_) lockToken_ = engine_.acquireEditLock(QStringLiteral("manual"), kLockSeconds);
    if (KeyEventPoster::shared().frontEditing() != FrontEditing::editor) {
        convertFromRecord();
        return;
    }

    auto run = std::make_shared<Run>();
    current_ = run;
    Pasteboard& board = Pasteboard::general();
    run->lease = ClipboardManager::shared().beginPreservingPasteboard(&board);
    run->changeCount = board.changeCount();
    engine_.parts().sendKey(kKeyC, KeyFlags::command);

    std::weak_ptr<bool> alive = alive_;
    MainQueue::shared().after(copyReadDelay, [this, alive, run] {
        if (!alive.expired()) read(run, false);
    });
    MainQueue::shared().after(safetyEnd, [this, alive, run] {
        if (alive.expired() || run->pasted) return;
        ClipboardManager::shared().finishTemporaryLease(run->lease);
        if (current_ == run) endCorrecting();
    });
}

void LayoutManualConversion::read(const std::shared_ptr<Run>& run, bool second) {
    ClipboardManager& clipboard = ClipboardManager::shared();
    if (!clipboard.isTemporaryLeaseActive(run->lease)) {
        if (current_ == run) endCorrecting();
        return;
    }
    Pasteboard& board = Pasteboard::general();
    if (board.changeCount() != run->changeCount) {
        const std::optional<QString> copied = board.string();
        if (copied && !copied->isEmpty()) {
            applyManual(*copied, run->lease);
            return;
        }
    }
    if (second) {
        clipboard.finishTemporaryLease(run->lease);
        endCorrecting();
        logLine(QStringLiteral("layout: ручная конвертация — нечего конвертировать"));
        return;
    }
    // Nothing was selected: take the word before the caret (Option-Shift-Left, which the
    // Linux backend posts as Ctrl+Shift+Left).
    run->changeCount = board.changeCount();
    engine_.parts().sendKey(kKeyLeft, KeyFlags::shift | KeyFlags::option);
    engine_.parts().sendKey(kKeyC, KeyFlags::command);
    std::weak_ptr<bool> alive = alive_;
    MainQueue::shared().after(copyReadDelay, [this, alive, run] {
        if (!alive.expired()) read(run, true);
    });
}

void LayoutManualConversion::applyManual(const QString& text, const TemporaryClipboardLease::Token& lease) {
    if (!ClipboardManager::shared().isTemporaryLeaseActive(lease)) {
        endCorrecting();
        return;
    }
    writeConversion(text, lease);
}

void LayoutManualConversion::convertFromRecord() {
    QString word = engine_.buf;
    QString trailing;
    const bool inWord = !word.isEmpty();
    if (!inWord) {
        word = engine_.prevWord();
        const std::optional<QChar> boundary = engine_.prevBoundary;
        // After a Return the line has gone to the terminal's program: nothing to take back.
        if (!word.isEmpty() && boundary && (*boundary == QLatin1Char(' ') || *boundary == QLatin1Char('\t')))
            trailing = QString(*boundary);
        else
            word.clear();
    }
    if (word.isEmpty()) {
        endCorrecting();
        logLine(QStringLiteral("layout: ручная конвертация в терминале — нечего конвертировать (выделить там нечем, ") +
                QStringLiteral("а набранного слова нет)"));
        return;
    }
    writeConversion(word, std::nullopt, trailing);
}

void LayoutManualConversion::writeConversion(const QString& text,
                                             const std::optional<TemporaryClipboardLease::Token>& lease,
                                             const QString& trailing) {
    ClipboardManager& clipboard = ClipboardManager::shared();
    auto stop = [&](const QString& line) {
        if (lease) clipboard.finishTemporaryLease(*lease);
        endCorrecting();
        if (!line.isEmpty()) logLine(line);
    };
    const std::optional<QString> target = ManualInputSourceProfileV1::opposite(engine_.observedSourceID());
    if (!target) {
        stop(QStringLiteral("layout: ручная конвертация отменена — input source сменился вне exact-профиля"));
        return;
    }
    const QString converted = convertText(text);
    if (converted == text) {
        stop(QStringLiteral("layout: ручная конвертация — без изменений ") + priv(text));
        return;
    }
    const ManualInputDecisionV1 decision = engine_.manualDecision(converted, *target, true);
    const ManualInputTextActionV1& action = decision.textAction;
    if (action.kind != ManualInputTextActionV1::Kind::replaceSelection || action.replacement() != converted ||
        action.cause() != ManualInputTextCauseV1::manualLayout) {
        stop(QStringLiteral("layout: ручная конвертация заблокирована: ") + decision.reasonCodes.join(QLatin1Char(',')));
        return;
    }

    // The paste replaces the selection, which is the copied text. The lease's restore waits
    // for the field to read the paste: a slow field would otherwise paste the user's own
    // clipboard back. On the stand the stage takes the paste at once, and nothing reaches
    // the desktop.
    const bool stand = LayoutSwitcher::standMode();
    if (!lease) {
        engine_.parts().deliver(characterCount(text) + characterCount(trailing), converted + trailing,
                                LayoutSwitcher::UndoTransport::keys);
        // The record follows the field, so that a second double Shift converts back.
        if (!engine_.buf.isEmpty()) {
            engine_.setBuffer(converted);
            engine_.liveActive = false;
            engine_.liveRetypeVeto = true;
        } else {
            engine_.replacePrevWord(converted);
        }
    } else if (stand) {
        if (ComposeStage* stage = LayoutSwitcher::stage()) stage->machinePaste(converted, rawValue(TextWriteOrigin::layout));
    } else if (!pasteUnderLease(converted, *lease, TextWriteOrigin::layout)) {
        stop({});
        return;
    } else if (current_ && current_->lease == *lease) {
        current_->pasted = true;
    }

    const std::optional<LayoutSwitcher::LastLayoutConversion> undoing = humanFlipUndoesOurs(text, Clock::shared().now());
    if (!undoing) MonthlyStats::noteLayoutCorrection();

    bool scheduled = false;
    if (decision.sourceAction.kind == ManualInputSourceActionV1::Kind::selectExact) {
        scheduled = engine_.parts().selectExactSource(decision.sourceAction.sourceID().value_or(*target), false,
                                                    std::nullopt, {});
    }

    const ManualFlipMemory memory = noteHumanFlip(text, converted, undoing, engine_.rules().ruleExceptionUnlearn);
    logLine(QStringLiteral("layout: ручная конвертация ") + priv(text) + QStringLiteral(" -> ") + priv(converted) +
            QStringLiteral(" (") + decision.reasonCodes.join(QLatin1Char(',')) + QLatin1Char(')') +
            (scheduled ? QStringLiteral(", TIS запланирован") : QStringLiteral(", TIS не тронут")) +
            (lease ? QString() : QStringLiteral(", по записи набора")) + memory.logSuffix());
    if (memory.kind == ManualFlipMemory::Kind::learned)
        LayoutExceptionCardController::shared().show(memory.word, LayoutExceptionCardController::Change::added);
    else if (memory.kind == ManualFlipMemory::Kind::forgot)
        LayoutExceptionCardController::shared().show(memory.word, LayoutExceptionCardController::Change::removed);

    if (!lease) {
        endCorrecting();
        return;
    }
    std::weak_ptr<bool> alive = alive_;
    std::shared_ptr<Run> run = current_;
    const TemporaryClipboardLease::Token token = *lease;
    MainQueue::shared().after(lockAfterPaste, [this, alive, run, stand, token] {
        if (alive.expired()) return;
        if (stand) ClipboardManager::shared().finishTemporaryLease(token);
        if (current_ == run) endCorrecting();
    });
}

void LayoutManualConversion::endCorrecting() {
    if (lockToken_) engine_.releaseEditLock(*lockToken_);
    lockToken_.reset();
}

QString LayoutManualConversion::convertText(const QString& text) const {
    QString out;
    QString runText;
    auto flush = [&] {
        if (runText.isEmpty()) return;
        const std::optional<QString> from = engine_.parts().sourceLayout(runText);
        std::optional<QString> converted;
        if (from) converted = LayoutMaps::convert(runText, *from, otherLanguage(*from));
        out += converted.value_or(runText);
        runText.clear();
    };
    for (QChar c : text) {
        if (isSeparator(c)) {
            flush();
            out += c;
        } else {
            runText += c;
        }
    }
    flush();
    return out;
}

// ---- Learning

QString LayoutManualConversion::key(const QString& text) const {
    return LayoutDisagreement::disagreementKey(text.trimmed());
}

std::optional<LayoutSwitcher::LastLayoutConversion> LayoutManualConversion::humanFlipUndoesOurs(const QString& source,
                                                                                                const QDateTime& now) const {
    const QString k = key(source);
    const auto& last = engine_.lastConversionForVeto;
    if (k.isEmpty() || !last) return std::nullopt;
    if (last->at.msecsTo(now) >= qint64(LayoutSwitcher::disagreementEraseWindow * 1000)) return std::nullopt;
    if (key(last->shown) != k) return std::nullopt;
    return last;
}

LayoutManualConversion::ManualFlipMemory LayoutManualConversion::noteHumanFlip(
    const QString& source, const QString& converted, const std::optional<LayoutSwitcher::LastLayoutConversion>& undoing,
    std::optional<bool> unlearnOn) {
    const bool unlearn = unlearnOn.value_or(engine_.rules().ruleExceptionUnlearn);
    engine_.lastCorrection.reset();
    if (!undoing) return noteManualFlip(source, converted, unlearn);

    engine_.lastConversionForVeto.reset();
    logLine(QStringLiteral("layout: двойной ⇧ вернул нашу правку ") + priv(undoing->shown) + QStringLiteral(" -> ") +
            priv(undoing->typed) + QStringLiteral(" — считаем откатом (R46), вечным исключениям не учим"));
    if (engine_.liveFlippedWord || engine_.liveActive) {
        engine_.buf = converted.trimmed();
        engine_.liveActive = false;
        engine_.liveFlippedWord = false;
        engine_.liveRetypeVeto = true;
        engine_.undoneWordPrefix = engine_.buf.toLower();
    }
    engine_.parts().noteDisagreement(undoing->typed, QStringLiteral("ручной флип двойным ⇧"), undoing->id);
    MonthlyStats::undoLayoutCorrection();
    if (unlearn) {
        if (auto word = forgetManualException(source)) return ManualFlipMemory::forgot(*word);
    }
    return ManualFlipMemory::nothing();
}

LayoutManualConversion::ManualFlipMemory LayoutManualConversion::noteManualFlip(const QString& source,
                                                                                const QString& converted, bool ruleOn) {
    if (ruleOn) {
        if (auto word = forgetManualException(source)) return ManualFlipMemory::forgot(*word);
    }
    if (!noteManualLearned(converted)) return ManualFlipMemory::nothing();
    return ManualFlipMemory::learned(converted.trimmed().toLower());
}

std::optional<QString> LayoutManualConversion::forgetManualException(const QString& word) {
    const QString k = word.trimmed().toLower();
    if (k.isEmpty() || !lettersOnly(k) || !engine_.exceptions.contains(k)) return std::nullopt;
    engine_.exceptions.remove(k);
    engine_.saveExceptions();
    logLine(QStringLiteral("layout: ручной флип слова из исключений ") + priv(k) + QStringLiteral(" — убрано из исключений"));
    return k;
}

bool LayoutManualConversion::noteManualLearned(const QString& word) {
    const QString k = word.trimmed().toLower();
    const int chars = characterCount(k);
    if (chars < learnMinChars || chars > learnMaxChars) return false;
    if (!lettersOnly(k)) return false;
    if (engine_.isKnown(k)) return false;
    if (engine_.exceptions.size() >= exceptionsCap) return false;
    const std::optional<QString> lang = engine_.parts().sourceLayout(k);
    if (!lang) return false;
    const QString other = otherLanguage(*lang);
    if (const std::optional<QString> twin = LayoutMaps::convert(k, *lang, other)) {
        // "Cannot tell" counts as not a real word.
        if (LayoutSwitcherHost::shared().isRealWordInLayout(twin->toLower(), other, false).value_or(false)) {
            logLine(QStringLiteral("layout: ручное слово ") + priv(k) +
                    QStringLiteral(" НЕ выучено — его двойник настоящее слово (dict-double)"));
            return false;
        }
    }
    engine_.exceptions.insert(k);
    engine_.saveExceptions();
    return true;
}

}  // namespace murmelo
