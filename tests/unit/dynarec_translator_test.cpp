// The block translator: the shape of blocks byte for byte, where blocks
// end, the routing of translator_table, and native code that gives the
// interpreter's results.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "console_fixture.h"
#include "cpu/arm.h"
#include "cpu/cpu.h"
#include "dynarec/dynarec.h"

#if defined(__x86_64__) || defined(__i386__)

#include "dynarec/emitter.h"
#include "dynarec/translator.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t ROM = 0x08000000;

class TranslatorTest : public ConsoleTest {
   protected:
    // Loads the program and puts the processor at its first instruction
    // with the fetch convention: r15 = address + 8, cpu_opcode latched.
    void load(const std::vector<uint32_t>& words) {
        load_test_image(words);
        cpu_step = dynarec_step;
    }
    uint8_t* translate_here() { return translate_block(cpu_regs[15]); }
    uint32_t step() { return dynarec_step() & 0xFFFF; }
};

// Expected-bytes builder: one method per host form, following the host's
// rule for operands and calls at the position the bytes will occupy.
struct Expect {
    Bytes bytes;
    uint16_t base;
    uint16_t pos() const { return uint16_t(base + bytes.size()); }
    Expect& raw(std::initializer_list<uint8_t> b) {
        bytes.insert(bytes.end(), b);
        return *this;
    }
    Expect& u32(uint32_t v) {
        for (int i = 0; i < 4; i++) bytes.push_back(uint8_t(v >> (8 * i)));
        return *this;
    }
    Expect& operand(std::initializer_list<uint8_t> head, const void* target) {
        raw(head);
#if defined(__x86_64__)
        return u32(uint32_t(uintptr_t(target) - (uintptr_t(code_buffer) + pos() + 4)));
#else
        return u32(uint32_t(uintptr_t(target)));
#endif
    }
    template <typename F>
    Expect& call(F* routine) {
        raw({0xE8});
        return u32(uint32_t(uintptr_t(routine) - (uintptr_t(code_buffer) + pos() + 4)));
    }
};

Bytes block_bytes(uint8_t* entry) { return Bytes(entry, code_buffer + code_pos); }

TEST_F(TranslatorTest, SingleBranchIsElevenBytesAndReturnsTwo) {
    load({0xEAFFFFFE});  // B .
    uint8_t* entry = translate_here();
    Expect e{{}, uint16_t(entry - code_buffer)};
    e.call(arm_table[arm_index(0xEAFFFFFE)]).raw({0xB8, 0x02, 0x00, 0x00, 0x00, 0xC3});
    EXPECT_EQ(block_bytes(entry), e.bytes);
    EXPECT_EQ(e.bytes.size(), 11u);
    EXPECT_EQ(step(), 2u);
    EXPECT_EQ(cpu_regs[15], ROM + 8);
}

TEST_F(TranslatorTest, MovAddneBranchBlockIs63Bytes) {
    load({
        0xE3A00001,  // MOV r0, #1
        0x10811000,  // ADDNE r1, r1, r0
        0xEAFFFFFC,  // B 0x08000000
    });
    uint8_t* entry = translate_here();
    Expect e{{}, uint16_t(entry - code_buffer)};
    e.raw({0xB8, 0x01, 0x00, 0x00, 0x00}).operand({0x89, 0x05}, &cpu_regs[0]).call(arm_fetch);
    e.call(cond_test).raw({0x22, 0xC0, 0x74, 0x1B, 0xB1, 0x00});
    e.operand({0x8B, 0x05}, &cpu_regs[0]).operand({0x8B, 0x15}, &cpu_regs[1]).raw({0x03, 0xD0});
    e.operand({0x89, 0x15}, &cpu_regs[1]).call(arm_fetch);
    e.call(arm_table[arm_index(0xEAFFFFFC)]);
    e.raw({0xB8, 0x06, 0x00, 0x00, 0x00, 0xC3});
    EXPECT_EQ(e.bytes.size(), 63u);
    EXPECT_EQ(block_bytes(entry), e.bytes);

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
    uint8_t* entry = translate_here();
    Expect e{{}, uint16_t(entry - code_buffer)};
    e.raw({0xB8, 0xF0, 0x03, 0x00, 0x00}).operand({0x89, 0x05}, &cpu_regs[0]).call(arm_fetch);
    Bytes block = block_bytes(entry);
    ASSERT_GT(block.size(), e.bytes.size());
    EXPECT_EQ(Bytes(block.begin(), block.begin() + e.bytes.size()), e.bytes);
    EXPECT_EQ(step(), 4u);  // two instructions: the MOV did not end the block
    EXPECT_EQ(cpu_regs[0], 0x3F0u);
}

