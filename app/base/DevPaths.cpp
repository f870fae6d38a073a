#include "base/DevPaths.h"

#include "platform/Folders.h"

namespace murmelo {

QString murmeloSourceRoot() { return QStringLiteral(MURMELO_SOURCE_ROOT); }

QString murmeloDevRoot() {
    static const QString root = murmeloSourceRoot();
    return root;
}

QString murmeloDevPath(const QString& relative) { return Folders::join(murmeloDevRoot(), relative); }

QString murmeloRepoPath(const QString& relative) {
    QString root = qEnvironmentVariable("MURMELO_REPO_ROOT");
    if (root.isEmpty()) root = qEnvironmentVariable("MURMELO_TEST_REPO_ROOT");
    if (root.isEmpty()) root = murmeloDevRoot();
    return Folders::join(root, relative);
}

}  // namespace murmelo
