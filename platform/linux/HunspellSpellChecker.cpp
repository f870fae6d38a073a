#include "HunspellSpellChecker.h"

#include <QDir>
#include <QFileInfo>

#include <hunspell/hunspell.hxx>
#include <iconv.h>

#include <string>

namespace murmelo {

namespace {

// Converts between UTF-8 and a dictionary's own encoding; an empty result on failure.
std::string recode(const std::string& in, const char* from, const char* to, bool& ok) {
    ok = false;
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return {};
    std::string out(in.size() * 4 + 16, '\0');
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    const size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (r == static_cast<size_t>(-1)) return {};
    out.resize(out.size() - dstLeft);
    ok = true;
    return out;
}

}  // namespace

struct HunspellSpellChecker::Dictionary {
    std::unique_ptr<Hunspell> hunspell;
    std::string encoding;
    bool utf8 = true;

    // The word in the dictionary's encoding; false when it has no such characters.
    bool encode(const QString& word, std::string& out) const {
        const QByteArray bytes = word.toUtf8();
        if (utf8) {
            out.assign(bytes.constData(), bytes.size());
            return true;
        }
        bool ok = false;
        out = recode(std::string(bytes.constData(), bytes.size()), "UTF-8", encoding.c_str(), ok);
        return ok;
    }
    QString decode(const std::string& in) const {
        if (utf8) return QString::fromUtf8(in.data(), qsizetype(in.size()));
        bool ok = false;
        const std::string u = recode(in, encoding.c_str(), "UTF-8", ok);
        return ok ? QString::fromUtf8(u.data(), qsizetype(u.size())) : QString();
    }
};

HunspellSpellChecker::HunspellSpellChecker(QStringList folders) : folders_(std::move(folders)) {}
HunspellSpellChecker::~HunspellSpellChecker() = default;

QStringList HunspellSpellChecker::availableLanguages() {
    std::lock_guard lock(mutex_);
    scanLocked();
    return languages_;
}

void HunspellSpellChecker::scanLocked() {
    if (!scanned_) {
        scanned_ = true;
        for (const QString& folder : folders_) {
            const QDir dir(folder);
            const QStringList affs = dir.entryList({QStringLiteral("*.aff")}, QDir::Files, QDir::Name);
            for (const QString& aff : affs) {
                const QString name = QFileInfo(aff).completeBaseName();
                const QString base = dir.filePath(name);
                if (paths_.contains(name) || !QFileInfo::exists(base + QStringLiteral(".dic"))) continue;
                paths_.insert(name, base);
                languages_ << name;
            }
        }
    }
}

HunspellSpellChecker::Dictionary* HunspellSpellChecker::dictionary(const QString& language) {
    if (auto it = open_.constFind(language); it != open_.constEnd()) return it->get();
    scanLocked();
    const QString base = paths_.value(language);
    std::shared_ptr<Dictionary> d;
    if (!base.isEmpty()) {
        d = std::make_shared<Dictionary>();
        d->hunspell = std::make_unique<Hunspell>(QFile::encodeName(base + QStringLiteral(".aff")).constData(),
                                                 QFile::encodeName(base + QStringLiteral(".dic")).constData());
        d->encoding = d->hunspell->get_dict_encoding();
        const QString enc = QString::fromStdString(d->encoding).toUpper().remove(QLatin1Char('-'));
        d->utf8 = enc.isEmpty() || enc == QLatin1String("UTF8");
    }
    // A language without files is remembered as absent too, so it is looked up once.
    open_.insert(language, d);
    return d.get();
}

bool HunspellSpellChecker::acceptsLocked(const QString& text, const QString& language) {
    Dictionary* d = dictionary(language);
    if (!d) return false;
    if (text.isEmpty()) return true;
    std::string encoded;
    if (!d->encode(text, encoded)) return false;
    return d->hunspell->spell(encoded);
}

bool HunspellSpellChecker::accepts(const QString& text, const QString& language) {
    std::lock_guard lock(mutex_);
    return acceptsLocked(text, language);
}

QStringList HunspellSpellChecker::guesses(const QString& word, const QString& language) {
    std::lock_guard lock(mutex_);
    Dictionary* d = dictionary(language);
    QStringList out;
    std::string encoded;
    if (!d || word.isEmpty() || !d->encode(word, encoded)) return out;
    for (const std::string& s : d->hunspell->suggest(encoded)) {
        const QString g = d->decode(s);
        if (!g.isEmpty()) out << g;
    }
    return out;
}

bool HunspellSpellChecker::knowsInOtherCase(const QString& word, const QString& language) {
    std::lock_guard lock(mutex_);
    const QString upper = word.toUpper();
    if (word.isEmpty() || upper == word) return false;
    if (acceptsLocked(word, language)) return false;
    return acceptsLocked(upper, language);
}

}  // namespace murmelo
