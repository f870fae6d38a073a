#include "base/BuildStamp.h"
#include "base/Bundle.h"
#include "base/DevPaths.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

QString git(const QStringList& args) {
    QProcess p;
    p.start("git", QStringList{"-C", murmeloSourceRoot()} + args);
    if (!p.waitForFinished(10000) || p.exitCode() != 0) return {};
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

class BuildStampTest : public ::testing::Test {
protected:
    ~BuildStampTest() override { Bundle::setInfoForTesting(std::nullopt); }
    void stamp(QHash<QString, QString> info) { Bundle::setInfoForTesting(std::move(info)); }
    test::TestEnvironment env;
};

TEST_F(BuildStampTest, ThisBuildCarriesTheCheckoutsBranchAndCommit) {
    EXPECT_EQ(BuildStamp::root(), murmeloSourceRoot());
    const QString head = git({"rev-parse", "HEAD"});
    if (head.isEmpty()) GTEST_SKIP() << "not built from a git checkout";
    ASSERT_TRUE(BuildStamp::commit());
    EXPECT_TRUE(head.startsWith(*BuildStamp::commit())) << head.toStdString();
    EXPECT_EQ(BuildStamp::branch(), git({"rev-parse", "--abbrev-ref", "HEAD"}));
    ASSERT_TRUE(BuildStamp::time());
    EXPECT_EQ(BuildStamp::recent().value(0), git({"log", "-1", "--format=%s"}));
    EXPECT_TRUE(BuildStamp::line().contains(*BuildStamp::commit()));
}

TEST_F(BuildStampTest, BadgeShortensTheBranch) {
    struct Case { const char* branch; const char* badge; };
    const Case cases[] = {
        {"feature/sound-cues-a1b2c3", "sound-cues"},
        {"feature-sound-cues-a1b2c3", "feature-sound"},
        {"issue3", "issue3"},
        {"feature/solo", "solo"},
        {"work-a1b2c", "work-a1b2c"},       // five characters after the dash stay
        {"work-a1b2c3d", "work-a1b2c3d"},   // seven stay too
        {"a--b---c", "a-b"},
        {"other/x-y-z", "other/x-y"},
    };
    for (const Case& c : cases) {
        stamp({{"MurmeloBuildBranch", c.branch}});
        EXPECT_EQ(BuildStamp::badge(), c.badge) << c.branch;
    }
    stamp({});
    EXPECT_EQ(BuildStamp::badge(), "?");
}

TEST_F(BuildStampTest, LineDescribesTheBuild) {
    stamp({});
    EXPECT_EQ(BuildStamp::line(), "сборка без штампа");
    stamp({{"MurmeloBuildBranch", "x"}, {"MurmeloBuildCommit", ""}});
    EXPECT_EQ(BuildStamp::line(), "x · ?");
    stamp({{"MurmeloBuildBranch", "x"}, {"MurmeloBuildCommit", "abc1234"}, {"MurmeloBuildDirty", "1"},
           {"MurmeloBuildTime", "2026-01-15 10:00"}});
    EXPECT_EQ(BuildStamp::line(), "x · abc1234 + несохранённые правки · 2026-01-15 10:00");
    stamp({{"MurmeloBuildBranch", "x"}, {"MurmeloBuildDirty", "yes"}});
    EXPECT_FALSE(BuildStamp::dirty());
}

TEST_F(BuildStampTest, OnlyAWorkBuildShowsThePanelAndTheSettingCanHideIt) {
    struct Case { QString branch; QVariant stored; bool work; bool panel; };
    const Case cases[] = {
        {"main", {}, false, false},
        {"HEAD", {}, false, false},
        {"", {}, false, false},
        {"issue3", {}, true, true},
        {"issue3", true, true, true},
        {"issue3", false, true, false},
        {"main", true, false, false},
    };
    for (const Case& c : cases) {
        stamp({{"MurmeloBuildBranch", c.branch}});
        if (c.stored.isValid()) env.defaults().set(BUILD_PANEL_KEY, c.stored);
        else env.defaults().remove(BUILD_PANEL_KEY);
        EXPECT_EQ(BuildStamp::isWork(), c.work) << c.branch.toStdString();
        EXPECT_EQ(BuildStamp::showsPanel(), c.panel) << c.branch.toStdString();
    }
}

TEST_F(BuildStampTest, WhatsNewFallsBackToTheRecentLines) {
    stamp({{"MurmeloBuildRecent0", "r0"}, {"MurmeloBuildRecent2", "r2"}, {"MurmeloBuildRecent3", "ignored"}});
    EXPECT_EQ(BuildStamp::recent(), (QStringList{"r0", "r2"}));
    EXPECT_EQ(BuildStamp::whatsNew(), (QStringList{"r0", "r2"}));
    stamp({{"MurmeloBuildRecent0", "r0"}, {"MurmeloWhatsNew1", "n1"}, {"MurmeloWhatsNew5", "n5"}, {"MurmeloWhatsNew6", "x"}});
    EXPECT_EQ(BuildStamp::whatsNew(), (QStringList{"n1", "n5"}));
}

}  // namespace

