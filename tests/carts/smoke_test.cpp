// The start code and the results protocol on the smallest cartridge.
#include <gtest/gtest.h>

#include "cart_runner.h"

TEST(SmokeCartridge, StartCodeRunsMainAndRecordsItsResult) {
    CartRun run = run_cart(cart_path("smoke"), {"--frames", "2"});
    ASSERT_EQ(run.exit_status, 0) << run.output;
    EXPECT_EQ(run.magic(), RESULTS_MAGIC);
    EXPECT_EQ(run.status(), 1u);
    EXPECT_EQ(run.passed(), 1u);
    EXPECT_EQ(run.failed(), 0u);
    EXPECT_EQ(run.exit_code(), 42u);
}
