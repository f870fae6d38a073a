#include "input/ClipboardManager.h"
#include "input/InputTestFixture.h"

#include "base/Defaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <sys/stat.h>

using namespace murmelo;

namespace {

const QString CONCEALED = QStringLiteral("org.nspasteboard.ConcealedType");

class ClipboardManagerTest : public test::SimInputTest {
protected:
    ClipboardManagerTest() { manager.start(); }

    QStringList texts() const {
        QStringList out;
        for (const ClipItem& i : manager.items()) out << i.text;
        return out;
    }
    // The user copies in another program, and the next poll comes.
    void userCopies(const QString& text, const QList<QPair<QString, QByteArray>>& extra = {}) {
        pasteboard.copyFromOtherApp(text, extra);
        env.advance(ClipboardManager::POLL_INTERVAL);
    }
    // The history file as it stands once pending changes are written.
    QString storedJson() {
        manager.flush();
        return QString::fromUtf8(readHistoryFile());
    }
    static QByteArray readHistoryFile() {
        QFile f(ClipboardManager::historyPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static void writeHistoryFile(const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(ClipboardManager::historyPath()).absolutePath());
        QFile f(ClipboardManager::historyPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

    ClipboardManager manager{&pasteboard};
};

// The history writing first makes the program's data folder: the user's alone.
TEST_F(ClipboardManagerTest, TheHistoryAndItsFolderAreTheUsersAlone) {
    userCopies(QStringLiteral("first"));
    manager.flush();
    auto mode = [](const QString& path) {
        struct stat info {};
        return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 0777 : 0u;
    };
    EXPECT_EQ(mode(QFileInfo(ClipboardManager::historyPath()).absolutePath()), 0700u);
    EXPECT_EQ(mode(ClipboardManager::historyPath()), 0600u);
}

TEST_F(ClipboardManagerTest, RecopiedItemMovesToTopWithItsFirstDate) {
    userCopies(QStringLiteral("alpha"));
    const double firstDate = manager.items().front().date;
    env.advance(100);
    userCopies(QStringLiteral("beta"));
    userCopies(QStringLiteral("alpha"));
    EXPECT_EQ(texts(), (QStringList{QStringLiteral("alpha"), QStringLiteral("beta")}));
    EXPECT_EQ(manager.items().front().date, firstDate);
}

TEST_F(ClipboardManagerTest, KeepsFiftyUnpinnedPlusEveryPin) {
    for (int i = 0; i < 3; ++i) {
        manager.capture(QStringLiteral("pin %1").arg(i));
        manager.togglePin(manager.items().front().id);
    }
    for (int i = 0; i < 50; ++i) manager.capture(QStringLiteral("text %1").arg(i));
    ASSERT_EQ(manager.items().size(), 53u);
    // The oldest unpinned text comes back: it moves up, nothing is lost.
    manager.capture(QStringLiteral("text 0"));
    EXPECT_EQ(manager.items().size(), 53u);
    EXPECT_EQ(texts().front(), QStringLiteral("text 0"));
    // A new text drops the unpinned item nearest the end ("text 1"); the pins stay.
    manager.capture(QStringLiteral("new"));
    EXPECT_EQ(manager.items().size(), 53u);
    EXPECT_FALSE(texts().contains(QStringLiteral("text 1")));
    int pinned = 0;
    for (const ClipItem& i : manager.items()) pinned += i.pinned;
    EXPECT_EQ(pinned, 3);
    manager.clearUnpinned();
    EXPECT_EQ(texts(), (QStringList{QStringLiteral("pin 2"), QStringLiteral("pin 1"), QStringLiteral("pin 0")}));
}

TEST_F(ClipboardManagerTest, MarkedCopiesNeverReachHistoryOrSettings) {
    const QString secret = QStringLiteral("hunter2-secret");
    for (const QString& marker : CLIPBOARD_HISTORY_MARKER_TYPES) {
        userCopies(secret, {{marker, QByteArray("secret")}});
        EXPECT_TRUE(manager.items().empty()) << marker.toStdString();
    }
    userCopies(QStringLiteral("plain"));
    EXPECT_EQ(texts(), QStringList{QStringLiteral("plain")});
    EXPECT_FALSE(storedJson().contains(secret));
}

// A password manager writing its concealed copy between our two reads of the pasteboard.
class RacingPasteboard : public sim::SimPasteboard {
public:
    BoundedText boundedString(qsizetype maxBytes) const override {
        auto* self = const_cast<RacingPasteboard*>(this);
        if (race) {
            race = false;
            self->copyFromOtherApp(QStringLiteral("s3cr3t"), {{QStringLiteral("x-kde-passwordManagerHint"), "secret"}});
        }
        return SimPasteboard::boundedString(maxBytes);
    }
    mutable bool race = false;
};

TEST_F(ClipboardManagerTest, ConcealedCopyLandingBetweenReadsIsNotCaptured) {
    RacingPasteboard board;
    ClipboardManager racing(&board);
    board.copyFromOtherApp(QStringLiteral("harmless"));
    board.race = true;
    racing.poll();
    racing.poll();
    for (const ClipItem& i : racing.items()) EXPECT_NE(i.text, QStringLiteral("s3cr3t"));
}

TEST_F(ClipboardManagerTest, OwnWritesStayOutButAFreshUserCopyIsKept) {
    manager.writeInternally([&] {
        pasteboard.clearContents();
        PasteboardItem item;
        item.setData(Pasteboard::plainTextType, "our own text");
        pasteboard.writeItems({item});
    });
    env.advance(5);
    EXPECT_TRUE(manager.items().empty());
    // The user copies and, before the next tick, the program writes: the copy is kept.
    pasteboard.copyFromOtherApp(QStringLiteral("user copy"));
    manager.writeInternally([&] { pasteboard.clearContents(); });
    env.advance(5);
    EXPECT_EQ(texts(), QStringList{QStringLiteral("user copy")});
}

TEST_F(ClipboardManagerTest, WhitespaceOnlyIsSkippedSpacesAroundAreKept) {
    userCopies(QStringLiteral(" \n\t "));
    userCopies(QStringLiteral("  padded  "));
    EXPECT_EQ(texts(), QStringList{QStringLiteral("  padded  ")});
}

TEST_F(ClipboardManagerTest, TurningHistoryOnDoesNotCaptureWhatIsThere) {
    manager.setEnabled(false);
    userCopies(QStringLiteral("while off"));
    manager.setEnabled(true);
    env.advance(2);
    EXPECT_TRUE(manager.items().empty());
    userCopies(QStringLiteral("after"));
    EXPECT_EQ(texts(), QStringList{QStringLiteral("after")});
}

TEST_F(ClipboardManagerTest, OneDamagedStoredItemCostsOnlyItself) {
    const QByteArray stored = R"([{"id":"A","text":"good","date":1.5,"pinned":true},)"
                              R"({"id":"B","text":"no pin","date":2},)"
                              R"({"id":"C","text":7,"date":2,"pinned":false},)"
                              R"({"id":"E","text":"far future","date":1e300,"pinned":false},)"
                              R"({"id":"F","text":"far past","date":-9.3e15,"pinned":false},)"
                              R"({"id":"D","text":"also good","date":3,"pinned":false}])";
    writeHistoryFile(stored);
    ClipboardManager reloaded(&pasteboard);
    ASSERT_EQ(reloaded.items().size(), 2u);
    EXPECT_EQ(reloaded.items()[0], (ClipItem{QStringLiteral("A"), QStringLiteral("good"), 1.5, true}));
    EXPECT_EQ(reloaded.items()[1].text, QStringLiteral("also good"));
    writeHistoryFile("not json");
    EXPECT_TRUE(ClipboardManager(&pasteboard).items().empty());
}

// The history has a file of its own, written once for a burst of changes, and never
// rewrites the settings file.
TEST_F(ClipboardManagerTest, HistoryLivesInItsOwnFileWrittenOnceABurstSettles) {
    QStringList settingsChanges;
    QObject::connect(&env.defaults(), &Defaults::changed, [&](const QString& key) { settingsChanges << key; });
    userCopies(QStringLiteral("kept"));
    manager.togglePin(manager.items().front().id);
    manager.capture(QStringLiteral("second"));
    EXPECT_TRUE(readHistoryFile().isEmpty());
    env.advance(ClipboardManager::SAVE_DELAY);
    EXPECT_EQ(ClipboardManager::decode(readHistoryFile()), manager.items());
    EXPECT_TRUE(settingsChanges.isEmpty());
    EXPECT_FALSE(env.defaults().contains(ClipboardManager::STORE_KEY));
    ClipboardManager reloaded(&pasteboard);
    EXPECT_EQ(reloaded.items(), manager.items());
    // A change not yet written is not lost when the manager goes.
    {
        ClipboardManager last(&pasteboard);
        last.capture(QStringLiteral("at the very end"));
    }
    EXPECT_EQ(ClipboardManager(&pasteboard).items().front().text, QStringLiteral("at the very end"));
}

// An existing user's history, still in the settings, moves to the file once; a file that
// already exists keeps its items and gains the ones it lacked.
TEST_F(ClipboardManagerTest, HistoryInTheSettingsMovesToItsFileOnce) {
    writeHistoryFile(R"([{"id":"F","text":"from the file","date":5,"pinned":false}])");
    env.defaults().set(ClipboardManager::STORE_KEY,
                       QByteArray(R"([{"id":"A","text":"pinned","date":1.5,"pinned":true},)"
                                  R"({"id":"F","text":"from the file","date":5,"pinned":false},)"
                                  R"({"id":"B","text":"older","date":1,"pinned":false}])"));
    ClipboardManager moved(&pasteboard);
    QStringList got;
    for (const ClipItem& i : moved.items()) got << i.id;
    EXPECT_EQ(got, (QStringList{"F", "A", "B"}));
    EXPECT_FALSE(env.defaults().contains(ClipboardManager::STORE_KEY));
    EXPECT_EQ(ClipboardManager::decode(readHistoryFile()), moved.items());
    EXPECT_EQ(env.logLines().filter(QStringLiteral("буфер: история перенесена из настроек в ")).size(), 1);
    EXPECT_EQ(ClipboardManager(&pasteboard).items(), moved.items());
    EXPECT_EQ(env.logLines().filter(QStringLiteral("буфер: история перенесена")).size(), 1);
}

TEST_F(ClipboardManagerTest, ATextLargerThanTheCapIsNotKeptAndEachIsLogged) {
    const QString big(ClipboardManager::MAX_ITEM_BYTES + 1, QChar('a'));
    const QString bigCyrillic(ClipboardManager::MAX_ITEM_BYTES / 2 + 1, QChar(0x0436));  // two bytes each
    // Beyond what any read takes of the pasteboard (lowered here from its 64 MB).
    pasteboard.readLimit = 4 * ClipboardManager::MAX_ITEM_BYTES;
    const QString huge(5 * ClipboardManager::MAX_ITEM_BYTES, QChar('b'));
    userCopies(big);
    userCopies(bigCyrillic);
    userCopies(huge);
    EXPECT_TRUE(manager.items().empty());
    EXPECT_EQ(env.logLines().filter(QStringLiteral("— в историю не взята")).size(), 3);
    EXPECT_TRUE(env.logContains(QStringLiteral("буфер: копия больше 1 МБ (5242880 байт) — в историю не взята")));
    EXPECT_TRUE(env.logContains(QStringLiteral("буфер: копия больше 1 МБ (1048578 байт) — в историю не взята")));
    const QString fits(ClipboardManager::MAX_ITEM_BYTES / 2, QChar(0x0436));
    userCopies(fits);
    EXPECT_EQ(manager.items().size(), 1u);
}

TEST_F(ClipboardManagerTest, LeaseRestoresEveryTypeAndTheRestoreIsNotCaptured) {
    PasteboardItem rich;
    rich.setData(Pasteboard::plainTextType, "user text");
    rich.setData(QStringLiteral("text/html"), "<i>user text</i>");
    rich.setData(QStringLiteral("x-special/gnome-copied-files"), "copy\nfile:///tmp/a");
    pasteboard.setItemsFromOtherApp({rich});
    env.advance(1);
    manager.clearUnpinned();

    auto token = manager.beginPreservingPasteboard();
    manager.writeInternally([&] { pasteboard.copyFromOtherApp(QStringLiteral("borrowed")); });
    EXPECT_TRUE(manager.finishTemporaryLease(token));
    EXPECT_EQ(pasteboard.items(), QList<PasteboardItem>{rich});
    env.advance(2);
    EXPECT_TRUE(manager.items().empty());
}

// A field's text copied on the program's behalf under a lease (to convert or polish it) is
// no copy of the user's; after the lease the user's own copies are kept again.
TEST_F(ClipboardManagerTest, WhatAFieldCopiesUnderALeaseStaysOutOfTheHistory) {
    userCopies(QStringLiteral("user text"));
    auto token = manager.beginPreservingPasteboard();
    pasteboard.copyFromOtherApp(QStringLiteral("ghbdtn"));  // the field answers Command-C
    env.advance(2 * ClipboardManager::POLL_INTERVAL);
    EXPECT_TRUE(manager.finishTemporaryLease(token));
    env.advance(2 * ClipboardManager::POLL_INTERVAL);
    EXPECT_EQ(texts(), QStringList{"user text"});
    userCopies(QStringLiteral("later"));
    EXPECT_EQ(texts(), QStringList({"later", "user text"}));
}

// Another program may offer gigabytes: reads stop at the bound, and what could not be
// read is named in the log instead of being silently lost.
TEST_F(ClipboardManagerTest, ReadsOfThePasteboardAreBounded) {
    pasteboard.readLimit = 1000;
    PasteboardItem rich;
    rich.setData(Pasteboard::plainTextType, "user text");
    rich.setData(QStringLiteral("image/png"), QByteArray(1001, 'p'));
    pasteboard.setItemsFromOtherApp({rich});
    env.advance(1);
    manager.clearUnpinned();
    auto token = manager.beginPreservingPasteboard();
    EXPECT_TRUE(env.logContains(QStringLiteral("буфер: тип image/png не прочитан (больше предела или недоступен)")));
    manager.writeInternally([&] { pasteboard.copyFromOtherApp(QStringLiteral("borrowed")); });
    EXPECT_TRUE(manager.finishTemporaryLease(token));
    EXPECT_EQ(pasteboard.types(), QStringList{Pasteboard::plainTextType});
    // A text over the bound is not read for the history either.
    userCopies(QString(1001, QChar('t')));
    EXPECT_TRUE(manager.items().empty());
}

TEST_F(ClipboardManagerTest, NewLeaseRestoresTheOldOneBeforeSavingAgain) {
    pasteboard.copyFromOtherApp(QStringLiteral("mine"), {{QStringLiteral("text/html"), "<p>mine</p>"}});
    const QList<PasteboardItem> original = pasteboard.items();
    auto first = manager.beginPreservingPasteboard();
    manager.writeInternally([&] { pasteboard.copyFromOtherApp(QStringLiteral("first borrow")); });
    auto second = manager.beginPreservingPasteboard();
    EXPECT_FALSE(manager.isTemporaryLeaseActive(first));
    EXPECT_EQ(pasteboard.items(), original);  // the first lease gave it back
    manager.writeInternally([&] { pasteboard.copyFromOtherApp(QStringLiteral("second borrow")); });
    EXPECT_FALSE(manager.finishTemporaryLease(first));
    EXPECT_TRUE(manager.cancelTemporaryLeaseForUserCommand());
    EXPECT_FALSE(manager.isTemporaryLeaseActive(second));
    EXPECT_EQ(pasteboard.items(), original);
}

TEST_F(ClipboardManagerTest, RelativeTimes) {
    const double now = double(env.clock().now().toMSecsSinceEpoch()) / 1000.0;
    EXPECT_EQ(relTime(now - 59), QStringLiteral("только что"));
    EXPECT_EQ(relTime(now - 3599), QStringLiteral("59 мин назад"));
    EXPECT_EQ(relTime(now - 7800), QStringLiteral("2 ч назад"));
    const QString dated = relTime(now - 86400);
    EXPECT_TRUE(dated.startsWith(QStringLiteral("14 ")) && dated.endsWith(QStringLiteral(", 10:00"))) << dated.toStdString();
}

}  // namespace
