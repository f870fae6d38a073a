#include "polish/LivePolish.h"

#include "base/Graphemes.h"
#include "base/Log.h"
#include "dictation/RecordingControl.h"
#include "input/AXText.h"
#include "input/TapConsumers.h"
#include "layout/LayoutSwitcher.h"
#include "layout/SystemSubstitutions.h"
#include "platform/Workspace.h"
#include "polish/CorrectorClient.h"
#include "polish/PolishCard.h"
#include "polish/PolishEditDelivery.h"
#include "polish/PolishJournal.h"
#include "polish/PolishKnownWords.h"
#include "polish/PolishResult.h"
#include "polish/PolishSettings.h"
#include "polish/PolishUnderline.h"
#include "stats/MonthlyStats.h"
#include "stats/TypingStats.h"

#include <QStringList>
#include <algorithm>

namespace murmelo {

namespace {

// A live request holds the edit lock until its answer is handled; the corrector gives up
// after 12 s, so the watchdog may free a hold only after that.
constexpr double kLiveHoldSeconds = 13.0;
constexpr int kExcerptChars = 40;
constexpr int kCapitalWindow = 8;
constexpr qint64 kLiveMaxKeys = 24;
const QString kLiveTag = QStringLiteral("polish/live");
const QString kCapTag = QStringLiteral("polish/cap");

// Positions are UTF-16 units; a unit outside the text or half of a surrogate pair is no
// character of any class.
std::optional<QChar> unitAt(const QString& text, qint64 i) {
    if (i < 0 || i >= text.size()) return std::nullopt;
    const QChar c = text.at(i);
    if (c.isSurrogate()) return std::nullopt;
    return c;
}

bool isSpaceOrTab(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); }
bool isLineBreak(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 0x000A && u <= 0x000D) || u == 0x0085 || u == 0x2028 || u == 0x2029;
}
bool isTerminator(QChar c) {
    return c == QLatin1Char('.') || c == QLatin1Char('!') || c == QLatin1Char('?') || c == QChar(0x2026);
}
bool isWordChar(QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('\''); }

template <class Pred>
bool unitIs(const QString& text, qint64 i, Pred pred) {
    const std::optional<QChar> c = unitAt(text, i);
    return c && pred(*c);
}

bool isBlank(QChar c) { return isSpaceOrTab(c) || isLineBreak(c); }

// Walking back over spaces (and tabs): the start of the text, a sentence mark or a line break
// begins a sentence.
bool startsSentence(const QString& text, qint64 position) {
    qint64 i = std::clamp<qint64>(position, 0, text.size()) - 1;
    while (i >= 0 && (text.at(i) == QLatin1Char('\t') || text.at(i).category() == QChar::Separator_Space)) --i;
    if (i < 0) return true;
    const QChar c = text.at(i);
    if (c.isSurrogate()) return false;
    return isTerminator(c) || isLineBreak(c);
}

QString lastChars(const QString& text, int n) {
    const QStringList chars = graphemes(text);
    if (chars.size() <= n) return text;
    return chars.mid(chars.size() - n).join(QString());
}

// The changed middle of `have` (UTF-16 location and length) and what replaces it, compared
// character by character: the common beginning, then the common end that does not overlap it.
struct Narrowed {
    qint64 location = 0;
    qint64 length = 0;
    QString replacement;
};

Narrowed narrowRange(const QString& have, const QString& want) {
    const QStringList a = graphemes(have);
    const QStringList b = graphemes(want);
    qsizetype head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
    qsizetype tail = 0;
    while (tail < a.size() - head && tail < b.size() - head && a[a.size() - 1 - tail] == b[b.size() - 1 - tail]) ++tail;
    const qint64 location = a.mid(0, head).join(QString()).size();
    const qint64 length = a.mid(head, a.size() - head - tail).join(QString()).size();
    return {location, length, b.mid(head, b.size() - head - tail).join(QString())};
}

QString frontAppName() {
    const std::optional<AppIdentity> front = Workspace::shared().frontmostApplication();
    return front && !front->localizedName.isEmpty() ? front->localizedName : QStringLiteral("?");
}

