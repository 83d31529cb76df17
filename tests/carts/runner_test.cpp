// quorrant-run's options on a blank image: every word is 0 (ANDEQ r0, r0,
// r0, which never runs with Z clear), so the processor only advances, one
// word per 2-cycle step.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "cart_runner.h"

namespace {

// Steps in one frame at 2 cycles each: 160 lines of 502 visible steps and
// 57 h-blank steps (2 + 2 cycles), then 68 v-blank lines of 616 steps.
constexpr uint32_t STEPS_PER_FRAME = 160 * (502 + 57) + 68 * 616;
// The same frame under the recompiler: the blank image makes blocks of 64
// instructions (128 cycles), and a phase ends with the block that reaches its
// budget: 8 blocks for 1004 visible cycles, 2 for 228 h-blank cycles (each
// step costs 2 more there), 10 for 1232 v-blank cycles.
constexpr uint32_t BLOCK_STEPS_PER_FRAME = 64 * (160 * (8 + 2) + 68 * 10);

class RunnerTest : public ::testing::Test {
   protected:
    std::string image =
        std::string(CART_TEST_BIN_DIR) + "/blank-" + std::to_string(getpid()) + ".gba";
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
    EXPECT_NE(out.find("instructions " + std::to_string(3 * STEPS_PER_FRAME) + "\n"),
              std::string::npos);
    for (const char* key : {"seconds ", "mips ", "fps ", "rss-start-kb ", "rss-end-kb "})
        EXPECT_NE(out.find(key), std::string::npos);
}

// --switch-every presses F6 and F5 in turn at frame boundaries: frames
// alternate between the methods, which the instruction counts show.
TEST_F(RunnerTest, SwitchEveryAlternatesTheMethods) {
    struct Case {
        const char* method;
        uint32_t instructions;  // frames 0, 1, 2 under alternating methods
    } cases[] = {
        {"interp", 2 * STEPS_PER_FRAME + BLOCK_STEPS_PER_FRAME},
        {"dynarec", STEPS_PER_FRAME + 2 * BLOCK_STEPS_PER_FRAME},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.method);
        int status;
        std::string out = run({"--frames", "3", "--switch-every", "1", "--method", c.method,
                               "--stats", "--regs", "--code-buffer", "65536"},
                              &status);
        if (status == 2) continue;  // no recompiler on this host
        EXPECT_EQ(status, 0);
        EXPECT_NE(out.find("instructions " + std::to_string(c.instructions) + "\n"),
                  std::string::npos)
            << out;
        char r15[32];
        std::snprintf(r15, sizeof r15, "r15 0x%08x\n", 0x08000008u + 4 * c.instructions);
        EXPECT_NE(out.find(r15), std::string::npos);
        EXPECT_NE(out.find("method-keys 2\n"), std::string::npos);
        // About 900 bytes of code per block of 64 conditional instructions:
        // a 64 KB buffer fills every 72 blocks or so.
        EXPECT_EQ(out.find("dynarec-flushes 0\n"), std::string::npos);
    }
    int status;
    std::string out = run({"--frames", "4", "--switch-every", "10", "--stats"}, &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.find("instructions " + std::to_string(4 * STEPS_PER_FRAME) + "\n"),
              std::string::npos);
    EXPECT_NE(out.find("method-keys 0\n"), std::string::npos);
    EXPECT_NE(out.find("dynarec-flushes 0\n"), std::string::npos);
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
        {"--frames", "x"},        {"--frames"},       {"--method", "jit"}, {"--peek", "zz:1"},
        {"--hold", "SPACE:0:1"},  {"--hold", "A:1"},  {"--bogus"},         {"--switch-every", "0"},
        {"--switch-every", "-1"}, {"--switch-every"},
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

// Images at the edges: the loader's refusals end the run with status 2 and
// nothing on standard output; every accepted size runs.
TEST_F(RunnerTest, ImagesAtTheEdges) {
    std::string dir = image + ".d";
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    std::string fifo = dir + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    auto sized = [&](const std::string& name, size_t size) {
        std::string path = dir + "/" + name;
        std::ofstream out(path, std::ios::binary);
        out.seekp(std::streamoff(size) - 1);
        if (size) out.put('\0');
        return path;
    };
    struct Case {
        std::string path;
        int status;
    } cases[] = {
        {sized("empty.gba", 0), 0},
        {sized("one.gba", 1), 0},
        {sized("min-1.gba", 335543), 0},
        {sized("min.gba", 335544), 0},
        {sized("min+1.gba", 335545), 0},
        {sized("16m+1.gba", 16 * 1024 * 1024 + 1), 0},
        {sized("32m+1.gba", 32 * 1024 * 1024 + 1), 2},
        {sized("\xff\xfe.gba", 4), 0},
        {dir, 2},
        {fifo, 2},
        {"", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        int status;
        std::string out = run_command({QUORRANT_RUN, "--frames", "1", "--regs", c.path}, &status);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(out.empty(), c.status != 0);
    }
    std::system(("rm -rf '" + dir + "'").c_str());
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
