// Thumb cartridges under both methods: the conformance cartridges, the
// compiled-C workloads, the Thumb benchmark and the demo with held buttons
// give the same registers, memory, picture and instruction count after any
// number of frames, run by the interpreter, by the recompiler, and by both
// in turn (F6 and F5 every frame). The two methods keep one clock, so even
// a program that never finishes is at the same place after every frame.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cart_runner.h"

namespace {

// Everything the run can show, and the instructions it counted; of the
// statistics, those that tell the methods or the host apart are left out.
std::string observe(const std::string& cart, const std::vector<std::string>& options, int* status) {
    std::vector<std::string> argv = {QUORRANT_RUN, "--regs",        "--hash", "--stats",
                                     "--peek",     "3000000:32768", "--peek", "2000000:65536",
                                     "--peek",     "6000000:16384"};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back(cart_path(cart));
    std::istringstream output(run_command(argv, status));
    std::string kept, line;
    const char* const left_out[] = {"seconds", "mips",        "fps", "method-keys",
                                    "dynarec", "code-buffer", "rss-"};
    while (std::getline(output, line)) {
        bool keep = true;
        for (const char* prefix : left_out) keep = keep && line.rfind(prefix, 0) != 0;
        if (keep) kept += line + "\n";
    }
    return kept;
}

bool dynarec_built() {
    int status = 0;
    run_command({QUORRANT_RUN, "--method", "dynarec", "--frames", "0", cart_path("smoke")},
                &status);
    return status == 0;
}

struct ThumbCart {
    const char* name;
    std::vector<std::string> holds;
};

class ThumbUnderBothMethods : public ::testing::TestWithParam<ThumbCart> {};

TEST_P(ThumbUnderBothMethods, SameStateAfterAnyNumberOfFrames) {
    if (!dynarec_built()) GTEST_SKIP() << "no recompiler on this host";
    const ThumbCart& cart = GetParam();
    for (const char* frames : {"1", "2", "7", "40"}) {
        SCOPED_TRACE(std::string(cart.name) + ", frames " + frames);
        std::vector<std::string> common = {"--frames", frames};
        common.insert(common.end(), cart.holds.begin(), cart.holds.end());
        auto with = [&](std::vector<std::string> method) {
            method.insert(method.end(), common.begin(), common.end());
            return method;
        };
        int statuses[3] = {-1, -1, -1};
        std::string interpreted = observe(cart.name, with({"--method", "interp"}), &statuses[0]);
        std::string translated = observe(cart.name, with({"--method", "dynarec"}), &statuses[1]);
        std::string switching =
            observe(cart.name, with({"--method", "dynarec", "--switch-every", "1"}), &statuses[2]);
        for (int status : statuses) EXPECT_EQ(status, 0);
        EXPECT_NE(interpreted.find("instructions"), std::string::npos) << interpreted;
        EXPECT_TRUE(interpreted == translated) << "the recompiler differs";
        EXPECT_TRUE(interpreted == switching) << "switching every frame differs";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cartridges, ThumbUnderBothMethods,
    ::testing::Values(ThumbCart{"thumb_alu", {}}, ThumbCart{"thumb_transfer", {}},
                      ThumbCart{"thumb_branch", {}}, ThumbCart{"thumb_interwork", {}},
                      ThumbCart{"workload_thumb_o2", {}}, ThumbCart{"workload_thumb_os", {}},
                      ThumbCart{"bench_thumb", {}},
                      ThumbCart{"demo",
                                {"--hold", "START:1:3", "--hold", "RIGHT:2:30", "--hold", "A:4:6",
                                 "--hold", "UP:10:25"}}),
    [](const ::testing::TestParamInfo<ThumbCart>& info) { return std::string(info.param.name); });

}  // namespace
