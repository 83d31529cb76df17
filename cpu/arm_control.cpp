// ARM handlers that change the flow of control or the processor state:
// B, BL, BX, the multiplies, MRS, MSR and SWI, and the exception return
// shared with the flag-setting data processing and LDM.
#include <array>
#include <utility>

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

// The decoded forms: `operand` holds the distance in instructions from
// this one, offset + 2. B<cond> has one form per condition, which tests its
// own flags.
uint32_t arm_b_record(Decoded* d, const uint8_t* code, uint32_t left) {
    return arm_branch(d, code, left, int32_t(d->operand));
}
uint32_t arm_bl_record(Decoded* d, const uint8_t* code, uint32_t left) {
    cpu_regs[14] = arm_r15_of(d) - 4;
    return arm_branch(d, code, left, int32_t(d->operand));
}

namespace {

template <uint32_t cond>
uint32_t b_when(Decoded* d, const uint8_t* code, uint32_t left) {
    if (!condition_passed(cond)) return arm_next(d, code, left);
    return arm_b_record(d, code, left);
}

template <std::size_t... cond>
constexpr std::array<DecodedRun, 16> b_when_table(std::index_sequence<cond...>) {
    return {b_when<cond>...};
}
constexpr std::array<DecodedRun, 16> conditional_branches =
    b_when_table(std::make_index_sequence<16>());

}  // namespace

DecodedRun arm_b_conditional(uint32_t cond) { return conditional_branches[cond & 15]; }

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

uint32_t arm_bx_record(Decoded* d, const uint8_t*, uint32_t left) {
    uint32_t target = cpu_regs[d->rm];
    if (target & 1) {
        enter_thumb(target);
        return left - 1;
    }
    return arm_continue_at(target, left);
}

//   31  28 27   23 22 21 20 19  16 15  12 11   8 7    4 3   0
//  | cond | 0000  | U  A  S |  Rd  |  Rn  |  Rs  | 1001 |  Rm  |
// Short forms: Rd = bits 19-16, accumulator Rn = bits 15-12. Long forms:
// RdHi = bits 19-16, RdLo = bits 15-12, written high word first. C and V
// are never changed.

namespace {

// The operations take the instruction's word: the latched one for the
// table's handlers, the record's for the record forms.
uint32_t field(uint32_t opcode, int shift) { return cpu_regs[(opcode >> shift) & 15]; }

// A destination r15 takes the result without a jump: the next fetch reads
// from it.
template <bool accumulate, bool s>
bool multiply(uint32_t opcode) {
    uint32_t result = field(opcode, 0) * field(opcode, 8);
    if (accumulate) result += field(opcode, 12);
    if (s) set_nz_flags(result);
    cpu_regs[(opcode >> 16) & 15] = result;
    return NEXT;
}

template <bool is_signed, bool accumulate, bool s>
bool multiply_long(uint32_t opcode) {
    uint32_t rm = field(opcode, 0), rs = field(opcode, 8);
    uint64_t result =
        is_signed ? uint64_t(int64_t(int32_t(rm)) * int64_t(int32_t(rs))) : uint64_t(rm) * rs;
    if (accumulate) result += uint64_t(field(opcode, 16)) << 32 | field(opcode, 12);
    if (s) {
        flag_n = uint8_t(result >> 63);
        flag_z = result == 0;
    }
    cpu_regs[(opcode >> 16) & 15] = uint32_t(result >> 32);
    cpu_regs[(opcode >> 12) & 15] = uint32_t(result);
    return NEXT;
}

// The record form, for a multiply none of whose registers is r15.
template <bool (*operation)(uint32_t opcode)>
uint32_t multiply_record(Decoded* d, const uint8_t* code, uint32_t left) {
    operation(d->word);
    return arm_next(d, code, left);
}

}  // namespace

// MUL<c> <Rd>, <Rm>, <Rs>
bool arm_mul() { return multiply<false, false>(cpu_opcode); }
// MULS<c> <Rd>, <Rm>, <Rs>
bool arm_muls() { return multiply<false, true>(cpu_opcode); }
// MLA<c> <Rd>, <Rm>, <Rs>, <Rn>
bool arm_mla() { return multiply<true, false>(cpu_opcode); }
// MLAS<c> <Rd>, <Rm>, <Rs>, <Rn>
bool arm_mlas() { return multiply<true, true>(cpu_opcode); }
// UMULL<c> <RdLo>, <RdHi>, <Rm>, <Rs>
bool arm_umull() { return multiply_long<false, false, false>(cpu_opcode); }
// UMULLS<c> <RdLo>, <RdHi>, <Rm>, <Rs>
bool arm_umulls() { return multiply_long<false, false, true>(cpu_opcode); }
// UMLAL<c> <RdLo>, <RdHi>, <Rm>, <Rs>
bool arm_umlal() { return multiply_long<false, true, false>(cpu_opcode); }
// UMLALS<c> <RdLo>, <RdHi>, <Rm>, <Rs>
bool arm_umlals() { return multiply_long<false, true, true>(cpu_opcode); }
// SMULL<c> <RdLo>, <RdHi>, <Rm>, <Rs>
bool arm_smull() { return multiply_long<true, false, false>(cpu_opcode); }
// SMULLS<c> <RdLo>, <RdHi>, <Rm>, <Rs>
bool arm_smulls() { return multiply_long<true, false, true>(cpu_opcode); }
// SMLAL<c> <RdLo>, <RdHi>, <Rm>, <Rs>
bool arm_smlal() { return multiply_long<true, true, false>(cpu_opcode); }
// SMLALS<c> <RdLo>, <RdHi>, <Rm>, <Rs>
bool arm_smlals() { return multiply_long<true, true, true>(cpu_opcode); }

// By hi 0x00-0x0F, as the table's multiplies; hi 0x04-0x07 are undefined.
extern const DecodedRun multiply_records[16] = {
    multiply_record<multiply<false, false>>,
    multiply_record<multiply<false, true>>,
    multiply_record<multiply<true, false>>,
    multiply_record<multiply<true, true>>,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    multiply_record<multiply_long<false, false, false>>,
    multiply_record<multiply_long<false, false, true>>,
    multiply_record<multiply_long<false, true, false>>,
    multiply_record<multiply_long<false, true, true>>,
    multiply_record<multiply_long<true, false, false>>,
    multiply_record<multiply_long<true, false, true>>,
    multiply_record<multiply_long<true, true, false>>,
    multiply_record<multiply_long<true, true, true>>,
};

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
