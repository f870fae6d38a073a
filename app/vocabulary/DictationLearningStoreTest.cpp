#include "vocabulary/DictationLearningStore.h"

#include "TestEnvironment.h"
#include "base/Defaults.h"
#include "platform/Workspace.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

const DictationContext kA{QStringLiteral("com.example.a"), QStringLiteral("A")};
const DictationContext kB{QStringLiteral("com.example.b"), QStringLiteral("B")};

LearnedDictationReplacement global(const QString& source, const QString& replacement) {
    return LearnedDictationReplacement::make(source, replacement, DictationLearningScope::global, std::nullopt,
                                             std::nullopt);
}

LearnedDictationReplacement inApp(const QString& source, const QString& replacement,
                                  std::optional<QString> bundleID, std::optional<QString> name = std::nullopt) {
    return LearnedDictationReplacement::make(source, replacement, DictationLearningScope::application, bundleID, name);
}

QJsonObject parse(const QByteArray& json) { return QJsonDocument::fromJson(json).object(); }

}  // namespace

// ---- the records

namespace {

struct OneFrontApp : Workspace {
    std::optional<AppIdentity> front;
    std::optional<AppIdentity> frontmostApplication() const override { return front; }
    bool isRunning(const AppIdentity&) const override { return true; }
    std::vector<AppIdentity> runningApplications() const override { return front ? std::vector{*front} : std::vector<AppIdentity>{}; }
    bool activate(const AppIdentity&) override { return true; }
    void setActivationHandler(std::function<void(const AppIdentity&)>) override {}
};

}  // namespace

TEST(DictationRecords, TheContextNamesTheFrontApplication) {
    OneFrontApp workspace;
    ScopedService<Workspace> scope{workspace};
    EXPECT_FALSE(DictationContext::current());
    workspace.front = AppIdentity{QString(), QString(), 512};
    EXPECT_EQ(DictationContext::current(), (DictationContext{"pid.512", "Приложение"}));
    workspace.front = AppIdentity{QStringLiteral("org.gnome.texteditor"), QStringLiteral("Текст"), 7};
    EXPECT_EQ(DictationContext::current(), (DictationContext{"org.gnome.texteditor", "Текст"}));
    // Its JSON form.
    const QJsonObject json = toJson(*DictationContext::current());
    EXPECT_EQ(dictationContextFromJson(json), DictationContext::current());
    EXPECT_FALSE(dictationContextFromJson(parse(R"({"bundleID":"x"})")));
}

