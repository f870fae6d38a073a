#pragma once
#include <QString>
#include <QStringList>

namespace murmelo {

// Two pure checks on model output that screen reply and Quick Actions share: a model-given
// title made fit to show, and the numbers a model wrote that its source never had.
namespace QuickReplyCoordinator {

// Titles that say nothing, compared with the lower-cased title.
inline const QStringList genericTitles = {QStringLiteral("готов ответ"), QStringLiteral("ответ готов"),
                                          QStringLiteral("answer ready"), QStringLiteral("done"),
                                          QStringLiteral("готово")};

// The first non-empty line with its white space collapsed, cut to 80 characters; the
// fallback when that is empty or generic.
QString normalizedDisplayTitle(const QString& title, const QString& fallback);

// The numbers of the generated text that the source does not hold, normalised (lower case,
// no U+0020, no English ordinal suffix), each once, sorted as plain strings.
QStringList unsupportedNumbers(const QString& generated, const QString& source);

}  // namespace QuickReplyCoordinator
}  // namespace murmelo
