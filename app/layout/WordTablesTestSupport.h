#pragma once
#include "layout/WordTables.h"

#include "wordforms/Fst.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace murmelo::test {

// The bytes of a word-set file of the layout tables: a set of the words, or with `map` a map
// from each word to its value.
inline QByteArray wordSetBytes(const std::vector<std::pair<QString, quint64>>& rows, bool map) {
    std::vector<std::pair<std::string, quint64>> keyed;
    for (const auto& [word, value] : rows) {
        std::string key;
        if (WordSetFile::keyOf(word, key)) keyed.emplace_back(std::move(key), value);
    }
    std::sort(keyed.begin(), keyed.end());
    fst::Builder builder(map);
    for (const auto& [key, value] : keyed) builder.add(key, value);
    const std::string bytes = builder.finish();
    return QByteArray(bytes.data(), qsizetype(bytes.size()));
}

inline QByteArray wordSetBytes(const QStringList& words) {
    std::vector<std::pair<QString, quint64>> rows;
    for (const QString& w : words) rows.emplace_back(w, 0);
    return wordSetBytes(rows, false);
}

inline void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) f.write(bytes);
}

}  // namespace murmelo::test
