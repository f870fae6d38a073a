#include "input/InputTestFixture.h"
#include "input/SyntheticInputPostGate.h"
#include "input/TextWriteTrace.h"

#include <QRegularExpression>

using namespace murmelo;

namespace {

class TextWriteTraceTest : public test::SimInputTest {
protected:
    TextWriteTraceTest() {
        desktop.addField(QStringLiteral("org.kde.kate"));
        desktop.focus(QStringLiteral("org.kde.kate"));
        env.defaults().set(TextWriteTrace::SETTING_KEY, true);
    }
};

TEST_F(TextWriteTraceTest, OffGivesTheInertTokenAndWritesNothing) {
    env.defaults().set(TextWriteTrace::SETTING_KEY, false);
    bool evaluated = false;
    const auto token = TextWriteTrace::begin(QStringLiteral("hello"), TextWriteRoute::clipboard, TextWriteOrigin::dictation);
    EXPECT_EQ(token, TextWriteTraceToken::off());
    TextWriteTrace::observe(token, [&] { evaluated = true; return QString(); });
    env.defaults().set(TextWriteTrace::SETTING_KEY, true);  // affects the next begin only
    TextWriteTrace::finish(token, [&] { evaluated = true; return QString(); });
    EXPECT_FALSE(evaluated);
    EXPECT_TRUE(env.logLines().isEmpty());
}

TEST_F(TextWriteTraceTest, LinesOfOneWrite) {
    const qint64 pid = desktop.front()->identity.pid;
    const auto token = TextWriteTrace::begin(QStringLiteral("два слова"), TextWriteRoute::directUnicode,
                                             TextWriteOrigin::dictationRepair, -3);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^p\\d+-\\d{6,}$")).match(token.id).hasMatch()) << token.id.toStdString();
    env.advance(0.1234);
    TextWriteTrace::observe(token, [] { return QStringLiteral("audit=ok"); });
    desktop.addField(QStringLiteral("org.gnome.gedit"));
    desktop.focus(QStringLiteral("org.gnome.gedit"));
    TextWriteTrace::finish(token, [] { return QStringLiteral("confirmed"); }, true);
    const QStringList lines = env.logLines();
    ASSERT_EQ(lines.size(), 3);
    const QString w = QStringLiteral("write/") + token.id;
    EXPECT_TRUE(lines[0].endsWith(w + QStringLiteral(" BEGIN origin=dictation-repair route=unicode target=org.kde.kate#") +
                                  QString::number(pid) + QStringLiteral(" chars=9 utf16=9 lines=1 erase=0 sig=") +
                                  TextWriteTrace::signature(QStringLiteral("два слова"))))
        << lines[0].toStdString();
    EXPECT_TRUE(lines[1].endsWith(w + QStringLiteral(" OBSERVE audit=ok")));
    EXPECT_TRUE(lines[2].endsWith(w + QStringLiteral(" END outcome=confirmed elapsed=123ms target-now=org.gnome.gedit#") +
                                  QString::number(desktop.front()->identity.pid)))
        << lines[2].toStdString();
}

TEST_F(TextWriteTraceTest, TargetNowWithNoFrontApplicationIsQuestionMarks) {
    const auto token = TextWriteTrace::begin(QStringLiteral("x"), TextWriteRoute::keyEvent);
    desktop.quit(QStringLiteral("org.kde.kate"));
    TextWriteTrace::finish(token, [] { return QStringLiteral("unconfirmed"); }, true);
    EXPECT_TRUE(env.logLines().last().endsWith(QStringLiteral(" target-now=?#?")));
}

TEST_F(TextWriteTraceTest, TargetByProcessId) {
    auto& other = desktop.addApp(QStringLiteral("org.other"), QStringLiteral("Other"));
    auto a = TextWriteTrace::begin(QStringLiteral("x"), TextWriteRoute::accessibilityValue, TextWriteOrigin::polish, 2,
                                   qint32(other.identity.pid));
    EXPECT_EQ(a.target.logValue(), QStringLiteral("org.other#") + QString::number(other.identity.pid));
    auto b = TextWriteTrace::begin(QStringLiteral("x"), TextWriteRoute::accessibilityValue, TextWriteOrigin::polish, 2, 99999);
    EXPECT_EQ(b.target.logValue(), QStringLiteral("?#99999"));
}

TEST(TextWriteTraceMetadata, SizesOfText) {
    struct Case {
        QString text;
        int characters, utf16, lines;
    } cases[] = {
        {QString(), 0, 0, 0},
        {QStringLiteral("\n"), 1, 1, 2},
        {QStringLiteral("e\u0301"), 1, 2, 1},  // a letter and a combining mark
        {QStringLiteral("a\r\nb"), 3, 4, 2},
        {QStringLiteral("😀x"), 2, 3, 1},
    };
    for (const Case& c : cases) {
        const auto m = TextWriteTrace::metadata(c.text);
        EXPECT_EQ(m.characters, c.characters) << c.text.toStdString();
        EXPECT_EQ(m.utf16Units, c.utf16) << c.text.toStdString();
        EXPECT_EQ(m.lines, c.lines) << c.text.toStdString();
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9a-f]{16}$")).match(m.signature).hasMatch());
    }
}

