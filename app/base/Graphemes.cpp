#include "base/Graphemes.h"

#include <QTextBoundaryFinder>

namespace murmelo {

QStringList graphemes(const QString& text) {
    QStringList out;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    for (qsizetype end = finder.toNextBoundary(); end != -1; end = finder.toNextBoundary()) {
        if (end > start) out << text.mid(start, end - start);
        start = end;
    }
    return out;
}

int graphemeCount(const QString& text) {
    int n = 0;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    for (qsizetype end = finder.toNextBoundary(); end != -1; end = finder.toNextBoundary()) {
        if (end > start) ++n;
        start = end;
    }
    return n;
}

QString firstGraphemes(const QString& text, int n) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    while (count < n && finder.toNextBoundary() != -1) ++count;
    return count < n ? text : text.left(finder.position());
}

}  // namespace murmelo
