#include "polish/PolishSettings.h"

#include "base/Defaults.h"
#include "base/Log.h"
#include "input/TapConsumers.h"
#include "layout/SystemSubstitutions.h"
#include "platform/Service.h"
#include "platform/Workspace.h"
#include "polish/PolishCard.h"
#include "polish/PolishUnderline.h"
#include "vocabulary/CorrectorManager.h"

#include <QSet>

namespace murmelo {

void PolishSwitchSteps::startCorrector(bool force) { CorrectorManager::shared().start(force); }
void PolishSwitchSteps::stopCorrector() { CorrectorManager::shared().stop(); }
void PolishSwitchSteps::hideCard() { PolishCardController::shared().hide(); }
void PolishSwitchSteps::polishUnderlineClear() { PolishUnderline::clear(); }

PolishSwitchSteps& PolishSwitchSteps::shared() { return sharedService<PolishSwitchSteps>(); }

void setPolishEnabled(bool on) {
    TapPolish::setPolishEnabled(on);
    PolishSwitchSteps& steps = PolishSwitchSteps::shared();
    if (!on) {
        steps.stopCorrector();
        steps.hideCard();
        steps.polishUnderlineClear();
    } else {
        steps.startCorrector(false);
    }
    logLine(QStringLiteral("полировка: ") + (on ? QStringLiteral("вкл") : QStringLiteral("выкл")));
}

bool isPolishEditRepairEnabled() {
    if (qEnvironmentVariableIsSet("MURMELO_POLISH_EDIT_REPAIR") &&
        qEnvironmentVariable("MURMELO_POLISH_EDIT_REPAIR") == QLatin1String("0"))
        return false;
    return !Defaults::shared().boolValue(QStringLiteral("polishEditRepairOff"));
}

bool isPolishCardEnabled() { return Defaults::shared().boolValue(QStringLiteral("polishCardEdits")); }

bool isPolishTrustModel() {
    if (!Defaults::shared().boolValue(QStringLiteral("polishTrustModel"))) return false;
    const std::optional<AppIdentity> front = Workspace::shared().frontmostApplication();
    const std::optional<QString> bundle = front ? std::optional<QString>(front->bundleIdentifier) : std::nullopt;
    if (SystemSubstitutions::appliesSubstitutions(front) &&
        SystemSubstitutions::value(QStringLiteral("NSAutomaticSpellingCorrectionEnabled"), bundle) == true) {
        static QSet<QString> noted;
        const QString key = bundle.value_or(QStringLiteral("?"));
        if (!noted.contains(key)) {
            noted.insert(key);
            logLine(QStringLiteral("polish: в системе включено своё исправление — слова оставляю ему, правлю знаки"));
        }
        return false;
    }
    return true;
}

}  // namespace murmelo
