// Loads as the ARM7TDMI performs them at unaligned addresses, on top of a
// bus that ignores the low address bits: shared by the ARM and Thumb
// handlers.
#pragma once

#include <bit>
#include <cstdint>

#include "cpu/data_access.h"

// LDR and SWP: the word at address & ~3 rotated right by 8 x (address & 3).
inline uint32_t load_word_rotated(uint32_t address) {
    return std::rotr(cpu_read32(address), int(8 * (address & 3)));
}

// LDRH: at an odd address, the halfword at address & ~1 rotated right by 8
// within 32 bits.
inline uint32_t load_halfword_rotated(uint32_t address) {
    uint32_t half = cpu_read16(address) & 0xFFFF;
    return (address & 1) ? std::rotr(half, 8) : half;
}

// LDRSH: at an odd address, the byte at that address sign-extended.
inline uint32_t load_signed_halfword(uint32_t address) {
    if (address & 1) return uint32_t(int32_t(int8_t(cpu_read8(address))));
    return uint32_t(int32_t(int16_t(cpu_read16(address))));
}

inline uint32_t load_signed_byte(uint32_t address) {
    return uint32_t(int32_t(int8_t(cpu_read8(address))));
}