TEST(DictationRecords, ANewRuleHasAnUpperCaseUuidAndAGlobalOneNoApplication) {
    test::TestEnvironment env;
    const auto g = LearnedDictationReplacement::make(QStringLiteral("кот"), QStringLiteral("пёс"),
                                                     DictationLearningScope::global, QStringLiteral("com.x"),
                                                     QStringLiteral("X"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"))
                    .match(g.id)
                    .hasMatch())
        << g.id.toStdString();
    EXPECT_EQ(g.createdAt, env.clock().now());
    EXPECT_FALSE(g.bundleID);
    EXPECT_FALSE(g.appName);
    const auto a = inApp(QStringLiteral("кот"), QStringLiteral("пёс"), QStringLiteral("com.x"), QStringLiteral("X"));
    EXPECT_EQ(a.bundleID, QStringLiteral("com.x"));
    EXPECT_EQ(a.appName, QStringLiteral("X"));
    EXPECT_NE(a.id, g.id);
}

TEST(DictationRecords, JsonRoundTripAndItsForm) {
    test::TestEnvironment env;
    const auto a = inApp(QStringLiteral("Мише"), QStringLiteral("Маше"), QStringLiteral("com.x"), QStringLiteral("X"));
    EXPECT_EQ(LearnedDictationReplacement::fromJson(a.toJson()), a);

    const QJsonObject g = global(QStringLiteral("кот"), QStringLiteral("пёс")).toJson();
    EXPECT_FALSE(g.contains(QStringLiteral("bundleID")));
    EXPECT_FALSE(g.contains(QStringLiteral("appName")));
    EXPECT_EQ(g.value(QStringLiteral("scope")).toString(), QStringLiteral("global"));
    EXPECT_TRUE(g.value(QStringLiteral("createdAt")).isDouble());

    const LastDeliveredDictation last{QStringLiteral("а"), QStringLiteral("б"), kA, SmartCleanupMode::clean,
                                      env.clock().now()};
    const QJsonObject lastJson = last.toJson();
    EXPECT_EQ(lastJson.value(QStringLiteral("cleanupMode")).toString(), QStringLiteral("clean"));
    EXPECT_EQ(lastJson.value(QStringLiteral("context")).toObject().value(QStringLiteral("bundleID")).toString(),
              kA.bundleID);
    EXPECT_EQ(LastDeliveredDictation::fromJson(lastJson), last);
    LastDeliveredDictation none = last;
    none.context.reset();
    EXPECT_FALSE(none.toJson().contains(QStringLiteral("context")));
    EXPECT_EQ(LastDeliveredDictation::fromJson(none.toJson()), none);
}

TEST(DictationRecords, DecodingIsStrictAboutWhatIsRequired) {
    const QByteArray good =
        R"({"id":"X","source":"a","replacement":"b","scope":"global","createdAt":0})";
    const auto zero = LearnedDictationReplacement::fromJson(parse(good));
    ASSERT_TRUE(zero);
    EXPECT_EQ(zero->createdAt, QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC));

    struct Case {
        const char* name;
        QByteArray json;
        bool decodes;
    };
    const Case cases[] = {
        {"scope with a capital", R"({"id":"X","source":"a","replacement":"b","scope":"Global","createdAt":0})", false},
        {"missing source", R"({"id":"X","replacement":"b","scope":"global","createdAt":0})", false},
        {"date as text", R"({"id":"X","source":"a","replacement":"b","scope":"global","createdAt":"0"})", false},
        {"bundle id of a number", R"({"id":"X","source":"a","replacement":"b","scope":"global","createdAt":0,"bundleID":5})", false},
        {"null optionals", R"({"id":"X","source":"a","replacement":"b","scope":"application","createdAt":1.5,"bundleID":null,"appName":null})", true},
        {"unknown keys", R"({"id":"X","source":"a","replacement":"b","scope":"global","createdAt":0,"extra":[1]})", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LearnedDictationReplacement::fromJson(parse(c.json)).has_value(), c.decodes) << c.name;

    // What was stored is kept as stored: a global rule with an application keeps it.
    const auto kept = LearnedDictationReplacement::fromJson(
        parse(R"({"id":"X","source":"a","replacement":"b","scope":"global","createdAt":0,"bundleID":"com.x"})"));
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->bundleID, QStringLiteral("com.x"));
}

// ---- applying rules

