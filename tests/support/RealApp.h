#pragma once
#include <QString>
#include <QStringList>
#include <memory>

namespace murmelo::test {

// The real application that scripts/desktop-session --app started (mousepad, featherpad or
// xterm), and what it holds. The editors are read through AT-SPI (libatspi), the focused
// editable text view of the application; xterm through the bytes its tty recorder wrote,
// taken as a line editor takes them.
class RealApp {
public:
    RealApp();
    ~RealApp();
    RealApp(const RealApp&) = delete;
    RealApp& operator=(const RealApp&) = delete;

    // True inside a test desktop started with --app (and Qt talks to its X server).
    static bool available();
    QString name() const { return name_; }
    bool isTerminal() const { return name_ == QLatin1String("xterm"); }

    // Brings the application's window to the front through the window manager and waits
    // until its text area has the focus; false, with the reason in why(), when it never does.
    bool focus();
    QString why() const { return why_; }

    // The whole text, lines apart by "\n". xterm: Return starts a line, BackSpace and DEL take
    // back one character of the line, other control bytes are left out of the text (see
    // controlBytes).
    QString text();
    // xterm: the control bytes that are neither Return nor an erase, as "^C at 17" (the byte
    // offset); what a line editor would take as a command. Editors: none.
    QStringList controlBytes() const;
    // xterm: the bytes received so far; the offsets of controlBytes count in these.
    QByteArray bytes() const;

private:
    unsigned long findWindow() const;

    QString name_;
    QString why_;
    struct Reader;
    std::unique_ptr<Reader> reader_;
};

}  // namespace murmelo::test
