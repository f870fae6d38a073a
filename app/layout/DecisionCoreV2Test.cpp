#include "LayoutTestSupport.h"

#include "base/Graphemes.h"
#include "base/Log.h"
#include "layout/DecisionCoreV2.h"
#include "layout/LayoutLexicons.h"
#include "layout/LayoutSwitcherHost.h"
#include "layout/ShadowCoreV2.h"

#include <cstdlib>

using namespace murmelo;

namespace {

// A switcher with a small lexicon: what V2 and the shadow ask of it.
struct FakeSwitcher : LayoutSwitcherHost {
    QHash<QString, QSet<QString>> words{{"ru", {"привет", "да", "пост", "нет"}}, {"en", {"hello", "yes", "post"}}};
    QHash<QString, QSet<QString>> curated{{"ru", {"да", "нет"}}, {"en", {}}};
    LivePrefixes prefixes{"при", "пр"};
    QString start = QStringLiteral("clean");

    std::optional<bool> isRealWordInLayout(const QString& w, const QString& l, bool) override {
        return words.value(l).contains(w);
    }
    std::optional<bool> isRealShortWordCurated(const QString& w, const QString& l, bool) override {
        return curated.value(l).contains(w);
    }
    const LivePrefixes& livePrefixes() const override { return prefixes; }
    QString bufStart() const override { return start; }
    QString prevWord() const override { return QStringLiteral("мой"); }
    std::optional<QString> recentLang() const override { return QStringLiteral("ru"); }
};

struct DecisionCoreV2Test : test::SimulatedLayouts {
    FakeSwitcher switcher;

    DecisionResultV2 decide(const char* word, bool atBoundary, std::optional<QString> keysLang = std::nullopt,
                            WordStartV2 start = WordStartV2::clean) {
        EvidenceModelV2 m;
        m.word = QString::fromUtf8(word);
        if (atBoundary) m.boundary = QStringLiteral(" ");
        std::vector<KeyEvidenceV2> typed;
        for (const QString& c : graphemes(m.word)) typed.push_back({1, c, keysLang});
        m.keys = EvidenceModelV2::alignKeys(m.word, typed);
        m.start = start;
        return decideV2(m, ShadowCoreV2::languagePair(&switcher));
    }
};

}  // namespace

