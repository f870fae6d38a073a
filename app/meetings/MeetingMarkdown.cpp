#include "meetings/MeetingMarkdown.h"

#include "base/Graphemes.h"
#include "ui/OrbShape.h"

#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace murmelo::MeetingMarkdown {
namespace {

QString trimmedBlanks(const QString& text) {
    qsizetype from = 0, to = text.size();
    while (from < to && (text[from] == QLatin1Char(' ') || text[from] == QLatin1Char('\t'))) ++from;
    while (to > from && (text[to - 1] == QLatin1Char(' ') || text[to - 1] == QLatin1Char('\t'))) --to;
    return text.mid(from, to - from);
}

bool isMetaLine(const QString& trimmed) {
    return trimmed.size() > 2 && trimmed.startsWith(QLatin1Char('_')) && trimmed.endsWith(QLatin1Char('_'));
}

// Inline marks: strong (** or __), emphasis (* or _), code spans, strike-through and links.
// A mark without its closing twin is text as written.
struct Inline {
    QString text;
    QList<QTextLayout::FormatRange> formats;
};

void readInline(const QString& source, Inline& out, const QTextCharFormat& base) {
    qsizetype i = 0;
    auto plain = [&](QChar c) { out.text += c; };
    while (i < source.size()) {
        const QChar c = source[i];
        auto span = [&](const QString& mark, const std::function<void(QTextCharFormat&)>& apply, bool nested) -> bool {
            if (!source.mid(i).startsWith(mark)) return false;
            const qsizetype close = source.indexOf(mark, i + mark.size());
            if (close <= i + mark.size()) return false;
            const QString inner = source.mid(i + mark.size(), close - i - mark.size());
            // A mark is one only when it hugs its text: "2 * 3 * 4" is arithmetic.
            if (inner.front().isSpace() || inner.back().isSpace()) return false;
            QTextCharFormat f = base;
            apply(f);
            const int start = int(out.text.size());
            if (nested) readInline(inner, out, f);
            else out.text += inner;
            out.formats.append({start, int(out.text.size()) - start, f});
            i = close + mark.size();
            return true;
        };
        if (c == QLatin1Char('\\') && i + 1 < source.size() && QStringLiteral("*_`~[]()\\").contains(source[i + 1])) {
            plain(source[i + 1]);
            i += 2;
            continue;
        }
        if (span(QStringLiteral("**"), [](QTextCharFormat& f) { f.setFontWeight(QFont::Bold); }, true)) continue;
        if (span(QStringLiteral("__"), [](QTextCharFormat& f) { f.setFontWeight(QFont::Bold); }, true)) continue;
        if (span(QStringLiteral("~~"), [](QTextCharFormat& f) { f.setFontStrikeOut(true); }, true)) continue;
        if (span(QStringLiteral("`"), [](QTextCharFormat& f) { f.setFontFixedPitch(true); f.setFontFamilies({QStringLiteral("monospace")}); }, false)) continue;
        if (span(QStringLiteral("*"), [](QTextCharFormat& f) { f.setFontItalic(true); }, true)) continue;
        // Emphasis with "_" only at a word's edge, so that snake_case stays as written.
        if (c == QLatin1Char('_') && (i == 0 || !source[i - 1].isLetterOrNumber()) &&
            span(QStringLiteral("_"), [](QTextCharFormat& f) { f.setFontItalic(true); }, true))
            continue;
        if (c == QLatin1Char('[')) {
            const qsizetype close = source.indexOf(QStringLiteral("]("), i + 1);
            const qsizetype end = close < 0 ? -1 : source.indexOf(QLatin1Char(')'), close + 2);
            if (close > i && end > close) {
                QTextCharFormat f = base;
                f.setFontUnderline(true);
                f.setAnchor(true);
                f.setAnchorHref(source.mid(close + 2, end - close - 2));
                const int start = int(out.text.size());
                readInline(source.mid(i + 1, close - i - 1), out, f);
                out.formats.append({start, int(out.text.size()) - start, f});
                i = end + 1;
                continue;
            }
        }
        plain(c);
        ++i;
    }
}

}  // namespace

QList<Block> parse(const QString& text) {
    QList<Block> blocks;
    for (const QString& raw : text.split(QLatin1Char('\n'))) {
        const QString line = trimmedBlanks(raw);
        if (line.isEmpty()) continue;
        if (line.startsWith(QLatin1Char('#'))) {
            qsizetype at = 0;
            while (at < line.size() && (line[at] == QLatin1Char('#') || line[at] == QLatin1Char(' '))) ++at;
            if (at < line.size()) blocks.append({Block::Kind::heading, line.mid(at)});
        } else if (line.startsWith(QStringLiteral("> "))) {
            blocks.append({Block::Kind::quote, line.mid(2)});
        } else if (line.startsWith(QStringLiteral("- "))) {
            blocks.append({Block::Kind::bullet, line.mid(2)});
        } else if (raw.startsWith(QStringLiteral("  ")) && !blocks.isEmpty() && blocks.last().kind == Block::Kind::bullet) {
            blocks.last().text += QLatin1Char('\n') + line;
        } else if (isMetaLine(line)) {
            blocks.append({Block::Kind::meta, line.mid(1, line.size() - 2)});
        } else {
            blocks.append({Block::Kind::text, line});
        }
    }
    return blocks;
}

