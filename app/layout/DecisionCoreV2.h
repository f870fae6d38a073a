#pragma once
#include <QString>
#include <optional>
#include <vector>

namespace murmelo {

class LayoutSwitcherHost;

// Decision core V2: for one word being typed or just finished, whether it was typed in the
// wrong layout and should be converted now, kept, or decided at the boundary. A pure function
// of the word's evidence and a language pair; it runs only in the shadow beside the switcher.

struct VerdictV2 {
    enum class Kind { convert, keep, deferToBoundary };
    Kind kind = Kind::keep;
    QString language;  // the target of a conversion

    static VerdictV2 convertTo(QString lang) { return {Kind::convert, std::move(lang)}; }
    static VerdictV2 keep() { return {Kind::keep, {}}; }
    static VerdictV2 deferToBoundary() { return {Kind::deferToBoundary, {}}; }

    QString label() const;
    bool actsNow() const { return kind == Kind::convert; }
    bool operator==(const VerdictV2&) const = default;
};

struct DecisionResultV2 {
    VerdictV2 verdict;
    QString reason;
    bool operator==(const DecisionResultV2&) const = default;
};

struct KeyEvidenceV2 {
    std::optional<int> keycode;  // none for a character no observed key backs
    QString character;           // one user-perceived character
    std::optional<QString> deliveredBy;
    bool operator==(const KeyEvidenceV2&) const = default;
};

enum class WordStartV2 { clean, click, nav, bs, mod };
QString rawValue(WordStartV2 v);
std::optional<WordStartV2> wordStartFromRaw(const QString& raw);

enum class WriteOriginV2 { human, layout, polish, dictation };
QString rawValue(WriteOriginV2 v);

struct WordContextV2 {
    QString prevWord;
    std::optional<QString> recentLang;
    bool operator==(const WordContextV2&) const = default;
};

struct EvidenceModelV2 {
    QString word;
    std::optional<QString> boundary;  // none while the word is still being typed
    std::vector<KeyEvidenceV2> keys;
    WriteOriginV2 origin = WriteOriginV2::human;
    int erasedCount = 0;
    WordStartV2 start = WordStartV2::clean;
    WordContextV2 context;

    // The language every key that names one agrees on.
    std::optional<QString> keysLayout() const;
    // "en" when Latin letters outnumber Cyrillic ones, "ru" otherwise, none without either.
    std::optional<QString> scriptLayout() const;
    std::optional<QString> typedLayout() const;

    // The newest observed keys matched to the end of the word; bare keys before them.
    static std::vector<KeyEvidenceV2> alignKeys(const QString& word, const std::vector<KeyEvidenceV2>& observed);

    bool operator==(const EvidenceModelV2&) const = default;
};

struct PairCalibrationsV2 {
    std::optional<QString> firstWordConfirms;
    int shortTokenMaxLen = 3;
    int prefixVetoMinCore = 3;
    int capsAbbrevMinLen = 2;
    int capsAbbrevMaxLen = 4;
    std::optional<QString> capsPullsToward;
};

struct LanguagePairV2 {
    QString first;
    QString second;
    // Where the words are looked up (its word checks and live prefixes); none answers nothing.
    // Text is converted between the two by the layout maps.
    LayoutSwitcherHost* words = nullptr;
    // The language whose live prefixes wait for the boundary.
    QString prefixLanguage;
    PairCalibrationsV2 calibrations;

    std::optional<QString> other(const QString& lang) const;
};

DecisionResultV2 decideV2(const EvidenceModelV2& model, const LanguagePairV2& pair);

}  // namespace murmelo
