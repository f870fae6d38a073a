#pragma once
#include <QHash>
#include <QSet>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace murmelo {

// A word-set file of the layout tables ("ru_freq.fst" and its kin), mapped read-only and
// queried in place. Its keys are the words in the tables' alphabet: the 33 lower-case
// Russian letters (ё last), the hyphen, and the tab that joins a misspelling to its
// correction. A word with any other character (upper case included) is in no file.
class WordSetFile {
public:
    // The alphabet, one letter per line, as the set builder reads it.
    static QString alphabetText();
    // Nothing when the file is missing, unreadable or not a set (or, with `map`, not a map).
    static std::shared_ptr<const WordSetFile> open(const QString& path, bool map);
    ~WordSetFile();

    quint64 size() const;
    bool contains(QStringView word) const;
    // The value of a word of a map file.
    std::optional<quint64> value(QStringView word) const;
    // Every word beginning with `prefix`, in key order, until `visit` returns false.
    void withPrefix(QStringView prefix, const std::function<bool(const QString&)>& visit) const;
    // Whether a word longer than `prefix` begins with it.
    bool extends(QStringView prefix) const;

    // The key of a word, exactly as written; false when a character is outside the alphabet.
    static bool keyOf(QStringView word, std::string& key);

private:
    struct Impl;
    explicit WordSetFile(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// Word → count (the corpus): a mapped file, with the words added while loading on top of
// it. An added word replaces the file's count.
class WordCounts {
public:
    WordCounts() = default;
    WordCounts(std::initializer_list<std::pair<QString, qint64>> rows);
    explicit WordCounts(std::shared_ptr<const WordSetFile> file) : file_(std::move(file)) {}

    std::optional<qint64> find(const QString& word) const;
    bool contains(const QString& word) const;
    qint64 value(const QString& word, qint64 fallback = 0) const { return find(word).value_or(fallback); }
    void insert(const QString& word, qint64 count);
    qsizetype size() const;
    bool isEmpty() const { return size() == 0; }

    // Every word with its count once: the file's in key order, then the added ones.
    void forEach(const std::function<void(const QString&, qint64)>& fn) const;
    // The added words that the file does not hold.
    void forEachAddedNew(const std::function<void(const QString&)>& fn) const;
    const WordSetFile* file() const { return file_.get(); }

private:
    std::shared_ptr<const WordSetFile> file_;
    QHash<QString, qint64> added_;
    qsizetype addedNew_ = 0;
};

// A set of words: a mapped file and the words added to it.
class WordSet {
public:
    WordSet() = default;
    WordSet(std::initializer_list<QString> words);
    explicit WordSet(std::shared_ptr<const WordSetFile> file) : file_(std::move(file)) {}

    bool contains(const QString& word) const;
    void insert(const QString& word);
    qsizetype size() const;
    bool isEmpty() const { return size() == 0; }
    // The same words as a plain set.
    bool operator==(const QSet<QString>& words) const;

private:
    std::shared_ptr<const WordSetFile> file_;
    QSet<QString> added_;
};

// Misspelling → correction: a mapped set of "misspelling<TAB>correction" keys, one per
// misspelling, and the pairs added to it (an added pair replaces the file's).
class WordPairs {
public:
    WordPairs() = default;
    explicit WordPairs(std::shared_ptr<const WordSetFile> file) : file_(std::move(file)) {}

    std::optional<QString> find(const QString& word) const;
    bool contains(const QString& word) const { return find(word).has_value(); }
    QString value(const QString& word) const { return find(word).value_or(QString()); }
    void insert(const QString& word, const QString& correction);
    qsizetype size() const;
    bool isEmpty() const { return size() == 0; }

private:
    std::shared_ptr<const WordSetFile> file_;
    QHash<QString, QString> added_;
    qsizetype addedNew_ = 0;
};

// The live prefixes: word beginnings of 3 to 8 characters that several corpus words
// continue. A mapped set made from the corpus file, and the beginnings that the words added
// to the corpus make live.
class LivePrefixes {
public:
    LivePrefixes() = default;
    LivePrefixes(std::initializer_list<QString> prefixes);
    explicit LivePrefixes(std::shared_ptr<const WordSetFile> file) : file_(std::move(file)) {}

    // Whether `word` is a live prefix of `length` characters.
    bool contains(int length, const QString& word) const;
    void insert(const QString& prefix);
    qsizetype size() const;
    bool isEmpty() const { return size() == 0; }

private:
    std::shared_ptr<const WordSetFile> file_;
    QSet<QString> added_;
};

}  // namespace murmelo
