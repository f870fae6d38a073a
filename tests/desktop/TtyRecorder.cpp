// Stands in for a shell's command line inside the terminal of the real-desktop tests
// (scripts/desktop-session --app xterm): it reads what the terminal sends in the raw mode a
// line editor puts the terminal in, echoes it so the text shows, and appends every byte it
// reads to a file. A test thus sees exactly what the application received, a ^C (0x03) or
// ^V (0x16) included: signals, flow control and literal-next are off, so such bytes arrive
// as bytes instead of interrupting or vanishing.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {

void writeAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return;
        p += w;
        n -= size_t(w);
    }
}

void writeAll(int fd, const std::string& s) { writeAll(fd, s.data(), s.size()); }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s BYTES-FILE\n", argv[0]);
        return 2;
    }
    const int out = ::open(argv[1], O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (out < 0) {
        std::perror("tty-recorder: bytes file");
        return 1;
    }
    termios t{};
    if (::tcgetattr(STDIN_FILENO, &t) == 0) {
        t.c_lflag &= ~tcflag_t(ICANON | ECHO | ISIG | IEXTEN);
        t.c_iflag &= ~tcflag_t(IXON | ICRNL | INLCR | IGNCR | ISTRIP);
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 0;
        ::tcsetattr(STDIN_FILENO, TCSANOW, &t);
    }
    writeAll(STDOUT_FILENO, std::string("recording> "));
    // The line as echoed, so that an erase takes back one whole UTF-8 character.
    std::string line;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        writeAll(out, buf, size_t(n));
        std::string echo;
        for (ssize_t i = 0; i < n; ++i) {
            const unsigned char c = static_cast<unsigned char>(buf[i]);
            if (c == 0x7f || c == 0x08) {
                if (line.empty()) continue;
                while (!line.empty() && (static_cast<unsigned char>(line.back()) & 0xC0) == 0x80) line.pop_back();
                if (!line.empty()) line.pop_back();
                echo += "\b \b";
            } else if (c == '\r' || c == '\n') {
                line.clear();
                echo += "\r\nrecording> ";
            } else if (c < 0x20) {
                // Shown in caret notation, as a shell shows a control character it does not use.
                echo += '^';
                echo += char(c + 0x40);
            } else {
                line += char(c);
                echo += char(c);
            }
        }
        writeAll(STDOUT_FILENO, echo);
    }
    return 0;
}
