#include "linux/AppKeyExceptions.h"

#include "linux/KeyTable.h"

namespace murmelo::linuxdesktop::AppKeyExceptions {
namespace {

constexpr int kVirtualKeyC = 8;
constexpr int kVirtualKeyV = 9;
constexpr int kVirtualKeyLeft = 123;
constexpr int kVirtualKeyRight = 124;

// Window classes (lower-cased) and desktop-file ids of terminal emulators.
const QStringList& terminalIds() {
    static const QStringList ids = {
        QStringLiteral("xterm"),           QStringLiteral("uxterm"),
        QStringLiteral("gnome-terminal"),  QStringLiteral("gnome-terminal-server"),
        QStringLiteral("org.gnome.terminal"), QStringLiteral("org.gnome.console"),
        QStringLiteral("kgx"),             QStringLiteral("org.gnome.ptyxis"),
        QStringLiteral("konsole"),         QStringLiteral("org.kde.konsole"),
        QStringLiteral("yakuake"),         QStringLiteral("org.kde.yakuake"),
        QStringLiteral("xfce4-terminal"),  QStringLiteral("terminator"),
        QStringLiteral("tilix"),           QStringLiteral("com.gexperts.tilix"),
        QStringLiteral("alacritty"),       QStringLiteral("org.alacritty.alacritty"),
        QStringLiteral("kitty"),           QStringLiteral("foot"),
        QStringLiteral("footclient"),      QStringLiteral("urxvt"),
        QStringLiteral("rxvt"),            QStringLiteral("rxvt-unicode"),
        QStringLiteral("st"),              QStringLiteral("st-256color"),
        QStringLiteral("lxterminal"),      QStringLiteral("mate-terminal"),
        QStringLiteral("qterminal"),       QStringLiteral("wezterm"),
        QStringLiteral("org.wezfurlong.wezterm"), QStringLiteral("terminology"),
        QStringLiteral("sakura"),          QStringLiteral("guake"),
        QStringLiteral("tilda"),           QStringLiteral("com.raggesilver.blackbox"),
        QStringLiteral("org.xfce.terminal"), QStringLiteral("org.mate.terminal"),
        QStringLiteral("ghostty"),         QStringLiteral("com.mitchellh.ghostty"),
    };
    return ids;
}

const QStringList& noClipboardKeyIds() {
    static const QStringList ids = {
        QStringLiteral("xterm"), QStringLiteral("uxterm"),       QStringLiteral("urxvt"),
        QStringLiteral("rxvt"),  QStringLiteral("rxvt-unicode"), QStringLiteral("aterm"),
        QStringLiteral("eterm"),
    };
    return ids;
}

QString normalId(const QString& appId) {
    QString id = appId.trimmed().toLower();
    // A desktop-file id may come with its file suffix.
    if (id.endsWith(QLatin1String(".desktop"))) id.chop(8);
    return id;
}

}  // namespace

bool isTerminal(const QString& appId) {
    const QString id = normalId(appId);
    return !id.isEmpty() && terminalIds().contains(id);
}

bool lacksClipboardKeys(const QString& appId) {
    const QString id = normalId(appId);
    return !id.isEmpty() && noClipboardKeyIds().contains(id);
}

namespace {

bool isWordArrow(int virtualKey, quint64 flags) {
    return (virtualKey == kVirtualKeyLeft || virtualKey == kVirtualKeyRight) && (flags & KeyTable::FLAG_OPTION) &&
           !(flags & (KeyTable::FLAG_COMMAND | KeyTable::FLAG_CONTROL));
}

}  // namespace

bool mayDiffer(int virtualKey, quint64 flags) {
    constexpr quint64 others = KeyTable::FLAG_SHIFT | KeyTable::FLAG_OPTION | KeyTable::FLAG_CONTROL;
    if (isWordArrow(virtualKey, flags)) return true;
    return (virtualKey == kVirtualKeyV || virtualKey == kVirtualKeyC) && (flags & KeyTable::FLAG_COMMAND) &&
           !(flags & others);
}

quint64 shortcutFlags(const QStringList& frontIds, int virtualKey, quint64 flags) {
    if (!mayDiffer(virtualKey, flags)) return flags;
    if (isWordArrow(virtualKey, flags)) return (flags & ~KeyTable::FLAG_OPTION) | KeyTable::FLAG_COMMAND;
    for (const QString& id : frontIds)
        if (isTerminal(id)) return flags | KeyTable::FLAG_SHIFT;
    return flags;
}

}  // namespace murmelo::linuxdesktop::AppKeyExceptions
