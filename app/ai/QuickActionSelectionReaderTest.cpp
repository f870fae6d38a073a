#include "ai/QuickActionsFixture.h"
#include "ScopedEnv.h"

#include <gtest/gtest.h>

using namespace murmelo;

namespace {

class QuickActionSelectionReaderTest : public test::QuickActionsFixture {
protected:
    // Reads as the controller does after a gesture; the temporary copy answers 0.14 s later.
    std::optional<QuickActionSelection> read(bool preferCursor = true, QPointF anchor = {300, 590}) {
        std::optional<QuickActionSelection> got;
        bool called = false;
        controller.reader().readSelection(anchor, true, preferCursor, [&](const std::optional<QuickActionSelection>& s) {
            got = s;
            called = true;
        });
        if (!called) env.advance(QuickActionSelectionReader::copySettle);
        return got;
    }
    int copyChords() const {
        int n = 0;
        for (const KeyEvent& e : poster.posted()) n += e.keyCode == 8 && e.keyDown && (e.flags & KeyFlags::command);
        return n;
    }
};

TEST(QuickActionSelectionReaderGeometry, ConversionsFlipAroundTheFirstScreensTop) {
    EXPECT_EQ(QuickActionSelectionReader::appKitRect(QRectF(100, 200, 80, 20), 800), QRectF(100, 580, 80, 20));
    EXPECT_EQ(QuickActionSelectionReader::appKitPoint(QPointF(10, 30), 800), QPointF(10, 770));
    // Beside the end of a keyboard selection: 6 points right, half its height up, 7 to 16.
    EXPECT_EQ(QuickActionSelectionReader::boundsAnchor(QRectF(100, 580, 80, 20)), QPointF(186, 590));
    EXPECT_EQ(QuickActionSelectionReader::boundsAnchor(QRectF(100, 580, 80, 6)), QPointF(186, 587));
    EXPECT_EQ(QuickActionSelectionReader::boundsAnchor(QRectF(100, 580, 80, 60)), QPointF(186, 596));
}

TEST_F(QuickActionSelectionReaderTest, AccessibilityGivesTheWordWithItsBoundsOrWithout) {
    field->select(0, 6);
    std::optional<QuickActionSelection> s = read(false);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->text, "превет");
    EXPECT_EQ(s->detectionPath, "ax-bounds");
    EXPECT_EQ(s->selectionBounds, QRectF(100, 580, 48, 20));
    EXPECT_EQ(s->anchor, QPointF(154, 590));  // keyboard selection: beside its end
    EXPECT_EQ(s->bundleID, "org.kde.kate");
    EXPECT_TRUE(s->isEditable);
    EXPECT_EQ(read(true)->anchor, QPointF(300, 590));  // mouse selection: where the button went up

    field->frame.reset();
    s = read(false);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->detectionPath, "ax-text");
    EXPECT_FALSE(s->selectionBounds);
    EXPECT_EQ(copyChords(), 0);
}

TEST_F(QuickActionSelectionReaderTest, AnElementWithoutTextIsReadThroughItsParent) {
    // The focus sits in a group without text inside a document that holds the selection.
    auto document = std::make_shared<sim::SimField>();
    document->role = "AXWebArea";
    document->value = "Статья о погоде";
    document->select(0, 6);
    auto group = std::make_shared<sim::SimField>();
    group->role = "AXGroup";
    group->exposesText = false;
    group->parent = document;
    desktop.focus("org.kde.kate", group);
    const auto s = read();
    ASSERT_TRUE(s);
    EXPECT_EQ(s->text, "Статья");
}

TEST_F(QuickActionSelectionReaderTest, APasswordFieldBlocksEveryRoad) {
    // A password field in focus, another field with a selection under the pointer.
    field->select(0, 6);
    auto password = desktop.addField("org.kde.kate", "AXSecureTextField", "секрет123");
    password->secure = true;
    password->select(0, 9);
    desktop.focus("org.kde.kate", password);
    screens.setMouse({300, 590});
    EXPECT_FALSE(read());
    // A text-less element inside a password field's chain blocks as well.
    auto inner = std::make_shared<sim::SimField>();
    inner->exposesText = false;
    inner->parent = password;
    desktop.focus("org.kde.kate", inner);
    EXPECT_FALSE(read());
    pasteboard.selectPrimaryFromOtherApp("секрет123");
    EXPECT_FALSE(read());
    EXPECT_EQ(copyChords(), 0);
}