QString signedNumber(qint64 n) { return (n >= 0 ? QStringLiteral("+") : QString()) + QString::number(n); }

}  // namespace

QString stripAddedTerminator(const QString& raw, const QString& fixed) {
    qsizetype i = raw.size() - 1;
    while (i >= 0 && raw.at(i).isSpace()) --i;
    if (i < 0 || isTerminator(raw.at(i))) return fixed;
    QString out = fixed;
    while (!out.isEmpty() && isTerminator(out.back())) out.chop(1);
    return out;
}

LivePolish::LivePolish(LayoutSwitcher& engine, Parts& parts)
    : engine_(engine), parts_(parts), self_(std::make_shared<LivePolish*>(this)) {}

bool ApplicationLivePolishParts::liveEnabled() { return TapPolish::shared().isPolishLiveEnabled(); }
bool ApplicationLivePolishParts::polishEnabled() { return TapPolish::isPolishEnabled(); }
bool ApplicationLivePolishParts::isRecording() { return murmelo::isRecording(); }
double ApplicationLivePolishParts::quiet() {
    return TypingStats::suggestedQuiet().value_or(LivePolish::POLISH_LIVE_QUIET);
}
void ApplicationLivePolishParts::requestCorrection(const QString& text,
                                                   std::function<void(std::optional<QString>)> completion) {
    murmelo::requestCorrection(text, std::move(completion));
}
LivePolish::Context ApplicationLivePolishParts::polishContext(const QString& chunk, const QString& text, qint64 at) {
    return murmelo::polishContext(chunk, text, at);
}
std::optional<LivePolish::FieldResult> ApplicationLivePolishParts::polishForField(const QString& raw,
                                                                                 const QString& model,
                                                                                 const LivePolish::Context& context) {
    return murmelo::polishForField(raw, model, context, words_);
}
bool ApplicationLivePolishParts::polishTypeFix(const AXElementPtr& el, const QString& value, AXRange fix,
                                               qint64 caret, const QString& have, const QString& want,
                                               const QString& tag, qint64 maxKeys, bool trustGap) {
    return PolishEditDelivery::shared().polishTypeFix(el, value, fix, caret, have, want, tag, maxKeys, trustGap);
}
void ApplicationLivePolishParts::underline(const AXElementPtr& el, qint64 base, const QString& before,
                                           const QString& after) {
    PolishUnderline::show(el, base, before, after);
}
// Every polish write is noted in the journal.
void ApplicationLivePolishParts::journalNote(const QString& rule, const QString& before, const QString& after,
                                             qint64 at, std::optional<qint64> pid) {
    PolishJournal::note(rule, before, after, at, pid ? std::optional<qint32>(qint32(*pid)) : std::nullopt);
}
bool ApplicationLivePolishParts::cardEnabled() { return isPolishCardEnabled(); }
void ApplicationLivePolishParts::showCardEdits(const std::vector<PolishDiff::Edit>& edits) {
    PolishCardController::shared().show(edits);
}

LivePolish& LivePolish::shared() {
    static ApplicationLivePolishParts parts(PolishKnownWords::application());
    static LivePolish* live = new LivePolish(LayoutSwitcher::shared(), parts);  // lives as long as the process
    return *live;
}

LivePolish::~LivePolish() {
    *self_ = nullptr;
    liveWork.cancel();
    if (heldLock_) engine_.releaseEditLock(*heldLock_);
}

void LivePolish::notePolishLiveTyping() {
    if (!parts_.liveEnabled() || !parts_.polishEnabled()) return;
    ++liveGen;
    liveWork.cancel();
    std::weak_ptr<LivePolish*> weak = self_;
    liveWork = MainQueue::shared().after(parts_.quiet(), [weak] {
        const auto alive = weak.lock();
        if (alive && *alive) (*alive)->livePolishTick();
    });
}

void LivePolish::cancelPolishLive() {
    liveWork.cancel();
    liveWork.reset();
}

