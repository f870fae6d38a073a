#include "settings/PrefsWindow.h"

#include "TestEnvironment.h"
#include "dictation/VoiceCommands.h"
#include "settings/PrefsView.h"
#include "ui/AlertPresenter.h"

#include <QImage>
#include <gtest/gtest.h>
#include <memory>

using namespace murmelo;

namespace {

// Owners as plain values; writes are recorded.
struct FakeOwners final : PrefsOwners {
    QString vocab = QStringLiteral("seed terms");
    QString replacements, personalWords, commands, signature;
    qint64 dictation = 54;
    std::optional<qint64> command = 61, polish = 60;
    bool typingTools = true, layout = true, polishOn = true, quickActions = true, autostart = false;
    SmartCleanupMode mode = SmartCleanupMode::clean;
    QString language = QStringLiteral("auto");
    bool clipboardOn = true, historyOn = true, logText = false, buildPanel = false;
    std::vector<ClipItem> clips;
    std::function<void()> clipboardCallback;
    QStringList history;
    PresenceStyle presence = PresenceStyle::drop;
    QString appLang = QStringLiteral("system");
    QString selected = QStringLiteral("q5");
    QList<Model> catalog{{"q5", "Быстрая"}, {"large-v3", "Точная"}};
    QSet<QString> downloaded{"q5"};
    int audioDays = 30;
    bool meetingPolish = true;
    StayAwakeState awake;
    QStringList writes;

    QString customVocab() override { return vocab; }
    void setCustomVocab(const QString& text) override { writes << "customVocab=" + text; vocab = text; }
    QString replacementsRaw() override { return replacements; }
    QString personalWordsJoined() override { return personalWords; }
    QString voiceCommandsText() override { return commands; }
    void setVoiceCommandsText(const QString& text) override { writes << "voiceCommands=" + text; commands = text; }
    qint64 dictationKey() override { return dictation; }
    std::optional<qint64> commandKey() override { return command; }
    std::optional<qint64> polishKey() override { return polish; }
    bool typingToolsAvailable() override { return typingTools; }
    bool layoutEnabled() override { return layout; }
    SmartCleanupMode smartCleanupMode() override { return mode; }
    bool polishEnabled() override { return polishOn; }
    bool quickActionsEnabled() override { return quickActions; }
    bool autostartEnabled() override { return autostart; }
    QString recognitionLanguage() override { return language; }
    QString defaultSignature() override { return signature; }
    bool clipboardEnabled() override { return clipboardOn; }
    std::vector<ClipItem> clipboardItems() override { return clips; }
    void setClipboardOnChange(std::function<void()> callback) override { clipboardCallback = std::move(callback); }
    bool dictationHistoryEnabled() override { return historyOn; }
    QStringList dictationHistory() override { return history; }
    PresenceStyle presenceStyle() override { return presence; }
    bool logUserText() override { return logText; }
    bool buildPanelShown() override { return buildPanel; }
    QString appLanguage() override { return appLang; }
    QString selectedModelID() override { return selected; }
    QList<Model> models() override { return catalog; }
    bool isDownloaded(const QString& id) override { return downloaded.contains(id); }
    QString humanBytes(qint64 bytes) override { return QString::number(bytes) + " Б"; }
    void activateStatistics() override { writes << "statistics activated"; }
    int meetingAudioDays() override { return audioDays; }
    bool meetingPolishEnabled() override { return meetingPolish; }
    StayAwakeState stayAwake() override { return awake; }
    void setStayAwakeEnabled(bool on) override { writes << QStringLiteral("stayAwake=%1").arg(on); awake.enabled = on; }
    void holdIdleAssertion(bool on) override { writes << QStringLiteral("idleAssertion=%1").arg(on); }
};

struct RecordingAlerts final : AlertPresenter {
    QList<AlertModel> shown;
    int run(const AlertModel& alert) override {
        shown << alert;
        return 0;
    }
};

struct PrefsWindowFixture : ::testing::Test {
    ~PrefsWindowFixture() override {
        if (controller && controller->window()) controller->window()->hide();
    }
    PrefsWindow& ctl() {
        if (!controller) controller = std::make_unique<PrefsWindow>(owners);
        return *controller;
    }
    PrefsState& st() { return ctl().state(); }

    test::TestEnvironment env;
    FakeOwners owners;
    RecordingAlerts alerts;
    ScopedService<AlertPresenter> alertsScope{alerts};
    std::unique_ptr<PrefsWindow> controller;
};

}  // namespace

