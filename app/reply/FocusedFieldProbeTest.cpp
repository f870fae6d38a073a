#include "reply/FocusedFieldProbe.h"

#include "TestEnvironment.h"
#include "dictation/DictationNeighbours.h"
#include "input/AXText.h"
#include "platform/Service.h"
#include "sim/SimAccessibility.h"
#include "sim/SimDesktop.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

struct ReplyOnTheSimDesktop : ::testing::Test {
    test::TestEnvironment env;
    sim::SimDesktop desktop;
    sim::SimAccessibility ax{desktop};
    ScopedService<Workspace> workspaceScope{static_cast<Workspace&>(desktop)};
    ScopedService<Accessibility> axScope{static_cast<Accessibility&>(ax)};

    ReplyOnTheSimDesktop() {
        AXText::resetForTesting();
        // Blocking reads take virtual time, as a slow application would.
        ax.onBlockingRead = [this](double seconds) { env.clock().advance(seconds); };
    }
    ~ReplyOnTheSimDesktop() override { AXText::resetForTesting(); }

    qint32 open(const QString& id, const std::function<void(sim::SimField&)>& shape = {}) {
        desktop.addApp(id, id.section('.', -1));
        auto field = desktop.addField(id);
        if (shape) shape(*field);
        desktop.focus(id, field);
        return qint32(desktop.app(id)->identity.pid);
    }
};

TEST_F(ReplyOnTheSimDesktop, TheProbeReadsTheTargetsFocusedField) {
    struct Row {
        const char* name;
        std::function<void(sim::SimField&)> shape;
        bool editable;
        bool secure;
    } rows[] = {
        {"editable line", {}, true, false},
        {"password field", [](sim::SimField& f) { f.secure = true; }, true, true},
        {"secure role", [](sim::SimField& f) { f.role = AXNames::secureTextFieldRole; }, true, true},
        {"read-only", [](sim::SimField& f) { f.editable = false; }, false, false},
        // Each read answers in time, but together they overrun the whole probe's bound: in
        // doubt, not a field to type into.
        {"slow throughout", [](sim::SimField& f) { f.readDelay = 0.55; }, false, false},
    };
    for (const Row& r : rows) {
        const qint32 pid = open(QStringLiteral("org.example.") + r.name, r.shape);
        const FocusedFieldSnapshot s = FocusedFieldProbe::snapshot(pid);
        EXPECT_EQ(s, (FocusedFieldSnapshot{pid, r.editable, r.secure})) << r.name;
    }
}

TEST_F(ReplyOnTheSimDesktop, TheFrontIsReadApartFromTheTarget) {
    const qint32 target = open(QStringLiteral("org.kde.kate"));
    const qint32 other = open(QStringLiteral("org.gnome.gedit"));
    const FocusedFieldSnapshot s = FocusedFieldProbe::snapshot(target);
    EXPECT_EQ(s.frontmostPID, other);
    EXPECT_TRUE(s.isEditableTextField);  // the target's own focus, though it is behind
    EXPECT_EQ(FocusedFieldProbe::snapshot(9999), (FocusedFieldSnapshot{other, false, false}));
    // A target that takes too long to name its focused element.
    desktop.app(QStringLiteral("org.kde.kate"))->focusReadDelay = 1.0;
    EXPECT_FALSE(FocusedFieldProbe::snapshot(target).isEditableTextField);
}

TEST_F(ReplyOnTheSimDesktop, ReplyTargetIsTheFrontApplicationUnlessItNeverTakesReplies) {
    EXPECT_EQ(ReplyTarget::current(), std::nullopt);  // nothing in front
    const qint32 kate = open(QStringLiteral("org.kde.kate"));
    EXPECT_EQ(ReplyTarget::current(), (ReplyTarget{kate, "org.kde.kate", "kate"}));

    sim::SimApp& nameless = desktop.addApp(QString(), QString());
    desktop.focus(QString());
    EXPECT_EQ(ReplyTarget::current(),
              (ReplyTarget{qint32(nameless.identity.pid), "pid." + QString::number(nameless.identity.pid), "Приложение"}));

    for (const QString id : {"com.apple.loginwindow", "polkit-gnome-authentication-agent-1", "xscreensaver"}) {
        open(id);
        EXPECT_EQ(ReplyTarget::current(), std::nullopt) << id.toStdString();
    }
    // This program's own window in front.
    sim::SimApp& own = desktop.addApp(QStringLiteral("com.local.murmelo"), QStringLiteral("Ondrix"));
    own.identity.pid = QCoreApplication::applicationPid();
    desktop.focus(QStringLiteral("com.local.murmelo"));
    EXPECT_EQ(ReplyTarget::current(), std::nullopt);
}

TEST_F(ReplyOnTheSimDesktop, AQuitTargetKeepsItsRecordAndIsNoLongerAlive) {
    open(QStringLiteral("org.kde.kate"));
    const auto target = ReplyTarget::current();
    ASSERT_TRUE(target);
    EXPECT_TRUE(target->isAlive());
    desktop.quit(QStringLiteral("org.kde.kate"));
    EXPECT_FALSE(target->isAlive());
    EXPECT_EQ(target->bundleID, "org.kde.kate");
}

}  // namespace
