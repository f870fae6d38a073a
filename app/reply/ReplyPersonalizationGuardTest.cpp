#include "dictation/DictationNeighbours.h"
#include "reply/ReplyPersonalizationGuard.h"

#include <gtest/gtest.h>

using namespace murmelo;
namespace Guard = ReplyPersonalizationGuard;

namespace {

TEST(ReplyPersonalizationGuard, OnlyRepliesFromAWholeWindowAreGuarded) {
    const QuickReplyResult named{"Ответ", "Здравствуйте, Анна Петровна!\n\nОтчёт пришлю в четверг.", "ru", false, "", {}};
    const struct {
        std::optional<ScreenContextSource> source;
        ReplyTaskKind task;
        bool guarded;
    } cases[] = {
        {ScreenContextSource::axWindow, ReplyTaskKind::reply, true},
        {ScreenContextSource::ocr, ReplyTaskKind::reply, true},
        {ScreenContextSource::axSelection, ReplyTaskKind::reply, false},
        {ScreenContextSource::clipboard, ReplyTaskKind::reply, false},
        {std::nullopt, ReplyTaskKind::reply, false},
        {ScreenContextSource::axWindow, ReplyTaskKind::compose, false},
        {ScreenContextSource::ocr, ReplyTaskKind::automatic, false},
        {ScreenContextSource::axWindow, ReplyTaskKind::translate, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.source ? rawValue(*c.source).toStdString() : "none") << " "
                                        << rawValue(c.task).toStdString());
        const QString rule = Guard::promptRule(c.source, c.task);
        EXPECT_EQ(rule.isEmpty(), !c.guarded);
        if (c.guarded) {
            EXPECT_EQ(rule.count(u'\n'), 2);
        }
        if (!c.source) continue;
        const QuickReplyResult out = Guard::apply(named, *c.source, c.task, "");
        if (!c.guarded) {
            EXPECT_EQ(out, named);
            continue;
        }
        EXPECT_EQ(out.reply, "Здравствуйте!\n\nОтчёт пришлю в четверг.");
        EXPECT_TRUE(out.needsConfirmation);
        EXPECT_EQ(out.warning, Guard::GREETING_WARNING);
        EXPECT_EQ(out.actionTitle, named.actionTitle);
    }
}

