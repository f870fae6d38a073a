#include "linux/LinuxPlatform.h"

#include "../src/ProcessRunningApplication.h"
#include "linux/AtspiAccessibility.h"
#include "linux/HunspellSpellChecker.h"
#include "linux/LinuxInstanceRegistry.h"
#include "linux/LinuxPower.h"
#include "linux/LocalSocketNotificationCenter.h"
#include "linux/LogindSessionEnd.h"
#include "linux/PortalColorScheme.h"
#include "linux/PulseSoundPlayer.h"
#include "linux/PulseAudioInput.h"
#include "linux/QtPasteboard.h"
#include "linux/SecretKeyStore.h"
#include "linux/X11ModifierFlags.h"
#include "linux/X11Workspace.h"
#include "linux/QtScreens.h"
#include "linux/QtWindowCapture.h"
#include "linux/TesseractRecognizer.h"
#include "linux/XiEventTap.h"
#include "linux/XTestKeyPoster.h"
#include "linux/XkbInputSources.h"

#include <QGuiApplication>

namespace murmelo::linuxdesktop {

bool onX11Display() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) &&
           QGuiApplication::platformName() == QLatin1String("xcb");
}

namespace {
QString& chosenLayoutOwner() {
    static QString name;
    return name;
}
}  // namespace

QString layoutSwitchOwner() { return chosenLayoutOwner(); }

void installLinuxPlatform(const QString& appId) {
    static ProcessRunningApplication app(appId);
    RunningApplication::install(&app);
    static LinuxPower power;
    Power::install(&power);
    static LinuxInstanceRegistry instances;
    InstanceRegistry::install(&instances);
    static LocalSocketNotificationCenter notifications;
    DistributedNotificationCenter::install(&notifications);
    static LogindSessionEnd sessionEnd;
    SessionEnd::install(&sessionEnd);
    static PortalColorScheme colorScheme;
    ColorScheme::install(&colorScheme);
    // The microphone needs no display. Kept for the life of the process: its PulseAudio
    // thread may still be delivering while statics are destroyed.
    AudioInput::install(new PulseAudioInput);
    // Kept for the life of the process: the cue queue may still be playing at exit.
    SoundPlayer::install(new PulseSoundPlayer);
    // Kept for the life of the process: a lexicon load may still be asking it on its thread.
    SpellChecker::install(new HunspellSpellChecker);
    // The key store needs the session bus, not a display.
    static SecretKeyStore keys;
    KeyStore::install(&keys);
    // Recognition needs no display; the engine loads on first use.
    TextRecognizer::install(new TesseractRecognizer);
    if (!onX11Display()) return;

    // Kept for the life of the process; the X connections close with it.
    Screens::install(new QtScreens);
    auto* workspace = new X11Workspace;
    if (workspace->isConnected()) Workspace::install(workspace);
    WindowCapture::install(new QtWindowCapture);
    auto* sources = new XkbInputSources;
    if (sources->isConnected()) {
        const LayoutOwner owner = chooseLayoutOwner(sessionProbe());
        chosenLayoutOwner() = layoutOwnerName(owner);
        qInfo("input sources: layouts are switched through %s", qPrintable(layoutOwnerName(owner)));
        sources->setLayoutSwitch(makeLayoutSwitch(owner));
        InputSources::install(sources);
    }
    auto* poster = new XTestKeyPoster;
    if (workspace->isConnected()) poster->setFrontApplicationIds([workspace] { return workspace->frontApplicationIds(); });
    if (poster->isConnected()) KeyEventPoster::install(poster);
    auto* pasteboard = new QtPasteboard;
    poster->setPrimaryMirror([pasteboard] { return pasteboard->mirrorToPrimary(); });
    Pasteboard::install(pasteboard);
    auto* tap = new XiEventTap;
    if (poster->isConnected()) tap->setOrderedPoster(poster);
    EventTap::install(tap);
    auto* modifiers = new X11ModifierFlags;
    if (modifiers->isConnected()) ModifierFlags::install(modifiers);
    auto* ax = new AtspiAccessibility;
    if (ax->isConnected()) Accessibility::install(ax);
}

}  // namespace murmelo::linuxdesktop
