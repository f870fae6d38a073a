#include "input/AXText.h"

#include "base/Defaults.h"
#include "base/Log.h"
#include "diagnostics/MainStallWatch.h"
#include "platform/ComposeStage.h"

#include <QStringList>
#include <algorithm>
#include <map>
#include <set>

namespace murmelo::AXText {
namespace {

const QString kNotConfirmed = QStringLiteral("запись не подтвердилась перечиткой");

constexpr qsizetype kWholeValueLimit = 5000;
constexpr int kMissesToRefuse = 2;
constexpr double kVerifyPause = 0.015;

struct Tables {
    std::set<qint64> wokenApps;
    std::map<qint64, int> writeMisses;
    std::set<qint64> writeRefused;
    std::optional<std::set<QString>> refusedBundles;
    std::map<qint64, int> caretMoves;
    bool lastWriteWholeValue = false;
};

Tables& tables() {
    static Tables t;
    return t;
}

Accessibility& ax() { return Accessibility::shared(); }

void stallEnter(const QString& work) { MainStallWatch::enter(work); }
void stallLeave() { MainStallWatch::leave(); }

TextWriteTraceToken beginTrace(const QString& text, TextWriteRoute route, TextWriteOrigin origin, qsizetype erased,
                               std::optional<qint64> pid) {
    return TextWriteTrace::begin(text, route, origin, int(erased),
                                 pid ? std::optional<qint32>(qint32(*pid)) : std::nullopt);
}
void finishTrace(const TextWriteTraceToken& token, const QString& outcome) {
    TextWriteTrace::finish(token, [&] { return outcome; }, false);
}

std::set<QString>& refusedBundles() {
    Tables& t = tables();
    if (!t.refusedBundles) {
        t.refusedBundles.emplace();
        for (const QVariant& v : Defaults::shared().listValue(refusedAppsKey))
            if (v.typeId() == QMetaType::QString) t.refusedBundles->insert(v.toString());
    }
    return *t.refusedBundles;
}

QString appLabel(qint64 pid) {
    const auto app = Workspace::shared().runningApplication(pid);
    if (app && !app->localizedName.isEmpty()) return app->localizedName;
    return QStringLiteral("pid ") + QString::number(pid);
}

bool settable(const AXElementPtr& el, const QString& name) {
    if (!el) return false;
    bool answer = false;
    if (ax().isAttributeSettable(*el, name, &answer) != AXError::success) return false;
    return answer;
}

void forgiveMisses(std::optional<qint64> pid) {
    if (pid) tables().writeMisses[*pid] = 0;
}

void refuse(qint64 pid, const QString& why) {
    Tables& t = tables();
    if (t.writeRefused.count(pid)) return;
    const int n = ++t.writeMisses[pid];
    const QString label = appLabel(pid);
    if (n < kMissesToRefuse) {
        logLine(QStringLiteral("ax/write: ") + label + QStringLiteral(" — ") + why + QStringLiteral(" (промах ") +
                QString::number(n) + QStringLiteral(" из ") + QString::number(kMissesToRefuse) + QStringLiteral(")"));
        return;
    }
    t.writeRefused.insert(pid);
    QString suffix;
    const auto app = Workspace::shared().runningApplication(pid);
    if (app && !app->bundleIdentifier.isEmpty() && !refusedBundles().count(app->bundleIdentifier)) {
        refusedBundles().insert(app->bundleIdentifier);
        QVariantList sorted;
        for (const QString& b : refusedBundles()) sorted << b;  // std::set keeps them ascending
        Defaults::shared().set(refusedAppsKey, sorted);
        suffix = QStringLiteral("; запомнил приложение — в следующий раз сразу синтетика");
    }
    logLine(QStringLiteral("ax/write: ") + label + QStringLiteral(" — ") + why +
            QStringLiteral(" дважды подряд; больше писать через AX не пробую ") + QStringLiteral("(буфер остаётся)") +
            suffix);
}

bool verify(const AXElementPtr& el, const QString& expected, AXRange range, const QString& text) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (attempt > 0) ax().settle(kVerifyPause);
        const auto now = value(el);
        if (!now) continue;
        if (*now == expected) return true;
        // The application may have changed something elsewhere; the write itself is in place.
        if (now->size() >= range.location + text.size() && now->mid(range.location, text.size()) == text) return true;
    }
    return false;
}