TEST_F(DecisionCoreV2Test, OutcomesWithTheShadowsPair) {
    const std::optional<QString> en = QStringLiteral("en"), ru = QStringLiteral("ru"), none;
    struct Case {
        const char* name;
        const char* word;
        bool atBoundary;
        std::optional<QString> keys;
        WordStartV2 start;
        const char* label;
        const char* reason;
    } cases[] = {
        {"digits and punctuation", "12,3!", true, none, WordStartV2::clean, "keep", "no-letter-core"},
        {"letters of neither script", "ÿü", true, none, WordStartV2::clean, "keep", "keys-silent"},
        {"keys of a third layout", "ghbdtn", true, QStringLiteral("de"), WordStartV2::clean, "keep", "foreign-layout"},
        {"a word as typed", "hello", true, en, WordStartV2::clean, "keep", "dict-current"},
        {"quotes and comma ignored", "«ghbdtn»,", true, none, WordStartV2::clean, "convert(ru)", "dict-twin"},
        {"hyphen stays in the core", "ghb-dtn", true, en, WordStartV2::clean, "keep", "no-evidence"},
        {"twin while typing", "ghbdtn", false, en, WordStartV2::clean, "convert(ru)", "dict-twin"},
        {"no twin while typing", "ghbdtx", false, en, WordStartV2::clean, "defer", "no-evidence-yet"},
        {"short live twin waits", "lf", false, en, WordStartV2::clean, "defer", "short-core-awaits-boundary"},
        {"short twin at the boundary", "lf", true, en, WordStartV2::clean, "convert(ru)", "dict-twin"},
        {"short twin toward English holds", "нуы", true, ru, WordStartV2::clean, "convert(en)", "dict-twin|tis-hold"},
        {"short twin after a click", "lf", true, en, WordStartV2::click, "keep", "short-token-edit-gate"},
        {"short live twin after erasing", "lf", false, en, WordStartV2::bs, "keep", "short-token-edit-gate"},
        {"capitals typed in Russian rescued", "ЗЩЫЕ", true, ru, WordStartV2::clean, "convert(en)", "r39-caps-rescue"},
        {"capitals typed in Russian, live", "ЗЩЫЕ", false, ru, WordStartV2::clean, "convert(en)", "dict-twin|tis-hold"},
        {"capitals typed in English kept", "GJCY", true, en, WordStartV2::clean, "keep", "r39-caps-keep"},
        {"capitals typed in English, live", "GJCY", false, en, WordStartV2::clean, "defer", "r39-caps-live-veto"},
        {"curated short word lets evidence decide", "YTN", true, en, WordStartV2::clean, "convert(ru)", "dict-twin"},
        {"five capitals are no abbreviation", "GHBDTN", true, en, WordStartV2::clean, "convert(ru)", "dict-twin"},
        {"protected beginning while typing", "при", false, ru, WordStartV2::clean, "defer", "r12-prefix-veto"},
        {"prefix veto only from three letters", "пр", false, ru, WordStartV2::clean, "defer", "no-evidence-yet"},
        {"prefix veto never at the boundary", "при", true, ru, WordStartV2::clean, "keep", "no-evidence"},
        {"both readings words: kept", "yes", true, en, WordStartV2::clean, "keep", "dict-current"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DecisionResultV2 r = decide(c.word, c.atBoundary, c.keys, c.start);
        EXPECT_EQ(r.verdict.label(), QString::fromLatin1(c.label));
        EXPECT_EQ(r.reason, QString::fromLatin1(c.reason));
        EXPECT_EQ(r.verdict.actsNow(), QString::fromLatin1(c.label).startsWith("convert("));
    }
}

TEST(DecisionCoreV2EvidenceTest, TypedLayoutFromKeysElseScript) {
    EvidenceModelV2 m;
    m.word = QStringLiteral("aб");
    m.keys = {{1, "a", QStringLiteral("en")}, {2, "б", QStringLiteral("ru")}};
    EXPECT_FALSE(m.keysLayout());
    EXPECT_EQ(m.typedLayout(), "ru");  // a tie of scripts reads as Russian
    m.keys = {{1, "a", std::nullopt}, {2, "б", QStringLiteral("en")}};
    EXPECT_EQ(m.typedLayout(), "en");
    m.word = QStringLiteral("abб");
    m.keys = {};
    EXPECT_EQ(m.typedLayout(), "en");
    m.word = QStringLiteral("42");
    EXPECT_FALSE(m.typedLayout());
}

TEST(DecisionCoreV2EvidenceTest, KeysAlignToTheEndOfTheWord) {
    const std::vector<KeyEvidenceV2> observed{
        {7, "x", QStringLiteral("en")}, {4, "a", QStringLiteral("en")}, {11, "b", QStringLiteral("en")}};
    auto keys = EvidenceModelV2::alignKeys("cab", observed);
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(keys[0], (KeyEvidenceV2{std::nullopt, "c", std::nullopt}));
    EXPECT_EQ(keys[1], observed[1]);
    EXPECT_EQ(keys[2], observed[2]);
    keys = EvidenceModelV2::alignKeys("ab", observed);
    EXPECT_EQ(keys, (std::vector<KeyEvidenceV2>{observed[1], observed[2]}));
    // A mismatch at the end leaves every key bare.
    keys = EvidenceModelV2::alignKeys("ba", observed);
    EXPECT_FALSE(keys[0].keycode || keys[1].keycode);
    EXPECT_TRUE(EvidenceModelV2::alignKeys("", observed).empty());
}

// The shadow.

namespace {

struct EnvVar {
    QByteArray name, old;
    bool had;
    EnvVar(const char* n, const char* value) : name(n), old(qgetenv(n)), had(qEnvironmentVariableIsSet(n)) {
        if (value) qputenv(n, value); else qunsetenv(n);
    }
    ~EnvVar() { if (had) qputenv(name, old); else qunsetenv(name); }
};

struct ShadowCoreV2Test : DecisionCoreV2Test {
    ShadowCoreV2 shadow;
    QStringList lines;
    void SetUp() override {
        DecisionCoreV2Test::SetUp();
        ShadowCoreV2::resetSharedForTesting();
        shadow.lineSink = [this](const QString& l) { lines << l; };
    }
    void TearDown() override {
        ShadowCoreV2::resetSharedForTesting();
        DecisionCoreV2Test::TearDown();
    }
    void type(const QString& text, const char* lang) {
        for (const QString& c : graphemes(text)) shadow.noteKey(3, c, QString::fromLatin1(lang));
    }
};

}  // namespace

TEST_F(ShadowCoreV2Test, SwitchedOnOnlyByTheVariableOrTheSetting) {
    struct Case {
        const char* name;
        const char* env;
        std::optional<bool> setting;
        bool on;
    } cases[] = {
        {"neither", nullptr, std::nullopt, false},
        {"variable 0, setting off", "0", false, false},
        {"variable yes is not 1", "yes", std::nullopt, false},
        {"variable 1", "1", std::nullopt, true},
        {"setting on", nullptr, true, true},
        {"variable 0 leaves it to the setting", "0", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EnvVar var("MURMELO_V2_SHADOW", c.env);
        if (c.setting) env.defaults().set("layoutV2Shadow", *c.setting); else env.defaults().remove("layoutV2Shadow");
        ShadowCoreV2::resetSharedForTesting();
        EXPECT_EQ(ShadowCoreV2::shared() != nullptr, c.on);
        // Decided once: a later change waits for the next start.
        env.defaults().set("layoutV2Shadow", !c.on);
        EXPECT_EQ(ShadowCoreV2::shared() != nullptr, c.on);
    }
}

TEST_F(ShadowCoreV2Test, KeyRecordFollowsTheWords) {
    shadow.noteKey(1, "ab", QStringLiteral("en"));  // a composition of two characters
    shadow.noteKey(1, "", QStringLiteral("en"));
    EXPECT_TRUE(shadow.observed.empty());

    type("hi", "en");
    shadow.noteBackspace();
    EXPECT_EQ(shadow.observed.size(), 1u);
    EXPECT_EQ(shadow.erased, 1);
    shadow.noteKey(49, " ", std::nullopt);
    EXPECT_TRUE(shadow.wordClosed);
    EXPECT_EQ(shadow.observed.size(), 1u);  // kept until the next word starts
    shadow.noteBackspace();                 // starts a new record first
    EXPECT_TRUE(shadow.observed.empty());
    EXPECT_EQ(shadow.erased, 1);
    EXPECT_FALSE(shadow.wordClosed);

    for (int i = 0; i < 200; ++i) shadow.noteKey(i, QString(QChar(u'a' + i % 26)), QStringLiteral("en"));
    ASSERT_EQ(shadow.observed.size(), 128u);
    EXPECT_EQ(shadow.observed.front().keycode, 72);
    EXPECT_EQ(shadow.observed.back().keycode, 199);
}

TEST_F(ShadowCoreV2Test, BoundaryLineSetsTheSwitcherAgainstV2) {
    type("ghbdtn", "en");
    const EvidenceModelV2 m = shadow.snapshotBoundary("ghbdtn", QStringLiteral(" "), "nav", &switcher);
    EXPECT_EQ(m.start, WordStartV2::nav);
    EXPECT_EQ(m.keys.front().deliveredBy, "en");
    EXPECT_EQ(m.context, (WordContextV2{"мой", QStringLiteral("ru")}));
    EXPECT_EQ(shadow.snapshotBoundary("x", std::nullopt, "weird", &switcher).start, WordStartV2::clean);

    shadow.compareBoundary(m, true, &switcher);
    shadow.compareBoundary(m, false, &switcher);
    shadow.compareBoundary(std::nullopt, true, &switcher);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith("shadow/v2: " + priv("ghbdtn") + " boundary"));
    EXPECT_TRUE(lines[0].endsWith(" boundary old=convert new=convert(ru) agree reason=dict-twin"));
    EXPECT_TRUE(lines[1].endsWith(" boundary old=keep new=convert(ru) disagree reason=dict-twin"));

    // Without the switcher the lookups answer nothing: no evidence.
    shadow.compareBoundary(m, false, nullptr);
    EXPECT_TRUE(lines.last().endsWith(" old=keep new=keep agree reason=no-evidence"));
}

TEST_F(ShadowCoreV2Test, LiveLineOnlyWhenOneSideActs) {
    type("ghbd", "en");
    shadow.compareLive(shadow.snapshotLive("ghbd", &switcher), false, &switcher);
    EXPECT_TRUE(lines.isEmpty());  // two silences agree without a line
    shadow.compareLive(shadow.snapshotLive("ghbd", &switcher), true, &switcher);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].endsWith(" live old=convert new=defer disagree reason=no-evidence-yet"));

    type("tn", "en");
    shadow.compareLive(shadow.snapshotLive("ghbdtn", &switcher), false, &switcher);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[1].contains(" live old=keep new=convert(ru) disagree reason=dict-twin"));
}

