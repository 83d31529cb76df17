// Every cartridge built from carts/ runs under both methods with identical
// registers, memory and picture; the self-modifying cartridge passes under
// both.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "cart_runner.h"

namespace {

std::vector<std::string> built_cartridges() {
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::directory_iterator(CART_DIR))
        if (entry.path().extension() == ".gba") paths.push_back(entry.path().string());
    std::sort(paths.begin(), paths.end());
    return paths;
}

// Everything the run can show: registers, internal RAM, the first 64 KB of
// work RAM, video RAM's first 16 KB and the picture hash.
std::string observe(const std::string& image, const std::string& method, int* status) {
    return run_command(
        {QUORRANT_RUN, "--method", method, "--frames", "60", "--regs", "--hash", "--peek",
         "3000000:32768", "--peek", "2000000:16384", "--peek", "6000000:16384", image},
        status);
}

bool dynarec_built() {
    int status = 0;
    run_command({QUORRANT_RUN, "--method", "dynarec", "--frames", "0", cart_path("smoke")},
                &status);
    return status == 0;
}

TEST(DynarecDifferential, EveryCartridgeGivesTheInterpretersResults) {
    if (!dynarec_built()) GTEST_SKIP() << "no recompiler on this host";
    std::vector<std::string> carts = built_cartridges();
    ASSERT_GE(carts.size(), 2u);
    int compared = 0;
    for (const std::string& cart : carts) {
        SCOPED_TRACE(cart);
        // A program that never finishes (a benchmark) is somewhere else
        // after 60 frames under each method: a block may run past the end of
        // a scanline's budget, so the frame loop's clock cuts it elsewhere.
        CartRun probe = run_cart(cart, {"--frames", "60"});
        if (!probe.has_results() || probe.status() != 1) continue;
        compared++;
        int interp_status = -1, dynarec_status = -1;
        std::string interpreted = observe(cart, "interp", &interp_status);
        std::string translated = observe(cart, "dynarec", &dynarec_status);
        EXPECT_EQ(interp_status, 0);
        EXPECT_EQ(dynarec_status, 0);
        EXPECT_FALSE(interpreted.empty());
        EXPECT_TRUE(interpreted == translated) << "outputs differ";
    }
    EXPECT_GE(compared, 2);
}

TEST(DynarecDifferential, SelfModifyingCodeRunsTheNewCode) {
    if (!dynarec_built()) GTEST_SKIP() << "no recompiler on this host";
    for (const char* method : {"interp", "dynarec"}) {
        SCOPED_TRACE(method);
        CartRun run = run_cart(cart_path("selfmod"), {"--frames", "10", "--method", method});
        ASSERT_EQ(run.exit_status, 0) << run.output;
        EXPECT_EQ(run.magic(), RESULTS_MAGIC);
        EXPECT_EQ(run.status(), 1u);
        EXPECT_EQ(run.passed(), 6u);
        EXPECT_EQ(run.failed(), 0u) << "first failure " << run.first_failure();
    }
}

}  // namespace
