#include "meetings/MeetingAudioSource.h"

#include "platform/AudioInput.h"
#include "platform/Processes.h"
#include "platform/Workspace.h"

namespace murmelo::MeetingAudioSource {
namespace {

// The process itself and at most four ancestors.
constexpr int kMaxAncestors = 4;

// A regular application is one the desktop shows: it has an application id of its own.
std::optional<Entry> regular(const std::optional<AppIdentity>& app, qint64 pid) {
    if (!app || app->bundleIdentifier.isEmpty() || app->localizedName.isEmpty()) return std::nullopt;
    return Entry{app->localizedName, app->bundleIdentifier, pid};
}

// The first running application with that id, in process order.
std::optional<AppIdentity> runningWithId(const QString& bundleID) {
    const auto table = Processes::shared().table();
    if (!table) return std::nullopt;
    for (const ProcessRow& row : *table) {
        const auto app = Workspace::shared().runningApplication(row.pid);
        if (app && app->bundleIdentifier.compare(bundleID, Qt::CaseInsensitive) == 0) return app;
    }
    return std::nullopt;
}

}  // namespace

const QSet<QString>& CALL_APPS() {
    static const QSet<QString> apps = [] {
        QSet<QString> set;
        for (const char* id : {
                 "us.zoom.xos", "com.microsoft.teams", "com.microsoft.teams2", "com.apple.FaceTime",
                 "com.tinyspeck.slackmacgap", "com.hnc.Discord", "com.skype.skype", "com.cisco.webexmeetingsapp",
                 "com.readdle.spark", "com.google.Chrome", "com.apple.Safari", "company.thebrowser.Browser",
                 "org.mozilla.firefox", "com.microsoft.edgemac", "com.brave.Browser",
                 // The same programs on Linux: desktop-file ids, window classes, executables.
                 "zoom", "us.zoom.zoom", "teams", "teams-for-linux", "com.github.IsmaelMartinez.teams_for_linux",
                 "slack", "com.slack.Slack", "discord", "com.discordapp.Discord", "skype", "skypeforlinux",
                 "com.skype.Client", "webex", "google-chrome", "chrome", "chromium", "chromium-browser",
                 "org.chromium.Chromium", "firefox", "firefox-esr", "microsoft-edge", "msedge", "com.microsoft.Edge",
                 "brave-browser", "brave", "com.brave.Browser"})
            set.insert(QString::fromLatin1(id).toLower());
        return set;
    }();
    return apps;
}

const QList<std::pair<QString, QString>>& HELPER_OWNER() {
    static const QList<std::pair<QString, QString>> owners = {
        {QStringLiteral("com.apple.WebKit"), QStringLiteral("com.apple.Safari")},
    };
    return owners;
}

bool isCallApp(const QString& bundleID) { return CALL_APPS().contains(bundleID.toLower()); }

std::optional<qint64> parentPID(qint64 pid) {
    const auto table = Processes::shared().table();
    if (!table) return std::nullopt;
    for (const ProcessRow& row : *table)
        if (row.pid == pid) return row.ppid;
    return std::nullopt;
}

std::optional<Entry> owner(qint64 pid) {
    for (int examined = 0;; ++examined) {
        const auto app = Workspace::shared().runningApplication(pid);
        if (auto entry = regular(app, pid)) return entry;
        if (app && !app->bundleIdentifier.isEmpty()) {
            for (const auto& [prefix, ownerID] : HELPER_OWNER()) {
                if (!app->bundleIdentifier.startsWith(prefix)) continue;
                const auto found = runningWithId(ownerID);
                if (found && !found->localizedName.isEmpty())
                    return Entry{found->localizedName,
                                 found->bundleIdentifier.isEmpty() ? ownerID : found->bundleIdentifier, found->pid};
                break;
            }
        }
        if (examined >= kMaxAncestors) return std::nullopt;
        const auto parent = parentPID(pid);
        if (!parent || *parent <= 1) return std::nullopt;
        pid = *parent;
    }
}

QList<Entry> playing() {
    const qint64 self = Processes::shared().selfPid();
    QList<Entry> out;
    for (const PlayingStream& stream : AudioInput::shared().playingStreams()) {
        if (stream.pid == self) continue;
        const auto entry = owner(stream.pid);
        if (!entry || entry->pid == self) continue;
        const bool seen = std::any_of(out.begin(), out.end(), [&](const Entry& e) {
            return e.name == entry->name && e.bundleID == entry->bundleID;
        });
        if (!seen) out << *entry;
    }
    return out;
}

std::optional<QString> pick(const QList<Entry>& entries) {
    if (entries.isEmpty()) return std::nullopt;
    for (const Entry& e : entries)
        if (isCallApp(e.bundleID)) return e.name;
    return entries.first().name;
}

std::optional<QString> current() { return pick(playing()); }

std::optional<qint64> callAppPID() {
    for (const Entry& e : playing())
        if (isCallApp(e.bundleID)) return e.pid;
    return std::nullopt;
}

QString localizedApplicationName(qint64 pid) {
    const auto app = Workspace::shared().runningApplication(pid);
    return app ? app->localizedName : QString();
}

}  // namespace murmelo::MeetingAudioSource
