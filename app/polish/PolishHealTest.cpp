#include "polish/PolishHeal.h"

#include "base/Graphemes.h"
#include "input/AXText.h"
#include "layout/LayoutEditorTestSupport.h"

using namespace murmelo;

namespace {

// The key plan of the typing of fixes, as small as the rollback needs: erase from the first
// differing character to the caret and type the rest of the wanted text.
std::optional<HealPlanner::Plan> simplePlan(const QString& have, const QString& want, const QString& gap, bool) {
    if (have == want || have.contains('\n') || want.contains('\n')) return std::nullopt;
    const QStringList h = graphemes(have), w = graphemes(want);
    qsizetype n = 0;
    while (n < h.size() && n < w.size() && h[n] == w[n]) ++n;
    const qint64 backspaces = h.size() - n + graphemeCount(gap);
    const QString insert = w.mid(n).join(QString()) + gap;
    return HealPlanner::Plan{backspaces, insert,
                                 QStringLiteral("снять %1, впечатать %2").arg(backspaces).arg(graphemeCount(insert))};
}

// A field in Kate whose polish packet landed crooked, the switcher's real key output into it,
// and the rollback's key plan.
struct Heal : test::EditorFixture, HealPlanner {
    QStringList planned;  // have|want of every plan asked for

    void SetUp() override {
        EditorFixture::SetUp();
        makeOutput();
    }
    std::optional<Plan> plan(const QString& have, const QString& want, const QString& gap, bool trustGap) override {
        planned << have + '|' + want;
        return simplePlan(have, want, gap, trustGap);
    }
    bool heal(const QString& before) { return polishHeal(*out, *this, AXText::focused(), before, "polish/ax"); }
    QString lastLine() const { return env.logLines().isEmpty() ? QString() : env.logLines().back(); }
};

TEST_F(Heal, ACrookedLandingIsTypedBackWithTheCaretAtTheEndOfTheDamage) {
    field->value = "мама мыла мыла раму";
    field->select(15);  // right after the stray «мыла »
    EXPECT_TRUE(heal("мама мыла раму"));
    EXPECT_EQ(field->value, "мама мыла раму");
    EXPECT_EQ(planned, QStringList{"мыла |"});
    EXPECT_TRUE(lastLine().endsWith("polish/ax: правка легла криво — вернул как было (снять 5, впечатать 0)"))
        << qPrintable(lastLine());
}

TEST_F(Heal, ARollbackRetypesWhatTheCrookedPacketErased) {
    field->value = "привет, мир,";
    field->select(12);
    EXPECT_TRUE(heal("привет мир"));
    EXPECT_EQ(field->value, "привет мир");
    EXPECT_EQ(planned, QStringList{", мир,| мир"});
}

TEST_F(Heal, TheDifferenceIsTakenOnWholeCharacters) {
    // The two skin tones share their first UTF-16 unit; the rollback still plans whole emoji.
    field->value = QString::fromUtf8("да 👍🏿");
    field->select(field->value.size());
    heal(QString::fromUtf8("да 👍🏽"));
    EXPECT_EQ(planned, QStringList{QString::fromUtf8("👍🏿|👍🏽")});
}

TEST_F(Heal, RefusalsLeaveTheFieldAlone) {
    struct Case {
        const char* name;
        QString value;
        qsizetype selectionStart, selectionLength;
        QString before;
        bool healed;
        const char* line;
    };
    const QString longDamage = QString(201, 'x');
    const std::vector<Case> cases = {
        {"the field already holds the text before", "мама мыла раму", 14, 0, "мама мыла раму", true,
         "polish/ax: не легла, но текст цел — правки просто нет"},
        {"the caret one unit short of the damage", "мама мыла мыла раму", 14, 0, "мама мыла раму", false,
         "polish/ax: не легла, но каретка не на месте поломки — не трогаю"},
        {"a selection instead of a caret", "мама мыла мыла раму", 10, 5, "мама мыла раму", false,
         "polish/ax: не легла, но каретка не на месте поломки — не трогаю"},
        {"a line break in the damage", "один\nдва", 8, 0, "один", false,
         "polish/ax: не легла, и вернуть одним пакетом не выходит — оставляю как есть"},
        {"more Backspaces than a manual polish may send", "a" + longDamage, 202, 0, "a", false,
         "polish/ax: не легла, и вернуть одним пакетом не выходит — оставляю как есть"},
    };
    for (const Case& c : cases) {
        field->value = c.value;
        field->select(c.selectionStart, c.selectionLength);
        keys.clearPosted();
        EXPECT_EQ(heal(c.before), c.healed) << c.name;
        EXPECT_TRUE(keys.posted().empty()) << c.name;
        EXPECT_EQ(field->value, c.value) << c.name;
        EXPECT_TRUE(lastLine().endsWith(QString::fromUtf8(c.line))) << c.name << ": " << qPrintable(lastLine());
    }
}

TEST_F(Heal, AnUnreadableFieldIsNeverTouched) {
    field->value = "мама мыла мыла раму";
    field->select(15);
    field->valueReadable = false;
    EXPECT_FALSE(heal("мама мыла раму"));
    EXPECT_TRUE(keys.posted().empty());
    EXPECT_TRUE(planned.isEmpty());
    EXPECT_TRUE(lastLine().endsWith("polish/ax: не легла и поле не читается — вернуть как было не могу"));
}

}  // namespace
