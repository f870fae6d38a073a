#pragma once
// Shared by the input tests: the simulated desktop with its pasteboard, key stream,
// accessibility and secure keyboard entry installed as the platform's, on top of a fresh
// test environment.
#include "TestEnvironment.h"
#include "input/AXText.h"
#include "input/SecureInput.h"
#include "platform/Accessibility.h"
#include "platform/KeyEventPoster.h"
#include "platform/Pasteboard.h"
#include "platform/SecureEventInput.h"
#include "platform/Service.h"
#include "platform/Workspace.h"
#include "sim/SimAccessibility.h"
#include "sim/SimDesktop.h"
#include "sim/SimKeyPoster.h"
#include "sim/SimPasteboard.h"
#include "sim/SimSecureEventInput.h"

#include <gtest/gtest.h>

namespace murmelo::test {

class SimInputTest : public ::testing::Test {
protected:
    SimInputTest()
        : keys(desktop, pasteboard), ax(desktop) {
        AXText::resetForTesting();
        SecureInput::resetForTesting();
    }
    ~SimInputTest() override {
        AXText::resetForTesting();
        SecureInput::resetForTesting();
    }

    // A field of its own application, brought to the front and focused.
    std::shared_ptr<sim::SimField> frontField(const QString& bundle, const QString& value = {},
                                              const QString& role = QStringLiteral("AXTextField")) {
        desktop.addApp(bundle, bundle.section('.', -1));
        auto f = desktop.addField(bundle, role, value);
        desktop.focus(bundle, f);
        return f;
    }

    TestEnvironment env;
    sim::SimDesktop desktop;
    sim::SimPasteboard pasteboard;
    sim::SimKeyPoster keys;
    sim::SimAccessibility ax;
    sim::SimSecureEventInput secure;

private:
    ScopedService<Workspace> workspaceScope_{desktop};
    ScopedService<Pasteboard> pasteboardScope_{pasteboard};
    ScopedService<KeyEventPoster> keysScope_{keys};
    ScopedService<Accessibility> axScope_{ax};
    ScopedService<SecureEventInput> secureScope_{secure};
};

}  // namespace murmelo::test
