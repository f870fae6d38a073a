#pragma once
#include "ui/Water.h"

#include <QColor>
#include <QFont>
#include <QList>
#include <QSet>
#include <QString>
#include <QTextBrowser>
#include <QTextLayout>

namespace murmelo {

// The small Markdown of the meeting texts (transcript, notes, summary): headings, bullets with
// continuation lines, quotes, italic meta lines and plain paragraphs, with inline emphasis.
// Our own inline reader: a general Markdown import would turn "1. First" into a list.
namespace MeetingMarkdown {

struct Block {
    enum class Kind { heading, bullet, quote, meta, text };
    Kind kind = Kind::text;
    QString text;
    bool operator==(const Block&) const = default;
};

QList<Block> parse(const QString& text);
// Without the heading, details line and blank lines the notes writer puts first.
QString withoutFileHeader(const QString& text);

// A block's text with its inline marks read, in the font and colour given; times in
// parentheses take the accent, the highlighted words are marked in orange.
struct Styled {
    QString text;
    QList<QTextLayout::FormatRange> formats;  // in order of application: later ones win
    // The character format in effect at a position, all ranges applied.
    QTextCharFormat formatAt(int position) const;
};
Styled styled(const QString& text, const QFont& font, const QColor& color, const QSet<QString>& highlight,
              const QColor& accent);

}  // namespace MeetingMarkdown

// The read-only, selectable rendering of a meeting text.
class MeetingMarkdownView : public QTextBrowser {
public:
    MeetingMarkdownView(const QString& text, const Water& w, const QSet<QString>& highlight, QWidget* parent = nullptr);
    // Shows another text (QWidget::show keeps its meaning).
    void setMeetingText(const QString& text, const Water& w, const QSet<QString>& highlight);
};

}  // namespace murmelo
