#include "reply/WindowOCR.h"

#include "TestEnvironment.h"
#include "platform/Service.h"
#include "sim/SimDesktop.h"
#include "sim/SimWindowCapture.h"

#include <gtest/gtest.h>

using namespace murmelo;

namespace {

WindowInfo win(quint64 id, double w, double h, const QString& title = {}) {
    return WindowInfo{id, title, QRectF(0, 0, w, h), true, true};
}

QStringList texts(const std::vector<RecognizedLine>& lines) {
    QStringList out;
    for (const auto& l : lines) out.append(l.text);
    return out;
}

TEST(WindowOCRSize, CapturesAtTwiceThePointsUpToTwelveMillionPixels) {
    EXPECT_EQ(WindowOCR::cappedSize(1728, 1117, 2), QSize(3456, 2234));
    EXPECT_EQ(WindowOCR::cappedSize(2560, 1440, 2), QSize(4618, 2598));
    EXPECT_EQ(WindowOCR::cappedSize(0, 0, 2), QSize(1, 1));
}

TEST(WindowOCRChoice, CandidatesAreLargeOrdinaryShownWindowsMatchingATitle) {
    auto hidden = win(7, 900, 900);
    hidden.mapped = false;
    auto menu = win(8, 900, 900);
    menu.normal = false;
    struct Row {
        const char* name;
        std::vector<WindowInfo> windows;
        std::optional<QStringList> titles;
        std::optional<quint64> chosen;
    } rows[] = {
        {"201 by 121 is a candidate", {win(1, 201, 121)}, std::nullopt, 1},
        {"200 by 121 is not", {win(1, 200, 121)}, std::nullopt, std::nullopt},
        {"largest wins", {win(1, 300, 300), win(2, 400, 400), win(3, 350, 350)}, std::nullopt, 2},
        {"equal areas: the first listed", {win(1, 400, 300), win(2, 300, 400)}, std::nullopt, 1},
        {"hidden and menus are not windows", {hidden, menu}, std::nullopt, std::nullopt},
        {"fragment ignores case", {win(1, 900, 900, QStringLiteral("Zoom Meeting")), win(2, 300, 300, QStringLiteral("zoom meeting"))},
         QStringList{QStringLiteral("ZOOM")}, 1},
        {"only matching titles", {win(1, 900, 900, QStringLiteral("Inbox")), win(2, 300, 300, QStringLiteral("Call"))},
         QStringList{QStringLiteral("call")}, 2},
        {"no title matches", {win(1, 900, 900, QStringLiteral("Inbox"))}, QStringList{QStringLiteral("call")}, std::nullopt},
        {"empty list matches nothing", {win(1, 900, 900, QStringLiteral("Inbox"))}, QStringList{}, std::nullopt},
        {"only empty fragments", {win(1, 900, 900, QStringLiteral("Inbox"))}, QStringList{QString()}, std::nullopt},
        {"untitled never matches", {win(1, 900, 900)}, QStringList{QStringLiteral("a")}, std::nullopt},
    };
    for (const Row& r : rows) {
        const auto got = WindowOCR::chooseWindow(r.windows, r.titles);
        if (r.chosen) {
            ASSERT_TRUE(std::holds_alternative<WindowInfo>(got)) << r.name;
            EXPECT_EQ(std::get<WindowInfo>(got).id, *r.chosen) << r.name;
        } else {
            ASSERT_TRUE(std::holds_alternative<WindowOCR::Failure>(got)) << r.name;
            EXPECT_EQ(std::get<WindowOCR::Failure>(got).kind, WindowOCR::Failure::noWindow) << r.name;
        }
    }
}

TEST(WindowOCRChoice, TitlesSeenAreLoggedWhenNoneMatches) {
    test::TestEnvironment env;
    WindowOCR::chooseWindow({win(1, 900, 900, QStringLiteral("Inbox")), win(2, 900, 900), win(3, 900, 900, QStringLiteral("Draft"))},
                            QStringList{QStringLiteral("call")});
    EXPECT_EQ(env.logLines().filter(QStringLiteral("OCR: окна по заголовку нет, были: Inbox | Draft")).size(), 1);
}

TEST(WindowOCRLines, RowsReadTopToBottomThenLeftToRight) {
    // Recorded boxes of a chat header and two messages. Under the pairwise rule ("within 0.01 the
    // left one first, else the higher one") the first three form a cycle: a sort with it has
    // no answer. Rows are cut from the top line down instead.
    const std::vector<RecognizedLine> lines = {
        {0.500, 0.10, QStringLiteral("x"), 1},
        {0.507, 0.50, QStringLiteral("y"), 1},
        {0.514, 0.90, QStringLiteral("z"), 1},
        {0.800, 0.60, QStringLiteral("right of title"), 1},
        {0.805, 0.05, QStringLiteral("title"), 1},
        {0.200, 0.30, QStringLiteral("last"), 1},
    };
    EXPECT_EQ(texts(WindowOCR::ordered(lines)),
              (QStringList{"title", "right of title", "y", "z", "x", "last"}));
}

struct Recognition : ::testing::Test {
    test::TestEnvironment env;
    sim::SimTextRecognizer recognizer;
    ScopedService<TextRecognizer> scope{static_cast<TextRecognizer&>(recognizer)};
};

TEST_F(Recognition, KeepsConfidentLinesAndNeedsTwentyCharacters) {
    struct Row {
        const char* name;
        std::vector<RecognizedLine> lines;
        std::optional<QString> text;
    } rows[] = {
        {"twenty characters", {{0.5, 0, QStringLiteral(" 12345678901234567890 "), 0.9}}, QStringLiteral("12345678901234567890")},
        {"nineteen", {{0.5, 0, QStringLiteral("1234567890123456789"), 0.9}}, std::nullopt},
        {"confidence exactly 0.3 is dropped",
         {{0.6, 0, QStringLiteral("1234567890"), 0.9}, {0.5, 0, QStringLiteral("abcdefghijk"), 0.3}}, std::nullopt},
        {"no lines", {}, std::nullopt},
    };
    for (const Row& r : rows) {
        recognizer.lines = r.lines;
        const auto got = WindowOCR::recognize(QImage(10, 10, QImage::Format_RGB32));
        if (r.text) {
            EXPECT_EQ(std::get<QString>(got), *r.text) << r.name;
        } else {
            EXPECT_EQ(std::get<WindowOCR::Failure>(got).description(), QStringLiteral("На экране не нашлось читаемого текста."))
                << r.name;
        }
    }
    recognizer.error = QStringLiteral("модель не загрузилась");
    EXPECT_EQ(std::get<WindowOCR::Failure>(WindowOCR::recognize(QImage())).description(), recognizer.error);
}

struct WindowRecognition : Recognition {
    sim::SimDesktop desktop;
    sim::SimWindowCapture capture;
    ScopedService<Workspace> workspaceScope{static_cast<Workspace&>(desktop)};
    ScopedService<WindowCapture> captureScope{static_cast<WindowCapture&>(capture)};

