#pragma once
#include "input/TextWriteTrace.h"
#include "platform/Accessibility.h"
#include "platform/Workspace.h"

#include <QRectF>
#include <QString>
#include <optional>

namespace murmelo {

// Text of the focused element of whatever application is in front, through the
// accessibility interface: reading, moving the selection, replacing a range and proving
// by re-reading that the replacement arrived. Learns per application when writes do not
// land, so that callers switch to synthetic keys. Positions are UTF-16 code units.
// Main thread only for everything that touches the learned tables.
namespace AXText {

inline constexpr float keyPathTimeout = 0.6f;
inline const QString refusedAppsKey = QStringLiteral("polishAXWriteRefusedApps");
inline const QString wholeValueWriteKey = QStringLiteral("polishWholeValueWrite");

struct Caps {
    QString app;
    QString bundleID;
    QString role = QStringLiteral("?");
    bool editable = false;
    bool secure = false;
    bool readValue = false;
    bool readSelectedRange = false;
    std::optional<bool> setSelectedRange;
    bool boundsForRange = false;
    qsizetype chars = 0;
    std::optional<bool> writeVerified;

    bool transportReady() const {
        return readValue && readSelectedRange && setSelectedRange == true && writeVerified == true;
    }
};

AXElementPtr focused();
AXElementPtr focusedForKeyPath();
bool wakeChromium();

QVariant attr(const AXElementPtr& el, const QString& name);
QString role(const AXElementPtr& el);
bool isSecure(const AXElementPtr& el);
bool isEditable(const AXElementPtr& el);
std::optional<QString> value(const AXElementPtr& el);
std::optional<QString> placeholder(const AXElementPtr& el);
std::optional<QString> selectedText(const AXElementPtr& el);
std::optional<AXRange> selectedRange(const AXElementPtr& el);
bool setSelectedRange(const AXElementPtr& el, AXRange range);
std::optional<QRectF> bounds(const AXElementPtr& el, AXRange range);
std::optional<qint64> ownerPid(const AXElementPtr& el);
bool acceptsWrite(const AXElementPtr& el);
QString writability(const AXElementPtr& el);

bool allowsWholeValueWrite();
bool writeLooksRefused(qint64 pid);
// Replaces the range with the text and re-reads to confirm; every write is traced.
bool replace(const AXElementPtr& el, AXRange range, const QString& text, bool allowWholeValue,
             TextWriteOrigin origin = TextWriteOrigin::accessibility);
// True after a replacement that had to write the whole value.
bool lastWriteWholeValue();
Caps probe(const AXElementPtr& el, bool allowWrite = false, std::optional<AppIdentity> owner = std::nullopt);
void noteWholeValueMovesCaret(qint64 pid);

// Forgets the learned tables (they otherwise live for the process).
void resetForTesting();

}  // namespace AXText
}  // namespace murmelo