namespace {

// The script the build runs to write the stamp, run here on small trees of the test's own.
class StampScriptTest : public ::testing::Test {
protected:
    QString run(const QString& root) {
        const QString out = env.root() + "/stamp/BuildStampData.cpp";
        QDir().mkpath(env.root() + "/stamp");
        QProcess p;
        p.start("cmake", {"-DROOT=" + root, "-DOUT=" + out, "-P", murmeloSourceRoot() + "/cmake/BuildStamp.cmake"});
        EXPECT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        QFile f(out);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    bool sh(const QString& dir, const QStringList& args) {
        QProcess p;
        p.setWorkingDirectory(dir);
        p.start("git", QStringList{"-c", "user.name=t", "-c", "user.email=t@t", "-c", "init.defaultBranch=main"} + args);
        return p.waitForFinished(10000) && p.exitCode() == 0;
    }
    test::TestEnvironment env;
};

TEST_F(StampScriptTest, WritesTheCheckoutsStateAndFollowsNewCommits) {
    const QString repo = env.root() + "/repo";
    QDir().mkpath(repo);
    if (!sh(repo, {"init", "-q"})) GTEST_SKIP() << "git is not available";
    QFile(repo + "/a.txt").open(QIODevice::WriteOnly);
    ASSERT_TRUE(sh(repo, {"add", "a.txt"}));
    ASSERT_TRUE(sh(repo, {"commit", "-qm", "First \"quoted\" change"}));
    ASSERT_TRUE(sh(repo, {"checkout", "-qb", "feature/sound-cues"}));
    ASSERT_TRUE(sh(repo, {"commit", "-q", "--allow-empty", "-m", "Sound cues"}));

    const QString first = run(repo);
    EXPECT_TRUE(first.contains("{\"MurmeloBuildBranch\", \"feature/sound-cues\"}")) << first.toStdString();
    EXPECT_TRUE(first.contains("{\"MurmeloBuildDirty\", \"0\"}"));
    EXPECT_TRUE(first.contains("{\"MurmeloBuildRecent1\", \"First \\\"quoted\\\" change\"}"));
    EXPECT_TRUE(first.contains("{\"MurmeloWhatsNew0\", \"Sound cues\"}"));
    EXPECT_FALSE(first.contains("MurmeloWhatsNew1"));
    EXPECT_TRUE(first.contains("MurmeloBuildTime"));

    ASSERT_TRUE(sh(repo, {"commit", "-q", "--allow-empty", "-m", "Louder cues"}));
    const QString second = run(repo);
    EXPECT_NE(second, first);
    EXPECT_TRUE(second.contains("{\"MurmeloBuildRecent0\", \"Louder cues\"}"));
    EXPECT_TRUE(second.contains("{\"MurmeloWhatsNew1\", \"Sound cues\"}"));

    QFile(repo + "/b.txt").open(QIODevice::WriteOnly);
    EXPECT_TRUE(run(repo).contains("{\"MurmeloBuildDirty\", \"1\"}"));
}

TEST_F(StampScriptTest, OutsideAGitCheckoutOnlyTheRootIsWritten) {
    const QString plain = env.root() + "/plain";
    QDir().mkpath(plain);
    const QString text = run(plain);
    EXPECT_TRUE(text.contains("{\"MurmeloBuildRoot\", \"" + plain + "\"}")) << text.toStdString();
    EXPECT_FALSE(text.contains("MurmeloBuildBranch"));
    EXPECT_FALSE(text.contains("MurmeloBuildCommit"));
}

}  // namespace
