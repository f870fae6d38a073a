// A spoken reply command from the held key to the screen reply's start: the stand-in
// recognition server answers with the command, the trigger phrases decide its kind and
// instruction, and nothing is typed into the field.
#include "Desk.h"
#include "DictationSupport.h"

#include "dictation/DictationNeighbours.h"
#include "dictation/DictationSeam.h"
#include "reply/ReplySeam.h"
#include "ui/AppState.h"

#include <gtest/gtest.h>

using namespace murmelo;

namespace {

constexpr quint16 kRightCtrl = 54;   // the dictation key
constexpr quint64 kCommand = 0x100000;
constexpr quint16 kRightAlt = 61;    // the command key
constexpr quint64 kOption = 0x80000;

class ReplyCommandTest : public e2e::RecognitionFixture {
protected:
    ReplyCommandTest() {
        // As start-up does.
        ReplySeam::shared().bindDictationNeighbours();
        DictationSeam::shared().tapDictationInstall();
        AppState::shared().ensureStatusItem();

        recordTakes();
        neighbours.reviveServer = [] {};
        neighbours.screenReplyStart = [this](const ReplyCommand& command, const std::optional<ReplyTarget>& target) {
            started.push_back({command, target});
        };
    }

    bool dictate(quint16 key, quint64 flags) {
        const size_t before = outcomes.size();
        play(2.0);
        desk.hold(key, 2.0, flags);
        desk.wait(0.3);
        return until([&] { return outcomes.size() > before; });
    }

    std::vector<std::pair<ReplyCommand, std::optional<ReplyTarget>>> started;
};

TEST_F(ReplyCommandTest, SpokenAndKeyedCommandsStartAScreenReplyAndTypeNothing) {
    struct Case {
        const char* name;
        QString transcript;
        quint16 key;
        quint64 flags;
        ReplyCommand command;
        const char* line;
    };
    const Case cases[] = {
        {"spoken trigger", "ответь, что приеду завтра", kRightCtrl, kCommand,
         {ReplyTaskKind::reply, "что приеду завтра"}, "Команда (голос, reply): надиктовка в поле не вставляется"},
        {"command key", "переведи на английский", kRightAlt, kOption,
         {ReplyTaskKind::translate, "переведи на английский"},
         "Команда (Control, translate): надиктовка в поле не вставляется"},
        {"command key without a trigger", "что у меня завтра", kRightAlt, kOption,
         {ReplyTaskKind::automatic, "что у меня завтра"}, "Команда (Control, auto): надиктовка в поле не вставляется"},
    };
    desk.setting("smartCleanup.mode.v1", "literal");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        serve(c.transcript);
        desk.open("org.telegram.desktop");
        started.clear();
        ASSERT_TRUE(dictate(c.key, c.flags));
        ASSERT_EQ(started.size(), 1u);
        EXPECT_EQ(started[0].first, c.command);
        ASSERT_TRUE(started[0].second);
        EXPECT_EQ(started[0].second->bundleID, "org.telegram.desktop");
        EXPECT_EQ(outcomes.back(), DictationVisualCompletion::continues);
        EXPECT_TRUE(desk.logHas(c.line));
        EXPECT_EQ(desk.fieldText(), "");
        EXPECT_EQ(desk.pastesPosted(), 0);
        desk.wait(5);
    }
    EXPECT_FALSE(desk.logHas("заглушка: replyTrigger"));
}

// In another vendor's assistant a spoken trigger is addressed to that assistant: it is typed.
TEST_F(ReplyCommandTest, ASpokenTriggerInAnAssistantIsOrdinaryDictation) {
    serve("ответь, что приеду завтра");
    desk.setting("smartCleanup.mode.v1", "literal");
    desk.open("com.openai.chat");
    ASSERT_TRUE(dictate(kRightCtrl, kCommand));
    EXPECT_TRUE(started.empty());
    EXPECT_EQ(outcomes.back(), DictationVisualCompletion::succeeded);
    EXPECT_EQ(desk.fieldText(), "ответь, что приеду завтра");
}

}  // namespace
