#include "cleanup/LangGuess.h"
#include "cleanup/SmartCleanupLanguageProfile.h"
#include "cleanup/SmartCleanupProfileRegistry.h"
#include "cleanup/SmartCleanupRegex.h"
#include "cleanup/SmartCleanupSkillRegistry.h"

#include "TestEnvironment.h"

#include <QJsonArray>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

QStringList ids(const QList<SmartCleanupLanguageProfile>& profiles) {
    QStringList out;
    for (const auto& p : profiles) out << p.id.rawValue;
    return out;
}

}  // namespace

TEST(SmartCleanupLanguageProfileTest, NumberValues) {
    const auto& en = SmartCleanupLanguageProfile::english();
    const auto& ru = SmartCleanupLanguageProfile::russian();
    struct Case {
        const SmartCleanupLanguageProfile& profile;
        const char* word;
        bool allowListOrdinals;
        std::optional<qint64> expected;
    };
    const Case cases[] = {
        {en, "Five", false, 5},
        {en, "first", false, std::nullopt},
        {en, "first", true, 1},
        {en, "twenty", true, 20},
        {en, "firstly", true, std::nullopt},  // discourse ordinals are a table of their own
        {en, "007", false, 7},
        {en, "+12", false, 12},
        {en, "-3", false, -3},
        {en, "9223372036854775807", false, Q_INT64_C(9223372036854775807)},
        {en, "-9223372036854775808", false, std::numeric_limits<qint64>::min()},
        {en, "9223372036854775808", false, std::nullopt},
        {en, "99999999999999999999", false, std::nullopt},
        {en, "-", false, std::nullopt},
        {en, " 5", false, std::nullopt},
        {en, "٥", false, std::nullopt},  // only the digits 0 to 9
        {ru, "Двадцать", false, 20},
        {ru, "четвёртый", true, 4},
        {ru, "четвертое", true, 4},
        {ru, "пятая", true, std::nullopt},  // feminine ordinals stop at three
        {ru, "одна", false, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.profile.numberValue(QString::fromUtf8(c.word), c.allowListOrdinals), c.expected) << c.word;
    }
}

TEST(SmartCleanupLanguageProfileTest, TablesHoldTheirWordsOnce) {
    const auto& en = SmartCleanupLanguageProfile::english();
    const auto& ru = SmartCleanupLanguageProfile::russian();
    EXPECT_EQ(en.cardinalNumbers.size(), 21);
    EXPECT_EQ(en.listNumbers.size(), 31);
    EXPECT_EQ(ru.cardinalNumbers.size(), 23);
    EXPECT_EQ(ru.listOrdinalNumbers.size(), 25);
    EXPECT_EQ(ru.listNumbers.size(), 48);
    EXPECT_EQ(ru.listDiscourseNumbers.size(), 11);
    // Punctuation commands in order: the semicolon phrase before the full stop.
    QStringList ruCommands;
    for (const auto& r : ru.commandRules) ruCommands << r.id.rawValue;
    EXPECT_LT(ruCommands.indexOf("ru.command.semicolon"), ruCommands.indexOf("ru.command.period"));
    // Every rule of both profiles compiles.
    test::TestEnvironment env;
    for (const auto* p : {&en, &ru}) {
        QStringList patterns;
        for (const auto& r : p->backtrackRules) patterns << r.markerPattern;
        for (const auto& r : p->fillerRules) patterns << r.tokenPattern;
        for (const auto& r : p->commandRules) patterns << r.phrasePattern;
        for (const auto& r : p->unitRules) patterns << r.unitPattern;
        patterns << p->explicitNumberPrefixes;
        for (const QString& pattern : patterns)
            EXPECT_TRUE(SmartCleanupRegex::compile(pattern, SmartCleanupRegex::caseInsensitive).isValid()) << pattern.toStdString();
    }
    EXPECT_TRUE(env.logLines().isEmpty());
}

TEST(SmartCleanupLanguageProfileTest, UnitFormat) {
    const auto& en = SmartCleanupLanguageProfile::english();
    const auto& ru = SmartCleanupLanguageProfile::russian();
    EXPECT_EQ(ru.unitRules[1].format(12), "12 кг");
    EXPECT_EQ(en.unitRules[0].format(12), "12%");
    EXPECT_EQ(en.unitRules[1].format(2), "2 kg");
    EXPECT_EQ(en.unitRules[0].format(-5), "-5%");
}

