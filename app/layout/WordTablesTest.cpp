#include "layout/WordTables.h"

#include "TestEnvironment.h"
#include "WordTablesTestSupport.h"

#include <QDir>

#include <gtest/gtest.h>

#include <map>

namespace murmelo {
namespace {

class WordTablesTest : public ::testing::Test {
protected:
    std::shared_ptr<const WordSetFile> file(const QString& name, const QByteArray& bytes, bool map) {
        const QString path = QDir(env.root()).filePath(name);
        test::writeBytes(path, bytes);
        return WordSetFile::open(path, map);
    }
    std::shared_ptr<const WordSetFile> counts() {
        return file(QStringLiteral("counts.fst"),
                    test::wordSetBytes({{QStringLiteral("кот"), 5}, {QStringLiteral("пёс"), 0}, {QStringLiteral("жар-птица"), 7}}, true),
                    true);
    }
    test::TestEnvironment env;
};

// A word is found only as it was written: the files hold lower case, and a word with a
// character outside their alphabet is in none of them.
TEST_F(WordTablesTest, FilesAnswerForWordsExactlyAsWritten) {
    const auto f = counts();
    ASSERT_TRUE(f);
    EXPECT_EQ(f->size(), 3u);
    const struct {
        const char16_t* word;
        std::optional<quint64> value;
    } rows[] = {{u"кот", 5}, {u"пёс", 0}, {u"жар-птица", 7}, {u"Кот", std::nullopt}, {u"пес", std::nullopt},
                {u"ко", std::nullopt}, {u"коты", std::nullopt}, {u"cat", std::nullopt}, {u"", std::nullopt}};
    for (const auto& r : rows) {
        const QString w = QString::fromUtf16(r.word);
        EXPECT_EQ(f->value(w), r.value) << w.toStdString();
        EXPECT_EQ(f->contains(w), r.value.has_value()) << w.toStdString();
    }
    EXPECT_TRUE(f->extends(QStringLiteral("ко")));
    EXPECT_FALSE(f->extends(QStringLiteral("кот")));
    EXPECT_FALSE(f->extends(QStringLiteral("Ко")));
}

TEST_F(WordTablesTest, FilesOfTheWrongKindOrDamagedAreRefused) {
    const QByteArray set = test::wordSetBytes({QStringLiteral("кот")});
    EXPECT_TRUE(file(QStringLiteral("set.fst"), set, false));
    EXPECT_FALSE(file(QStringLiteral("set.fst"), set, true));
    EXPECT_FALSE(file(QStringLiteral("cut.fst"), set.left(set.size() - 1), false));
    EXPECT_FALSE(file(QStringLiteral("text.fst"), QByteArray("кот\t5\n"), true));
    EXPECT_FALSE(WordSetFile::open(QDir(env.root()).filePath(QStringLiteral("missing.fst")), false));
}

// Words merged at load time replace the file's count and are counted once.
TEST_F(WordTablesTest, CountsAddedOnTopOfTheFile) {
    WordCounts c(counts());
    c.insert(QStringLiteral("кот"), 150);
    c.insert(QStringLiteral("нос"), 1);
    c.insert(QStringLiteral("нос"), 2);
    EXPECT_EQ(c.value(QStringLiteral("кот")), 150);
    EXPECT_EQ(c.value(QStringLiteral("нос")), 2);
    EXPECT_EQ(c.value(QStringLiteral("пёс"), -1), 0);
    EXPECT_EQ(c.value(QStringLiteral("лес"), -1), -1);
    EXPECT_EQ(c.size(), 4);

    std::map<QString, qint64> seen;
    c.forEach([&](const QString& w, qint64 n) { EXPECT_TRUE(seen.emplace(w, n).second) << w.toStdString(); });
    EXPECT_EQ(seen, (std::map<QString, qint64>{{QStringLiteral("жар-птица"), 7}, {QStringLiteral("кот"), 150},
                                                {QStringLiteral("нос"), 2}, {QStringLiteral("пёс"), 0}}));
    QStringList fresh;
    c.forEachAddedNew([&](const QString& w) { fresh << w; });
    EXPECT_EQ(fresh, QStringList{QStringLiteral("нос")});
}

TEST_F(WordTablesTest, SetsAndPairsWithWordsAddedOnTop) {
    WordSet s(file(QStringLiteral("set.fst"), test::wordSetBytes({QStringLiteral("слово"), QStringLiteral("лист")}), false));
    s.insert(QStringLiteral("слово"));
    s.insert(QStringLiteral("Нож"));
    EXPECT_TRUE(s.contains(QStringLiteral("лист")));
    EXPECT_TRUE(s.contains(QStringLiteral("Нож")));
    EXPECT_FALSE(s.contains(QStringLiteral("нож")));
    EXPECT_TRUE(s == (QSet<QString>{QStringLiteral("слово"), QStringLiteral("лист"), QStringLiteral("Нож")}));

    WordPairs p(file(QStringLiteral("pairs.fst"),
                     test::wordSetBytes({QStringLiteral("карова\tкорова"), QStringLiteral("превет\tпривет"),
                                         QStringLiteral("превета\tпривета")}),
                     false));
    EXPECT_EQ(p.size(), 3);
    EXPECT_EQ(p.value(QStringLiteral("превет")), QStringLiteral("привет"));
    EXPECT_EQ(p.value(QStringLiteral("превета")), QStringLiteral("привета"));
    for (const char16_t* miss : {u"прев", u"корова", u"Карова", u"карова\tкорова"})
        EXPECT_FALSE(p.contains(QString::fromUtf16(miss))) << QString::fromUtf16(miss).toStdString();
    p.insert(QStringLiteral("карова"), QStringLiteral("корова2"));
    p.insert(QStringLiteral("Карова"), QStringLiteral("Корова"));
    EXPECT_EQ(p.value(QStringLiteral("карова")), QStringLiteral("корова2"));
    EXPECT_EQ(p.value(QStringLiteral("Карова")), QStringLiteral("Корова"));
    EXPECT_EQ(p.size(), 4);
}

}  // namespace
}  // namespace murmelo
