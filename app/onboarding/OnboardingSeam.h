#pragma once
#include "base/Unbuilt.h"
#include "platform/Service.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace murmelo {

// What start-up, the one-shot modes and shutdown need of onboarding. Until that subsystem
// is built each entry does nothing or answers its empty value; its library fills them.
struct OnboardingSeam {
    static OnboardingSeam& shared() { return sharedService<OnboardingSeam>(); }
    std::function<void()> onboardingShowPreview = unbuilt("onboardingShowPreview");
    std::function<void()> onboardingShowAtLaunchIfNeeded = unbuilt("onboardingShowAtLaunchIfNeeded");
    std::function<bool()> onboardingIsManagingModelSetup = [] { return false; };
};

}  // namespace murmelo