// Marker words end at a word boundary: a longer word that merely starts like a marker is no
// self-correction.
TEST(SmartCleanupLanguageProfileTest, CorrectionMarkersEndAtAWordBoundary) {
    auto marker = [](const SmartCleanupLanguageProfile& p, const char* ruleID) {
        for (const auto& r : p.backtrackRules)
            if (r.id.rawValue == QLatin1String(ruleID)) return SmartCleanupRegex::compile(r.markerPattern, SmartCleanupRegex::caseInsensitive);
        return Regex::compile(QString());
    };
    const Regex ruDiscard = marker(SmartCleanupLanguageProfile::russian(), "ru.backtrack.discard");
    const Regex ruTail = marker(SmartCleanupLanguageProfile::russian(), "ru.backtrack.tail");
    const Regex enTail = marker(SmartCleanupLanguageProfile::english(), "en.backtrack.tail");
    const Regex enDiscard = marker(SmartCleanupLanguageProfile::english(), "en.backtrack.discard");
    struct Case {
        const Regex& regex;
        const char* text;
        const char* marker;  // the whole match, or nullptr for none
    };
    const Case cases[] = {
        {ruDiscard, "Оформи заказ, отменить подписку", nullptr},
        {ruDiscard, "Оформи заказ, забудьте про скидку", nullptr},
        {ruDiscard, "Купи молоко, отмени это, купи хлеб", ", отмени это, "},
        {ruDiscard, "Купи молоко, Забудь, купи хлеб", ", Забудь, "},
        {ruTail, "в пять, нет, лучшего не найти", ", нет, "},
        {ruTail, "в пять, нет, лучше в шесть", ", нет, лучше "},
        {enTail, "call her, i meant it", nullptr},
        {enTail, "at five, actually six", ", actually "},
        {enTail, "at five - I mean, six", "- I mean, "},
        {enDiscard, "buy milk, scratch thatch", nullptr},
        {enDiscard, "buy milk, scratch that, buy bread", ", scratch that, "},
    };
    for (const Case& c : cases) {
        const QString text = QString::fromUtf8(c.text);
        const auto m = c.regex.firstMatch(text);
        if (!c.marker) {
            EXPECT_FALSE(m.has_value()) << c.text;
        } else {
            ASSERT_TRUE(m.has_value()) << c.text;
            EXPECT_EQ(m->captured(text), QString::fromUtf8(c.marker)) << c.text;
        }
    }
}

TEST(SmartCleanupProfileRegistryTest, ProfileChoice) {
    struct Case {
        const char* name;
        std::optional<QString> language;
        std::optional<QString> text;
        QStringList expected;
    };
    const QString russian = "Мы были рады вас видеть";
    const Case cases[] = {
        {"no tag", std::nullopt, QString("Hello world"), {"ru", "en"}},
        {"empty tag", QString(""), russian, {"ru", "en"}},
        {"ru-RU with Russian text", QString("ru-RU"), russian, {"ru"}},
        {"RU", QString("RU"), std::nullopt, {"ru"}},
        {"en_GB", QString("en_GB"), QString("Hello there"), {"en"}},
        {"en with Russian text", QString("en"), russian, {}},
        {"ru with Latin text", QString("ru"), QString("Hello world"), {}},
        {"ru with Ukrainian text", QString("ru"), QString("Привіт, як справи?"), {}},
        {"ru with undecided text", QString("ru"), QString("Привет мир"), {"ru"}},
        {"de", QString("de"), QString("Hallo Welt"), {}},
        // whisper.cpp's server names the language in words.
        {"russian", QString("russian"), russian, {"ru"}},
        {"English", QString("English"), QString("Hello there"), {"en"}},
        {"russian with Latin text", QString("russian"), QString("Hello world"), {}},
        {"german", QString("german"), QString("Hallo Welt"), {}},
    };
    for (const Case& c : cases) EXPECT_EQ(ids(SmartCleanupProfileRegistry::profiles(c.language, c.text)), c.expected) << c.name;
}

