#include "reply/AXTextHarvester.h"

#include "base/Graphemes.h"
#include "base/Log.h"
#include "platform/Accessibility.h"
#include "platform/MainQueue.h"

#include <QStringList>

namespace murmelo::AXTextHarvester {
namespace {

std::optional<QString> stringAttribute(const AXElement& el, const QString& name) {
    AXError error = AXError::success;
    const QVariant v = Accessibility::shared().attribute(el, name, &error);
    if (error != AXError::success || v.typeId() != QMetaType::QString) return std::nullopt;
    return v.toString();
}

bool isSecure(const AXElement& el) {
    return stringAttribute(el, AXNames::role) == AXNames::secureTextFieldRole ||
           stringAttribute(el, AXNames::subrole) == AXNames::secureTextFieldRole;
}

AXElementPtr applicationElement(qint64 pid) {
    AXElementPtr app = Accessibility::shared().applicationElement(pid);
    if (app) Accessibility::shared().setMessagingTimeout(*app, messagingTimeout);
    return app;
}

// What one walk shares between its levels.
struct Walk {
    double deadline = 0;
    int nodes = 0;
    int characters = 0;
    QStringList pieces;
    bool hitDeadline = false;
    bool metPassword = false;
};

void visit(const AXElement& el, int depth, Walk& walk) {
    if (depth > maxDepth || walk.nodes >= maxNodes || walk.characters >= maxCharacters) return;
    if (Clock::shared().uptime() >= walk.deadline) {
        walk.hitDeadline = true;
        return;
    }
    ++walk.nodes;
    if (isSecure(el)) {
        walk.metPassword = true;
        return;
    }
    for (const QString& name : {AXNames::value, AXNames::title, AXNames::description}) {
        const auto text = stringAttribute(el, name);
        if (!text) continue;
        const QString piece = text->trimmed();
        if (graphemeCount(piece) < 2 || walk.pieces.contains(piece)) continue;
        walk.pieces.append(piece);
        walk.characters += graphemeCount(piece);
        break;
    }
    for (const AXElementPtr& child : Accessibility::shared().children(el)) visit(*child, depth + 1, walk);
}

}  // namespace

std::optional<QString> selectedText(qint64 pid) {
    const AXElementPtr app = applicationElement(pid);
    if (!app) return std::nullopt;
    const AXElementPtr focused = Accessibility::shared().focusedElementOf(*app);
    if (!focused || isSecure(*focused)) return std::nullopt;
    const auto selected = stringAttribute(*focused, AXNames::selectedText);
    if (!selected) return std::nullopt;
    QString text = selected->trimmed();
    if (text.isEmpty()) return std::nullopt;
    return text;
}

Harvest harvestWindow(qint64 pid, double budget) {
    Walk walk;
    walk.deadline = Clock::shared().uptime() + budget;
    const AXElementPtr app = applicationElement(pid);
    AXElementPtr root;
    if (app) root = Accessibility::shared().windowOf(*app, Accessibility::WindowKind::focused);
    if (app && !root) root = Accessibility::shared().windowOf(*app, Accessibility::WindowKind::main);
    if (!root) return {};
    visit(*root, 0, walk);
    if (walk.metPassword) logLine(QStringLiteral("Контекст экрана: в окне есть поле пароля — его и вложенное не читал"));
    if (walk.hitDeadline)
        logLine(QStringLiteral("Контекст экрана: обход окна упёрся в потолок ") + QString::number(budget) +
                QStringLiteral(" с на ") + QString::number(walk.nodes) + QStringLiteral(" узлах — беру что успел"));
    Harvest out;
    const QString text = walk.pieces.join(QLatin1Char('\n')).trimmed();
    if (!text.isEmpty()) out.text = text;
    out.hitDeadline = walk.hitDeadline;
    out.nodes = walk.nodes;
    return out;
}

}  // namespace murmelo::AXTextHarvester
