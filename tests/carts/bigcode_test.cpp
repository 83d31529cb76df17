// More straight-line code than the recompiler's smallest buffer holds, run
// three times: the results are the architecture's under either method.
#include <gtest/gtest.h>

#include "cart_runner.h"

TEST(BigCodeCartridge, CountsAndSumsAreRightUnderEachMethod) {
    for (const char* method : {"interp", "dynarec"}) {
        SCOPED_TRACE(method);
        CartRun run = run_cart(cart_path("bigcode"),
                               {"--frames", "10", "--method", method, "--code-buffer", "65536"});
        if (run.exit_status == 2 && std::string(method) == "dynarec") continue;  // not built here
        ASSERT_EQ(run.exit_status, 0) << run.output;
        EXPECT_EQ(run.status(), 1u);
        EXPECT_EQ(run.passed(), 2u);
        EXPECT_EQ(run.failed(), 0u) << "first failing case " << run.first_failure();
    }
}

// The endless loop of more than 64 KB of code (more than a 64 KB buffer holds), with the method
// switched every 3 frames: every pass stays right while the recompiler empties and refills its
// buffer again and again. Each start is translated the first time it is met: 40 passes would not
// make the recompiler translate code run once a pass.
TEST(CodeLoopCartridge, PassesStayRightWhileTheBufferRefills) {
    for (const char* method : {"interp", "dynarec"}) {
        SCOPED_TRACE(method);
        CartRun run = run_cart(cart_path("codeloop"),
                               {"--frames", "12", "--switch-every", "3", "--method", method,
                                "--stats", "--code-buffer", "65536", "--translate-after", "1"});
        if (run.exit_status == 2 && std::string(method) == "dynarec") continue;  // not built here
        ASSERT_EQ(run.exit_status, 0) << run.output;
        EXPECT_EQ(run.magic(), RESULTS_MAGIC);
        EXPECT_EQ(run.failed(), 0u) << "first failing pass " << run.first_failure();
        // A pass is 32768 additions and a frame about 131000 interpreted
        // steps: 12 frames make some 40 passes.
        EXPECT_GT(run.passed(), 30u);
        EXPECT_NE(run.output.find("method-keys 3\n"), std::string::npos);
        EXPECT_EQ(run.output.find("dynarec-flushes 0\n"), std::string::npos);
    }
}
