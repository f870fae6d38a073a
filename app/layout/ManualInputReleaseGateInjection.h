#pragma once
#include <QHash>
#include <QString>
#include <QStringList>

namespace murmelo {

// A test switch for release checks of manual input: started with the argument and the
// environment variable set to "1", the program makes every exact input-source selection of
// the switcher fail, so that the failure paths can be watched on a real desktop.
namespace ManualInputReleaseGateInjection {

inline const QString argument = QStringLiteral("--manual-input-release-gate");
inline const QString tisFailureEnvironmentKey = QStringLiteral("MURMELO_MANUAL_INPUT_TEST_FORCE_TIS_FAILURE");

// True only with both: an argument equal to the flag and the variable exactly "1".
bool forcesTISFailure(const QStringList& arguments, const QHash<QString, QString>& environment);
// The same for this process's arguments and environment.
bool forcesTISFailure();

}  // namespace ManualInputReleaseGateInjection
}  // namespace murmelo
