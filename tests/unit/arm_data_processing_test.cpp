// Data processing through real instruction words: the flag rules of
// addition and subtraction, every shifter form, rotated-immediate carries
// and writes of r15.
#include "arm_fixture.h"

namespace {

// Rd = r0, Rn = r1, Rm = r2, Rs = r3. Flags as NZCV nibbles.
struct DpCase {
    uint32_t word;
    const char* text;
    uint32_t r1, r2, r3, nzcv_in;
    uint32_t r0_out, nzcv_out;
};

constexpr uint32_t UNTOUCHED = 0xDEADBEEF;  // r0 before every case

const DpCase dp_cases[] = {
    // Addition and subtraction: C is the carry out (no borrow), V the
    // two's-complement overflow, both from the whole operation.
    {0xE0910002, "adds r0, r1, r2", 0xFFFFFFFF, 1, 0, 0b0000, 0, 0b0110},
    {0xE0910002, "adds r0, r1, r2", 0x80000000, 0x80000000, 0, 0b0000, 0, 0b0111},
    {0xE0910002, "adds r0, r1, r2", 0x7FFFFFFF, 1, 0, 0b0000, 0x80000000, 0b1001},
    {0xE0910002, "adds r0, r1, r2", 0xC0000000, 0x40000000, 0, 0b0001, 0, 0b0110},
    {0xE0B10002, "adcs r0, r1, r2", 0, 0xFFFFFFFF, 0, 0b0010, 0, 0b0110},
    {0xE0B10002, "adcs r0, r1, r2", 0x7FFFFFFF, 0, 0, 0b0010, 0x80000000, 0b1001},
    {0xE0B10002, "adcs r0, r1, r2", 0xFFFFFFFF, 0xFFFFFFFF, 0, 0b0010, 0xFFFFFFFF, 0b1010},
    {0xE0A10002, "adc r0, r1, r2", 5, 6, 0, 0b0010, 12, 0b0010},
    {0xE0510002, "subs r0, r1, r2", 5, 5, 0, 0b1001, 0, 0b0110},
    {0xE0510002, "subs r0, r1, r2", 0x80000000, 1, 0, 0b0000, 0x7FFFFFFF, 0b0011},
    {0xE0510002, "subs r0, r1, r2", 0x7FFFFFFF, 0xFFFFFFFF, 0, 0b0000, 0x80000000, 0b1001},
    {0xE1510002, "cmp r1, r2", 0, 1, 0, 0b0000, UNTOUCHED, 0b1000},
    {0xE1710002, "cmn r1, r2", 0xFFFFFFFF, 1, 0, 0b0000, UNTOUCHED, 0b0110},
    {0xE0D10002, "sbcs r0, r1, r2", 5, 3, 0, 0b0000, 1, 0b0010},
    {0xE0D10002, "sbcs r0, r1, r2", 5, 3, 0, 0b0010, 2, 0b0010},
    {0xE0D10002, "sbcs r0, r1, r2", 0, 0, 0, 0b0000, 0xFFFFFFFF, 0b1000},
    // 5 - 0xFFFFFFFF - 1 borrows although op2 + 1 wraps to 0.
    {0xE0D10002, "sbcs r0, r1, r2", 5, 0xFFFFFFFF, 0, 0b0000, 5, 0b0000},
    {0xE0C10002, "sbc r0, r1, r2", 10, 3, 0, 0b0010, 7, 0b0010},
    {0xE0C10002, "sbc r0, r1, r2", 10, 3, 0, 0b0000, 6, 0b0000},
    {0xE0F10002, "rscs r0, r1, r2", 3, 10, 0, 0b0010, 7, 0b0010},
    {0xE0F10002, "rscs r0, r1, r2", 3, 10, 0, 0b0000, 6, 0b0010},
    {0xE0E10002, "rsc r0, r1, r2", 3, 10, 0, 0b1001, 6, 0b1001},
    {0xE0710002, "rsbs r0, r1, r2", 2, 1, 0, 0b0000, 0xFFFFFFFF, 0b1000},
    {0xE2610000, "rsb r0, r1, #0", 5, 0, 0, 0b0000, 0xFFFFFFFB, 0b0000},
    {0xE2910102, "adds r0, r1, #0x80000000", 0x80000000, 0, 0, 0b0000, 0, 0b0111},
    {0xE2510001, "subs r0, r1, #1", 0, 0, 0, 0b0000, 0xFFFFFFFF, 0b1000},

    // Immediate shift amounts: LSR #32 and RRX; the shifter never touches V.
    {0xE1B00022, "movs r0, r2, lsr #32", 0, 0x80000000, 0, 0b0001, 0, 0b0111},
    {0xE1B00062, "movs r0, r2, rrx", 0, 3, 0, 0b0010, 0x80000001, 0b1010},
    {0xE1B00082, "movs r0, r2, lsl #1", 0, 0x40000000, 0, 0b0000, 0x80000000, 0b1000},
    {0xE1D10202, "bics r0, r1, r2, lsl #4", 0xFFFFFFFF, 0x1000000F, 0, 0b0000, 0xFFFFFF0F, 0b1010},
    {0xE1F00002, "mvns r0, r2", 0, 0xFFFFFFFF, 0, 0b0010, 0, 0b0110},
    {0xE0310242, "eors r0, r1, r2, asr #4", 0xF8000001, 0x80000010, 0, 0b0010, 0, 0b0100},
    {0xE1810462, "orr r0, r1, r2, ror #8", 0, 0xAB, 0, 0b0110, 0xAB000000, 0b0110},
    {0xE11100A2, "tst r1, r2, lsr #1", 0xFFFFFFFE, 1, 0, 0b0000, UNTOUCHED, 0b0110},

    // Register amounts: 0 leaves value and carry for every type; 32 and
    // beyond as the architecture defines them; only Rs's low byte counts.
    {0xE1B00312, "movs r0, r2, lsl r3", 0, 0x80000001, 0, 0b0010, 0x80000001, 0b1010},
    {0xE1B00332, "movs r0, r2, lsr r3", 0, 0x80000001, 0, 0b0000, 0x80000001, 0b1000},
    {0xE1B00352, "movs r0, r2, asr r3", 0, 0x80000000, 0, 0b0010, 0x80000000, 0b1010},
    {0xE1B00372, "movs r0, r2, ror r3", 0, 1, 0, 0b0000, 1, 0b0000},
    {0xE1B00312, "movs r0, r2, lsl r3", 0, 1, 32, 0b0000, 0, 0b0110},
    {0xE1B00312, "movs r0, r2, lsl r3", 0, 0xFFFFFFFF, 33, 0b0010, 0, 0b0100},
    {0xE1B00332, "movs r0, r2, lsr r3", 0, 0x80000000, 32, 0b0000, 0, 0b0110},
    {0xE1B00332, "movs r0, r2, lsr r3", 0, 0xFFFFFFFF, 33, 0b0010, 0, 0b0100},
    {0xE1B00352, "movs r0, r2, asr r3", 0, 0x80000000, 200, 0b0000, 0xFFFFFFFF, 0b1010},
    {0xE1B00352, "movs r0, r2, asr r3", 0, 0x40000000, 40, 0b0010, 0, 0b0100},
    {0xE1B00372, "movs r0, r2, ror r3", 0, 0x80000000, 32, 0b0000, 0x80000000, 0b1010},
    {0xE1B00372, "movs r0, r2, ror r3", 0, 0x1F, 36, 0b0000, 0xF0000001, 0b1010},
    {0xE1B00372, "movs r0, r2, ror r3", 0, 5, 0x100, 0b0000, 5, 0b0000},
    {0xE1B00312, "movs r0, r2, lsl r3", 0, 1, 0xFFFFFF04, 0b0001, 16, 0b0001},
    {0xE0810312, "add r0, r1, r2, lsl r3", 1, 2, 4, 0b0000, 33, 0b0000},

    // A rotated immediate gives C from its bit 31 when the rotation is not
    // 0, in the flag-setting logical operations only.
    {0xE2110102, "ands r0, r1, #0x80000000", 0xFFFFFFFF, 0, 0, 0b0000, 0x80000000, 0b1010},
    {0xE21100FF, "ands r0, r1, #0xFF", 0x0F, 0, 0, 0b0010, 0x0F, 0b0010},
    {0xE3B00E3F, "movs r0, #0x3F0", 0, 0, 0, 0b0011, 0x3F0, 0b0001},
    {0xE331020F, "teq r1, #0xF0000000", 0xF0000000, 0, 0, 0b0000, UNTOUCHED, 0b0110},
};

class ArmDataProcessing : public ArmTest {};

TEST_F(ArmDataProcessing, ResultsAndFlags) {
    for (const DpCase& c : dp_cases) {
        SCOPED_TRACE(c.text);
        load({c.word});
        cpu_regs[0] = UNTOUCHED;
        cpu_regs[1] = c.r1;
        cpu_regs[2] = c.r2;
        cpu_regs[3] = c.r3;
        set_nzcv(c.nzcv_in);
        step();
        EXPECT_EQ(cpu_regs[0], c.r0_out);
        EXPECT_EQ(nzcv(), c.nzcv_out);
        EXPECT_EQ(cpu_regs[15], CODE + 12);
    }
}

TEST_F(ArmDataProcessing, FlagRoutinesUseTwosComplementOverflow) {
    EXPECT_EQ(add_setting_flags(0x80000000, 0x80000000), 0u);
    EXPECT_EQ(nzcv(), 0b0111u);
    EXPECT_EQ(add_setting_flags(0x7FFFFFFF, 1), 0x80000000u);
    EXPECT_EQ(nzcv(), 0b1001u);
    EXPECT_EQ(sub_setting_flags(0x80000000, 1), 0x7FFFFFFFu);
    EXPECT_EQ(nzcv(), 0b0011u);
    EXPECT_EQ(sub_setting_flags(0, 1), 0xFFFFFFFFu);
    EXPECT_EQ(nzcv(), 0b1000u);
}

TEST_F(ArmDataProcessing, R15ReadsAsAddressPlusEight) {
    load({0xE28F0004});  // add r0, pc, #4
    step();
    EXPECT_EQ(cpu_regs[0], CODE + 12);

    load({0xE1A0031F});  // mov r0, pc, lsl r3 (a register-specified shift of r15)
    cpu_regs[3] = 0;
    step();
    EXPECT_EQ(cpu_regs[0], CODE + 8);
}

TEST_F(ArmDataProcessing, WritesOfR15Jump) {
    load({0xE1A0F000});         // mov pc, r0
    cpu_regs[0] = CODE + 0x41;  // low bits ignored by the fetch
    rom[0x40] = 0x78;
    step();
    EXPECT_EQ(cpu_regs[15], CODE + 0x49);
    EXPECT_EQ(cpu_opcode, 0x78u);

    load({0xE08FF000});  // add pc, pc, r0
    cpu_regs[0] = 0x20;
    step();
    EXPECT_EQ(cpu_regs[15], CODE + 8 + 0x20 + 8);
}

// With S and Rd = r15, User and System mode have no SPSR: a plain jump that
// sets N and Z from the result.
TEST_F(ArmDataProcessing, FlagSettingJumpWithoutSpsr) {
    for (uint32_t mode : {0x10u, 0x1Fu}) {
        load({0xE1B0F00E});  // movs pc, lr
        cpu_set_mode(mode);
        cpu_regs[14] = CODE + 0x10;
        set_nzcv(0b0111);
        step();
        EXPECT_EQ(cpu_regs[15], CODE + 0x18);
        EXPECT_EQ(nzcv(), 0b0011u);
        EXPECT_EQ(cpu_cpsr, mode);
    }
}

}  // namespace
