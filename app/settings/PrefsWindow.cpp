#include "settings/PrefsWindow.h"

#include "base/Localization.h"
#include "base/Log.h"
#include "base/RTL.h"
#include "base/Unbuilt.h"
#include "dictation/VoiceCommands.h"
#include "platform/MainQueue.h"
#include "platform/Service.h"
#include "settings/PrefsView.h"
#include "ui/AlertPresenter.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <cmath>

namespace murmelo {

namespace {

// The top-level window: its close is the controller's windowWillClose; the window itself is
// only hidden, so that the next show reuses it.
class PrefsFrame final : public QWidget {
public:
    explicit PrefsFrame(std::function<void()> willClose) : willClose_(std::move(willClose)) {}

protected:
    void closeEvent(QCloseEvent* event) override {
        if (willClose_) willClose_();
        QWidget::closeEvent(event);
    }

private:
    std::function<void()> willClose_;
};

}  // namespace

// Parts of the window that the words, reply-style and model pages bring; until then each
// says so once.
struct PrefsWindow::Unfilled {
    std::function<void()> vocabScopes = unbuilt("rebuildVocabScopes");
    std::function<void()> replyScopes = unbuilt("rebuildReplyScopes");
    std::function<void()> budget = unbuilt("myWordsBudgetLine");
    std::function<void()> modelFiles = unbuilt("unusedModelFiles");
    std::function<void()> meetingHotkey = unbuilt("MeetingHotkey");
    std::function<void()> cloudSwitch = unbuilt("isQuickActionsCloudEnabled");
};

PrefsWindow::PrefsWindow(PrefsOwners& owners) : owners_(owners), unfilled_(std::make_unique<Unfilled>()) {}

PrefsWindow::~PrefsWindow() {
    // The window's close during destruction must not reach a half-destroyed controller.
    if (window_) window_->hide();
}

PrefsWindow& PrefsWindow::shared() {
    if (auto* installed = installedService<PrefsWindow>()) return *installed;
    static LivePrefsOwners* owners = new LivePrefsOwners;
    static PrefsWindow* controller = new PrefsWindow(*owners);
    return *controller;
}

// ---- show

void PrefsWindow::show(PrefsTab tab) {
    state_.setTab(tab);
    // The statistics page that showStatistics armed stays for exactly this one show.
    if (state_.statisticsRouteArmed) state_.statisticsRouteArmed = false;
    else state_.setShowsStatistics(false);
    if (!window_) build();
    refresh();
    QPointer<PrefsWindow> self(this);
    owners_.setClipboardOnChange([self] {
        if (self) self->state_.setClipboardItems(self->owners_.clipboardItems());
    });
    window_->show();
    window_->raise();
    window_->activateWindow();
    checkActivation();
    refit();
}

void PrefsWindow::showStatistics() {
    owners_.activateStatistics();
    state_.selectStatistics(QDateTime::currentDateTime());
    state_.statisticsRouteArmed = true;
    show(PrefsTab::home);
}

void PrefsWindow::checkActivation() {
    // X11 window managers may refuse focus to a window that did not get the user's click; the
    // window is then raised but not active, which is all a second copy's request can do.
    // Asked a second later: the window manager answers the request asynchronously.
    QPointer<PrefsWindow> self(this);
    MainQueue::shared().after(1.0, [self] {
        if (!self || !self->window_ || !self->window_->isVisible()) return;
        if (QGuiApplication::platformName() == QLatin1String("xcb") && !self->window_->isActiveWindow())
            logLine(QStringLiteral("настройки: оконный менеджер не дал окну фокус — окно поднято без фокуса"));
    });
}

// ---- window

void PrefsWindow::build() {
    QPointer<PrefsWindow> self(this);
    // Deferred: the frame never changes inside the layout pass that reported the height.
    state_.onLayout = [self] {
        MainQueue::shared().post([self] {
            if (self) self->refit();
        });
    };
    auto frame = std::make_unique<PrefsFrame>([self] {
        if (self) self->windowWillClose();
    });
    host_ = new PrefsView(state_, frame.get());
    host_->setLayoutDirection(RTL::isActive() ? Qt::RightToLeft : Qt::LeftToRight);
    auto* layout = new QVBoxLayout(frame.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(host_);
    frame->setWindowTitle(L(QStringLiteral("prefs.window.title"), QStringLiteral("Настройки")));
    // Titled and closable; no resize, no minimise.
    frame->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    frame->setFixedWidth(int(PREFS_WINDOW_WIDTH));
    frame->resize(int(PREFS_WINDOW_WIDTH), 400);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        frame->move(area.center() - QPoint(int(PREFS_WINDOW_WIDTH) / 2, 200));
    }
    RTL::apply(frame.get());
    window_ = std::move(frame);
}

std::unique_ptr<QWidget> PrefsWindow::snapshotContent(PrefsState& state) const {
    auto view = std::make_unique<PrefsView>(state);
    view->setLayoutDirection(RTL::isActive() ? Qt::RightToLeft : Qt::LeftToRight);
    return view;
}

std::optional<QRectF> PrefsWindow::refittedFrame(const QRectF& frame, double newFrameHeight) {
    if (std::abs(newFrameHeight - frame.height()) <= 0.5) return std::nullopt;
    return QRectF(frame.x(), frame.y() + (frame.height() - newFrameHeight), PREFS_WINDOW_WIDTH, newFrameHeight);
}

void PrefsWindow::refit() {
    if (!window_ || !host_) return;
    if (QLayout* layout = window_->layout()) layout->activate();
    const double h = host_->sizeHint().height();
    if (h <= 0) return;
    // The window system's frame adds its title bar to the content.
    const QRect outer = window_->frameGeometry();
    const double chrome = window_->isVisible() ? outer.height() - window_->geometry().height() : 0;
    // Bottom-left coordinates with the screen's top at 0, as the arithmetic is written.
    const QRectF frame(outer.x(), -(outer.y() + outer.height()), outer.width(), outer.height());
    const auto next = refittedFrame(frame, h + chrome);
    if (!next) return;
    window_->setFixedHeight(int(std::lround(next->height() - chrome)));
    const int top = int(std::lround(-(next->y() + next->height())));
    window_->move(outer.x(), top);
}

// ---- refresh

void PrefsWindow::loadEditor(EditorBuffer& buffer, const QString& ownerText) {
    if (edited(buffer)) return;
    buffer.loaded = ownerText;
    switch (buffer.field) {
    case PrefsField::vocabText: state_.setVocabText(ownerText); break;
    case PrefsField::replacementsText: state_.setReplacementsText(ownerText); break;
    case PrefsField::myWordsText: state_.setMyWordsText(ownerText); break;
    case PrefsField::commandsText: state_.setCommandsText(ownerText); break;
    default: break;
    }
}

const QString& PrefsWindow::editorText(PrefsField field) const {
    switch (field) {
    case PrefsField::vocabText: return state_.vocabText();
    case PrefsField::replacementsText: return state_.replacementsText();
    case PrefsField::myWordsText: return state_.myWordsText();
    default: return state_.commandsText();
    }
}

bool PrefsWindow::edited(const EditorBuffer& buffer) const { return editorText(buffer.field) != buffer.loaded; }

void PrefsWindow::refresh() {
    rebuildVocabScopes();
    // With no scope the words editor shows the shared vocabulary.
    loadEditor(vocabBuffer_, vocabScope_ ? QString() : owners_.customVocab());
    rebuildReplyScopes();
    refreshKeys();
    refreshHomeSettings();
    state_.setAutostartOn(owners_.autostartEnabled());
    state_.setRecogLang(owners_.recognitionLanguage());
    loadEditor(replacementsBuffer_, owners_.replacementsRaw());
    loadEditor(myWordsBuffer_, owners_.personalWordsJoined());
    state_.setMyWordsBudget(myWordsBudgetLine());
    state_.setMyWordsSaved(QString());
    const QString commands = owners_.voiceCommandsText();
    loadEditor(commandsBuffer_, commands.isEmpty() ? VOICE_COMMANDS_SAMPLE : commands);
    state_.setGlobalSignature(owners_.defaultSignature());
    unfilled_->cloudSwitch();
    state_.setClipOn(owners_.clipboardEnabled());
    state_.setClipboardItems(owners_.clipboardItems());
    state_.setPresence(owners_.presenceStyle());
    state_.setLogTextOn(owners_.logUserText());
    state_.setBuildPanelOn(owners_.buildPanelShown());
    state_.setAppearance(Appearance::current());
    state_.setOrbStyle(OrbStyle::current());
    state_.setModelID(owners_.selectedModelID());
    PrefsBoolMap downloaded;
    for (const PrefsOwners::Model& m : owners_.models()) downloaded.insert(m.id, owners_.isDownloaded(m.id));
    state_.setModelDownloaded(downloaded);
    refreshStayAwake();
    state_.setDictationHistoryOn(owners_.dictationHistoryEnabled());
    const QStringList history = owners_.dictationHistory();
    state_.setDictationHistoryCount(history.size());
    state_.setDictationHistoryItems(history);
    state_.setAppLanguage(owners_.appLanguage());
    state_.setAppLanguageRestartNeeded(false);
    state_.setMeetingAudioDays(owners_.meetingAudioDays());
    state_.setMeetingPolishOn(owners_.meetingPolishEnabled());
    refreshDiskLine();
    refreshSelectionLine();
}

void PrefsWindow::refreshKeys() {
    state_.setDictationKey(owners_.dictationKey());
    state_.setCommandKey(owners_.commandKey().value_or(COMMAND_HOTKEY_OFF));
}

void PrefsWindow::refreshHomeSettings() {
    state_.setTypingToolsAvailable(owners_.typingToolsAvailable());
    state_.setLayoutEnabled(owners_.layoutEnabled());
    state_.setSmartCleanupMode(owners_.smartCleanupMode());
    state_.setPunctuationEnabled(owners_.polishEnabled());
    state_.setPunctuationKey(owners_.polishKey().value_or(POLISH_HOTKEY_OFF));
    state_.setSelectionActionsEnabled(owners_.quickActionsEnabled());
    // The meeting gesture's owner is not built: both fields keep what they hold.
    unfilled_->meetingHotkey();
}

void PrefsWindow::refreshStayAwake() {
    const PrefsOwners::StayAwakeState s = owners_.stayAwake();
    state_.setStayAwakeOn(s.enabled);
    state_.setStayAwakeUsable(StayAwake::isSupported);
    state_.setStayAwakeStatus(s.statusText);
    state_.setStayAwakeHours(s.hours);
    state_.setStayAwakeFloor(s.batteryFloor);
    state_.setStayAwakeOrphan(s.orphan);
}

void PrefsWindow::refreshDiskLine() {
    const qint64 total = unusedModelBytes();
    if (total > 0) {
        state_.setDiskText(L(QStringLiteral("prefs.disk.unused"), QStringLiteral("Неиспользуемые модели: %1$@"),
                             {owners_.humanBytes(total)}));
        state_.setCleanupEnabled(true);
    } else {
        state_.setDiskText(L(QStringLiteral("prefs.disk.none"), QStringLiteral("Нет моделей для удаления")));
        state_.setCleanupEnabled(false);
    }
}

void PrefsWindow::refreshSelectionLine() {
    QString title = QStringLiteral("—");
    const QString selected = owners_.selectedModelID();
    for (const PrefsOwners::Model& m : owners_.models())
        if (m.id == selected) title = m.shortTitle;
    state_.setFooter(L(QStringLiteral("prefs.model.selection"), QStringLiteral("Выбрана: %1$@"), {title}));
}

void PrefsWindow::setFooter(const PrefsOwners::Model& active, const QString& suffix) {
    state_.setFooter(
        L(QStringLiteral("prefs.model.status"), QStringLiteral("Модель: %1$@ · %2$@"), {active.shortTitle, suffix}));
}

// Scopes, the budget line and the model files belong to the words and model pages; until
// they are built the words editor shows the shared vocabulary and the disk holds nothing to
// clean up.
void PrefsWindow::rebuildVocabScopes() { unfilled_->vocabScopes(); }
void PrefsWindow::rebuildReplyScopes() { unfilled_->replyScopes(); }
QString PrefsWindow::myWordsBudgetLine() {
    unfilled_->budget();
    return state_.myWordsBudget();
}
qint64 PrefsWindow::unusedModelBytes() {
    unfilled_->modelFiles();
    return 0;
}

void PrefsWindow::persistCurrentVocabBuffer() {
    const QString text = state_.vocabText().trimmed();
    if (vocabScope_) return;  // an application's vocabulary: stored by the scopes' own saver
    owners_.setCustomVocab(text);
}

// ---- close

void PrefsWindow::windowWillClose() {
    owners_.setClipboardOnChange({});
    // Only what the user changed is stored: an untouched editor holds a copy that may be stale
    // by now, or a default (the seed terms, the sample commands) that must stay unstored.
    if (edited(vocabBuffer_)) {
        persistCurrentVocabBuffer();
        vocabBuffer_.loaded = state_.vocabText();
    }
    if (edited(commandsBuffer_)) {
        owners_.setVoiceCommandsText(state_.commandsText().trimmed());
        commandsBuffer_.loaded = state_.commandsText();
    }
}

// ---- keep-awake

std::function<void(const StayAwake::ArmResult&)> PrefsWindow::stayAwakeArmCompletion() {
    QPointer<PrefsWindow> self(this);
    return [self](const StayAwake::ArmResult& result) {
        if (!self) return;
        switch (result.kind) {
        case StayAwake::ArmResult::Kind::failed:
            self->owners_.setStayAwakeEnabled(false);
            self->owners_.holdIdleAssertion(false);
            AlertPresenter::shared().run(
                {AlertModel::Style::warning,
                 L(QStringLiteral("stayAwake.failed.title"), QStringLiteral("Не удалось запретить сон")),
                 result.message,
                 {}});
            break;
        case StayAwake::ArmResult::Kind::declined:
            self->owners_.setStayAwakeEnabled(false);
            self->owners_.holdIdleAssertion(false);
            break;
        case StayAwake::ArmResult::Kind::armed: break;
        }
        if (self) self->refreshStayAwake();
    };
}

void PrefsWindow::scheduleStayAwakeRefresh() {
    QPointer<PrefsWindow> self(this);
    MainQueue::shared().after(6.0, [self] {
        if (self) self->refreshStayAwake();
    });
}

std::function<void()> PrefsWindow::stayAwakeSettledCompletion() {
    QPointer<PrefsWindow> self(this);
    return [self] {
        if (self) self->refreshStayAwake();
    };
}

QString PrefsWindow::stayAwakeHoldTitle(int hours) {
    switch (hours) {
    case 0: return L(QStringLiteral("stayAwake.hold.forever"), QStringLiteral("пока не выключу"));
    case 1: return L(QStringLiteral("stayAwake.hold.1h"), QStringLiteral("1 час"));
    case 4: return L(QStringLiteral("stayAwake.hold.4h"), QStringLiteral("4 часа"));
    default: return L(QStringLiteral("stayAwake.hold.8h"), QStringLiteral("8 часов"));
    }
}

}  // namespace murmelo
