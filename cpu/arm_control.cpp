// ARM handlers that change the flow of control or the processor state:
// B, BL, BX, the multiplies, MRS, MSR and SWI, and the exception return
// shared with the flag-setting data processing and LDM.
#include "cpu/arm_handlers.h"
#include "cpu/cpu.h"

bool return_from_exception(uint32_t target) {
    if (mode_has_spsr()) {
        cpu_set_mode(cpu_spsr);
        unpack_flags();
    }
    // The T bit the SPSR restored names the instruction set to continue in.
    cpu_regs[15] = in_thumb_state() ? target & ~1u : target;
    return JUMPED;
}

//   31  28 27 25 24 23                                              0
//  | cond | 101 | L |          signed word offset                   |
// The target is the instruction's address + 8 + 4 x offset; r15 already
// holds address + 8. Bit 23 chose the handler, so each adds a known sign.

namespace {

bool branch_by(uint32_t distance) {
    cpu_regs[15] += distance;
    return JUMPED;
}

bool branch_with_link_by(uint32_t distance) {
    cpu_regs[14] = cpu_regs[15] - 4;
    return branch_by(distance);
}

}  // namespace

// B<c> <label>  (forward)
bool arm_b_forward() { return branch_by((cpu_opcode & 0x7FFFFF) * 4); }
// B<c> <label>  (backward)
bool arm_b_backward() { return branch_by((cpu_opcode & 0xFFFFFF) * 4 - 0x4000000); }
// BL<c> <label>  (forward)
bool arm_bl_forward() { return branch_with_link_by((cpu_opcode & 0x7FFFFF) * 4); }
// BL<c> <label>  (backward)
bool arm_bl_backward() { return branch_with_link_by((cpu_opcode & 0xFFFFFF) * 4 - 0x4000000); }

// The decoded forms: `operand` holds the distance, 4 x the offset.
bool arm_b_record(const Decoded& d) { return branch_by(d.operand); }
bool arm_bl_record(const Decoded& d) { return branch_with_link_by(d.operand); }

// BX<c> <Rm>
bool arm_bx() {
    uint32_t target = cpu_regs[cpu_opcode & 15];
    if (target & 1) {
        enter_thumb(target);
    } else {
        cpu_regs[15] = target;
    }
    return JUMPED;
}

//   31  28 27   23 22 21 20 19  16 15  12 11   8 7    4 3   0
//  | cond | 0000  | U  A  S |  Rd  |  Rn  |  Rs  | 1001 |  Rm  |
// Short forms: Rd = bits 19-16, accumulator Rn = bits 15-12. Long forms:
// RdHi = bits 19-16, RdLo = bits 15-12, written high word first. C and V
// are never changed.

namespace {

uint32_t field(int shift) { return cpu_regs[(cpu_opcode >> shift) & 15]; }

// A destination r15 takes the result without a jump: the next fetch reads
// from it.
bool write_short(uint32_t result) {
    cpu_regs[(cpu_opcode >> 16) & 15] = result;
    return NEXT;
}

bool write_short_s(uint32_t result) {
    set_nz_flags(result);
    return write_short(result);
}

uint64_t long_accumulator() { return uint64_t(field(16)) << 32 | field(12); }

uint64_t unsigned_product() { return uint64_t(field(0)) * field(8); }

uint64_t signed_product() {
    return uint64_t(int64_t(int32_t(field(0))) * int64_t(int32_t(field(8))));
}

bool write_long(uint64_t result) {
    cpu_regs[(cpu_opcode >> 16) & 15] = uint32_t(result >> 32);
    cpu_regs[(cpu_opcode >> 12) & 15] = uint32_t(result);
    return NEXT;
}

bool write_long_s(uint64_t result) {
    flag_n = uint8_t(result >> 63);
    flag_z = result == 0;
    return write_long(result);
}

}  // namespace

