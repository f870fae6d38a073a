#include "input/SyntheticInputPostGate.h"
#include "layout/LayoutEditorTestSupport.h"

using namespace murmelo;
using murmelo::test::EditorFixture;
using Transport = LayoutSwitcher::UndoTransport;

namespace {

// An editor's field holding "hello ghbdtn" with the caret at its end, and the engine's output.
struct Output : EditorFixture {
    void SetUp() override {
        EditorFixture::SetUp();
        field->value = "hello ghbdtn";
        field->select(12);
        makeOutput();
    }
};

TEST_F(Output, EveryEventIsMarkedAsOurs) {
    out->sendKey(36);
    out->sendUnicode("йё👍🏽");
    out->sendBackspaces(1);
    ASSERT_EQ(keys.posted().size(), 10u);  // a pair per key and per grapheme
    for (const KeyEvent& e : keys.posted()) EXPECT_EQ(e.userData, SYNTHETIC_MARK);
    EXPECT_EQ(keys.posted()[6].unicode, "👍🏽");
    EXPECT_EQ(keys.posted()[8].keyCode, 51);
}

TEST_F(Output, NothingToWriteTouchesNothing) {
    EXPECT_FALSE(out->sendUnicode(""));
    out->sendBackspaces(0);
    out->sendBackspaces(-2);
    EXPECT_TRUE(keys.posted().empty());
    EXPECT_FALSE(engine->screenTruthLastWriteAt.isValid());
    out->sendKey(0);
    EXPECT_FALSE(engine->screenTruthLastWriteAt.isValid());  // a bare key is not a text write
}

TEST_F(Output, DeliverRetypesTheWordByKeysOrClipboard) {
    EXPECT_EQ(out->deliver(6, "привет", Transport::keys), TextWriteRoute::directUnicode);
    EXPECT_EQ(field->value, "hello привет");
    EXPECT_TRUE(engine->screenTruthLastWriteAt.isValid());

    EXPECT_EQ(out->deliver(6, "ghbdtn", Transport::clipboard), TextWriteRoute::clipboard);
    env.advance(2.0);
    EXPECT_EQ(field->value, "hello ghbdtn");
}

TEST_F(Output, AccessibilityApplicationsGetADirectWrite) {
    engine->learnedUnreliableBundles.insert("org.kde.kate");
    EXPECT_EQ(out->deliver(6, "привет", Transport::keys), TextWriteRoute::accessibilitySelectedText);
    EXPECT_EQ(field->value, "hello привет");
    EXPECT_TRUE(keys.posted().empty());
    EXPECT_TRUE(env.logContains("layout/ax: правка записана в поле напрямую (стёрто 6"));
}

TEST_F(Output, RefusedAccessibilityWriteFallsBackToKeys) {
    engine->learnedUnreliableBundles.insert("org.kde.kate");
    field->select(3, 2);  // a selection, not a caret: the direct write is not tried on it
    EXPECT_FALSE(out->deliverViaAX(1, "x"));
    field->select(12);
    EXPECT_FALSE(out->deliverViaAX(13, "x"));  // more than there is before the caret

    field->refusesWrites = true;
    EXPECT_EQ(out->deliver(6, "привет", Transport::keys), TextWriteRoute::directUnicode);
    EXPECT_EQ(field->value, "hello привет");
}

TEST_F(Output, FieldDiagnosticsSpeakOnlyWhenAskedTo) {
    out->fieldProbe = false;
    out->sendBackspaces(1);
    out->probeExcludedFieldCapability();
    EXPECT_FALSE(env.logContains("layout/поле"));

    out->fieldProbe = true;
    out->sendBackspaces(2);
    EXPECT_TRUE(env.logContains("layout/поле: собираюсь стереть 2 | роль AXTextArea | выделение 11+0 | значение 11 симв. | "
                                "запись: значение да, выделенный текст да, диапазон да | приложение: по NSWorkspace «Kate», "
                                "по фокусу «Kate»"));
    out->probeExcludedFieldCapability();
    out->probeExcludedFieldCapability();
    EXPECT_EQ(env.logLines().filter("layout/поле-исключение: роль AXTextArea | значение 9 симв.").size(), 1)
        << "at most every two seconds";
    env.advance(2.0);
    desktop.quit("org.kde.kate");
    out->probeExcludedFieldCapability();
    EXPECT_TRUE(env.logContains("layout/поле-исключение: фокусного элемента AX нет"));
    out->probeFieldBeforeErase(3);
    EXPECT_TRUE(env.logContains("layout/поле: собираюсь стереть 3 — фокусного элемента AX НЕТ (NSWorkspace зовёт переднее «"));

    engine->correctionSink = [](const LayoutSwitcher::CorrectionEvent&) {};
    env.advance(2.0);
    out->probeExcludedFieldCapability();
    EXPECT_EQ(env.logLines().filter("layout/поле-исключение").size(), 2) << "an observer keeps them silent";
}

}  // namespace