TEST(TextWriteTraceSignature, KeyedAndStableWithinTheProcess) {
    EXPECT_EQ(TextWriteTrace::signature(QStringLiteral("same")), TextWriteTrace::signature(QStringLiteral("same")));
    EXPECT_NE(TextWriteTrace::signature(QStringLiteral("same")), TextWriteTrace::signature(QStringLiteral("other")));
    // Under a salt: HMAC-SHA256 keyed by the salt's 8 bytes; this one checked against
    // openssl: printf abc | openssl dgst -sha256 -mac HMAC -macopt hexkey:0100000000000000
    EXPECT_EQ(TextWriteTrace::signature(QStringLiteral("abc"), 1), QStringLiteral("df55998f9fc33d78"));
    EXPECT_NE(TextWriteTrace::signature(QStringLiteral("abc"), 1), TextWriteTrace::signature(QStringLiteral("abc"), 2));
    EXPECT_NE(TextWriteTrace::signature(QStringLiteral("abc"), 1), TextWriteTrace::signature(QStringLiteral("abc")));
}

TEST(TextWriteRoutes, RawValuesRoundTrip) {
    for (auto r : {TextWriteRoute::directUnicode, TextWriteRoute::clipboard, TextWriteRoute::accessibilitySelectedText,
                   TextWriteRoute::accessibilityValue, TextWriteRoute::backspace, TextWriteRoute::keyEvent})
        EXPECT_EQ(textWriteRoute(rawValue(r)), r);
    EXPECT_EQ(rawValue(TextWriteOrigin::layoutUndoRepair), QStringLiteral("layout-undo-repair"));
    EXPECT_EQ(textWriteOrigin(QStringLiteral("voice-command")), TextWriteOrigin::voiceCommand);
    EXPECT_FALSE(textWriteOrigin(QStringLiteral("Dictation")).has_value());
}

}  // namespace

namespace {

TEST_F(TextWriteTraceTest, KnownSentenceNeverReachesTheLog) {
    const QString sentence = QStringLiteral("Секретная фраза номер семь");
    auto field = desktop.focusedField();
    const auto token = TextWriteTrace::begin(sentence, TextWriteRoute::directUnicode, TextWriteOrigin::dictation);
    for (const QChar c : sentence) SyntheticInputPostGate::post({0, true, 0, QString(c), SYNTHETIC_MARK});
    TextWriteTrace::observe(token, [] { return QStringLiteral("typed"); });
    TextWriteTrace::finish(token, [] { return QStringLiteral("confirmed"); }, true);
    ASSERT_EQ(field->value, sentence);
    const QString log = env.logText();
    EXPECT_FALSE(log.isEmpty());
    for (const QString& word : sentence.split(' ')) EXPECT_FALSE(log.contains(word)) << word.toStdString();
}

}  // namespace
