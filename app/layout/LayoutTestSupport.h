#pragma once
#include "TestEnvironment.h"
#include "layout/KeyboardTruth.h"
#include "layout/LayoutMaps.h"
#include "layout/SystemLayouts.h"
#include "sim/SimInputSources.h"

#include <gtest/gtest.h>

namespace murmelo::test {

// The layout readers over a simulated keyboard (US and Russian unless a test changes it),
// read afresh in every test: never the host's keymap.
struct SimulatedLayouts : ::testing::Test {
    TestEnvironment env;
    sim::SimInputSources sources = sim::SimInputSources::usRussian();
    ScopedService<InputSources> scope{sources};

    static void forgetAll() {
        SystemLayouts::forgetCache();
        SystemInputSourcePrefs::resetForTesting();
        LayoutMaps::resetForTesting();
        KeyboardTruth::resetForTesting();
    }
    void SetUp() override { forgetAll(); }
    void TearDown() override { forgetAll(); }

    // The keyboard with the US layout alone, as on a machine without the Russian layout.
    void usOnly() {
        sources = sim::SimInputSources();
        sources.addLayout(sim::SimInputSources::usLayout());
    }
};

}  // namespace murmelo::test