TEST_F(PrefsWindowFixture, ShowOnTheDictationPageMirrorsTheOwners) {
    owners.historyOn = false;
    owners.dictation = 61;
    owners.command = std::nullopt;  // the command key is the dictation key: switched off
    owners.polish = std::nullopt;
    owners.awake = {false, QStringLiteral("выключено"), 4, 30, false};
    ctl().show(PrefsTab::dictation);

    EXPECT_EQ(st().tab(), PrefsTab::dictation);
    EXPECT_FALSE(st().showsStatistics());
    EXPECT_EQ(st().dictationKey(), 61);
    EXPECT_EQ(st().commandKey(), -1);
    EXPECT_EQ(st().punctuationKey(), -1);
    EXPECT_EQ(st().footer(), QStringLiteral("Выбрана: Быстрая"));
    EXPECT_EQ(st().diskText(), QStringLiteral("Нет моделей для удаления"));
    EXPECT_FALSE(st().cleanupEnabled());
    EXPECT_EQ(st().modelDownloaded(), (PrefsBoolMap{{"q5", true}, {"large-v3", false}}));
    EXPECT_FALSE(st().dictationHistoryOn());
    EXPECT_FALSE(st().stayAwakeOn());
    EXPECT_EQ(st().stayAwakeHours(), 4);
    EXPECT_EQ(st().stayAwakeFloor(), 30);
    EXPECT_EQ(st().smartCleanupMode(), SmartCleanupMode::clean);
    EXPECT_TRUE(ctl().window()->isVisible());
    // What is not built yet says so instead of reporting a value.
    for (const char* stub : {"rebuildVocabScopes", "rebuildReplyScopes", "myWordsBudgetLine", "unusedModelFiles",
                             "MeetingHotkey", "isQuickActionsCloudEnabled"})
        EXPECT_TRUE(env.logContains(QStringLiteral("заглушка: ") + stub)) << stub;
    EXPECT_TRUE(st().meetingGestureAvailable());
    EXPECT_FALSE(st().cloudOn());

    owners.selected = QStringLiteral("gone");
    ctl().refresh();
    EXPECT_EQ(st().footer(), QStringLiteral("Выбрана: —"));
    ctl().setFooter({"q5", "Быстрая"}, QStringLiteral("Готова"));
    EXPECT_EQ(st().footer(), QStringLiteral("Модель: Быстрая · Готова"));
}

TEST_F(PrefsWindowFixture, RefreshFillsTheFieldsInTheOwnersOrder) {
    QList<PrefsField> order;
    QObject::connect(&st(), &PrefsState::changed, [&](PrefsField f) {
        if (!order.contains(f)) order << f;
    });
    st().setMyWordsSaved(QStringLiteral("Сохранено"));
    st().setAppLanguageRestartNeeded(true);
    order.clear();
    ctl().refresh();
    using F = PrefsField;
    const QList<PrefsField> expected{
        F::vocabText,        F::dictationKey,      F::commandKey,           F::typingToolsAvailable,
        F::layoutEnabled,    F::smartCleanupMode,  F::punctuationEnabled,   F::punctuationKey,
        F::selectionActionsEnabled, F::autostartOn, F::recogLang,           F::replacementsText,
        F::myWordsText,      F::myWordsBudget,     F::myWordsSaved,         F::commandsText,
        F::globalSignature,  F::clipOn,            F::clipboardItems,       F::presence,
        F::logTextOn,        F::buildPanelOn,      F::appearance,           F::orbStyle,
        F::modelID,          F::modelDownloaded,   F::stayAwakeOn,          F::stayAwakeUsable,
        F::stayAwakeStatus,  F::stayAwakeHours,    F::stayAwakeFloor,       F::stayAwakeOrphan,
        F::dictationHistoryOn, F::dictationHistoryCount, F::dictationHistoryItems, F::appLanguage,
        F::appLanguageRestartNeeded, F::meetingAudioDays, F::meetingPolishOn, F::diskText,
        F::cleanupEnabled,   F::footer};
    EXPECT_EQ(order, expected);
    EXPECT_EQ(st().myWordsSaved(), QString());
    EXPECT_FALSE(st().appLanguageRestartNeeded());
}

TEST_F(PrefsWindowFixture, StatisticsStayForExactlyTheShowThatShowStatisticsMakes) {
    ctl().showStatistics();
    EXPECT_EQ(owners.writes, QStringList{"statistics activated"});
    EXPECT_EQ(st().statsRevision(), 1);
    EXPECT_TRUE(st().showsStatistics());
    EXPECT_EQ(st().tab(), PrefsTab::home);
    ctl().show(PrefsTab::home);
    EXPECT_FALSE(st().showsStatistics());

    ctl().showStatistics();
    ctl().show(PrefsTab::history);
    EXPECT_EQ(st().tab(), PrefsTab::history);
    EXPECT_FALSE(st().showsStatistics());

    // Opened from the rail, the statistics page is an ordinary page: the next show replaces it.
    st().selectStatistics(QDateTime::currentDateTime());
    ctl().show(PrefsTab::history);
    EXPECT_EQ(st().tab(), PrefsTab::history);
    EXPECT_FALSE(st().showsStatistics());
    EXPECT_EQ(st().statsRevision(), 3);
}

