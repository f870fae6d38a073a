#pragma once
#include <QString>

namespace murmelo::linuxdesktop {

// Installs the real Linux backends of every platform interface for the running
// application, which identifies itself with appId. Call once, on the main thread, after the
// QApplication exists: the X11 backends (front application, input sources, ...) are
// installed only when Qt runs on an X11 display; elsewhere the interfaces keep their
// inert defaults.
void installLinuxPlatform(const QString& appId);

// Who switches the keyboard layouts, as installLinuxPlatform chose it ("XKB", "GNOME Shell",
// ...); empty when no input sources were installed.
QString layoutSwitchOwner();

// Whether Qt runs on an X11 display (the xcb platform).
bool onX11Display();

}  // namespace murmelo::linuxdesktop
