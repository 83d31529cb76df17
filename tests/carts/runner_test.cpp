// quorrant-run's options on a blank image: every word is 0 (ANDEQ r0, r0,
// r0, which never runs with Z clear), so the processor only advances, one
// word per 2-cycle step.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "cart_runner.h"

namespace {

// Steps in one frame at 2 cycles each: 160 lines of 502 visible steps and
// 57 h-blank steps (2 + 2 cycles), then 68 v-blank lines of 616 steps.
constexpr uint32_t STEPS_PER_FRAME = 160 * (502 + 57) + 68 * 616;
class RunnerTest : public ::testing::Test {
   protected:
    std::string image =
        std::string(CART_TEST_BIN_DIR) + "/blank-" + std::to_string(getpid()) + ".gba";
    void SetUp() override { std::ofstream(image, std::ios::binary) << std::string(16, '\0'); }
    void TearDown() override { unlink(image.c_str()); }
    std::string run(std::vector<std::string> args, int* status, std::string* errors = nullptr) {
        args.insert(args.begin(), QUORRANT_RUN);
        args.push_back(image);
        return run_command(args, status, errors);
    }
};

TEST_F(RunnerTest, RegistersAfterFrames) {
    CartRun result = run_cart(image, {"--frames", "2"});
    ASSERT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.regs.at("r15"), 0x08000008u + 4 * 2 * STEPS_PER_FRAME);
    EXPECT_EQ(result.regs.at("r13"), 0x03007F00u);
    EXPECT_EQ(result.regs.at("cpsr"), 0x1Fu);  // System mode, as the boot ROM leaves it
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

// --switch-every presses F6 and F5 in turn at frame boundaries. Both
// methods run the same instructions in every line, so the frames count the
// same whichever method runs them.
TEST_F(RunnerTest, SwitchEveryAlternatesTheMethods) {
    // Blank words for all the frames: past the end of the image the
    // recompiler leaves the zero words to the interpreter.
    std::ofstream(image, std::ios::binary) << std::string(4 * 4 * STEPS_PER_FRAME, '\0');
    for (const char* method : {"interp", "dynarec"}) {
        SCOPED_TRACE(method);
        int status;
        // Code run once is translated only when every start is translated
        // the first time it is met.
        std::string out =
            run({"--frames", "3", "--switch-every", "1", "--method", method, "--stats", "--regs",
                 "--code-buffer", "16384", "--translate-after", "1"},
                &status);
        if (status == 2) continue;  // no recompiler on this host
        EXPECT_EQ(status, 0);
        EXPECT_NE(out.find("instructions " + std::to_string(3 * STEPS_PER_FRAME) + "\n"),
                  std::string::npos)
            << out;
        char r15[32];
        std::snprintf(r15, sizeof r15, "r15 0x%08x\n", 0x08000008u + 4 * 3 * STEPS_PER_FRAME);
        EXPECT_NE(out.find(r15), std::string::npos);
        EXPECT_NE(out.find("method-keys 2\n"), std::string::npos);
        // A 16 KB buffer fills many times over in a frame of blocks.
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
        {"--frames", "x"},
        {"--frames"},
        {"--method", "jit"},
        {"--peek", "zz:1"},
        {"--peek", "0x:1"},
        {"--hold", "SPACE:0:1"},
        {"--hold", "A:1"},
        {"--hold", "A:5:4"},
        {"--bogus"},
        {"--switch-every", "0"},
        {"--switch-every", "-1"},
        {"--switch-every"},
        {"--timeout", "0"},
        {"--timeout", "-1"},
        {"--timeout", "nan"},
        {"--timeout", "2s"},
        {"--until"},
        {"--until", "3000000g"},
        {"-x"},
    };
    for (const auto& args : bad) {
        SCOPED_TRACE(args[0] + (args.size() > 1 ? " " + args[1] : ""));
        int status;
        std::string errors;
        std::string out = run(args, &status, &errors);
        EXPECT_EQ(status, 2);
        EXPECT_EQ(out, "");
        EXPECT_EQ(errors.rfind("quorrant-run: ", 0), 0u) << errors;
    }
    int status;
    std::string errors;
    std::string out = run_command({QUORRANT_RUN, "/nonexistent/image.gba"}, &status, &errors);
    EXPECT_EQ(status, 2);
    EXPECT_EQ(out, "");
    EXPECT_EQ(errors, "quorrant-run: cannot load '/nonexistent/image.gba': no such file\n");
}

// --help and -h list every option, one line each, on standard output.
TEST_F(RunnerTest, HelpListsEveryOption) {
    for (const char* flag : {"--help", "-h"}) {
        SCOPED_TRACE(flag);
        int status;
        std::string errors;
        std::string out = run_command({QUORRANT_RUN, flag}, &status, &errors);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(errors, "");
        for (const char* option :
             {"\n  --frames N ", "\n  --until ADDR ", "\n  --timeout SECONDS ",
              "\n  --method interp|dynarec ", "\n  --switch-every N ", "\n  --hold BUTTON:FROM:TO ",
              "\n  --regs ", "\n  --peek ADDR:LEN ", "\n  --hash ", "\n  --png FILE ",
              "\n  --stats ", "\n  -h, --help "})
            EXPECT_NE(out.find(option), std::string::npos) << option;
        EXPECT_NE(out.find("hexadecimal, with or without 0x"), std::string::npos);
    }
}

// A --png that cannot be written fails before the first frame: with a
// billion frames to run, only the early check ends the run in time.
TEST_F(RunnerTest, UnwritablePictureFailsBeforeTheRun) {
    int status;
    std::string errors;
    std::string out = run({"--frames", "1000000000", "--timeout", "60", "--stats", "--png",
                           "/nonexistent/picture.png"},
                          &status, &errors);
    EXPECT_EQ(status, 2);
    EXPECT_EQ(out, "");
    EXPECT_EQ(errors,
              "quorrant-run: cannot write '/nonexistent/picture.png': No such file or directory\n");
}

// The --png file is opened before the run but written only once there is a
// picture: a run that cannot start leaves an existing file as it was and
// leaves no new one behind.
TEST_F(RunnerTest, PictureFileIsOnlyReplacedByAPicture) {
    std::string existing = image + ".old.png", fresh = image + ".new.png";
    { std::ofstream(existing) << "keep"; }
    for (const std::string& png : {existing, fresh}) {
        int status;
        run_command({QUORRANT_RUN, "--png", png, "/nonexistent/image.gba"}, &status);
        EXPECT_EQ(status, 2);
    }
    std::ifstream kept(existing);
    std::string text((std::istreambuf_iterator<char>(kept)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "keep");
    EXPECT_NE(access(existing.c_str(), F_OK), -1);
    EXPECT_EQ(access(fresh.c_str(), F_OK), -1);
    int status;
    run({"--frames", "1", "--png", existing}, &status);
    EXPECT_EQ(status, 0);
    std::ifstream png(existing, std::ios::binary);
    std::string header(8, '\0');
    png.read(header.data(), 8);
    EXPECT_EQ(header, "\x89PNG\r\n\x1a\n");
    unlink(existing.c_str());
}

TEST_F(RunnerTest, HoldMayBeEmptyButNotReversed) {
    int status;
    run({"--frames", "1", "--hold", "A:3:3"}, &status);
    EXPECT_EQ(status, 0);
    std::string errors;
    run({"--frames", "1", "--hold", "A:4:3"}, &status, &errors);
    EXPECT_EQ(status, 2);
    EXPECT_NE(errors.find("'A:4:3'"), std::string::npos) << errors;
}

// Long peeks print 16 bytes a line, each line headed by its own address;
// the address is hexadecimal with or without 0x.
TEST_F(RunnerTest, LongPeeksPrintSixteenBytesALine) {
    int status;
    std::string pieces =
        run({"--frames", "0", "--peek", "0:16", "--peek", "10:16", "--peek", "0x20:8"}, &status);
    ASSERT_EQ(status, 0);
    for (const char* address : {"0", "0x0", "0X0"}) {
        SCOPED_TRACE(address);
        std::string whole = run({"--frames", "0", "--peek", std::string(address) + ":40"}, &status);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(whole, pieces);
    }
    EXPECT_EQ(pieces.substr(0, 12), "0x00000000: ");
    EXPECT_EQ(std::count(pieces.begin(), pieces.end(), '\n'), 3);
    EXPECT_NE(pieces.find("\n0x00000010: "), std::string::npos);
    EXPECT_NE(pieces.find("\n0x00000020: "), std::string::npos);
    EXPECT_EQ(run({"--frames", "0", "--peek", "ffffffff:0"}, &status), "0xffffffff:\n");
}

// The number after "KEY " on its own line of --stats, or -1.
long stat_value(const std::string& out, const std::string& key) {
    std::string text = "\n" + out;
    size_t at = text.find("\n" + key + " ");
    return at == std::string::npos ? -1 : std::atol(text.c_str() + at + key.size() + 2);
}

// --timeout ends the run with status 124 and the count of frames run, which
// the other outputs agree with.
TEST_F(RunnerTest, TimeoutStopsTheRunAndSaysHowFar) {
    int status;
    std::string errors;
    std::string out =
        run({"--frames", "1000000000", "--timeout", "0.3", "--stats"}, &status, &errors);
    EXPECT_EQ(status, 124);
    long frames = stat_value(out, "frames");
    EXPECT_GT(frames, 0);
    EXPECT_EQ(errors, "quorrant-run: timed out after 0.3 seconds: " + std::to_string(frames) +
                          " frames run\n");
    EXPECT_NE(out.find("instructions " + std::to_string(uint64_t(frames) * STEPS_PER_FRAME) + "\n"),
              std::string::npos);
    // A run that ends within its time is not a timeout.
    out = run({"--frames", "2", "--timeout", "60"}, &status, &errors);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(errors, "");
}

// --until on a word that stays zero: status 1 once --frames run out, and the
// statistics cover exactly those frames.
TEST_F(RunnerTest, UntilAWordThatStaysZeroFails) {
    int status;
    std::string errors;
    std::string out = run({"--frames", "5", "--until", "3000F00", "--stats"}, &status, &errors);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(stat_value(out, "frames"), 5);
    EXPECT_NE(out.find("instructions " + std::to_string(5 * STEPS_PER_FRAME) + "\n"),
              std::string::npos);
    EXPECT_EQ(errors, "quorrant-run: the word at 0x03000f00 was still 0 after 5 frames\n");
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

// --until stops at the end of the first frame in which the word is set: the
// demo writes its start-up word DEMO_MAGIC once its pictures are made. The
// run stops there, and is exactly the run of that many frames.
TEST_F(RunnerTest, UntilStopsAtTheFirstFrameWithTheWordSet) {
    int status;
    std::string until = run_command({QUORRANT_RUN, "--frames", "600", "--until", "0x203FF00",
                                     "--stats", "--regs", "--peek", "203FF00:8", cart_path("demo")},
                                    &status);
    ASSERT_EQ(status, 0) << until;
    long frames = stat_value(until, "frames");
    ASSERT_GT(frames, 1);
    ASSERT_LT(frames, 600);
    auto outputs = [](const std::string& out) {  // all but the timings
        std::string kept, line;
        std::istringstream lines(out);
        while (std::getline(lines, line))
            if (line.rfind("seconds", 0) && line.rfind("mips", 0) && line.rfind("fps", 0) &&
                line.rfind("rss-", 0))
                kept += line + "\n";
        return kept;
    };
    std::string fixed = run_command({QUORRANT_RUN, "--frames", std::to_string(frames), "--stats",
                                     "--regs", "--peek", "203FF00:8", cart_path("demo")},
                                    &status);
    EXPECT_EQ(outputs(until), outputs(fixed));
    EXPECT_NE(until.find("0x0203ff00: 44 45 4d 4f "), std::string::npos) << until;
    std::string before = run_command({QUORRANT_RUN, "--frames", std::to_string(frames - 1),
                                      "--peek", "203FF00:4", cart_path("demo")},
                                     &status);
    EXPECT_EQ(before, "0x0203ff00: 00 00 00 00\n");
}

// --stats counts the undefined instructions and the software interrupts
// (BIOS calls) the cartridge executed, under either method.
TEST_F(RunnerTest, StatsCountUndefinedInstructionsAndBiosCalls) {
    const uint32_t program[] = {
        0xEF000000,  // 08000000 SWI 0
        0xE0400090,  // 08000004 undefined: a multiply form ARMv4T leaves free
        0xEE000010,  // 08000008 MCR p0, 0, r0, c0, c0 (no coprocessor)
        0xE28F0001,  // 0800000C ADD r0, pc, #1 (0x08000015: Thumb at 0x08000014)
        0xE12FFF10,  // 08000010 BX r0
        0xE7FEDF07,  // 08000014 SWI 7; 08000016 B . (Thumb)
    };
    {
        std::ofstream out(image, std::ios::binary);
        out.write(reinterpret_cast<const char*>(program), sizeof program);
    }
    for (const char* method : {"interp", "dynarec"}) {
        SCOPED_TRACE(method);
        for (const char* frames : {"1", "3"}) {
            int status;
            std::string out = run({"--frames", frames, "--method", method, "--stats"}, &status);
            if (status == 2) break;  // no recompiler on this host
            EXPECT_EQ(status, 0);
            EXPECT_EQ(stat_value(out, "bios-calls"), 2);
            EXPECT_EQ(stat_value(out, "undefined-instructions"), 2);
        }
    }
}

}  // namespace

// Lines start wherever the last one ran out, mostly inside straight-line
// code. A loop of 4096 zero words and a branch back, entered at a new word
// by line after line, is still translated once: in 128 blocks of 32 words
// and one for the branch, the same whichever word a line starts at. Under
// the interpreter it gives the same state.
TEST_F(RunnerTest, StraightLineCodeIsTranslatedOnceWhereverLinesStart) {
    std::string loop(4 * 4096, '\0');
    const uint32_t branch_back = 0xEAFFEFFE;  // B 0x08000000, from 0x08004000
    for (int i = 0; i < 4; i++) loop.push_back(char(branch_back >> (8 * i)));
    std::ofstream(image, std::ios::binary | std::ios::trunc) << loop;
    std::string outputs[2];
    const char* methods[2] = {"interp", "dynarec"};
    for (int m = 0; m < 2; m++) {
        int status;
        outputs[m] = run({"--frames", "20", "--method", methods[m], "--stats", "--regs"}, &status);
        if (status == 2) GTEST_SKIP() << "no recompiler on this host";
        ASSERT_EQ(status, 0);
    }
    auto field = [](const std::string& out, const std::string& key) {
        size_t at = out.find("\n" + key + " ");
        return at == std::string::npos
                   ? std::string("missing")
                   : out.substr(at + key.size() + 2, out.find('\n', at + 1) - at - key.size() - 2);
    };
    for (const char* key : {"instructions", "r0", "r15", "cpsr"})
        EXPECT_EQ(field(outputs[0], key), field(outputs[1], key)) << key;
    EXPECT_EQ(field(outputs[1], "dynarec-blocks"), "129");
}
