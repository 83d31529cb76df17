// quorrant-run's options on a blank image: every word is 0 (ANDEQ r0, r0,
// r0, which never runs with Z clear), so the processor only advances, one
// word per 2-cycle step.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "cart_runner.h"

namespace {

// Steps in one frame at 2 cycles each: 160 lines of 502 visible steps and
// 57 h-blank steps (2 + 2 cycles), then 68 v-blank lines of 616 steps.
constexpr uint32_t STEPS_PER_FRAME = 160 * (502 + 57) + 68 * 616;

class RunnerTest : public ::testing::Test {
   protected:
    std::string image = std::string(CART_TEST_BIN_DIR) + "/blank-" + std::to_string(getpid()) + ".gba";
    void SetUp() override { std::ofstream(image, std::ios::binary) << std::string(16, '\0'); }
    void TearDown() override { unlink(image.c_str()); }
    std::string run(std::vector<std::string> args, int* status) {
        args.insert(args.begin(), QUORRANT_RUN);
        args.push_back(image);
        return run_command(args, status);
    }
};

TEST_F(RunnerTest, RegistersAfterFrames) {
    CartRun result = run_cart(image, {"--frames", "2"});
    ASSERT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.regs.at("r15"), 0x08000008u + 4 * 2 * STEPS_PER_FRAME);
    EXPECT_EQ(result.regs.at("r13"), 0x03007F00u);
    EXPECT_EQ(result.regs.at("cpsr"), 0u);
    EXPECT_EQ(result.regs.size(), 17u);
}

TEST_F(RunnerTest, PeekPrintsBytesThroughTheBus) {
    int status;
    std::string out = run({"--frames", "0", "--peek", "0:4", "--peek", "1000090:4"}, &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, "0x00000000: 15 00 00 ea\n0x01000090: 84 00 00 00\n");
}

TEST_F(RunnerTest, HashOfABlackPicture) {
    uint64_t hash = 0xcbf29ce484222325ull;  // FNV-1a 64 of 240 x 160 x 3 zero bytes
    for (int i = 0; i < 240 * 160 * 3; i++) hash *= 0x100000001b3ull;
    char expected[64];
    std::snprintf(expected, sizeof expected, "frame-hash 0x%016llx\n", (unsigned long long)hash);
    int status;
    EXPECT_EQ(run({"--frames", "1", "--hash"}, &status), expected);
    EXPECT_EQ(status, 0);
}

TEST_F(RunnerTest, StatsCountSteps) {
    int status;
    std::string out = run({"--frames", "3", "--stats"}, &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.find("frames 3\n"), std::string::npos);
    EXPECT_NE(out.find("instructions " + std::to_string(3 * STEPS_PER_FRAME) + "\n"), std::string::npos);
    for (const char* key : {"seconds ", "mips ", "fps "}) EXPECT_NE(out.find(key), std::string::npos);
}

TEST_F(RunnerTest, PngHasThePictureSize) {
    std::string png = image + ".png";
    int status;
    run({"--frames", "1", "--png", png}, &status);
    EXPECT_EQ(status, 0);
    std::ifstream in(png, std::ios::binary);
    std::string header(24, '\0');
    in.read(header.data(), 24);
    EXPECT_EQ(header.substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(header.substr(16, 8), std::string("\0\0\0\xf0\0\0\0\xa0", 8));  // 240 x 160
    unlink(png.c_str());
}

TEST_F(RunnerTest, BadArgumentsAndImagesExitWithStatusTwo) {
    const std::vector<std::string> bad[] = {
        {"--frames", "x"}, {"--frames"}, {"--method", "jit"}, {"--peek", "zz:1"},
        {"--hold", "SPACE:0:1"}, {"--hold", "A:1"}, {"--bogus"},
    };
    for (const auto& args : bad) {
        int status;
        std::string out = run(args, &status);
        EXPECT_EQ(status, 2) << args[0];
        EXPECT_EQ(out, "");
    }
    int status;
    run_command({QUORRANT_RUN, "/nonexistent/image.gba"}, &status);
    EXPECT_EQ(status, 2);
}

TEST_F(RunnerTest, DynarecMethodIsRunOrClearlyRefused) {
    int status;
    std::string out = run({"--frames", "1", "--method", "dynarec", "--regs"}, &status);
    if (status == 2) {
        EXPECT_EQ(out, "");  // the refusal goes to standard error
    } else {
        EXPECT_EQ(status, 0);
        EXPECT_NE(out.find("r15 0x"), std::string::npos);
    }
}

}  // namespace
