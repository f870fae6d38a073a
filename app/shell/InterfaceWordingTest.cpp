// What a person reads on this Linux desktop, in both interface languages: the tables
// themselves, the status menu as the input layer fills it, the quit dialog, the language
// choice and the command line. None of it may speak of the Mac or show macOS key symbols.
#include "TestEnvironment.h"
#include "base/AppLanguage.h"
#include "base/Bundle.h"
#include "base/Localization.h"
#include "dictation/ModelPerformance.h"
#include "input/HotkeyDef.h"
#include "keepawake/StayAwake.h"
#include "settings/Appearance.h"
#include "settings/PrefsWindow.h"
#include "shell/AppQuit.h"
#include "shell/OneShotModes.h"
#include "shell/StatusMenuSections.h"
#include "ui/StatusMenu.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

// Words and symbols that belong to another platform. "⇧" is on PC keyboards too, but the
// key names say Shift, so it is listed with the others.
const QRegularExpression& foreignPlatform() {
    static const QRegularExpression re(QStringLiteral(
        "(?<![A-Za-z])Mac(?![a-z])|macOS|Apple|Spotlight|Launchpad|launchd|KeepAlive|Finder|[⌘⌥⌃⇧]"));
    return re;
}

const QRegularExpression& cyrillic() {
    static const QRegularExpression re(QStringLiteral("\\p{Cyrillic}"));
    return re;
}

// Every text of the menu, its submenus included, labelled by the item's name.
void collect(const QList<MenuEntry>& entries, QList<QPair<QString, QString>>& out) {
    for (const MenuEntry& e : entries) {
        if (e.separator) continue;
        out << qMakePair(e.name, e.title);
        collect(e.submenu, out);
    }
}

class InterfaceWordingTest : public ::testing::TestWithParam<const char*> {
protected:
    InterfaceWordingTest() {
        // The build lines quote commit messages, which are no interface text.
        Bundle::setInfoForTesting(QHash<QString, QString>{});
        env.defaults().set(QStringLiteral("AppleLanguages"), QVariantList{QString::fromLatin1(GetParam())});
        Localization::resetForTesting(QStringList{QStringLiteral("ru")});
        resetHotkeyCacheForTesting();
    }
    ~InterfaceWordingTest() override {
        Bundle::setInfoForTesting(std::nullopt);
        Localization::resetForTesting(QStringList{QStringLiteral("ru")});
        resetHotkeyCacheForTesting();
    }
    bool english() const { return QLatin1String(GetParam()) == QLatin1String("en"); }

    // The texts a person reads, with where each comes from.
    QList<QPair<QString, QString>> texts() {
        QList<QPair<QString, QString>> out;
        collect(StatusMenu::model(), out);
        const QuitConfirmation quit = AppQuit::confirmation(QStringLiteral("Ondrix"), true, false);
        out << qMakePair(QStringLiteral("quit title"), quit.title) << qMakePair(QStringLiteral("quit body"), quit.body);
        for (const QString& t : quit.buttonTitles) out << qMakePair(QStringLiteral("quit button"), t);
        for (const auto& choice : AppLanguage::choices())
            out << qMakePair(QStringLiteral("language ") + choice.code, choice.title());
        out << qMakePair(QStringLiteral("--help"), OneShotModes::helpText());
        out << qMakePair(QStringLiteral("unknown option"), OneShotModes::unknownOptionText(QStringLiteral("--x")));
        out << qMakePair(QStringLiteral("--stay-awake-status"), StayAwake::report());
        out << qMakePair(QStringLiteral("model speed"), ModelPerformance::summary(QStringLiteral("no-such-model")));
        // A machine whose processor has no name.
        out << qMakePair(QStringLiteral("model speed device"), ModelPerformance::hardwareName(std::nullopt));
        out << settingsTexts();
        return out;
    }