AXElementPtr focusedRaw() {
    stallEnter(QStringLiteral("AX: спрашиваю поле в фокусе"));
    AXElementPtr el = ax().focusedElement();
    stallLeave();
    return el;
}

QString rejectedOutcome(AXError error) { return QStringLiteral("rejected-") + QString::number(int(error)); }

// The stand's own text answers for its field while it asks to.
ComposeStage* virtualStage(const AXElementPtr& el) {
    ComposeStage* stage = ComposeStage::active();
    return el && stage && stage->virtualField ? stage : nullptr;
}

}  // namespace

AXElementPtr focused() {
    if (ComposeStage::standMode()) {
        ComposeStage* stage = ComposeStage::installed();
        return stage ? stage->fieldElement : nullptr;
    }
    AXElementPtr el = focusedRaw();
    if (!el && wakeChromium()) el = focusedRaw();
    return el;
}

AXElementPtr focusedForKeyPath() {
    AXElementPtr el = focused();
    if (el) ax().setMessagingTimeout(*el, keyPathTimeout);
    return el;
}

bool wakeChromium() {
    const auto front = Workspace::shared().frontmostApplication();
    if (!front) return false;
    Tables& t = tables();
    if (t.wokenApps.count(front->pid)) return false;
    // A failed wake is not retried in this run.
    t.wokenApps.insert(front->pid);
    const QString name = front->localizedName.isEmpty() ? QStringLiteral("?") : front->localizedName;
    AXError error = AXError::invalidUIElement;
    if (AXElementPtr app = ax().applicationElement(front->pid)) {
        ax().setMessagingTimeout(*app, keyPathTimeout);
        stallEnter(QStringLiteral("AX: бужу дерево у ") + name);
        error = ax().setAttribute(*app, AXNames::manualAccessibility, true);
        stallLeave();
    }
    const bool accepted = error == AXError::success;
    logLine(QStringLiteral("polish/ax: бужу дерево доступности у ") + name + QStringLiteral(" (AXManualAccessibility ") +
            (accepted ? QStringLiteral("принят") : QStringLiteral("не принят, код ") + QString::number(int(error))) +
            QStringLiteral(")"));
    return accepted;
}

QVariant attr(const AXElementPtr& el, const QString& name) {
    if (!el) return {};
    AXError error = AXError::success;
    QVariant v = ax().attribute(*el, name, &error);
    return error == AXError::success ? v : QVariant();
}

namespace {
std::optional<QString> textAttr(const AXElementPtr& el, const QString& name) {
    const QVariant v = attr(el, name);
    if (v.typeId() != QMetaType::QString) return std::nullopt;
    return v.toString();
}
}  // namespace

QString role(const AXElementPtr& el) { return textAttr(el, AXNames::role).value_or(QStringLiteral("?")); }

bool isSecure(const AXElementPtr& el) {
    if (virtualStage(el)) return false;
    return textAttr(el, AXNames::role) == AXNames::secureTextFieldRole || textAttr(el, AXNames::subrole) == AXNames::secureTextFieldRole;
}

bool isEditable(const AXElementPtr& el) {
    if (virtualStage(el)) return true;
    const QVariant v = attr(el, AXNames::editable);
    if (v.typeId() == QMetaType::Bool) return v.toBool();
    return settable(el, AXNames::selectedRange);
}

std::optional<QString> value(const AXElementPtr& el) {
    if (ComposeStage* stage = virtualStage(el)) return stage->axValue();
    return textAttr(el, AXNames::value);
}
std::optional<QString> placeholder(const AXElementPtr& el) {
    if (virtualStage(el)) return std::nullopt;
    return textAttr(el, AXNames::placeholder);
}
std::optional<QString> selectedText(const AXElementPtr& el) {
    if (virtualStage(el)) return std::nullopt;
    return textAttr(el, AXNames::selectedText);
}

