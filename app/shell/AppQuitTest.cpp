#include "shell/AppQuit.h"

#include "TestEnvironment.h"
#include "shell/TestSeams.h"
#include "shell/AppDelegate.h"
#include "shell/QuitConfirmationDialog.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace murmelo;
using Button = QuitConfirmation::Button;

namespace {

class AppQuitTest : public ::testing::Test, public test::TestSeams {
protected:
    AppQuitTest() {
        AppQuit::resetForTesting();
        dictation.dictationPauseIsActive = [this] { return paused; };
        dictation.dictationPause = [this](int minutes) { pausedFor.push_back(minutes); };
        base.autostartIsEnabled = [this] { return autostart; };
        presence.quickPanelHide = [this] { ++panelHidden; };
        dictation.serverManagerStop = [this] { shutdown << "serverManagerStop"; };
        vocabulary.correctorStop = [this] { shutdown << "correctorStop"; };
        delegate.setExitHandler([this](int status) { exits.push_back(status); });
        AppQuit::setDialogRunner([this](const QuitConfirmation& c) {
            shown.push_back(c);
            return answer;
        });
    }
    ~AppQuitTest() override {
        AppQuit::resetForTesting();
    }

    test::TestEnvironment env;
    AppDelegate delegate;
    bool paused = false;
    bool autostart = false;
    int panelHidden = 0;
    std::vector<int> pausedFor;
    std::vector<int> exits;
    QStringList shutdown;
    std::vector<QuitConfirmation> shown;
    Button answer = Button::cancel;
};

TEST(AppQuitCode, FourCharacterCodesAndTheDecision) {
    EXPECT_EQ(AppQuit::code("why?"), 0x7768793Fu);
    EXPECT_EQ(AppQuit::code("logo"), 0x6C6F676Fu);
    EXPECT_EQ(AppQuit::code(""), 0u);

    struct Case {
        bool silent;
        std::optional<quint32> reason;
        AppQuit::Path expected;
    };
    const Case cases[] = {
        {true, std::nullopt, AppQuit::Path::silentService},
        {true, AppQuit::code("logo"), AppQuit::Path::silentService},
        {false, std::nullopt, AppQuit::Path::ask},
        {false, AppQuit::code("logo"), AppQuit::Path::systemShutdown},
        {false, AppQuit::code("rlgo"), AppQuit::Path::systemShutdown},
        {false, AppQuit::code("rest"), AppQuit::Path::systemShutdown},
        {false, AppQuit::code("rrst"), AppQuit::Path::systemShutdown},
        {false, AppQuit::code("shut"), AppQuit::Path::systemShutdown},
        {false, AppQuit::code("rsdn"), AppQuit::Path::systemShutdown},
        {false, AppQuit::code("quit"), AppQuit::Path::ask},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AppQuit::decide(c.silent, c.reason), c.expected)
            << (c.silent ? "silent " : "") << (c.reason ? QString::number(*c.reason, 16).toStdString() : "no reason");
}

TEST(AppQuitTexts, NameBodyAndButtons) {
    EXPECT_EQ(AppQuit::appName("", "Murmelo", "murmelo"), "Murmelo");
    EXPECT_EQ(AppQuit::appName("Ondrix", "Murmelo", "murmelo"), "Ondrix");
    EXPECT_EQ(AppQuit::appName("", "", "murmelo"), "murmelo");

    EXPECT_EQ(AppQuit::confirmTitle("Ondrix"), "Выйти из Ondrix?");
    const QString two = AppQuit::confirmBody("Ondrix", false);
    const QString three = AppQuit::confirmBody("Ondrix", true);
    EXPECT_EQ(two.split("\n\n").size(), 2);
    EXPECT_EQ(three.split("\n\n").size(), 3);
    EXPECT_TRUE(two.contains("«Ondrix»"));
    EXPECT_TRUE(three.endsWith("Само приложение вернётся при следующем входе в систему."));

    const QuitConfirmation offered = AppQuit::confirmation("Ondrix", false, false);
    EXPECT_EQ(offered.buttonTitles, (QStringList{"Пауза 15 минут", "Выйти", "Отмена"}));
    EXPECT_EQ(offered.defaultButton, Button::pause);
    EXPECT_EQ(offered.escapeButton, Button::cancel);

    const QuitConfirmation whilePaused = AppQuit::confirmation("Ondrix", false, true);
    EXPECT_EQ(whilePaused.buttonTitles, (QStringList{"Выйти", "Отмена"}));
    EXPECT_EQ(whilePaused.defaultButton, Button::quit);
    EXPECT_FALSE(whilePaused.pauseOffered());
}

TEST(QuitConfirmationDialogTest, TheBoxCarriesTheModelsDefaultAndEscapeButtons) {
    for (bool paused : {false, true}) {
        const QuitConfirmation model = AppQuit::confirmation("Ondrix", true, paused);
        auto box = QuitConfirmationDialog::build(model);
        EXPECT_EQ(box->text(), "Выйти из Ondrix?");
        // The desktop appends the name to a title that does not end with it.
        EXPECT_EQ(box->windowTitle(), "Ondrix");
        EXPECT_EQ(box->informativeText(), model.body);
        ASSERT_EQ(box->buttons().size(), qsizetype(model.buttons.size()));
        EXPECT_EQ(box->defaultButton()->text(), paused ? "Выйти" : "Пауза 15 минут");
        EXPECT_EQ(box->escapeButton()->text(), "Отмена");
        // A click on a button answers that button.
        for (QAbstractButton* b : box->buttons()) {
            b->click();
            const Button answered = QuitConfirmationDialog::answer(*box, model);
            const qsizetype at = model.buttonTitles.indexOf(b->text());
            ASSERT_GE(at, 0);
            EXPECT_EQ(answered, model.buttons[size_t(at)]);
        }
    }
}

TEST_F(AppQuitTest, TheUsersAnswerDecidesTheQuit) {
    struct Case {
        bool paused;
        Button answer;
        const char* line;
        bool quits;
        bool pauses;
    };
    const Case cases[] = {
        {false, Button::pause, "выход: человек выбрал паузу вместо выхода", false, true},
        {false, Button::quit, "выход: подтверждён человеком", true, false},
        {false, Button::cancel, "выход: отменён человеком", false, false},
        {true, Button::quit, "выход: подтверждён человеком", true, false},
        {true, Button::cancel, "выход: отменён человеком", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.paused ? "paused, " : "") + c.line);
        paused = c.paused;
        answer = c.answer;
        shown.clear();
        pausedFor.clear();
        EXPECT_EQ(AppQuit::reply(), c.quits ? AppQuit::Reply::terminateNow : AppQuit::Reply::cancel);
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].pauseOffered(), !c.paused);
        EXPECT_EQ(pausedFor, c.pauses ? std::vector<int>{15} : std::vector<int>{});
        const QStringList lines = env.logLines();
        ASSERT_GE(lines.size(), 2);
        EXPECT_TRUE(lines[lines.size() - 2].endsWith(QString("выход: спрашиваю подтверждение (пауза предложена: ") +
                                                     (c.paused ? "нет" : "да") + ")"));
        EXPECT_TRUE(lines.last().endsWith(c.line)) << lines.last().toStdString();
    }
    EXPECT_EQ(panelHidden, 5);
}

