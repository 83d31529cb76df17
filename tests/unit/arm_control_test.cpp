// Branches, BX, multiplies, status register transfers, register banks, the
// software interrupt through the built-in BIOS and the exception return.
#include "arm_fixture.h"

namespace {

class ArmControl : public ArmTest {};

TEST_F(ArmControl, Branches) {
    load({0xEA000000});  // b .+8
    step();
    EXPECT_EQ(cpu_regs[15], CODE + 16);

    load({0xEAFFFFFE});  // b .
    step();
    EXPECT_EQ(cpu_regs[15], CODE + 8);
    EXPECT_EQ(cpu_opcode, 0xEAFFFFFEu);

    load({0xEB000010});  // bl .+72
    step();
    EXPECT_EQ(cpu_regs[14], CODE + 4);
    EXPECT_EQ(cpu_regs[15], CODE + 72 + 8);

    load({0xE1A00000, 0xE1A00000, 0xEBFFFFFC});  // nop; nop; bl CODE
    step(3);
    EXPECT_EQ(cpu_regs[14], CODE + 12);
    EXPECT_EQ(cpu_regs[15], CODE + 8);
}

TEST_F(ArmControl, BxSwitchesToThumbOnlyForOddTargets) {
    load({0xE12FFF11});  // bx r1
    rom[0x20] = 0x01;    // the Thumb halfword 0x2001 at CODE + 0x20
    rom[0x21] = 0x20;
    cpu_regs[1] = CODE + 0x21;
    step();
    EXPECT_TRUE(in_thumb_state());
    EXPECT_TRUE(cpu_cpsr & CPSR_T);
    EXPECT_EQ(cpu_regs[15], CODE + 0x24);
    EXPECT_EQ(cpu_opcode, 0x2001u);

    load({0xE12FFF11});
    cpu_regs[1] = CODE + 0x20;
    step();
    EXPECT_FALSE(in_thumb_state());
    EXPECT_FALSE(cpu_cpsr & CPSR_T);
    EXPECT_EQ(cpu_regs[15], CODE + 0x28);
}

// Short forms: Rd = r0, Rm = r1, Rs = r2, Rn = r3. Long forms: RdLo = r0,
// RdHi = r1, Rm = r2, Rs = r3. C and V never change.
struct MulCase {
    uint32_t word;
    const char* text;
    uint32_t r0, r1, r2, r3, nzcv_in;
    uint32_t r0_out, r1_out, nzcv_out;
};

TEST_F(ArmControl, Multiplies) {
    const MulCase cases[] = {
        {0xE0000291, "mul r0, r1, r2", 0, 0x10000, 0x10001, 0, 0, 0x10000, 0x10000, 0},
        {0xE0100291, "muls r0, r1, r2", 0, 0xFFFFFFFF, 2, 0, 0b0011, 0xFFFFFFFE, 0xFFFFFFFF,
         0b1011},
        {0xE0100291, "muls r0, r1, r2", 9, 0, 5, 0, 0b1010, 0, 0, 0b0110},
        {0xE0203291, "mla r0, r1, r2, r3", 0, 3, 4, 5, 0, 17, 3, 0},
        {0xE0303291, "mlas r0, r1, r2, r3", 0, 0xFFFFFFFF, 1, 1, 0, 0, 0xFFFFFFFF, 0b0100},
        {0xE0810392, "umull r0, r1, r2, r3", 0, 0, 0xFFFFFFFF, 0xFFFFFFFF, 0, 1, 0xFFFFFFFE, 0},
        {0xE0910392, "umulls r0, r1, r2, r3", 0, 0, 0x10000, 0x10000, 0b0111, 0, 1, 0b0011},
        {0xE0A10392, "umlal r0, r1, r2, r3", 0xFFFFFFFF, 1, 1, 1, 0, 0, 2, 0},
        {0xE0B10392, "umlals r0, r1, r2, r3", 0, 0, 0x80000000, 2, 0b0100, 0, 1, 0},
        {0xE0C10392, "smull r0, r1, r2, r3", 0, 0, 0xFFFFFFFF, 2, 0, 0xFFFFFFFE, 0xFFFFFFFF, 0},
        {0xE0D10392, "smulls r0, r1, r2, r3", 0, 0, 0xFFFFFFFF, 2, 0b0011, 0xFFFFFFFE, 0xFFFFFFFF,
         0b1011},
        {0xE0D10392, "smulls r0, r1, r2, r3", 0, 0, 0x80000000, 0x80000000, 0b1100, 0, 0x40000000,
         0},
        {0xE0E10392, "smlal r0, r1, r2, r3", 5, 0, 0xFFFFFFFD, 2, 0, 0xFFFFFFFF, 0xFFFFFFFF, 0},
        {0xE0F10392, "smlals r0, r1, r2, r3", 1, 0, 0xFFFFFFFF, 1, 0b1000, 0, 0, 0b0100},
        {0xE0F10392, "smlals r0, r1, r2, r3", 0xFFFFFFFF, 0xFFFFFFFF, 0, 0, 0b0000, 0xFFFFFFFF,
         0xFFFFFFFF, 0b1000},
    };
    for (const MulCase& c : cases) {
        SCOPED_TRACE(c.text);
        load({c.word});
        cpu_regs[0] = c.r0;
        cpu_regs[1] = c.r1;
        cpu_regs[2] = c.r2;
        cpu_regs[3] = c.r3;
        set_nzcv(c.nzcv_in);
        step();
        EXPECT_EQ(cpu_regs[0], c.r0_out);
        EXPECT_EQ(cpu_regs[1], c.r1_out);
        EXPECT_EQ(nzcv(), c.nzcv_out);
        EXPECT_EQ(cpu_regs[15], CODE + 12);  // went on to the next instruction
    }
}

TEST_F(ArmControl, MrsPacksTheFlags) {
    load({0xE10F0000, 0xE14F0000});  // mrs r0, cpsr; mrs r0, spsr
    cpu_set_mode(0x12);
    cpu_spsr = 0x12345678;
    set_nzcv(0b1010);
    step();
    EXPECT_EQ(cpu_regs[0], 0xA0000012u);
    step();
    EXPECT_EQ(cpu_regs[0], 0x12345678u);
}

// From System mode with N set; each MSR writes only the bytes its mask names.
struct MsrCase {
    uint32_t word;
    const char* text;
    uint32_t r0;
    uint32_t cpsr_out, nzcv_out;
};

TEST_F(ArmControl, MsrHonoursTheFieldMask) {
    const MsrCase cases[] = {
        {0xE128F000, "msr cpsr_f, r0", 0x40000013, 0x4000001F, 0b0100},
        {0xE121F000, "msr cpsr_c, r0", 0xF0000012, 0x80000012, 0b1000},
        {0xE129F000, "msr cpsr_fc, r0", 0x30000010, 0x30000010, 0b0011},
        {0xE122F000, "msr cpsr_x, r0", 0x0000AB00, 0x8000AB1F, 0b1000},
        {0xE124F000, "msr cpsr_s, r0", 0x00CD0000, 0x80CD001F, 0b1000},
        {0xE329F01F, "msr cpsr_fc, #0x1F", 0, 0x0000001F, 0b0000},
        {0xE321F0D1, "msr cpsr_c, #0xD1", 0, 0x800000D1, 0b1000},
    };
    for (const MsrCase& c : cases) {
        SCOPED_TRACE(c.text);
        load({c.word});
        cpu_set_mode(0x1F);
        cpu_regs[13] = 0x5555;
        cpu_regs[0] = c.r0;
        set_nzcv(0b1000);
        step();
        EXPECT_EQ(nzcv(), c.nzcv_out);
        pack_flags();
        EXPECT_EQ(cpu_cpsr, c.cpsr_out);
        // r13 follows the mode: System's own, or the new mode's bank
        EXPECT_EQ(cpu_regs[13] == 0x5555, (c.cpsr_out & 15) == 15 || (c.cpsr_out & 15) == 0);
    }
}

TEST_F(ArmControl, MsrToSpsr) {
    load({0xE16FF000, 0xE161F000,
          0xE368F20F});  // msr spsr_fsxc, r0; spsr_c, r0; spsr_f, #0xF0000000
    cpu_set_mode(0x12);
    cpu_regs[0] = 0x12345678;
    step();
    EXPECT_EQ(cpu_spsr, 0x12345678u);
    cpu_regs[0] = 0xFFFFFF9A;
    step();
    EXPECT_EQ(cpu_spsr, 0x1234569Au);
    step();
    EXPECT_EQ(cpu_spsr, 0xF034569Au);  // the top byte replaced
    EXPECT_EQ(cpu_cpsr, 0x12u);
}

// The T bit names the instruction set in use: MSR leaves it, in either
// direction, and only the mode changes.
TEST_F(ArmControl, MsrLeavesTheThumbBit) {
    load({0xE121F000});  // msr cpsr_c, r0
    cpu_regs[0] = 0x3F;
    step();
    EXPECT_EQ(cpu_cpsr, 0x1Fu);
    EXPECT_FALSE(in_thumb_state());
    EXPECT_EQ(cpu_regs[15], CODE + 12);
}

TEST_F(ArmControl, UserRegistersSurviveAnExceptionMode) {
    load({0xE321F013, 0xE3A0D055, 0xE321F010, 0xE321F013});
    // msr cpsr_c, #0x13; mov sp, #0x55; msr cpsr_c, #0x10; msr cpsr_c, #0x13
    cpu_regs[13] = 0x111;
    cpu_regs[14] = 0x222;
    step(2);
    EXPECT_EQ(cpu_regs[13], 0x55u);
    EXPECT_EQ(cpu_regs[14], 0u);
    step();
    EXPECT_EQ(cpu_regs[13], 0x111u);
    EXPECT_EQ(cpu_regs[14], 0x222u);
    step();
    EXPECT_EQ(cpu_regs[13], 0x55u);
}

TEST_F(ArmControl, FiqBanksR8ToR14) {
    load({0xE321F0D1, 0xE3A080AA, 0xE321F012, 0xE321F010, 0xE321F0D1});
    // msr cpsr_c, #0xD1; mov r8, #0xAA; msr cpsr_c, #0x12; msr cpsr_c, #0x10;
    // msr cpsr_c, #0xD1
    cpu_set_mode(0x10);
    for (uint32_t i = 8; i <= 14; i++) cpu_regs[i] = i;
    step();
    for (uint32_t i = 8; i <= 14; i++) EXPECT_EQ(cpu_regs[i], 0u) << "FIQ r" << i;
    step(2);  // to IRQ: r8-r12 are User's again, r13 and r14 IRQ's
    for (uint32_t i = 8; i <= 12; i++) EXPECT_EQ(cpu_regs[i], i) << "User r" << i;
    EXPECT_EQ(cpu_regs[13], 0x03007FA0u);
    step();
    for (uint32_t i = 8; i <= 14; i++) EXPECT_EQ(cpu_regs[i], i) << "User r" << i;
    step();
    EXPECT_EQ(cpu_regs[8], 0xAAu);
}

// A SWI runs the built-in BIOS handler and comes back to the next
// instruction in the caller's mode, with the caller's r13, r14 and flags.
TEST_F(ArmControl, SoftwareInterruptThroughTheBios) {
    for (uint32_t mode : {0x10u, 0x1Fu}) {
        SCOPED_TRACE(mode);
        load({0xEF000005, 0xE3A00001});  // swi 5; mov r0, #1
        cpu_set_mode(mode);
        cpu_regs[11] = 0xB;
        cpu_regs[12] = 0xC;
        cpu_regs[13] = 0x03007F00;
        cpu_regs[14] = 0x12345678;
        set_nzcv(0b1010);
        step();
        EXPECT_EQ(cpu_cpsr, 0x93u);
        EXPECT_EQ(cpu_spsr, 0xA0000000u | mode);
        EXPECT_EQ(cpu_regs[13], 0x03007FE0u);
        EXPECT_EQ(cpu_regs[14], CODE + 4);
        EXPECT_EQ(cpu_regs[15], 16u);
        EXPECT_EQ(cpu_opcode, 0xEA00000Au);  // b 0x38
        EXPECT_EQ(nzcv(), 0b1010u);

        step(5);  // b 0x38; stmfd; b 0x54; ldmfd; movs pc, lr
        EXPECT_EQ(cpu_cpsr, 0xA0000000u | mode);
        EXPECT_EQ(nzcv(), 0b1010u);
        EXPECT_EQ(cpu_regs[11], 0xBu);
        EXPECT_EQ(cpu_regs[12], 0xCu);
        EXPECT_EQ(cpu_regs[13], 0x03007F00u);
        EXPECT_EQ(cpu_regs[14], 0x12345678u);
        EXPECT_EQ(cpu_regs[15], CODE + 12);
        EXPECT_EQ(bank_svc.regs[13], 0x03007FE0u);  // the supervisor stack is balanced
        step();
        EXPECT_EQ(cpu_regs[0], 1u);
    }
}

TEST_F(ArmControl, ExceptionReturnRestoresThumbState) {
    load({0xE25EF004});  // subs pc, lr, #4
    rom[0x100] = 0x01;   // Thumb 0x2001 at CODE + 0x100
    rom[0x101] = 0x20;
    cpu_regs[13] = 0x03007F00;
    cpu_set_mode(0x12);
    cpu_spsr = 0x60000030;  // User, Thumb, Z and C
    cpu_regs[14] = CODE + 0x105;
    set_nzcv(0b1001);
    step();
    EXPECT_EQ(cpu_cpsr, 0x60000030u);
    EXPECT_EQ(nzcv(), 0b0110u);
    EXPECT_TRUE(in_thumb_state());
    EXPECT_EQ(cpu_regs[15], CODE + 0x104);
    EXPECT_EQ(cpu_opcode, 0x2001u);
    EXPECT_EQ(cpu_regs[13], 0x03007F00u);
}

TEST_F(ArmControl, ExceptionReturnToArmState) {
    load({0xE1B0F00E});  // movs pc, lr
    cpu_set_mode(0x13);
    cpu_spsr = 0x1000001F;  // System, V
    cpu_regs[14] = CODE + 0x40;
    set_nzcv(0b1110);
    step();
    EXPECT_EQ(cpu_cpsr, 0x1000001Fu);
    EXPECT_EQ(nzcv(), 0b0001u);
    EXPECT_FALSE(in_thumb_state());
    EXPECT_EQ(cpu_regs[15], CODE + 0x48);
}

}  // namespace
