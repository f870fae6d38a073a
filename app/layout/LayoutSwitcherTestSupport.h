#pragma once
#include "TestEnvironment.h"
#include "layout/LayoutSwitcher.h"
#include "sim/SimDesktop.h"
#include "sim/SimInputSources.h"

#include <gtest/gtest.h>
#include <memory>

namespace murmelo::test {

// A switcher engine of its own over a simulated keyboard (US and Russian) and desktop, with
// the rule switches at their defaults unless a test gives its own.
struct SwitcherFixture : ::testing::Test {
    TestEnvironment env;
    sim::SimInputSources sources = sim::SimInputSources::usRussian();
    ScopedService<InputSources> sourcesScope{sources};
    sim::SimDesktop desktop;
    ScopedService<Workspace> desktopScope{desktop};
    std::unique_ptr<LayoutSwitcher> engine;

    static LayoutRules rulesWith(const QHash<QString, QString>& vars = {}) {
        return LayoutRules::read(
            [vars](const char* name) -> std::optional<QString> {
                auto it = vars.find(QString::fromLatin1(name));
                if (it == vars.end()) return std::nullopt;
                return *it;
            },
            Defaults::shared());
    }
    void makeEngine(const QHash<QString, QString>& vars = {}) { engine = std::make_unique<LayoutSwitcher>(rulesWith(vars)); }
    void SetUp() override { makeEngine(); }
};

}  // namespace murmelo::test
