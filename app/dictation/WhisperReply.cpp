#include "dictation/WhisperReply.h"

#include "base/Graphemes.h"
#include "base/Log.h"
#include "base/Regex.h"
#include "platform/Service.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <atomic>

namespace murmelo {

const QString SILENCE_MARK = QStringLiteral("·  (тишина / ничего не распознано)");
const QString UNREADABLE_MARK = QStringLiteral("·  (ответ распознавания не прочитан)");

const QSet<QString>& FILLERS() {
    static const QSet<QString> set{
        QStringLiteral("thank you"), QStringLiteral("thank you."), QStringLiteral("thanks"),
        QStringLiteral("thanks."), QStringLiteral("thanks for watching"), QStringLiteral("you"),
        QStringLiteral("you."), QStringLiteral("bye"), QStringLiteral("bye."), QStringLiteral("."),
        QStringLiteral("..."), QStringLiteral("♪"), QStringLiteral("спасибо"), QStringLiteral("спасибо."),
        QStringLiteral("спасибо за просмотр"), QStringLiteral("спасибо за внимание"),
        QStringLiteral("продолжение следует"), QStringLiteral("продолжение следует."),
        QStringLiteral("субтитры"), QStringLiteral("субтитры."),
    };
    return set;
}

const QStringList& JUNK() {
    // The first two are one subtitle author's credit name, as recognisers trained on
    // subtitled video reproduce it on silence.
    static const QStringList list{
        QStringLiteral("DimaTorzok"),         QStringLiteral("Dima Torzok"),
        QStringLiteral("Субтитры создавал"),  QStringLiteral("Субтитры сделал"),
        QStringLiteral("Субтитры делал"),     QStringLiteral("Субтитры подготовил"),
        QStringLiteral("Редактор субтитров"), QStringLiteral("Добавил субтитры"),
        QStringLiteral("Subtitles by"),
    };
    return list;
}

const QString JUNK_TAIL_RE = QStringLiteral(
    "(?i)\\s*(спасибо за просмотр|спасибо за внимание|продолжение следует|thanks for watching)[.!…]*\\s*$");
const QString JUNK_TAIL_INFO_RE = QStringLiteral(
    "(?i)\\s*(for more information\\s*,?\\s*(please\\s+)?visit|learn more at|more information is available at)"
    "\\s+(https?://|www\\.)?\\S+[.!…]*\\s*$");
// Only the credit words ignore case. The name parts keep theirs, so that a capitalised
// name is what makes a credit: "Субтитры: Иванов" goes, while "включи субтитры пожалуйста"
// and "нужен корректор текста" are ordinary speech and stay.
const QString JUNK_TAIL_CREDITS_RE = QStringLiteral(
    "\\s*([А-ЯЁ]\\.\\s*[А-ЯЁ][а-яё]+\\s+)?(?i:(редактор субтитров|корректор|субтитры))\\s*[:—-]?\\s*"
    "([А-ЯЁ]\\.\\s*)?[А-ЯЁ][а-яё]+\\s*$");

ReplyTextServices& ReplyTextServices::shared() { return sharedService<ReplyTextServices>(); }

namespace {

QString applyReplacements(const QString& text) {
    const auto& apply = ReplyTextServices::shared().applyTextReplacements;
    if (apply) return apply(text);
    static std::atomic<bool> said{false};
    if (!said.exchange(true))
        logLine(QStringLiteral("текстовые замены: не подключены в этой сборке — текст распознавания идёт без них"));
    return text;
}

QString trimmed(const QString& s) { return s.trimmed(); }

bool isTerminator(const QString& g) {
    return g == QLatin1String(".") || g == QLatin1String("!") || g == QLatin1String("?") || g == QStringLiteral("…");
}

bool isWhite(const QString& g) {
    for (QChar c : g)
        if (!c.isSpace()) return false;
    return !g.isEmpty();
}

QStringList splitSentences(const QString& text) {
    const QStringList chars = graphemes(text);
    QStringList sentences;
    QString current;
    const qsizetype n = chars.size();
    qsizetype i = 0;
    while (i < n) {
        current += chars[i];
        if (!isTerminator(chars[i])) {
            ++i;
            continue;
        }
        ++i;
        while (i < n && isTerminator(chars[i])) current += chars[i++];
        if (i == n || isWhite(chars[i])) {
            while (i < n && isWhite(chars[i])) current += chars[i++];
            sentences << current;
            current.clear();
        }
    }
    if (!current.isEmpty()) sentences << current;
    return sentences;
}

bool isNormEdge(QChar c) {
    return c.isSpace() || c == u'.' || c == u'!' || c == u'?' || c == u'…' || c == u',' || c == u';' || c == u':';
}

QString norm(const QString& sentence) {
    const QString lower = sentence.toLower();
    qsizetype a = 0, b = lower.size();
    while (a < b && isNormEdge(lower[a])) ++a;
    while (b > a && isNormEdge(lower[b - 1])) --b;
    return lower.mid(a, b - a).simplified();
}

int wordCount(const QString& normed) { return int(normed.split(u' ', Qt::SkipEmptyParts).size()); }

bool blockPass(QStringList& s) {
    const qsizetype n = s.size();
    for (qsizetype k = n / 2; k >= 1; --k) {
        QStringList last, previous;
        int words = 0;
        for (qsizetype i = n - k; i < n; ++i) {
            last << norm(s[i]);
            words += wordCount(last.back());
        }
        if (words < 4) continue;
        for (qsizetype i = n - 2 * k; i < n - k; ++i) previous << norm(s[i]);
        if (last.join(u' ') == previous.join(u' ')) {
            s.remove(n - k, k);
            return true;
        }
    }
    return false;
}

bool neighbourPass(QStringList& s) {
    for (qsizetype i = 1; i < s.size(); ++i) {
        const QString here = norm(s[i]);
        if (wordCount(here) >= 4 && here == norm(s[i - 1])) {
            s.removeAt(i);
            return true;
        }
    }
    return false;
}

bool echoPass(QStringList& s) {
    const QString last = norm(s.back());
    if (wordCount(last) < 4) return false;
    for (qsizetype i = 0; i + 1 < s.size(); ++i) {
        if (norm(s[i]) == last) {
            s.removeLast();
            return true;
        }
    }
    return false;
}

std::optional<QJsonObject> parseObject(const QByteArray& reply) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(reply, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    return doc.object();
}

}  // namespace

QString cleanText(const QString& text) {
    QString t = text;
    t = Regex::compile(QStringLiteral("\\[[^\\]]*\\]")).replace(t, QString());
    t = Regex::compile(QStringLiteral(
                           "(?i)\\((музыка[^)]*|смех|аплодисменты|шум[^)]*|звук[^)]*|вздох|кашель|music|laughter|"
                           "applause|noise|inaudible|неразборчиво)\\)"))
            .replace(t, QString());
    for (const QString& junk : JUNK()) t.remove(junk, Qt::CaseSensitive);
    for (const QString* tail : {&JUNK_TAIL_RE, &JUNK_TAIL_INFO_RE, &JUNK_TAIL_CREDITS_RE})
        t = Regex::compile(*tail).replace(t, QString());
    t = applyReplacements(t);
    t = Regex::compile(QStringLiteral("\\s+")).replace(t, QStringLiteral(" "));
    t = trimmed(t);
    if (!Regex::compile(QStringLiteral("[\\p{L}\\p{N}]")).contains(t)) return QString();
    return t;
}

QString assembleText(const QJsonObject& reply, bool dropNoSpeech) {
    const QJsonValue segmentsValue = reply.value(QStringLiteral("segments"));
    bool segmentsAreObjects = segmentsValue.isArray();
    if (segmentsAreObjects)
        for (const QJsonValue& v : segmentsValue.toArray()) segmentsAreObjects = segmentsAreObjects && v.isObject();
    if (segmentsAreObjects) {
        QString full, kept;
        for (const QJsonValue& v : segmentsValue.toArray()) {
            const QJsonObject segment = v.toObject();
            const QJsonValue textValue = segment.value(QStringLiteral("text"));
            const QString segmentText = textValue.isString() ? textValue.toString() : QString();
            full += segmentText;
            const QJsonValue noSpeech = segment.value(QStringLiteral("no_speech_prob"));
            const bool drop = dropNoSpeech && noSpeech.isDouble() && noSpeech.toDouble() > NO_SPEECH_THOLD;
            if (!drop) kept += segmentText;
        }
        // A reply that is all no-speech still yields its words; the drop only thins out a
        // reply that has other speech.
        return cleanText(trimmed(kept).isEmpty() ? full : kept);
    }
    const QJsonValue textValue = reply.value(QStringLiteral("text"));
    if (textValue.isString()) return cleanText(textValue.toString());
    return QString();
}

namespace {

QString delivered(const QJsonObject& object) {
    const QString text = collapseRepeatedSentences(assembleText(object, true));
    return isFiller(text) ? QString() : text;
}

}  // namespace

QString reassemble(const QByteArray& reply) {
    const auto object = parseObject(reply);
    return object ? delivered(*object) : QString();
}

QString reassembleRaw(const QByteArray& reply) {
    const auto object = parseObject(reply);
    return object ? assembleText(*object, false) : QString();
}

ReplyReading readReply(const QByteArray& reply) {
    const auto object = parseObject(reply);
    if (!object) return {};
    return {delivered(*object), assembleText(*object, false), true};
}

QString collapseRepeatedSentences(const QString& text) {
    if (trimmed(text).isEmpty()) return text;
    QStringList sentences = splitSentences(text);
    if (sentences.size() < 2) return text;
    bool changed = false;
    while (sentences.size() >= 2) {
        if (!blockPass(sentences) && !neighbourPass(sentences) && !echoPass(sentences)) break;
        changed = true;
    }
    if (!changed) return text;
    const QString joined = trimmed(sentences.join(QString()));
    return joined.isEmpty() ? text : joined;
}

bool isFiller(const QString& text) {
    QString t = trimmed(text.toLower());
    t = trimmed(Regex::compile(QStringLiteral("[.!…]+$")).replace(t, QString()));
    return t.isEmpty() || FILLERS().contains(t) || FILLERS().contains(t + u'.');
}

bool isRepetitiveGarbage(const QString& text) {
    static const QString separators = QStringLiteral(" .,!?…;:\n\t");
    QStringList words;
    QString word;
    for (QChar c : text.toLower()) {
        if (separators.contains(c)) {
            if (!word.isEmpty()) words << word;
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.isEmpty()) words << word;
    const qsizetype n = words.size();
    if (n < 3) return false;
    qsizetype longest = 1, run = 1;
    for (qsizetype i = 1; i < n; ++i) {
        run = words[i] == words[i - 1] ? run + 1 : 1;
        longest = std::max(longest, run);
    }
    const qsizetype distinct = QSet<QString>(words.begin(), words.end()).size();
    return longest >= 3 && (double(longest) >= 0.4 * double(n) || double(distinct) / double(n) < 0.35);
}

}  // namespace murmelo
