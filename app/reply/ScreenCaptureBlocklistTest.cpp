#include "reply/ScreenCaptureBlocklist.h"

#include "platform/Service.h"
#include "sim/SimDesktop.h"
#include "sim/SimProcesses.h"

#include "TestEnvironment.h"

#include <gtest/gtest.h>

using namespace murmelo;

TEST(ScreenCaptureBlocklist, IdsAreBlockedByTheBuiltInSetTheUserListOrAFragment) {
    test::TestEnvironment env;
    env.defaults().set(ScreenCaptureBlocklist::userListKey, QStringList{"org.example.Diary", "Org.Example.Notes"});
    struct Case {
        const char* name;
        std::optional<QString> id;
        bool blocked;
    };
    const Case cases[] = {
        {"none", std::nullopt, false},
        {"empty", QString(), false},
        {"built in", "com.apple.Passwords", true},
        {"built in, other case", "com.apple.passwords", true},  // by the fragment "password"
        {"linux id of a listed manager", "1password", true},
        {"desktop keyring tool", "org.gnome.seahorse.Application", true},
        {"user list", "org.example.Diary", true},
        {"user list differs in case", "org.example.notes", false},
        {"fragment in capitals", "com.example.MyVAULT", true},
        {"fragment inside a word", "org.example.totpgen", true},
        {"2fa", "net.some2faapp", true},
        {"ordinary", "org.mozilla.firefox", false},
    };
    for (const Case& c : cases) EXPECT_EQ(ScreenCaptureBlocklist::blocks(c.id), c.blocked) << c.name;
}

// The user list is read at every test: a change needs no restart, and a list holding anything
// but texts blocks nothing.
TEST(ScreenCaptureBlocklist, TheUserListIsReadAtEveryTest) {
    test::TestEnvironment env;
    const std::optional<QString> diary = QStringLiteral("org.example.Diary");
    EXPECT_FALSE(ScreenCaptureBlocklist::blocks(diary));
    env.defaults().set(ScreenCaptureBlocklist::userListKey, QStringList{*diary});
    EXPECT_TRUE(ScreenCaptureBlocklist::blocks(diary));
    env.defaults().set(ScreenCaptureBlocklist::userListKey, QVariantList{*diary, 7});
    EXPECT_FALSE(ScreenCaptureBlocklist::blocks(diary));
    env.defaults().set(ScreenCaptureBlocklist::userListKey, *diary);
    EXPECT_FALSE(ScreenCaptureBlocklist::blocks(diary));
}

// By process: the application's id, else the executable's name, so that a password manager
// without a desktop entry is still blocked.
TEST(ScreenCaptureBlocklist, ProcessesAreTestedByIdAndByExecutableName) {
    test::TestEnvironment env;
    sim::SimDesktop desk;
    sim::SimProcesses processes{500};
    ScopedService<Workspace> deskScope{desk};
    ScopedService<Processes> processesScope{processes};
    const qint32 keepass = qint32(desk.addApp("keepassxc", "KeePassXC").identity.pid);
    const qint32 editor = qint32(desk.addApp("org.gnome.TextEditor", "Text Editor").identity.pid);
    const qint32 nameless = qint32(desk.addApp("org.example.Unnamed", "").identity.pid);
    processes.add(keepass, 1, 0, "/usr/bin/keepassxc");
    processes.add(editor, 1, 0, "/usr/bin/gnome-text-editor");
    processes.add(7001, 1, 0, "/opt/Bitwarden/bitwarden");  // no window, no id
    processes.add(7002, 1, 0, "", {"/opt/1Password/1password", "--silent"});  // executable unreadable
    processes.add(7003, 1, 0, "/usr/bin/python3", {"/usr/bin/python3", "vault.py"});

    struct Case {
        const char* name;
        qint32 pid;
        bool blocked;
        QString appName;
    };
    const Case cases[] = {
        {"manager by id", keepass, true, "KeePassXC"},
        {"ordinary application", editor, false, "Text Editor"},
        {"manager by executable", 7001, true, "приложение"},
        {"manager by its first argument", 7002, true, "приложение"},
        {"only a script's argument names it", 7003, false, "приложение"},
        {"no name", nameless, false, "приложение"},
        {"not running", 9999, false, "приложение"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ScreenCaptureBlocklist::blocks(c.pid), c.blocked) << c.name;
        EXPECT_EQ(ScreenCaptureBlocklist::appName(c.pid).toStdString(), c.appName.toStdString()) << c.name;
    }
    desk.quit("keepassxc");
    processes.remove(keepass);
    EXPECT_FALSE(ScreenCaptureBlocklist::blocks(keepass));
}
