// The emulated ARM7TDMI's architectural state and the small operations every
// back end shares: the processor record (registers and their banks,
// CPSR/SPSR, the four flag bytes, the opcode latch), the method the user
// chose, the fetches, the flag routines, the reset and the run loop.
//
// There is one processor and it lives in static storage at a fixed address:
// the recompiler's code addresses cpu_regs, the flag bytes and cpu_opcode
// directly. While code runs, the flag bytes are the only authoritative copy
// of N, Z, C and V; CPSR bits 28-31 follow them only through pack_flags and
// unpack_flags.
//
// Program counter: in ARM state r15 holds the executing instruction's
// address + 8, in Thumb state + 4, and cpu_opcode holds the instruction
// being executed. Handlers never fetch: the step that calls them latches
// the next instruction, sequentially or at r15 as the handler reports.
//
// Instruction set and method are two facts: the T bit of the CPSR says
// which instruction set runs, `cpu_method` which method the user chose; the
// method runs ARM and Thumb code alike.
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

// The whole processor. cpu_reset gives every field its start value, so
// nothing one cartridge leaves here reaches the next.
struct Processor {
    RegisterSet live;
    // Next to the live registers: translated code reaches all of them from
    // the record's start with one-byte displacements.
    uint32_t opcode;  // the instruction being executed (Thumb: zero-extended)
    uint8_t n, z, c, v;
    // User and System share one set of r8-r14 (kept in usr while another
    // mode runs); FIQ banks r8-r14; the other exception modes r13 and r14.
    RegisterSet usr, fiq, irq, svc, abt, und;
};

extern Processor cpu;

// The system's names for the parts of the record.
inline uint32_t (&cpu_regs)[16] = cpu.live.regs;
inline uint32_t& cpu_cpsr = cpu.live.cpsr;
inline uint32_t& cpu_spsr = cpu.live.spsr;
inline uint32_t& cpu_opcode = cpu.opcode;
inline uint8_t& flag_n = cpu.n;
inline uint8_t& flag_z = cpu.z;
inline uint8_t& flag_c = cpu.c;
inline uint8_t& flag_v = cpu.v;
inline RegisterSet& bank_usr = cpu.usr;
inline RegisterSet& bank_fiq = cpu.fiq;
inline RegisterSet& bank_irq = cpu.irq;
inline RegisterSet& bank_svc = cpu.svc;
inline RegisterSet& bank_abt = cpu.abt;
inline RegisterSet& bank_und = cpu.und;
extern RegisterSet* const mode_banks[16];  // by CPSR bits 0-3

// The method the user chose: changed by F5 (Interpretative), F6 (Dynarec)
// and a cartridge load (Interpretative), by nothing the program does.
enum class Method : uint8_t { Interpretative, Dynarec };
extern Method cpu_method;

// A handler executes cpu_opcode and reports how execution goes on: NEXT
// with the following instruction, JUMPED at the address r15 now holds (a
// branch, a write of r15, a change of instruction set or mode). Either way
// the caller then fetches.
using Handler = bool (*)();
constexpr bool NEXT = false;
constexpr bool JUMPED = true;

// How many undefined instructions and software interrupts (BIOS calls) the
// processor has executed since start-up; the headless runner reports them.
extern uint64_t undefined_instruction_count;
extern uint64_t bios_call_count;

constexpr uint32_t ARM_CYCLES = 2;
constexpr uint32_t THUMB_CYCLES = 1;

constexpr uint32_t CPSR_T = 0x20;       // Thumb state
constexpr uint32_t CPSR_I = 0x80;       // interrupts disabled (stored, never tested)
constexpr uint32_t MODE_SVC = 0x13;     // Supervisor
constexpr uint32_t MODE_SYSTEM = 0x1F;  // where the console's boot ROM leaves a cartridge
constexpr uint32_t MODE_MASK = 0x0F;    // the mode index: bit 4 plays no part

// The start of every cartridge: every register, bank, SPSR and flag cleared,
// System mode in ARM state, the stacks where the console's boot ROM puts
// them, the Interpretative method, and the first word at 0x08000000
// latched. Memory must hold the cartridge already.
void cpu_reset();
void cpu_set_mode(uint32_t value);
void pack_flags();
void unpack_flags();

inline bool in_thumb_state() { return cpu_cpsr & CPSR_T; }

// True in the modes that have an SPSR: every mode index but User (0) and
// System (15).
inline bool mode_has_spsr() {
    uint32_t index = cpu_cpsr & MODE_MASK;
    return index != 0 && index != 15;
}

// The fetches. ARM fetches read the region arrays directly; Thumb fetches
// return what mem_read16 would. Inline: one runs per instruction (the
// recompiler's code calls their out-of-line copies).
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
// After a jump: latch the instruction at r15 in the instruction set the T
// bit now names.
inline void cpu_refill() {
    if (in_thumb_state()) {
        thumb_refill();
    } else {
        arm_refill();
    }
}