TEST(SmartCleanupProfileRegistryTest, RussianTagKeepsItsProfileWithTheLexiconOpen) {
    RuFormsLookup lexicon;
    lexicon.isReady = [] { return true; };
    lexicon.contains = [](const QString& w) { return QStringList{"мы", "были", "рады", "вас", "видеть"}.contains(w); };
    ScopedService<RuFormsLookup> installed(lexicon);
    EXPECT_EQ(ids(SmartCleanupProfileRegistry::profiles(QString("ru-RU"), QString("Мы были рады вас видеть"))), QStringList{"ru"});
    EXPECT_TRUE(ids(SmartCleanupProfileRegistry::profiles(QString("en"), QString("Мы были рады вас видеть"))).isEmpty());
}

TEST(SmartCleanupProfileRegistryTest, AgreementTable) {
    // One text per verdict; "de" stands for every code without a profile.
    struct Case {
        const char* text;
        bool ru, en, de;
    };
    const Case cases[] = {
        {"ok", true, true, true},                          // unknown
        {"Hello world", false, true, true},                // latin
        {"Мы были рады", true, false, true},               // ru
        {"Привіт, як справи?", false, false, true},        // cyrillicNotRu
        {"Καλημέρα κόσμε", false, false, true},            // other
    };
    for (const Case& c : cases) {
        const QString text = QString::fromUtf8(c.text);
        EXPECT_EQ(SmartCleanupProfileRegistry::agreesWithText("ru", text), c.ru) << c.text;
        EXPECT_EQ(SmartCleanupProfileRegistry::agreesWithText("en", text), c.en) << c.text;
        EXPECT_EQ(SmartCleanupProfileRegistry::agreesWithText("de", text), c.de) << c.text;
    }
}

TEST(SmartCleanupSkillRegistryTest, SkillsRuntimeAndCoding) {
    EXPECT_EQ(SmartCleanupSkillRegistry::all().size(), 5);
    EXPECT_EQ(SmartCleanupSkillRegistry::safeFallback(), QSet<SmartCleanupSkillID>{SmartCleanupSkillRegistry::markerThenNumber()});
    EXPECT_EQ(SmartCleanupSkillRegistry::markerThenNumber().rawValue, "ordered-list.marker-number");

    auto& runtime = SmartCleanupSkillRuntime::shared();
    EXPECT_EQ(runtime.activeSkills(), SmartCleanupSkillRegistry::all());
    runtime.activate({});
    EXPECT_TRUE(runtime.activeSkills().isEmpty());
    runtime.activate(SmartCleanupSkillRegistry::safeFallback());
    EXPECT_EQ(runtime.activeSkills(), SmartCleanupSkillRegistry::safeFallback());
    runtime.activate(SmartCleanupSkillRegistry::all());

    const SmartCleanupSkillID id = SmartCleanupSkillRegistry::discourseOrdinal();
    EXPECT_EQ(id.toJson(), QJsonValue("ordered-list.discourse"));
    EXPECT_EQ(SmartCleanupSkillID::fromJson(id.toJson()), id);
    EXPECT_EQ(SmartCleanupSkillID::fromJson(QJsonValue(3)), std::nullopt);
}

TEST(SmartCleanupRegexTest, WordsAndAlternation) {
    EXPECT_EQ(SmartCleanupRegex::words("Hi, it's v1.2 — e-mail _x ’quote’ 42"),
              (QStringList{"Hi", "it's", "v1.2", "e-mail", "x", "quote’", "42"}));
    EXPECT_EQ(SmartCleanupRegex::escapedAlternation({"two", "twenty", "a.b"}), "twenty|two|a\\.b");
    EXPECT_EQ(SmartCleanupRegex::escapedAlternation({"ab", "c", "de", "fgh"}), "fgh|ab|de|c");
    EXPECT_EQ(SmartCleanupRegex::escapedAlternation({}), "");
    EXPECT_EQ(SmartCleanupRegex::escapedAlternation({"(a|b)*", "x+y?", "[z]{2}$^\\"}), "\\[z\\]\\{2\\}\\$\\^\\\\|\\(a\\|b\\)\\*|x\\+y\\?");
    // Longest first by characters, not code units: an emoji pair is one character.
    EXPECT_EQ(SmartCleanupRegex::escapedAlternation({"🇷🇺", "ab"}), "ab|🇷🇺");
    // An escaped alternation matches its words literally, longest first.
    const QString alternation = SmartCleanupRegex::escapedAlternation({"four", "fourteen", "a.b"});
    const Regex r = SmartCleanupRegex::compile("(?:" + alternation + ")", SmartCleanupRegex::caseInsensitive);
    EXPECT_EQ(SmartCleanupRegex::replace(r, "Fourteen, axb, a.b", "#"), "#, axb, #");
}

