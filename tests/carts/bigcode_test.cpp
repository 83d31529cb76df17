// More straight-line code than the recompiler's buffer holds, run three
// times: the results are the architecture's under either method.
#include <gtest/gtest.h>

#include "cart_runner.h"

TEST(BigCodeCartridge, CountsAndSumsAreRightUnderEachMethod) {
    for (const char* method : {"interp", "dynarec"}) {
        SCOPED_TRACE(method);
        CartRun run = run_cart(cart_path("bigcode"), {"--frames", "10", "--method", method});
        if (run.exit_status == 2 && std::string(method) == "dynarec") continue;  // not built here
        ASSERT_EQ(run.exit_status, 0) << run.output;
        EXPECT_EQ(run.status(), 1u);
        EXPECT_EQ(run.passed(), 2u);
        EXPECT_EQ(run.failed(), 0u) << "first failing case " << run.first_failure();
    }
}
