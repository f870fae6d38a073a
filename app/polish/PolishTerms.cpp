#include "polish/PolishTerms.h"

#include "base/Bundle.h"
#include "base/DevPaths.h"
#include "base/Graphemes.h"
#include "base/Log.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringDecoder>
#include <QStringList>

#include <memory>
#include <mutex>

namespace murmelo::PolishTerms {
namespace {

struct Vocabulary {
    QSet<QString> exact;
    QStringList stems;  // file order, duplicates kept
    QSet<QString> cut;  // stems less their last character
};

std::mutex g_lock;
std::unique_ptr<Vocabulary> g_loaded;
std::optional<QString> g_pathOverride;

// The developer tree's copy wins; there is no user copy.
QString termsPath() {
    if (g_pathOverride) return *g_pathOverride;
    const QString dev = murmeloRepoPath(QStringLiteral("layout/models/ru_terms.tsv"));
    if (QFileInfo::exists(dev)) return dev;
    return Bundle::resourcePath(QStringLiteral("layout-models/ru_terms.tsv"));
}

std::optional<QString> readUtf8(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) return std::nullopt;
    QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decode(bytes);
    if (decode.hasError()) return std::nullopt;
    return text;
}

QString trimSpacesAndTabs(const QString& line) {
    qsizetype from = 0, to = line.size();
    auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (from < to && blank(line[from])) ++from;
    while (to > from && blank(line[to - 1])) --to;
    return line.mid(from, to - from);
}

std::unique_ptr<Vocabulary> load() {
    auto v = std::make_unique<Vocabulary>();
    const std::optional<QString> text = readUtf8(termsPath());
    if (!text) {
        logLine(QStringLiteral("polish/словарь: ru_terms.tsv не прочитан — рабочая лексика без защиты"));
        return v;
    }
    for (QString line : text->split(QLatin1Char('\n'))) {
        // A file saved with CR LF ends its lines with a CR that belongs to no term.
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
        const QString term = trimSpacesAndTabs(line).toLower();
        if (term.isEmpty() || term.startsWith(QLatin1Char('#'))) continue;
        v->exact.insert(term);
        const QStringList chars = graphemes(term);
        if (chars.size() < MIN_STEM) continue;
        v->stems.append(term);
        const QString shorter = term.left(term.size() - chars.last().size());
        if (chars.size() - 1 > 3) v->cut.insert(shorter);
    }
    logLine(QStringLiteral("polish/словарь: рабочая лексика %1 слов, основ по началу %2")
                .arg(v->exact.size())
                .arg(v->stems.size()));
    return v;
}

const Vocabulary& loaded() {
    std::lock_guard lock(g_lock);
    if (!g_loaded) g_loaded = load();
    return *g_loaded;
}

}  // namespace

bool knows(const QString& word) {
    const Vocabulary& v = loaded();
    if (v.exact.contains(word)) return true;
    for (const QString& stem : v.stems)
        if (word.startsWith(stem)) return true;
    for (const QString& stem : v.cut)
        if (word.startsWith(stem)) return true;
    return false;
}

int count() { return static_cast<int>(loaded().exact.size()); }

void resetForTesting(std::optional<QString> path) {
    std::lock_guard lock(g_lock);
    g_loaded.reset();
    g_pathOverride = std::move(path);
}

}  // namespace murmelo::PolishTerms
