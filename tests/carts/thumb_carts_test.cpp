// The Thumb conformance and interworking cartridges: every check in their
// source must run and pass. The number of checks is counted from the source
// (one case per check, check_flags or cond_case line outside macro bodies),
// so a branch that skips checks fails the test as surely as a wrong value.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>

#include "cart_runner.h"

namespace {

std::string cart_source(const std::string& name) {
    std::string here = __FILE__;  // .../tests/carts/thumb_carts_test.cpp
    std::string root = here.substr(0, here.rfind("/tests/carts/"));
    return root + "/carts/" + name + "/" + name + ".s";
}

uint32_t count_checks(const std::string& path) {
    std::ifstream in(path);
    EXPECT_TRUE(in) << path;
    const std::regex check_line(R"(^\s*(\w+:)?\s*(check|check_flags|cond_case)\s)");
    uint32_t count = 0;
    bool in_macro = false;
    for (std::string line; std::getline(in, line);) {
        if (std::regex_search(line, std::regex(R"(^\s*\.macro\s)"))) in_macro = true;
        if (std::regex_search(line, std::regex(R"(^\s*\.endm)"))) in_macro = false;
        if (!in_macro && std::regex_search(line, check_line)) count++;
    }
    return count;
}

class ThumbCartridge : public ::testing::TestWithParam<const char*> {};

TEST_P(ThumbCartridge, EveryCheckRunsAndPasses) {
    std::string name = GetParam();
    uint32_t expected = count_checks(cart_source(name));
    ASSERT_GT(expected, 0u);
    CartRun run = run_cart(cart_path(name), {"--frames", "10"});
    ASSERT_EQ(run.exit_status, 0) << run.output;
    ASSERT_EQ(run.magic(), RESULTS_MAGIC);
    EXPECT_EQ(run.status(), 1u) << "main did not return";
    EXPECT_EQ(run.failed(), 0u) << "first failing check: " << run.first_failure() << std::hex
                                << ", actual 0x" << run.word(0x03000020) << ", expected 0x"
                                << run.word(0x03000024);
    EXPECT_EQ(run.passed(), expected);
    EXPECT_EQ(run.exit_code(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Conformance, ThumbCartridge,
                         ::testing::Values("thumb_alu", "thumb_transfer", "thumb_branch",
                                           "thumb_interwork"));

}  // namespace
