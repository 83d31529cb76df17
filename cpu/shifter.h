// The barrel shifter, once for everyone: ARM operand 2 and register-offset
// transfers, the Thumb shifts and the recompiler's shift routines all take
// their values and carries from here. Inline, since operand 2 is computed
// for most instructions.
#pragma once

#include <bit>
#include <cstdint>

constexpr uint32_t SHIFT_LSL = 0;
constexpr uint32_t SHIFT_LSR = 1;
constexpr uint32_t SHIFT_ASR = 2;
constexpr uint32_t SHIFT_ROR = 3;

struct Shifted {
    uint32_t value;
    uint32_t carry;  // the shifter's carry out, 0 or 1
};

namespace shifter_detail {

inline uint32_t bit(uint32_t value, uint32_t n) { return (value >> n) & 1; }

inline uint32_t sign_fill(uint32_t value) { return (value & 0x80000000u) ? 0xFFFFFFFFu : 0; }

// A shift by 1-31, where every type is plain.
inline Shifted shift_short(uint32_t type, uint32_t value, uint32_t amount) {
    switch (type & 3) {
        case SHIFT_LSL: return {value << amount, bit(value, 32 - amount)};
        case SHIFT_LSR: return {value >> amount, bit(value, amount - 1)};
        case SHIFT_ASR: return {uint32_t(int32_t(value) >> amount), bit(value, amount - 1)};
        default: return {std::rotr(value, int(amount)), bit(value, amount - 1)};
    }
}

}  // namespace shifter_detail

// A shift by 1-31 of a type other than RRX's rotation through the carry:
// no special case applies.
inline Shifted shift_by_1_to_31(uint32_t type, uint32_t value, uint32_t amount) {
    return shifter_detail::shift_short(type, value, amount);
}

// Amount from an instruction's 5-bit field (0-31): LSL #0 leaves the value
// and the carry; LSR #0 and ASR #0 mean a shift by 32; ROR #0 is RRX, a
// rotation by one through the carry.
inline Shifted shift_immediate(uint32_t type, uint32_t value, uint32_t amount, uint32_t carry_in) {
    using namespace shifter_detail;
    amount &= 31;
    if (amount != 0) return shift_short(type, value, amount);
    switch (type & 3) {
        case SHIFT_LSL: return {value, carry_in};
        case SHIFT_LSR: return {0, bit(value, 31)};
        case SHIFT_ASR: return {sign_fill(value), bit(value, 31)};
        default: return {(carry_in << 31) | (value >> 1), bit(value, 0)};  // RRX
    }
}

// Amount from the low byte of a register (0-255): 0 leaves the value and the
// carry; LSL/LSR by 32 give 0 with the carry from bit 0/bit 31, by more 0
// with carry 0; ASR by 32 or more fills with bit 31; ROR by a multiple of 32
// leaves the value with the carry from bit 31.
inline Shifted shift_register(uint32_t type, uint32_t value, uint32_t amount, uint32_t carry_in) {
    using namespace shifter_detail;
    amount &= 0xFF;
    if (amount == 0) return {value, carry_in};
    if (amount < 32) return shift_short(type, value, amount);
    switch (type & 3) {
        case SHIFT_LSL: return {0, amount == 32 ? bit(value, 0) : 0};
        case SHIFT_LSR: return {0, amount == 32 ? bit(value, 31) : 0};
        case SHIFT_ASR: return {sign_fill(value), bit(value, 31)};
        default:
            if ((amount & 31) == 0) return {value, bit(value, 31)};
            return shift_short(SHIFT_ROR, value, amount & 31);
    }
}

// An 8-bit immediate rotated right by twice the 4-bit rotate field, with the
// carry a flag-setting logical operation takes from it: bit 31 of the result
// when the rotation is not 0, else carry_in.
inline Shifted rotated_immediate(uint32_t imm8, uint32_t rotate, uint32_t carry_in) {
    uint32_t value = std::rotr(imm8 & 0xFF, int(2 * (rotate & 15)));
    return {value, (rotate & 15) ? shifter_detail::bit(value, 31) : carry_in};
}
