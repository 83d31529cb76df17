// Processor state, bank switching, flags, fetches and reset.
#include "cpu/cpu.h"
#include "memory/memory.h"

RegisterSet cpu_live;
RegisterSet bank_usr, bank_fiq, bank_irq, bank_svc, bank_abt, bank_und;
uint8_t flag_n, flag_z, flag_c, flag_v;
uint32_t cpu_opcode;
StepFunction cpu_step = arm_step;
uint64_t undefined_instruction_count;
uint64_t bios_call_count;

// clang-format off
RegisterSet* const mode_banks[16] = {
    &bank_usr,  // 0  User (0x10)
    &bank_fiq,  // 1  FIQ (0x11)
    &bank_irq,  // 2  IRQ (0x12)
    &bank_svc,  // 3  Supervisor (0x13)
    &bank_und,  // 4  no mode
    &bank_und,  // 5  no mode
    &bank_und,  // 6  no mode
    &bank_abt,  // 7  Abort (0x17)
    &bank_und,  // 8  no mode
    &bank_und,  // 9  no mode
    &bank_und,  // 10 no mode
    &bank_und,  // 11 Undefined (0x1B)
    &bank_und,  // 12 no mode
    &bank_und,  // 13 no mode
    &bank_und,  // 14 no mode
    &bank_usr,  // 15 System (0x1F), sharing User's registers
};
// clang-format on

// Back to the state the program starts in: User mode, ARM state, flags
// clear, so that a cartridge runs the same on every load whatever the
// previous one left behind.
void cpu_reset() {
    cpu_set_mode(0);
    flag_n = flag_z = flag_c = flag_v = 0;
    cpu_step = arm_step;
    for (int i = 0; i <= 12; i++) cpu_regs[i] = 0;
    cpu_regs[13] = 0x03007F00;
    bank_irq.regs[13] = 0x03007FA0;
    bank_svc.regs[13] = 0x03007FE0;
    cpu_regs[14] = 0;
    cpu_regs[15] = 0x08000000;
}

// The one place where register banks switch. r13, r14 and the SPSR go to
// the old mode's record and come from the new one's; r8-r12 move too when
// FIQ is left or entered, since only FIQ has its own.
void cpu_set_mode(uint32_t value) {
    RegisterSet* old_bank = mode_banks[cpu_cpsr & MODE_MASK];
    RegisterSet* new_bank = mode_banks[value & MODE_MASK];
    if (old_bank != new_bank) {
        old_bank->regs[13] = cpu_regs[13];
        old_bank->regs[14] = cpu_regs[14];
        old_bank->spsr = cpu_spsr;
        if (old_bank == &bank_fiq || new_bank == &bank_fiq) {
            RegisterSet* leaving = old_bank == &bank_fiq ? &bank_fiq : &bank_usr;
            RegisterSet* entering = new_bank == &bank_fiq ? &bank_fiq : &bank_usr;
            for (int i = 8; i <= 12; i++) {
                leaving->regs[i] = cpu_regs[i];
                cpu_regs[i] = entering->regs[i];
            }
        }
        cpu_regs[13] = new_bank->regs[13];
        cpu_regs[14] = new_bank->regs[14];
        cpu_spsr = new_bank->spsr;
    }
    cpu_cpsr = value;
}

void pack_flags() {
    cpu_cpsr = (cpu_cpsr & 0x0FFFFFFF) | uint32_t(flag_n != 0) << 31 | uint32_t(flag_z != 0) << 30 |
               uint32_t(flag_c != 0) << 29 | uint32_t(flag_v != 0) << 28;
}

void unpack_flags() {
    flag_n = (cpu_cpsr >> 31) & 1;
    flag_z = (cpu_cpsr >> 30) & 1;
    flag_c = (cpu_cpsr >> 29) & 1;
    flag_v = (cpu_cpsr >> 28) & 1;
}

void enter_thumb(uint32_t target) {
    cpu_regs[15] = target & ~1u;
    cpu_cpsr |= CPSR_T;
    cpu_step = thumb_step;
    thumb_refill();
}

void enter_arm(uint32_t target) {
    cpu_regs[15] = target;
    cpu_cpsr &= ~CPSR_T;
    cpu_step = arm_step;
    arm_refill();
}

void enter_software_interrupt(uint32_t return_address) {
    bios_call_count++;
    pack_flags();
    uint32_t saved = cpu_cpsr;
    cpu_set_mode(MODE_SVC | CPSR_I);
    cpu_spsr = saved;
    cpu_regs[14] = return_address;
    cpu_regs[15] = 0x08;
    // The vector is ARM code: a Thumb SWI returns to the ARM interpreter; in
    // ARM state the step function in use (interpreter or recompiler) stays.
    if (cpu_step == thumb_step) cpu_step = arm_step;
    arm_refill();
}

void set_adc_flags(uint32_t a, uint32_t b, uint32_t carry_in) {
    uint64_t wide = uint64_t(a) + b + carry_in;
    uint32_t result = uint32_t(wide);
    set_nz_flags(result);
    flag_c = wide >> 32;
    flag_v = ((a ^ result) & (b ^ result)) >> 31;
}

void set_sbc_flags(uint32_t a, uint32_t b, uint32_t carry_in) {
    uint32_t borrow = 1 - carry_in;
    uint32_t result = a - b - borrow;
    set_nz_flags(result);
    flag_c = uint64_t(a) >= uint64_t(b) + borrow;
    flag_v = ((a ^ b) & (a ^ result)) >> 31;
}
