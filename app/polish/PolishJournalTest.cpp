#include "polish/PolishJournal.h"

#include "TestEnvironment.h"
#include "sim/SimDesktop.h"
#include "stats/MonthlyStats.h"

#include <gtest/gtest.h>

using namespace murmelo;

namespace {

class PolishJournalTest : public ::testing::Test {
protected:
    PolishJournalTest() {
        PolishJournal::clear();
        MonthlyStats::resetForTesting();
        env.clock().setNow(QDateTime(QDate(2025, 7, 10), QTime(12, 0)));
        desktop.addApp("org.kde.kate", "Kate");
        desktop.focus("org.kde.kate");
    }
    ~PolishJournalTest() override {
        PolishJournal::clear();
        MonthlyStats::resetForTesting();
    }

    test::TestEnvironment env;
    sim::SimDesktop desktop;
    ScopedService<Workspace> desktopScope{desktop};
};

TEST_F(PolishJournalTest, AnEntryNamesTheFrontApplicationAndIsCountedInTheMonth) {
    PolishJournal::note(PolishJournal::Rule::vudiManual, "превет мир", "привет, мир", 7, 4242);
    ASSERT_EQ(PolishJournal::entries().size(), 1);
    const PolishJournal::Entry& e = PolishJournal::entries().front();
    EXPECT_EQ(e.app, "Kate");
    EXPECT_EQ(e.rule, "vudi/ax");
    EXPECT_EQ(e.before, "превет мир");
    EXPECT_EQ(e.after, "привет, мир");
    EXPECT_EQ(e.location, 7);
    EXPECT_EQ(e.pid, 4242);
    EXPECT_EQ(e.at, env.clock().now());
    env.runPending();
    EXPECT_EQ(MonthlyStats::snapshot().record.measuredTypoCorrections, 1);

    desktop.quit("org.kde.kate");
    PolishJournal::note(PolishJournal::Rule::vudiBuffer, "a", "b", 0, std::nullopt);
    EXPECT_EQ(PolishJournal::entries().back().app, "?") << "no front application";
    EXPECT_EQ(PolishJournal::Rule::all(),
              QSet<QString>({"vudi/live", "vudi/ax", "vudi/buffer", "cap/sentence"}));
}

TEST_F(PolishJournalTest, KeepsTheNewestFiftyInOrderAndCountsEveryOne) {
    for (int i = 0; i < 60; ++i) {
        env.clock().advance(1);
        PolishJournal::note(PolishJournal::Rule::vudiLive, QString::number(i), QString::number(i) + '.', i, 1);
    }
    const QList<PolishJournal::Entry>& list = PolishJournal::entries();
    ASSERT_EQ(list.size(), PolishJournal::LIMIT);
    for (int i = 0; i < PolishJournal::LIMIT; ++i) EXPECT_EQ(list[i].location, i + 10);
    env.runPending();
    EXPECT_EQ(MonthlyStats::snapshot().record.measuredPunctuationCorrections, 60)
        << "an entry the journal let go was counted all the same";
}

TEST_F(PolishJournalTest, LastMatchesTheProcessExactlyAndDropRemovesCopies) {
    PolishJournal::note(PolishJournal::Rule::vudiManual, "a", "A", 1, std::nullopt);
    env.clock().advance(1);
    PolishJournal::note(PolishJournal::Rule::vudiManual, "b", "B", 2, 7);
    env.clock().advance(1);
    PolishJournal::note(PolishJournal::Rule::vudiManual, "c", "C", 3, 7);

    EXPECT_EQ(PolishJournal::last(7)->before, "c");
    EXPECT_EQ(PolishJournal::last(std::nullopt)->before, "a") << "none matches only entries without a process";
    EXPECT_FALSE(PolishJournal::last(8));

    const PolishJournal::Entry second = PolishJournal::entries()[1];
    PolishJournal::entries().append(second);  // a copy
    PolishJournal::drop(second);
    ASSERT_EQ(PolishJournal::entries().size(), 2);
    EXPECT_EQ(PolishJournal::entries()[0].before, "a");
    EXPECT_EQ(PolishJournal::entries()[1].before, "c");

    PolishJournal::clear();
    EXPECT_TRUE(PolishJournal::entries().isEmpty());
    EXPECT_FALSE(PolishJournal::last(7));
}

}  // namespace
