#include "layout/ManualInputReleaseGateInjection.h"

#include <QCoreApplication>
#include <QProcessEnvironment>

namespace murmelo::ManualInputReleaseGateInjection {

bool forcesTISFailure(const QStringList& arguments, const QHash<QString, QString>& environment) {
    if (!arguments.contains(argument)) return false;
    const auto it = environment.find(tisFailureEnvironmentKey);
    return it != environment.end() && *it == QLatin1String("1");
}

bool forcesTISFailure() {
    // Without an application object there are no arguments to look at (tests, one-shot tools).
    if (!QCoreApplication::instance()) return false;
    const QStringList arguments = QCoreApplication::arguments();
    if (!arguments.contains(argument)) return false;
    QHash<QString, QString> environment;
    const QProcessEnvironment system = QProcessEnvironment::systemEnvironment();
    if (system.contains(tisFailureEnvironmentKey))
        environment.insert(tisFailureEnvironmentKey, system.value(tisFailureEnvironmentKey));
    return forcesTISFailure(arguments, environment);
}

}  // namespace murmelo::ManualInputReleaseGateInjection