QString withoutFileHeader(const QString& text) {
    QStringList lines = text.split(QLatin1Char('\n'));
    while (!lines.isEmpty()) {
        const QString first = trimmedBlanks(lines.first());
        if (!first.isEmpty() && !first.startsWith(QStringLiteral("# ")) && !isMetaLine(first)) break;
        lines.removeFirst();
    }
    return lines.join(QLatin1Char('\n'));
}

QTextCharFormat Styled::formatAt(int position) const {
    QTextCharFormat f;
    for (const auto& r : formats)
        if (position >= r.start && position < r.start + r.length) f.merge(r.format);
    return f;
}

Styled styled(const QString& text, const QFont& font, const QColor& color, const QSet<QString>& highlight,
              const QColor& accent) {
    QTextCharFormat base;
    base.setFont(font);
    base.setForeground(color);
    Inline read;
    readInline(text, read, base);
    Styled out;
    out.text = read.text;
    out.formats.append({0, int(out.text.size()), base});
    out.formats += read.formats;

    static const QRegularExpression times(QStringLiteral("\\(\\d{1,2}:\\d{2}(:\\d{2})?\\)"));
    for (auto it = times.globalMatch(out.text); it.hasNext();) {
        const auto m = it.next();
        QTextCharFormat f;
        f.setForeground(accent);
        out.formats.append({int(m.capturedStart()), int(m.capturedLength()), f});
    }
    const QColor orange = OrbColors::orange();
    QColor wash = orange;
    wash.setAlphaF(0.28f);
    for (const QString& word : highlight) {
        if (graphemeCount(word) < 3) continue;
        for (qsizetype at = out.text.indexOf(word, 0, Qt::CaseInsensitive); at >= 0;
             at = out.text.indexOf(word, at + word.size(), Qt::CaseInsensitive)) {
            QTextCharFormat f;
            f.setForeground(orange);
            f.setBackground(wash);
            out.formats.append({int(at), int(word.size()), f});
        }
    }
    return out;
}

}  // namespace murmelo::MeetingMarkdown

namespace murmelo {

namespace {

void insertStyled(QTextCursor& cursor, const MeetingMarkdown::Styled& s) {
    // Line feeds inside a block stay lines of that block.
    QString text = s.text;
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    for (int i = 0; i < text.size(); ++i) {
        int j = i + 1;
        const QTextCharFormat f = s.formatAt(i);
        while (j < text.size() && s.formatAt(j) == f) ++j;
        cursor.insertText(text.mid(i, j - i), f);
        i = j - 1;
    }
}

}  // namespace

MeetingMarkdownView::MeetingMarkdownView(const QString& text, const Water& w, const QSet<QString>& highlight,
                                         QWidget* parent)
    : QTextBrowser(parent) {
    setReadOnly(true);
    setOpenLinks(false);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setFrameShape(QFrame::NoFrame);
    setMeetingText(text, w, highlight);
}

void MeetingMarkdownView::setMeetingText(const QString& text, const Water& w, const QSet<QString>& highlight) {
    using Kind = MeetingMarkdown::Block::Kind;
    document()->clear();
    QTextCursor cursor(document());
    bool first = true;
    for (const MeetingMarkdown::Block& block : MeetingMarkdown::parse(text)) {
        QTextBlockFormat format;
        QTextCharFormat plain;
        switch (block.kind) {
        case Kind::heading:
            format.setTopMargin(first ? 0 : 20);
            format.setBottomMargin(6);
            break;
        case Kind::bullet:
        case Kind::text:
            format.setBottomMargin(9);
            break;
        case Kind::quote:
            format.setLeftMargin(10);
            format.setBottomMargin(8);
            break;
        case Kind::meta:
            format.setBottomMargin(8);
            break;
        }
        if (first) cursor.setBlockFormat(format);
        else cursor.insertBlock(format);
        switch (block.kind) {
        case Kind::heading:
            plain.setFont(F::small());
            plain.setFontLetterSpacingType(QFont::AbsoluteSpacing);
            plain.setFontLetterSpacing(0.7);
            plain.setForeground(w.cap());
            cursor.insertText(block.text.toUpper(), plain);
            break;
        case Kind::bullet: {
            QTextCharFormat mark;
            mark.setFont(F::text());
            mark.setForeground(w.acc());
            cursor.insertText(QStringLiteral("•  "), mark);
            insertStyled(cursor, MeetingMarkdown::styled(block.text, F::text(), w.ink(), highlight, w.acc()));
            break;
        }
        case Kind::quote:
            insertStyled(cursor, MeetingMarkdown::styled(block.text, F::sec(), w.cap(), highlight, w.acc()));
            break;
        case Kind::meta:
            plain.setFont(F::sec());
            plain.setFontItalic(true);
            plain.setForeground(w.cap());
            cursor.insertText(block.text, plain);
            break;
        case Kind::text:
            insertStyled(cursor, MeetingMarkdown::styled(block.text, F::text(), w.ink(), highlight, w.acc()));
            break;
        }
        first = false;
    }
}

}  // namespace murmelo
