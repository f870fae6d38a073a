#include "ai/CloudActionHistory.h"

#include "base/Defaults.h"
#include "base/Graphemes.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

namespace murmelo {
namespace {

bool isNewline(QChar c) {
    switch (c.unicode()) {
    case 0x0A: case 0x0B: case 0x0C: case 0x0D: case 0x85: case 0x2028: case 0x2029: return true;
    default: return false;
    }
}

bool isTitleEdge(QChar c) {
    switch (c.unicode()) {
    case u'.': case u',': case u':': case u';': case 0x2014: case 0x2013: case u'-': case u' ': return true;
    default: return false;
    }
}

// Canonical equivalence: a precomposed letter equals the same letter with a combining mark.
bool sameText(const QString& a, const QString& b) {
    return a.normalized(QString::NormalizationForm_C) == b.normalized(QString::NormalizationForm_C);
}

}  // namespace

CloudActionHistory& CloudActionHistory::shared() {
    static CloudActionHistory history(Defaults::shared());
    return history;
}

CloudActionHistory::CloudActionHistory(Defaults& defaults) : defaults_(defaults) { load(); }

QString CloudActionHistory::cleanTitle(const QString& title) {
    QString line;
    for (qsizetype i = 0, start = 0; i <= title.size(); ++i) {
        if (i < title.size() && !isNewline(title[i])) continue;
        if (i > start) {
            line = title.mid(start, i - start);
            break;
        }
        start = i + 1;
    }
    QStringList words;
    QString word;
    for (const QChar c : line) {
        if (c.isSpace()) {
            if (!word.isEmpty()) words << word;
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.isEmpty()) words << word;
    QString joined = words.join(u' ');
    qsizetype from = 0, to = joined.size();
    while (from < to && isTitleEdge(joined[from])) ++from;
    while (to > from && isTitleEdge(joined[to - 1])) --to;
    return firstGraphemes(joined.mid(from, to - from), 60);
}

void CloudActionHistory::capture(const QString& title, const QString& text, const QDateTime& now) {
    const QString cleanedTitle = cleanTitle(title);
    const QString trimmedText = text.trimmed();
    if (cleanedTitle.isEmpty() || trimmedText.isEmpty()) return;
    items.removeIf([&](const CloudActionHistoryItem& item) {
        return sameText(item.title, cleanedTitle) && sameText(item.text, trimmedText);
    });
    items.prepend({QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(), cleanedTitle, trimmedText,
                   double(now.toMSecsSinceEpoch()) / 1000.0});
    while (items.size() > maximumCount_) items.removeLast();
    QJsonArray array;
    for (const auto& item : items)
        array.append(QJsonObject{{QStringLiteral("id"), item.id},
                                 {QStringLiteral("title"), item.title},
                                 {QStringLiteral("text"), item.text},
                                 {QStringLiteral("date"), item.date}});
    defaults_.set(key_, QJsonDocument(array).toJson(QJsonDocument::Compact));
    if (onChange) onChange();
}

void CloudActionHistory::load() {
    const QByteArray data = defaults_.dataValue(key_);
    if (data.isEmpty()) return;
    const QJsonDocument doc = QJsonDocument::fromJson(data);
    if (!doc.isArray()) return;
    QList<CloudActionHistoryItem> decoded;
    for (const QJsonValue& v : doc.array()) {
        const QJsonObject o = v.toObject();
        const QJsonValue id = o.value(QStringLiteral("id")), title = o.value(QStringLiteral("title")),
                         text = o.value(QStringLiteral("text")), date = o.value(QStringLiteral("date"));
        // One malformed entry makes the whole list unreadable, as a strict decoder would.
        if (!v.isObject() || !id.isString() || !title.isString() || !text.isString() || !date.isDouble()) return;
        decoded.append({id.toString(), title.toString(), text.toString(), date.toDouble()});
    }
    if (decoded.size() > maximumCount_) decoded.resize(maximumCount_);
    items = decoded;
}

}  // namespace murmelo