// MUL<c> <Rd>, <Rm>, <Rs>
bool arm_mul() { return write_short(field(0) * field(8)); }
// MULS<c> <Rd>, <Rm>, <Rs>
bool arm_muls() { return write_short_s(field(0) * field(8)); }
// MLA<c> <Rd>, <Rm>, <Rs>, <Rn>
bool arm_mla() { return write_short(field(0) * field(8) + field(12)); }
// MLAS<c> <Rd>, <Rm>, <Rs>, <Rn>
bool arm_mlas() { return write_short_s(field(0) * field(8) + field(12)); }
// UMULL<c> <RdLo>, <RdHi>, <Rm>, <Rs>
bool arm_umull() { return write_long(unsigned_product()); }
// UMULLS<c> <RdLo>, <RdHi>, <Rm>, <Rs>
bool arm_umulls() { return write_long_s(unsigned_product()); }
// UMLAL<c> <RdLo>, <RdHi>, <Rm>, <Rs>
bool arm_umlal() { return write_long(long_accumulator() + unsigned_product()); }
// UMLALS<c> <RdLo>, <RdHi>, <Rm>, <Rs>
bool arm_umlals() { return write_long_s(long_accumulator() + unsigned_product()); }
// SMULL<c> <RdLo>, <RdHi>, <Rm>, <Rs>
bool arm_smull() { return write_long(signed_product()); }
// SMULLS<c> <RdLo>, <RdHi>, <Rm>, <Rs>
bool arm_smulls() { return write_long_s(signed_product()); }
// SMLAL<c> <RdLo>, <RdHi>, <Rm>, <Rs>
bool arm_smlal() { return write_long(long_accumulator() + signed_product()); }
// SMLALS<c> <RdLo>, <RdHi>, <Rm>, <Rs>
bool arm_smlals() { return write_long_s(long_accumulator() + signed_product()); }

//   31  28 27   23 22 21 20 19  16 15  12 11                   0
//  | cond | 00010 | R | 0  0 | 1111 |  Rd  | 0000 0000 0000     |  MRS
//  | cond | 00I10 | R | 1  0 | mask | 1111 |  Rm or rotated imm |  MSR
// R (bit 22) selects the SPSR. The mask bits 16-19 pick the bytes written:
// control (bits 0-7), extension, status and flags (bits 24-31).

namespace {

uint32_t field_mask() {
    uint32_t mask = 0;
    if (cpu_opcode & (1u << 16)) mask |= 0x000000FF;
    if (cpu_opcode & (1u << 17)) mask |= 0x0000FF00;
    if (cpu_opcode & (1u << 18)) mask |= 0x00FF0000;
    if (cpu_opcode & (1u << 19)) mask |= 0xFF000000;
    return mask;
}

// A new CPSR goes through cpu_set_mode (the bank switch) and then gives the
// flag bytes their values; bytes outside the mask keep the current ones,
// flags included, so the flags are packed first. The T bit keeps its value:
// it names the instruction set in use, which only BX and an exception return
// change (a program that writes it here meets a result the architecture
// leaves unpredictable).
bool write_psr(uint32_t value) {
    uint32_t mask = field_mask();
    if (cpu_opcode & (1u << 22)) {
        cpu_spsr = (cpu_spsr & ~mask) | (value & mask);
    } else {
        pack_flags();
        mask &= ~CPSR_T;
        cpu_set_mode((cpu_cpsr & ~mask) | (value & mask));
        unpack_flags();
    }
    return NEXT;
}

}  // namespace

// MRS<c> <Rd>, <CPSR|SPSR>
// A destination r15 takes the value without a jump.
bool arm_mrs() {
    pack_flags();
    cpu_regs[(cpu_opcode >> 12) & 15] = (cpu_opcode & (1u << 22)) ? cpu_spsr : cpu_cpsr;
    return NEXT;
}

// MSR<c> <CPSR|SPSR>_<fields>, <Rm>
bool arm_msr_reg() { return write_psr(cpu_regs[cpu_opcode & 15]); }

// MSR<c> <CPSR|SPSR>_<fields>, #<const>
bool arm_msr_imm() { return write_psr(rotate_immediate(cpu_opcode)); }

// SWI<c> #<imm24>
// The comment field is left to the BIOS; the return address is the next
// instruction, r15 - 4.
bool arm_swi() { return enter_software_interrupt(cpu_regs[15] - 4); }