TEST_F(AppQuitTest, AQuitRequestRunsTheShutdownOnlyWhenConfirmed) {
    // Whoever asks the application to quit goes through the delegate.
    answer = Button::cancel;
    QEvent quit(QEvent::Quit);
    QCoreApplication::sendEvent(QCoreApplication::instance(), &quit);
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_TRUE(exits.empty());
    EXPECT_TRUE(shutdown.isEmpty());

    answer = Button::quit;
    delegate.terminate();
    EXPECT_EQ(shutdown, (QStringList{"serverManagerStop", "correctorStop"}));
    EXPECT_EQ(exits, std::vector<int>{0});
    // Once the shutdown ran nothing asks again.
    delegate.terminate();
    EXPECT_EQ(shown.size(), 2u);
    EXPECT_EQ(exits.size(), 1u);
}

TEST_F(AppQuitTest, SystemAndServiceQuitsAreNotQuestioned) {
    delegate.terminate(AppQuit::code("shut"));
    EXPECT_TRUE(shown.empty());
    EXPECT_TRUE(env.logContains("выход: причина от системы (разлогин/перезагрузка/выключение) — не спрашиваю"));
    EXPECT_EQ(exits, std::vector<int>{0});
    EXPECT_EQ(AppQuit::systemQuitReason(), std::nullopt);  // only while that request is handled
}

TEST_F(AppQuitTest, AnUnknownReasonIsTheUsersQuit) {
    answer = Button::cancel;
    delegate.terminate(AppQuit::code("quit"));
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_TRUE(exits.empty());
}

TEST_F(AppQuitTest, SilentQuitsSkipTheDialogAndKeepTheirStatus) {
    AppQuit::terminateSilently("второй экземпляр");
    EXPECT_TRUE(AppQuit::isSilent());
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(env.logLines().last(), "10:00:00 выход служебный: второй экземпляр");
    EXPECT_EQ(shutdown, (QStringList{"serverManagerStop", "correctorStop"}));
    EXPECT_EQ(exits, std::vector<int>{0});
}

TEST_F(AppQuitTest, AFailedServiceQuitExitsNonZero) {
    AppQuit::terminateSilently("--meeting-notes-send", 1);
    EXPECT_EQ(exits, std::vector<int>{1});
}

TEST_F(AppQuitTest, TheSessionEndingWhileTheDialogIsOpenEndsTheProcessOnce) {
    AppQuit::setDialogRunner([this](const QuitConfirmation&) {
        // logind announces the shut-down while the user still looks at the dialog.
        delegate.terminate(AppQuit::code("shut"));
        return Button::cancel;
    });
    delegate.terminate();
    EXPECT_EQ(exits, std::vector<int>{0});
    EXPECT_EQ(shutdown, (QStringList{"serverManagerStop", "correctorStop"}));
    EXPECT_FALSE(env.logContains("выход: отменён человеком"));
}

}  // namespace
