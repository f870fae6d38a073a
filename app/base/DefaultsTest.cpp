#include "base/Defaults.h"

#include "TestEnvironment.h"

#include <QFile>
#include <QTimeZone>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

TEST(DefaultsTest, ValuesKeepTheirTypesThroughTheFile) {
    test::TestEnvironment env;
    const QString path = env.root() + "/config/Murmelo/defaults.json";
    const QDateTime when(QDate(2026, 5, 1), QTime(12, 30), Qt::UTC);
    {
        Defaults d(path);
        d.set("flag", true);
        d.set("hours", 8);
        d.set("ratio", 2.0);
        d.set("name", "ру");
        d.set("blob", QByteArray("\x00\x01", 2));
        d.set("when", when);
        d.set("list", QVariantList{1, "a", false});
        d.set("dict", QVariantMap{{"k", 1.5}});
    }
    Defaults d(path);
    EXPECT_EQ(d.object("flag")->typeId(), QMetaType::Bool);
    EXPECT_EQ(d.object("hours")->typeId(), QMetaType::LongLong);
    EXPECT_EQ(d.object("ratio")->typeId(), QMetaType::Double);
    EXPECT_EQ(d.integerValue("hours"), 8);
    EXPECT_EQ(d.doubleValue("ratio"), 2.0);
    EXPECT_EQ(d.stringValue("name"), "ру");
    EXPECT_EQ(d.dataValue("blob"), QByteArray("\x00\x01", 2));
    EXPECT_EQ(d.object("when")->toDateTime(), when);
    EXPECT_EQ(d.listValue("list"), (QVariantList{qlonglong(1), "a", false}));
    EXPECT_EQ(d.dictionaryValue("dict").value("k").toDouble(), 1.5);
    EXPECT_FALSE(d.object("absent").has_value());
}

TEST(DefaultsTest, ConversionsFollowThePlatformDefaults) {
    Defaults d;
    d.set("s", "yes");
    d.set("n", 2.7);
    d.set("b", true);
    EXPECT_TRUE(d.boolValue("s"));
    EXPECT_FALSE(d.realBool("s").has_value());
    EXPECT_EQ(d.integerValue("n"), 2);
    EXPECT_EQ(d.realBool("b"), true);
    EXPECT_FALSE(d.boolValue("absent"));
    EXPECT_EQ(d.integerValue("absent"), 0);
}

TEST(DefaultsTest, AnUnreadableFileIsSetAsideNotOverwritten) {
    test::TestEnvironment env;
    const QString path = env.root() + "/defaults.json";
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("{ not json");
    }
    Defaults d(path);
    EXPECT_TRUE(d.keys().isEmpty());
    EXPECT_EQ(d.setAsidePath(), path + ".bad");
    QFile bad(path + ".bad");
    ASSERT_TRUE(bad.open(QIODevice::ReadOnly));
    EXPECT_EQ(bad.readAll(), QByteArray("{ not json"));
    d.set("x", 1);
    EXPECT_EQ(Defaults(path).integerValue("x"), 1);
}

TEST(DefaultsTest, ChangesAreAnnounced) {
    Defaults d;
    QStringList seen;
    QObject::connect(&d, &Defaults::changed, [&](const QString& k) { seen << k; });
    d.set("a", 1);
    d.remove("a");
    d.remove("a");
    EXPECT_EQ(seen, (QStringList{"a", "a"}));
}

}  // namespace