void LivePolish::liveNote(const QString& reason) {
    const QString app = frontAppName();
    const QString key = app + QLatin1Char('|') + reason;
    const double now = Clock::shared().uptime();
    if (key == liveLastNote && liveLastNoteAt && now - *liveLastNoteAt < POLISH_LIVE_NOTE_EVERY) return;
    liveLastNote = key;
    liveLastNoteAt = now;
    logLine(QStringLiteral("polish/live: не берусь — ") + reason + QStringLiteral(" [") + app + QLatin1Char(']'));
}

LivePolish::Scope LivePolish::liveScope(const QString& text, qint64 caret) {
    const qint64 length = text.size();
    qint64 e = std::clamp<qint64>(caret, 0, length);
    if (e < 1) return {std::nullopt, QStringLiteral("каретка в начале поля")};

    const QString noWords = QStringLiteral("дописанных слов ещё нет");
    qint64 i = e - 1;
    while (i >= 0 && unitIs(text, i, [](QChar c) { return isBlank(c) || isTerminator(c); })) --i;
    qint64 s = 0;
    if (i >= 0) {
        while (i >= 0 && !unitIs(text, i, [](QChar c) { return isTerminator(c) || isLineBreak(c); })) --i;
        s = i + 1;
    }
    while (s < e && unitIs(text, s, isBlank)) ++s;
    if (s >= e) return {std::nullopt, noWords};

    if (unitIs(text, e - 1, isWordChar)) {
        while (e > s && unitIs(text, e - 1, isWordChar)) --e;
        if (e <= s) return {std::nullopt, QStringLiteral("человек печатает первое слово")};
    }
    while (e > s && unitIs(text, e - 1, isBlank)) --e;
    if (e <= s) return {std::nullopt, noWords};
    if (e - s < POLISH_LIVE_MIN_CHARS)
        return {std::nullopt, QStringLiteral("дописано меньше %1 символов").arg(POLISH_LIVE_MIN_CHARS)};

    const qint64 budget = PolishLatency::maxChars(POLISH_LIVE_MAX_CHARS);
    if (budget < POLISH_LIVE_MIN_CHARS)
        return {std::nullopt, QStringLiteral("модель на этой машине слишком медленная (") +
                                  PolishLatency::describe().value_or(QStringLiteral("?")) + QLatin1Char(')')};
    if (e - s > budget) {
        // Cut from the front at a word start, dropping the word the cut falls into.
        qint64 o = e - budget;
        while (o < e && unitIs(text, o, isWordChar)) ++o;
        while (o < e && unitIs(text, o, isBlank)) ++o;
        if (e - o >= POLISH_LIVE_MIN_CHARS) s = o;
    }
    return {AXRange{s, e - s}, QString()};
}

std::optional<AXRange> LivePolish::liveSentenceRange(const QString& text, qint64 caret) {
    return liveScope(text, caret).range;
}

