// Screen context of the test desktop's target window: its accessibility text, its captured
// and recognised text, and the participant-names route that waits on the main thread.
#include "linux/AtspiAccessibility.h"
#include "linux/QtWindowCapture.h"
#include "linux/TesseractRecognizer.h"
#include "linux/X11Workspace.h"
#include "platform/Service.h"
#include "reply/AXTextHarvester.h"
#include "reply/ReplySeam.h"
#include "reply/WindowOCR.h"

#include "DesktopHarness.h"

#include <QElapsedTimer>
#include <QSemaphore>
#include <gtest/gtest.h>

using namespace murmelo;
using namespace murmelo::linuxdesktop;

namespace {

const QString password = QStringLiteral("Gx7-hunter-parol");

struct DesktopScreenContext : ::testing::Test {
    test::DesktopTarget target;
    std::unique_ptr<X11Workspace> workspace;
    std::unique_ptr<AtspiAccessibility> ax;
    // For the process's life: a recognition the test gave up on may still be using them.
    static inline QtWindowCapture& capture = *new QtWindowCapture;
    static inline TesseractRecognizer& recognizer = *new TesseractRecognizer;
    std::unique_ptr<ScopedService<Workspace>> workspaceScope;
    std::unique_ptr<ScopedService<Accessibility>> axScope;
    std::unique_ptr<ScopedService<WindowCapture>> captureScope;
    std::unique_ptr<ScopedService<TextRecognizer>> recognizerScope;

    void SetUp() override {
        if (!test::DesktopTarget::available()) GTEST_SKIP() << "needs the test desktop (scripts/desktop-session)";
        workspace = std::make_unique<X11Workspace>();
        ax = std::make_unique<AtspiAccessibility>();
        ASSERT_TRUE(workspace->isConnected());
        ASSERT_TRUE(ax->isConnected());
        workspaceScope = std::make_unique<ScopedService<Workspace>>(*workspace);
        axScope = std::make_unique<ScopedService<Accessibility>>(*ax);
        captureScope = std::make_unique<ScopedService<WindowCapture>>(capture);
        recognizerScope = std::make_unique<ScopedService<TextRecognizer>>(recognizer);
        ASSERT_TRUE(target.command(QStringLiteral("password ") + password));
        // In front, so that nothing covers the window it captures.
        ASSERT_TRUE(target.command(QStringLiteral("focus line")));
    }
    void TearDown() override {
        recognizerScope.reset();
        captureScope.reset();
        axScope.reset();
        workspaceScope.reset();
    }
};

// Recognition may misread a letter; whole words of both languages must come through.
void expectParagraph(const QString& text) {
    EXPECT_TRUE(text.contains(QStringLiteral("quarterly report"))) << qPrintable(text);
    EXPECT_TRUE(text.contains(QStringLiteral("квартальный доклад"))) << qPrintable(text);
    EXPECT_FALSE(text.contains(password)) << qPrintable(text);
}

TEST_F(DesktopScreenContext, HarvestingTheWindowGivesItsParagraphButNotThePassword) {
    QElapsedTimer clock;
    clock.start();
    const auto harvest = AXTextHarvester::harvestWindow(target.pid(), AXTextHarvester::timeBudget);
    EXPECT_LT(clock.elapsed(), 2500);
    ASSERT_TRUE(harvest.text);
    EXPECT_TRUE(harvest.text->contains(QStringLiteral("Please send the quarterly report to the board by Friday morning.")));
    EXPECT_TRUE(harvest.text->contains(QStringLiteral("Пришлите квартальный доклад правлению до утра пятницы.")));
    EXPECT_FALSE(harvest.text->contains(password));
}

TEST_F(DesktopScreenContext, RecognisingTheWindowWhileTheMainThreadWaitsGivesItsParagraph) {
    // As the participant-names mode does: the main thread blocks on a semaphore, so the
    // answer must not need it.
    struct Answer {
        QSemaphore done;
        std::optional<QString> text;
        QString error;
    };
    auto answer = std::make_shared<Answer>();
    ReplySeam seam;
    seam.windowOCRRecognizeText(target.pid(), {QStringLiteral("murmelo test target")},
                                [answer](std::optional<QString> text, QString error) {
                                    answer->text = std::move(text);
                                    answer->error = std::move(error);
                                    answer->done.release();
                                });
    ASSERT_TRUE(answer->done.tryAcquire(1, 20000));
    ASSERT_TRUE(answer->text) << qPrintable(answer->error);
    expectParagraph(*answer->text);
}

}  // namespace