TEST_F(QuickActionSelectionReaderTest, TheElementUnderThePointerIsTriedAfterTheFocus) {
    auto other = desktop.addField("org.kde.kate", "AXTextArea", "второе поле");
    other->frame = QRectF(100, 400, 400, 20);
    other->select(0, 6);
    field->select(0, 0);
    field->exposesText = false;  // the focus shows no text at all
    screens.setMouse({150, 390});  // over the second field (y 400..420 from the top)
    const auto s = read();
    ASSERT_TRUE(s);
    EXPECT_EQ(s->text, "второе");
}

TEST_F(QuickActionSelectionReaderTest, TheTemporaryCopyRestoresTheClipboardWhateverItFinds) {
    pasteboard.copyFromOtherApp("мой буфер");
    field->exposesText = false;
    field->select(0, 6);
    auto s = read();
    ASSERT_TRUE(s);
    EXPECT_EQ(s->text, "превет");
    EXPECT_EQ(s->detectionPath, "clipboard-fallback");
    EXPECT_EQ(copyChords(), 1);
    EXPECT_EQ(pasteboard.string(), "мой буфер");

    // An application that ignores the copy key: nothing, and the clipboard as it was.
    field->select(0, 0);
    EXPECT_FALSE(read());
    EXPECT_EQ(pasteboard.string(), "мой буфер");
}

TEST_F(QuickActionSelectionReaderTest, AConcealedCopyIsDropped) {
    field->exposesText = false;
    field->select(0, 6);
    // The application marks what it copies as a password manager's entry.
    neighbours.onCopyKey = [&] { pasteboard.copyFromOtherApp("превет", {{"org.nspasteboard.ConcealedType", QByteArray()}}); };
    EXPECT_FALSE(read());
}

TEST_F(QuickActionSelectionReaderTest, AFreshPrimarySelectionIsReadWithoutAKey) {
    field->exposesText = false;
    pasteboard.selectPrimaryFromOtherApp("старое выделение");
    controller.reader().markGestureStart();
    // Unchanged since the gesture began: stale, so the copy key is tried (and finds nothing).
    EXPECT_FALSE(read());
    EXPECT_EQ(copyChords(), 1);
    controller.reader().markGestureStart();
    pasteboard.selectPrimaryFromOtherApp("новое выделение");
    const auto s = read();
    ASSERT_TRUE(s);
    EXPECT_EQ(s->text, "новое выделение");
    EXPECT_EQ(copyChords(), 1);
}

TEST_F(QuickActionSelectionReaderTest, LengthLimitsHoldOnBothRoads) {
    const QString longest(QuickActionSelectionReader::maxSelectionLength, QChar(u'а'));
    struct Case {
        const char* name;
        QString text;
        bool accepted;
    } cases[] = {
        {"250000 characters", longest, true},
        {"250001 characters", longest + "а", false},
        {"one character after trimming", " я \n", false},
    };
    for (const Case& c : cases) {
        field->exposesText = true;
        field->value = c.text;
        field->select(0, c.text.size());
        EXPECT_EQ(read().has_value(), c.accepted) << c.name << " (accessibility)";
        field->exposesText = false;
        EXPECT_EQ(read().has_value(), c.accepted) << c.name << " (copy)";
    }
    field->exposesText = true;
    field->value = QString(20001, QChar(u'б'));
    field->select(0, 20001);
    EXPECT_TRUE(read()->wasTruncatedForAI);
}

TEST_F(QuickActionSelectionReaderTest, TheSmokeModeNeverCopies) {
    test::ScopedEnv smoke("MURMELO_QUICK_ACTIONS_SMOKE", QByteArray("1"));
    field->exposesText = false;
    field->select(0, 6);
    EXPECT_FALSE(read());
    EXPECT_EQ(copyChords(), 0);
}

}  // namespace