void LivePolish::livePolishTick() {
    liveWork.reset();
    if (!parts_.liveEnabled() || !parts_.polishEnabled()) return;
    if (engine_.isCorrecting()) return liveNote(QStringLiteral("занят другой правкой"));
    if (parts_.isRecording()) return;

    const AXElementPtr el = AXText::focused();
    if (!el) return liveNote(QStringLiteral("AX не отдаёт поле в фокусе"));
    if (AXText::isSecure(el)) return liveNote(QStringLiteral("поле пароля"));
    const QString role = AXText::role(el);
    if (!AXText::isEditable(el)) return liveNote(QStringLiteral("поле не редактируемое (роль ") + role + QLatin1Char(')'));
    const std::optional<QString> text = AXText::value(el);
    if (!text) return liveNote(QStringLiteral("значение поля не читается (роль ") + role + QLatin1Char(')'));
    const std::optional<AXRange> selection = AXText::selectedRange(el);
    if (!selection) return liveNote(QStringLiteral("выделение не читается (роль ") + role + QLatin1Char(')'));
    if (selection->length != 0) return liveNote(QStringLiteral("есть выделение — человек собрался править сам"));

    const qint64 caret = selection->location;
    if (liveWroteAt && Clock::shared().uptime() - *liveWroteAt < POLISH_LIVE_COOLDOWN) return;
    qint64 after = caret;
    while (unitIs(*text, after, isSpaceOrTab)) ++after;
    if (after < text->size() && !unitIs(*text, after, isLineBreak))
        return liveNote(QStringLiteral("каретка не в конце строки — человек правит середину"));

    const Scope scope = liveScope(*text, caret);
    if (!scope.range) return liveNote(scope.why);
    const AXRange range = *scope.range;
    const QString chunk = text->mid(range.location, range.length);
    if (chunk == liveDone) return;
    const std::optional<quint64> token = engine_.acquireEditLock(kLiveTag, kLiveHoldSeconds);
    if (!token) return liveNote(QStringLiteral("занят другой правкой"));
    liveDone = chunk;
    heldLock_ = token;
    Request request{engine_.typedGen, chunk, parts_.polishContext(chunk, *text, range.location), range, el, *token};
    std::weak_ptr<LivePolish*> weak = self_;
    parts_.requestCorrection(chunk, [weak, request](std::optional<QString> answer) {
        const auto alive = weak.lock();
        if (alive && *alive) (*alive)->handleAnswer(request, answer);
    });
}

void LivePolish::endCorrecting(const Request& request) {
    engine_.releaseEditLock(request.lockToken);
    if (heldLock_ == request.lockToken) heldLock_.reset();
}

void LivePolish::handleAnswer(const Request& request, const std::optional<QString>& answer) {
    struct End {
        LivePolish* self;
        const Request& request;
        ~End() { self->endCorrecting(request); }
    } end{this, request};

    if (parts_.isRecording()) {
        logLine(QStringLiteral("polish/live: dictation started while we were computing — standing down"));
        return;
    }
    if (!answer || answer->isEmpty()) return;
    if (engine_.typedGen != request.typedGen) {
        logLine(QStringLiteral("polish/live: печатал, пока считали — не ставлю (клавиш за это время: %1)")
                    .arg(engine_.typedGen - request.typedGen));
        return;
    }
    const std::optional<FieldResult> result = parts_.polishForField(request.chunk, *answer, request.context);
    if (!result || result->text == request.chunk) return;
    const QString& fixed = result->text;

    if (request.range.location != engine_.liveScopeAt) {
        engine_.liveScopeAt = request.range.location;
        liveProduced.clear();
    }
    if (liveProduced.contains(fixed)) {
        logLine(QStringLiteral("polish/live: этот вариант уже ставили — не спорю сам с собой"));
        return;
    }
    write(request, *result);
}

void LivePolish::write(const Request& request, const FieldResult& result) {
    const AXRange range = request.range;
    const QString& chunk = request.chunk;
    const QString& fixed = result.text;
    const AXElementPtr& el = request.el;

    const std::optional<QString> current = AXText::value(el);
    if (!current || current->size() < range.location + range.length ||
        current->mid(range.location, range.length) != chunk) {
        logLine(QStringLiteral("polish/live: текст изменился, пока считали — молчу"));
        return;
    }

    const std::optional<AXRange> selection = AXText::selectedRange(el);
    std::optional<qint64> caret;
    if (selection && selection->length == 0) caret = selection->location;
    const Narrowed narrow = narrowRange(chunk, fixed);
    const std::optional<qint64> pid = AXText::ownerPid(el);
    bool viaAX = false;
    if (!pid || !AXText::writeLooksRefused(*pid))
        viaAX = AXText::replace(el, AXRange{range.location + narrow.location, narrow.length}, narrow.replacement, false,
                                TextWriteOrigin::polish);
    const QString standDown = QStringLiteral("polish/live: ни узкая запись, ни синтетика не подошли — молчу");
    if (!viaAX) {
        if (!caret) {
            logLine(standDown);
            return;
        }
        bool typed = false;
        typed = parts_.polishTypeFix(el, *current, range, *caret, chunk, fixed, kLiveTag, kLiveMaxKeys, false);
        if (!typed) {
            logLine(standDown);
            return;
        }
    }

    const qint64 delta = fixed.size() - chunk.size();
    if (viaAX && caret) {
        const qint64 moved = *caret >= range.location + range.length ? std::max<qint64>(0, *caret + delta) : *caret;
        AXText::setSelectedRange(el, AXRange{moved, 0});
    }

    liveDone = fixed;
    liveProduced.insert(fixed);
    liveProduced.insert(chunk);
    liveWroteAt = Clock::shared().uptime();

    QString line = QStringLiteral("polish/live: ") + priv(lastChars(chunk, kExcerptChars)) + QStringLiteral(" -> ") +
                   priv(lastChars(fixed, kExcerptChars)) +
                   QStringLiteral(" (диапазон %1+%2, каретка ").arg(range.location).arg(range.length) +
                   (caret ? QString::number(*caret) : QStringLiteral("?")) + signedNumber(delta);
    if (result.trusted) line += QStringLiteral(", рубеж снят");
    if (viaAX) line += QStringLiteral(", AX %1+%2").arg(narrow.location).arg(narrow.length);
    logLine(line);

    parts_.underline(el, range.location, chunk, fixed);
    parts_.journalNote(PolishJournal::Rule::vudiLive, chunk, fixed, range.location, pid);
    if (parts_.cardEnabled()) parts_.showCardEdits(PolishDiff::compute(chunk, fixed));
}

