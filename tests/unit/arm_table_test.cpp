// The decode table: which handler each encoding reaches, and the step's
// condition test.
#include "arm_fixture.h"

namespace {

class ArmTable : public ArmTest {};

// The undefined-instruction space (27-25 = 011, bit 4 set: udf, GCC's
// __builtin_trap), the coprocessor space (no coprocessor is attached) and
// the encodings ARMv4T leaves undefined in the data-processing space do
// nothing but move on: registers, flags, mode and memory stay.
TEST_F(ArmTable, UndefinedEncodingsDoNothing) {
    std::vector<uint32_t> opcodes = {
        0xE7F000F0,  // udf #0
        0xE7FFFFFF,  // udf #0xFFFF
        0xEE000010,  // mcr p0, 0, r0, c0, c0, 0
        0xED900000,  // ldc p0, c0, [r0]
        0xEE000000,  // cdp p0, 0, c0, c0, c0, 0
        0xE0400091,  // multiply form with bits 23-22 = 01
        0xE1200070,  // bit 7 clear in the miscellaneous space (bkpt on later cores)
        0xE1600010,  // clz on later cores
        0xE12FFF21,  // bits 7-4 = 0010 where BX has 0001
        0xE1010080,  // a multiply-accumulate of later cores
        0xE1B10091,  // swap space with bits 21-20 set
        0xE3000000,  // TST #0 without S (movw on later cores)
        0xE3400000,  // CMP #0 without S (movt on later cores)
        0xE10F0010,  // MRS with bits 7-4 not 0000
        0xE169F010,  // MSR SPSR with bits 7-4 not 0000
    };
    // Every index of the undefined-instruction space.
    for (uint32_t hi = 0x60; hi < 0x80; hi++)
        for (uint32_t lo = 1; lo < 16; lo += 2) opcodes.push_back(0xE0000000 | hi << 20 | lo << 4);
    for (uint32_t opcode : opcodes) {
        SCOPED_TRACE(testing::Message() << std::hex << opcode);
        load({opcode});
        for (int i = 0; i < 15; i++) cpu_regs[i] = 0x02000000 + 0x10 * i;
        mem_write32(0x02000000, 0x11111111);
        set_nzcv(0b1010);
        RegisterSet before = cpu.live;
        step();
        for (int i = 0; i < 15; i++) EXPECT_EQ(cpu_regs[i], before.regs[i]) << "r" << i;
        EXPECT_EQ(cpu_regs[15], CODE + 12);
        EXPECT_EQ(cpu_cpsr, before.cpsr);
        EXPECT_EQ(nzcv(), 0b1010u);
        EXPECT_EQ(mem_read32(0x02000000), 0x11111111u);
        EXPECT_FALSE(arm_ends_block(opcode));
    }
}

struct Decoded {
    uint32_t word;
    const char* text;
    Handler handler;
};

TEST_F(ArmTable, EncodingsReachTheirHandlers) {
    const Decoded cases[] = {
        {0xE12FFF11, "bx r1", arm_bx},
        {0xE129F000, "msr cpsr_fc, r0", arm_msr_reg},
        {0xE128F000, "msr cpsr_f, r0", arm_msr_reg},
        {0xE16FF000, "msr spsr_fsxc, r0", arm_msr_reg},
        {0xE10F0000, "mrs r0, cpsr", arm_mrs},
        {0xE14F0000, "mrs r0, spsr", arm_mrs},
        {0xE329F01F, "msr cpsr_fc, #0x1F", arm_msr_imm},
        {0xE368F20F, "msr spsr_f, #0xF0000000", arm_msr_imm},
        {0xE331020F, "teq r1, #0xF0000000", arm_teq_imm},
        {0xE3510001, "cmp r1, #1", arm_cmp_imm},
        {0xE11100A2, "tst r1, r2, lsr #1", arm_tst_reg},
        {0xE0910002, "adds r0, r1, r2", arm_adds_reg},
        {0xE0810312, "add r0, r1, r2, lsl r3", arm_add_reg},
        {0xE28F0004, "add r0, pc, #4", arm_add_imm},
        {0xE1B00062, "movs r0, r2, rrx", arm_movs_reg},
        {0xE3E00000, "mvn r0, #0", arm_mvn_imm},
        {0xEE000010, "mcr (coprocessor)", arm_unhandled},
        {0xE0400091, "undefined multiply form", arm_unhandled},
        {0xE7F000F0, "udf #0", arm_unhandled},
        {0xE7910012, "ldr r0, [r1, r2, lsl r0] (undefined space)", arm_unhandled},
        {0xE16FF011, "msr spsr with bits 7-4 = 0001", arm_unhandled},
        {0xEFFFFFFF, "swi #0xFFFFFF", arm_swi},
        {0xE0000291, "mul r0, r1, r2", arm_mul},
        {0xE0303291, "mlas r0, r1, r2, r3", arm_mlas},
        {0xE0D10392, "smulls r0, r1, r2, r3", arm_smulls},
        {0xE0F10392, "smlals r0, r1, r2, r3", arm_smlals},
        {0xE0B10392, "umlals r0, r1, r2, r3", arm_umlals},
        {0xE1010092, "swp r0, r2, [r1]", arm_swp},
        {0xE1410092, "swpb r0, r2, [r1]", arm_swpb},
        {0xE1D100B0, "ldrh r0, [r1]", arm_ldrh_pre_imm},
        {0xE0D100D1, "ldrsb r0, [r1], #1", arm_ldrsb_post_imm},
        {0xE17100F2, "ldrsh r0, [r1, #-2]!", arm_ldrsh_pre_imm},
        {0xE11100B2, "ldrh r0, [r1, -r2]", arm_ldrh_pre_reg},
        {0xE00100B2, "strh r0, [r1], -r2", arm_strh_post_reg},
        {0xE5910000, "ldr r0, [r1]", arm_ldr_pre_imm},
        {0xE5C12003, "strb r2, [r1, #3]", arm_str_pre_imm},
        {0xE4910004, "ldr r0, [r1], #4", arm_ldr_post_imm},
        {0xE6010002, "str r0, [r1], -r2", arm_str_post_reg},
        {0xE7910102, "ldr r0, [r1, r2, lsl #2]", arm_ldr_pre_reg},
        {0xE8BD8010, "ldmia sp!, {r4, pc}", arm_ldm_post},
        {0xE92D4010, "stmdb sp!, {r4, lr}", arm_stm_pre},
        {0xE9900006, "ldmib r0, {r1, r2}", arm_ldm_pre},
        {0xE8200006, "stmda r0!, {r1, r2}", arm_stm_post},
        {0xEA000000, "b .+8", arm_b_forward},
        {0xEAFFFFFE, "b .", arm_b_backward},
        {0xEB000010, "bl .+72", arm_bl_forward},
        {0xEBFFFFFF, "bl .+4", arm_bl_backward},
    };
    for (const Decoded& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(arm_table[arm_index(c.word)], c.handler);
    }
}

TEST_F(ArmTable, FailedConditionOnlyAdvances) {
    load({0xF3A00001, 0x83A00002, 0x83A00003});  // mov<nv> r0, #1; movhi r0, #2; movhi r0, #3
    set_nzcv(0b0110);                            // C = 1, Z = 1: HI fails
    step();
    EXPECT_EQ(cpu_regs[0], 0u);
    EXPECT_EQ(cpu_regs[15], CODE + 12);
    step();
    EXPECT_EQ(cpu_regs[0], 0u);
    set_nzcv(0b0011);  // C = 1, Z = 0: HI holds whatever V is
    step();
    EXPECT_EQ(cpu_regs[0], 3u);
}

TEST_F(ArmTable, CoprocessorEncodingOnlyAdvances) {
    load({0xEE000010});  // mcr p0, 0, r0, c0, c0, 0
    set_nzcv(0b1010);
    step();
    EXPECT_EQ(cpu_regs[15], CODE + 12);
    EXPECT_EQ(nzcv(), 0b1010u);
}

}  // namespace
