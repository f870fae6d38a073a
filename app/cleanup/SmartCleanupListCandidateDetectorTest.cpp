#include "cleanup/SmartCleanupListCandidateDetector.h"
#include "cleanup/SmartCleanupProfileRegistry.h"
#include "cleanup/SmartCleanupSkillRegistry.h"

#include <gtest/gtest.h>

using namespace murmelo;

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

const QList<SmartCleanupLanguageProfile> RU{SmartCleanupLanguageProfile::russian()};
const QList<SmartCleanupLanguageProfile> EN{SmartCleanupLanguageProfile::english()};
const QList<SmartCleanupLanguageProfile> BOTH = SmartCleanupProfileRegistry::defaultProfiles();

QSet<SmartCleanupSkillID> allBut(const SmartCleanupSkillID& skill) {
    QSet<SmartCleanupSkillID> skills = SmartCleanupSkillRegistry::all();
    skills.remove(skill);
    return skills;
}

// One line per candidate: profile, form, number, the marker's text, and "<" for a leading
// boundary, ">" for a following delimiter.
QString describe(const QList<SmartCleanupListCandidate>& candidates, const QString& text) {
    QStringList out;
    for (const auto& c : candidates) {
        out << QStringLiteral("%1 %2 %3 '%4'%5%6")
                   .arg(c.profile.id.rawValue, rawValue(c.form))
                   .arg(c.number)
                   .arg(text.mid(c.location, c.length))
                   .arg(c.hasLeadingBoundary ? " <" : "", c.hasFollowingDelimiter ? " >" : "");
    }
    return out.join(" | ");
}

struct Row {
    const char* name;
    QList<SmartCleanupLanguageProfile> profiles;
    QSet<SmartCleanupSkillID> skills;
    QString text;
    QString expected;
};

const Row ROWS[] = {
    {"no marker at all", BOTH, SmartCleanupSkillRegistry::all(), "Просто текст без всякого списка.", ""},
    {"marker and digit", RU, SmartCleanupSkillRegistry::all(), "пункт 1 молоко", "ru marker-number 1 'пункт 1' <"},
    {"case does not matter", RU, SmartCleanupSkillRegistry::all(), "Пункт 1, ПУНКТ один",
     "ru marker-number 1 'Пункт 1' < > | ru marker-number 1 'ПУНКТ один' <"},
    {"marker inside a word", RU, SmartCleanupSkillRegistry::all(), "подпункт 1", ""},
    {"number running into a letter", RU, SmartCleanupSkillRegistry::all(), "пункт 12b", ""},
    {"number beyond 64 bits", RU, SmartCleanupSkillRegistry::all(), "пункт 12345678901234567890 молоко", ""},
    {"ordinal after a marker swallows the bare ordinal", RU, SmartCleanupSkillRegistry::all(), "Пункт первый: молоко",
     "ru marker-number 1 'Пункт первый' < >"},
    {"ordinal then marker is one candidate", RU, SmartCleanupSkillRegistry::all(), "первый пункт", "ru ordinal-marker 1 'первый пункт' <"},
    {"ordinal then marker without the bare skill", RU, allBut(SmartCleanupSkillRegistry::bareOrdinalContinuation()), "первый пункт",
     "ru ordinal-marker 1 'первый пункт' <"},
    {"ordinal then marker without its skill leaves the bare ordinal", RU, allBut(SmartCleanupSkillRegistry::ordinalThenMarker()),
     "первый пункт", "ru bare-continuation 1 'первый' <"},
    {"marker with a trailing digit marker", RU, SmartCleanupSkillRegistry::all(), "пункт 1. молоко", "ru marker-number 1 'пункт 1' < >"},
    {"bare ordinal inside a sentence", EN, SmartCleanupSkillRegistry::all(), "the second section", ""},
    {"bare ordinals after boundaries", EN, SmartCleanupSkillRegistry::all(), "First, buy milk, second call mom",
     "en bare-continuation 1 'First' < > | en bare-continuation 2 'second' <"},
    {"english markers either way round", EN, SmartCleanupSkillRegistry::all(), "Point three, then second Step – go",
     "en marker-number 3 'Point three' < > | en ordinal-marker 2 'second Step' >"},
    {"discourse ordinals", RU, SmartCleanupSkillRegistry::all(), "во-первых, молоко и во-вторых хлеб",
     "ru discourse 1 'во-первых' < > | ru discourse 2 'во-вторых'"},
    {"english discourse ordinals", EN, SmartCleanupSkillRegistry::all(), "Firstly milk. Secondly, bread",
     "en discourse 1 'Firstly' < | en discourse 2 'Secondly' < >"},
    {"versions are no markers", RU, SmartCleanupSkillRegistry::all(), "Версии 1.2 и 2.3", ""},
    {"digits inside file names", RU, SmartCleanupSkillRegistry::all(), "Файлы report1.txt и report2.txt лежат рядом.",
     "ru numeric-marker 1 '1' > | ru numeric-marker 2 '2' >"},
    {"digits after words", RU, SmartCleanupSkillRegistry::all(), "Модель 1. Работает с моделью 2. Хорошо.",
     "ru numeric-marker 1 '1' > | ru numeric-marker 2 '2' >"},
    {"digit forms", EN, SmartCleanupSkillRegistry::all(), "1. Check 1.check 2) ship plan:1. test final 3.",
     "en numeric-marker 1 '1' < > | en numeric-marker 1 '1' > | en numeric-marker 2 '2' > | en numeric-marker 1 '1' < >"},
    {"digit marker on a new line", EN, SmartCleanupSkillRegistry::all(), "Plan\n1. go", "en numeric-marker 1 '1' < >"},
    {"digits without their skill", RU, allBut(SmartCleanupSkillRegistry::standaloneNumeric()), "1. x, 2. y, 3. z", ""},
    {"digits go to the profile whose header cue is in the text", BOTH, SmartCleanupSkillRegistry::all(), "План: 1. x, 2. y",
     "ru numeric-marker 1 '1' < > | ru numeric-marker 2 '2' < >"},
    {"english header cue", BOTH, SmartCleanupSkillRegistry::all(), "The plan: 1. x, 2. y",
     "en numeric-marker 1 '1' < > | en numeric-marker 2 '2' < >"},
    {"no cue: the first profile", BOTH, SmartCleanupSkillRegistry::all(), "1. x, 2. y",
     "ru numeric-marker 1 '1' < > | ru numeric-marker 2 '2' < >"},
    {"both profiles find their own words", BOTH, SmartCleanupSkillRegistry::all(), "пункт 1 milk, point 2 хлеб",
     "ru marker-number 1 'пункт 1' < | en marker-number 2 'point 2' <"},
    {"no skills", BOTH, {}, "пункт 1 молоко, пункт 2 хлеб", ""},
    {"only the safe skill", RU, SmartCleanupSkillRegistry::safeFallback(), "Первый пункт – молоко, пункт 2 хлеб, 3. яйца",
     "ru marker-number 2 'пункт 2' <"},
    {"no profiles", {}, SmartCleanupSkillRegistry::all(), "пункт 1 молоко, 2. хлеб", ""},
    {"empty text", BOTH, SmartCleanupSkillRegistry::all(), "", ""},
};

}  // namespace

