#pragma once
#include <QHash>
#include <QSet>
#include <QString>
#include <memory>
#include <optional>

namespace murmelo {

// A character trigram model of one language: gives a word the mean log-probability of its
// characters, each predicted from the two before it, the word padded with a boundary symbol
// on both sides. An immutable value; safe to share between threads.
class NgramModel {
public:
    // Characters are single code points compared in their composed form; a character of
    // several code points cannot be in the alphabet and scores as a blank.
    NgramModel(int order, char32_t boundary, QSet<char32_t> alphabet, QHash<QString, QHash<char32_t, double>> logprob,
               QHash<QString, double> unseen, double defaultUnseen);

    // The most characters an alphabet may have. Real alphabets have a few dozen; the scorer's
    // tables grow with the square of the alphabet, so a larger one is refused, not allocated.
    static constexpr int MAX_ALPHABET = 256;

    // The model in the file, or nothing when the file cannot be read, is not a model, is
    // not of order 3 (the scorer predicts from exactly two characters, so a file of any
    // other order would be scored wrongly) or has an alphabet beyond MAX_ALPHABET. When
    // nothing comes back, why says the reason.
    static std::optional<NgramModel> load(const QString& path, QString* why = nullptr);

    // Mean log-probability of the word, lower-cased; nothing when no character of it is in
    // the alphabet, and for a model whose order is not 3.
    std::optional<double> score(const QString& word) const;

    int order() const { return order_; }
    char32_t boundary() const { return boundary_; }
    const QSet<char32_t>& alphabet() const { return alphabet_; }
    double defaultUnseen() const { return defaultUnseen_; }

private:
    struct Scorer;

    int order_;
    char32_t boundary_;
    QSet<char32_t> alphabet_;
    double defaultUnseen_;
    // The log-probabilities and unseen values as dense tables over the model's few symbols,
    // for scoring while the user types; the hash tables they came in are not kept.
    std::shared_ptr<const Scorer> scorer_;
};

}  // namespace murmelo
