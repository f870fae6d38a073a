#include "base/Defaults.h"
#include "base/DefaultsCache.h"

#include "TestEnvironment.h"
#include "platform/Service.h"

#include <QFile>
#include <QTimeZone>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

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

// One stray value makes the whole list unusable: a half-read set would drop entries silently.
TEST(DefaultsTest, AStringSetIsReadOnlyFromAListOfTextsOnly) {
    Defaults d;
    d.set("words", QVariantList{"a", "b", "a"});
    d.set("mixed", QVariantList{"a", qlonglong(1)});
    d.set("text", "a");
    EXPECT_EQ(d.stringListValue("words"), (QStringList{"a", "b", "a"}));
    EXPECT_TRUE(d.stringListValue("mixed").isEmpty());
    EXPECT_EQ(d.stringSetValue("words"), (QSet<QString>{"a", "b"}));
    EXPECT_TRUE(d.stringSetValue("mixed").isEmpty());
    EXPECT_TRUE(d.stringSetValue("text").isEmpty());
    EXPECT_TRUE(d.stringSetValue("absent").isEmpty());
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A file not in the program's own form is copied aside under a name of its own (a second
// bad file never overwrites the first), logged, and every key that can be read is kept.
TEST(DefaultsTest, AFileNotInItsOwnFormIsSetAsideLoggedAndReadAsFarAsPossible) {
    test::TestEnvironment env;
    const QString path = env.root() + "/defaults.json";
    struct Case {
        const char* name;
        QByteArray bytes;
        QVariantMap kept;
    } cases[] = {
        {"garbage", "{ not json", {}},
        {"plain JSON written by hand", R"({"barIconLit": true, "hours": 8, "ratio": 0.5, "name": "ру", "nothing": null})",
         {{"barIconLit", true}, {"hours", qlonglong(8)}, {"ratio", 0.5}, {"name", "ру"}}},
        {"typed keys beside a broken one",
         R"({"flag": {"bool": false}, "clips": {"array": [{"string": "a"}]}, "bad": {"int": "x"}})",
         {{"flag", false}, {"clips", QVariantList{"a"}}}},
    };
    QStringList asides;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(path, c.bytes);
        Defaults d(path);
        ASSERT_FALSE(d.setAsidePath().isEmpty());
        EXPECT_FALSE(asides.contains(d.setAsidePath()));
        asides << d.setAsidePath();
        EXPECT_EQ(readFile(d.setAsidePath()), c.bytes);
        EXPECT_TRUE(env.logContains("настройки: файл " + path + " не в своём виде — копия отложена в " + d.setAsidePath()));
        QVariantMap read;
        for (const QString& k : d.keys()) read.insert(k, *d.object(k));
        EXPECT_EQ(read, c.kept);
        for (auto it = c.kept.begin(); it != c.kept.end(); ++it)
            EXPECT_EQ(d.object(it.key())->typeId(), it.value().typeId()) << it.key().toStdString();
        d.set("x", 1);
        Defaults again(path);
        EXPECT_EQ(again.integerValue("x"), 1);
        EXPECT_TRUE(again.setAsidePath().isEmpty());  // now in its own form
    }
    for (const QString& aside : asides) EXPECT_TRUE(QFile::exists(aside));
    Defaults last(path);
    EXPECT_EQ(last.realBool("barIconLit"), std::nullopt);  // the last case did not hold it
}

unsigned modeOf(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 0777 : 0;
}

// Settings are the user's alone: every folder made on the way 0700, the file and a copy set
// aside 0600, whatever mode the file it came from had.
TEST(DefaultsTest, FoldersAndFilesAreTheUsersAlone) {
    test::TestEnvironment env;
    const QString config = env.root() + "/fresh-config";
    const QString path = config + "/Murmelo/defaults.json";
    Defaults(path).set("x", 1);
    EXPECT_EQ(modeOf(config), 0700u);
    EXPECT_EQ(modeOf(config + "/Murmelo"), 0700u);
    EXPECT_EQ(modeOf(path), 0600u);

    writeFile(path, "{ not json");
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                                QFileDevice::ReadOther));
    Defaults broken(path);
    ASSERT_FALSE(broken.setAsidePath().isEmpty());
    EXPECT_EQ(modeOf(broken.setAsidePath()), 0600u);
}

