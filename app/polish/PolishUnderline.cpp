#include "polish/PolishUnderline.h"

#include "base/Defaults.h"
#include "base/Geometry.h"
#include "base/Graphemes.h"
#include "base/Log.h"
#include "input/AXText.h"
#include "platform/MainQueue.h"
#include "platform/Workspace.h"
#include "polish/PolishKnownWords.h"
#include "polish/PunctuationMerge.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QRegion>
#include <QScreen>
#include <QSet>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <cmath>

namespace murmelo::PolishUnderline {
namespace {

struct State {
    std::vector<Mark> marks;
    int nextID = 0;
    AXElementPtr element;
    std::vector<QPointer<MarkView>> panels;
    TimerHandle ticker;
    QSet<QString> noBoundsSaid;
    // The field's value at the last reading: marks follow their text from it.
    std::optional<QString> seenValue;
};

State& state() {
    static State s;
    return s;
}

double now() { return Clock::shared().uptime(); }

bool sameElement(const AXElementPtr& a, const AXElementPtr& b) {
    if (!a || !b) return a == b;
    return a == b || Accessibility::shared().sameElement(*a, *b);
}

bool isWordCharacter(const QString& character) {
    if (character.isEmpty()) return false;
    const char32_t first = character.toUcs4().value(0);
    return QChar::isLetterOrNumber(first) || first == U'-' || first == U'\'';
}

QString nfc(const QString& s) { return s.normalized(QString::NormalizationForm_C); }

// UTF-16 offsets of each character boundary: offsets[i] is where character i starts.
std::vector<qsizetype> offsetsOf(const QStringList& chars) {
    std::vector<qsizetype> out(chars.size() + 1, 0);
    for (qsizetype i = 0; i < chars.size(); ++i) out[i + 1] = out[i] + chars.at(i).size();
    return out;
}

QString joined(const QStringList& chars, qsizetype from, qsizetype to) {
    QString out;
    for (qsizetype i = from; i < to; ++i) out += chars.at(i);
    return out;
}

QStringList normalisedWords(const QString& text) {
    QStringList out;
    for (const PunctuationMerge::Word& w : PunctuationMerge::words(text))
        out << w.text.toLower().replace(QChar(0x0451), QChar(0x0435));
    return out;
}

struct Span {
    qsizetype a0, a1, b0, b1;
};

bool atCharacterBoundary(const QString& value, qsizetype pos) {
    if (pos <= 0 || pos >= value.size()) return pos == 0 || pos == value.size();
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, value);
    finder.setPosition(pos);
    return finder.isAtBoundary();
}

// The mark's text stands at its range, on whole characters.
bool standsAt(const QString& value, const Mark& m) {
    const qsizetype end = m.range.location + m.range.length;
    if (m.range.location < 0 || end > value.size()) return false;
    if (QStringView(value).mid(m.range.location, m.range.length) != m.text) return false;
    return atCharacterBoundary(value, m.range.location) && atCharacterBoundary(value, end);
}

std::optional<qsizetype> caretOf(const AXElementPtr& el) {
    const std::optional<AXRange> sel = AXText::selectedRange(el);
    if (!sel || sel->length != 0) return std::nullopt;
    return sel->location;
}

// Moves the marks that were seen from the last reading to this one; drops those whose own
// occurrence cannot be told.
void followTo(const QString& value) {
    State& s = state();
    if (s.seenValue && *s.seenValue != value) {
        const std::optional<qsizetype> caret = caretOf(s.element);
        std::vector<Mark> kept;
        for (Mark m : s.marks) {
            if (m.seen) {
                const std::optional<AXRange> moved = follow(m.range, *s.seenValue, value, caret);
                if (!moved) continue;
                m.range = *moved;
            }
            kept.push_back(m);
        }
        s.marks = std::move(kept);
    }
    s.seenValue = value;
}

void refresh();

void startTicking() {
    State& s = state();
    if (s.ticker.isValid()) return;
    s.ticker = MainQueue::shared().after(TICK, [] {
        State& st = state();
        st.ticker.reset();
        refresh();
        if (!st.marks.empty()) startTicking();
    });
}

QString frontName() {
    const std::optional<AppIdentity> front = Workspace::shared().frontmostApplication();
    return front && !front->localizedName.isEmpty() ? front->localizedName : QStringLiteral("?");
}

void hidePanels() {
    for (const QPointer<MarkView>& p : state().panels)
        if (p) p->hide();
}

void draw(const std::vector<std::pair<Mark, QRectF>>& items) {
    QScreen* screen = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? QGuiApplication::primaryScreen()
                                                                                    : nullptr;
    if (!screen) return;
    const QRect g = screen->geometry();
    const double top = g.y() + g.height();
    State& s = state();
    s.panels.erase(std::remove_if(s.panels.begin(), s.panels.end(), [](const QPointer<MarkView>& p) { return !p; }),
                   s.panels.end());
    while (s.panels.size() < items.size()) s.panels.emplace_back(new MarkView);
    for (size_t i = 0; i < items.size(); ++i) {
        MarkView* view = s.panels[i];
        placePanel(*view, items[i].second, top);
        view->markID = items[i].first.id;
        view->update();
        if (!view->isVisible()) view->show();
        view->raise();
    }
    for (size_t i = items.size(); i < s.panels.size(); ++i)
        if (s.panels[i]) s.panels[i]->hide();
}

void refresh() {
    State& s = state();
    if (!s.element) {
        clear();
        return;
    }
    const std::optional<QString> value = AXText::value(s.element);
    if (!value) {
        clear();
        return;
    }
    const double t = now();
    followTo(*value);
    std::vector<Mark> kept;
    for (Mark m : s.marks) {
        if (standsAt(*value, m)) {
            m.seen = true;
            kept.push_back(m);
        } else if (!m.seen && t - m.born < LANDING_WAIT) {
            kept.push_back(m);  // its keys may not have landed yet
        }
    }
    if (kept.size() > size_t(MAX_MARKS)) kept.erase(kept.begin(), kept.end() - MAX_MARKS);
    s.marks = std::move(kept);
    if (s.marks.empty()) {
        clear();
        return;
    }
    std::vector<std::pair<Mark, QRectF>> items;
    bool young = false;
    for (const Mark& m : s.marks) {
        if (!m.seen || t - m.born >= SHOWN_FOR) continue;
        young = true;
        const std::optional<QRectF> r = AXText::bounds(s.element, m.range);
        if (r && r->width() > 0.5 && r->height() > 0.5) items.emplace_back(m, *r);
    }
    if (!items.empty()) {
        draw(items);
        return;
    }
    hidePanels();
    if (young) {
        const QString name = frontName();
        if (!s.noBoundsSaid.contains(name)) {
            s.noBoundsSaid.insert(name);
            logLine(QStringLiteral("polish/underline: ") + name +
                    QStringLiteral(" не отдаёт координаты текста — подчёркивать нечем (правка при этом поставлена)"));
        }
    }
}

Mark* findMark(int id) {
    for (Mark& m : state().marks)
        if (m.id == id) return &m;
    return nullptr;
}

void removeMark(int id) {
    auto& marks = state().marks;
    marks.erase(std::remove_if(marks.begin(), marks.end(), [id](const Mark& m) { return m.id == id; }), marks.end());
}

}  // namespace