std::optional<AXRange> selectedRange(const AXElementPtr& el) {
    if (ComposeStage* stage = virtualStage(el)) return AXRange{stage->axCaret(), 0};
    const QVariant v = attr(el, AXNames::selectedRange);
    if (v.typeId() != qMetaTypeId<AXRange>()) return std::nullopt;
    return v.value<AXRange>();
}

bool setSelectedRange(const AXElementPtr& el, AXRange range) {
    if (!el) return false;
    if (ComposeStage* stage = virtualStage(el)) {
        stage->axSetCaret(range.location);
        return true;
    }
    return ax().setAttribute(*el, AXNames::selectedRange, QVariant::fromValue(range)) == AXError::success;
}

std::optional<QRectF> bounds(const AXElementPtr& el, AXRange range) {
    if (!el) return std::nullopt;
    AXError error = AXError::success;
    auto r = ax().boundsForRange(*el, range, &error);
    if (error != AXError::success || !r) return std::nullopt;
    if (!std::isfinite(r->width()) || !std::isfinite(r->height()) || !std::isfinite(r->x()) ||
        !std::isfinite(r->y()) || r->isNull())
        return std::nullopt;
    return r;
}

std::optional<qint64> ownerPid(const AXElementPtr& el) {
    if (!el) return std::nullopt;
    return ax().pid(*el);
}

bool acceptsWrite(const AXElementPtr& el) {
    if (isSecure(el)) return false;
    return settable(el, AXNames::value) || settable(el, AXNames::selectedText);
}

QString writability(const AXElementPtr& el) {
    auto yn = [&](const QString& name) { return settable(el, name) ? QStringLiteral("да") : QStringLiteral("нет"); };
    return QStringLiteral("запись: значение ") + yn(AXNames::value) + QStringLiteral(", выделенный текст ") + yn(AXNames::selectedText) +
           QStringLiteral(", диапазон ") + yn(AXNames::selectedRange);
}

bool allowsWholeValueWrite() { return Defaults::shared().realBool(wholeValueWriteKey).value_or(true); }

bool writeLooksRefused(qint64 pid) {
    Tables& t = tables();
    if (t.writeRefused.count(pid)) return true;
    const auto app = Workspace::shared().runningApplication(pid);
    if (!app || app->bundleIdentifier.isEmpty()) return false;
    if (!refusedBundles().count(app->bundleIdentifier)) return false;
    t.writeRefused.insert(pid);
    return true;
}

bool lastWriteWholeValue() { return tables().lastWriteWholeValue; }

