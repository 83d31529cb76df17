// The Interpretative method's step for ARM state.
#include "cpu/arm.h"

Handler arm_table[4096];
uint16_t arm_facts[4096];

uint32_t arm_step() {
    arm_execute();
    return ARM_CYCLES;
}

bool arm_unhandled() { return undefined_instruction(); }
