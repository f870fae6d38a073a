#include "base/AppLanguage.h"
#include "base/Bundle.h"
#include "base/DevPaths.h"
#include "base/LanguageRegistry.h"
#include "base/Localization.h"
#include "base/RTL.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QTextEdit>
#include <QWidget>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

// Sets or clears environment variables for one test and puts them back afterwards.
class ScopedEnv {
public:
    void set(const char* name, const QByteArray& value) {
        remember(name);
        qputenv(name, value);
    }
    void unset(const char* name) {
        remember(name);
        qunsetenv(name);
    }
    ~ScopedEnv() {
        for (const auto& [name, value] : saved_) {
            if (value) qputenv(name.constData(), *value);
            else qunsetenv(name.constData());
        }
    }

private:
    void remember(const char* name) {
        for (const auto& s : saved_)
            if (s.first == name) return;
        saved_.push_back({name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt});
    }
    std::vector<std::pair<QByteArray, std::optional<QByteArray>>> saved_;
};

class LocalizationTest : public ::testing::Test {
protected:
    void SetUp() override {
        env_.unset("MURMELO_REPO_ROOT");
        env_.unset("MURMELO_UI_LANGUAGE_OVERRIDE");
    }
    // Chooses the table anew, as the next start of the application would.
    void restart(const QStringList& systemLanguages) { Localization::resetForTesting(systemLanguages); }

    test::TestEnvironment t_;
    ScopedEnv env_;
};

TEST_F(LocalizationTest, TheShippedTablesReadWithoutErrors) {
    for (const QString& code : Localization::shipped()) {
        QFile f(Bundle::resourcePath(code + ".lproj/Localizable.strings"));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << code.toStdString();
        QString error;
        const auto table = Localization::parseTable(QString::fromUtf8(f.readAll()), &error);
        EXPECT_TRUE(error.isEmpty()) << code.toStdString() << ": " << error.toStdString();
        if (code == "en") {
            EXPECT_GT(table.size(), 50);
        }
    }
}

TEST_F(LocalizationTest, ParsesEntriesCommentsAndEscapes) {
    QString error;
    const auto t = Localization::parseTable(
        "/* header\n spanning lines */\n"
        "\"a\" = \"one\";\n"
        "// a line comment\n"
        "\"b.c\"=\"say \\\"hi\\\"\\nnext\\t\\u00e9 \\\\\";  \"d\" = \"%1$@ и %d\";\n",
        &error);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_EQ(t.value("a"), "one");
    EXPECT_EQ(t.value("b.c"), "say \"hi\"\nnext\t\u00e9 \\");
    EXPECT_EQ(t.value("d"), "%1$@ и %d");
}

TEST_F(LocalizationTest, AMalformedEntryIsReportedWithItsLine) {
    const char* broken[] = {"\"a\" = \"x\";\n\"b\" = \"y\"\n", "\"a\" \"x\";", "\"a\" = \"x;", "/* open", "a = \"x\";"};
    for (const char* text : broken) {
        QString error;
        Localization::parseTable(QString::fromUtf8(text), &error);
        EXPECT_FALSE(error.isEmpty()) << text;
    }
    QString error;
    Localization::parseTable("\"a\" = \"x\";\n\"b\" = \"y\"\n", &error);
    EXPECT_TRUE(error.startsWith("line 3")) << error.toStdString();

    const auto twice = Localization::parseTable("\"a\" = \"1\";\n\"b\" = \"2\";\n\"a\" = \"3\";\n", &error);
    EXPECT_EQ(error, "line 3: duplicate key \"a\"");
    EXPECT_EQ(twice.value("a"), "3");
    EXPECT_EQ(twice.value("b"), "2");
}

TEST_F(LocalizationTest, EnglishReplacesKeyedTextsAndMissingKeysKeepTheRussianDefault) {
    restart({"ru-RU"});
    EXPECT_EQ(Localization::language(), "ru");
    EXPECT_EQ(L("menu.quit", "Выход"), "Выход");

    restart({"en-US", "en"});
    EXPECT_EQ(Localization::language(), "en");
    EXPECT_EQ(L("menu.quit", "Выход"), "Quit");
    EXPECT_EQ(L("no.such.key", "Только по-русски"), "Только по-русски");
    EXPECT_EQ(L("quit.confirm.title", "Выйти из %1$@?", {"Ondrix"}), "Quit Ondrix?");
    EXPECT_EQ(L("no.such.format", "%d из %d", {2, 3}), "2 из 3");
}

