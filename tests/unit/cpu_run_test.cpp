// The run loop against real instructions: a line's budget, the extra cycles
// per step of the h-blank, the overshoot that is not carried over, both
// instruction sets within one budget, Thumb BL as one step of two cycles,
// and a translated block as one step.
#include <vector>

#include "console_fixture.h"
#include "cpu/arm.h"
#include "dynarec/dynarec.h"

namespace {

constexpr uint32_t NOP = 0xE1A00000;         // mov r0, r0
constexpr uint32_t THUMB_NOPS = 0x46C046C0;  // mov r8, r8; mov r8, r8

class CpuRunTest : public ConsoleTest {
   protected:
    // Steps cpu_run takes for one budget.
    uint64_t steps_for(uint32_t budget, uint32_t extra) {
        uint64_t before = steps_taken;
        cpu_run(budget, extra);
        return steps_taken - before;
    }
};

TEST_F(CpuRunTest, ArmBudgetsOfTheLine) {
    struct Case {
        uint32_t budget, extra;
        uint64_t steps;
    } cases[] = {
        {1004, 0, 502},  // the visible part of a line
        {228, 2, 57},    // the h-blank: 2 + 2 per step
        {1232, 0, 616},  // a v-blank line
        {3, 0, 2},       // the step that passes the budget ends it
        {1, 1000, 1},    // one step always runs
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.budget);
        load_test_image(std::vector<uint32_t>(2000, NOP));
        EXPECT_EQ(steps_for(c.budget, c.extra), c.steps);
        EXPECT_EQ(cpu_regs[15], 0x08000008u + 4 * c.steps);
        // The next budget starts from zero: nothing carried over.
        EXPECT_EQ(steps_for(c.budget, c.extra), c.steps);
    }
}

TEST_F(CpuRunTest, ThumbInstructionsTakeOneCycleAndBlTwo) {
    load_test_image({0xE28F1001, 0xE12FFF11});  // add r1, pc, #1; bx r1 (Thumb at +8)
    cpu_step();
    cpu_step();
    ASSERT_TRUE(in_thumb_state());
    std::vector<uint32_t> nops(1000, THUMB_NOPS);
    for (size_t i = 0; i < nops.size(); i++) mem_write32(0x03000000 + 4 * i, nops[i]);
    cpu_regs[15] = 0x03000000;
    thumb_refill();
    EXPECT_EQ(steps_for(228, 2), 76u);  // 1 + 2 per step
    EXPECT_EQ(steps_for(100, 0), 100u);
    // BL +0 pairs: each pair one step of 2 cycles, to the next pair.
    for (int i = 0; i < 100; i++) mem_write32(0x03001000 + 4 * i, 0xF800F000);
    cpu_regs[15] = 0x03001000;
    thumb_refill();
    EXPECT_EQ(steps_for(100, 0), 50u);
    EXPECT_EQ(cpu_regs[15], 0x03001000u + 4 * 50 + 4);
    EXPECT_EQ(cpu_regs[14], (0x03001000u + 4 * 50) | 1);
}

// ARM code enters Thumb code within one budget: two ARM steps of 2 cycles,
// then Thumb steps of 1 until the budget of 10 is spent.
TEST_F(CpuRunTest, BothInstructionSetsShareOneBudget) {
    std::vector<uint32_t> words = {0xE28F1001, 0xE12FFF11};  // add r1, pc, #1; bx r1
    words.resize(100, THUMB_NOPS);
    load_test_image(words);
    EXPECT_EQ(steps_for(10, 0), 8u);
    EXPECT_TRUE(in_thumb_state());
    EXPECT_EQ(cpu_regs[15], 0x08000008u + 6 * 2 + 4);
}

// A handler that writes r15 without a jump (a store with write-back into
// r15) goes on at r15 - 4 in the run loop as in the single step.
TEST_F(CpuRunTest, WriteBackIntoPcGoesOnWhereTheStepGoesOn) {
    const std::vector<uint32_t> words = {
        0xE5EF8004,  // STRB r8, [pc, #4]!   r15 = +12: the next runs at +8
        0xE3A00001,  // MOV r0, #1           skipped
        0xE3A01002,  // MOV r1, #2
        0xEAFFFFFE,  // B .
    };
    load_test_image(words);
    for (int i = 0; i < 3; i++) arm_step();
    const uint32_t r0 = cpu_regs[0], r1 = cpu_regs[1], r15 = cpu_regs[15];
    load_test_image(words);
    cpu_run(6, 0);  // three steps
    EXPECT_EQ(cpu_regs[0], r0);
    EXPECT_EQ(cpu_regs[1], r1);
    EXPECT_EQ(cpu_regs[15], r15);
    EXPECT_EQ(r0, 0u);
}

// The recompiler takes the steps the interpreter would: a block only where
// the budget covers all of it, the interpreter for the rest of the line.
TEST_F(CpuRunTest, TheRecompilerTakesTheInterpretersSteps) {
    if (!dynarec_available()) GTEST_SKIP() << "no recompiler on this host";
    std::vector<uint32_t> words(10, NOP);
    words.push_back(0xEAFFFFF4);  // b 0x08000000
    for (uint32_t budget : {1u, 4u, 21u, 22u, 23u, 100u}) {
        SCOPED_TRACE(budget);
        uint64_t steps[2];
        uint32_t r15[2];
        for (Method method : {Method::Interpretative, Method::Dynarec}) {
            load_test_image(words);
            cpu_method = method;
            uint64_t before = steps_taken;
            cpu_run(budget, 0);
            steps[method == Method::Dynarec] = steps_taken - before;
            r15[method == Method::Dynarec] = cpu_regs[15];
        }
        EXPECT_EQ(steps[1], steps[0]);
        EXPECT_EQ(steps[1], (budget + 1) / 2);
        EXPECT_EQ(r15[1], r15[0]);
    }
}

}  // namespace
