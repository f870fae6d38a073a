#include "shell/AppQuit.h"

#include "shell/AppDelegate.h"
#include "base/Localization.h"
#include "base/Log.h"
#include "base/BaseSeam.h"
#include "dictation/DictationSeam.h"
#include "presence/PresenceSeam.h"
#include "shell/QuitConfirmationDialog.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <algorithm>

namespace murmelo {

bool QuitConfirmation::pauseOffered() const {
    return std::find(buttons.begin(), buttons.end(), Button::pause) != buttons.end();
}

namespace AppQuit {
namespace {

bool g_silent = false;
int g_exitStatus = 0;
std::optional<quint32> g_reason;
DialogRunner g_runner;

QString processName() {
    QFile comm(QStringLiteral("/proc/self/comm"));
    if (comm.open(QIODevice::ReadOnly)) {
        const QString name = QString::fromUtf8(comm.readAll()).trimmed();
        if (!name.isEmpty()) return name;
    }
    return QFileInfo(QCoreApplication::applicationFilePath()).fileName();
}

}  // namespace

bool isSilent() { return g_silent; }
int exitStatus() { return g_exitStatus; }

quint32 code(const char* text) {
    quint32 result = 0;
    for (const char* p = text; p && *p; ++p) result = (result << 8) | quint8(*p);
    return result;
}

const std::vector<quint32>& systemReasons() {
    // Log-out, restart and shut-down, asked for by the user through the system or by the
    // system itself.
    static const std::vector<quint32> reasons = {code("logo"), code("rlgo"), code("rest"),
                                                 code("rrst"), code("shut"), code("rsdn")};
    return reasons;
}

std::optional<quint32> systemQuitReason() { return g_reason; }

Path decide(bool isSilent, std::optional<quint32> quitReason) {
    if (isSilent) return Path::silentService;
    if (!quitReason) return Path::ask;
    const auto& reasons = systemReasons();
    if (std::find(reasons.begin(), reasons.end(), *quitReason) != reasons.end()) return Path::systemShutdown;
    return Path::ask;
}

QString appName(const QString& displayName, const QString& name, const QString& processName) {
    if (!displayName.isEmpty()) return displayName;
    if (!name.isEmpty()) return name;
    return processName;
}

QString appName() {
    // Qt answers the application name when no display name is set; ask for both anyway so
    // that the order stays visible.
    return appName(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName(), processName());
}

QString confirmTitle(const QString& app) {
    return L(QStringLiteral("quit.confirm.title"), QStringLiteral("Выйти из %1$@?"), {app});
}

QString confirmBody(const QString& app, bool autostart) {
    QStringList paragraphs;
    paragraphs << L(QStringLiteral("quit.confirm.body"),
                    QStringLiteral("Диктовка перестанет работать: горячая клавиша не отвечает, панель и история не "
                                   "открываются."));
    paragraphs << L(QStringLiteral("quit.confirm.back"),
                    QStringLiteral("Запустить снова: меню приложений → «%1$@» или панель запуска рабочего стола."),
                    {app});
    if (autostart)
        paragraphs << L(QStringLiteral("quit.confirm.autostart"),
                        QStringLiteral("Само приложение вернётся при следующем входе в систему."));
    return paragraphs.join(QStringLiteral("\n\n"));
}

QuitConfirmation confirmation(const QString& app, bool autostart, bool dictationPaused) {
    using Button = QuitConfirmation::Button;
    QuitConfirmation c;
    c.title = confirmTitle(app);
    c.windowTitle = app;
    c.body = confirmBody(app, autostart);
    if (!dictationPaused) {
        c.buttons.push_back(Button::pause);
        c.buttonTitles << L(QStringLiteral("quit.confirm.pause"), QStringLiteral("Пауза 15 минут"));
    }
    c.buttons.push_back(Button::quit);
    c.buttonTitles << L(QStringLiteral("quit.confirm.quit"), QStringLiteral("Выйти"));
    c.buttons.push_back(Button::cancel);
    c.buttonTitles << L(QStringLiteral("quit.confirm.cancel"), QStringLiteral("Отмена"));
    // The first button is the default one (Return); Escape cancels.
    c.defaultButton = c.buttons.front();
    c.escapeButton = Button::cancel;
    return c;
}

Reply reply() {
    switch (decide(isSilent(), systemQuitReason())) {
    case Path::silentService:
        return Reply::terminateNow;  // terminateSilently has logged
    case Path::systemShutdown:
        logLine(QStringLiteral("выход: причина от системы (разлогин/перезагрузка/выключение) — не спрашиваю"));
        return Reply::terminateNow;
    case Path::ask:
        break;
    }
    PresenceSeam::shared().quickPanelHide();
    const QuitConfirmation c =
        confirmation(appName(), BaseSeam::shared().autostartIsEnabled(), DictationSeam::shared().dictationPauseIsActive());
    logLine(QStringLiteral("выход: спрашиваю подтверждение (пауза предложена: ") +
            (c.pauseOffered() ? QStringLiteral("да") : QStringLiteral("нет")) + QStringLiteral(")"));
    const QuitConfirmation::Button answer = g_runner ? g_runner(c) : runQuitConfirmationDialog(c);
    // The session may have ended while the dialog was open; that quit has run already.
    if (AppDelegate* delegate = AppDelegate::shared(); delegate && delegate->isTerminating()) return Reply::cancel;
    switch (answer) {
    case QuitConfirmation::Button::pause:
        DictationSeam::shared().dictationPause(15);
        logLine(QStringLiteral("выход: человек выбрал паузу вместо выхода"));
        return Reply::cancel;
    case QuitConfirmation::Button::quit:
        logLine(QStringLiteral("выход: подтверждён человеком"));
        return Reply::terminateNow;
    case QuitConfirmation::Button::cancel:
        break;
    }
    logLine(QStringLiteral("выход: отменён человеком"));
    return Reply::cancel;
}

void terminateSilently(const QString& reason) { terminateSilently(reason, 0); }

void terminateSilently(const QString& reason, int exitStatus) {
    g_silent = true;
    if (exitStatus != 0) g_exitStatus = exitStatus;
    logLine(QStringLiteral("выход служебный: ") + reason);
    if (AppDelegate* delegate = AppDelegate::shared())
        delegate->terminate();
    else
        QCoreApplication::exit(g_exitStatus);
}

void setDialogRunner(DialogRunner runner) { g_runner = std::move(runner); }

ScopedQuitReason::ScopedQuitReason(std::optional<quint32> reason) : previous_(g_reason) {
    if (reason) g_reason = reason;
}

ScopedQuitReason::~ScopedQuitReason() { g_reason = previous_; }

void resetForTesting() {
    g_silent = false;
    g_exitStatus = 0;
    g_reason.reset();
    g_runner = nullptr;
}

}  // namespace AppQuit
}  // namespace murmelo
