// Placeholder until the recompiler exists: the method is reported as not
// available, so nothing ever installs dynarec_step.
#include "dynarec/dynarec.h"

#include "cpu/cpu.h"

bool dynarec_available() { return false; }
uint32_t dynarec_step() { return arm_step(); }
void code_buffer_init() {}
void code_buffer_release() {}
void dynarec_flush() {}
