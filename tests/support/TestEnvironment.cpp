#include "TestEnvironment.h"

#include "base/Localization.h"
#include "base/Log.h"
#include "platform/ComposeStage.h"
#include "platform/Folders.h"
#include "platform/Service.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

namespace murmelo::test {

TestEnvironment::TestEnvironment() : queue_(clock_) {
    Folders::overrideRoot(dir_.path());
    Log::resetForTesting();
    // Interface texts in Russian, whatever the machine's own language.
    Localization::resetForTesting(QStringList{QStringLiteral("ru")});
    // A stand is for one test: its stage and its lasting stand mode go with the test.
    ComposeStage::resetForTesting();
}

TestEnvironment::~TestEnvironment() {
    Folders::clearOverride();
    Log::resetForTesting();
    Localization::resetForTesting(QStringList{QStringLiteral("ru")});
}

bool TestEnvironment::waitFor(const std::function<bool()>& condition, int limitMs) {
    QDeadlineTimer deadline(limitMs);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        runPending();
        QEventLoop loop;
        QTimer::singleShot(2, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

QString TestEnvironment::logText() const {
    QFile f(Log::path());
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll());
}

QStringList TestEnvironment::logLines() const {
    QStringList lines = logText().split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
}

}  // namespace murmelo::test
