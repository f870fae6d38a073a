#include "meetings/MeetingGrounding.h"

#include <gtest/gtest.h>

namespace murmelo {
namespace {

TEST(MeetingGroundingTest, CandidatesAreCapitalisedWordsOutsideSentenceStarts) {
    struct Case {
        const char* line;
        QStringList names;
    } const cases[] = {
        {"Маша пришла, потом Маша ушла.", {"Маша"}},
        {"Созвон: Маша и Петя", {"Петя"}},
        {"Zoom упал, звонили через Zoom", {"Zoom", "Zoom"}},
        {"Про ИИ говорила Оля", {"Оля"}},
        {"- Анна и Борис", {"Борис"}},
        {"Всё было в Zoom. Потом Маша", {"Zoom", "Потом", "Маша"}},
        {"Говорили про Москву. Потом Маша", {"Москву", "Маша"}},
        {"Итого 2024. Потом Маша", {"Маша"}},
        {"Сказал Mr. Smith", {"Smith"}},
        {"Деплой через node.js и Kubernetes", {"Kubernetes"}},
    };
    for (const Case& c : cases) EXPECT_EQ(MeetingGrounding::properNouns(c.line), c.names) << c.line;
}

TEST(MeetingGroundingTest, NamesAreGroundedWholeOrByStem) {
    const QString transcript = "созвонились с москва, kubectl apply, потом маша";
    struct Case {
        const char* name;
        bool grounded;
    } const cases[] = {
        {"Москвой", true}, {"Анна", false}, {"Kubernetes", false}, {"kubectl", true}, {"Маши", false}, {"...", true},
    };
    for (const Case& c : cases) EXPECT_EQ(MeetingGrounding::isGrounded(c.name, transcript), c.grounded) << c.name;

    const QString notes =
        "# Заметки · Orbitex\n"
        "Вчера созвонились с Москвой (12:34), Orbitex обсудили.\n"
        "Позже ORBITEX снова, и Акме и Анна.\n";
    EXPECT_EQ(MeetingGrounding::ungrounded(notes, "вчера москва", ""), (QStringList{"Orbitex", "Акме", "Анна"}));
    EXPECT_EQ(MeetingGrounding::ungrounded(notes, "вчера москва", "Акме\nАнна"), QStringList{"Orbitex"});
}

}  // namespace
}  // namespace murmelo