bool isEnabled() {
    const std::optional<bool> on = Defaults::shared().realBool(QStringLiteral("polishUnderline"));
    return on.value_or(true);
}

std::vector<Change> changes(const QString& before, const QString& after) {
    const QStringList A = graphemes(before), B = graphemes(after);
    const qsizetype n = A.size(), m = B.size();
    if (m == 0) return {};
    if (n == 0) return {Change{AXRange{0, after.size()}, AXRange{0, 0}}};
    QStringList a, b;
    for (const QString& c : A) a << nfc(c);
    for (const QString& c : B) b << nfc(c);

    std::vector<int> L(size_t((n + 1) * (m + 1)), 0);
    auto at = [&](qsizetype i, qsizetype j) -> int& { return L[size_t(i * (m + 1) + j)]; };
    for (qsizetype i = n - 1; i >= 0; --i)
        for (qsizetype j = m - 1; j >= 0; --j)
            at(i, j) = a.at(i) == b.at(j) ? at(i + 1, j + 1) + 1 : std::max(at(i + 1, j), at(i, j + 1));

    std::vector<Span> spans;
    std::optional<std::pair<qsizetype, qsizetype>> open;
    qsizetype i = 0, j = 0;
    while (true) {
        if (i < n && j < m && a.at(i) == b.at(j)) {
            if (open) {
                spans.push_back({open->first, i, open->second, j});
                open.reset();
            }
            ++i, ++j;
            continue;
        }
        if (i == n && j == m) break;
        if (!open) open = std::make_pair(i, j);
        if (j < m && i == n) ++j;
        else if (j < m && i < n) {
            if (at(i + 1, j) < at(i, j + 1)) ++j;
            else ++i;
        } else ++i;
    }
    if (open) spans.push_back({open->first, n, open->second, m});

    for (Span& s : spans) {
        if (s.b0 == s.b1) {
            if (s.b0 < m) ++s.a1, ++s.b1;
            else if (s.b0 > 0) --s.a0, --s.b0;
        }
        while (s.b0 >= 1 && s.a0 >= 1 && isWordCharacter(B.at(s.b0 - 1)) && isWordCharacter(A.at(s.a0 - 1))) --s.b0, --s.a0;
        while (s.b1 < m && s.a1 < n && isWordCharacter(B.at(s.b1)) && isWordCharacter(A.at(s.a1))) ++s.b1, ++s.a1;
    }
    std::stable_sort(spans.begin(), spans.end(), [](const Span& x, const Span& y) { return x.b0 < y.b0; });

    std::vector<Span> merged;
    for (const Span& s : spans) {
        if (merged.empty()) {
            merged.push_back(s);
            continue;
        }
        Span& last = merged.back();
        const qsizetype g = s.b0 - last.b1;
        bool join = g <= 0;
        if (g >= 1 && g <= 3) {
            join = true;
            for (qsizetype k = last.b1; k < s.b0; ++k)
                if (QStringView(B.at(k)).trimmed().isEmpty()) join = false;
        }
        if (!join) {
            merged.push_back(s);
            continue;
        }
        last.a1 = std::max(last.a1, s.a1);
        last.b1 = std::max(last.b1, s.b1);
    }

    const std::vector<qsizetype> offA = offsetsOf(A), offB = offsetsOf(B);
    std::vector<Change> out;
    for (const Span& s : merged) {
        if (normalisedWords(joined(B, s.b0, s.b1)) == normalisedWords(joined(A, s.a0, s.a1))) continue;
        const qsizetype bLoc = offB[size_t(s.b0)], bEnd = offB[size_t(s.b1)];
        const qsizetype aLoc = offA[size_t(s.a0)], aEnd = offA[size_t(s.a1)];
        if (bEnd == bLoc || bEnd > after.size() || aEnd < aLoc || aEnd > before.size()) continue;
        out.push_back(Change{AXRange{bLoc, bEnd - bLoc}, AXRange{aLoc, aEnd - aLoc}});
    }
    return out;
}

