#include "input/InputTestFixture.h"
#include "input/TemporaryClipboardLease.h"

using namespace murmelo;
using Decision = PasteboardRestoreSchedule::Decision;
using Restore = PasteboardRestoreSchedule::Restore;
using Wait = PasteboardRestoreSchedule::Wait;

namespace {

TEST(TemporaryClipboardLease, NewLeaseEndsTheOldOneFirstAndTheOldTokenGoesDead) {
    TemporaryClipboardLease lease;
    std::vector<QString> events;
    auto first = lease.begin([&] { events.push_back(QStringLiteral("restore-1")); });
    auto second = lease.begin([&] { events.push_back(QStringLiteral("restore-2")); });
    EXPECT_EQ(events, std::vector<QString>{QStringLiteral("restore-1")});
    EXPECT_FALSE(lease.isActive(first));
    EXPECT_FALSE(lease.finish(first));
    EXPECT_FALSE(lease.cancel(first));
    EXPECT_TRUE(lease.isActive(second));
    EXPECT_TRUE(lease.finish(second));
    EXPECT_EQ(events.size(), 2u);
    EXPECT_FALSE(lease.cancel());  // nothing left, nothing runs
    EXPECT_EQ(events.size(), 2u);
}

TEST(TemporaryClipboardLease, RestoreActionSeesNoLeaseAndRunsOnce) {
    TemporaryClipboardLease lease;
    int runs = 0;
    TemporaryClipboardLease::Token token;
    bool activeInside = true;
    token = lease.begin([&] {
        ++runs;
        activeInside = lease.isActive(token);
    });
    EXPECT_TRUE(lease.cancel(token));
    EXPECT_FALSE(lease.finish(token));
    EXPECT_EQ(runs, 1);
    EXPECT_FALSE(activeInside);
}

TEST(PasteboardRestoreSchedule, Decisions) {
    struct Case {
        double minDelay, grace, timeout;
        std::optional<double> readAt;
        double now;
        Decision expected;
    } cases[] = {
        {0.6, 0.25, 2.0, 0.1, 0.5, Wait{0.6}},
        {0.6, 0.25, 2.0, 0.1, 0.6, Restore{true}},
        {0.6, 0.25, 2.0, 1.0, 1.25, Restore{true}},
        {0.6, 0.25, 2.0, 1.0, 1.0, Wait{1.25}},
        {0.6, 0.25, 2.0, std::nullopt, 1.9, Wait{2.0}},
        {0.6, 0.25, 2.0, std::nullopt, 2.0, Restore{false}},
        {0.6, 0.25, 2.0, -0.05, 0.6, Restore{true}},  // read before Command-V
        {1.5, 0.25, 3.0, std::nullopt, 2.9, Wait{3.0}},
    };
    for (const Case& c : cases) {
        PasteboardRestoreSchedule s{c.minDelay, c.grace, c.timeout, c.readAt};
        EXPECT_EQ(s.decision(c.now), c.expected) << c.now;
    }
}

TEST(PasteboardRestoreSchedule, FirstReadWins) {
    PasteboardRestoreSchedule s{0.6, 0.25, 2.0, std::nullopt};
    s.noteRead(0.3);
    s.noteRead(0.1);
    EXPECT_EQ(s.readAt, 0.3);
}

TEST(PasteboardSnapshot, EveryItemAndTypeComesBackInOrder) {
    sim::SimPasteboard board;
    PasteboardItem rich, image;
    rich.setData(Pasteboard::plainTextType, "hello");
    rich.setData(QStringLiteral("text/html"), "<b>hello</b>");
    rich.setData(QStringLiteral("application/rtf"), "{\\rtf1 hello}");
    image.setData(QStringLiteral("image/png"), QByteArray("\x89PNG\0\1", 6));
    board.setItemsFromOtherApp({rich, image});

    const PasteboardSnapshot snapshot = snapshotPasteboard(board);
    board.copyFromOtherApp(QStringLiteral("something else"));
    restorePasteboard(board, snapshot);
    EXPECT_EQ(board.items(), (QList<PasteboardItem>{rich, image}));
}

TEST(PasteboardSnapshot, EmptyPasteboardRestoresEmpty) {
    sim::SimPasteboard board;
    const PasteboardSnapshot snapshot = snapshotPasteboard(board);
    board.copyFromOtherApp(QStringLiteral("x"));
    restorePasteboard(board, snapshot);
    EXPECT_TRUE(board.items().isEmpty());
    EXPECT_TRUE(board.types().isEmpty());
}

}  // namespace
