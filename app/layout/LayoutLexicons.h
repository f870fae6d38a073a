#pragma once
#include "layout/WordTables.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QtGlobal>

#include <memory>
#include <optional>
#include <functional>
#include <thread>

namespace murmelo {

// The layout switcher's rule switches and tunables that the word tables and checks read;
// each read once from the environment.
struct LayoutSwitcherRules {
    static constexpr int livePrefixMinLen = 3;
    static constexpr int livePrefixMaxLen = 8;
    static constexpr int livePrefixMinParents = 2;
    static constexpr qint64 twinFrequencyFloor = 900;

    bool ruleLivePrefix = true;
    bool ruleLiveStem = true;
    int liveStemMinLen = 4;
    int liveStemMinFreq = 3;
    bool liveStemFST = false;
    bool ruleTwinFrequency = true;
    bool ruleShortRuCurated = true;

    static LayoutSwitcherRules fromEnvironment();
};

// Length of a word in user-perceived characters, and its first n of them.
int charCount(const QString& word);
QString firstChars(const QString& word, int n);

// The Russian word tables of the layout switcher, read from the layout models folder and
// merged with the user's custom vocabulary, plus the spell-checker languages for Russian
// and English. Each load runs once per process; the tables are then only read, on the
// main thread. The corpus, the open dictionary, the typos and the live prefixes are mapped
// from their word-set files (".fst") when the folder has them, and read from their text
// tables (".tsv") otherwise; the words merged in at load time sit on top.
class LayoutLexicons {
public:
    static constexpr int spellFreqFloor = 50;

    explicit LayoutLexicons(QString modelsDir = defaultModelsDir(),
                            LayoutSwitcherRules rules = LayoutSwitcherRules::fromEnvironment());
    ~LayoutLexicons();
    LayoutLexicons(const LayoutLexicons&) = delete;
    LayoutLexicons& operator=(const LayoutLexicons&) = delete;

    static LayoutLexicons& shared();
    // The developer repository's "layout/models" when it exists, else the bundle's
    // "layout-models".
    static QString defaultModelsDir();

    QString modelsDir;
    LayoutSwitcherRules rules;

    std::optional<QString> spellLang;
    std::optional<QString> spellLangEn;
    bool spellLoaded = false;
    bool guessLoaded = false;
    WordCounts corpusFreq;
    WordSet openWords;
    WordSet openStrong;
    LivePrefixes livePrefixes;
    QSet<QString> corpusPhoneticKeys;
    WordPairs corpusTypos;
    QHash<QString, qint64> wordBigrams;

    // Loads on the calling (main) thread unless a load already ran or is running.
    void loadSpellIfNeeded();
    void loadGuessIfNeeded();
    void buildLivePrefixes();

    // Starts the spell load on a worker thread, so that the first finished word never waits
    // for the files or the spell checker's dictionaries; the tables arrive whole through the
    // main queue. Questions asked meanwhile see empty tables and no spell-checker language,
    // which every check reads as "no answer". Does nothing once a load has started.
    void startLoadingInBackground();
    // True while a background load has not yet handed its tables over.
    bool isLoading() const { return loading_; }

    // The user-defaults key "layoutSpellGuess"; turning it on once the spell lexicons are in
    // place loads the guess tables at once.
    bool isSpellGuessEnabled() const;
    void setSpellGuessEnabled(bool on);

    static QString phoneticKey(const QString& word);
    static bool isCyrillicLetter(QChar c);
    static bool isCyrillicLetter(const QString& character);

    // Waits for a background load's worker to finish (its tables are then queued on the
    // main queue, not yet installed).
    void joinLoader();

private:
    struct SpellTables;
    struct GuessTables;
    struct SpellInputs;
    SpellInputs gatherSpellInputs() const;
    static SpellTables readSpellTables(const SpellInputs& in);
    void installSpellTables(SpellTables&& t);
    static GuessTables readGuessTables(const QString& modelsDir, const WordCounts& corpus);
    void installGuessTables(GuessTables&& t);
    void startGuessInBackground();
    void runWorker(std::function<void()> work);

    // The live prefixes made with the corpus file, for rebuilding the table.
    std::shared_ptr<const WordSetFile> prefixFile_;
    bool loading_ = false;
    std::thread worker_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace murmelo