std::vector<AXRange> changedSpans(const QString& before, const QString& after) {
    std::vector<AXRange> out;
    for (const Change& c : changes(before, after)) out.push_back(c.after);
    return out;
}

void show(const AXElementPtr& el, qsizetype base, const QString& before, const QString& after) {
    if (!isEnabled()) return;
    const std::vector<Change> found = changes(before, after);
    if (found.empty()) return;
    State& s = state();
    if (s.element && !sameElement(s.element, el)) clear();
    s.element = el;
    // The marks already there follow the write that just happened before new ones join them.
    if (!s.marks.empty())
        if (const std::optional<QString> value = AXText::value(el)) followTo(*value);
    const double t = now();
    int made = 0;
    for (const Change& c : found) {
        if (made == MARKS_PER_SHOW) break;
        ++made;
        if (after.size() < c.after.location + c.after.length || before.size() < c.before.location + c.before.length)
            continue;
        Mark m;
        m.id = ++s.nextID;
        m.range = AXRange{base + c.after.location, c.after.length};
        m.text = after.mid(c.after.location, c.after.length);
        m.was = before.mid(c.before.location, c.before.length);
        m.born = t;
        s.marks.push_back(m);
    }
    if (s.marks.empty()) return;
    startTicking();
    refresh();
}

void clear() {
    State& s = state();
    s.ticker.cancel();
    s.ticker.reset();
    s.marks.clear();
    s.element.reset();
    s.seenValue.reset();
    // A panel may be the one whose click is being handled: it goes when that is over.
    for (const QPointer<MarkView>& p : s.panels)
        if (p) {
            p->hide();
            p->deleteLater();
        }
    s.panels.clear();
}

void revertLast() {
    const std::vector<Mark>& marks = state().marks;
    if (marks.empty()) {
        logLine(QStringLiteral("polish/undo: свежих правок нет — отменять нечего"));
        return;
    }
    const Mark* pick = &marks.front();
    for (const Mark& m : marks)
        if (m.born > pick->born) pick = &m;
    revert(pick->id);
}

void revert(int id) {
    State& s = state();
    if (!s.element || !findMark(id)) return;
    const std::optional<QString> value = AXText::value(s.element);
    // The mark is moved to where its own occurrence stands now, never to another one.
    if (value) followTo(*value);
    Mark* m = findMark(id);
    if (!value || !m || !standsAt(*value, *m)) {
        logLine(QStringLiteral("polish/undo: текст под правкой уже другой — отменять нечего"));
        removeMark(id);
        refresh();
        return;
    }
    const Mark mark = *m;
    if (!AXText::replace(s.element, mark.range, mark.was, true, TextWriteOrigin::polishRollback)) {
        logLine(QStringLiteral("polish/undo: поле не приняло возврат"));
        return;
    }
    const std::optional<QString> after = AXText::value(s.element);
    if (after) PolishKnownWords::polishLearnException(wordAround(*after, mark.range.location));
    logLine(QStringLiteral("polish/undo: ") + priv(mark.text) + QStringLiteral(" -> ") + priv(mark.was) +
            QStringLiteral(" (диапазон %1)").arg(mark.range.location));
    removeMark(id);
    const qsizetype delta = mark.was.size() - mark.text.size();
    for (Mark& other : s.marks)
        if (other.range.location > mark.range.location) other.range.location += delta;
    // The marks were just moved by hand: the next reading starts from here.
    s.seenValue = after;
    refresh();
}