TEST_F(ShadowCoreV2Test, LinesGoToTheLogWithoutASink) {
    shadow.lineSink = nullptr;
    shadow.compareBoundary(shadow.snapshotBoundary("hello", QStringLiteral(" "), "clean", &switcher), false, &switcher);
    EXPECT_TRUE(env.logContains(" boundary old=keep new=keep agree reason=dict-current"));
}

TEST_F(ShadowCoreV2Test, TheApplicationsHostAnswersFromTheSharedLexicons) {
    LayoutLexicons lex{env.root(), LayoutSwitcherRules{}};
    lex.spellLoaded = true;
    lex.corpusFreq = {{QStringLiteral("привет"), 900}};
    lex.livePrefixes.insert(QStringLiteral("при"));
    ScopedService<LayoutLexicons> scope{lex};
    LayoutSwitcherHost host;

    type("ghbdtn", "en");
    shadow.compareBoundary(shadow.snapshotBoundary("ghbdtn", QStringLiteral(" "), "clean", &host), false, &host);
    type("при", "ru");
    shadow.compareLive(shadow.snapshotLive("при", &host), true, &host);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].endsWith(" boundary old=keep new=convert(ru) disagree reason=dict-twin"));
    EXPECT_TRUE(lines[1].endsWith(" live old=convert new=defer disagree reason=r12-prefix-veto"));
}
