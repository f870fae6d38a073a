#include "layout/NgramModel.h"

#include "base/Graphemes.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QVarLengthArray>
#include <array>
#include <cmath>
#include <vector>

namespace murmelo {
namespace {

constexpr char32_t kSeveralCodePoints = 0xFFFFFFFF;
constexpr char32_t kBlank = U' ';

// Code units that are each a whole character in composed form: Latin and Cyrillic letters
// and the common signs, without combining marks and without CR (CR LF is one character).
bool isSimpleUnit(char16_t u) {
    return (u < 0x300 && u != u'\r') || (u >= 0x400 && u < 0x483) || (u >= 0x48A && u < 0x530);
}

// The characters of a text, one code point each; a character made of several code points
// comes out as kSeveralCodePoints.
void characters(const QString& text, QVarLengthArray<char32_t, 64>& out) {
    bool simple = true;
    for (QChar c : text)
        if (!isSimpleUnit(c.unicode())) {
            simple = false;
            break;
        }
    if (simple) {
        for (QChar c : text) out.append(c.unicode());
        return;
    }
    for (const QString& g : graphemes(text.normalized(QString::NormalizationForm_C))) {
        const QList<uint> ucs = g.toUcs4();
        out.append(ucs.size() == 1 ? static_cast<char32_t>(ucs.front()) : kSeveralCodePoints);
    }
}

std::optional<char32_t> firstCharacter(const QString& text) {
    QVarLengthArray<char32_t, 64> cs;
    characters(text, cs);
    if (cs.isEmpty() || cs.front() == kSeveralCodePoints) return std::nullopt;
    return cs.front();
}

}  // namespace

struct NgramModel::Scorer {
    int symbols = 0;
    int blank = 0;
    int boundary = 0;
    double defaultUnseen = 0;
    // Alphabet character -> symbol, -1 outside the alphabet.
    std::array<qint16, 0x530> small{};
    QHash<char32_t, int> large;
    // Context (two symbols) -> its row in rows, -1 when the model lacks the context.
    std::vector<qint64> contextRow;
    // Per known context, the log-probability of every symbol after it.
    std::vector<double> rows;

    int alphabetSymbol(char32_t c) const {
        if (c < small.size()) return small[c];
        return large.value(c, -1);
    }
    // Sizes and offsets in 64 bits: the square of the symbols outgrows int long before memory.
    size_t cell(int a, int b) const { return size_t(a) * size_t(symbols) + size_t(b); }
    double at(int a, int b, int c) const {
        const qint64 row = contextRow[cell(a, b)];
        return row < 0 ? defaultUnseen : rows[size_t(row) * size_t(symbols) + size_t(c)];
    }
};

NgramModel::NgramModel(int order, char32_t boundary, QSet<char32_t> alphabet,
                       QHash<QString, QHash<char32_t, double>> logprob, QHash<QString, double> unseen,
                       double defaultUnseen)
    : order_(order), boundary_(boundary), alphabet_(std::move(alphabet)), defaultUnseen_(defaultUnseen) {
    auto s = std::make_shared<Scorer>();
    s->defaultUnseen = defaultUnseen_;
    s->small.fill(-1);
    // The only characters a scored word can hold: the alphabet, the blank and the boundary.
    QHash<char32_t, int> symbol;
    auto add = [&](char32_t c) {
        if (!symbol.contains(c)) symbol.insert(c, static_cast<int>(symbol.size()));
        return symbol.value(c);
    };
    for (char32_t c : alphabet_) {
        const int i = add(c);
        if (c < s->small.size())
            s->small[c] = static_cast<qint16>(i);
        else
            s->large.insert(c, i);
    }
    s->blank = add(kBlank);
    s->boundary = add(boundary_);
    s->symbols = static_cast<int>(symbol.size());
    s->contextRow.assign(size_t(s->symbols) * size_t(s->symbols), -1);
    for (auto it = logprob.constBegin(); it != logprob.constEnd(); ++it) {
        // A context that is not two of these symbols can never be asked for.
        QVarLengthArray<char32_t, 64> cs;
        characters(it.key(), cs);
        if (cs.size() != 2 || !symbol.contains(cs[0]) || !symbol.contains(cs[1])) continue;
        const size_t row = s->rows.size() / size_t(s->symbols);
        s->contextRow[s->cell(symbol.value(cs[0]), symbol.value(cs[1]))] = qint64(row);
        s->rows.resize(s->rows.size() + size_t(s->symbols), unseen.value(it.key(), defaultUnseen_));
        double* values = s->rows.data() + row * size_t(s->symbols);
        for (auto next = it->constBegin(); next != it->constEnd(); ++next)
            if (symbol.contains(next.key())) values[symbol.value(next.key())] = next.value();
    }
    scorer_ = std::move(s);
}

std::optional<NgramModel> NgramModel::load(const QString& path, QString* why) {
    auto refuse = [why](const QString& reason) -> std::optional<NgramModel> {
        if (why) *why = reason;
        return std::nullopt;
    };
    auto member = [&refuse](const char* name) { return refuse(QStringLiteral("нет поля \"%1\" нужного вида").arg(QLatin1String(name))); };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return refuse(QStringLiteral("не открыть: ") + file.errorString());
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError)
        return refuse(QStringLiteral("не JSON: ") + error.errorString() + QStringLiteral(" (байт ") +
                      QString::number(error.offset) + QLatin1Char(')'));
    if (!doc.isObject()) return refuse(QStringLiteral("не JSON-объект"));
    const QJsonObject o = doc.object();

