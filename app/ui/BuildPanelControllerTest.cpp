#include "ui/BuildPanelController.h"
#include "base/BuildStamp.h"
#include "base/Bundle.h"
#include "TestEnvironment.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QToolButton>
#include <QWidget>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

class BuildPanelTest : public ::testing::Test {
protected:
    ~BuildPanelTest() override {
        BuildPanelController::shared().hide();
        Bundle::setInfoForTesting(std::nullopt);
    }
    void stamp(int whatsNew, int recent = 0, QString branch = "feature/sound-cues-a1b2c3") {
        QHash<QString, QString> info{{"MurmeloBuildBranch", branch}, {"MurmeloBuildCommit", "abc1234"},
                                     {"MurmeloBuildTime", "2026-01-15 10:00"}, {"MurmeloBuildDirty", "1"}};
        for (int i = 0; i < whatsNew; ++i) info.insert(QString("MurmeloWhatsNew%1").arg(i), QString("новое %1").arg(i));
        for (int i = 0; i < recent; ++i) info.insert(QString("MurmeloBuildRecent%1").arg(i), QString("недавнее %1").arg(i));
        Bundle::setInfoForTesting(info);
    }
    test::TestEnvironment env;
};

TEST_F(BuildPanelTest, ModelLaysOutFromTheBottomUp) {
    stamp(6);
    const auto m = BuildPanelModel::current();
    ASSERT_TRUE(m);
    EXPECT_EQ(m->lines.size(), 4);
    EXPECT_EQ(m->availableLines, 6);
    EXPECT_EQ(m->height, 129);
    EXPECT_EQ(m->title, "sound-cues ●");
    EXPECT_EQ(m->detail, "abc1234 · 2026-01-15 10:00");
    EXPECT_EQ(m->lineFrames.last(), QRectF(10, 10, 212, 14));
    EXPECT_EQ(m->lineFrames.first(), QRectF(10, 61, 212, 14));
    EXPECT_EQ(m->dividerFrame, QRectF(10, 84, 212, 1));
    EXPECT_EQ(m->detailFrame, QRectF(10, 91, 196, 12));
    EXPECT_EQ(m->titleFrame, QRectF(10, 104, 196, 15));
    EXPECT_EQ(m->closeFrame, QRectF(209, 106, 13, 13));
    EXPECT_EQ(m->logLine(), "плашка сборки: показана (4 строк из 6)");

    stamp(0, 2);
    EXPECT_EQ(BuildPanelModel::current()->lines, (QStringList{"недавнее 0", "недавнее 1"}));
    EXPECT_EQ(BuildPanelModel::current()->height, 10 + 2 * 17 + 10 + 41);
    stamp(0, 0);
    EXPECT_FALSE(BuildPanelModel::current());
}

TEST_F(BuildPanelTest, ShowsAFloatingPanelInTheBottomRightCorner) {
    stamp(6);
    BuildPanelController::shared().refresh();
    QWidget* panel = BuildPanelController::shared().panel();
    ASSERT_TRUE(panel);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_TRUE(panel->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(panel->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(panel->windowFlags() & Qt::WindowDoesNotAcceptFocus);
    EXPECT_TRUE(panel->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_EQ(panel->size(), QSize(232, 129));
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(panel->pos(), QPoint(available.x() + available.width() - 232 - 14,
                                   available.y() + available.height() - 14 - 129));
    EXPECT_TRUE(env.logContains("плашка сборки: показана (4 строк из 6)"));

    auto* title = panel->findChild<QLabel*>("title");
    ASSERT_TRUE(title);
    EXPECT_EQ(title->text(), "sound-cues ●");
    EXPECT_EQ(title->geometry(), QRect(10, 10, 196, 15));  // converted to top-left origin
    auto* close = panel->findChild<QToolButton*>("close");
    ASSERT_TRUE(close);
    EXPECT_EQ(close->geometry(), QRect(209, 10, 13, 13));
    EXPECT_EQ(close->accessibleName(), "Закрыть плашку сборки");

    const QImage img = panel->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(img.size(), QSize(232, 129));
    EXPECT_EQ(img.pixelColor(0, 0).alpha(), 0);  // outside the rounded corner
    const QColor fill = img.pixelColor(120, 70);  // between two list lines' text
    const QColor surface = BuildPanelModel::surface();
    EXPECT_NEAR(fill.red(), surface.red(), 1);
    EXPECT_NEAR(fill.green(), surface.green(), 1);
    EXPECT_NEAR(fill.blue(), surface.blue(), 1);
    EXPECT_EQ(fill.alpha(), surface.alpha());
}

TEST_F(BuildPanelTest, RefreshFollowsTheSettingAndCloseIsForThisSessionOnly) {
    stamp(2);
    env.defaults().set(BUILD_PANEL_KEY, false);
    BuildPanelController::shared().refresh();
    EXPECT_FALSE(BuildPanelController::shared().panel());

    env.defaults().set(BUILD_PANEL_KEY, true);
    BuildPanelController::shared().refresh();
    ASSERT_TRUE(BuildPanelController::shared().panel());
    BuildPanelController::shared().panel()->findChild<QToolButton*>("close")->click();
    EXPECT_FALSE(BuildPanelController::shared().panel());
    EXPECT_TRUE(env.logContains("плашка сборки: закрыта на эту сессию"));
    EXPECT_FALSE(env.defaults().object(BUILD_PANEL_KEY) == QVariant(false));

    BuildPanelController::shared().refresh();
    ASSERT_TRUE(BuildPanelController::shared().panel());
    const int logged = int(env.logLines().size());
    BuildPanelController::shared().hide();
    EXPECT_FALSE(BuildPanelController::shared().panel());
    EXPECT_EQ(env.logLines().size(), logged);

    stamp(2, 0, "main");
    BuildPanelController::shared().refresh();
    EXPECT_FALSE(BuildPanelController::shared().panel());
}

TEST_F(BuildPanelTest, MirrorsForRightToLeft) {
    stamp(1);
    env.defaults().set("forceRTL", true);
    BuildPanelController::shared().refresh();
    ASSERT_TRUE(BuildPanelController::shared().panel());
    auto* close = BuildPanelController::shared().panel()->findChild<QToolButton*>("close");
    EXPECT_EQ(close->geometry().x(), 232 - 209 - 13);
}

}  // namespace