TEST(PrefsWindowRefit, TheTopEdgeStaysAndHalfAPointChangesNothing) {
    const QRectF frame(100, 200, 1040, 400);  // bottom-left origin: the top edge is at 600
    struct Case {
        double height;
        std::optional<QRectF> frame;
    };
    const Case cases[] = {
        {400.5, std::nullopt},
        {399.5, std::nullopt},
        {400.6, QRectF(100, 199.4, 1040, 400.6)},
        {300, QRectF(100, 300, 1040, 300)},
        {736, QRectF(100, -136, 1040, 736)},
    };
    for (const Case& c : cases) EXPECT_EQ(PrefsWindow::refittedFrame(frame, c.height), c.frame) << c.height;
}

TEST_F(PrefsWindowFixture, TheFirstShowFitsThePlaceholderHeightAndLaterShowsReuseTheWindow) {
    ctl().show(PrefsTab::home);
    QWidget* window = ctl().window();
    ASSERT_TRUE(window);
    const int content = ctl().host()->sizeHint().height();
    EXPECT_LT(content, 400);
    EXPECT_EQ(window->height(), content);
    EXPECT_EQ(window->width(), 1040);

    // A taller page reports its height: the window refits on a later turn, never inside the
    // report.
    st().setPageHeight(500);
    EXPECT_EQ(window->height(), content);
    env.runPending();
    EXPECT_EQ(window->height(), 500 + 2 * int(PrefsView::padding));

    window->close();
    EXPECT_FALSE(window->isVisible());
    owners.dictation = 55;
    ctl().show(PrefsTab::history);
    EXPECT_EQ(ctl().window(), window) << "nothing is rebuilt";
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(st().dictationKey(), 55);
}

TEST_F(PrefsWindowFixture, ClosingStoresOnlyTheEditorsTheUserChanged) {
    owners.commands.clear();
    ctl().show();
    EXPECT_EQ(st().vocabText(), QStringLiteral("seed terms"));
    EXPECT_EQ(st().commandsText(), VOICE_COMMANDS_SAMPLE) << "an empty list shows the sample";
    ctl().window()->close();
    EXPECT_EQ(owners.writes, QStringList()) << "the seed terms and the sample stay unstored";

    // Another path changes the commands while the window is open: the editor's old copy must
    // not come back over it.
    ctl().show();
    owners.commands = QStringLiteral("открой почту: xdg-email");
    ctl().window()->close();
    EXPECT_EQ(owners.writes, QStringList());

    ctl().show();
    st().setVocabText(QStringLiteral("  Ondrix, Qt \n"));
    st().setCommandsText(QStringLiteral("\nпривет: echo hi\n"));
    ctl().window()->close();
    EXPECT_EQ(owners.writes,
              (QStringList{QStringLiteral("customVocab=Ondrix, Qt"), QStringLiteral("voiceCommands=привет: echo hi")}));
    owners.writes.clear();
    ctl().show();
    ctl().window()->close();
    EXPECT_EQ(owners.writes, QStringList()) << "stored once, then untouched again";
}

TEST_F(PrefsWindowFixture, ARefreshKeepsUnsavedTypingAndReloadsUntouchedEditors) {
    owners.replacements = QStringLiteral("ондрикс = Ondrix");
    owners.personalWords = QStringLiteral("Qt");
    ctl().show();
    st().setReplacementsText(QStringLiteral("ондрикс = Ondrix\nкути = Qt"));
    owners.replacements = QStringLiteral("changed elsewhere");
    owners.personalWords = QStringLiteral("Qt\nCMake");
    ctl().refresh();
    EXPECT_EQ(st().replacementsText(), QStringLiteral("ондрикс = Ondrix\nкути = Qt"));
    EXPECT_EQ(st().myWordsText(), QStringLiteral("Qt\nCMake"));
}

TEST_F(PrefsWindowFixture, TheClipboardHistoryIsFollowedWhileTheWindowIsOpen) {
    ctl().show(PrefsTab::history);
    ASSERT_TRUE(owners.clipboardCallback);
    owners.clips = {ClipItem{QStringLiteral("A"), QStringLiteral("текст"), 1, false}};
    owners.clipboardCallback();
    EXPECT_EQ(st().clipboardItems(), owners.clips);
    ctl().window()->close();
    EXPECT_FALSE(owners.clipboardCallback);
}

