// The processor record, bank switching, flags, the reset, and the two
// places where an undefined instruction and a software interrupt execute.
#include "cpu/cpu.h"

Processor cpu;
Method cpu_method = Method::Interpretative;
uint64_t undefined_instruction_count;
uint64_t bios_call_count;

// clang-format off
RegisterSet* const mode_banks[16] = {
    &cpu.usr,  // 0  User (0x10)
    &cpu.fiq,  // 1  FIQ (0x11)
    &cpu.irq,  // 2  IRQ (0x12)
    &cpu.svc,  // 3  Supervisor (0x13)
    &cpu.und,  // 4  no mode
    &cpu.und,  // 5  no mode
    &cpu.und,  // 6  no mode
    &cpu.abt,  // 7  Abort (0x17)
    &cpu.und,  // 8  no mode
    &cpu.und,  // 9  no mode
    &cpu.und,  // 10 no mode
    &cpu.und,  // 11 Undefined (0x1B)
    &cpu.und,  // 12 no mode
    &cpu.und,  // 13 no mode
    &cpu.und,  // 14 no mode
    &cpu.usr,  // 15 System (0x1F), sharing User's registers
};
// clang-format on

void cpu_reset() {
    cpu = Processor{};
    cpu_cpsr = MODE_SYSTEM;
    cpu_method = Method::Interpretative;
    cpu_regs[13] = 0x03007F00;
    bank_irq.regs[13] = 0x03007FA0;
    bank_svc.regs[13] = 0x03007FE0;
    cpu_regs[15] = 0x08000000;
    arm_refill();
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
}

// r15 keeps a set bit 1, which the ARM fetch ignores.
void enter_arm(uint32_t target) {
    cpu_regs[15] = target;
    cpu_cpsr &= ~CPSR_T;
}

bool enter_software_interrupt(uint32_t return_address) {
    bios_call_count++;
    pack_flags();
    uint32_t saved = cpu_cpsr;
    cpu_set_mode(MODE_SVC | CPSR_I);
    cpu_spsr = saved;
    cpu_regs[14] = return_address;
    cpu_regs[15] = 0x08;
    return JUMPED;
}

bool undefined_instruction() {
    undefined_instruction_count++;
    return NEXT;
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
