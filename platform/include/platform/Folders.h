#pragma once
#include <QString>

namespace murmelo::Folders {

// The program's folders, by the names its files are known under, in their XDG places.
QString home();
QString userLogs();            // ~/Library/Logs        -> $XDG_STATE_HOME
QString applicationSupport();  // ~/Library/Application Support -> $XDG_DATA_HOME
QString caches();              // ~/Library/Caches      -> $XDG_CACHE_HOME
QString config();              // $XDG_CONFIG_HOME (the defaults file lives below it)
QString temporary();           // $TMPDIR or /tmp
QString autostart();           // $XDG_CONFIG_HOME/autostart
// Sockets and locks that live only as long as the user's session: $XDG_RUNTIME_DIR, else
// the temporary folder.
QString runtime();

// Points every folder above at subfolders of root (home, state, data, cache, config,
// tmp, run), created on demand. Tests use it so that nothing touches the user's files.
void overrideRoot(const QString& root);
void clearOverride();
bool isOverridden();

// Joins a folder and a component with exactly one separator.
QString join(const QString& dir, const QString& component);

// Creates a folder of ours and its missing parents, each readable by the user alone (0700),
// whoever comes first; a folder already there is left as it is. True when it exists.
bool makePrivateFolder(const QString& dir);

}  // namespace murmelo::Folders