TEST(ReplyPersonalizationGuard, GreetingLines) {
    const struct {
        const char* line;
        std::optional<QString> neutral;
    } cases[] = {
        {"Dear Anna,", "Hello,"},
        {"Здравствуйте, Анна Петровна!", "Здравствуйте!"},
        {"Привет, Миша", "Привет!"},
        {"Уважаемый Иван Сергеевич", "Здравствуйте!"},
        {"  Hi: Anna-Maria! ", "Hello,"},
        {"Dear Mr. Smith,", "Hello,"},
        {"Dear Mr.", std::nullopt},
        {"Hi team,", std::nullopt},
        {"Hi Team,", "Hello,"},
        {"Привет, команда!", std::nullopt},
        {"Привет, Команда!", "Привет!"},
        {"Hi Anna, thanks for the quick reply yesterday", std::nullopt},
        {"Hi Anna there", std::nullopt},
        {"Здравствуйте!", std::nullopt},
        {"Hello,", std::nullopt},
        {"Добрый день, Анна!", std::nullopt},
        // A plain prefix test: the greeting word needs nothing after it.
        {"Hilda,", std::nullopt},
        {"HiAnna", "Hello,"},
        // Case and diacritics do not hide a greeting; a decomposed letter is one character.
        {"ЗДРАВСТВУЙТЕ, Анна", "Здравствуйте!"},
        {"Здравству\u0438\u0306те, Анна", "Здравствуйте!"},
        {"Dear 2024 team", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(Guard::neutralizedNamedGreeting(QString::fromUtf8(c.line)), c.neutral);
    }
}

TEST(ReplyPersonalizationGuard, SignOffLines) {
    const struct {
        const char* line;
        const char* signature;
        std::optional<QString> out;
    } cases[] = {
        {"С уважением, Анна", "", "С уважением,"},
        {"С уважением, Анна", "Иван Петров", "С уважением, Иван Петров"},
        {"С уважением, Иван Петров", " Иван Петров ", std::nullopt},
        {"Best — Anna", "Ivan", "Best— Ivan"},
        {"Thanks, Anna", "", "Thanks,"},
        {"Thanks, Anna", "Ivan", "Thanks, Ivan"},
        {"Kind regards - Dr. Anna Smith", "", "Kind regards-"},
        {"Hi, Anna", "", std::nullopt},
        {"Спасибо, коллеги", "", std::nullopt},
        {"Thanks, see you", "", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(Guard::neutralizedInlineSignOff(QString::fromUtf8(c.line), QString::fromUtf8(c.signature)), c.out);
    }
}

TEST(ReplyPersonalizationGuard, WholeRepliesAndTheirWarnings) {
    const QString g = Guard::GREETING_WARNING, s = Guard::SIGN_OFF_WARNING;
    const struct {
        const char* name;
        QString reply;
        QString signature;
        QString warning;  // the model's
        QString out;
        QString outWarning;  // empty: unchanged
    } cases[] = {
        {"name line removed", "Добрый день!\n\nГотово.\n\nС уважением,\nАнна Петрова\n", "", "", "Добрый день!\n\nГотово.\n\nС уважением,", s},
        {"name line becomes the signature", "Готово.\n\nС уважением,\n  Анна Петрова", "Иван", "", "Готово.\n\nС уважением,\nИван", s},
        {"the own signature stays", "Готово.\n\nС уважением,\nИван Петров", " Иван Петров", "", {}, {}},
        {"a phone number is no name", "Готово.\n\nС уважением,\n+7 999 123-45-67", "", "", {}, {}},
        {"nothing to change keeps even the outer spaces", "  Готово.  \n", "", " x ", {}, {}},
        {"a blank reply", " \n\t\n", "", "", {}, {}},
        {"a carriage return counts as a line for greeting and sign-off, not for the name line",
         "Hi Anna,\r\nDone.\nThanks,\nBob\n\r", "", "", "Hello,\nDone.\nThanks,", g + " " + s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QuickReplyResult in{"Ответ", c.reply, "ru", false, c.warning, {}};
        const QuickReplyResult out = Guard::apply(in, ScreenContextSource::ocr, ReplyTaskKind::reply, c.signature);
        if (c.out.isNull()) {
            EXPECT_EQ(out, in);
            continue;
        }
        EXPECT_EQ(out.reply, c.out);
        EXPECT_TRUE(out.needsConfirmation);
        if (!c.outWarning.isEmpty()) {
            EXPECT_EQ(out.warning, c.outWarning);
        }
    }
    // Greeting then sign-off, after the model's own warning, one space apart.
    const QuickReplyResult both =
        Guard::apply({"t", "\n  \nDear Anna,\n\nDone.\n\nBest regards, Anna\n\n", "en", false, "  проверьте дату \n", {}},
                     ScreenContextSource::axWindow, ReplyTaskKind::reply, "");
    EXPECT_EQ(both.warning, "проверьте дату " + g + " " + s);
    EXPECT_TRUE(both.needsConfirmation);
    EXPECT_EQ(both.reply, "Hello,\n\nDone.\n\nBest regards,");
}

TEST(ReplyPersonalizationGuard, NamesAreCapitalisedWordsBesideTitles) {
    const struct {
        const char* text;
        bool name;
    } cases[] = {
        {"Anna", true},           {"  Анна Петровна!", true}, {"Mr. Smith", true},   {"г-н Иванов", true},
        {"Mr.", false},           {"team", false},            {"Anna smith", false}, {"A B C D", true},
        {"A B C D E", false},     {"12345", false},           {"", false},           {"O’Brien", true},
        {"'Anna'", true},         {"-", false},
    };
    for (const auto& c : cases) EXPECT_EQ(Guard::looksLikeName(QString::fromUtf8(c.text)), c.name) << c.text;
}

}  // namespace
