#include "linux/AtspiAccessibility.h"

#include "DesktopHarness.h"
#include "linux/XTestKeyPoster.h"

#include <gtest/gtest.h>

using namespace murmelo;
using namespace murmelo::linuxdesktop;

namespace {

constexpr qint64 MARK = 0x54514D31;

struct DesktopAccessibility : ::testing::Test {
    test::DesktopTarget target;
    std::unique_ptr<AtspiAccessibility> ax;

    void SetUp() override {
        if (!test::DesktopTarget::available()) GTEST_SKIP() << "needs the test desktop (scripts/desktop-session)";
        ax = std::make_unique<AtspiAccessibility>();
        ASSERT_TRUE(ax->isConnected());
        ASSERT_TRUE(target.command("clear"));
    }
    // Focuses a field of the target and waits until AT-SPI reports it as focused.
    AXElementPtr focus(const char* which, const QString& role) {
        AXElementPtr el;
        // Moving the focus away first makes the target announce the focus anew.
        target.command(QStringLiteral("focus ") + (QLatin1String(which) == QLatin1String("line") ? "text" : "line"));
        target.command(QStringLiteral("focus ") + QLatin1String(which));
        const bool found = test::waitUntil([&] {
            el = ax->focusedElement();
            return el && ax->attribute(*el, "AXRole").toString() == role;
        });
        return found ? el : nullptr;
    }
    QString value(const AXElementPtr& el) { return ax->attribute(*el, "AXValue").toString(); }
};

}  // namespace

TEST_F(DesktopAccessibility, TextTypedByXTestReadsBackExactly) {
    AXElementPtr el = focus("line", "AXTextField");
    ASSERT_TRUE(el);
    EXPECT_EQ(ax->pid(*el), target.pid());
    EXPECT_TRUE(ax->attribute(*el, "AXIsEditable").toBool());

    XTestKeyPoster poster;
    const QString text = QStringLiteral("Привет, мир! Hello");
    for (QChar c : text) {
        poster.post({0, true, 0, QString(c), MARK});
        poster.post({0, false, 0, QString(c), MARK});
    }
    ASSERT_TRUE(test::waitUntil([&] { return target.line() == text; })) << target.line().toStdString();
    EXPECT_TRUE(test::waitUntil([&] { return value(el) == text; })) << value(el).toStdString();
    EXPECT_EQ(ax->attribute(*el, "AXSelectedTextRange").value<AXRange>(), (AXRange{text.size(), 0}));
}

TEST_F(DesktopAccessibility, RangesAreUtf16AcrossCharactersOutsideTheBasicPlane) {
    AXElementPtr el = focus("text", "AXTextArea");
    ASSERT_TRUE(el);
    ASSERT_EQ(ax->setAttribute(*el, "AXValue", QStringLiteral("a😀b end")), AXError::success);
    ASSERT_TRUE(test::waitUntil([&] { return target.text() == QStringLiteral("a😀b end"); }));

    // "b" sits at UTF-16 unit 3 (the emoji takes two), character 2.
    ASSERT_EQ(ax->setAttribute(*el, "AXSelectedTextRange", QVariant::fromValue(AXRange{3, 1})), AXError::success);
    EXPECT_TRUE(test::waitUntil([&] { return ax->attribute(*el, "AXSelectedText").toString() == "b"; }));
    EXPECT_EQ(ax->attribute(*el, "AXSelectedTextRange").value<AXRange>(), (AXRange{3, 1}));

    ASSERT_EQ(ax->setAttribute(*el, "AXSelectedText", QStringLiteral("Ж🎉")), AXError::success);
    EXPECT_TRUE(test::waitUntil([&] { return target.text() == QStringLiteral("a😀Ж🎉 end"); }))
        << target.text().toStdString();
    EXPECT_EQ(ax->attribute(*el, "AXSelectedTextRange").value<AXRange>(), (AXRange{6, 0}));

    EXPECT_EQ(ax->setAttribute(*el, "AXSelectedTextRange", QVariant::fromValue(AXRange{5, 10})), AXError::illegalArgument);
    AXError error = AXError::success;
    ax->attribute(*el, "AXNoSuchThing", &error);
    EXPECT_EQ(error, AXError::attributeUnsupported);
}

TEST_F(DesktopAccessibility, TheTargetApplicationIsFoundByItsProcess) {
    AXElementPtr app = ax->applicationElement(target.pid());
    ASSERT_TRUE(app);
    EXPECT_EQ(ax->attribute(*app, "AXRole").toString(), "AXApplication");
    EXPECT_FALSE(ax->applicationElement(999999));
}
