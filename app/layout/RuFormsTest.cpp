#include "layout/RuForms.h"

#include "TestEnvironment.h"
#include "wordforms/Alphabet.h"
#include "wordforms/Fst.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

namespace murmelo {
namespace {

QByteArray setBytes(std::vector<std::string> words) {
    std::vector<std::string> keys;
    for (const auto& w : words) keys.push_back(*enc::encode(w));
    std::sort(keys.begin(), keys.end());
    fst::Builder b(false);
    for (const auto& k : keys) b.add(k);
    const std::string bytes = b.finish();
    return QByteArray(bytes.data(), qsizetype(bytes.size()));
}

using test::writeFile;

class RuFormsTest : public ::testing::Test {
protected:
    RuFormsTest() : previousRoot_(qgetenv("MURMELO_TEST_REPO_ROOT")), hadRoot_(qEnvironmentVariableIsSet("MURMELO_TEST_REPO_ROOT")) {
        qunsetenv("MURMELO_REPO_ROOT");
        qputenv("MURMELO_TEST_REPO_ROOT", repo().toUtf8());
        QDir().mkpath(resources());
        RuForms::resetForTesting(resources());
    }
    ~RuFormsTest() override {
        RuForms::resetForTesting();
        if (hadRoot_)
            qputenv("MURMELO_TEST_REPO_ROOT", previousRoot_);
        else
            qunsetenv("MURMELO_TEST_REPO_ROOT");
    }
    QString repo() const { return env_.root() + "/repo"; }
    QString resources() const { return env_.root() + "/bundle/resources"; }
    QString devFile() const { return repo() + "/layout/models/ru_forms.fst"; }
    QString bundleFile() const { return resources() + "/layout-models/ru_forms.fst"; }
    QStringList formLines() const { return env_.logLines().filter("словоформы: "); }

    test::TestEnvironment env_;

private:
    QByteArray previousRoot_;
    bool hadRoot_;
};

TEST_F(RuFormsTest, WithoutTheFileEverythingIsNoAndTheLogSaysSoOnce) {
    EXPECT_FALSE(RuForms::isReady());
    EXPECT_EQ(RuForms::count(), 0u);
    EXPECT_FALSE(RuForms::contains(QStringLiteral("кот")));
    EXPECT_FALSE(RuForms::isReady());
    const auto lines = formLines();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].endsWith("словоформы: файла нет (" + bundleFile() + ") — защита лексикона на прежних словарях"))
        << lines[0].toStdString();
}

TEST_F(RuFormsTest, WithoutABundleResourcesFolderTheDeveloperPathIsNamed) {
    RuForms::resetForTesting(QString());
    EXPECT_FALSE(RuForms::isReady());
    ASSERT_EQ(formLines().size(), 1);
    EXPECT_TRUE(formLines()[0].contains("файла нет (" + devFile() + ")"));
}

TEST_F(RuFormsTest, TheDeveloperCopyWinsOverTheBundle) {
    writeFile(devFile(), setBytes({"кот", "ёлка", "дом"}));
    writeFile(bundleFile(), setBytes({"кит"}));
    EXPECT_TRUE(RuForms::isReady());
    EXPECT_EQ(RuForms::count(), 3u);
    EXPECT_TRUE(RuForms::contains(QStringLiteral("Кот")));
    EXPECT_TRUE(RuForms::contains(QStringLiteral("ЁЛКА")));
    EXPECT_FALSE(RuForms::contains(QStringLiteral("елка")));
    EXPECT_FALSE(RuForms::contains(QStringLiteral("кит")));
    EXPECT_FALSE(RuForms::contains(QString()));
    EXPECT_FALSE(RuForms::contains(QStringLiteral("из-за")));
    ASSERT_EQ(formLines().size(), 1);
    EXPECT_TRUE(formLines()[0].endsWith("словоформы: 3 форм из ru_forms.fst"));
}

TEST_F(RuFormsTest, TheBundleCopyServesWhenTheTreeHasNone) {
    writeFile(bundleFile(), setBytes({"кит"}));
    EXPECT_TRUE(RuForms::contains(QStringLiteral("кит")));
    EXPECT_EQ(RuForms::count(), 1u);
}

TEST_F(RuFormsTest, AFileThatDoesNotOpenIsToldApartAndNotRetried) {
    writeFile(devFile(), "not a lexicon");
    EXPECT_FALSE(RuForms::isReady());
    writeFile(devFile(), setBytes({"кот"}));
    EXPECT_FALSE(RuForms::contains(QStringLiteral("кот")));
    ASSERT_EQ(formLines().size(), 1);
    EXPECT_TRUE(formLines()[0].endsWith("словоформы: автомат не открылся (" + devFile() + ")"));
}

TEST_F(RuFormsTest, ConcurrentFirstQuestionsOpenOnce) {
    writeFile(devFile(), setBytes({"кот"}));
    std::vector<std::thread> threads;
    std::atomic<int> found{0};
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&] { found += RuForms::contains(QStringLiteral("кот")) ? 1 : 0; });
    for (auto& t : threads) t.join();
    EXPECT_EQ(found, 8);
    EXPECT_EQ(formLines().size(), 1);
}

}  // namespace
}  // namespace murmelo
