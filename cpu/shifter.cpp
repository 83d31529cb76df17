// Shift results and carries as the ARM7TDMI defines them.
#include "cpu/shifter.h"

namespace {

uint32_t rotate_right(uint32_t value, uint32_t amount) {
    amount &= 31;
    return amount ? (value >> amount) | (value << (32 - amount)) : value;
}

uint32_t bit(uint32_t value, uint32_t n) { return (value >> n) & 1; }

uint32_t sign_fill(uint32_t value) { return (value & 0x80000000u) ? 0xFFFFFFFFu : 0; }

// A shift by 1-31, where every type is plain.
Shifted shift_short(uint32_t type, uint32_t value, uint32_t amount) {
    switch (type & 3) {
        case SHIFT_LSL: return {value << amount, bit(value, 32 - amount)};
        case SHIFT_LSR: return {value >> amount, bit(value, amount - 1)};
        case SHIFT_ASR: return {uint32_t(int32_t(value) >> amount), bit(value, amount - 1)};
        default: return {rotate_right(value, amount), bit(value, amount - 1)};
    }
}

}  // namespace

Shifted shift_immediate(uint32_t type, uint32_t value, uint32_t amount, uint32_t carry_in) {
    amount &= 31;
    if (amount != 0) return shift_short(type, value, amount);
    switch (type & 3) {
        case SHIFT_LSL: return {value, carry_in};
        case SHIFT_LSR: return {0, bit(value, 31)};
        case SHIFT_ASR: return {sign_fill(value), bit(value, 31)};
        default: return {(carry_in << 31) | (value >> 1), bit(value, 0)};  // RRX
    }
}

Shifted shift_register(uint32_t type, uint32_t value, uint32_t amount, uint32_t carry_in) {
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

Shifted rotated_immediate(uint32_t imm8, uint32_t rotate, uint32_t carry_in) {
    uint32_t value = rotate_right(imm8 & 0xFF, 2 * (rotate & 15));
    return {value, (rotate & 15) ? bit(value, 31) : carry_in};
}
