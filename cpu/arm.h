// ARM decoding: one description of the instruction set (cpu/arm_table.cpp)
// from which `arm_table` (one handler per combination of opcode bits 27-20
// and 7-4) and `arm_facts` (what each encoding does besides its work, for
// the recompiler) are both built, and the step that dispatches through it.
//
// A handler takes no argument: it decodes cpu_opcode itself (r15 holds the
// instruction's address + 8), executes it and reports NEXT or JUMPED
// (cpu/cpu.h); it never fetches.
#pragma once

#include <cstdint>

#include "cpu/cpu.h"

extern Handler arm_table[4096];

// index bits 11-4 = opcode bits 27-20, index bits 3-0 = opcode bits 7-4
inline uint32_t arm_index(uint32_t opcode) {
    return ((opcode >> 16) & 0xFF0) | ((opcode >> 4) & 0xF);
}

void build_arm_table();
// Undefined encodings, the coprocessor space among them: nothing happens.
bool arm_unhandled();

// Facts per index. Register numbers in bits 15-12 (Rd) and 19-16 (Rn) and
// the register list are not in the index: the queries below combine the
// facts with the opcode's fields.
enum ArmFact : uint16_t {
    ARM_JUMPS = 1 << 0,          // always continues elsewhere: B, BL, BX, SWI
    ARM_WRITES_RD = 1 << 1,      // writes the register in bits 15-12
    ARM_WRITES_RN = 1 << 2,      // writes the register in bits 19-16 (write-back, multiply)
    ARM_LOADS_LIST = 1 << 3,     // LDM: writes r15 when list bit 15 is set
    ARM_RESTORES_CPSR = 1 << 4,  // its write of r15 is an exception return
    ARM_CHANGES_STATE = 1 << 5,  // may change the mode or the instruction set
    ARM_WRITES_CPSR = 1 << 6,    // MSR CPSR: the flags when mask bit 19 is set
    ARM_READS_C = 1 << 7,        // result or C out depends on C in
    ARM_READS_FLAGS = 1 << 8,    // reads all four (MRS, SWI)
    ARM_SETS_NZ = 1 << 9,
    ARM_SETS_C = 1 << 10,
    ARM_SETS_V = 1 << 11,
    ARM_SHIFTS_RM = 1 << 12,  // an operand is Rm through the shifter: RRX reads C
};
extern uint16_t arm_facts[4096];

// Flag masks, as a nibble N Z C V.
constexpr uint32_t FLAG_N = 8, FLAG_Z = 4, FLAG_C = 2, FLAG_V = 1;
constexpr uint32_t FLAGS_ALL = 15;

// True when executing the opcode (its condition passed) may write r15.
bool arm_writes_pc(uint32_t opcode);
// True when it may change the mode, the instruction set or restore the CPSR.
bool arm_changes_state(uint32_t opcode);
// The recompiler ends a block after either.
inline bool arm_ends_block(uint32_t opcode) {
    return arm_writes_pc(opcode) || arm_changes_state(opcode);
}
// The flags whose value the opcode's execution may depend on, its
// condition included.
uint32_t arm_flags_read(uint32_t opcode);
// The flags it may change (one it may leave as it was is also read).
uint32_t arm_flags_set(uint32_t opcode);
// The flags a condition code tests.
uint32_t condition_flags(uint32_t cond);

// Executes the latched ARM instruction and latches the next: r15 = A + 8 on
// entry, the next instruction's address + 8 on return. A failed condition
// (and condition 0xF, which never passes) only moves on. Returns whether
// it jumped.
inline bool arm_execute() {
    uint32_t opcode = cpu_opcode;
    uint32_t cond = opcode >> 28;
    if ((cond == 0xE || condition_passed(cond)) && arm_table[arm_index(opcode)]()) {
        cpu_refill();
        return true;
    }
    arm_fetch();
    return false;
}
