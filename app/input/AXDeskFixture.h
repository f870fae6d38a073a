#pragma once
// The simulated desktop with its accessibility and secure keyboard entry installed as the
// platform's, on a fresh test environment; the learned accessibility tables start empty.
#include "TestEnvironment.h"
#include "input/AXText.h"
#include "input/SecureInput.h"
#include "platform/Accessibility.h"
#include "platform/SecureEventInput.h"
#include "platform/Service.h"
#include "platform/Workspace.h"
#include "sim/SimAccessibility.h"
#include "sim/SimDesktop.h"
#include "sim/SimSecureEventInput.h"

#include <gtest/gtest.h>

namespace murmelo::test {

class AXDeskTest : public ::testing::Test {
protected:
    AXDeskTest()
        : ax(desktop),
          prevWorkspace_(installedService<Workspace>()),
          prevAX_(installedService<Accessibility>()),
          prevSecure_(installedService<SecureEventInput>()) {
        Workspace::install(&desktop);
        Accessibility::install(&ax);
        SecureEventInput::install(&secure);
        AXText::resetForTesting();
        SecureInput::resetForTesting();
    }
    ~AXDeskTest() override {
        AXText::resetForTesting();
        SecureInput::resetForTesting();
        Workspace::install(prevWorkspace_);
        Accessibility::install(prevAX_);
        SecureEventInput::install(prevSecure_);
    }

    // A field of its own application, brought to the front and focused.
    std::shared_ptr<sim::SimField> frontField(const QString& bundle, const QString& value,
                                              const QString& role = QStringLiteral("AXTextField")) {
        desktop.addApp(bundle, bundle.section('.', -1));
        auto f = desktop.addField(bundle, role, value);
        desktop.focus(bundle, f);
        return f;
    }

    TestEnvironment env;
    sim::SimDesktop desktop;
    sim::SimAccessibility ax;
    sim::SimSecureEventInput secure;

private:
    Workspace* prevWorkspace_;
    Accessibility* prevAX_;
    SecureEventInput* prevSecure_;
};

}  // namespace murmelo::test
