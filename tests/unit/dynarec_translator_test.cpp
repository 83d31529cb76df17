// The block translator: where blocks end, the cycles they report, and
// native code that gives the interpreter's results.
#include <gtest/gtest.h>

#include <vector>

#include "console_fixture.h"
#include "cpu/arm.h"
#include "cpu/cpu.h"
#include "dynarec/dynarec.h"

#if defined(__x86_64__) || defined(__i386__)

#include "dynarec/decoded.h"

namespace {

constexpr uint32_t ROM = 0x08000000;

class TranslatorTest : public ConsoleTest {
   protected:
    // Loads the program and puts the processor at its first instruction
    // with the fetch convention: r15 = address + 8, cpu_opcode latched.
    void load(const std::vector<uint32_t>& words) {
        load_test_image(words);
        cpu_method = Method::Dynarec;
    }
    uint32_t step() { return dynarec_step() & 0xFFFF; }
};

TEST_F(TranslatorTest, SingleBranchIsABlockOfOne) {
    load({0xEAFFFFFE});  // B .
    EXPECT_EQ(step(), 2u);
    EXPECT_EQ(cpu_regs[15], ROM + 8);
    EXPECT_EQ(cpu_opcode, 0xEAFFFFFEu);
    EXPECT_EQ(step(), 2u);
    EXPECT_EQ(cpu_regs[15], ROM + 8);
}

TEST_F(TranslatorTest, ConditionalNativeFormRunsOrIsSkipped) {
    load({
        0xE3A00001,  // MOV r0, #1
        0x10811000,  // ADDNE r1, r1, r0
        0xEAFFFFFC,  // B 0x08000000
    });
    // Z clear: the ADD runs; Z set: skipped, still 6 cycles.
    cpu_regs[1] = 10;
    flag_z = 0;
    EXPECT_EQ(step(), 6u);
    EXPECT_EQ(cpu_regs[1], 11u);
    EXPECT_EQ(cpu_regs[15], ROM + 8);
    flag_z = 1;
    EXPECT_EQ(step(), 6u);
    EXPECT_EQ(cpu_regs[1], 11u);
}

TEST_F(TranslatorTest, MovImmediateRotatedGoesOn) {
    load({0xE3A00E3F, 0xEAFFFFFE});  // MOV r0, #0x3F0; B .
    EXPECT_EQ(step(), 4u);           // two instructions: the MOV did not end the block
    EXPECT_EQ(cpu_regs[0], 0x3F0u);
}

TEST_F(TranslatorTest, MovPcLrRefillsAndEnds) {
    load({0xE1A0F00E, 0xE3A00001});  // MOV pc, lr; MOV r0, #1
    cpu_regs[14] = 0x08000100;
    EXPECT_EQ(step(), 2u);
    EXPECT_EQ(cpu_regs[15], 0x08000108u);
    EXPECT_EQ(cpu_regs[0], 0u);
}

// A conditional instruction that can jump, passed or not: the block ends
// after it either way, with r15 and the latch where the interpreter leaves
// them.
TEST_F(TranslatorTest, ConditionalJumpEndsTheBlockEitherWay) {
    for (uint8_t z : {0, 1}) {
        // MOVNE pc, r6; MOV r5, #1; B .
        load({0x11A0F006, 0xE3A05001, 0xEAFFFFFE});
        cpu_regs[6] = ROM + 0x40;
        flag_z = z;
        EXPECT_EQ(step(), 2u);
        EXPECT_EQ(cpu_regs[15], (z ? ROM + 4 : ROM + 0x40) + 8);
        EXPECT_EQ(cpu_opcode, fetch_word(cpu_regs[15] - 8));
        EXPECT_EQ(cpu_regs[5], 0u);
    }
}

TEST_F(TranslatorTest, ConditionFifteenOnlyFetches) {
    for (uint8_t z : {0, 1}) {
        load({0xF3A00001, 0xE3A01002, 0xEAFFFFFE});  // MOV<nv> r0, #1; MOV r1, #2; B .
        flag_z = z;
        cpu_regs[0] = 7;
        EXPECT_EQ(step(), 6u);
        EXPECT_EQ(cpu_regs[0], 7u);
        EXPECT_EQ(cpu_regs[1], 2u);
    }
}

TEST_F(TranslatorTest, CyclesAreTwoPerInstructionPassedOrNot) {
    // Five instructions, three conditional (EQ, NE, NV), then B .
    for (uint8_t z : {0, 1}) {
        load({0x03A00001, 0x13A00002, 0xF3A00003, 0xE3A01004, 0xE1A02001, 0xEAFFFFFE});
        flag_z = z;
        EXPECT_EQ(step(), 12u);
        EXPECT_EQ(cpu_regs[0], z ? 1u : 2u);
        EXPECT_EQ(cpu_regs[2], 4u);
    }
}

// Native code against the architecture's shifter: immediate amount 0
// meaning 32 or RRX, register amounts 0 and 32-255.
TEST_F(TranslatorTest, NativeOperandTwoGivesTheArchitecturesValues) {
    struct Case {
        const char* text;
        uint32_t opcode;
        uint32_t r1, r2, r3;
        uint8_t carry;
        uint32_t r0;
    };
    const Case cases[] = {
        {"ADD r0, r1, r2, LSR #32", 0xE0810022, 5, 0xFFFFFFFF, 0, 0, 5},
        {"ADD r0, r1, r2, ASR #32 (negative)", 0xE0810042, 5, 0x80000000, 0, 0, 4},
        {"ADD r0, r1, r2, ASR #32 (positive)", 0xE0810042, 5, 0x7FFFFFFF, 0, 0, 5},
        {"MOV r0, r2, RRX (C=1)", 0xE1A00062, 0, 0x00000003, 0, 1, 0x80000001},
        {"MOV r0, r2, RRX (C=0)", 0xE1A00062, 0, 0x80000003, 0, 0, 0x40000001},
        {"SUB r0, r1, r2, LSL #4", 0xE0410202, 0x100, 0x1, 0, 0, 0xF0},
        {"MOV r0, r2, ROR #8", 0xE1A00462, 0, 0x12345678, 0, 0, 0x78123456},
        {"MOV r0, r2, LSL r3 (0)", 0xE1A00312, 0, 0x12345678, 0x100, 0, 0x12345678},
        {"MOV r0, r2, LSL r3 (32)", 0xE1A00312, 0, 0xFFFFFFFF, 32, 0, 0},
        {"MOV r0, r2, LSR r3 (33)", 0xE1A00332, 0, 0xFFFFFFFF, 33, 0, 0},
        {"MOV r0, r2, ASR r3 (255)", 0xE1A00352, 0, 0x80000000, 255, 0, 0xFFFFFFFF},
        {"MOV r0, r2, ROR r3 (32)", 0xE1A00372, 0, 0x12345678, 32, 0, 0x12345678},
        {"MOV r0, r2, ROR r3 (36)", 0xE1A00372, 0, 0x12345678, 36, 0, 0x81234567},
        {"ADD r0, r1, r2, LSR r3 (0)", 0xE0810332, 1, 0x80000000, 0, 0, 0x80000001},
        {"ADD r0, pc, r2", 0xE08F0002, 0, 0x10, 0, 0, ROM + 8 + 0x10},
        {"SUB r0, r1, pc", 0xE041000F, ROM + 0x100, 0, 0, 0, 0x100 - 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        load({c.opcode, 0xEAFFFFFE});
        cpu_regs[1] = c.r1;
        cpu_regs[2] = c.r2;
        cpu_regs[3] = c.r3;
        flag_c = c.carry;
        step();
        EXPECT_EQ(cpu_regs[0], c.r0);
        EXPECT_EQ(flag_c, c.carry);  // S clear: flags untouched
    }
}

// Every instruction after which the block must end, followed by MOV r5, #1
// that must not run in the same block. Cycles tell how long the block was.
TEST_F(TranslatorTest, BlocksEndAfterEveryWriteOfPcOrStateChange) {
    struct Case {
        const char* text;
        uint32_t opcode;
    };
    const Case ending[] = {
        {"B", 0xEA000000},
        {"BL", 0xEB000000},
        {"BX r6", 0xE12FFF16},
        {"SWI", 0xEF000000},
        {"MSR CPSR_c, r7", 0xE121F007},
        {"MSR CPSR_f, #0xF0000000", 0xE328F20F},
        {"ORR pc, r6, #0", 0xE386F000},
        {"EOR pc, r6, r8", 0xE026F008},
        {"ADD pc, r6, #0", 0xE286F000},
        {"ADDS pc, r6, r8", 0xE096F008},
        {"MOVS pc, r6", 0xE1B0F006},
        {"MVN pc, #0", 0xE3E0F000},
        {"MOV pc, r6", 0xE1A0F006},
        {"ADD pc, r6, r8", 0xE086F008},
        {"LDR pc, [r9]", 0xE599F000},
        {"LDRH pc, [r9]", 0xE1D9F0B0},
        {"LDRSH pc, [r9]", 0xE1D9F0F0},
        {"LDM r9, {r0, pc}", 0xE8998001},
        {"MUL pc, r6, r8", 0xE00F0896},
        {"SWP pc, r6, [r9]", 0xE109F096},
        {"STRB r8, [pc, #4]!", 0xE5EF8004},
        {"LDR r0, [pc], #4", 0xE49F0004},
        {"STRH r0, [pc, #2]!", 0xE1EF00B2},
        {"LDRSB r0, [pc], #1", 0xE0DF00D1},
        {"LDMIA pc!, {r0}", 0xE8BF0001},
        {"STMDB pc!, {r0}", 0xE92F0001},
        {"MRS pc, CPSR", 0xE10FF000},
        {"MSR CPSR_f, r7", 0xE128F007},
        {"SMULL r0, pc, r6, r8", 0xE0CF0896},
        {"LDMIB r9, {r0, pc}^", 0xE9D98001},
    };
    for (const Case& c : ending) {
        SCOPED_TRACE(c.text);
        load({c.opcode, 0xE3A05001, 0xEAFFFFFE});
        cpu_set_mode(0x1F);
        cpu_regs[6] = cpu_regs[9] = 0x02000000;
        cpu_regs[7] = 0x1F;
        cpu_regs[8] = 0;
        mem_write32(0x02000000, 0x02000000);
        EXPECT_EQ(step(), 2u);
        EXPECT_EQ(cpu_regs[5], 0u);
    }
    const Case continuing[] = {
        {"ORR r0, r6, #0", 0xE3860000},   {"MSR SPSR_f, r7", 0xE168F007},
        {"LDRH r0, [r9]", 0xE1D900B0},    {"STR pc, [r9]", 0xE589F000},
        {"MUL r0, r6, r8", 0xE0000896},   {"LDM r9, {r0, r1}", 0xE8990003},
        {"CMP r15, r6", 0xE15F0006},      {"LDR r0, [pc, #4]", 0xE59F0004},
        {"STR r0, [r9], #4", 0xE4890004}, {"LDMIA pc, {r0}", 0xE89F0001},
        {"UDF #0", 0xE7F000F0},           {"MCR (no coprocessor)", 0xEE000010},
        {"MRS r0, CPSR", 0xE10F0000},     {"STM r9, {r0, pc}^", 0xE8C98001},
    };
    for (const Case& c : continuing) {
        SCOPED_TRACE(c.text);
        load({c.opcode, 0xE3A05001, 0xEAFFFFFE});
        cpu_regs[6] = cpu_regs[9] = 0x02000000;
        EXPECT_EQ(step(), 6u);
        EXPECT_EQ(cpu_regs[5], 1u);
    }
}

TEST_F(TranslatorTest, BlocksStopAtTheLongestBlock) {
    std::vector<uint32_t> words(100, 0xE2800001);  // ADD r0, r0, #1
    words.push_back(0xEAFFFFFE);
    load(words);
    const uint32_t n = BLOCK_MAX_INSNS;
    EXPECT_EQ(step(), 2 * n);
    EXPECT_EQ(cpu_regs[0], n);
    EXPECT_EQ(cpu_regs[15], ROM + n * 4 + 8);
    while (cpu_regs[15] != ROM + 100 * 4 + 8) step();
    EXPECT_EQ(cpu_regs[0], 100u);
}

TEST_F(TranslatorTest, BlocksStayInOneRegion) {
    // Code at the last word of internal RAM's region, falling into IO.
    load({});
    cpu_regs[15] = 0x03FFFFFC;
    mem_write32(0x03FFFFFC, 0xE3A00001);  // MOV r0, #1 (at 0x03007FFC, mirrored)
    arm_refill();
    EXPECT_EQ(step(), 2u);
    EXPECT_EQ(cpu_regs[0], 1u);
    EXPECT_EQ(cpu_regs[15], 0x04000008u);
}

}  // namespace

#endif