TEST_F(LocalizationTest, TheFirstShippedPreferredLanguageWins) {
    struct Case { QStringList system; QVariant appleLanguages; const char* expected; };
    const Case cases[] = {
        {{"de-DE", "en-GB"}, {}, "en"},
        {{"de-DE", "fr"}, {}, "ru"},    // nothing shipped: the call-site Russian
        {{"C"}, {}, "ru"},
        {{"en_US"}, QVariantList{"ru"}, "ru"},  // the application's own preference first
        {{"ru"}, QVariantList{"EN-gb"}, "en"},
    };
    for (const Case& c : cases) {
        if (c.appleLanguages.isValid()) t_.defaults().set("AppleLanguages", c.appleLanguages);
        else t_.defaults().remove("AppleLanguages");
        restart(c.system);
        EXPECT_EQ(Localization::language(), c.expected) << c.system.join(",").toStdString();
    }
}

TEST_F(LocalizationTest, TheChosenTableStaysUntilTheNextStart) {
    restart({"ru"});
    EXPECT_EQ(L("menu.quit", "Выход"), "Выход");
    ASSERT_TRUE(AppLanguage::select("en"));
    EXPECT_EQ(L("menu.quit", "Выход"), "Выход");
    restart({"ru"});
    EXPECT_EQ(L("menu.quit", "Выход"), "Quit");
}

TEST_F(LocalizationTest, ACheckoutsTableStandsInOnlyWithBothVariablesAndAShippedCode) {
    QDir(t_.root()).mkpath("repo/resources/en.lproj");
    QFile f(t_.root() + "/repo/resources/en.lproj/Localizable.strings");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("\"menu.quit\" = \"Quit (checkout)\";\n");
    f.close();

    env_.set("MURMELO_UI_LANGUAGE_OVERRIDE", "en");
    restart({"ru"});
    EXPECT_EQ(L("menu.quit", "Выход"), "Выход");  // no repository root: no effect

    env_.set("MURMELO_REPO_ROOT", (t_.root() + "/repo").toUtf8());
    restart({"ru"});
    EXPECT_EQ(L("menu.quit", "Выход"), "Quit (checkout)");

    env_.set("MURMELO_UI_LANGUAGE_OVERRIDE", "de");
    restart({"en"});
    EXPECT_EQ(L("menu.quit", "Выход"), "Quit");  // not shipped: the application's own table
}

TEST(AppLanguageTest, CurrentAndSelectFollowTheShippedLanguages) {
    test::TestEnvironment t;
    Defaults& d = t.defaults();
    EXPECT_EQ(AppLanguage::current(), "system");
    d.set(AppLanguage::key, "de");
    EXPECT_EQ(AppLanguage::current(), "system");
    EXPECT_FALSE(AppLanguage::select("de"));
    EXPECT_FALSE(AppLanguage::select("xx"));
    EXPECT_EQ(d.stringValue(AppLanguage::key), "de");  // refused: nothing stored

    d.set(AppLanguage::key, "ru");
    d.remove("AppleLanguages");
    EXPECT_FALSE(AppLanguage::select("ru"));  // unchanged, yet both values are written again
    EXPECT_EQ(d.listValue("AppleLanguages"), QVariantList{"ru"});

    EXPECT_TRUE(AppLanguage::select("en"));
    EXPECT_EQ(AppLanguage::current(), "en");
    EXPECT_EQ(d.listValue("AppleLanguages"), QVariantList{"en"});

    EXPECT_TRUE(AppLanguage::select("system"));
    EXPECT_FALSE(d.contains(AppLanguage::key));
    EXPECT_FALSE(d.contains("AppleLanguages"));
    EXPECT_FALSE(AppLanguage::select("system"));
}

TEST(AppLanguageTest, ChoicesAndTheirTitles) {
    test::TestEnvironment t;
    const auto& choices = AppLanguage::choices();
    ASSERT_EQ(choices.size(), 28);
    EXPECT_EQ(choices[0].code, "system");
    EXPECT_EQ(choices[1].code, "en");
    EXPECT_EQ(choices[27].code, "ja");
    QStringList available;
    for (const auto& c : choices)
        if (c.available) available << c.code;
    EXPECT_EQ(available, (QStringList{"system", "en", "ru"}));

    auto title = [&](const QString& code) {
        for (const auto& c : choices)
            if (c.code == code) return c.title();
        return QString();
    };
    Localization::resetForTesting(QStringList{"ru"});
    EXPECT_EQ(title("system"), "Как в системе");
    EXPECT_EQ(title("en"), "English");
    EXPECT_EQ(title("de"), "Немецкий");
    EXPECT_EQ(title("ru"), "Русский");
    Localization::resetForTesting(QStringList{"en"});
    EXPECT_EQ(title("en"), "English");
    EXPECT_EQ(title("de"), "German");
    EXPECT_NE(title("system"), "Как в системе");
}

