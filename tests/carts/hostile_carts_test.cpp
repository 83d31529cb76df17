// The cartridges of patterns hostile to a recompiler (carts/hostile): each
// runs to its end under the interpreter, under the recompiler, under the
// recompiler with the smallest code buffer and switching method every
// frame; every pass gives the architecture's result, and the registers,
// memory and picture at the end are the interpreter's.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cart_runner.h"

namespace {

struct HostileCart {
    const char* name;
    const char* frames;
    uint32_t passes;
};

// Four passes each; the tiny image laps once (some 30 frames).
const HostileCart CARTS[] = {
    {"hostile_page_data", "10", 4},   {"hostile_rewrite", "10", 4}, {"hostile_next_insn", "10", 4},
    {"hostile_many_blocks", "10", 4}, {"hostile_mirrors", "10", 4}, {"hostile_tiny_image", "40", 1},
};

const std::vector<std::vector<std::string>> METHODS = {
    {"--method", "interp"},
    {"--method", "dynarec"},
    {"--method", "dynarec", "--code-buffer", "16384"},
    {"--method", "dynarec", "--switch-every", "1"},
};

// Registers, internal RAM, the first 64 KB of work RAM and of video RAM
// (where the patterns put their code) and the picture hash.
std::string observe(const HostileCart& cart, const std::vector<std::string>& method, int* status) {
    std::vector<std::string> argv = {QUORRANT_RUN,    "--frames", cart.frames,     "--regs",
                                     "--hash",        "--peek",   "3000000:32768", "--peek",
                                     "2000000:65536", "--peek",   "6000000:65536"};
    argv.insert(argv.end(), method.begin(), method.end());
    argv.push_back(cart_path(cart.name));
    return run_command(argv, status);
}

bool dynarec_built() {
    int status = 0;
    run_command({QUORRANT_RUN, "--method", "dynarec", "--frames", "0", cart_path("smoke")},
                &status);
    return status == 0;
}

TEST(HostileCartridges, EveryPassIsRightUnderEveryMethod) {
    bool dynarec = dynarec_built();
    for (const HostileCart& cart : CARTS) {
        for (const std::vector<std::string>& method : METHODS) {
            if (!dynarec && method[1] == "dynarec") continue;
            std::vector<std::string> args = method;
            args.insert(args.end(), {"--frames", cart.frames});
            SCOPED_TRACE(std::string(cart.name) + " " + testing::PrintToString(method));
            CartRun run = run_cart(cart_path(cart.name), args);
            ASSERT_EQ(run.exit_status, 0) << run.output;
            EXPECT_EQ(run.magic(), RESULTS_MAGIC);
            EXPECT_EQ(run.status(), 1u);
            EXPECT_EQ(run.passed(), cart.passes);
            EXPECT_EQ(run.failed(), 0u) << "first failing pass " << run.first_failure();
        }
    }
}

TEST(HostileCartridges, EndStateIsTheInterpretersUnderEveryMethod) {
    if (!dynarec_built()) GTEST_SKIP() << "no recompiler on this host";
    for (const HostileCart& cart : CARTS) {
        int status = -1;
        std::string interpreted = observe(cart, METHODS[0], &status);
        ASSERT_EQ(status, 0);
        for (size_t m = 1; m < METHODS.size(); m++) {
            SCOPED_TRACE(std::string(cart.name) + " " + testing::PrintToString(METHODS[m]));
            std::string translated = observe(cart, METHODS[m], &status);
            EXPECT_EQ(status, 0);
            EXPECT_TRUE(interpreted == translated) << "outputs differ";
        }
    }
}

}  // namespace
