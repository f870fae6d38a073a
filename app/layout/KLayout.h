#pragma once
#include <QHash>
#include <QString>

namespace murmelo {

// A key of the keyboard by its legend (what it bears on the US layout), with or without Shift.
struct KeyStroke {
    char32_t legend = 0;
    bool shift = false;
    bool operator==(const KeyStroke&) const = default;
};

// One layout's key maps: legend -> the one character the key produces, without and with
// Shift, and the way back from a character to its key. Keys that produce nothing, several
// characters or a dead key have no entry.
struct KLayout {
    QString language;
    QString name;
    QHash<char32_t, char32_t> base;
    QHash<char32_t, char32_t> shift;
    QHash<char32_t, KeyStroke> reverse;

    // Derives reverse; a character some key gives without Shift is always reached without
    // it. Pass the maps in key-table order so that of two keys giving the same character the
    // earlier one wins.
    KLayout(QString language, QString name, const QList<std::pair<char32_t, char32_t>>& base,
            const QList<std::pair<char32_t, char32_t>>& shift);
};

}  // namespace murmelo
