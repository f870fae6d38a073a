#include "input/InputSeam.h"
#include "input/InputTestFixture.h"

using namespace murmelo;

namespace {

class InputSeamTest : public test::SimInputTest {};

// Start-up's "AX trusted" line reports what the accessibility backend answers.
TEST_F(InputSeamTest, ProcessTrustIsTheAccessibilityBackendsAnswer) {
    InputSeam seam;
    ax.trusted = true;
    EXPECT_TRUE(seam.isProcessTrusted());
    ax.trusted = false;
    EXPECT_FALSE(seam.isProcessTrusted());
}

}  // namespace