TEST(RTLTest, ForceKeyDecidesWhenStoredElseTheLayoutDirection) {
    test::TestEnvironment t;
    EXPECT_FALSE(RTL::isActive());
    QGuiApplication::setLayoutDirection(Qt::RightToLeft);
    EXPECT_TRUE(RTL::isActive());
    t.defaults().set(RTL::forceKey, false);
    EXPECT_FALSE(RTL::isActive());
    QGuiApplication::setLayoutDirection(Qt::LeftToRight);
    t.defaults().set(RTL::forceKey, true);
    EXPECT_TRUE(RTL::isActive());
}

TEST(RTLTest, MirrorsChildrenInsideTheirParents) {
    test::TestEnvironment t;
    QWidget panel;
    panel.resize(300, 120);
    auto* label = new QLabel("x", &panel);
    label->setGeometry(20, 10, 100, 15);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    auto* box = new QWidget(&panel);
    box->setGeometry(200, 40, 80, 40);
    auto* inner = new QLineEdit(box);
    inner->setGeometry(5, 5, 30, 20);
    auto* centred = new QLabel("c", &panel);
    centred->setGeometry(0, 90, 300, 20);
    centred->setAlignment(Qt::AlignCenter);

    RTL::apply(&panel);  // not active: nothing moves
    EXPECT_EQ(label->x(), 20);

    t.defaults().set(RTL::forceKey, true);
    RTL::apply(&panel);
    EXPECT_EQ(panel.layoutDirection(), Qt::RightToLeft);
    EXPECT_EQ(label->geometry(), QRect(180, 10, 100, 15));
    EXPECT_EQ(label->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight | Qt::AlignAbsolute);
    EXPECT_TRUE(label->alignment() & Qt::AlignVCenter);
    EXPECT_EQ(box->geometry(), QRect(20, 40, 80, 40));
    EXPECT_EQ(inner->geometry(), QRect(45, 5, 30, 20));
    EXPECT_EQ(inner->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight | Qt::AlignAbsolute);
    EXPECT_EQ(centred->alignment(), Qt::AlignCenter);
    EXPECT_EQ(inner->layoutDirection(), Qt::RightToLeft);
}

TEST(RTLTest, AScrollAreaMirrorsItsDocumentsChildrenButNotTheDocument) {
    test::TestEnvironment t;
    t.defaults().set(RTL::forceKey, true);
    QWidget panel;
    panel.resize(200, 200);
    auto* scroll = new QScrollArea(&panel);
    scroll->setGeometry(0, 0, 150, 150);
    auto* document = new QWidget;
    document->resize(100, 300);
    auto* row = new QWidget(document);
    row->setGeometry(10, 0, 30, 10);
    scroll->setWidget(document);
    const QRect documentFrame = document->geometry();
    auto* text = new QTextEdit(&panel);
    text->setGeometry(160, 0, 40, 40);

    RTL::apply(&panel);
    EXPECT_EQ(scroll->geometry(), QRect(50, 0, 150, 150));
    EXPECT_EQ(document->geometry(), documentFrame);
    EXPECT_EQ(document->layoutDirection(), Qt::RightToLeft);
    EXPECT_EQ(row->geometry(), QRect(60, 0, 30, 10));
    EXPECT_EQ(text->geometry().x(), 0);
    EXPECT_EQ(text->document()->defaultTextOption().textDirection(), Qt::RightToLeft);
}

TEST(LanguageRegistryTest, AbilitiesAndCodes) {
    EXPECT_EQ(LanguageRegistry::normalized("pt_BR"), "pt");
    EXPECT_EQ(LanguageRegistry::normalized("EN-gb"), "en");
    EXPECT_EQ(LanguageRegistry::ability("zh"), LanguageAbility{});
    EXPECT_FALSE(LanguageRegistry::hasExtras("es"));
    EXPECT_TRUE(LanguageRegistry::hasExtras("en"));
    EXPECT_EQ(LanguageRegistry::languages([](const LanguageAbility& a) { return a.interfaceShipped; }),
              (QStringList{"en", "ru"}));
    EXPECT_EQ(LanguageRegistry::languages([](const LanguageAbility& a) { return a.recognition; }).size(), 15);
}

TEST(DevPathsTest, RepoPathPrefersTheEnvironment) {
    ScopedEnv env;
    env.unset("MURMELO_REPO_ROOT");
    env.unset("MURMELO_TEST_REPO_ROOT");
    EXPECT_EQ(murmeloRepoPath("resources/x"), murmeloDevRoot() + "/resources/x");
    EXPECT_TRUE(QFileInfo(murmeloDevPath("resources/en.lproj")).isDir());
    env.set("MURMELO_TEST_REPO_ROOT", "/t");
    EXPECT_EQ(murmeloRepoPath("a/b"), "/t/a/b");
    env.set("MURMELO_REPO_ROOT", "");
    EXPECT_EQ(murmeloRepoPath("a/b"), "/t/a/b");
    env.set("MURMELO_REPO_ROOT", "/r/");
    EXPECT_EQ(murmeloRepoPath("a/b"), "/r/a/b");
}

}  // namespace
