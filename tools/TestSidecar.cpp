// A stand-in for a local server in tests: optionally listens on a TCP port of 127.0.0.1,
// reports "ready <pid> <port>" on standard output and then waits to be killed.
//   murmelo-test-sidecar [--orphan] [--listen PORT] [args...]
// --orphan: starts a copy of itself whose owner (named in MURMELO_SERVER_OWNER, as the
// application names itself) exits at once, so that the copy is an orphaned server.
#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv) {
    std::vector<char*> rest{argv[0]};
    bool orphan = false;
    int port = -1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--orphan") == 0) {
            orphan = true;
            continue;
        }
        if (std::strcmp(argv[i], "--listen") == 0 && i + 1 < argc) {
            port = std::atoi(argv[i + 1]);
            rest.push_back(argv[i]);
            rest.push_back(argv[i + 1]);
            ++i;
            continue;
        }
        rest.push_back(argv[i]);
    }
    if (orphan) {
        const pid_t owner = getpid();
        const pid_t child = fork();
        if (child < 0) return 1;
        if (child == 0) {
            setenv("MURMELO_SERVER_OWNER", std::to_string(owner).c_str(), 1);
            rest.push_back(nullptr);
            execv("/proc/self/exe", rest.data());
            _exit(127);
        }
        return 0;
    }
    int bound = 0;
    if (port >= 0) {
        const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int one = 1;
        setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(uint16_t(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (s < 0 || bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(s, 4) != 0) {
            std::perror("murmelo-test-sidecar: listen");
            return 2;
        }
        socklen_t len = sizeof addr;
        getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
        bound = ntohs(addr.sin_port);
    }
    std::printf("ready %d %d\n", int(getpid()), bound);
    std::fflush(stdout);
    for (;;) pause();
}
