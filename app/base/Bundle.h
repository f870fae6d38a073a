#pragma once
#include <QHash>
#include <QString>
#include <optional>

namespace murmelo::Bundle {

// The application's resources: the installed share/murmelo beside the executable's folder
// when it exists, else the developer tree's resources/.
QString resourcesPath();
QString resourcePath(const QString& relative);
// Runs from its installed location (share/murmelo beside the executable's folder), not from
// a developer build.
bool isInstalled();

// The information dictionary of the running copy: the build stamp that the build wrote in.
// A value counts only when it is non-empty text.
std::optional<QString> infoString(const QString& key);

// Tests replace the whole dictionary (nullopt restores the built-in one).
void setInfoForTesting(std::optional<QHash<QString, QString>> info);

}  // namespace murmelo::Bundle
