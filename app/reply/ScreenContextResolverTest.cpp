#include "reply/ScreenContextResolver.h"

#include "TestEnvironment.h"
#include "base/Graphemes.h"
#include "platform/Service.h"
#include "sim/SimAccessibility.h"
#include "sim/SimDesktop.h"
#include "sim/SimPasteboard.h"
#include "sim/SimWindowCapture.h"
#include "reply/WindowOCR.h"

#include <gtest/gtest.h>

using namespace murmelo;
namespace R = ScreenContextResolver;

namespace {

QString chars(int n, QChar c = QLatin1Char('w')) { return QString(n, c); }

struct Ladder : ::testing::Test {
    test::TestEnvironment env;
    sim::SimDesktop desktop;
    sim::SimAccessibility ax{desktop};
    sim::SimPasteboard pasteboard;
    sim::SimWindowCapture capture;
    sim::SimTextRecognizer recognizer;
    ScopedService<Workspace> workspaceScope{static_cast<Workspace&>(desktop)};
    ScopedService<Accessibility> axScope{static_cast<Accessibility&>(ax)};
    ScopedService<Pasteboard> pasteboardScope{static_cast<Pasteboard&>(pasteboard)};
    ScopedService<WindowCapture> captureScope{static_cast<WindowCapture&>(capture)};
    ScopedService<TextRecognizer> recognizerScope{static_cast<TextRecognizer&>(recognizer)};

    struct Screen {
        QString bundleID = QStringLiteral("org.example.mail");
        std::optional<QString> selection;
        QString windowText;
        bool ocrAllowed = false;
        bool permission = true;
        std::optional<QString> recognized;  // none: the application shows no window
        QString clipboard;
        bool concealed = false;
    };

    int opened = 0;

    // Each screen is an application of its own.
    ReplyTarget open(const Screen& s) {
        const QString id = s.bundleID + QStringLiteral(".") + QString::number(++opened);
        auto& app = desktop.addApp(id, QStringLiteral("Mail"));
        auto field = desktop.addField(id, QStringLiteral("AXTextArea"), s.selection.value_or(QString()));
        field->select(0, s.selection ? s.selection->size() : 0);
        desktop.focus(id, field);
        auto window = std::make_shared<sim::SimField>();
        window->role = QStringLiteral("AXWindow");
        auto body = std::make_shared<sim::SimField>();
        body->role = QStringLiteral("AXStaticText");
        body->value = s.windowText;
        window->children = {body};
        app.focusedWindow = window;
        if (s.recognized) app.windows = {WindowInfo{77, QStringLiteral("Mail"), QRectF(0, 0, 800, 600), true, true}};
        recognizer.lines = {{0.5, 0.1, s.recognized.value_or(QString()), 0.9}};
        capture.permission = s.permission;
        QList<QPair<QString, QByteArray>> marker;
        if (s.concealed) marker.append({QStringLiteral("org.nspasteboard.ConcealedType"), QByteArray()});
        pasteboard.copyFromOtherApp(s.clipboard, marker);
        return ReplyTarget{qint32(app.identity.pid), id, QStringLiteral("Mail")};
    }

    static Screen screen(const std::function<void(Screen&)>& shape) {
        Screen s;
        shape(s);
        return s;
    }

