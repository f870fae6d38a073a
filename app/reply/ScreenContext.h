#pragma once
#include "ai/QuickActionID.h"

#include <QString>
#include <optional>

namespace murmelo {

// Where the text a reply is composed from came from. The raw values are the Russian words the
// user sees in the log and the preview, and they are sent as the request's context source.
enum class ScreenContextSource { axSelection, axWindow, ocr, clipboard };
QString rawValue(ScreenContextSource source);
std::optional<ScreenContextSource> screenContextSourceFromRaw(const QString& raw);
// Text gathered from a whole window (its accessibility tree or a capture) rather than what the
// user selected: it may name people who are not the recipient.
bool isWholeWindow(ScreenContextSource source);

// The text a reply is composed from, after redaction and the cut to the ceiling.
struct ScreenContext {
    QString text;
    ScreenContextSource source = ScreenContextSource::clipboard;
    QString appName;
    QString bundleID;
    QuickActionAppCategory category = QuickActionAppCategory::generic;
    qint32 targetPID = 0;
    bool wasTruncated = false;
    int redactedSecrets = 0;

    // "Mail · выделение": the preview's context label.
    QString label() const;
    bool operator==(const ScreenContext&) const = default;
};

// Why no context could be gathered; the description is shown to the user.
struct ScreenContextError {
    enum Kind { nothingFound, blockedApp };
    Kind kind = nothingFound;
    QString detail;  // the reason (nothingFound) or the application's name (blockedApp)
    QString description() const;
    bool operator==(const ScreenContextError&) const = default;
};

}  // namespace murmelo
