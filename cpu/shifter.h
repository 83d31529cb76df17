// The barrel shifter, once for everyone: ARM operand 2 and register-offset
// transfers, the Thumb shifts and the recompiler's shift routines all take
// their values and carries from here.
#pragma once

#include <cstdint>

constexpr uint32_t SHIFT_LSL = 0;
constexpr uint32_t SHIFT_LSR = 1;
constexpr uint32_t SHIFT_ASR = 2;
constexpr uint32_t SHIFT_ROR = 3;

struct Shifted {
    uint32_t value;
    uint32_t carry;  // the shifter's carry out, 0 or 1
};

// Amount from an instruction's 5-bit field (0-31): LSL #0 leaves the value
// and the carry; LSR #0 and ASR #0 mean a shift by 32; ROR #0 is RRX, a
// rotation by one through the carry.
Shifted shift_immediate(uint32_t type, uint32_t value, uint32_t amount, uint32_t carry_in);

// Amount from the low byte of a register (0-255): 0 leaves the value and the
// carry; LSL/LSR by 32 give 0 with the carry from bit 0/bit 31, by more 0
// with carry 0; ASR by 32 or more fills with bit 31; ROR by a multiple of 32
// leaves the value with the carry from bit 31.
Shifted shift_register(uint32_t type, uint32_t value, uint32_t amount, uint32_t carry_in);

// An 8-bit immediate rotated right by twice the 4-bit rotate field, with the
// carry a flag-setting logical operation takes from it: bit 31 of the result
// when the rotation is not 0, else carry_in.
Shifted rotated_immediate(uint32_t imm8, uint32_t rotate, uint32_t carry_in);