TEST(SmartCleanupListCandidateDetectorTest, FindsTheMarkersTheSkillsAllow) {
    const SmartCleanupListCandidateDetector detector;
    for (const Row& row : ROWS) {
        EXPECT_EQ(describe(detector.detect(row.text, row.profiles, row.skills), row.text), row.expected) << row.name;
    }
}

TEST(SmartCleanupListCandidateDetectorTest, BoundariesAndDelimiters) {
    using namespace SmartCleanupListSyntax;
    // A line break is a boundary though it is no blank; blanks alone are skipped.
    EXPECT_TRUE(hasLeadingBoundary(0, "x"));
    EXPECT_TRUE(hasLeadingBoundary(3, " \t x"));
    EXPECT_TRUE(hasLeadingBoundary(2, "a\nb"));
    EXPECT_TRUE(hasLeadingBoundary(4, "a — b"));
    EXPECT_FALSE(hasLeadingBoundary(2, "a b"));
    EXPECT_FALSE(hasLeadingBoundary(2, "a)b"));  // a parenthesis closes a marker, it does not end a clause
    EXPECT_TRUE(hasFollowingDelimiter(1, "1 \t)"));
    EXPECT_TRUE(hasFollowingDelimiter(1, "1–"));
    EXPECT_FALSE(hasFollowingDelimiter(1, "1 "));
    EXPECT_FALSE(hasFollowingDelimiter(1, "1\n."));
    EXPECT_EQ(trimmingPunctuation("«план:»"), "план");
    EXPECT_EQ(trimmingPunctuation("..."), "");
}

TEST(SmartCleanupListCandidateDetectorTest, FormsAndTheirSkills) {
    const SmartCleanupListForm forms[] = {SmartCleanupListForm::markerThenNumber, SmartCleanupListForm::ordinalThenMarker,
                                          SmartCleanupListForm::discourseOrdinal, SmartCleanupListForm::bareOrdinalContinuation,
                                          SmartCleanupListForm::standaloneNumeric};
    QSet<SmartCleanupSkillID> skills;
    for (SmartCleanupListForm form : forms) {
        EXPECT_EQ(listFormFromRawValue(rawValue(form)), form);
        skills.insert(skillID(form));
    }
    EXPECT_EQ(skills, SmartCleanupSkillRegistry::all());
    EXPECT_EQ(listFormFromRawValue("Marker-number"), std::nullopt);
    EXPECT_EQ(listFormFromRawValue(""), std::nullopt);
    EXPECT_FALSE(isExplicit(SmartCleanupListForm::bareOrdinalContinuation));
    EXPECT_TRUE(isExplicit(SmartCleanupListForm::discourseOrdinal));
}
