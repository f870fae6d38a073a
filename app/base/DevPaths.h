#pragma once
#include <QString>

namespace murmelo {

// The source tree this copy was built from (fixed when it was configured).
QString murmeloSourceRoot();

// MURMELO_DEV_ROOT: the developer tree, where resource loaders look when the installed
// resources do not hold a file. It is this repository; fixed at first use.
QString murmeloDevRoot();
// A path inside the developer tree.
QString murmeloDevPath(const QString& relative);
// A path inside the repository: "MURMELO_REPO_ROOT", else "MURMELO_TEST_REPO_ROOT" (each
// only when set and not empty), else the developer tree.
QString murmeloRepoPath(const QString& relative);

}  // namespace murmelo
