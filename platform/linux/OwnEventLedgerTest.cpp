#include "linux/OwnEventLedger.h"

#include <gtest/gtest.h>

using namespace murmelo::linuxdesktop;

// A group lock of our typing hides exactly one change to that group from each listener
// that was listening when it was made; a lock nobody listened to never hides a later
// change of the user's.
TEST(OwnEventLedger, GroupLocksAreClaimedOncePerListenerThatSawThem) {
    OwnEventLedger ledger;
    ledger.expectGroupLock(1, 10.0);  // nobody listens yet
    const int a = ledger.addGroupListener();
    EXPECT_FALSE(ledger.claimGroupLock(a, 1, 10.1)) << "made before the listener came";

    ledger.expectGroupLock(1, 11.0);
    ledger.expectGroupLock(0, 11.0);
    const int b = ledger.addGroupListener();
    EXPECT_TRUE(ledger.claimGroupLock(a, 1, 11.1));
    EXPECT_TRUE(ledger.claimGroupLock(a, 0, 11.1));
    EXPECT_FALSE(ledger.claimGroupLock(a, 1, 11.2)) << "the user's own switch afterwards";
    EXPECT_FALSE(ledger.claimGroupLock(b, 0, 11.2));

    ledger.expectGroupLock(1, 12.0);
    EXPECT_FALSE(ledger.claimGroupLock(b, 1, 12.0 + OwnEventLedger::MAX_AGE + 0.1)) << "too old to be ours";
    ledger.removeGroupListener(a);
    ledger.expectGroupLock(1, 20.0);
    EXPECT_FALSE(ledger.claimGroupLock(a, 1, 20.0));
    EXPECT_TRUE(ledger.claimGroupLock(b, 1, 20.0));
}