QString wordAround(const QString& text, qsizetype at) {
    if (text.isEmpty()) return {};
    const QStringList chars = graphemes(text);
    const std::vector<qsizetype> offsets = offsetsOf(chars);
    const qsizetype pos = std::clamp<qsizetype>(at, 0, text.size() - 1);
    // The character that holds the position.
    qsizetype k = qsizetype(std::upper_bound(offsets.begin(), offsets.end(), pos) - offsets.begin()) - 1;
    if (k < 0 || k >= chars.size() || !isWordCharacter(chars.at(k))) return {};
    qsizetype from = k, to = k + 1;
    while (from > 0 && isWordCharacter(chars.at(from - 1))) --from;
    while (to < chars.size() && isWordCharacter(chars.at(to))) ++to;
    return text.mid(offsets[size_t(from)], offsets[size_t(to)] - offsets[size_t(from)]);
}

std::optional<AXRange> follow(AXRange range, const QString& old, const QString& now, std::optional<qsizetype> caret) {
    if (old == now) return range;
    const qsizetype oldLen = old.size(), newLen = now.size(), minLen = std::min(oldLen, newLen);
    qsizetype p = 0;
    while (p < minLen && old.at(p) == now.at(p)) ++p;
    qsizetype sfx = 0;
    while (sfx < minLen && old.at(oldLen - 1 - sfx) == now.at(newLen - 1 - sfx)) ++sfx;
    const qsizetype d = newLen - oldLen;
    const qsizetype a = range.location, b = range.location + range.length;
    std::optional<qsizetype> moved;
    if (p + sfx >= minLen) {
        // One run typed or erased; where it went is known only up to a stretch of repeated text.
        const qsizetype erased = std::max<qsizetype>(0, -d);
        const qsizetype kMin = minLen - sfx, kMax = p;
        auto place = [&](qsizetype k) -> std::optional<qsizetype> {
            if (b <= k) return a;
            if (a >= k + erased) return a + d;
            return std::nullopt;
        };
        if (b <= kMin) moved = a;
        else if (a >= kMax + erased) moved = a + d;
        else if (caret) {
            const qsizetype k = d > 0 ? *caret - d : *caret;
            if (k >= kMin && k <= kMax) moved = place(k);
        }
    } else {
        if (b <= p) moved = a;
        else if (a >= oldLen - sfx) moved = a + d;
    }
    if (!moved || std::abs(*moved - a) > FOLLOW_WINDOW) return std::nullopt;
    return AXRange{*moved, range.length};
}

void placePanel(MarkView& view, const QRectF& wordRect, double top) {
    view.setGeometry(toQtRect(panelFrame(wordRect, top), top).toAlignedRect());
    // Only the strip under the word is the window's: the word itself stays the application's
    // to click, and a desktop without a compositor shows no box over it.
    const int strip = int(std::ceil(STRIP));
    view.setMask(QRegion(0, view.height() - strip, view.width(), strip));
}

QRectF panelFrame(const QRectF& wordRect, double top) {
    return QRectF(wordRect.x(), top - (wordRect.y() + wordRect.height()) - STRIP, wordRect.width(),
                  wordRect.height() + STRIP);
}

const std::vector<Mark>& marks() { return state().marks; }

std::vector<QWidget*> visiblePanels() {
    std::vector<QWidget*> out;
    for (const QPointer<MarkView>& p : state().panels)
        if (p && p->isVisible()) out.push_back(p);
    return out;
}

void resetForTesting() {
    clear();
    state().nextID = 0;
    state().noBoundsSaid.clear();
}

MarkView::MarkView(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus |
                          Qt::NoDropShadowWindowHint | Qt::X11BypassWindowManagerHint) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
}

void MarkView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QColor colour = palette().color(QPalette::Highlight);
    colour.setAlphaF(hot ? 1.0f : 0.85f);
    const double h = hot ? 3 : 2;
    // The line sits one point above the bottom edge (the model counts y upwards).
    const QRectF line(0, height() - 1 - h, width(), h);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawRoundedRect(line, h / 2, h / 2);
}

void MarkView::enterEvent(QEnterEvent*) {
    hot = true;
    update();
}

void MarkView::leaveEvent(QEvent*) {
    hot = false;
    update();
}

void MarkView::mousePressEvent(QMouseEvent*) {
    logLine(QStringLiteral("polish/undo: клик по подчёркиванию"));
    revert(markID);
}

}  // namespace murmelo::PolishUnderline
