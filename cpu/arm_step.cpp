// The Interpretative method's step function for ARM state.
#include "cpu/arm.h"
#include "cpu/cpu.h"

Handler arm_table[4096];

// A failed condition (and condition 0xF, which never passes) costs the same
// 2 cycles as an executed instruction and only moves on.
uint32_t arm_step() {
    uint32_t cond = cpu_opcode >> 28;
    if (cond != 0xE && !condition_passed(cond)) {  // most instructions are AL
        arm_fetch();
        return ARM_CYCLES;
    }
    return arm_table[arm_index(cpu_opcode)]();
}

// Undefined and coprocessor encodings do not raise the undefined-instruction
// exception: they only move on.
uint32_t arm_unhandled() {
    undefined_instruction_count++;
    arm_fetch();
    return ARM_CYCLES;
}
