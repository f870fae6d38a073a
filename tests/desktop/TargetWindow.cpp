// The target window of the real-desktop tests: a line edit and a text edit that other
// clients type, paste and read into, a password line edit, a label that takes the focus
// but no text, a paragraph in English and Russian that screen context reads, and a drawn
// line of text without accessible text that a drag puts into PRIMARY. It takes commands,
// one per line, from a FIFO ("focus line", "focus text", "focus password", "focus label",
// "set line TEXT", "clear", "copy TEXT", "read clipboard", "password TEXT", "quit") and
// rewrites a JSON state file after every change, so a test can tell what really arrived
// without trusting the accessibility bus alone.
#include <QApplication>
#include <QClipboard>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QSaveFile>
#include <QSocketNotifier>
#include <QTextEdit>
#include <QVBoxLayout>
#include <QWidget>

#include <X11/Xlib.h>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Text drawn, not exposed to accessibility, that a drag selects into PRIMARY, as a terminal
// or a toolkit without accessible text does.
class Canvas : public QWidget {
public:
    explicit Canvas(QWidget* parent) : QWidget(parent) {
        setObjectName(QStringLiteral("canvas"));
        setAccessibleName(QStringLiteral("canvas"));
        setFixedHeight(32);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("canvas words"));
    }
    void mousePressEvent(QMouseEvent* e) override { from_ = e->position(); }
    void mouseReleaseEvent(QMouseEvent* e) override {
        if ((e->position() - from_).manhattanLength() >= 4)
            QApplication::clipboard()->setText(QStringLiteral("canvas words"), QClipboard::Selection);
    }

private:
    QPointF from_;
};

const char* const PARAGRAPH =
    "Please send the quarterly report to the board by Friday morning.\n"
    "Пришлите квартальный доклад правлению до утра пятницы.";

class Target : public QWidget {
public:
    Target(const QString& statePath) : statePath_(statePath) {
        setWindowTitle(QStringLiteral("Murmelo test target"));
        auto* layout = new QVBoxLayout(this);
        line_ = new QLineEdit(this);
        line_->setObjectName(QStringLiteral("line"));
        line_->setAccessibleName(QStringLiteral("line"));
        text_ = new QTextEdit(this);
        text_->setObjectName(QStringLiteral("text"));
        text_->setAccessibleName(QStringLiteral("text"));
        password_ = new QLineEdit(this);
        password_->setObjectName(QStringLiteral("password"));
        password_->setAccessibleName(QStringLiteral("password"));
        password_->setEchoMode(QLineEdit::Password);
        label_ = new QLabel(QStringLiteral("Murmelo test label"), this);
        label_->setObjectName(QStringLiteral("label"));
        label_->setAccessibleName(QStringLiteral("label"));
        label_->setFocusPolicy(Qt::StrongFocus);
        auto* paragraph = new QLabel(QString::fromUtf8(PARAGRAPH), this);
        paragraph->setObjectName(QStringLiteral("paragraph"));
        paragraph->setWordWrap(true);
        QFont large = paragraph->font();
        large.setPointSize(14);
        paragraph->setFont(large);
        layout->addWidget(line_);
        layout->addWidget(text_);
        layout->addWidget(password_);
        layout->addWidget(label_);
        layout->addWidget(paragraph);
        canvas_ = new Canvas(this);
        layout->addWidget(canvas_);
        resize(480, 472);
        connect(line_, &QLineEdit::textChanged, this, [this] { writeState(); });
        connect(text_, &QTextEdit::textChanged, this, [this] { writeState(); });
        connect(qApp, &QApplication::focusChanged, this, [this] { writeState(); });
    }

    void listen(const QString& fifo) {
        // Read-write so that the FIFO never reports end of file between writers.
        fd_ = ::open(fifo.toLocal8Bit().constData(), O_RDWR | O_NONBLOCK);
        if (fd_ < 0) {
            std::perror("target: fifo");
            return;
        }
        auto* n = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
        connect(n, &QSocketNotifier::activated, this, [this] { readCommands(); });
    }