    R::Result resolve(const Screen& s) {
        std::optional<R::Result> out;
        R::resolve(open(s), s.ocrAllowed, [&](R::Result r) { out = std::move(r); });
        EXPECT_TRUE(env.waitFor([&] { return out.has_value(); }));
        return out.value_or(ScreenContextError{});
    }
};

QString reason(const QString& tail) {
    return QStringLiteral("Не нашёл текст, на который отвечать. «Mail» не отдал ни выделения, ни текста окна через Accessibility. ") + tail;
}

TEST_F(Ladder, TakesTheFirstSourceWithEnoughText) {
    using S = ScreenContextSource;
    const QString off = QStringLiteral("Снимок окна выключен в настройках.");
    struct Row {
        const char* name;
        Screen screen;
        std::variant<std::pair<S, QString>, QString> expected;  // the context, or the message
    } rows[] = {
        {"selection of 40", screen([](Screen& s) { s.selection = chars(40, 's'); }), std::pair{S::axSelection, chars(40, 's')}},
        {"selection of 39 goes on to the window", screen([](Screen& s) { s.selection = chars(39, 's'); s.windowText = chars(200); }),
         std::pair{S::axWindow, chars(200)}},
        {"blank selection is none", screen([](Screen& s) { s.selection = QStringLiteral(" \n \n "); s.windowText = chars(150); }), reason(off)},
        {"window of 199 goes on; the short selection is the last resort",
         screen([](Screen& s) { s.selection = chars(2, 's'); s.windowText = chars(199); }), std::pair{S::axSelection, chars(2, 's')}},
        {"clipboard before the short selection", screen([](Screen& s) { s.selection = chars(2, 's'); s.clipboard = chars(40, 'c'); }),
         std::pair{S::clipboard, chars(40, 'c')}},
        {"clipboard of 39 is not enough", screen([](Screen& s) { s.windowText = chars(150); s.clipboard = chars(39, 'c'); }), reason(off)},
        {"capture off without permission", screen([](Screen& s) { s.permission = false; }),
         reason(QStringLiteral("Снимок окна выключен, и разрешения «Запись экрана» тоже нет."))},
        {"recognised text of 40", screen([](Screen& s) { s.ocrAllowed = true; s.recognized = chars(40, 'o'); }), std::pair{S::ocr, chars(40, 'o')}},
        {"recognised text of 39 hands over to the clipboard",
         screen([](Screen& s) { s.ocrAllowed = true; s.recognized = chars(39, 'o'); s.clipboard = chars(45, 'c'); }), std::pair{S::clipboard, chars(45, 'c')}},
        {"recognised text of 25", screen([](Screen& s) { s.ocrAllowed = true; s.recognized = chars(25, 'o'); }),
         reason(QStringLiteral("На снимке окна почти нет текста."))},
        {"no window to capture", screen([](Screen& s) { s.ocrAllowed = true; }), reason(QStringLiteral("Не нашёл окно приложения на экране."))},
        {"capture allowed but no permission", screen([](Screen& s) { s.ocrAllowed = true; s.permission = false; }),
         reason(WindowOCR::Failure{WindowOCR::Failure::noPermission, {}}.description())},
        {"a concealed clipboard item is never the context",
         screen([](Screen& s) { s.windowText = chars(150); s.clipboard = QStringLiteral("correct-horse-battery-staple-correct-horse"); s.concealed = true; }),
         reason(off)},
    };
    for (const Row& r : rows) {
        const R::Result got = resolve(r.screen);
        desktop.quit(r.screen.bundleID + QStringLiteral(".") + QString::number(opened));
        if (const auto* want = std::get_if<std::pair<S, QString>>(&r.expected)) {
            ASSERT_TRUE(std::holds_alternative<ScreenContext>(got)) << r.name << ": " << qPrintable(std::get<ScreenContextError>(got).description());
            EXPECT_EQ(std::get<ScreenContext>(got).source, want->first) << r.name;
            EXPECT_EQ(std::get<ScreenContext>(got).text, want->second) << r.name;
        } else {
            ASSERT_TRUE(std::holds_alternative<ScreenContextError>(got)) << r.name;
            EXPECT_EQ(std::get<ScreenContextError>(got).description(), std::get<QString>(r.expected)) << r.name;
        }
    }
    EXPECT_TRUE(env.logContains(QStringLiteral("Контекст экрана: OCR не сработал — Не нашёл окно приложения на экране.")));
}

TEST_F(Ladder, PasswordManagerAndClosedApplicationFailBeforeAnyRead) {
    std::optional<R::Result> blocked;
    const ReplyTarget vault = open(screen([](Screen& s) { s.bundleID = QStringLiteral("com.example.vault"); s.selection = chars(60, 's'); }));
    const int readsBefore = ax.reads;
    R::resolve({vault.pid, vault.bundleID, QStringLiteral("Vault")}, true, [&](R::Result r) { blocked = r; });
    ASSERT_TRUE(blocked);
    EXPECT_EQ(std::get<ScreenContextError>(*blocked).description(),
              QStringLiteral("«Vault» — менеджер паролей: контекст с него не собирается. Вернись в окно, на которое отвечаешь, и повтори."));
    EXPECT_EQ(ax.reads, readsBefore);
    EXPECT_TRUE(env.logContains(QStringLiteral("Контекст экрана: Vault — менеджер паролей, лестница не запускается")));

    const ReplyTarget mail = open(screen([](Screen& s) { s.selection = chars(60, 's'); }));
    desktop.quit(mail.bundleID);
    std::optional<R::Result> closed;
    R::resolve(mail, true, [&](R::Result r) { closed = r; });
    ASSERT_TRUE(closed);
    EXPECT_EQ(std::get<ScreenContextError>(*closed).description(),
              QStringLiteral("Не нашёл текст, на который отвечать. Mail уже закрыто."));
}

TEST_F(Ladder, SecretsInWindowTextAreRedactedAndCounted) {
    const QString window = chars(150) + QStringLiteral("\nключ sk-abcdefghijklmnopqrstuvwxyz0123\nкарта 4111 1111 1111 1111\n") + chars(60);
    const R::Result got = resolve(screen([&](Screen& s) { s.windowText = window; }));
    const auto& context = std::get<ScreenContext>(got);
    EXPECT_EQ(context.source, ScreenContextSource::axWindow);
    EXPECT_EQ(context.text.count(QStringLiteral("[скрыто]")), 2);
    EXPECT_EQ(context.redactedSecrets, 2);
    EXPECT_EQ(context.label(), QStringLiteral("Mail · текст окна"));
    EXPECT_TRUE(env.logContains(QStringLiteral(", скрыто секретов: 2 — Mail")));
}

TEST(ScreenContextCut, KeepsHeadAndTailOrTheChatsLastMessages) {
    using C = QuickActionAppCategory;
    EXPECT_EQ(R::trim(chars(12000), C::mail), std::pair(chars(12000), false));

    const QString text = chars(3592, 'h') + chars(12001 - 3592, 't');
    const auto [cut, wasCut] = R::trim(text, C::document);
    EXPECT_TRUE(wasCut);
    EXPECT_EQ(graphemeCount(cut), 12000);
    EXPECT_EQ(cut, chars(3592, 'h') + R::dropMark + chars(8382, 't'));

    const auto [chat, chatCut] = R::trim(QStringLiteral("x") + chars(12000, 'm'), C::chat);
    EXPECT_TRUE(chatCut);
    EXPECT_EQ(chat, chars(12000, 'm'));
}

TEST(ScreenContextCut, SecretInTheDroppedMiddleIsCountedButGone) {
    test::TestEnvironment env;
    const QString text = chars(5000) + QStringLiteral(" sk-abcdefghijklmnopqrstuvwxyz0123 ") + chars(9000);
    const ScreenContext c = R::package(text, ScreenContextSource::clipboard, QStringLiteral("Mail"), QStringLiteral("org.example.mail"),
                                       QuickActionAppCategory::mail, 7);
    EXPECT_TRUE(c.wasTruncated);
    EXPECT_EQ(c.redactedSecrets, 1);
    EXPECT_FALSE(c.text.contains(QStringLiteral("[скрыто]")));
    EXPECT_TRUE(env.logContains(QStringLiteral("Контекст экрана: буфер обмена, 12000 симв. (обрезано до потолка), скрыто секретов: 1 — Mail")));
}

}  // namespace
