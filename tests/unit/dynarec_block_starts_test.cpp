// The run loop translates a block start only once it has met it often
// enough: until then the interpreter runs the code, with the same results
// and the same steps; a start whose block a store dropped counts again from
// zero.
#include <gtest/gtest.h>

#include <vector>

#include "console_fixture.h"
#include "cpu/arm.h"
#include "cpu/cpu.h"
#include "dynarec/dynarec.h"
#include "processor_state.h"

#if defined(__x86_64__) || defined(__i386__)

#include "dynarec/block_cache.h"

namespace {

constexpr uint32_t ROM = 0x08000000;
constexpr uint32_t IWRAM = 0x03000000;

constexpr uint32_t ADD_R0(uint32_t n) { return 0xE2800000 | n; }
constexpr uint32_t BX_LR = 0xE12FFF1E;

// A caller in the image that calls the routine at r3 r2 times, then stops:
//   0x08000000  MOV  lr, pc
//   0x08000004  BX   r3
//   0x08000008  SUBS r2, r2, #1
//   0x0800000C  BNE  0x08000000
//   0x08000010  B    .
const std::vector<uint32_t> CALLER = {0xE1A0E00F, 0xE12FFF13, 0xE2522001, 0x1AFFFFFB, 0xEAFFFFFE};
constexpr uint32_t CALLER_END = ROM + 0x10;
// The cache key of the ARM block at `address`.
constexpr uint32_t key_of(uint32_t address) { return address + 8; }

class BlockStartsTest : public ConsoleTest {
   protected:
    static void put(uint32_t address, const std::vector<uint32_t>& words) {
        for (size_t i = 0; i < words.size(); i++) mem_write32(address + 4 * uint32_t(i), words[i]);
    }
    // Runs `calls` calls from the caller's start, in lines of the frame's
    // budget, until it stops at its B . (budgets are generous: the B .
    // then takes the rest).
    static void run_calls(uint32_t routine, uint32_t calls) {
        cpu_regs[2] = calls;
        cpu_regs[3] = routine;
        cpu_regs[15] = ROM;
        arm_refill();
        for (int line = 0; line < 8; line++) cpu_run(1232, 0);
        EXPECT_EQ(cpu_regs[15], CALLER_END + 8) << "the caller did not stop";
    }
};

// A routine in another page than its caller is met once a call. With a
// count of `after` meetings chosen, the routine is translated from the
// after-th call on and not before; either way every call runs, with the
// interpreter's state and steps.
TEST_F(BlockStartsTest, RoutineIsTranslatedOnlyOnceMetOftenEnough) {
    constexpr uint32_t ROUTINE = ROM + 0x1100;
    struct Case {
        uint32_t after, calls;
        bool translated;
    };
    const Case cases[] = {
        {2, 1, false}, {2, 2, true}, {5, 4, false}, {5, 5, true}, {5, 40, true}, {1, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.calls << " calls, translated after " << c.after);
        std::vector<uint32_t> image(0x1108 / 4, 0);
        std::copy(CALLER.begin(), CALLER.end(), image.begin());
        image[0x1100 / 4] = ADD_R0(1);
        image[0x1104 / 4] = BX_LR;
        ProcessorState end[2];
        uint64_t steps[2];
        for (Method method : {Method::Interpretative, Method::Dynarec}) {
            load_test_image(image);
            dynarec_translate_after(c.after);
            cpu_method = method;
            uint64_t before = steps_taken;
            run_calls(ROUTINE, c.calls);
            int m = method == Method::Dynarec;
            steps[m] = steps_taken - before;
            end[m] = ProcessorState::capture();
            EXPECT_EQ(cpu_regs[0], c.calls);
        }
        EXPECT_EQ(cache_find(key_of(ROUTINE)) != nullptr, c.translated);
        EXPECT_EQ(steps[0], steps[1]);
        EXPECT_EQ(end[0].differences(end[1]), "");
    }
}

// A routine in internal RAM, translated after two calls, is rewritten: the
// store drops its block, the next call runs the new instruction on the
// interpreter, and only the second call after the store translates it
// again.
TEST_F(BlockStartsTest, RewrittenRoutineCountsAgainFromZero) {
    load_test_image(CALLER);
    put(IWRAM, {ADD_R0(1), BX_LR});
    dynarec_translate_after(2);
    cpu_method = Method::Dynarec;
    cpu_regs[0] = 0;
    run_calls(IWRAM, 3);
    EXPECT_EQ(cpu_regs[0], 3u);
    ASSERT_NE(cache_find(key_of(IWRAM)), nullptr);

    mem_write32(IWRAM, ADD_R0(16));
    EXPECT_EQ(cache_find(key_of(IWRAM)), nullptr);
    uint64_t translated = blocks_translated;
    run_calls(IWRAM, 1);
    EXPECT_EQ(cpu_regs[0], 3u + 16);
    EXPECT_EQ(cache_find(key_of(IWRAM)), nullptr);
    run_calls(IWRAM, 1);
    EXPECT_EQ(cpu_regs[0], 3u + 32);
    EXPECT_NE(cache_find(key_of(IWRAM)), nullptr);
    EXPECT_GT(blocks_translated, translated);
}

// With the recompiler's own counts: code run once, however long, is never
// translated (its B . is met only at the few lines' starts after it), and a
// loop run some 20,000 times over 100 lines is, each with the interpreter's
// results.
TEST_F(BlockStartsTest, CodeRunOnceStaysInterpretedAndALoopIsTranslated) {
    struct Case {
        const char* what;
        std::vector<uint32_t> words;
        int lines;
        uint32_t r0;
        bool translated;
    };
    // 3000 x ADD r0, r0, #1 (a dozen pages), then B .
    std::vector<uint32_t> straight(3000, ADD_R0(1));
    straight.push_back(0xEAFFFFFE);
    // MOV r1, #0x5000; loop: ADD r0, r0, #1; SUBS r1, r1, #1; BNE loop; B .
    const std::vector<uint32_t> loop = {0xE3A01A05, 0xE2800001, 0xE2511001, 0x1AFFFFFC, 0xEAFFFFFE};
    const Case cases[] = {
        {"straight-line code", straight, 8, 3000, false},
        {"a loop of 0x5000 turns", loop, 120, 0x5000, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ProcessorState end[2];
        uint64_t steps[2];
        for (Method method : {Method::Interpretative, Method::Dynarec}) {
            load_test_image(c.words);
            cpu_method = method;
            uint64_t before = steps_taken, translated = blocks_translated;
            for (int line = 0; line < c.lines; line++) cpu_run(1232, 0);
            int m = method == Method::Dynarec;
            steps[m] = steps_taken - before;
            end[m] = ProcessorState::capture();
            EXPECT_EQ(cpu_regs[0], c.r0);
            if (method == Method::Dynarec) {
                EXPECT_EQ(blocks_translated > translated, c.translated);
            }
        }
        EXPECT_EQ(steps[0], steps[1]);
        EXPECT_EQ(end[0].differences(end[1]), "");
    }
}

}  // namespace

#endif
