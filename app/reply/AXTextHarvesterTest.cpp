#include "reply/AXTextHarvester.h"

#include "TestEnvironment.h"
#include "platform/Service.h"
#include "sim/SimAccessibility.h"
#include "sim/SimDesktop.h"

#include <gtest/gtest.h>

using namespace murmelo;

namespace {

using Node = std::shared_ptr<sim::SimField>;

Node node(const QString& role, const QString& value = {}, const QString& title = {}, std::vector<Node> children = {}) {
    auto n = std::make_shared<sim::SimField>();
    n->role = role;
    n->value = value;
    n->title = title;
    n->children = std::move(children);
    n->editable = false;
    return n;
}
Node text(const QString& value) { return node(QStringLiteral("AXStaticText"), value); }
Node window(std::vector<Node> children) { return node(QStringLiteral("AXWindow"), {}, {}, std::move(children)); }

struct Harvester : ::testing::Test {
    test::TestEnvironment env;
    sim::SimDesktop desktop;
    sim::SimAccessibility ax{desktop};
    ScopedService<Workspace> workspaceScope{static_cast<Workspace&>(desktop)};
    ScopedService<Accessibility> axScope{static_cast<Accessibility&>(ax)};
    qint64 pid = 0;

    Harvester() {
        // A slow application's reads take virtual time.
        ax.onBlockingRead = [this](double seconds) { env.clock().advance(seconds); };
        pid = desktop.addApp(QStringLiteral("org.example.mail"), QStringLiteral("Mail")).identity.pid;
    }
    sim::SimApp& app() { return *desktop.appByPid(pid); }
};

TEST_F(Harvester, SelectionIsTrimmedAndNeverComesFromAPasswordField) {
    struct Row {
        const char* name;
        QString value;
        bool secure;
        std::optional<QString> expected;
    } rows[] = {
        {"plain", QStringLiteral("  Привет, как дела?\n"), false, QStringLiteral("Привет, как дела?")},
        {"only blanks", QStringLiteral(" \n\t "), false, std::nullopt},
        {"password field", QStringLiteral("hunter22"), true, std::nullopt},
    };
    for (const Row& r : rows) {
        auto field = desktop.addField(QStringLiteral("org.example.mail"), QStringLiteral("AXTextField"), r.value);
        field->secure = r.secure;
        field->select(0, r.value.size());
        desktop.focus(QStringLiteral("org.example.mail"), field);
        EXPECT_EQ(AXTextHarvester::selectedText(pid), r.expected) << r.name;
    }
}

TEST_F(Harvester, WalkTakesOnePieceAnElementAndEachPieceOnce) {
    auto slider = node(QStringLiteral("AXSlider"), {}, QStringLiteral("Громкость"));
    slider->otherValue = 42;  // not text: the title is taken instead
    auto button = [] { return node(QStringLiteral("AXButton"), {}, QStringLiteral("Ответить")); };
    auto subject = node(QStringLiteral("AXStaticText"), QStringLiteral("x"), QStringLiteral("Тема письма"));
    subject->description = QStringLiteral("не берётся: у элемента уже есть текст");
    app().focusedWindow = window({
        node(QStringLiteral("AXToolbar"), {}, {}, {button(), button(), button(), button()}),
        subject,
        slider,
        text(QStringLiteral("  Тема письма ")),
        node(QStringLiteral("AXGroup"), {}, {}, {text(QStringLiteral("Текст письма"))}),
    });
    const auto h = AXTextHarvester::harvestWindow(pid, AXTextHarvester::timeBudget);
    EXPECT_EQ(h.text, QStringLiteral("Ответить\nТема письма\nГромкость\nТекст письма"));
    EXPECT_EQ(h.nodes, 11);
    EXPECT_FALSE(h.hitDeadline);
}

TEST_F(Harvester, PasswordSubtreeIsSkippedAndLogged) {
    auto secret = node(QStringLiteral("AXGroup"), {}, {}, {text(QStringLiteral("hunter22 inside"))});
    secret->secure = true;
    app().focusedWindow = window({text(QStringLiteral("Вход")), secret, text(QStringLiteral("Забыли пароль?"))});
    const auto h = AXTextHarvester::harvestWindow(pid, AXTextHarvester::timeBudget);
    EXPECT_EQ(h.text, QStringLiteral("Вход\nЗабыли пароль?"));
    EXPECT_EQ(h.nodes, 4);
    EXPECT_EQ(env.logLines().filter(QStringLiteral("в окне есть поле пароля — его и вложенное не читал")).size(), 1);
}

TEST_F(Harvester, RootIsTheFocusedWindowElseTheMainOne) {
    app().mainWindow = window({text(QStringLiteral("главное окно"))});
    EXPECT_EQ(AXTextHarvester::harvestWindow(pid, 1.5).text, QStringLiteral("главное окно"));
    app().focusedWindow = window({text(QStringLiteral("окно с фокусом"))});
    EXPECT_EQ(AXTextHarvester::harvestWindow(pid, 1.5).text, QStringLiteral("окно с фокусом"));
    app().focusedWindow = app().mainWindow = nullptr;
    const auto none = AXTextHarvester::harvestWindow(pid, 1.5);
    EXPECT_EQ(none.text, std::nullopt);
    EXPECT_EQ(none.nodes, 0);
    EXPECT_FALSE(env.logContains(QStringLiteral("обход окна")));
}

TEST_F(Harvester, SlowWindowStopsAtTheDeadlineWithWhatItHad) {
    std::vector<Node> rows;
    for (int i = 0; i < 10; ++i) {
        rows.push_back(text(QStringLiteral("строка %1").arg(i)));
        rows.back()->readDelay = 0.1;  // each read of the row takes 0.1 s
    }
    app().focusedWindow = window(rows);
    const auto h = AXTextHarvester::harvestWindow(pid, 1.5);
    // Three reads a row (role, subrole, value): five rows fill the 1.5 s, the sixth is not begun.
    EXPECT_TRUE(h.hitDeadline);
    EXPECT_EQ(h.text, QStringLiteral("строка 0\nстрока 1\nстрока 2\nстрока 3\nстрока 4"));
    EXPECT_EQ(h.nodes, 6);
    EXPECT_TRUE(env.logContains(QStringLiteral("Контекст экрана: обход окна упёрся в потолок 1.5 с на ") +
                                QString::number(h.nodes) + QStringLiteral(" узлах — беру что успел")));
}

TEST_F(Harvester, WalkStopsAtItsDepthNodeAndCharacterLimits) {
    // A chain 70 levels deep: the window and 59 levels below it are visited.
    Node deep = text(QStringLiteral("дно"));
    for (int i = 0; i < 69; ++i) deep = node(QStringLiteral("AXGroup"), {}, {}, {deep});
    app().focusedWindow = deep;
    EXPECT_EQ(AXTextHarvester::harvestWindow(pid, 1.5).nodes, 60);

    std::vector<Node> many;
    for (int i = 0; i < 7000; ++i) many.push_back(node(QStringLiteral("AXCell")));
    app().focusedWindow = window(many);
    EXPECT_EQ(AXTextHarvester::harvestWindow(pid, 1.5).nodes, 6000);

    // 7 pieces of 10000 characters: the seventh element is never visited, the sixth carries
    // the total to 60000 and stops the walk.
    std::vector<Node> big;
    for (int i = 0; i < 7; ++i) big.push_back(text(QString(9999, QChar(u'а' + i)) + QChar(u'я')));
    app().focusedWindow = window(big);
    const auto h = AXTextHarvester::harvestWindow(pid, 1.5);
    EXPECT_EQ(h.nodes, 7);
    EXPECT_EQ(h.text->size(), 6 * 10000 + 5);
}

TEST_F(Harvester, ApplicationQuittingMidWalkKeepsWhatWasRead) {
    auto second = text(QStringLiteral("после выхода"));
    second->readDelay = 0.01;
    app().focusedWindow = window({text(QStringLiteral("прочитано до выхода")), second, text(QStringLiteral("тоже нет"))});
    ax.onBlockingRead = [this](double) { desktop.quit(QStringLiteral("org.example.mail")); };
    const auto h = AXTextHarvester::harvestWindow(pid, 1.5);
    EXPECT_EQ(h.text, QStringLiteral("прочитано до выхода"));
    EXPECT_FALSE(h.hitDeadline);
}

}  // namespace
