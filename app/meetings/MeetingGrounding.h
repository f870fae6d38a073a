#pragma once
#include <QString>
#include <QStringList>

namespace murmelo {

// Proper nouns of cloud notes that neither the transcript nor the glossary supports, so that
// the reader can check them. Pure text functions.
namespace MeetingGrounding {

inline constexpr int MIN_STEM = 4;

// Each once (by lower case), in the spelling and order of its first appearance.
QStringList ungrounded(const QString& notes, const QString& transcript, const QString& glossary);
QStringList properNouns(const QString& line);
// haystack: lower case.
bool isGrounded(const QString& name, const QString& haystack);

}  // namespace MeetingGrounding
}  // namespace murmelo
