// A small application for the death test of the agent bridge: installs the death handlers,
// asks the agent program (ONDRIX_CODEX_EXECUTABLE) for a reply and runs its event loop until
// a signal ends it, with the agent still at work.
#include "base/Log.h"
#include "diagnostics/Death.h"
#include "platform/MainQueue.h"
#include "platform/QtMainQueue.h"
#include "reply/CodexAppServerClient.h"

#include <QCoreApplication>
#include <cstdio>
#include <sys/resource.h>

using namespace murmelo;

int main(int argc, char** argv) {
    struct rlimit noCore {0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    QCoreApplication app(argc, argv);
    QtMainQueue queue;
    MainQueue::install(&queue);
    installDeathLogging();
    const auto task = CodexAppServerClient::shared().createReply(
        QStringLiteral("context"), QStringLiteral("intent"), ScreenContextSource::clipboard, ReplyProfile{},
        ReplyTaskKind::reply, [](const CodexReplyResult&) { std::printf("finished\n"), std::fflush(stdout); });
    if (!task) return 3;
    return app.exec();
}
