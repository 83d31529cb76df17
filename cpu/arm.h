// ARM decoding: `arm_table` holds one handler per combination of opcode
// bits 27-20 and 7-4; `arm_step` tests the condition and dispatches.
//
// A handler takes no argument: it decodes cpu_opcode itself (r15 holds the
// instruction's address + 8), executes it, prepares the next instruction
// with arm_fetch or, after writing r15, arm_refill, and returns ARM_CYCLES.
#pragma once

#include <cstdint>

using Handler = uint32_t (*)();

extern Handler arm_table[4096];

// index bits 11-4 = opcode bits 27-20, index bits 3-0 = opcode bits 7-4
inline uint32_t arm_index(uint32_t opcode) {
    return ((opcode >> 16) & 0xFF0) | ((opcode >> 4) & 0xF);
}

void build_arm_table();
uint32_t arm_unhandled();
