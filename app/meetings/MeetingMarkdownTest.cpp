#include "meetings/MeetingMarkdown.h"

#include "ui/OrbShape.h"

#include <QApplication>
#include <QImage>
#include <QTextBlock>
#include <gtest/gtest.h>

namespace murmelo {
namespace {

namespace MD = MeetingMarkdown;
using Kind = MD::Block::Kind;

TEST(MeetingMarkdownTest, LinesBecomeBlocks) {
    struct Case {
        const char* text;
        QList<MD::Block> blocks;
    } const cases[] = {
        {"", {}},
        {"\n  \n\t\n", {}},
        {"#\n## \n#hashtag\n# # Title", {{Kind::heading, "hashtag"}, {Kind::heading, "Title"}}},
        {"-item\n>quote\n1. First", {{Kind::text, "-item"}, {Kind::text, ">quote"}, {Kind::text, "1. First"}}},
        {"- one\n  two\ntext\n  three", {{Kind::bullet, "one\ntwo"}, {Kind::text, "text"}, {Kind::text, "three"}}},
        {"  - nested\n> said", {{Kind::bullet, "nested"}, {Kind::quote, "said"}}},
        {"__\n_a_\n_a", {{Kind::text, "__"}, {Kind::meta, "a"}, {Kind::text, "_a"}}},
    };
    for (const Case& c : cases) EXPECT_EQ(MD::parse(c.text), c.blocks) << c.text;

    EXPECT_EQ(MD::withoutFileHeader("# Title · App\n\n_App · 9 Dec · 12 min_\n\n# Again\nBody\n\n# Later"),
              "Body\n\n# Later");
    EXPECT_EQ(MD::withoutFileHeader("Body\n# x"), "Body\n# x");
}

TEST(MeetingMarkdownTest, TimesTakeTheAccentAndMarkedWordsTurnOrange) {
    const QColor ink(10, 10, 10), accent(0, 100, 200);
    const QString line = "(12:34) (1:02) (1:02:03) 12:34 (123:45) (12:3) Anna ANNA Joanna Ánna an";
    const MD::Styled s = MD::styled(line, QFont(), ink, {"anna", "an"}, accent);
    ASSERT_EQ(s.text, line);
    auto colourAt = [&](const QString& fragment, int from = 0) {
        return s.formatAt(int(s.text.indexOf(fragment, from))).foreground().color();
    };
    for (const char* time : {"(12:34)", "(1:02)", "(1:02:03)"}) EXPECT_EQ(colourAt(time), accent) << time;
    EXPECT_EQ(colourAt("12:34 ("), ink);
    EXPECT_EQ(colourAt("(123:45)"), ink);
    EXPECT_EQ(colourAt("(12:3)"), ink);
    const QColor orange = OrbColors::orange();
    EXPECT_EQ(colourAt("Anna"), orange);
    EXPECT_EQ(colourAt("ANNA"), orange);
    EXPECT_EQ(colourAt("anna", int(s.text.indexOf("Joanna"))), orange);
    EXPECT_EQ(s.formatAt(int(s.text.indexOf("Joanna"))).foreground().color(), ink);
    EXPECT_EQ(colourAt("Ánna"), ink);
    EXPECT_EQ(colourAt(" an") , ink);
    EXPECT_NEAR(s.formatAt(int(s.text.indexOf("Anna"))).background().color().alphaF(), 0.28, 0.01);
}

TEST(MeetingMarkdownTest, InlineMarksAreReadAndBrokenOnesShownAsWritten) {
    const QColor ink(10, 10, 10), accent(0, 100, 200);
    const MD::Styled s = MD::styled("**Итог** и *важно*, `code`, ~~нет~~, [ссылка](https://x) и [сломано(", QFont(),
                                    ink, {}, accent);
    EXPECT_EQ(s.text, "Итог и важно, code, нет, ссылка и [сломано(");
    EXPECT_EQ(s.formatAt(0).fontWeight(), QFont::Bold);
    EXPECT_TRUE(s.formatAt(int(s.text.indexOf("важно"))).fontItalic());
    EXPECT_TRUE(s.formatAt(int(s.text.indexOf("нет"))).fontStrikeOut());
    EXPECT_EQ(s.formatAt(int(s.text.indexOf("ссылка"))).anchorHref(), "https://x");
    EXPECT_FALSE(s.formatAt(int(s.text.indexOf("и ["))).fontItalic());
    EXPECT_EQ(MD::styled("snake_case_name и 2 * 3 * 4", QFont(), ink, {}, accent).text, "snake_case_name и 2 * 3 * 4");
}

// A long transcript, rendered offscreen: every block is there and the times are coloured.
TEST(MeetingMarkdownTest, ALongTranscriptRenders) {
    QString text = "# Расшифровка\n\n_Zoom · 14 марта · 2 ч_\n\n";
    for (int i = 0; i < 1500; ++i)
        text += QString("**Вы** (%1:%2): реплика номер %3 про Orbitex\n").arg(i / 60).arg(i % 60, 2, 10, QChar('0')).arg(i);
    text += "- итог\n  продолжение\n> цитата\n";
    const Water w{false, false};
    MeetingMarkdownView view(text, w, {"Orbitex"});
    view.resize(600, 400);
    EXPECT_EQ(view.document()->blockCount(), 2 + 1500 + 2);
    EXPECT_TRUE(view.isReadOnly());
    EXPECT_TRUE(view.textInteractionFlags() & Qt::TextSelectableByMouse);
    EXPECT_EQ(view.document()->firstBlock().text(), "РАСШИФРОВКА");
    const QTextBlock line = view.document()->findBlockByNumber(2);
    EXPECT_EQ(line.text(), "Вы (0:00): реплика номер 0 про Orbitex");
    bool accented = false, orange = false;
    for (auto it = line.begin(); !it.atEnd(); ++it) {
        const QTextFragment f = it.fragment();
        if (f.text() == "(0:00)") accented = f.charFormat().foreground().color() == w.acc();
        if (f.text() == "Orbitex") orange = f.charFormat().foreground().color() == OrbColors::orange();
    }
    EXPECT_TRUE(accented);
    EXPECT_TRUE(orange);
    const QImage shot = view.grab().toImage();
    EXPECT_FALSE(shot.isNull());
    EXPECT_EQ(shot.width(), 600 * int(shot.devicePixelRatio()));
}

}  // namespace
}  // namespace murmelo
