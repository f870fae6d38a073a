#pragma once
#include <QByteArray>
#include <QJsonObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>

namespace murmelo {

// What the recognition server's reply becomes as dictation text: the segments joined with
// the no-speech drop, recogniser junk removed (tags, noise words, subtitle credits, stock
// closing phrases), repeated sentences collapsed, and the filler verdict. Pure functions of
// their input, fixed tables and the user's text replacements; callable from any thread.

// A segment whose no-speech probability is above this is dropped.
inline constexpr double NO_SPEECH_THOLD = 0.6;
// What the dictation history shows for a dictation that yielded nothing.
extern const QString SILENCE_MARK;
// What it shows for a reply that could not be read.
extern const QString UNREADABLE_MARK;

// The most a recognition reply may hold. Minutes of speech come back as some hundred
// kilobytes and some thousands of characters; a reply beyond either bound is refused
// rather than read, cleaned up and typed.
inline constexpr qint64 MAX_REPLY_BYTES = 2 * 1024 * 1024;
inline constexpr qsizetype MAX_REPLY_CHARACTERS = 50000;

// Replies that, normalised, are exactly one of these count as no speech.
const QSet<QString>& FILLERS();
// Literal credit phrases removed wherever they occur (case-sensitive), in this order.
const QStringList& JUNK();
// Closing phrases, information links and subtitle credits at the end of a text.
extern const QString JUNK_TAIL_RE;
extern const QString JUNK_TAIL_INFO_RE;
extern const QString JUNK_TAIL_CREDITS_RE;

// The dictation text of a reply: segments with the no-speech drop, cleaned, collapsed, and
// empty when it is a filler. Empty for bytes that are not a JSON object.
QString reassemble(const QByteArray& reply);
// Every segment's text, cleaned, without the drop, the collapse or the filler test.
QString reassembleRaw(const QByteArray& reply);
// Both readings from one parse; not readable for bytes that are not a JSON object (both
// texts are then empty).
struct ReplyReading {
    QString text;
    QString raw;
    bool readable = false;
};
ReplyReading readReply(const QByteArray& reply);
QString assembleText(const QJsonObject& reply, bool dropNoSpeech);
QString cleanText(const QString& text);
QString collapseRepeatedSentences(const QString& text);
bool isFiller(const QString& text);
bool isRepetitiveGarbage(const QString& text);

// The user's text replacements belong to the vocabulary subsystem, which binds them here;
// until it does, the reply text passes through them unchanged (and the log says so once).
struct ReplyTextServices {
    static ReplyTextServices& shared();
    std::function<QString(const QString&)> applyTextReplacements;
};

}  // namespace murmelo
