#include "reply/CodexExecutable.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

const QStringList fixed{"/Applications/ChatGPT.app/Contents/Resources/codex", "/Applications/Codex.app/Contents/Resources/codex",
                        "/opt/homebrew/bin/codex", "/usr/local/bin/codex"};

QProcessEnvironment env(std::initializer_list<std::pair<const char*, const char*>> vars) {
    QProcessEnvironment e;
    for (const auto& [k, v] : vars) e.insert(k, v);
    return e;
}

}  // namespace

TEST(CodexExecutable, CandidatesInOrder) {
    const struct {
        const char* name;
        QProcessEnvironment environment;
        QStringList expected;
    } cases[] = {
        {"nothing set", env({}), fixed},
        {"override untrimmed and unexpanded", env({{"ONDRIX_CODEX_EXECUTABLE", " ~/codex"}}), QStringList{" ~/codex"} + fixed},
        {"empty override ignored", env({{"ONDRIX_CODEX_EXECUTABLE", ""}}), fixed},
        {"home", env({{"HOME", "/home/u"}}), fixed + QStringList{"/home/u/.local/bin/codex"}},
        {"empty home still joins", env({{"HOME", ""}}), fixed + QStringList{"/.local/bin/codex"}},
        {"path parts, empty ones skipped", env({{"PATH", "/usr/local/bin::/opt/homebrew/bin:bin"}}),
         fixed + QStringList{"/usr/local/bin/codex", "/opt/homebrew/bin/codex", "bin/codex"}},
    };
    for (const auto& c : cases) EXPECT_EQ(CodexExecutable::candidates(c.environment), c.expected) << c.name;
}

TEST(CodexExecutable, FirstExecutableRegularFileWins) {
    QTemporaryDir dir;
    auto make = [&](const QString& relative, QFile::Permissions permissions) {
        const QString path = dir.filePath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.close();
        f.setPermissions(permissions);
        return path;
    };
    const auto exec = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    const QString plain = make("plain/codex", QFile::ReadOwner | QFile::WriteOwner);
    const QString first = make("first/codex", exec);
    const QString second = make("second/codex", exec);
    QDir().mkpath(dir.filePath("folder/codex"));  // a folder is executable, but no program
    const QString path = dir.filePath("folder") + ':' + dir.filePath("plain") + ':' + dir.filePath("first") + ':' +
                         dir.filePath("second");

    QProcessEnvironment e;
    e.insert("PATH", path);
    EXPECT_EQ(CodexExecutable::url(e), first);
    e.insert("HOME", dir.filePath("nohome"));
    e.insert("ONDRIX_CODEX_EXECUTABLE", dir.filePath("missing"));
    EXPECT_EQ(CodexExecutable::url(e), first);  // a missing override is passed over
    e.insert("ONDRIX_CODEX_EXECUTABLE", plain);
    EXPECT_EQ(CodexExecutable::url(e), first);  // so is one that cannot run
    e.insert("ONDRIX_CODEX_EXECUTABLE", second);
    EXPECT_EQ(CodexExecutable::url(e), second);
    make("nohome/.local/bin/codex", exec);
    e.remove("ONDRIX_CODEX_EXECUTABLE");
    EXPECT_EQ(CodexExecutable::url(e), dir.filePath("nohome/.local/bin/codex"));
    // Nothing is remembered: a program removed is no longer found.
    QFile::remove(first);
    QFile::remove(second);
    QFile::remove(dir.filePath("nohome/.local/bin/codex"));
    EXPECT_EQ(CodexExecutable::url(e), std::nullopt);
}