bool LivePolish::liveCapitalize(const AXElementPtr& el, const QString& full, qint64 caret) {
    if (caret <= 0 || caret > full.size()) return false;
    qint64 i = caret - 1;
    while (i >= 0 && !unitIs(full, i, [](QChar c) { return isTerminator(c) || isLineBreak(c); })) --i;
    qint64 p = i + 1;
    while (p < caret && unitIs(full, p, isSpaceOrTab)) ++p;

    const qint64 window = std::min(kCapitalWindow, POLISH_LIVE_MIN_CHARS);
    const bool russianLower =
        unitIs(full, p, [](QChar c) { return (c >= QChar(0x0430) && c <= QChar(0x044F)) || c == QChar(0x0451); });
    if (caret - p > window || !russianLower || !startsSentence(full, p)) return false;

    const QString word = full.mid(p, caret - p);
    const QString candidate = word.left(1).toUpper() + word.mid(1);
    if (candidate == word || liveCapVeto.contains(word)) return false;
    if (liveCapPut == candidate) {
        liveCapVeto.insert(word);
        logLine(QStringLiteral("polish/cap: заглавную вернули строчной — в этой фразе больше не настаиваю"));
        return false;
    }

    const std::optional<QString> now = AXText::value(el);
    if (!now || now->size() != full.size() || now->mid(p, word.size()) != word) {
        logLine(QStringLiteral("polish/cap: текст уехал, пока считали позицию — заглавную не ставлю"));
        return false;
    }

    if (!AXText::replace(el, AXRange{p, word.size()}, candidate, false, TextWriteOrigin::polish)) {
        const std::optional<AppIdentity> front = Workspace::shared().frontmostApplication();
        const std::optional<QString> bundle = front ? std::optional<QString>(front->bundleIdentifier) : std::nullopt;
        if (SystemSubstitutions::appliesSubstitutions(front) &&
            SystemSubstitutions::value(QStringLiteral("NSAutomaticSpellingCorrectionEnabled"), bundle) == true) {
            logLine(QStringLiteral("polish/cap: системное исправление включено — синтетикой не гонюсь"));
            return false;
        }
        bool typed = false;
        typed = parts_.polishTypeFix(el, *now, AXRange{p, word.size()}, caret, word, candidate, kCapTag,
                                     2 * POLISH_LIVE_MIN_CHARS, false);
        if (!typed) return false;
    }

    liveCapPut = candidate;
    liveWroteAt = Clock::shared().uptime();
    MonthlyStats::noteTextCorrection(word, candidate);
    logLine(QStringLiteral("polish/cap: заглавная в начале фразы (позиция %1)").arg(p));
    return true;
}

}  // namespace murmelo