    const QJsonValue order = o.value(QLatin1String("order"));
    if (!order.isDouble() || order.toDouble() != std::floor(order.toDouble())) return member("order");
    if (order.toDouble() != 3) return refuse(QStringLiteral("порядок не 3"));

    const QJsonValue boundaryValue = o.value(QLatin1String("boundary"));
    if (!boundaryValue.isString() || boundaryValue.toString().isEmpty()) return member("boundary");
    const std::optional<char32_t> boundary = firstCharacter(boundaryValue.toString());
    if (!boundary) return member("boundary");

    const QJsonValue alphabetValue = o.value(QLatin1String("alphabet"));
    if (!alphabetValue.isString()) return member("alphabet");
    QSet<char32_t> alphabet;
    QVarLengthArray<char32_t, 64> letters;
    characters(alphabetValue.toString(), letters);
    for (char32_t c : letters)
        if (c != kSeveralCodePoints) alphabet.insert(c);
    if (alphabet.size() > MAX_ALPHABET)
        return refuse(QStringLiteral("алфавит в %1 символов, больше %2").arg(alphabet.size()).arg(MAX_ALPHABET));

    const QJsonValue logprobValue = o.value(QLatin1String("logprob"));
    if (!logprobValue.isObject()) return member("logprob");
    QHash<QString, QHash<char32_t, double>> logprob;
    const QJsonObject contexts = logprobValue.toObject();
    for (auto it = contexts.constBegin(); it != contexts.constEnd(); ++it) {
        if (!it.value().isObject()) return member("logprob");
        QHash<char32_t, double>& next = logprob[it.key().normalized(QString::NormalizationForm_C)];
        const QJsonObject inner = it.value().toObject();
        for (auto e = inner.constBegin(); e != inner.constEnd(); ++e) {
            if (e.key().isEmpty() || !e.value().isDouble()) continue;
            if (const std::optional<char32_t> c = firstCharacter(e.key())) next.insert(*c, e.value().toDouble());
        }
    }

    const QJsonValue unseenValue = o.value(QLatin1String("unseen_logprob"));
    if (!unseenValue.isObject()) return member("unseen_logprob");
    QHash<QString, double> unseen;
    const QJsonObject unseenObject = unseenValue.toObject();
    for (auto it = unseenObject.constBegin(); it != unseenObject.constEnd(); ++it)
        if (it.value().isDouble()) unseen.insert(it.key().normalized(QString::NormalizationForm_C), it.value().toDouble());

    const QJsonValue defaultUnseen = o.value(QLatin1String("default_unseen_logprob"));
    if (!defaultUnseen.isDouble()) return member("default_unseen_logprob");

    return NgramModel(3, *boundary, std::move(alphabet), std::move(logprob), std::move(unseen),
                      defaultUnseen.toDouble());
}

std::optional<double> NgramModel::score(const QString& word) const {
    if (order_ != 3) return std::nullopt;
    const Scorer& s = *scorer_;
    QVarLengthArray<char32_t, 64> cs;
    characters(word.toLower(), cs);
    qsizetype first = 0, last = cs.size();
    QVarLengthArray<int, 64> symbols;
    for (char32_t c : cs) {
        const int i = c == kSeveralCodePoints ? -1 : s.alphabetSymbol(c);
        symbols.append(i < 0 ? s.blank : i);
    }
    // Trimming the blanks trims every character outside the alphabet too: each became one.
    while (first < last && symbols[first] == s.blank) ++first;
    while (last > first && symbols[last - 1] == s.blank) --last;
    if (first == last) return std::nullopt;
    QVarLengthArray<int, 68> padded;
    padded.append(s.boundary);
    padded.append(s.boundary);
    for (qsizetype i = first; i < last; ++i) padded.append(symbols[i]);
    padded.append(s.boundary);
    padded.append(s.boundary);
    const qsizetype positions = padded.size() - 2;
    double sum = 0;
    for (qsizetype i = 0; i < positions; ++i) sum += s.at(padded[i], padded[i + 1], padded[i + 2]);
    return sum / static_cast<double>(positions);
}

}  // namespace murmelo
