#include "base/OrderlyQuit.h"

#include "TestEnvironment.h"

#include <QStringList>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

class OrderlyQuitTest : public ::testing::Test {
protected:
    OrderlyQuitTest() { OrderlyQuit::resetForTesting(); }
    ~OrderlyQuitTest() override { OrderlyQuit::resetForTesting(); }
    test::TestEnvironment env;
};

// Each flush runs exactly once, in registration order, however many times the quit path
// asks; one registered after an early run is not lost.
TEST_F(OrderlyQuitTest, FlushRegisteredAfterAnEarlyRunStillRunsOnce) {
    QStringList ran;
    OrderlyQuit::addFlushCallback([&] { ran << "stats"; });
    OrderlyQuit::runFlushCallbacks();
    OrderlyQuit::addFlushCallback([&] { ran << "settings"; });
    OrderlyQuit::addFlushCallback([&] {
        ran << "history";
        OrderlyQuit::addFlushCallback([&] { ran << "added while flushing"; });
    });
    OrderlyQuit::runFlushCallbacks();
    OrderlyQuit::runFlushCallbacks();
    EXPECT_EQ(ran, QStringList({"stats", "settings", "history", "added while flushing"}));
}

}  // namespace