// A damaged or hand-edited file may hold numbers that no 64-bit integer holds; converting
// them is undefined. Such a key reads as absent, so the reader's default applies, and it is
// logged once, without the value.
TEST(DefaultsTest, ANumberOutOfRangeReadsAsTheDefaultAndIsLoggedOnce) {
    test::TestEnvironment env;
    const QString path = env.root() + "/defaults.json";
    struct Case {
        const char* name;
        QByteArray value;
        bool fileInOwnForm;
        bool text;  // read as an integer, a text that is no integer gives 0, as it always did
    } cases[] = {
        {"a date far in the future", R"({"date": 7e99})", true, false},
        {"a date far in the past", R"({"date": -7e99})", true, false},
        {"a date inside a list", R"({"array": [{"string": "a"}, {"date": 1e300}]})", true, false},
        {"a real read as an integer", R"({"real": 5e24})", true, false},
        {"a negative real read as an integer", R"({"real": -9.3e18})", true, false},
        {"a number written by hand", "5e24", false, false},
        {"a text that reads as not a number", R"({"string": "nan"})", true, true},
        {"a text that reads as infinite", R"({"string": "-inf"})", true, true},
    };
    const QString line = "настройки: число в ключе murmelo.hotkeyCode вне допустимого диапазона — взято значение по умолчанию";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(path);
        writeFile(path, R"({"flag": {"bool": true}, "murmelo.hotkeyCode": )" + c.value + "}");
        const qsizetype before = env.logLines().size();
        Defaults d(path);
        for (int read = 0; read < 2; ++read) {
            EXPECT_EQ(d.integerObject("murmelo.hotkeyCode"), c.text ? std::optional<qint64>(0) : std::nullopt);
            EXPECT_EQ(d.integerValue("murmelo.hotkeyCode"), 0);
            EXPECT_TRUE(std::isfinite(d.doubleValue("murmelo.hotkeyCode")));
        }
        EXPECT_EQ(d.realBool("flag"), true);
        EXPECT_EQ(d.setAsidePath().isEmpty(), c.fileInOwnForm);
        const QStringList lines = env.logLines().mid(before);
        EXPECT_EQ(lines.filter(line).size(), 1) << lines.join('\n').toStdString();
        EXPECT_FALSE(lines.join('\n').contains("e+") || lines.join('\n').contains("e24") || lines.join('\n').contains("nan"));
    }
    // In range, the same kinds read as themselves.
    writeFile(path, R"({"when": {"date": 8.9e15}, "n": {"real": -9.2e18}, "t": {"string": "12.5"}})");
    Defaults d(path);
    ASSERT_TRUE(d.object("when").has_value());
    EXPECT_EQ(d.integerValue("n"), qint64(-9.2e18));
    EXPECT_EQ(d.doubleValue("t"), 12.5);
}

// Later subsystems read settings from worker threads while the main thread writes.
TEST(DefaultsTest, ReadsAreSafeFromAnyThread) {
    Defaults d;
    std::atomic<bool> stop{false};
    std::atomic<int> wrongType{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 3; ++r)
        readers.emplace_back([&] {
            while (!stop) {
                if (auto v = d.object("list"); v && v->typeId() != QMetaType::QVariantList) ++wrongType;
                (void)d.stringValue("name");
                (void)d.keys();
            }
        });
    for (int i = 0; i < 3000; ++i) {
        d.set("list", QVariantList{i, QString::number(i)});
        d.set("name", QString(100, QChar('a' + i % 26)));
        if (i % 3 == 0) d.remove("name");
    }
    stop = true;
    for (auto& t : readers) t.join();
    EXPECT_EQ(wrongType, 0);
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

// A kept reading is never older than the store it stands for: a write, a removal, another
// store put in and the first one put back each make it read again, and nothing else does.
TEST(DefaultsTest, AKeptReadingFollowsEveryChangeAndTheStoreInPlace) {
    Defaults first;
    ScopedService<Defaults> scope(first);
    DefaultsCache<qint64> cache;
    int reads = 0;
    const auto value = [&] {
        return cache.get([&](const Defaults& d) {
            ++reads;
            return d.integerValue("n");
        });
    };
    EXPECT_EQ(value(), 0);
    EXPECT_EQ(value(), 0);
    EXPECT_EQ(reads, 1);
    first.set("n", 1);
    EXPECT_EQ(value(), 1);
    first.set("other", true);
    first.remove("n");
    EXPECT_EQ(value(), 0);
    first.set("n", 2);
    {
        Defaults second;
        second.set("n", 3);
        ScopedService<Defaults> inner(second);
        EXPECT_EQ(value(), 3);
    }
    EXPECT_EQ(value(), 2);
    const int before = reads;
    EXPECT_EQ(value(), 2);
    EXPECT_EQ(reads, before);
}

}  // namespace
