#include "meetings/MeetingParticipants.h"

#include <gtest/gtest.h>

namespace murmelo {
namespace {

namespace MP = MeetingParticipants;

TEST(MeetingParticipantsNames, TilesGiveNamesOnlyWhenTheyLookLikeNames) {
    const struct {
        QString tile;
        std::optional<QString> name;
    } cases[] = {
        {"Иван Петров", QString("Иван Петров")},
        {"  Anna Schmidt (Guest), ", QString("Anna Schmidt")},
        {"Maria (me)", std::nullopt},
        {"Мария (Вы)", std::nullopt},
        {"Host (Me, Host)", std::nullopt},
        {"Mute", std::nullopt},
        {"Start Video", std::nullopt},
        {"Start Alexander", QString("Start Alexander")},
        {"Выйти Звук", std::nullopt},
        {"John Smith2", std::nullopt},
        {"Иван ٣", std::nullopt},
        {"john smith", std::nullopt},
        {"иван петров", std::nullopt},
        {"A", std::nullopt},
        {"Jo", QString("Jo")},
        {"Anna Maria Luisa Berg", std::nullopt},
        {"Anna Maria Berg", QString("Anna Maria Berg")},
        {"Ann@Example", std::nullopt},
        {"Https://Meet", std::nullopt},
        {"Ölaf Ärnberg:", QString("Ölaf Ärnberg")},
        {"Abcdefghijklmnopqrst Abcdefghijklmnopqrs", QString("Abcdefghijklmnopqrst Abcdefghijklmnopqrs")},
        {"Abcdefghijklmnopqrst Abcdefghijklmnopqrst", std::nullopt},
        {"Ⅳ Ⓚ", QString("Ⅳ Ⓚ")},
    };
    for (const auto& c : cases) EXPECT_EQ(MP::name(c.tile), c.name) << c.tile.toStdString();
}

TEST(MeetingParticipantsNames, LinesSplitIntoTilesAndNamesAreListedOnce) {
    EXPECT_EQ(MP::splitTiles("Иван Петров | Мария\t•  · Олег·"), (QStringList{"Иван Петров", "Мария", "Олег"}));
    EXPECT_EQ(MP::candidates("Alice Brown | Bob (me) | Mute\n\n"), QStringList{"Alice Brown"});
    EXPECT_EQ(MP::candidates("Иван Петров | Мария\nучастники 3\nМАРИЯ • Олег\nИван петров"),
              (QStringList{"Иван Петров", "Мария", "Олег"}));
}

}  // namespace
}  // namespace murmelo