    struct Answer {
        std::atomic<bool> done{false};
        std::optional<QString> text;
        std::optional<WindowOCR::Failure> failure;
    };
    std::shared_ptr<Answer> ask(qint64 pid, std::optional<QStringList> titles = std::nullopt) {
        auto a = std::make_shared<Answer>();
        WindowOCR::recognizeText(qint32(pid), titles, [a](std::optional<QString> text, std::optional<WindowOCR::Failure> f) {
            a->text = text;
            a->failure = f;
            a->done = true;
        });
        return a;
    }
};

TEST_F(WindowRecognition, BlockedAndUnpermittedFailBeforeReturning) {
    const qint64 vault = desktop.addApp(QStringLiteral("org.keepassxc.KeePassXC"), QStringLiteral("KeePassXC")).identity.pid;
    auto blocked = ask(vault);
    ASSERT_TRUE(blocked->done);
    EXPECT_EQ(blocked->failure->description(), QStringLiteral("Снимок окна «KeePassXC» не делается: это менеджер паролей."));
    EXPECT_TRUE(env.logContains(QStringLiteral("OCR: снимок KeePassXC запрещён — менеджер паролей")));

    capture.permission = false;
    auto denied = ask(desktop.addApp(QStringLiteral("org.example.chat"), QStringLiteral("Chat")).identity.pid);
    ASSERT_TRUE(denied->done);
    EXPECT_EQ(denied->failure->kind, WindowOCR::Failure::noPermission);
    EXPECT_TRUE(capture.captures.empty());
}

TEST_F(WindowRecognition, CapturesTheChosenWindowAtItsCappedSize) {
    auto& app = desktop.addApp(QStringLiteral("org.example.chat"), QStringLiteral("Chat"));
    app.windows = {win(11, 300, 200, QStringLiteral("Settings")), win(12, 1728, 1117, QStringLiteral("Chat — Anna"))};
    recognizer.lines = {{0.9, 0.1, QStringLiteral("Анна: привет, ты придёшь завтра?"), 0.8}};
    auto a = ask(app.identity.pid);
    ASSERT_TRUE(env.waitFor([&] { return a->done.load(); }));
    EXPECT_EQ(a->text, QStringLiteral("Анна: привет, ты придёшь завтра?"));
    EXPECT_EQ(capture.captures, (std::vector<sim::SimWindowCapture::Capture>{{12, QSize(3456, 2234)}}));

    capture.failure = QStringLiteral("окно закрылось");
    auto failed = ask(app.identity.pid);
    ASSERT_TRUE(env.waitFor([&] { return failed->done.load(); }));
    EXPECT_EQ(failed->failure->description(), QStringLiteral("Снимок окна не удался: окно закрылось"));

    auto none = ask(app.identity.pid, QStringList{QStringLiteral("zoom")});
    ASSERT_TRUE(env.waitFor([&] { return none->done.load(); }));
    EXPECT_EQ(none->failure->description(), QStringLiteral("Не нашёл окно приложения на экране."));
}

}  // namespace