TEST(SmartCleanupRegexTest, CaseInsensitiveCyrillicPositionsAndTemplates) {
    const Regex r = SmartCleanupRegex::compile("(ёлка)\\s+(\\p{N}+)", SmartCleanupRegex::caseInsensitive);
    const QString text = "🎄 ЁЛКА 12 и ёлка 3";
    const auto found = r.matches(text);
    ASSERT_EQ(found.size(), 2);
    EXPECT_EQ(found[0].start(), 3);  // UTF-16 code units: the emoji takes two
    EXPECT_EQ(found[0].captured(text, 1), "ЁЛКА");
    EXPECT_EQ(found[1].captured(text, 2), "3");
    EXPECT_EQ(SmartCleanupRegex::replace(r, text, "$2×$1"), "🎄 12×ЁЛКА и 3×ёлка");
    EXPECT_FALSE(SmartCleanupRegex::compile("(ёлка)", 0).contains("ЁЛКА"));
    // An optional group that took no part has no range.
    const Regex optional = SmartCleanupRegex::compile("a(b)?c", 0);
    const auto m = optional.firstMatch("xac");
    ASSERT_TRUE(m);
    EXPECT_FALSE(m->groups[1].found());
    EXPECT_EQ(m->captured("xac", 1), "");
}

TEST(SmartCleanupRegexTest, CallbackReplacementWorksFromTheEndAgainstTheOriginalText) {
    const Regex r = SmartCleanupRegex::compile("\\d+", 0);
    QStringList seen;
    const QString out = SmartCleanupRegex::replaceWithCallback(r, "1 22 333", [&](const Regex::Match& m, const QString& source) -> std::optional<QString> {
        seen << m.captured(source);
        if (m.captured(source) == "22") return std::nullopt;
        return QString("<%1>").arg(m.length() * 1000);
    });
    EXPECT_EQ(out, "<1000> 22 <3000>");
    EXPECT_EQ(seen, (QStringList{"333", "22", "1"}));
    EXPECT_EQ(SmartCleanupRegex::replaceWithCallback(r, "none", [](auto&, auto&) { return QString("x"); }), "none");
}

TEST(SmartCleanupRegexTest, ExpressionsAreCompiledOnceAndShared) {
    const Regex a = SmartCleanupRegex::compile("shared\\s+once", SmartCleanupRegex::caseInsensitive);
    const Regex b = SmartCleanupRegex::compile("shared\\s+once", SmartCleanupRegex::caseInsensitive);
    const Regex c = SmartCleanupRegex::compile("shared\\s+once", 0);
    EXPECT_EQ(a.options(), 1u);
    EXPECT_TRUE(b.contains("SHARED once"));
    EXPECT_FALSE(c.contains("SHARED once"));
}

// A rule that does not compile is logged once and then matches nothing, so the text it would
// have changed passes on untouched instead of the run failing.
TEST(SmartCleanupRegexTest, ABrokenPatternIsLoggedOnceAndMatchesNothing) {
    test::TestEnvironment env;
    // A pattern of its own per run: the cache outlives the test.
    static int run = 0;
    const QString pattern = QString("(?:unclosed%1").arg(++run);
    const Regex broken = SmartCleanupRegex::compile(pattern, SmartCleanupRegex::caseInsensitive);
    EXPECT_FALSE(broken.isValid());
    EXPECT_TRUE(broken.matches("unclosed").isEmpty());
    EXPECT_EQ(SmartCleanupRegex::replace(broken, "unclosed", "x"), "unclosed");
    EXPECT_EQ(SmartCleanupRegex::replaceWithCallback(broken, "unclosed", [](auto&, auto&) { return QString("x"); }), "unclosed");
    SmartCleanupRegex::compile(pattern, SmartCleanupRegex::caseInsensitive);
    const QStringList lines = env.logLines().filter("regex: выражение не собрано");
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].endsWith(pattern));
}