inline void set_nz_flags(uint32_t value) {
    flag_z = value == 0;
    flag_n = value >> 31;
}
// a + b and a - b, returned, with the flags they set: C is the carry out
// (for subtraction: no borrow), V the two's-complement overflow. The
// result comes from the same operation as V, so that the host computes it
// once and takes V from its own overflow flag.
inline uint32_t add_setting_flags(uint32_t a, uint32_t b) {
    int32_t sum;
    flag_v = __builtin_add_overflow(int32_t(a), int32_t(b), &sum);
    uint32_t result = uint32_t(sum);
    flag_c = result < a;  // the sum wrapped
    set_nz_flags(result);
    return result;
}
inline uint32_t sub_setting_flags(uint32_t a, uint32_t b) {
    int32_t difference;
    flag_v = __builtin_sub_overflow(int32_t(a), int32_t(b), &difference);
    flag_c = a >= b;  // no borrow
    set_nz_flags(uint32_t(difference));
    return uint32_t(difference);
}
// The same with a carry in: C and V from the whole three-operand operation.
void set_adc_flags(uint32_t a, uint32_t b, uint32_t carry_in);
void set_sbc_flags(uint32_t a, uint32_t b, uint32_t carry_in);

// The sixteen ARM condition codes against the flag bytes; shared by the ARM
// step, the Thumb conditional branch and the recompiler's cond_test.
inline bool condition_passed(uint32_t cond) {
    switch (cond & 15) {
        case 0x0: return flag_z;                       // EQ
        case 0x1: return !flag_z;                      // NE
        case 0x2: return flag_c;                       // CS
        case 0x3: return !flag_c;                      // CC
        case 0x4: return flag_n;                       // MI
        case 0x5: return !flag_n;                      // PL
        case 0x6: return flag_v;                       // VS
        case 0x7: return !flag_v;                      // VC
        case 0x8: return flag_c && !flag_z;            // HI
        case 0x9: return !flag_c || flag_z;            // LS
        case 0xA: return flag_n == flag_v;             // GE
        case 0xB: return flag_n != flag_v;             // LT
        case 0xC: return !flag_z && flag_n == flag_v;  // GT
        case 0xD: return flag_z || flag_n != flag_v;   // LE
        case 0xE: return true;                         // AL
        default: return false;                         // 0xF: never
    }
}

// One step of the interpreter: the latched instruction executed and the
// next one latched. Each returns the step's cycles: an ARM instruction 2
// (a failed condition too), a Thumb one 1, Thumb BL (both halves) 2.
uint32_t arm_step();
uint32_t thumb_step();

// One step as the frame loop takes it, on the chosen method (for Dynarec, a
// whole translated block). Returns the cycles in the low 16 bits.
uint32_t cpu_step();

// Runs steps until their cycles, plus `extra` per step, reach the budget.
// The sum is tested before each step, so the last step may pass the budget,
// and the overshoot is not carried over. Counts the steps in steps_taken;
// returns the cycles they took, the overshoot included.
uint32_t cpu_run(uint32_t budget, uint32_t extra);
// The same on the interpreter, from `sum` cycles already spent: the steps
// the recompiler leaves to it. Returns the new sum.
uint32_t cpu_interpret(uint32_t sum, uint32_t budget, uint32_t extra);

// For the recompiler's run loop: steps of the interpreter from the latched
// state, as cpu_run takes them, until `budget` cycles are spent (tested
// before each step) or the stretch ends. BLOCK_START ends it where a block
// would start: after a jump, or at the start of an aligned group of `group`
// instructions (a power of two). PAGE_END ends it only where the code
// leaves the 4 KB page it started in. Either ends where the code changes
// its instruction set. Leaves the state latched; does not count the steps
// in steps_taken.
enum class StretchEnd { BLOCK_START, PAGE_END };
struct Stretch {
    uint32_t cycles, steps;
};
Stretch cpu_run_stretch(uint32_t budget, uint32_t extra, StretchEnd end, uint32_t group);

// Steps run since start-up (a translated block counts its instructions),
// for --stats and the benchmarks.
extern uint64_t steps_taken;

// A software interrupt (ARM or Thumb SWI): the SPSR receives the CPSR with
// the flags packed into it, the CPSR becomes Supervisor mode with interrupts
// disabled in ARM state, r14 = return_address, and execution continues at
// the BIOS vector 0x08. Returns JUMPED, for the handler to pass on.
bool enter_software_interrupt(uint32_t return_address);

// The one place where an undefined instruction executes, in either
// instruction set: no exception is raised, execution goes on with the next
// instruction. Returns NEXT.
bool undefined_instruction();

// Continue at target in Thumb state (bit 0 ignored) or ARM state: sets or
// clears T and r15; the caller reports JUMPED.
void enter_thumb(uint32_t target);
void enter_arm(uint32_t target);
