#pragma once
// Shared by the input tests: the simulated desktop, pasteboard and key stream installed
// as the platform's, on top of a fresh test environment.
#include "TestEnvironment.h"
#include "platform/KeyEventPoster.h"
#include "platform/Pasteboard.h"
#include "platform/Service.h"
#include "platform/Workspace.h"
#include "sim/SimDesktop.h"
#include "sim/SimKeyPoster.h"
#include "sim/SimPasteboard.h"

#include <gtest/gtest.h>

namespace murmelo::test {

class SimInputTest : public ::testing::Test {
protected:
    SimInputTest()
        : keys(desktop, pasteboard),
          prevWorkspace_(installedService<Workspace>()),
          prevPasteboard_(installedService<Pasteboard>()),
          prevKeys_(installedService<KeyEventPoster>()) {
        Workspace::install(&desktop);
        Pasteboard::install(&pasteboard);
        KeyEventPoster::install(&keys);
    }
    ~SimInputTest() override {
        Workspace::install(prevWorkspace_);
        Pasteboard::install(prevPasteboard_);
        KeyEventPoster::install(prevKeys_);
    }

    TestEnvironment env;
    sim::SimDesktop desktop;
    sim::SimPasteboard pasteboard;
    sim::SimKeyPoster keys;

private:
    Workspace* prevWorkspace_;
    Pasteboard* prevPasteboard_;
    KeyEventPoster* prevKeys_;
};

}  // namespace murmelo::test