TEST_F(PrefsWindowFixture, KeepAwakeCompletions) {
    owners.awake.enabled = true;
    ctl().show(PrefsTab::app);
    auto complete = ctl().stayAwakeArmCompletion();

    complete(StayAwake::ArmResult::armed(0));
    EXPECT_EQ(owners.writes, QStringList());
    EXPECT_TRUE(alerts.shown.isEmpty());

    complete(StayAwake::ArmResult::declined());
    EXPECT_EQ(owners.writes, (QStringList{"stayAwake=0", "idleAssertion=0"}));
    EXPECT_TRUE(alerts.shown.isEmpty());
    EXPECT_FALSE(st().stayAwakeOn());

    owners.awake.enabled = true;
    owners.writes.clear();
    complete(StayAwake::ArmResult::failed(QStringLiteral("logind отказал")));
    EXPECT_EQ(owners.writes, (QStringList{"stayAwake=0", "idleAssertion=0"}));
    ASSERT_EQ(alerts.shown.size(), 1);
    EXPECT_EQ(alerts.shown[0].title, QStringLiteral("Не удалось запретить сон"));
    EXPECT_EQ(alerts.shown[0].informative, QStringLiteral("logind отказал"));
    EXPECT_FALSE(st().stayAwakeOn());

    // Switched off: the service lets go on its own time; the window looks again 6 s later.
    owners.awake.statusText = QStringLiteral("выключено");
    ctl().scheduleStayAwakeRefresh();
    env.advance(5.9);
    EXPECT_NE(st().stayAwakeStatus(), QStringLiteral("выключено"));
    env.advance(0.1);
    EXPECT_EQ(st().stayAwakeStatus(), QStringLiteral("выключено"));

    // Completions that arrive after the controller is gone do nothing.
    auto settled = ctl().stayAwakeSettledCompletion();
    ctl().scheduleStayAwakeRefresh();
    controller->window()->hide();
    controller.reset();
    complete(StayAwake::ArmResult::failed(QStringLiteral("поздно")));
    settled();
    env.advance(7);
    EXPECT_EQ(alerts.shown.size(), 1);
}

TEST(PrefsWindowHoldTitle, NamesTheTimeLimits) {
    const std::pair<int, const char*> cases[] = {
        {0, "пока не выключу"}, {1, "1 час"}, {4, "4 часа"}, {8, "8 часов"}, {2, "8 часов"}, {-3, "8 часов"}};
    for (const auto& [hours, title] : cases)
        EXPECT_EQ(PrefsWindow::stayAwakeHoldTitle(hours), QString::fromUtf8(title)) << hours;
}

TEST_F(PrefsWindowFixture, ThePlaceholderPageRendersFromTheModel) {
    owners.selected = QStringLiteral("q5");
    ctl().show(PrefsTab::dictation);
    PrefsView* view = ctl().host();
    EXPECT_EQ(view->pageLines(),
              (QStringList{"Диктовка", "Выбрана: Быстрая", "Нет моделей для удаления"}));
    const QImage dictation = view->grab().toImage();
    ASSERT_EQ(dictation.width(), 1040);
    // Without a window the same model draws the same picture.
    const std::unique_ptr<QWidget> snapshot = ctl().snapshotContent(st());
    snapshot->resize(view->size());
    EXPECT_EQ(snapshot->grab().toImage().convertToFormat(QImage::Format_RGB32),
              dictation.convertToFormat(QImage::Format_RGB32));
    st().setTab(PrefsTab::home);
    const QImage home = view->grab().toImage();
    // The rail's first row is home, the second dictation: the selected one is filled.
    auto rowPixel = [](const QImage& image, int row) {
        return image.pixelColor(20, int(PrefsView::padding + PrefsView::railRowHeight * (row + 0.5)));
    };
    EXPECT_NE(rowPixel(dictation, 1), rowPixel(home, 1));
    EXPECT_NE(rowPixel(dictation, 0), rowPixel(home, 0));
    EXPECT_EQ(rowPixel(dictation, 2), rowPixel(home, 2));
    // The page title is drawn in the page column.
    bool ink = false;
    for (int x = 240; x < 400 && !ink; ++x)
        for (int y = 24; y < 50 && !ink; ++y) ink = dictation.pixelColor(x, y) != home.pixelColor(x, y);
    EXPECT_TRUE(ink);

    ctl().showStatistics();
    EXPECT_EQ(view->pageLines(), QStringList{"В этом месяце"});
}
