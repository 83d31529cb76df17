// The barrel shifter's values and carries, by amount form and type.
#include <gtest/gtest.h>

#include "cpu/shifter.h"

namespace {

struct ShiftCase {
    const char* name;
    uint32_t type, value, amount, carry_in;
    uint32_t value_out, carry_out;
};

TEST(Shifter, RegisterAmounts) {
    const ShiftCase cases[] = {
        {"LSL 0 keeps all", SHIFT_LSL, 0x80000001, 0, 1, 0x80000001, 1},
        {"LSR 0 keeps all", SHIFT_LSR, 0x80000001, 0, 0, 0x80000001, 0},
        {"ASR 0 keeps all", SHIFT_ASR, 0x80000001, 0, 1, 0x80000001, 1},
        {"ROR 0 keeps all", SHIFT_ROR, 0x80000001, 0, 0, 0x80000001, 0},
        {"LSL 1", SHIFT_LSL, 0xC0000000, 1, 0, 0x80000000, 1},
        {"LSL 31", SHIFT_LSL, 0x00000003, 31, 0, 0x80000000, 1},
        {"LSL 32", SHIFT_LSL, 0x00000001, 32, 0, 0, 1},
        {"LSL 33", SHIFT_LSL, 0xFFFFFFFF, 33, 1, 0, 0},
        {"LSR 32", SHIFT_LSR, 0x80000000, 32, 0, 0, 1},
        {"LSR 33", SHIFT_LSR, 0xFFFFFFFF, 33, 1, 0, 0},
        {"ASR 31", SHIFT_ASR, 0x80000000, 31, 0, 0xFFFFFFFF, 0},
        {"ASR 32 neg", SHIFT_ASR, 0x80000000, 32, 0, 0xFFFFFFFF, 1},
        {"ASR 255 pos", SHIFT_ASR, 0x7FFFFFFF, 255, 1, 0, 0},
        {"ROR 4", SHIFT_ROR, 0x0000001F, 4, 0, 0xF0000001, 1},
        {"ROR 32", SHIFT_ROR, 0x80000000, 32, 0, 0x80000000, 1},
        {"ROR 64", SHIFT_ROR, 0x7FFFFFFF, 64, 1, 0x7FFFFFFF, 0},
        {"ROR 36", SHIFT_ROR, 0x0000001F, 36, 0, 0xF0000001, 1},
        {"amount uses low byte", SHIFT_LSL, 0x1, 0x101, 0, 0x2, 0},
    };
    for (const ShiftCase& c : cases) {
        SCOPED_TRACE(c.name);
        Shifted s = shift_register(c.type, c.value, c.amount, c.carry_in);
        EXPECT_EQ(s.value, c.value_out);
        EXPECT_EQ(s.carry, c.carry_out);
    }
}

TEST(Shifter, ImmediateAmounts) {
    const ShiftCase cases[] = {
        {"LSL #0 keeps carry", SHIFT_LSL, 0x80000000, 0, 1, 0x80000000, 1},
        {"LSL #1", SHIFT_LSL, 0x40000000, 1, 0, 0x80000000, 0},
        {"LSR #0 is 32", SHIFT_LSR, 0x80000000, 0, 0, 0, 1},
        {"LSR #1", SHIFT_LSR, 0x00000003, 1, 0, 1, 1},
        {"ASR #0 is 32", SHIFT_ASR, 0x80000000, 0, 0, 0xFFFFFFFF, 1},
        {"ASR #0 positive", SHIFT_ASR, 0x40000000, 0, 1, 0, 0},
        {"ASR #4", SHIFT_ASR, 0x80000000, 4, 0, 0xF8000000, 0},
        {"RRX carry in", SHIFT_ROR, 0x00000002, 0, 1, 0x80000001, 0},
        {"RRX carry out", SHIFT_ROR, 0x00000001, 0, 0, 0, 1},
        {"ROR #8", SHIFT_ROR, 0x000000F0, 8, 0, 0xF0000000, 1},
    };
    for (const ShiftCase& c : cases) {
        SCOPED_TRACE(c.name);
        Shifted s = shift_immediate(c.type, c.value, c.amount, c.carry_in);
        EXPECT_EQ(s.value, c.value_out);
        EXPECT_EQ(s.carry, c.carry_out);
    }
}

TEST(Shifter, RotatedImmediateCarry) {
    EXPECT_EQ(rotated_immediate(0xFF, 0, 1).value, 0xFFu);
    EXPECT_EQ(rotated_immediate(0xFF, 0, 1).carry, 1u);  // no rotation: carry kept
    EXPECT_EQ(rotated_immediate(0x02, 1, 1).value, 0x80000000u);
    EXPECT_EQ(rotated_immediate(0x02, 1, 0).carry, 1u);  // bit 31 of the result
    EXPECT_EQ(rotated_immediate(0x3F, 14, 1).value, 0x3F0u);
    EXPECT_EQ(rotated_immediate(0x3F, 14, 1).carry, 0u);
}

}  // namespace