TEST_F(TranslatorTest, MovPcLrRefillsAndEnds) {
    load({0xE1A0F00E, 0xE3A00001});  // MOV pc, lr; MOV r0, #1
    uint8_t* entry = translate_here();
    Expect e{{}, uint16_t(entry - code_buffer)};
    e.raw({0xB1, 0x00}).operand({0x8B, 0x05}, &cpu_regs[14]);
    e.operand({0x89, 0x05}, &cpu_regs[15]).call(arm_refill);
    e.raw({0xB8, 0x02, 0x00, 0x00, 0x00, 0xC3});
    EXPECT_EQ(block_bytes(entry), e.bytes);
    cpu_regs[14] = 0x08000100;
    EXPECT_EQ(step(), 2u);
    EXPECT_EQ(cpu_regs[15], 0x08000108u);
    EXPECT_EQ(cpu_regs[0], 0u);
}

TEST_F(TranslatorTest, ConditionalJumpSpansTheBody) {
    // MOVNE r0, r1, ASR #32: mov cl,0 (2) mov eax,[r1] (6) sar eax,31 (3)
    // mov [r0],eax (6) call (5) = 22 bytes of body.
    load({0x11A00041, 0xEAFFFFFE});
    uint8_t* entry = translate_here();
    EXPECT_EQ(entry[5], 0x22);
    EXPECT_EQ(entry[7], 0x74);
    EXPECT_EQ(entry[8], 0x16);
    EXPECT_EQ(entry[9 + 0x16], 0xE8);  // the B's handler call follows the body
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
    };
    for (const Case& c : continuing) {
        SCOPED_TRACE(c.text);
        load({c.opcode, 0xE3A05001, 0xEAFFFFFE});
        cpu_regs[6] = cpu_regs[9] = 0x02000000;
        EXPECT_EQ(step(), 6u);
        EXPECT_EQ(cpu_regs[5], 1u);
    }
}

