// Linked blocks and the run loop: a loop of one block still ends with the
// line's budget, code rewritten under a linked exit runs new, after the
// buffer is emptied no link leads into its reused space, and code that
// translating would not pay for runs on the interpreter.
#include <gtest/gtest.h>

#include <vector>

#include "console_fixture.h"
#include "cpu/arm.h"
#include "cpu/cpu.h"
#include "dynarec/dynarec.h"
#include "processor_state.h"

#if defined(__x86_64__) || defined(__i386__)

#include "dynarec/code_buffer.h"

namespace {

constexpr uint32_t ROM = 0x08000000;
constexpr uint32_t WRAM = 0x02000000;

class LinkTest : public ConsoleTest {
   protected:
    void put(uint32_t address, const std::vector<uint32_t>& words) {
        for (size_t i = 0; i < words.size(); i++) mem_write32(address + 4 * uint32_t(i), words[i]);
    }
    void start_at(uint32_t address, Method method) {
        cpu_regs[15] = address;
        arm_refill();
        cpu_method = method;
    }
    // Runs `budget` cycles from the same start under both methods and
    // expects the same steps, state and work RAM.
    void expect_methods_agree(uint32_t address, uint32_t budget, int runs) {
        ProcessorState start = ProcessorState::capture();
        std::vector<uint8_t> ram(wram, wram + WRAM_SIZE);
        uint64_t steps[2];
        ProcessorState end[2];
        std::vector<uint8_t> end_ram[2];
        for (Method method : {Method::Interpretative, Method::Dynarec}) {
            int m = method == Method::Dynarec;
            start.restore(method);
            std::copy(ram.begin(), ram.end(), wram);
            dynarec_flush();
            start_at(address, method);
            uint64_t before = steps_taken;
            for (int i = 0; i < runs; i++) cpu_run(budget, 0);
            steps[m] = steps_taken - before;
            end[m] = ProcessorState::capture();
            end_ram[m].assign(wram, wram + WRAM_SIZE);
        }
        EXPECT_EQ(steps[0], steps[1]);
        EXPECT_EQ(end[0].differences(end[1]), "");
        EXPECT_TRUE(end_ram[0] == end_ram[1]);
    }
};

TEST_F(LinkTest, BranchToItselfEndsWithTheBudget) {
    load_test_image({0xEAFFFFFE});  // B .
    for (uint32_t budget : {1u, 2u, 3u, 1004u, 1232u}) {
        SCOPED_TRACE(budget);
        start_at(ROM, Method::Dynarec);
        uint64_t before = steps_taken;
        cpu_run(budget, 0);
        EXPECT_EQ(steps_taken - before, (budget + 1) / 2);
        EXPECT_EQ(cpu_regs[15], ROM + 8);
    }
}

// Block A stores into block B, then jumps to it through a linked exit: B
// runs as rewritten, every time round the loop.
//   A: 0x02000000  ADD r0, r0, #1
//                  STR r2, [r3]          r3 = B's first word
//                  B   0x02000100
//   B: 0x02000100  MOV r1, #5 (rewritten with r2's word)
//                  ADD r4, r4, r1
//                  EOR r2, r2, #1        the next rewrite differs
//                  B   0x02000000
TEST_F(LinkTest, StoreIntoALinkedSuccessorRunsTheNewCode) {
    put(WRAM, {0xE2800001, 0xE5832000, 0xEA00003C});
    put(WRAM + 0x100, {0xE3A01005, 0xE0844001, 0xE2222001, 0xEAFFFFBB});
    cpu_regs[2] = 0xE3A01007;  // MOV r1, #7, then #6, #7, ...
    cpu_regs[3] = WRAM + 0x100;
    expect_methods_agree(WRAM, 1004, 20);
    EXPECT_GT(cpu_regs[4], 0u);
}

// Registers held in host registers pass from block to block without the
// record; every C call after a link must still see them, and what C writes
// must reach the blocks after it. Block A writes held registers (r0, sp,
// lr) and a register of the record (r9); block B, linked after it, hands
// them all to C: stores and loads through the palette (no fast page), a
// block transfer there, and a load into held registers.
//   A: 0x02000000  ADD r0, r0, #1
//                  ADD sp, sp, #4
//                  MOV lr, r0
//                  ADD r9, r9, r0
//                  B   0x02000100
//   B: 0x02000100  STR r0, [r6]          r6 = 0x05000000
//                  LDR r1, [r6]
//                  ADD r2, r2, r1
//                  STMIA r7, {r0, r1, r9, sp, lr}   r7 = 0x05000010
//                  LDMIA r7, {r3, r4, r5, r8}
//                  ADD r10, r10, r5
//                  B   0x02000000
TEST_F(LinkTest, HeldRegistersReachCallsAfterALink) {
    put(WRAM, {0xE2800001, 0xE28DD004, 0xE1A0E000, 0xE0899000, 0xEA00003A});
    put(WRAM + 0x100,
        {0xE5860000, 0xE5961000, 0xE0822001, 0xE8876203, 0xE8970138, 0xE08AA005, 0xEAFFFFB8});
    cpu_regs[6] = 0x05000000;
    cpu_regs[7] = 0x05000010;
    expect_methods_agree(WRAM, 1004, 20);
    EXPECT_GT(cpu_regs[10], 0u);
}

// A literal beside its code, loaded r15-relative and rewritten every time
// round: each load reads the word as it is now.
//   0x02000000  LDR r1, [pc, #8]     the literal at 0x02000010
//   0x02000004  ADD r2, r2, r1
//   0x02000008  STR r2, [pc, #0]     the same literal
//   0x0200000C  B   0x02000000
//   0x02000010  .word 1
TEST_F(LinkTest, ALiteralRewrittenBesideItsCodeIsReadAnew) {
    put(WRAM, {0xE59F1008, 0xE0822001, 0xE58F2000, 0xEAFFFFFB, 1});
    expect_methods_agree(WRAM, 1004, 3);
    EXPECT_EQ(cpu_regs[2], mem_read32(WRAM + 0x10));
}

// More code than the smallest buffer holds, run in a loop: the buffer is
// emptied again and again, and every link made before an emptying is gone
// with it.
TEST_F(LinkTest, NoLinkSurvivesAnEmptying) {
    code_buffer_release();
    code_buffer_choose_size(CODE_BUFFER_MIN_SIZE);
    code_buffer_init();
    code_buffer_choose_size(CODE_BUFFER_MAX_SIZE);  // for the tests after this one
    // 512 blocks of "ADD r0, r0, #n; EOR r1, r1, r0; B next", the last
    // branching back to the first.
    std::vector<uint32_t> words;
    for (uint32_t block = 0; block < 512; block++) {
        words.push_back(0xE2800000 | (block & 0xFF));
        words.push_back(0xE0211000);
        words.push_back(block == 511 ? 0xEA000000 | ((0u - (3 * 511 + 2 + 2)) & 0xFFFFFF)
                                     : 0xEAFFFFFF);  // B +4 (the next block)
    }
    load_test_image(words);
    uint64_t flushes = dynarec_flush_count;
    expect_methods_agree(ROM, 1232, 60);
    EXPECT_GT(dynarec_flush_count, flushes + 1);
}

// Zero words past the end of the BIOS (ANDEQ r0, r0, r0, passing with Z
// set) run on the interpreter: nothing is translated there, and the steps
// and state are the interpreter's.
TEST_F(LinkTest, CodePastAnArrayRunsOnTheInterpreter) {
    flag_z = 1;
    uint64_t translated = blocks_translated;
    expect_methods_agree(0x00004000, 1232, 10);
    EXPECT_EQ(blocks_translated, translated);
    EXPECT_EQ(cpu_regs[15], 0x00004000u + 10 * 616 * 4 + 8);
}

// A straight stretch of code longer than a line runs, line after line:
// each line translates the blocks it runs whole, and none from the steps
// at its end that no whole block fits (the interpreter runs those).
TEST_F(LinkTest, NoTranslationWhereTheLineCannotRunTheBlock) {
    std::vector<uint32_t> words(4096, 0xE2800001);                          // ADD r0, r0, #1
    words.back() = 0xEA000000 | ((-int32_t(words.size()) - 1) & 0xFFFFFF);  // B 0x08000000
    load_test_image(words);
    uint64_t translated = blocks_translated;
    expect_methods_agree(ROM, 1232, 20);
    // 616 steps a line: 19 whole blocks, and one more where the line began
    // inside a block translated before.
    EXPECT_LE(blocks_translated - translated, 20u * 20);
}

// A BX into Thumb code whose r15 (its address + 4) equals the r15 of an ARM
// block already found (the BX's own, address + 8): translated code must
// leave for the Thumb interpreter, not run that ARM block again.
//   0x08000000  ADD r0, pc, #1      r0 = 0x08000009
//   0x08000004  BX r0               Thumb at 0x08000008, r15 = 0x0800000C
//   0x08000008  ADDS r1, #1 (x3), B .
TEST_F(LinkTest, ThumbCodeAfterBxLeavesTranslatedCode) {
    for (uint32_t first_budget : {1u, 2u, 3u}) {
        SCOPED_TRACE(first_budget);
        load_test_image({0xE28F0001, 0xE12FFF10, 0x31013101, 0xE7FE3101});
        ProcessorState start = ProcessorState::capture();
        ProcessorState end[2];
        uint64_t steps[2];
        for (Method method : {Method::Interpretative, Method::Dynarec}) {
            start.restore(method);
            dynarec_flush();
            start_at(ROM, method);
            uint64_t before = steps_taken;
            cpu_run(first_budget, 0);  // ends before the BX: its block is found next
            for (int i = 0; i < 4; i++) cpu_run(5, 0);
            end[method == Method::Dynarec] = ProcessorState::capture();
            steps[method == Method::Dynarec] = steps_taken - before;
        }
        EXPECT_EQ(steps[0], steps[1]);
        EXPECT_EQ(end[0].differences(end[1]), "");
        EXPECT_EQ(end[1].live.regs[1], 3u);
    }
}

}  // namespace

#endif
