#pragma once
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

namespace murmelo {

// What the quit dialog shows, decided without a screen; QuitConfirmationDialog draws it.
struct QuitConfirmation {
    enum class Button { pause, quit, cancel };
    QString title;
    // The window's own title: the application's name alone, as the desktop adds that name to
    // any other title ("Выйти из Ondrix? — Ondrix").
    QString windowTitle;
    QString body;
    std::vector<Button> buttons;  // in the order shown
    QStringList buttonTitles;     // parallel to buttons
    Button defaultButton = Button::quit;
    Button escapeButton = Button::cancel;
    bool pauseOffered() const;
};

// Whether a quit is asked, the dialog, and the application's own silent quits.
namespace AppQuit {

enum class Path { ask, silentService, systemShutdown };
enum class Reply { cancel, terminateNow };

bool isSilent();
// The status the process exits with: 0 unless a silent quit reported a failure.
int exitStatus();

// The four-character code of a short ASCII text, first byte most significant.
quint32 code(const char* text);
const std::vector<quint32>& systemReasons();
// The reason of the quit request being handled now, when the system gave one.
std::optional<quint32> systemQuitReason();
Path decide(bool isSilent, std::optional<quint32> quitReason);

// The first non-empty of the display name, the name, the process name.
QString appName(const QString& displayName, const QString& name, const QString& processName);
QString appName();
QString confirmTitle(const QString& app);
QString confirmBody(const QString& app, bool autostart);
QuitConfirmation confirmation(const QString& app, bool autostart, bool dictationPaused);

// Decides the quit request and, for the user's own, shows the dialog.
Reply reply();

// A service quit: no dialog, exit status 0.
void terminateSilently(const QString& reason);
// The same for a service quit that failed: the process exits with that status.
void terminateSilently(const QString& reason, int exitStatus);

// Runs the dialog and answers the button; tests answer for the user.
using DialogRunner = std::function<QuitConfirmation::Button(const QuitConfirmation&)>;
void setDialogRunner(DialogRunner runner);

// While a system-caused quit is handled, its reason is readable through systemQuitReason.
class ScopedQuitReason {
public:
    explicit ScopedQuitReason(std::optional<quint32> reason);
    ~ScopedQuitReason();
    ScopedQuitReason(const ScopedQuitReason&) = delete;
    ScopedQuitReason& operator=(const ScopedQuitReason&) = delete;

private:
    std::optional<quint32> previous_;
};

void resetForTesting();

}  // namespace AppQuit
}  // namespace murmelo
