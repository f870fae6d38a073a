#pragma once
#include <QString>
#include <QStringList>

namespace murmelo {

// User-perceived characters (grapheme clusters): what the interface and the audits count
// as one character, so a composed emoji or a CR LF pair is one.
QStringList graphemes(const QString& text);
int graphemeCount(const QString& text);
// The first n of them (the whole text when it has fewer).
QString firstGraphemes(const QString& text, int n);

}  // namespace murmelo
