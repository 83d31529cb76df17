// Thumb decoding: `thumb_table` holds one handler per value of opcode bits
// 15-6; `thumb_step` dispatches the latched halfword.
//
// A handler decodes cpu_opcode itself (r15 holds the instruction's address
// + 4), executes it, prepares the next instruction with thumb_fetch or, after
// writing r15, thumb_refill, and returns its cycles (1; 2 for BL).
#pragma once

#include <cstdint>

#include "cpu/arm.h"

extern Handler thumb_table[1024];

inline uint32_t thumb_index(uint32_t opcode) { return (opcode >> 6) & 0x3FF; }

void build_thumb_table();
