#include "input/SyntheticInputPostGate.h"

#include "base/Defaults.h"
#include "platform/MainQueue.h"
#include "platform/Workspace.h"

#include <array>
#include <cerrno>

namespace murmelo {

const QStringList REMOTE_VIEWER_BUNDLE_PREFIXES = {
    QStringLiteral("com.carriez.rustdesk"),   QStringLiteral("com.teamviewer."),
    QStringLiteral("com.apple.screensharing"), QStringLiteral("com.philandro.anydesk"),
    QStringLiteral("com.realvnc.vncviewer"),  QStringLiteral("com.p5sys.jump."),
    QStringLiteral("com.microsoft.rdc."),     QStringLiteral("com.nomachine."),
};

// The same clients on Linux, by desktop-file id or lower-cased window class.
const QStringList LINUX_REMOTE_VIEWER_PREFIXES = {
    QStringLiteral("org.remmina."),         QStringLiteral("remmina"),
    QStringLiteral("vncviewer"),            QStringLiteral("org.tigervnc."),
    QStringLiteral("realvnc-vncviewer"),    QStringLiteral("xtightvncviewer"),
    QStringLiteral("xvnc4viewer"),          QStringLiteral("gvncviewer"),
    QStringLiteral("ssvnc"),                QStringLiteral("xfreerdp"),
    QStringLiteral("wlfreerdp"),            QStringLiteral("sdl-freerdp"),
    QStringLiteral("com.freerdp."),         QStringLiteral("org.kde.krdc"),
    QStringLiteral("krdc"),                 QStringLiteral("org.gnome.connections"),
    QStringLiteral("gnome-connections"),    QStringLiteral("org.gnome.vinagre"),
    QStringLiteral("vinagre"),              QStringLiteral("x2goclient"),
    QStringLiteral("nxplayer"),             QStringLiteral("nomachine"),
};

namespace SyntheticInputPostGate {

bool computeIsBlocked(const QProcessEnvironment& environment, const QString& processName) {
    if (environment.value(QStringLiteral("MURMELO_CONTRACT_TEST_RUNTIME")) == QLatin1String("1")) return true;
    return processName.startsWith(QLatin1String("murmelo-tests-"));
}

bool isBlocked() {
    static const bool blocked = [] {
        // The executable's own name, known before any application object exists.
        const QString name = QString::fromLocal8Bit(program_invocation_short_name);
        return computeIsBlocked(QProcessEnvironment::systemEnvironment(), name);
    }();
    return blocked;
}

bool post(const KeyEvent& event) {
    if (isBlocked()) return false;
    return KeyEventPoster::shared().post(event);
}

}  // namespace SyntheticInputPostGate

bool isRemoteViewerBundleID(const std::optional<QString>& bundleID) {
    if (!bundleID) return false;
    const QString id = bundleID->toLower();
    for (const QStringList* list : {&REMOTE_VIEWER_BUNDLE_PREFIXES, &LINUX_REMOTE_VIEWER_PREFIXES})
        for (const QString& prefix : *list)
            if (id.startsWith(prefix)) return true;
    return false;
}

bool isClipboardPasteMode() { return Defaults::shared().boolValue(PASTE_CLIPBOARD_KEY); }

void setClipboardPasteMode(bool on) { Defaults::shared().set(PASTE_CLIPBOARD_KEY, on); }

bool isRemotePasteActive() {
    if (!isClipboardPasteMode()) return false;
    auto front = Workspace::shared().frontmostApplication();
    if (!front || front->bundleIdentifier.isEmpty()) return false;
    return isRemoteViewerBundleID(front->bundleIdentifier);
}

void sendCommandKeystroke(quint16 keyCode) {
    const bool remote = isRemotePasteActive();
    const KeySourceState source = remote ? KeySourceState::HIDSystem : KeySourceState::CombinedSession;
    constexpr quint16 leftCommand = 55;
    const std::array<KeyEvent, 4> steps = {{
        {leftCommand, true, KeyFlags::command, {}, SYNTHETIC_MARK, source},
        {keyCode, true, KeyFlags::command, {}, SYNTHETIC_MARK, source},
        {keyCode, false, KeyFlags::command, {}, SYNTHETIC_MARK, source},
        {leftCommand, false, 0, {}, SYNTHETIC_MARK, source},
    }};
    if (!remote) {
        for (const KeyEvent& e : steps) SyntheticInputPostGate::post(e);
        return;
    }
    // A remote link drops chords whose keys arrive in one burst.
    for (size_t i = 0; i < steps.size(); ++i) {
        const KeyEvent e = steps[i];
        MainQueue::shared().after(0.06 * double(i), [e] { SyntheticInputPostGate::post(e); });
    }
}

void sendPasteKeystroke() { sendCommandKeystroke(9); }

}  // namespace murmelo
