#include "meetings/MeetingConsent.h"

#include "TestEnvironment.h"
#include "input/ClipboardManager.h"
#include "platform/Service.h"
#include "sim/SimPasteboard.h"

#include <gtest/gtest.h>

#include <deque>

namespace murmelo {
namespace {

// Presses the scripted buttons in turn and keeps what it was shown.
class ScriptedConsent : public MeetingConsentPresenter {
public:
    int run(const ConsentAlert& alert) override {
        shown.push_back(alert);
        const int pressed = answers.empty() ? -1 : answers.front();
        if (!answers.empty()) answers.pop_front();
        return pressed;
    }
    std::deque<int> answers;
    std::vector<ConsentAlert> shown;
};

class MeetingConsentTest : public ::testing::Test {
protected:
    test::TestEnvironment env;
    ScriptedConsent presenter;
    ScopedService<MeetingConsentPresenter> presenterScope{presenter};
};

TEST_F(MeetingConsentTest, AWarningNotAcceptedIsShownAgainAndAnAcceptedOneNever) {
    // Declining, then closing the window another way, then accepting.
    presenter.answers = {1, -1, 0};
    EXPECT_FALSE(MeetingConsent::warnOnceIfNeeded());
    EXPECT_FALSE(env.defaults().contains(MeetingConsent::WARNED_KEY));
    EXPECT_FALSE(MeetingConsent::warnOnceIfNeeded());
    EXPECT_FALSE(env.defaults().contains(MeetingConsent::WARNED_KEY));
    EXPECT_TRUE(MeetingConsent::warnOnceIfNeeded());
    EXPECT_EQ(env.defaults().realBool(MeetingConsent::WARNED_KEY), true);
    ASSERT_EQ(presenter.shown.size(), 3u);

    EXPECT_TRUE(MeetingConsent::warnOnceIfNeeded());
    EXPECT_EQ(presenter.shown.size(), 3u);
}

TEST_F(MeetingConsentTest, TheWarningListsTheStatesBetweenBodyAndTail) {
    presenter.answers = {1};
    MeetingConsent::warnOnceIfNeeded();
    ASSERT_EQ(presenter.shown.size(), 1u);
    const ConsentAlert& a = presenter.shown[0];
    EXPECT_EQ(a.message, "Прежде чем записывать разговор");
    EXPECT_EQ(a.buttons, (QStringList{"Понятно, записывать", "Не записывать"}));
    const QStringList parts = a.informativeText.split("\n\n");
    ASSERT_EQ(parts.size(), 3);
    EXPECT_TRUE(parts[0].endsWith("нужно согласие ВСЕХ участников:"));
    EXPECT_EQ(parts[1],
              "Калифорния, Коннектикут, Делавэр, Флорида, Иллинойс, Мэриленд, Массачусетс, Монтана, Нью-Гэмпшир, "
              "Орегон, Пенсильвания, Вашингтон.");
    EXPECT_TRUE(parts[2].startsWith("Запись и расшифровка остаются на этом компьютере."));
}

TEST_F(MeetingConsentTest, CopyingTheAnnouncementReplacesTheClipboardAndStaysOutOfItsHistory) {
    sim::SimPasteboard board;
    ScopedService<Pasteboard> boardScope{board};
    ClipboardManager clipboard{&board};
    ScopedService<ClipboardManager> clipboardScope{clipboard};
    clipboard.setEnabled(true);
    clipboard.start();
    board.copyFromOtherApp("старый текст", {{"text/html", "<b>старый</b>"}});
    clipboard.poll();
    ASSERT_EQ(clipboard.items().size(), 1u);

    MeetingConsent::copyAnnouncement();
    clipboard.poll();
    EXPECT_EQ(board.string(), MeetingConsent::announcement());
    EXPECT_EQ(board.types(), QStringList{Pasteboard::plainTextType});
    EXPECT_TRUE(MeetingConsent::announcement().startsWith("Я включил запись разговора"));
    EXPECT_EQ(clipboard.items().size(), 1u);
}

TEST_F(MeetingConsentTest, TheReminderIsOnUnlessSetToARealFalse) {
    const struct {
        std::optional<QVariant> stored;
        bool enabled;
    } cases[] = {{std::nullopt, true}, {QVariant(false), false}, {QVariant(true), true}, {QVariant("no"), true},
                 {QVariant(0), true}};
    for (const auto& c : cases) {
        if (c.stored)
            env.defaults().set(MeetingConsent::REMINDER_KEY, *c.stored);
        else
            env.defaults().remove(MeetingConsent::REMINDER_KEY);
        EXPECT_EQ(MeetingConsent::reminderEnabled(), c.enabled) << (c.stored ? c.stored->toString().toStdString() : "absent");
    }
}

}  // namespace
}  // namespace murmelo
