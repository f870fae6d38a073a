#include "meetings/MeetingParticipants.h"

#include "base/Graphemes.h"
#include "base/Log.h"
#include "meetings/MeetingAudioSource.h"
#include "platform/MainQueue.h"
#include "reply/WindowOCR.h"

#include <QRegularExpression>
#include <unicode/uchar.h>

namespace murmelo::MeetingParticipants {

namespace {

// A word starts with a capital: a single scalar with the Uppercase property, or a character
// that is its own upper case and not its own lower case.
bool startsWithCapital(const QString& word) {
    const QString first = graphemes(word).value(0);
    const QList<uint> scalars = first.toUcs4();
    if (scalars.size() == 1 && u_hasBinaryProperty(UChar32(scalars[0]), UCHAR_UPPERCASE)) return true;
    return !first.isEmpty() && first.toUpper() == first && first.toLower() != first;
}

bool hasDecimalDigit(const QString& s) {
    for (const uint c : s.toUcs4())
        if (QChar::isDigit(c)) return true;
    return false;
}

QString trimmedOf(const QString& s, const QString& extra) {
    auto strip = [&](QChar c) { return c.isSpace() || extra.contains(c); };
    qsizetype from = 0, to = s.size();
    while (from < to && strip(s[from])) ++from;
    while (to > from && strip(s[to - 1])) --to;
    return s.mid(from, to - from);
}

}  // namespace

const QStringList& SELF_MARKS() {
    static const QStringList marks{QStringLiteral("(you)"), QStringLiteral("(me)"),         QStringLiteral("(вы)"),
                                   QStringLiteral("(я)"),   QStringLiteral("(host, me)"), QStringLiteral("(me, host)")};
    return marks;
}

const QStringList& CALL_WINDOW_TITLES() {
    static const QStringList titles{
        QStringLiteral("zoom meeting"),    QStringLiteral("zoom workplace meeting"), QStringLiteral("конференция zoom"),
        QStringLiteral("meet - "),         QStringLiteral("meet – "),                QStringLiteral("google meet"),
        QStringLiteral("microsoft teams"), QStringLiteral("teams meeting"),          QStringLiteral("собрание"),
        QStringLiteral("webex"),           QStringLiteral("whereby"),                QStringLiteral("jitsi"),
        QStringLiteral("discord"),         QStringLiteral("telegram")};
    return titles;
}

const QSet<QString>& CHROME() {
    static const QSet<QString> words = [] {
        const QString all = QStringLiteral(
            "mute unmute start stop video audio participants chat share screen record recording reactions end leave "
            "meeting zoom view speaker gallery invite security apps more whiteboard whiteboards notes camera people "
            "info raise hand together mode present now host you me everyone settings microsoft teams google meet "
            "webex join call controls captions transcript breakout rooms polls background effects "
            "выключить включить звук видео участники чат демонстрация запись реакции завершить выйти пригласить ещё "
            "вид докладчик галерея настройки безопасность приложения доска заметки камера люди все вы я организатор "
            "субтитры конференция встреча подключиться поднять руку фон");
        const QStringList list = all.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        return QSet<QString>(list.begin(), list.end());
    }();
    return words;
}

QStringList splitTiles(const QString& line) {
    static const QRegularExpression separators(QStringLiteral("[|•·\\t]"));
    QStringList out;
    for (const QString& piece : line.split(separators)) {
        // Spaces and tabs only, at both ends.
        qsizetype from = 0, to = piece.size();
        while (from < to && (piece[from] == u' ' || piece[from] == u'\t')) ++from;
        while (to > from && (piece[to - 1] == u' ' || piece[to - 1] == u'\t')) --to;
        if (to > from) out << piece.mid(from, to - from);
    }
    return out;
}

std::optional<QString> name(const QString& tile) {
    QString s = trimmedOf(tile, {});
    const QString lower = s.toLower();
    for (const QString& mark : SELF_MARKS())
        if (lower.contains(mark)) return std::nullopt;
    if (const qsizetype bracket = s.indexOf(QLatin1Char('(')); bracket >= 0) s = s.left(bracket);
    s = trimmedOf(s, QStringLiteral(",.:;"));
    const int length = graphemeCount(s);
    if (length < MIN_LEN || length > MAX_LEN) return std::nullopt;
    if (hasDecimalDigit(s)) return std::nullopt;
    if (s.contains(QLatin1Char('@')) || s.contains(QStringLiteral("://"))) return std::nullopt;
    const QStringList words = s.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty() || words.size() > MAX_WORDS) return std::nullopt;
    if (std::all_of(words.begin(), words.end(), [](const QString& w) { return CHROME().contains(w.toLower()); }))
        return std::nullopt;
    if (!std::all_of(words.begin(), words.end(), startsWithCapital)) return std::nullopt;
    return s;
}

void collect(const MeetingStore::Folder& folder) {
    const std::optional<qint64> pid = MeetingAudioSource::callAppPID();
    if (!pid) {
        logLine(QStringLiteral("встреча/имена: приложение звонка не опознано - снимок не делаю"));
        return;
    }
    WindowOCR::recognizeText(
        qint32(*pid), CALL_WINDOW_TITLES(),
        [folder](std::optional<QString> text, std::optional<WindowOCR::Failure> failure) {
            // Recognition answers on its worker; the folder's record is written on the main thread.
            MainQueue::shared().post([folder, text = std::move(text), failure = std::move(failure)] {
                if (!text) {
                    logLine(QStringLiteral("встреча/имена: снимок окна не вышел - ") +
                            (failure ? failure->description() : QString()));
                    return;
                }
                const QStringList names = candidates(*text);
                if (names.isEmpty()) {
                    logLine(QStringLiteral("встреча/имена: в окне имён не нашлось"));
                    return;
                }
                MeetingStore::update(folder, [&names](MeetingStore::Meta& meta) {
                    for (const QString& n : names)
                        if (!meta.nameCandidates.contains(n)) meta.nameCandidates << n;
                });
                logLine(QStringLiteral("встреча/имена: из окна звонка - ") + priv(names.join(QStringLiteral(", "))));
            });
        });
}

QStringList candidates(const QString& ocrText) {
    QStringList out;
    QSet<QString> seen;
    for (const QString& line : ocrText.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        for (const QString& tile : splitTiles(line))
            if (const auto n = name(tile); n && !seen.contains(n->toLower())) {
                seen.insert(n->toLower());
                out << *n;
            }
    return out;
}

}  // namespace murmelo::MeetingParticipants