TEST(DictationLearningStoreApply, MatchesWholeWordsIgnoringCaseAndInsertsLiterally) {
    test::TestEnvironment env;
    struct Case {
        const char* name;
        QString source, replacement, text, expected;
    };
    const Case cases[] = {
        {"case ignored, replacement as written, no match inside a word", "кот", "пёс", "Кот и котёнок",
         "пёс и котёнок"},
        {"two words across a line break and spaces", "новый год", "Новый год", "новый\n   год", "Новый год"},
        {"not across a comma", "новый год", "Новый год", "новый, год", "новый, год"},
        {"not inside an underscore word", "кот", "пёс", "мой_кот", "мой_кот"},
        {"after a hyphen", "кот", "пёс", "супер-кот", "супер-пёс"},
        {"dollar and backslash literally", "цена", "$1 \\n", "цена", "$1 \\n"},
        {"metacharacters in the source", "c++", "cpp", "про c++ и c", "про cpp и c"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DictationLearningStore::apply({global(c.source, c.replacement)}, c.text, std::nullopt), c.expected)
            << c.name;
}

TEST(DictationLearningStoreApply, ApplicationRulesFirstThenLongerPhrases) {
    test::TestEnvironment env;
    DictationLearningStore store(&env.defaults());
    store.add(global(QStringLiteral("Мише"), QStringLiteral("Мишe-global")));
    store.add(inApp(QStringLiteral("мише"), QStringLiteral("Маше"), kA.bundleID, kA.appName));
    EXPECT_EQ(store.rules().size(), 2);
    EXPECT_EQ(store.apply(QStringLiteral("Позвони Мише"), kA), QStringLiteral("Позвони Маше"));
    EXPECT_EQ(store.apply(QStringLiteral("Позвони Мише"), kB), QStringLiteral("Позвони Мишe-global"));
    EXPECT_EQ(store.apply(QStringLiteral("Позвони Мише"), std::nullopt), QStringLiteral("Позвони Мишe-global"));

    // The longer phrase goes first; the shorter sees what it produced.
    const QList<LearnedDictationReplacement> rules = {global(QStringLiteral("год"), QStringLiteral("лет")),
                                                      global(QStringLiteral("новый год"), QStringLiteral("Новый год"))};
    EXPECT_EQ(DictationLearningStore::apply(rules, QStringLiteral("новый год и год"), std::nullopt),
              QStringLiteral("Новый лет и лет"));
    // An application rule without an application applies only where there is none.
    const QList<LearnedDictationReplacement> noApp = {inApp(QStringLiteral("кот"), QStringLiteral("пёс"), std::nullopt)};
    EXPECT_EQ(DictationLearningStore::apply(noApp, QStringLiteral("кот"), std::nullopt), QStringLiteral("пёс"));
    EXPECT_EQ(DictationLearningStore::apply(noApp, QStringLiteral("кот"), kA.bundleID), QStringLiteral("кот"));
}

// ---- the stored list

TEST(DictationLearningStore, AddReplacesDuplicatesAndKeepsNewestFirst) {
    test::TestEnvironment env;
    DictationLearningStore store(&env.defaults());
    store.add(inApp(QStringLiteral("мише"), QStringLiteral("Маше"), kA.bundleID));
    env.clock().advance(1);
    store.add(global(QStringLiteral("мише"), QStringLiteral("Маше")));
    env.clock().advance(1);
    const auto newer = inApp(QStringLiteral("МИШЕ"), QStringLiteral("Мишеньке"), kA.bundleID);
    store.add(newer);
    const auto rules = store.rules();
    ASSERT_EQ(rules.size(), 2);
    EXPECT_EQ(rules[0], newer);
    EXPECT_EQ(rules[1].scope, DictationLearningScope::global);

    store.remove(QStringLiteral("no such id"));
    EXPECT_EQ(store.rules().size(), 2);
    store.remove(rules[1].id);
    store.remove(rules[0].id);
    EXPECT_TRUE(store.rules().isEmpty());
    EXPECT_FALSE(env.defaults().contains(DictationLearningStore::rulesKey));

    store.add(newer);
    store.clear();
    EXPECT_FALSE(env.defaults().contains(DictationLearningStore::rulesKey));
}

TEST(DictationLearningStore, ACorruptRecordDoesNotCostTheOthers) {
    test::TestEnvironment env;
    DictationLearningStore store(&env.defaults());
    const auto good = inApp(QStringLiteral("Мише"), QStringLiteral("Маше"), kA.bundleID);
    QJsonArray stored{good.toJson(),
                      parse(R"({"id":"BAD","source":"кот","replacement":"пёс","scope":"Global","createdAt":0})")};
    env.defaults().set(DictationLearningStore::rulesKey, QJsonDocument(stored).toJson(QJsonDocument::Compact));

    EXPECT_EQ(store.rules(), QList<LearnedDictationReplacement>{good});
    EXPECT_EQ(store.apply(QStringLiteral("Позвони Мише"), kA), QStringLiteral("Позвони Маше"));

    env.clock().advance(1);
    const auto added = global(QStringLiteral("кот"), QStringLiteral("пёс"));
    store.add(added);
    EXPECT_EQ(store.rules(), (QList<LearnedDictationReplacement>{added, good}));
    // The unreadable record is written back untouched.
    const QJsonArray after = QJsonDocument::fromJson(env.defaults().dataValue(DictationLearningStore::rulesKey)).array();
    ASSERT_EQ(after.size(), 3);
    EXPECT_EQ(after[2].toObject().value(QStringLiteral("id")).toString(), QStringLiteral("BAD"));

    // A value that is no list at all reads as none.
    env.defaults().set(DictationLearningStore::rulesKey, QByteArray("{oops"));
    EXPECT_TRUE(store.rules().isEmpty());
}

TEST(DictationLearningStore, PromptTermsOfTheApplicationNewestFirstWithoutRepeats) {
    test::TestEnvironment env;
    DictationLearningStore store(&env.defaults());
    store.add(global(QStringLiteral("фигма"), QStringLiteral("figma")));
    env.clock().advance(1);
    store.add(inApp(QStringLiteral("линеар"), QStringLiteral("Linear"), kA.bundleID));
    env.clock().advance(1);
    store.add(inApp(QStringLiteral("рекрафт"), QStringLiteral("Recraft"), std::nullopt));
    env.clock().advance(1);
    store.add(global(QStringLiteral("фигму"), QStringLiteral("Figma")));
    EXPECT_EQ(store.promptTerms(std::nullopt), (QStringList{"Figma", "Recraft"}));
    EXPECT_EQ(store.promptTerms(kA), (QStringList{"Figma", "Linear"}));
}

TEST(DictationLearningStore, RecordLastKeepsTheLatestDictation) {
    test::TestEnvironment env;
    DictationLearningStore store(&env.defaults());
    EXPECT_FALSE(store.lastDelivered());
    store.recordLast(QStringLiteral("а"), QStringLiteral("б"), kA, SmartCleanupMode::structured);
    store.recordLast(QStringLiteral("в"), QStringLiteral("г"), std::nullopt, SmartCleanupMode::literal);
    const LastDeliveredDictation expected{QStringLiteral("в"), QStringLiteral("г"), std::nullopt,
                                          SmartCleanupMode::literal, env.clock().now()};
    EXPECT_EQ(store.lastDelivered(), expected);
}

// ---- proposing a rule

TEST(DictationLearningStore, CorrectionCandidates) {
    test::TestEnvironment env;
    DictationLearningStore store(&env.defaults());
    struct Case {
        const char* name;
        QString original, corrected;
        std::optional<DictationCorrectionCandidate> expected;
    };
    using C = DictationCorrectionCandidate;
    const Case cases[] = {
        {"one word in the middle", "Позвони Мише завтра", "Позвони Маше завтра", C{"Мише", "Маше"}},
        {"one-word text: no anchor", "Мише", "Маше", std::nullopt},
        {"six words changed", "я а б в г д е", "я 1 2 3 4 5 6", std::nullopt},
        {"five words changed", "я аа бб вв гг дд", "я ее жж зз ии кк", C{"аа бб вв гг дд", "ее жж зз ии кк"}},
        {"one-character source", "я и ты", "я или ты", std::nullopt},
        {"only punctuation", "Привет, мир", "Привет! мир?", std::nullopt},
        {"last word before a full stop", "Позвони Мише.", "Позвони Маше.", C{"Мише.", "Маше."}},
        {"case alone", "позвони мише", "позвони Мише", C{"мише", "Мише"}},
        {"pure insertion", "позвони завтра", "позвони Маше завтра", std::nullopt},
        {"empty corrected", "позвони", "", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(store.correctionCandidate(c.original, c.corrected), c.expected) << c.name;
    // Phrases over 80 characters are not learned.
    const QString longWord(81, QLatin1Char('x'));
    EXPECT_FALSE(store.correctionCandidate(QStringLiteral("я ab"), QStringLiteral("я ") + longWord));
}
