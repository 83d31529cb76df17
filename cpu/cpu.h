// The emulated ARM7TDMI's architectural state and the small operations every
// back end shares: registers and their banks, CPSR/SPSR, the four flag
// bytes, the opcode latch, the current step function, the fetches, the flag
// routines and the reset.
//
// There is one processor and it lives in static storage at fixed addresses:
// the recompiler's code addresses cpu_regs, the flag bytes and cpu_opcode
// directly. While code runs, the flag bytes are the only authoritative copy
// of N, Z, C and V; CPSR bits 28-31 follow them only through pack_flags and
// unpack_flags.
//
// Program counter: in ARM state r15 holds the executing instruction's
// address + 8, in Thumb state + 4, and cpu_opcode already holds the
// instruction being executed. Every handler prepares the next one.
#pragma once

#include <cstdint>

#include "memory/memory.h"

// r0-r15, the CPSR and the SPSR of the current mode. Bank records share the
// layout: words 8-14 (r8-r14, FIQ) or 13-14, and word 17 (SPSR) are used.
struct RegisterSet {
    uint32_t regs[16];
    uint32_t cpsr;
    uint32_t spsr;
};

extern RegisterSet cpu_live;
inline uint32_t (&cpu_regs)[16] = cpu_live.regs;
inline uint32_t& cpu_cpsr = cpu_live.cpsr;
inline uint32_t& cpu_spsr = cpu_live.spsr;

// User and System share one set of r8-r14 (kept in bank_usr while another
// mode runs); FIQ banks r8-r14; the other exception modes bank r13 and r14.
extern RegisterSet bank_usr, bank_fiq, bank_irq, bank_svc, bank_abt, bank_und;
extern RegisterSet* const mode_banks[16];  // by CPSR bits 0-3

extern uint8_t flag_n, flag_z, flag_c, flag_v;
extern uint32_t cpu_opcode;

using StepFunction = uint32_t (*)();
extern StepFunction cpu_step;

// How many undefined instructions and software interrupts (BIOS calls) the
// processor has executed since start-up; the headless runner reports them.
extern uint64_t undefined_instruction_count;
extern uint64_t bios_call_count;

constexpr uint32_t ARM_CYCLES = 2;
constexpr uint32_t THUMB_CYCLES = 1;

constexpr uint32_t CPSR_T = 0x20;     // Thumb state
constexpr uint32_t CPSR_I = 0x80;     // interrupts disabled (stored, never tested)
constexpr uint32_t MODE_SVC = 0x13;   // Supervisor
constexpr uint32_t MODE_MASK = 0x0F;  // the mode index: bit 4 plays no part

void cpu_reset();
void cpu_set_mode(uint32_t value);
void pack_flags();
void unpack_flags();

// True in the modes that have an SPSR: every mode index but User (0) and
// System (15).
inline bool mode_has_spsr() {
    uint32_t index = cpu_cpsr & MODE_MASK;
    return index != 0 && index != 15;
}

// The fetches that end every handler and the flag routines below are
// defined here, inline: one fetch runs per instruction and most set flags
// (the recompiler's code calls their out-of-line copies). ARM fetches read
// the region arrays directly; Thumb fetches return what mem_read16 would.
inline uint32_t arm_fetch() {  // cpu_opcode = word at r15 - 4; r15 += 4
    cpu_opcode = fetch_word(cpu_regs[15] - 4);
    cpu_regs[15] += 4;
    return cpu_opcode;
}
inline uint32_t arm_refill() {  // cpu_opcode = word at r15; r15 += 8
    cpu_opcode = fetch_word(cpu_regs[15]);
    cpu_regs[15] += 8;
    return cpu_opcode;
}
inline uint32_t thumb_fetch() {  // cpu_opcode = halfword at r15 - 2; r15 += 2
    cpu_opcode = fetch_halfword(cpu_regs[15] - 2);
    cpu_regs[15] += 2;
    return cpu_opcode;
}
inline uint32_t thumb_refill() {  // cpu_opcode = halfword at r15; r15 += 4
    cpu_opcode = fetch_halfword(cpu_regs[15]);
    cpu_regs[15] += 4;
    return cpu_opcode;
}

inline void set_nz_flags(uint32_t value) {
    flag_z = value == 0;
    flag_n = value >> 31;
}
// Flags of a + b + carry_in and a - b - borrow_in, computed from the whole
// operation: C is the carry out (for subtraction: no borrow), V the
// two's-complement overflow.
inline void set_add_flags(uint32_t a, uint32_t b, uint32_t result) {
    set_nz_flags(result);
    flag_c = uint64_t(a) + b > 0xFFFFFFFFu;
    flag_v = ((a ^ result) & (b ^ result)) >> 31;  // same-sign operands, sign changed
}
inline void set_sub_flags(uint32_t a, uint32_t b, uint32_t result) {
    set_nz_flags(result);
    flag_c = a >= b;                          // no borrow
    flag_v = ((a ^ b) & (a ^ result)) >> 31;  // signs differ, result's sign not a's
}
void set_adc_flags(uint32_t a, uint32_t b, uint32_t carry_in);
void set_sbc_flags(uint32_t a, uint32_t b, uint32_t carry_in);

// The sixteen ARM condition codes against the flag bytes; shared by
// arm_step, the Thumb conditional branch and the recompiler's cond_test.
inline bool condition_passed(uint32_t cond) {
    switch (cond & 15) {
        case 0x0: return flag_z;                             // EQ
        case 0x1: return !flag_z;                            // NE
        case 0x2: return flag_c;                             // CS
        case 0x3: return !flag_c;                            // CC
        case 0x4: return flag_n;                             // MI
        case 0x5: return !flag_n;                            // PL
        case 0x6: return flag_v;                             // VS
        case 0x7: return !flag_v;                            // VC
        case 0x8: return flag_c && !flag_z;                  // HI
        case 0x9: return !flag_c || flag_z;                  // LS
        case 0xA: return flag_n == flag_v;                   // GE
        case 0xB: return flag_n != flag_v;                   // LT
        case 0xC: return !flag_z && flag_n == flag_v;        // GT
        case 0xD: return flag_z || flag_n != flag_v;         // LE
        case 0xE: return true;                               // AL
        default: return false;                               // 0xF: never
    }
}

// Step functions of the interpreter (the recompiler adds dynarec_step).
uint32_t arm_step();
uint32_t thumb_step();

// A software interrupt (ARM or Thumb SWI): the SPSR receives the CPSR with
// the flags packed into it, the CPSR becomes Supervisor mode with interrupts
// disabled in ARM state, r14 = return_address, and execution continues at
// the BIOS vector 0x08 in ARM state (arm_step replaces thumb_step).
void enter_software_interrupt(uint32_t return_address);

// Enter Thumb state at target (bit 0 ignored): T set, thumb_step installed,
// the first halfword latched. Used by BX and by exception return.
void enter_thumb(uint32_t target);
// Leave Thumb state for ARM code at target: T clear, arm_step installed.
void enter_arm(uint32_t target);