TEST_F(TranslatorTest, BlocksStopAfterSixtyFourInstructions) {
    std::vector<uint32_t> words(100, 0xE2800001);  // ADD r0, r0, #1
    words.push_back(0xEAFFFFFE);
    load(words);
    EXPECT_EQ(step(), 128u);
    EXPECT_EQ(cpu_regs[0], 64u);
    EXPECT_EQ(cpu_regs[15], ROM + 64 * 4 + 8);
    EXPECT_EQ(step(), 2u * 37);  // the rest and the B
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

// --- translator_table routing ----------------------------------------------

// The table as first designed, rule for rule: only the four native forms
// and the obvious r15 writers ended or went native.
Translator original_route(uint32_t index) {
    uint32_t g = index >> 8, a = (index >> 4) & 15, low = index & 15;
    bool odd = low == 9 || low == 11 || low == 13 || low == 15;
    switch (g) {
        case 0: return odd ? tr_call : a == 4 ? tr_sub_reg : a == 8 ? tr_add_reg : tr_call;
        case 1:
            if (odd) return tr_call;
            if (a == 2) return low ? tr_call_end : tr_call;
            if (a == 10) return tr_mov_reg;
            if (a == 11 || a == 14 || a == 15) return tr_call_end_rd15;
            return tr_call;
        case 2: return tr_call;
        case 3:
            if (a == 10) return tr_mov_imm;
            return a == 11 || a == 14 || a == 15 ? tr_call_end_rd15 : tr_call;
        case 4:
        case 5:
        case 6:
        case 7: return a & 1 ? tr_call_end_rd15 : tr_call;
        case 8:
        case 9: return a & 1 ? tr_call_end_list15 : tr_call;
        case 10:
        case 11: return tr_call_end;
        default: return tr_call;
    }
}

std::map<Translator, int> count(Translator (*route)(uint32_t)) {
    std::map<Translator, int> counts;
    for (uint32_t i = 0; i < 4096; i++) counts[route(i)]++;
    return counts;
}

Translator built_route(uint32_t index) { return translator_table[index]; }

TEST_F(TranslatorTest, TableRoutesEveryIndex) {
    std::map<Translator, int> original = count(original_route);
    EXPECT_EQ(original[tr_call], 2669);
    EXPECT_EQ(original[tr_call_end], 523);
    EXPECT_EQ(original[tr_call_end_rd15], 596);
    EXPECT_EQ(original[tr_call_end_list15], 256);
    EXPECT_EQ(original[tr_mov_imm], 16);
    EXPECT_EQ(original[tr_mov_reg], 12);
    EXPECT_EQ(original[tr_add_reg], 12);
    EXPECT_EQ(original[tr_sub_reg], 12);

    // The block-ending rule moves indices from tr_call to ending
    // translators and nowhere else:
    //  - SWI, g = 15: 256 to tr_call_end; MSR CPSR: 1 (0x120) + 16 (0x32x)
    //    to tr_call_end.                      tr_call_end 523 + 273 = 796
    //  - multiplies (g 0, low 9): 16 to tr_call_end_mul15.
    //  - Rd = r15 writers to tr_call_end_rd15: g 0 data processing
    //    14 x 12 = 168 and halfword loads 8 x 3 = 24; g 1 swaps 16,
    //    halfword loads 24, the other data processing / MRS slots
    //    (11 x 12 - 1 for MSR SPSR at 0x160) = 131; g 2 all 256;
    //    g 3 the ten remaining a values x 16 = 160.
    //                                   tr_call_end_rd15 596 + 779 = 1375
    //  tr_call keeps 2669 - 273 - 16 - 779 = 1601.
    std::map<Translator, int> built = count(built_route);
    EXPECT_EQ(built[tr_call], 1601);
    EXPECT_EQ(built[tr_call_end], 796);
    EXPECT_EQ(built[tr_call_end_rd15], 1375);
    EXPECT_EQ(built[tr_call_end_mul15], 16);
    EXPECT_EQ(built[tr_call_end_list15], 256);
    EXPECT_EQ(built[tr_mov_imm], 16);
    EXPECT_EQ(built[tr_mov_reg], 12);
    EXPECT_EQ(built[tr_add_reg], 12);
    EXPECT_EQ(built[tr_sub_reg], 12);
    for (uint32_t i = 0; i < 4096; i++) {
        Translator before = original_route(i), now = translator_table[i];
        if (before != now) {
            EXPECT_EQ(before, tr_call) << "index 0x" << std::hex << i;
        }
    }
}

TEST_F(TranslatorTest, TableSpotChecks) {
    struct Case {
        const char* text;
        uint32_t opcode;
        Translator expected;
    };
    const Case cases[] = {
        {"BX r0", 0xE12FFF10, tr_call_end},
        {"SWI 0", 0xEF000000, tr_call_end},
        {"MSR CPSR_fc, r0", 0xE129F000, tr_call_end},
        {"MSR SPSR_fc, r0", 0xE169F000, tr_call},
        {"MOV r0, #1", 0xE3A00001, tr_mov_imm},
        {"MOVS r0, #1", 0xE3B00001, tr_call_end_rd15},
        {"ADD r0, r1, r2", 0xE0810002, tr_add_reg},
        {"ADD r0, r1, #2", 0xE2810002, tr_call_end_rd15},
        {"STRH r0, [r1]", 0xE1C100B0, tr_call},
        {"LDRSB r0, [r1]", 0xE1D100D0, tr_call_end_rd15},
        {"LDM r0, {pc}", 0xE8908000, tr_call_end_list15},
        {"STM r0, {pc}", 0xE8808000, tr_call},
        {"MCR", 0xEE000010, tr_call},
    };
    for (const Case& c : cases)
        EXPECT_EQ(translator_table[arm_index(c.opcode)], c.expected) << c.text;
}

}  // namespace

#endif
