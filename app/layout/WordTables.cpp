#include "layout/WordTables.h"

#include "layout/LayoutLexicons.h"

#include "wordforms/Alphabet.h"
#include "wordforms/Fst.h"

#include <QFile>

#include <array>

namespace murmelo {

namespace {

// The default word-form alphabet (а…я, then ё), the hyphen of compound words, and the tab
// of the misspelling pairs. The order fixes the codes, so it is part of the file format.
constexpr char16_t kLetters[] = u"абвгдежзийклмнопрстуфхцчшщъыьэюяё-\t";

// Code of every UTF-16 unit below U+0460; 0 for the ones outside the alphabet. Made from the
// library's own alphabet, so that the keys are the ones its builder writes.
struct Codes {
    static constexpr char16_t LIMIT = 0x460;
    std::array<std::uint8_t, LIMIT> code{};
    Alphabet alphabet = Alphabet::defaultAlphabet();

    Codes() {
        alphabet = *Alphabet::parse(WordSetFile::alphabetText().toStdString());
        for (char32_t letter : alphabet.letters()) code[letter] = *alphabet.code(letter);
    }
};

const Codes& codes() {
    static const Codes c;
    return c;
}

// The key of a word, on the stack for all but very long words.
class ShortKey {
public:
    explicit ShortKey(QStringView word) {
        if (word.size() > qsizetype(sizeof bytes_)) {
            ok_ = WordSetFile::keyOf(word, long_);
            return;
        }
        const Codes& c = codes();
        for (QChar ch : word) {
            const char16_t u = ch.unicode();
            const std::uint8_t code = u < Codes::LIMIT ? c.code[u] : 0;
            if (!code) return;
            bytes_[size_++] = char(code);
        }
        ok_ = true;
    }
    bool ok() const { return ok_; }
    std::string_view view() const { return long_.empty() ? std::string_view(bytes_, size_) : std::string_view(long_); }

private:
    char bytes_[96];
    std::string long_;
    std::size_t size_ = 0;
    bool ok_ = false;
};

}  // namespace

struct WordSetFile::Impl {
    fst::FstFile file;
};

WordSetFile::WordSetFile(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
WordSetFile::~WordSetFile() = default;

QString WordSetFile::alphabetText() {
    QString text;
    for (const char16_t* c = kLetters; *c; ++c) text.append(QChar(*c)).append(QLatin1Char('\n'));
    return text;
}

std::shared_ptr<const WordSetFile> WordSetFile::open(const QString& path, bool map) {
    auto file = fst::openFile(QFile::encodeName(path).constData());
    if (!file || file->fst.isMap() != map) return nullptr;
    return std::shared_ptr<const WordSetFile>(new WordSetFile(std::make_unique<Impl>(Impl{std::move(*file)})));
}

bool WordSetFile::keyOf(QStringView word, std::string& key) {
    const Codes& c = codes();
    key.clear();
    key.reserve(size_t(word.size()));
    for (QChar ch : word) {
        const char16_t u = ch.unicode();
        const std::uint8_t code = u < Codes::LIMIT ? c.code[u] : 0;
        if (!code) return false;
        key.push_back(char(code));
    }
    return true;
}

quint64 WordSetFile::size() const { return impl_->file.fst.len(); }

bool WordSetFile::contains(QStringView word) const {
    const ShortKey key(word);
    return key.ok() && impl_->file.fst.contains(key.view());
}

std::optional<quint64> WordSetFile::value(QStringView word) const {
    const ShortKey key(word);
    if (!key.ok()) return std::nullopt;
    return impl_->file.fst.get(key.view());
}

void WordSetFile::withPrefix(QStringView prefix, const std::function<bool(const QString&)>& visit) const {
    std::string key;
    if (!keyOf(prefix, key)) return;
    const Alphabet& alphabet = codes().alphabet;
    impl_->file.fst.withPrefix(key, [&](std::string_view found) {
        return visit(QString::fromStdString(alphabet.decode(found)));
    });
}

bool WordSetFile::extends(QStringView prefix) const {
    std::string key;
    if (!keyOf(prefix, key)) return false;
    bool longer = false;
    impl_->file.fst.withPrefix(key, [&](std::string_view found) {
        longer = found.size() > key.size();
        return !longer;
    });
    return longer;
}

// ---- WordCounts

WordCounts::WordCounts(std::initializer_list<std::pair<QString, qint64>> rows) {
    for (const auto& [word, count] : rows) insert(word, count);
}

bool WordCounts::contains(const QString& word) const {
    if (!added_.isEmpty() && added_.contains(word)) return true;
    return file_ && file_->contains(word);
}

std::optional<qint64> WordCounts::find(const QString& word) const {
    if (!added_.isEmpty()) {
        if (auto it = added_.constFind(word); it != added_.constEnd()) return *it;
    }
    if (!file_) return std::nullopt;
    if (auto v = file_->value(word)) return qint64(*v);
    return std::nullopt;
}

void WordCounts::insert(const QString& word, qint64 count) {
    if (!added_.contains(word) && !(file_ && file_->contains(word))) ++addedNew_;
    added_.insert(word, count);
}

qsizetype WordCounts::size() const { return qsizetype(file_ ? file_->size() : 0) + addedNew_; }

void WordCounts::forEach(const std::function<void(const QString&, qint64)>& fn) const {
    if (file_) {
        file_->withPrefix(QStringView(), [&](const QString& word) {
            if (!added_.contains(word)) fn(word, qint64(file_->value(word).value_or(0)));
            return true;
        });
    }
    for (auto it = added_.constBegin(); it != added_.constEnd(); ++it) fn(it.key(), it.value());
}

void WordCounts::forEachAddedNew(const std::function<void(const QString&)>& fn) const {
    for (auto it = added_.constBegin(); it != added_.constEnd(); ++it) {
        if (!(file_ && file_->contains(it.key()))) fn(it.key());
    }
}

// ---- WordSet

WordSet::WordSet(std::initializer_list<QString> words) {
    for (const QString& w : words) insert(w);
}

bool WordSet::contains(const QString& word) const {
    if (!added_.isEmpty() && added_.contains(word)) return true;
    return file_ && file_->contains(word);
}

void WordSet::insert(const QString& word) {
    if (!(file_ && file_->contains(word))) added_.insert(word);
}

qsizetype WordSet::size() const { return qsizetype(file_ ? file_->size() : 0) + added_.size(); }

bool WordSet::operator==(const QSet<QString>& words) const {
    if (size() != words.size()) return false;
    for (const QString& w : words) {
        if (!contains(w)) return false;
    }
    return true;
}

// ---- WordPairs

std::optional<QString> WordPairs::find(const QString& word) const {
    if (!added_.isEmpty()) {
        if (auto it = added_.constFind(word); it != added_.constEnd()) return *it;
    }
    if (!file_) return std::nullopt;
    const QString head = word + QLatin1Char('\t');
    std::optional<QString> correction;
    file_->withPrefix(head, [&](const QString& pair) {
        correction = pair.mid(head.size());
        return false;
    });
    return correction;
}

void WordPairs::insert(const QString& word, const QString& correction) {
    if (!added_.contains(word) && !(file_ && file_->extends(word + QLatin1Char('\t')))) ++addedNew_;
    added_.insert(word, correction);
}

qsizetype WordPairs::size() const { return qsizetype(file_ ? file_->size() : 0) + addedNew_; }

// ---- LivePrefixes

LivePrefixes::LivePrefixes(std::initializer_list<QString> prefixes) {
    for (const QString& p : prefixes) insert(p);
}

bool LivePrefixes::contains(int length, const QString& word) const {
    if (charCount(word) != length) return false;
    if (!added_.isEmpty() && added_.contains(word)) return true;
    return file_ && file_->contains(word);
}

void LivePrefixes::insert(const QString& prefix) {
    if (!(file_ && file_->contains(prefix))) added_.insert(prefix);
}

qsizetype LivePrefixes::size() const { return qsizetype(file_ ? file_->size() : 0) + added_.size(); }

}  // namespace murmelo
