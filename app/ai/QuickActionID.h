#pragma once
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <optional>
#include <sys/types.h>

namespace murmelo {

// The twelve actions of the bar, in the order of allCases.
enum class QuickActionID {
    copy,
    improve,
    translate,
    shorter,
    business,
    friendly,
    naturalEnglish,
    summarize,
    explain,
    reply,
    addToDictionary,
    more,
};

namespace QuickActionIDs {
const QList<QuickActionID>& allCases();
QString rawValue(QuickActionID action);
std::optional<QuickActionID> fromRawValue(const QString& raw);
// The label on the bar and in menus (fixed Russian, no localisation key).
QString title(QuickActionID action);
// The tooltip and accessibility label: the title, except for addToDictionary.
QString hint(QuickActionID action);
// The symbol the bar draws for the action.
QString symbolName(QuickActionID action);
// What the model is told to do; nothing for the three local actions.
std::optional<QString> instruction(QuickActionID action);
}  // namespace QuickActionIDs

enum class QuickActionAppCategory { mail, chat, document, browser, generic };

namespace QuickActionAppCategories {
QString rawValue(QuickActionAppCategory category);
std::optional<QuickActionAppCategory> fromRawValue(const QString& raw);
// The kind of program behind an application id: the first list entry found anywhere in the
// lower-cased id decides, groups tried in order; no match is generic.
QuickActionAppCategory classify(const QString& bundleID);
}  // namespace QuickActionAppCategories

// One selection as the reader found it. Points are in the bottom-left screen model.
struct QuickActionSelection {
    QString text;  // exactly as read, not trimmed
    pid_t targetPID = 0;
    QString bundleID;  // "pid.N" when the program has no id
    QString appName;   // "Приложение" when it has no name
    QuickActionAppCategory category = QuickActionAppCategory::generic;
    bool isEditable = false;
    QPointF anchor;
    std::optional<QRectF> selectionBounds;  // the only field filled in later (from a drag)
    QString detectionPath;                 // "ax-text", "ax-bounds" or "clipboard-fallback"
    bool wasTruncatedForAI = false;        // more than the 20000 characters a cloud action sees
};

}  // namespace murmelo
