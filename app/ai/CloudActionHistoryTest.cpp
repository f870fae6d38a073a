#include "ai/CloudActionHistory.h"

#include "TestEnvironment.h"
#include "base/Defaults.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

TEST(CloudActionHistoryTest, CleanTitleTable) {
    const struct {
        const char* name;
        QString in, out;
    } cases[] = {
        {"only the first non-empty line", "\n\nИтог:\nещё строка\r\nи ещё", "Итог"},
        {"framed by a dash, a stop and spaces", "  - Перевод.  ", "Перевод"},
        {"runs of spaces and tabs become one space", "Короче\t\t  и   яснее", "Короче и яснее"},
        {"dashes of every kind and colons", "—–-: Ответ ;,", "Ответ"},
        {"line separators split too", QString::fromUtf16(u"Первая\u2028вторая"), "Первая"},
        {"only marks", " -- . : — ", ""},
        {"a line of spaces is the first line", "   \nслово", ""},
        {"80 letters cut to 60", QString(80, u'я'), QString(60, u'я')},
        {"the cut counts characters, not code units",
         QString::fromUtf16(u"👩‍💻").repeated(61), QString::fromUtf16(u"👩‍💻").repeated(60)},
        {"the cut is not trimmed again", QString(59, u'a') + " b", QString(59, u'a') + " "},
    };
    for (const auto& c : cases) EXPECT_EQ(CloudActionHistory::cleanTitle(c.in), c.out) << c.name;
}

class CloudActionHistoryCaptureTest : public ::testing::Test {
protected:
    test::TestEnvironment env;
    const QDateTime t0 = QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC);
};

TEST_F(CloudActionHistoryCaptureTest, CaptureEdgeCases) {
    CloudActionHistory history(env.defaults());
    int changes = 0;
    history.onChange = [&] { ++changes; };

    history.capture("—.—", "текст", t0);
    history.capture("Заголовок", " \n\t ", t0);
    EXPECT_TRUE(history.items.isEmpty());
    EXPECT_EQ(changes, 0);
    EXPECT_FALSE(env.defaults().contains("cloudActionHistory.v1"));

    history.capture("- Перевод. ", "\n\nпервая строка\n\nвторая\n\n", t0.addMSecs(250));
    ASSERT_EQ(history.items.size(), 1);
    EXPECT_EQ(history.items[0].title, "Перевод");
    EXPECT_EQ(history.items[0].text, "первая строка\n\nвторая");
    EXPECT_DOUBLE_EQ(history.items[0].date, 1700000000.25);
    EXPECT_TRUE(QRegularExpression("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$")
                    .match(history.items[0].id)
                    .hasMatch());
    const QString firstID = history.items[0].id;

    // The same text under another title is another entry.
    history.capture("Короче", "первая строка\n\nвторая", t0);
    ASSERT_EQ(history.items.size(), 2);
    // The same title and text (written with a combining mark) moves to the front, anew.
    history.capture("Перевод", QString::fromUtf16(u"первая строка\n\nвторая"), t0.addSecs(5));
    history.capture(QString::fromUtf16(u"Перевод"), QString::fromUtf16(u"e\u0301"), t0);
    history.capture(QString::fromUtf16(u"Перевод"), QString::fromUtf16(u"\u00e9"), t0.addSecs(9));
    ASSERT_EQ(history.items.size(), 3);
    EXPECT_EQ(history.items[0].text, QString::fromUtf16(u"\u00e9"));
    EXPECT_EQ(history.items[1].title, "Перевод");
    EXPECT_NE(history.items[1].id, firstID);
    EXPECT_DOUBLE_EQ(history.items[1].date, 1700000005.0);
    EXPECT_EQ(history.items[2].title, "Короче");
    EXPECT_EQ(changes, 5);

    // Stored as JSON bytes: an array, newest first, with the four fields.
    const QJsonArray stored = QJsonDocument::fromJson(env.defaults().dataValue("cloudActionHistory.v1")).array();
    ASSERT_EQ(stored.size(), 3);
    EXPECT_EQ(stored[1].toObject()["title"].toString(), "Перевод");
    EXPECT_TRUE(stored[1].toObject()["date"].isDouble());
    EXPECT_EQ(stored[1].toObject().keys().size(), 4);
}

TEST_F(CloudActionHistoryCaptureTest, FiftyItemsSurviveARestartInOrder) {
    {
        CloudActionHistory history(env.defaults());
        for (int i = 0; i < 51; ++i) history.capture(QString("Действие %1").arg(i), "текст", t0.addSecs(i));
        ASSERT_EQ(history.items.size(), 50);
        EXPECT_EQ(history.items.first().title, "Действие 50");
        EXPECT_EQ(history.items.last().title, "Действие 1");  // the 51st dropped the oldest
    }
    CloudActionHistory restarted(env.defaults());
    ASSERT_EQ(restarted.items.size(), 50);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(restarted.items[i].title, QString("Действие %1").arg(50 - i));
    EXPECT_DOUBLE_EQ(restarted.items[0].date, 1700000050.0);
}

TEST_F(CloudActionHistoryCaptureTest, StoredValuesThatLoadAndThatDoNot) {
    QJsonArray seventy;
    for (int i = 0; i < 70; ++i)
        seventy.append(QJsonObject{{"id", QString::number(i)}, {"title", "  не чищено "}, {"text", "t"},
                                   {"date", i + 0.5}, {"extra", true}});
    env.defaults().set("cloudActionHistory.v1", QJsonDocument(seventy).toJson());
    CloudActionHistory long_(env.defaults());
    ASSERT_EQ(long_.items.size(), 50);
    EXPECT_EQ(long_.items[0].id, "0");
    EXPECT_EQ(long_.items[0].title, "  не чищено ");  // loaded as stored

    for (const QByteArray& corrupt : {QByteArray("{not json"), QByteArray(R"([{"id":"1","title":"a","text":"b"}])"),
                                      QByteArray(R"([{"id":"1","title":"a","text":"b","date":"2024-01-01"}])")}) {
        env.defaults().set("cloudActionHistory.v1", corrupt);
        CloudActionHistory history(env.defaults());
        EXPECT_TRUE(history.items.isEmpty()) << corrupt.constData();
        history.capture("Новое", "текст", t0);
        EXPECT_EQ(QJsonDocument::fromJson(env.defaults().dataValue("cloudActionHistory.v1")).array().size(), 1);
    }
}

}  // namespace