bool replace(const AXElementPtr& el, AXRange range, const QString& text, bool allowWholeValue, TextWriteOrigin origin) {
    if (!el) return false;
    if (ComposeStage* stage = virtualStage(el)) return stage->axReplace(range, text, rawValue(origin));
    if (isSecure(el)) return false;
    Tables& t = tables();
    t.lastWriteWholeValue = false;
    const std::optional<qint64> pid = ownerPid(el);
    if (pid && writeLooksRefused(*pid)) return false;

    const auto current = value(el);
    if (!current) return false;
    if (range.location < 0 || range.length < 0 || range.location + range.length > current->size()) return false;

    QString expected = *current;
    expected.replace(range.location, range.length, text);
    const auto savedSelection = selectedRange(el);

    const bool selectedRoute = settable(el, AXNames::selectedText);
    // Values of more than 5000 units are never written whole.
    const bool wholeRoute = allowWholeValue && current->size() <= kWholeValueLimit && settable(el, AXNames::value);

    auto fail = [&](const QString& why) {
        if (savedSelection) setSelectedRange(el, *savedSelection);
        if (pid) refuse(*pid, why);
        return false;
    };

    if (!selectedRoute && !wholeRoute) {
        if (pid) refuse(*pid, QStringLiteral("поле не принимает ни замену выделенного, ни значение"));
        return false;
    }

    if (selectedRoute) {
        if (!setSelectedRange(el, range)) {
            if (!wholeRoute) return fail(kNotConfirmed);
        } else {
            const TextWriteTraceToken token = beginTrace(text, TextWriteRoute::accessibilitySelectedText, origin, range.length, pid);
            const AXError error = ax().setAttribute(*el, AXNames::selectedText, text);
            if (error == AXError::success && verify(el, expected, range, text)) {
                finishTrace(token, QStringLiteral("confirmed"));
                forgiveMisses(pid);
                return true;
            }
            finishTrace(token, error == AXError::success ? QStringLiteral("unconfirmed") : rejectedOutcome(error));
            if (!wholeRoute) return fail(kNotConfirmed);
        }
    }

    const TextWriteTraceToken token = beginTrace(text, TextWriteRoute::accessibilityValue, origin, range.length, pid);
    const AXError error = ax().setAttribute(*el, AXNames::value, expected);
    if (error == AXError::success && verify(el, expected, range, text)) {
        finishTrace(token, QStringLiteral("confirmed"));
        setSelectedRange(el, AXRange{range.location + text.size(), 0});
        forgiveMisses(pid);
        t.lastWriteWholeValue = true;
        logLine(QStringLiteral("ax/write: поле не приняло замену выделенного, записал значение целиком"));
        return true;
    }
    finishTrace(token, error == AXError::success ? QStringLiteral("unconfirmed") : rejectedOutcome(error));
    return fail(kNotConfirmed);
}

Caps probe(const AXElementPtr& el, bool allowWrite, std::optional<AppIdentity> owner) {
    Caps caps;
    const auto app = owner ? owner : Workspace::shared().frontmostApplication();
    if (app) {
        caps.app = app->localizedName.isEmpty() ? QStringLiteral("?") : app->localizedName;
        caps.bundleID = app->bundleIdentifier.isEmpty() ? QStringLiteral("pid.") + QString::number(app->pid)
                                                        : app->bundleIdentifier;
    }
    caps.role = role(el);
    caps.secure = isSecure(el);
    caps.editable = isEditable(el);
    if (caps.secure) return caps;

    const auto text = value(el);
    caps.readValue = text.has_value();
    caps.chars = text ? text->size() : 0;

    const auto selection = selectedRange(el);
    if (!selection) return caps;
    const qsizetype sl = selection->location;
    const qsizetype sn = selection->length;

    if (text && !text->isEmpty()) {
        const AXRange target{sl < 1 ? 1 : sl - 1, 0};
        if (!setSelectedRange(el, target)) {
            caps.setSelectedRange = false;
        } else {
            bool moved = selectedRange(el) == target;
            if (!moved) {
                ax().settle(kVerifyPause);
                moved = selectedRange(el) == target;
            }
            caps.setSelectedRange = moved;
            setSelectedRange(el, *selection);
        }
    }

    caps.readSelectedRange = true;
    caps.boundsForRange = bounds(el, AXRange{sl, std::max<qsizetype>(sn, 1)}).has_value();

    if (allowWrite && caps.setSelectedRange == true) {
        const qsizetype length = text->size();
        const AXRange trial = sn > 0 ? AXRange{sl, sn}
                                     : AXRange{std::min(sl, std::max<qsizetype>(length - 1, 0)), 1};
        if (trial.location < 0 || trial.location + trial.length > length) {
            caps.writeVerified = false;
        } else {
            caps.writeVerified = replace(el, trial, text->mid(trial.location, trial.length), true);
            setSelectedRange(el, *selection);
        }
    }
    return caps;
}

void noteWholeValueMovesCaret(qint64 pid) {
    const int n = ++tables().caretMoves[pid];
    logLine(QStringLiteral("ax/write: ") + appLabel(pid) + QStringLiteral(" увёл каретку после записи значением — вернул ") +
            QStringLiteral("(случай ") + QString::number(n) + QStringLiteral(" за сеанс)"));
}

void resetForTesting() { tables() = Tables{}; }

}  // namespace murmelo::AXText
