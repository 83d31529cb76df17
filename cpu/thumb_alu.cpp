// Thumb data processing: shifts by an immediate, three-register and
// three-bit-immediate add/subtract, the eight-bit-immediate forms, the
// register ALU, the high-register operations with BX, and the address
// arithmetic on PC and SP.
//
// Low-register fields:  15      10 9   8 7   6 5   3 2   0
//   shift, add/sub:      | op      | imm5/Rn   | Rs  | Rd  |
//   8-bit immediate:     | op   | Rd(10-8)| imm8 (7-0)     |
//   register ALU:        | 010000 | op(9-6) | Rs  | Rd  |
//   high registers:      | 010001 | op(9-8) | H1 | H2 | Rs | Rd |
#include "cpu/cpu.h"
#include "cpu/shifter.h"
#include "cpu/thumb_handlers.h"

namespace {

uint32_t& reg_d() { return cpu_regs[cpu_opcode & 7]; }
uint32_t reg_s() { return cpu_regs[(cpu_opcode >> 3) & 7]; }
uint32_t reg_n() { return cpu_regs[(cpu_opcode >> 6) & 7]; }
uint32_t imm3() { return (cpu_opcode >> 6) & 7; }
uint32_t imm5() { return (cpu_opcode >> 6) & 31; }
uint32_t& reg_d_high_field() { return cpu_regs[(cpu_opcode >> 8) & 7]; }
uint32_t imm8() { return cpu_opcode & 0xFF; }

// The shifts set C from the barrel shifter, then N and Z from the result.
bool write_shifted(Shifted s) {
    reg_d() = s.value;
    flag_c = uint8_t(s.carry);
    set_nz_flags(s.value);
    return NEXT;
}

bool shift_by_immediate(uint32_t type) {
    return write_shifted(shift_immediate(type, reg_s(), imm5(), flag_c));
}

// The amount is the low byte of Rs, with the register-shift rules of ARM.
bool shift_by_register(uint32_t type) {
    return write_shifted(shift_register(type, reg_d(), reg_s() & 0xFF, flag_c));
}

bool logical(uint32_t result) {
    reg_d() = result;
    set_nz_flags(result);
    return NEXT;
}

bool add_into(uint32_t& rd, uint32_t a, uint32_t b) {
    uint32_t result = a + b;
    set_add_flags(a, b, result);
    rd = result;
    return NEXT;
}

bool sub_into(uint32_t& rd, uint32_t a, uint32_t b) {
    uint32_t result = a - b;
    set_sub_flags(a, b, result);
    rd = result;
    return NEXT;
}

// High-register operand numbers: bit 7 extends Rd, bit 6 extends Rs.
uint32_t high_d() { return (cpu_opcode & 7) | ((cpu_opcode >> 4) & 8); }
uint32_t high_s() { return (cpu_opcode >> 3) & 15; }

// A write to r15 by ADD or MOV continues in Thumb state at the value with
// bit 0 cleared.
bool write_high(uint32_t rd, uint32_t value) {
    if (rd == 15) {
        cpu_regs[15] = value & ~1u;
        return JUMPED;
    }
    cpu_regs[rd] = value;
    return NEXT;
}

}  // namespace

// LSL <Rd>, <Rs>, #<imm5>
bool thumb_lsl_imm() { return shift_by_immediate(SHIFT_LSL); }
// LSR <Rd>, <Rs>, #<imm5>      (#0 encodes #32)
bool thumb_lsr_imm() { return shift_by_immediate(SHIFT_LSR); }
// ASR <Rd>, <Rs>, #<imm5>      (#0 encodes #32)
bool thumb_asr_imm() { return shift_by_immediate(SHIFT_ASR); }

// ADD <Rd>, <Rs>, <Rn>
bool thumb_add_reg() { return add_into(reg_d(), reg_s(), reg_n()); }
// SUB <Rd>, <Rs>, <Rn>
bool thumb_sub_reg() { return sub_into(reg_d(), reg_s(), reg_n()); }
// ADD <Rd>, <Rs>, #<imm3>
bool thumb_add_imm3() { return add_into(reg_d(), reg_s(), imm3()); }
// SUB <Rd>, <Rs>, #<imm3>
bool thumb_sub_imm3() { return sub_into(reg_d(), reg_s(), imm3()); }

// MOV <Rd>, #<imm8>
bool thumb_mov_imm8() {
    reg_d_high_field() = imm8();
    set_nz_flags(imm8());
    return NEXT;
}

// CMP <Rd>, #<imm8>
bool thumb_cmp_imm8() {
    uint32_t a = reg_d_high_field();
    set_sub_flags(a, imm8(), a - imm8());
    return NEXT;
}

