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

// Our keys up to a number have landed once each has come back (or one after it did: those
// before were lost), or aged out; keys expected later do not hold that back.
TEST(OwnEventLedger, KeysLandWhenTheyComeBackOrAgeOut) {
    OwnEventLedger ledger;
    EXPECT_TRUE(ledger.landed(ledger.lastExpected(), 1.0)) << "nothing on its way";
    int claims = 0;
    ledger.setClaimListener([&] { ++claims; });
    ledger.expect(22, true, 7, 1.0);
    ledger.expect(22, false, 7, 1.0);
    const quint64 mark = ledger.lastExpected();
    ledger.expect(30, true, 7, 1.1);
    EXPECT_FALSE(ledger.landed(mark, 1.2));
    EXPECT_TRUE(ledger.claim(22, true, 1.2));
    EXPECT_FALSE(ledger.landed(mark, 1.2)) << "the key up is still on its way";
    EXPECT_FALSE(ledger.claim(40, true, 1.2)) << "another client's key";
    EXPECT_TRUE(ledger.claim(22, false, 1.3));
    EXPECT_TRUE(ledger.landed(mark, 1.3)) << "a later key still on its way does not count";
    EXPECT_FALSE(ledger.landed(ledger.lastExpected(), 1.3));
    EXPECT_EQ(claims, 2);
    ledger.expect(31, true, 7, 2.0);
    EXPECT_TRUE(ledger.claim(31, true, 2.1)) << "the key before it was lost";
    EXPECT_TRUE(ledger.landed(ledger.lastExpected(), 2.1));
    ledger.expect(32, true, 7, 3.0);
    EXPECT_TRUE(ledger.landed(ledger.lastExpected(), 3.0 + OwnEventLedger::MAX_AGE + 0.1)) << "lost for good";
}
