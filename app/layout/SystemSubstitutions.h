#pragma once
#include <QString>
#include <optional>
#include <utility>
#include <vector>

namespace murmelo {

struct AppIdentity;

// Whether the desktop's own automatic text substitutions (spelling correction, capitals,
// period on double space, quotes, dashes) act on the words the engine retypes. An X11 desktop
// has no system-wide substitution settings that reach other applications' fields, so none is
// ever active here: every application answers "not applied", every setting reads as off, and
// each application is logged once as such. Main thread only.
namespace SystemSubstitutions {

// The five settings, in log order: preference key and the short name used in log lines.
const std::vector<std::pair<QString, QString>>& keys();

// True when the system's automatic substitutions can act in the application; never here.
bool appliesSubstitutions(const std::optional<AppIdentity>& app);
// The effective setting for the application: off, as nothing substitutes.
std::optional<bool> value(const QString& key, const std::optional<QString>& bundleID);
// All five settings as one line.
QString describe(const std::optional<QString>& bundleID);
// Logs the application's settings the first time it is seen.
void noteOnce(const std::optional<QString>& bundleID, const QString& appName);
// Forgets which applications were logged.
void resetForTesting();

}  // namespace SystemSubstitutions

}  // namespace murmelo
