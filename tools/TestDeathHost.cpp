// A small application for the death tests: installs the death handlers, starts two
// stand-in servers and registers them, primes a recording file, registers a flush, reports
// "ready <server pid> <corrector pid>" and runs its event loop until a signal ends it.
//   murmelo-test-death-host SIDECAR PRIMED_FILE
#include "diagnostics/Death.h"
#include "base/Log.h"
#include "base/OrderlyQuit.h"
#include "platform/MainQueue.h"
#include "platform/QtMainQueue.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

using namespace murmelo;

namespace {

// Never destroyed on purpose: destroying a QProcess would kill its program itself, and the
// handlers are what must do that here. Held here, so that the process exits holding them
// rather than leaking them.
std::vector<QProcess*>& servers() {
    static auto* held = new std::vector<QProcess*>;
    return *held;
}

qint64 startServer(const QString& program) {
    auto* p = new QProcess;
    servers().push_back(p);
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p->start(program, {});
    if (!p->waitForStarted(10000) || !p->waitForReadyRead(10000)) return 0;
    p->readAll();
    return p->processId();
}

}  // namespace

int main(int argc, char** argv) {
    struct rlimit noCore {0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    QCoreApplication app(argc, argv);
    if (argc < 3) return 2;
    QtMainQueue queue;
    MainQueue::install(&queue);

    installDeathLogging();
    OrderlyQuit::addFlushCallback([] { logLine(QStringLiteral("test-host: статистика и настройки записаны")); });

    const qint64 server = startServer(QString::fromLocal8Bit(argv[1]));
    const qint64 corrector = startServer(QString::fromLocal8Bit(argv[1]));
    if (!server || !corrector) return 3;
    rememberChildForDeath(DeathChild::whisperServer, qint32(server));
    rememberChildForDeath(DeathChild::corrector, qint32(corrector));

    const QString primed = QString::fromLocal8Bit(argv[2]);
    QFile f(primed);
    if (!f.open(QIODevice::WriteOnly)) return 4;
    f.write("RIFF");
    f.close();
    rememberPrimedForDeath(primed);

    std::printf("ready %lld %lld\n", server, corrector);
    std::fflush(stdout);
    return app.exec();
}