    void writeState() {
        QJsonObject o;
        o[QStringLiteral("line")] = line_->text();
        o[QStringLiteral("text")] = text_->toPlainText();
        QString focus = QStringLiteral("none");
        if (line_->hasFocus()) focus = QStringLiteral("line");
        if (text_->hasFocus()) focus = QStringLiteral("text");
        if (password_->hasFocus()) focus = QStringLiteral("password");
        if (label_->hasFocus()) focus = QStringLiteral("label");
        o[QStringLiteral("focus")] = focus;
        o[QStringLiteral("active")] = isActiveWindow();
        o[QStringLiteral("done")] = done_;
        o[QStringLiteral("clipboard")] = clipboard_;
        o[QStringLiteral("winId")] = QString::number(winId());
        const QPoint c = canvas_->mapToGlobal(QPoint(0, 0));
        o[QStringLiteral("canvas")] = QStringLiteral("%1,%2,%3,%4").arg(c.x()).arg(c.y()).arg(canvas_->width()).arg(canvas_->height());
        QSaveFile f(statePath_);
        if (!f.open(QIODevice::WriteOnly)) return;
        f.write(QJsonDocument(o).toJson(QJsonDocument::Compact));
        f.write("\n");
        f.commit();
    }

private:
    void readCommands() {
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n <= 0) break;
            pending_.append(buf, n);
        }
        qsizetype nl;
        while ((nl = pending_.indexOf('\n')) >= 0) {
            const QString cmd = QString::fromUtf8(pending_.left(nl));
            pending_.remove(0, nl + 1);
            run(cmd);
        }
    }

    void run(const QString& cmd) {
        if (cmd.startsWith(QLatin1String("focus ")) && findChild<QWidget*>(cmd.mid(6))) {
            activateWindow();
            raise();
            takeInputFocus();
            findChild<QWidget*>(cmd.mid(6))->setFocus();
        } else if (cmd.startsWith(QLatin1String("set line "))) {
            line_->setText(cmd.mid(9));
        } else if (cmd == QLatin1String("clear")) {
            line_->clear();
            text_->clear();
        } else if (cmd.startsWith(QLatin1String("copy "))) {
            QApplication::clipboard()->setText(cmd.mid(5));
        } else if (cmd.startsWith(QLatin1String("password "))) {
            password_->setText(cmd.mid(9));
        } else if (cmd == QLatin1String("read clipboard")) {
            // Fetches the clipboard's text as any pasting client would.
            clipboard_ = QApplication::clipboard()->text();
        } else if (cmd == QLatin1String("quit")) {
            qApp->quit();
            return;
        }
        ++done_;
        writeState();
    }

    // With no window manager, Qt asks for the input focus with the time of the last event it
    // saw, and the server ignores the request when another client set the focus later (at
    // "current time"). The target takes it as a window manager would, and waits until the
    // server has done it, so that keys sent once the command is done arrive here.
    void takeInputFocus() {
        if (!x_) x_ = XOpenDisplay(nullptr);
        if (!x_) return;
        XSetInputFocus(x_, static_cast<Window>(winId()), RevertToParent, CurrentTime);
        XSync(x_, False);
    }

    QString statePath_;
    Display* x_ = nullptr;
    QLineEdit* line_;
    QTextEdit* text_;
    QLineEdit* password_;
    QLabel* label_;
    Canvas* canvas_;
    int fd_ = -1;
    QByteArray pending_;
    int done_ = 0;
    QString clipboard_;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s COMMAND-FIFO STATE-FILE\n", argv[0]);
        return 2;
    }
    QApplication::setApplicationName(QStringLiteral("murmelo_test_target"));
    QApplication::setDesktopFileName(QStringLiteral("murmelo-test-target"));
    Target w(QString::fromLocal8Bit(argv[2]));
    w.listen(QString::fromLocal8Bit(argv[1]));
    w.show();
    w.activateWindow();
    w.writeState();
    return app.exec();
}