    // The settings window: its pages, the theme and design choices, key names, time limits and
    // the status lines of the model card.
    static QList<QPair<QString, QString>> settingsTexts() {
        QList<QPair<QString, QString>> out;
        out << qMakePair(QStringLiteral("settings window"), L(QStringLiteral("prefs.window.title"), QStringLiteral("Настройки")));
        for (PrefsTab tab : PrefsTabs::allCases) out << qMakePair(QStringLiteral("settings page"), PrefsTabs::title(tab));
        for (AppAppearance a : AppAppearances::allCases)
            out << qMakePair(QStringLiteral("window theme"), AppAppearances::title(a));
        for (AppOrbStyle o : AppOrbStyles::allCases) out << qMakePair(QStringLiteral("design"), AppOrbStyles::title(o));
        for (qint64 code : {54, 55, 60, 61, 62, -1})
            out << qMakePair(QStringLiteral("settings key %1").arg(code), settingsHotkeyTitle(code));
        for (int hours : {0, 1, 4, 8})
            out << qMakePair(QStringLiteral("keep-awake limit"), PrefsWindow::stayAwakeHoldTitle(hours));
        return out;
    }

    test::TestEnvironment env;
    StatusMenuSections sections;  // as the subsystems fill them
};

TEST_P(InterfaceWordingTest, TheTableSpeaksOfNoOtherPlatform) {
    QFile file(QDir(Bundle::resourcePath(QString::fromLatin1(GetParam()) + QStringLiteral(".lproj")))
                   .filePath(QStringLiteral("Localizable.strings")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
    QString error;
    const QHash<QString, QString> table = Localization::parseTable(QString::fromUtf8(file.readAll()), &error);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        EXPECT_FALSE(it.value().contains(foreignPlatform())) << it.key().toStdString() << ": " << it.value().toStdString();
        // The product is Ondrix to its user; "murmelo" names only the executable.
        EXPECT_FALSE(it.value().contains(QStringLiteral("Murmelo")))
            << it.key().toStdString() << ": " << it.value().toStdString();
    }
}

TEST_P(InterfaceWordingTest, MenuDialogsAndCommandLineSpeakOfNoOtherPlatform) {
    ASSERT_EQ(Localization::language(), QString::fromLatin1(GetParam()));
    // With the default keys, then with the command key off and others chosen.
    for (int round = 0; round < 2; ++round) {
        if (round == 1) {
            setHotkey(55);
            disableCommandHotkey();
            setPolishHotkey(61);
        }
        for (const auto& [where, text] : texts()) {
            EXPECT_FALSE(text.contains(foreignPlatform())) << where.toStdString() << ": " << text.toStdString();
            EXPECT_FALSE(text.contains(QStringLiteral("Murmelo"))) << where.toStdString() << ": " << text.toStdString();
        }
    }
    // The settings window's texts come from the tables too.
    if (english()) {
        for (const auto& [where, text] : settingsTexts())
            EXPECT_FALSE(text.contains(cyrillic())) << where.toStdString() << ": " << text.toStdString();
    }
}

// Key names come from the tables: an English menu shows English key names only.
TEST_P(InterfaceWordingTest, KeyNamesAreTheLinuxKeysInTheInterfaceLanguage) {
    struct Case {
        qint64 dictation, command, polish;
        const char* header[2];  // Russian, English
        const char* polish_[2];
    } const cases[] = {
        {54, 61, 60, {"Ondrix — правый Ctrl диктовка · правый Alt команда", "Ondrix — right Ctrl dictation · right Alt command"},
         {"Улучшить текст — правый Shift", "Improve text — right Shift"}},
        {55, -1, 61, {"Ondrix — левый Ctrl диктовка · выключено команда", "Ondrix — left Ctrl dictation · off command"},
         {"Улучшить текст — правый Alt", "Improve text — right Alt"}},
    };
    const int language = english() ? 1 : 0;
    for (const Case& c : cases) {
        setHotkey(c.dictation);
        if (c.command < 0) disableCommandHotkey(); else setCommandHotkey(c.command);
        setPolishHotkey(c.polish);
        const QList<MenuEntry> model = StatusMenu::model();
        QString header, polish;
        for (const MenuEntry& e : model) {
            if (e.name == QLatin1String("header")) header = e.title;
            if (e.name == QLatin1String("togglePolish")) polish = e.title;
        }
        EXPECT_EQ(header, QString::fromUtf8(c.header[language]));
        EXPECT_EQ(polish, QString::fromUtf8(c.polish_[language]));
        if (english()) {
            EXPECT_FALSE(header.contains(cyrillic())) << header.toStdString();
            EXPECT_FALSE(OneShotModes::helpText().contains(cyrillic()));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Languages, InterfaceWordingTest, ::testing::Values("ru", "en"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
