#include "reply/ReplyTrigger.h"

#include <gtest/gtest.h>

using namespace murmelo;

namespace {

using K = ReplyTaskKind;
const ReplyCommand defaultReply{K::reply, ReplyTrigger::defaultIntent};

std::string describe(const std::optional<ReplyCommand>& c) {
    return c ? (rawValue(c->kind) + " «" + c->intent + "»").toStdString() : std::string("none");
}

}  // namespace

// Every phrase, with every end that lets it stand, followed by an instruction: a translation
// keeps the whole text, the others keep what follows.
TEST(ReplyTrigger, EachPhraseWithEachAllowedEnd) {
    const std::pair<const char*, K> phrases[] = {
        {"ответь на это сообщение", K::reply}, {"переведи на английский", K::translate},
        {"ответь на это письмо", K::reply},    {"ответь на сообщение", K::reply},
        {"напиши ответ на это", K::reply},     {"переведи на русский", K::translate},
        {"ответь на письмо", K::reply},        {"напиши сообщение", K::compose},
        {"составь письмо", K::compose},        {"ответь на это", K::reply},
        {"напиши письмо", K::compose},         {"напиши ответ", K::reply},
        {"переведи это", K::translate},        {"переведи", K::translate},
        {"ответь", K::reply},
    };
    for (const auto& [phrase, kind] : phrases) {
        for (const QString end : {" ", ",", ":", ".", "-", "!", "?", "\n", "\t"}) {
            const QString text = QString::fromUtf8(phrase) + end + "Пете: буду в 5";
            const ReplyCommand expected{kind, kind == K::translate ? text : QStringLiteral("Пете: буду в 5")};
            EXPECT_EQ(ReplyTrigger::detect(text, std::nullopt), expected) << text.toStdString();
        }
    }
}

TEST(ReplyTrigger, SpokenTriggersAndTheCommandKey) {
    struct Case {
        const char* name;
        QString text;
        std::optional<QString> app;
        std::optional<ReplyCommand> detected;
        std::optional<ReplyCommand> byKey;
    };
    const Case cases[] = {
        {"reply alone", "Ответь", {}, defaultReply, defaultReply},
        {"reply alone, exclamation", "ответь!", {}, defaultReply, defaultReply},
        {"reply alone, full stop", "Ответь.", {}, defaultReply, defaultReply},
        {"reply with an instruction", "ответь, что приеду завтра", {}, ReplyCommand{K::reply, "что приеду завтра"},
         ReplyCommand{K::reply, "что приеду завтра"}},
        {"colon and full stop trimmed", "Ответь на письмо: согласен.", {}, ReplyCommand{K::reply, "согласен"},
         ReplyCommand{K::reply, "согласен"}},
        {"longest phrase wins", "ответь на это письмо, что приеду", {}, ReplyCommand{K::reply, "что приеду"},
         ReplyCommand{K::reply, "что приеду"}},
        {"longest phrase wins over a shorter of its kind", "напиши ответ на это письмо", {},
         ReplyCommand{K::reply, "письмо"}, ReplyCommand{K::reply, "письмо"}},
        {"a letter after the phrase", "Ответьте ему", {}, std::nullopt, ReplyCommand{K::automatic, "Ответьте ему"}},
        {"a quotation mark after the phrase", "ответь«да»", {}, std::nullopt,
         ReplyCommand{K::automatic, "ответь«да»"}},
        {"translation keeps the whole text", "Переведи на английский этот абзац", {},
         ReplyCommand{K::translate, "Переведи на английский этот абзац"},
         ReplyCommand{K::translate, "Переведи на английский этот абзац"}},
        {"compose alone", "напиши письмо", {}, std::nullopt, ReplyCommand{K::automatic, "напиши письмо"}},
        {"case and outer spaces", "  ОТВЕТЬ НА ЭТО  Да  ", {}, ReplyCommand{K::reply, "Да"},
         ReplyCommand{K::reply, "Да"}},
        {"phrase inside the text", "Как мне ответить?", {}, std::nullopt,
         ReplyCommand{K::automatic, "Как мне ответить?"}},
        {"phrase later in the text", "Скажи Пете: ответь на письмо", {}, std::nullopt,
         ReplyCommand{K::automatic, "Скажи Пете: ответь на письмо"}},
        {"dictated in an assistant", "ответь, что приеду", QStringLiteral("COM.OpenAI.Chat"), std::nullopt,
         ReplyCommand{K::reply, "что приеду"}},
        {"dictated elsewhere", "ответь, что приеду", QStringLiteral("org.telegram.desktop"),
         ReplyCommand{K::reply, "что приеду"}, ReplyCommand{K::reply, "что приеду"}},
        {"empty", "", {}, std::nullopt, std::nullopt},
        {"blank", " \n\t ", {}, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(describe(ReplyTrigger::detect(c.text, c.app)), describe(c.detected)) << c.name;
        EXPECT_EQ(describe(ReplyTrigger::byKey(c.text)), describe(c.byKey)) << c.name;
    }
    EXPECT_FALSE(ReplyTrigger::isAssistantApp(std::nullopt));
    EXPECT_TRUE(ReplyTrigger::isAssistantApp(QStringLiteral("com.anthropic.ClaudeForDesktop")));
}
