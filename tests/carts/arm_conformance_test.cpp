// The ARM conformance cartridges: each runs its cases against the values the
// ARM architecture gives (worked out in the cartridge's source) and counts
// them in its results block. A cartridge passes when it finished, every case
// passed, and the number of cases is the one its source holds, so that a
// check skipped by a wrong branch shows up too.
#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>

#include "cart_runner.h"

namespace {

struct Conformance {
    const char* cartridge;
    uint32_t cases;
};

// ORDER: one row per carts/arm_* folder.
const Conformance CONFORMANCE[] = {
    {"arm_dataproc", 103}, {"arm_shifter", 110},  {"arm_multiply", 77},
    {"arm_branch", 31},    {"arm_transfer", 118}, {"arm_block", 70},
    {"arm_psr", 73},       {"arm_swi", 49},       {"arm_interwork", 7},
};

void PrintTo(const Conformance& c, std::ostream* out) { *out << c.cartridge; }

class ArmConformance : public testing::TestWithParam<Conformance> {};

TEST_P(ArmConformance, EveryCasePasses) {
    const Conformance& c = GetParam();
    CartRun run = run_cart(cart_path(c.cartridge), {"--frames", "4"});
    ASSERT_EQ(run.exit_status, 0) << run.output;
    ASSERT_TRUE(run.has_results()) << "no results block";
    EXPECT_EQ(run.status(), 1u) << "main did not return";
    char failure[96];
    std::snprintf(failure, sizeof failure, "first failing case %u, value found 0x%08x",
                  run.first_failure(), run.word(0x0300001C));
    EXPECT_EQ(run.failed(), 0u) << failure;
    EXPECT_EQ(run.passed(), c.cases) << failure;
}

INSTANTIATE_TEST_SUITE_P(Cartridges, ArmConformance, testing::ValuesIn(CONFORMANCE),
                         [](const testing::TestParamInfo<Conformance>& info) {
                             return std::string(info.param.cartridge);
                         });

}  // namespace
