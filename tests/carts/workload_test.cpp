// The C workload: the console's output must equal, line by line, what the
// same C file prints when built for the host.
#include <gtest/gtest.h>

#include <sstream>

#include "cart_runner.h"

namespace {

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

// One row per compiled variant of carts/workload (see its CMakeLists.txt).
const char* const WORKLOAD_CARTRIDGES[] = {"workload"};

class Workload : public testing::TestWithParam<const char*> {};

TEST_P(Workload, PrintsWhatTheHostPrints) {
    int status = -1;
    std::vector<std::string> expected = lines_of(run_command({WORKLOAD_HOST}, &status));
    ASSERT_EQ(status, 0);
    ASSERT_GT(expected.size(), 10u);

    CartRun run = run_cart(cart_path(GetParam()), {"--frames", "60"});
    ASSERT_EQ(run.exit_status, 0) << run.output;
    ASSERT_TRUE(run.has_results());
    EXPECT_EQ(run.status(), 1u) << "main did not return";
    EXPECT_EQ(run.exit_code(), 0u);
    std::vector<std::string> actual = lines_of(run.text());
    for (size_t i = 0; i < expected.size() && i < actual.size(); i++)
        EXPECT_EQ(actual[i], expected[i]) << "line " << i + 1;
    EXPECT_EQ(actual.size(), expected.size());
}

INSTANTIATE_TEST_SUITE_P(Cartridges, Workload, testing::ValuesIn(WORKLOAD_CARTRIDGES),
                         [](const testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param);
                         });

}  // namespace