// ADD <Rd>, #<imm8>
bool thumb_add_imm8() {
    uint32_t& rd = reg_d_high_field();
    return add_into(rd, rd, imm8());
}

// SUB <Rd>, #<imm8>
bool thumb_sub_imm8() {
    uint32_t& rd = reg_d_high_field();
    return sub_into(rd, rd, imm8());
}

// ORDER THUMB-ALU-OPS
// AND <Rd>, <Rs>
bool thumb_and() { return logical(reg_d() & reg_s()); }
// EOR <Rd>, <Rs>
bool thumb_eor() { return logical(reg_d() ^ reg_s()); }
// LSL <Rd>, <Rs>
bool thumb_lsl_reg() { return shift_by_register(SHIFT_LSL); }
// LSR <Rd>, <Rs>
bool thumb_lsr_reg() { return shift_by_register(SHIFT_LSR); }
// ASR <Rd>, <Rs>
bool thumb_asr_reg() { return shift_by_register(SHIFT_ASR); }

// ADC <Rd>, <Rs>
// C and V come from the whole Rd + Rs + C, not from Rs folded with C.
bool thumb_adc() {
    uint32_t a = reg_d(), b = reg_s(), carry = flag_c ? 1 : 0;
    set_adc_flags(a, b, carry);
    reg_d() = a + b + carry;
    return NEXT;
}

// SBC <Rd>, <Rs>
bool thumb_sbc() {
    uint32_t a = reg_d(), b = reg_s(), carry = flag_c ? 1 : 0;
    set_sbc_flags(a, b, carry);
    reg_d() = a - b - (1 - carry);
    return NEXT;
}

// ROR <Rd>, <Rs>
bool thumb_ror_reg() { return shift_by_register(SHIFT_ROR); }

// TST <Rd>, <Rs>
bool thumb_tst() {
    set_nz_flags(reg_d() & reg_s());
    return NEXT;
}

// NEG <Rd>, <Rs>               (all four flags, as 0 - Rs)
bool thumb_neg() { return sub_into(reg_d(), 0, reg_s()); }

// CMP <Rd>, <Rs>
bool thumb_cmp_reg() {
    uint32_t a = reg_d(), b = reg_s();
    set_sub_flags(a, b, a - b);
    return NEXT;
}

// CMN <Rd>, <Rs>
bool thumb_cmn() {
    uint32_t a = reg_d(), b = reg_s();
    set_add_flags(a, b, a + b);
    return NEXT;
}

// ORR <Rd>, <Rs>
bool thumb_orr() { return logical(reg_d() | reg_s()); }
// MUL <Rd>, <Rs>               (N and Z; C and V stay)
bool thumb_mul() { return logical(reg_d() * reg_s()); }
// BIC <Rd>, <Rs>
bool thumb_bic() { return logical(reg_d() & ~reg_s()); }
// MVN <Rd>, <Rs>
bool thumb_mvn() { return logical(~reg_s()); }

// ADD <Rd|Hd>, <Rs|Hs>         (no flags; r15 reads as A + 4)
bool thumb_add_high() {
    uint32_t rd = high_d();
    return write_high(rd, cpu_regs[rd] + cpu_regs[high_s()]);
}

// CMP <Rd|Hd>, <Rs|Hs>
bool thumb_cmp_high() {
    uint32_t a = cpu_regs[high_d()], b = cpu_regs[high_s()];
    set_sub_flags(a, b, a - b);
    return NEXT;
}

// MOV <Rd|Hd>, <Rs|Hs>         (no flags)
bool thumb_mov_high() { return write_high(high_d(), cpu_regs[high_s()]); }

// BX <Rs|Hs>
// Bit 0 of the target chooses the instruction set. Back in ARM state the
// method the user chose runs again; r15 keeps a set bit 1, which the ARM
// fetch ignores.
bool thumb_bx() {
    uint32_t target = cpu_regs[high_s()];
    if (target & 1) {
        cpu_regs[15] = target & ~1u;
    } else {
        enter_arm(target);
    }
    return JUMPED;
}

// ADD <Rd>, PC, #<imm8 * 4>    (the address itself, nothing is loaded)
bool thumb_add_rd_pc() {
    reg_d_high_field() = (cpu_regs[15] & ~3u) + 4 * imm8();
    return NEXT;
}

// ADD <Rd>, SP, #<imm8 * 4>
bool thumb_add_rd_sp() {
    reg_d_high_field() = cpu_regs[13] + 4 * imm8();
    return NEXT;
}

// ADD SP, #+/-<imm7 * 4>
bool thumb_add_sp_imm() {
    uint32_t amount = 4 * (cpu_opcode & 0x7F);
    cpu_regs[13] = (cpu_opcode & 0x80) ? cpu_regs[13] - amount : cpu_regs[13] + amount;
    return NEXT;
}
