#include "reply/CodexExecutable.h"

#include <QFile>
#include <QSet>

#include <sys/stat.h>
#include <unistd.h>

namespace murmelo::CodexExecutable {

QStringList candidates(const QProcessEnvironment& environment) {
    QStringList list;
    // Taken as written: no trimming, no tilde.
    const QString override = environment.value(overrideKey);
    if (!override.isEmpty()) list << override;
    // Where the assistant applications carry the program on a Mac; they never exist here but
    // stay in the order, so an override or a user's own copy decides the same way everywhere.
    list << QStringLiteral("/Applications/ChatGPT.app/Contents/Resources/codex")
         << QStringLiteral("/Applications/Codex.app/Contents/Resources/codex") << QStringLiteral("/opt/homebrew/bin/codex")
         << QStringLiteral("/usr/local/bin/codex");
    if (environment.contains(QStringLiteral("HOME")))
        list << environment.value(QStringLiteral("HOME")) + QStringLiteral("/.local/bin/codex");
    if (environment.contains(QStringLiteral("PATH")))
        for (const QString& part : environment.value(QStringLiteral("PATH")).split(u':', Qt::SkipEmptyParts))
            list << part + QStringLiteral("/codex");
    return list;
}

std::optional<QString> url(const QProcessEnvironment& environment) {
    QSet<QString> tried;
    for (const QString& path : candidates(environment)) {
        if (tried.contains(path)) continue;
        tried.insert(path);
        const QByteArray native = QFile::encodeName(path);
        struct stat st {};
        if (::stat(native.constData(), &st) == 0 && S_ISREG(st.st_mode) && ::access(native.constData(), X_OK) == 0)
            return path;
    }
    return std::nullopt;
}

std::optional<QString> url() { return url(QProcessEnvironment::systemEnvironment()); }

}  // namespace murmelo::CodexExecutable
