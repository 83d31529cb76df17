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
#include "cpu/thumb.h"
#include "cpu/thumb_fields.h"
#include "cpu/thumb_handlers.h"

namespace {

// The shifts set C from the barrel shifter, then N and Z from the result.
template <class I>
bool write_shifted(I i, Shifted s) {
    i.d() = s.value;
    flag_c = uint8_t(s.carry);
    set_nz_flags(s.value);
    return NEXT;
}

template <uint32_t type, class I>
bool shift_by_immediate(I i) {
    return write_shifted(i, shift_immediate(type, i.s(), i.imm5(), flag_c));
}

// The amount is the low byte of Rs, with the register-shift rules of ARM.
template <uint32_t type, class I>
bool shift_by_register(I i) {
    return write_shifted(i, shift_register(type, i.d(), i.s() & 0xFF, flag_c));
}

template <class I>
bool logical(I i, uint32_t result) {
    i.d() = result;
    set_nz_flags(result);
    return NEXT;
}

bool add_into(uint32_t& rd, uint32_t a, uint32_t b) {
    rd = add_setting_flags(a, b);
    return NEXT;
}

bool sub_into(uint32_t& rd, uint32_t a, uint32_t b) {
    rd = sub_setting_flags(a, b);
    return NEXT;
}

// A write to r15 by ADD or MOV continues in Thumb state at the value with
// bit 0 cleared. (A record's Rd is never r15.)
bool write_high(uint32_t rd, uint32_t value) {
    if (rd == 15) {
        cpu_regs[15] = value & ~1u;
        return JUMPED;
    }
    cpu_regs[rd] = value;
    return NEXT;
}

// LSL <Rd>, <Rs>, #<imm5>
template <class I>
bool lsl_imm(I i) {
    return shift_by_immediate<SHIFT_LSL>(i);
}
// LSR <Rd>, <Rs>, #<imm5>      (#0 encodes #32)
template <class I>
bool lsr_imm(I i) {
    return shift_by_immediate<SHIFT_LSR>(i);
}
// ASR <Rd>, <Rs>, #<imm5>      (#0 encodes #32)
template <class I>
bool asr_imm(I i) {
    return shift_by_immediate<SHIFT_ASR>(i);
}

// The same by 1-31, where no special case applies: the record forms that
// thumb_decode_into picks by the amount.
template <uint32_t type>
bool shift_by_1_to_31_imm(ThumbFromRecord i) {
    return write_shifted(i, shift_by_1_to_31(type, i.s(), i.imm5()));
}

// ADD <Rd>, <Rs>, <Rn>
template <class I>
bool add_reg(I i) {
    return add_into(i.d(), i.s(), i.n());
}
// SUB <Rd>, <Rs>, <Rn>
template <class I>
bool sub_reg(I i) {
    return sub_into(i.d(), i.s(), i.n());
}
// ADD <Rd>, <Rs>, #<imm3>
template <class I>
bool add_imm3(I i) {
    return add_into(i.d(), i.s(), i.imm3());
}
// SUB <Rd>, <Rs>, #<imm3>
template <class I>
bool sub_imm3(I i) {
    return sub_into(i.d(), i.s(), i.imm3());
}

// MOV <Rd>, #<imm8>
template <class I>
bool mov_imm8(I i) {
    i.d8() = i.imm8();
    set_nz_flags(i.imm8());
    return NEXT;
}

// CMP <Rd>, #<imm8>
template <class I>
bool cmp_imm8(I i) {
    sub_setting_flags(i.d8(), i.imm8());
    return NEXT;
}

// ADD <Rd>, #<imm8>
template <class I>
bool add_imm8(I i) {
    uint32_t& rd = i.d8();
    return add_into(rd, rd, i.imm8());
}

// SUB <Rd>, #<imm8>
template <class I>
bool sub_imm8(I i) {
    uint32_t& rd = i.d8();
    return sub_into(rd, rd, i.imm8());
}

// ORDER THUMB-ALU-OPS
// AND <Rd>, <Rs>
template <class I>
bool and_(I i) {
    return logical(i, i.d() & i.s());
}
// EOR <Rd>, <Rs>
template <class I>
bool eor(I i) {
    return logical(i, i.d() ^ i.s());
}
// LSL <Rd>, <Rs>
template <class I>
bool lsl_reg(I i) {
    return shift_by_register<SHIFT_LSL>(i);
}
// LSR <Rd>, <Rs>
template <class I>
bool lsr_reg(I i) {
    return shift_by_register<SHIFT_LSR>(i);
}
// ASR <Rd>, <Rs>
template <class I>
bool asr_reg(I i) {
    return shift_by_register<SHIFT_ASR>(i);
}

// ADC <Rd>, <Rs>
// C and V come from the whole Rd + Rs + C, not from Rs folded with C.
template <class I>
bool adc(I i) {
    uint32_t a = i.d(), b = i.s(), carry = flag_c ? 1 : 0;
    set_adc_flags(a, b, carry);
    i.d() = a + b + carry;
    return NEXT;
}

// SBC <Rd>, <Rs>
template <class I>
bool sbc(I i) {
    uint32_t a = i.d(), b = i.s(), carry = flag_c ? 1 : 0;
    set_sbc_flags(a, b, carry);
    i.d() = a - b - (1 - carry);
    return NEXT;
}

// ROR <Rd>, <Rs>
template <class I>
bool ror_reg(I i) {
    return shift_by_register<SHIFT_ROR>(i);
}

// TST <Rd>, <Rs>
template <class I>
bool tst(I i) {
    set_nz_flags(i.d() & i.s());
    return NEXT;
}

// NEG <Rd>, <Rs>               (all four flags, as 0 - Rs)
template <class I>
bool neg(I i) {
    return sub_into(i.d(), 0, i.s());
}

// CMP <Rd>, <Rs>
template <class I>
bool cmp_reg(I i) {
    sub_setting_flags(i.d(), i.s());
    return NEXT;
}

// CMN <Rd>, <Rs>
template <class I>
bool cmn(I i) {
    add_setting_flags(i.d(), i.s());
    return NEXT;
}

// ORR <Rd>, <Rs>
template <class I>
bool orr(I i) {
    return logical(i, i.d() | i.s());
}
// MUL <Rd>, <Rs>               (N and Z; C and V stay)
template <class I>
bool mul(I i) {
    return logical(i, i.d() * i.s());
}
// BIC <Rd>, <Rs>
template <class I>
bool bic(I i) {
    return logical(i, i.d() & ~i.s());
}
// MVN <Rd>, <Rs>
template <class I>
bool mvn(I i) {
    return logical(i, ~i.s());
}

// ADD <Rd|Hd>, <Rs|Hs>         (no flags; r15 reads as A + 4)
template <class I>
bool add_high(I i) {
    uint32_t rd = i.high_d();
    return write_high(rd, cpu_regs[rd] + cpu_regs[i.high_s()]);
}

// CMP <Rd|Hd>, <Rs|Hs>
template <class I>
bool cmp_high(I i) {
    sub_setting_flags(cpu_regs[i.high_d()], cpu_regs[i.high_s()]);
    return NEXT;
}

// MOV <Rd|Hd>, <Rs|Hs>         (no flags)
template <class I>
bool mov_high(I i) {
    return write_high(i.high_d(), cpu_regs[i.high_s()]);
}

// ADD <Rd>, SP, #<imm8 * 4>
template <class I>
bool add_rd_sp(I i) {
    i.d8() = cpu_regs[13] + 4 * i.imm8();
    return NEXT;
}

}  // namespace

bool thumb_lsl_imm() { return lsl_imm(ThumbLatched{}); }
bool thumb_lsr_imm() { return lsr_imm(ThumbLatched{}); }
bool thumb_asr_imm() { return asr_imm(ThumbLatched{}); }
bool thumb_add_reg() { return add_reg(ThumbLatched{}); }
bool thumb_sub_reg() { return sub_reg(ThumbLatched{}); }
bool thumb_add_imm3() { return add_imm3(ThumbLatched{}); }
bool thumb_sub_imm3() { return sub_imm3(ThumbLatched{}); }
bool thumb_mov_imm8() { return mov_imm8(ThumbLatched{}); }
bool thumb_cmp_imm8() { return cmp_imm8(ThumbLatched{}); }
bool thumb_add_imm8() { return add_imm8(ThumbLatched{}); }
bool thumb_sub_imm8() { return sub_imm8(ThumbLatched{}); }
bool thumb_and() { return and_(ThumbLatched{}); }
bool thumb_eor() { return eor(ThumbLatched{}); }
bool thumb_lsl_reg() { return lsl_reg(ThumbLatched{}); }
bool thumb_lsr_reg() { return lsr_reg(ThumbLatched{}); }
bool thumb_asr_reg() { return asr_reg(ThumbLatched{}); }
bool thumb_adc() { return adc(ThumbLatched{}); }
bool thumb_sbc() { return sbc(ThumbLatched{}); }
bool thumb_ror_reg() { return ror_reg(ThumbLatched{}); }
bool thumb_tst() { return tst(ThumbLatched{}); }
bool thumb_neg() { return neg(ThumbLatched{}); }
bool thumb_cmp_reg() { return cmp_reg(ThumbLatched{}); }
bool thumb_cmn() { return cmn(ThumbLatched{}); }
bool thumb_orr() { return orr(ThumbLatched{}); }
bool thumb_mul() { return mul(ThumbLatched{}); }
bool thumb_bic() { return bic(ThumbLatched{}); }
bool thumb_mvn() { return mvn(ThumbLatched{}); }
bool thumb_add_high() { return add_high(ThumbLatched{}); }
bool thumb_cmp_high() { return cmp_high(ThumbLatched{}); }
bool thumb_mov_high() { return mov_high(ThumbLatched{}); }
bool thumb_add_rd_sp() { return add_rd_sp(ThumbLatched{}); }

// BX <Rs|Hs>
// Bit 0 of the target chooses the instruction set. Back in ARM state the
// method the user chose runs again; r15 keeps a set bit 1, which the ARM
// fetch ignores.
bool thumb_bx() {
    uint32_t target = cpu_regs[(cpu_opcode >> 3) & 15];
    if (target & 1) {
        cpu_regs[15] = target & ~1u;
    } else {
        enter_arm(target);
    }
    return JUMPED;
}

// ADD <Rd>, PC, #<imm8 * 4>    (the address itself, nothing is loaded)
bool thumb_add_rd_pc() {
    cpu_regs[(cpu_opcode >> 8) & 7] = (cpu_regs[15] & ~3u) + 4 * (cpu_opcode & 0xFF);
    return NEXT;
}

// ADD SP, #+/-<imm7 * 4>
bool thumb_add_sp_imm() {
    uint32_t amount = 4 * (cpu_opcode & 0x7F);
    cpu_regs[13] = (cpu_opcode & 0x80) ? cpu_regs[13] - amount : cpu_regs[13] + amount;
    return NEXT;
}

namespace {

// BX's record form: on in the same run while the target is Thumb code.
uint32_t bx_record(Decoded* d, const uint8_t*, uint32_t left) {
    uint32_t target = cpu_regs[d->rm];
    if (!(target & 1)) {
        enter_arm(target);
        return left - 1;
    }
    return thumb_continue_at(target & ~1u, left);
}

}  // namespace

DecodedRun thumb_short_shift_record(Handler handler) {
    if (handler == thumb_lsl_imm) return thumb_record<shift_by_1_to_31_imm<SHIFT_LSL>>;
    if (handler == thumb_lsr_imm) return thumb_record<shift_by_1_to_31_imm<SHIFT_LSR>>;
    if (handler == thumb_asr_imm) return thumb_record<shift_by_1_to_31_imm<SHIFT_ASR>>;
    return nullptr;
}

extern const ThumbRecordForm thumb_alu_records[] = {
    {thumb_lsl_imm, thumb_record<lsl_imm>},
    {thumb_lsr_imm, thumb_record<lsr_imm>},
    {thumb_asr_imm, thumb_record<asr_imm>},
    {thumb_add_reg, thumb_record<add_reg>},
    {thumb_sub_reg, thumb_record<sub_reg>},
    {thumb_add_imm3, thumb_record<add_imm3>},
    {thumb_sub_imm3, thumb_record<sub_imm3>},
    {thumb_mov_imm8, thumb_record<mov_imm8>},
    {thumb_cmp_imm8, thumb_record<cmp_imm8>},
    {thumb_add_imm8, thumb_record<add_imm8>},
    {thumb_sub_imm8, thumb_record<sub_imm8>},
    {thumb_and, thumb_record<and_>},
    {thumb_eor, thumb_record<eor>},
    {thumb_lsl_reg, thumb_record<lsl_reg>},
    {thumb_lsr_reg, thumb_record<lsr_reg>},
    {thumb_asr_reg, thumb_record<asr_reg>},
    {thumb_adc, thumb_record<adc>},
    {thumb_sbc, thumb_record<sbc>},
    {thumb_ror_reg, thumb_record<ror_reg>},
    {thumb_tst, thumb_record<tst>},
    {thumb_neg, thumb_record<neg>},
    {thumb_cmp_reg, thumb_record<cmp_reg>},
    {thumb_cmn, thumb_record<cmn>},
    {thumb_orr, thumb_record<orr>},
    {thumb_mul, thumb_record<mul>},
    {thumb_bic, thumb_record<bic>},
    {thumb_mvn, thumb_record<mvn>},
    {thumb_add_high, thumb_record<add_high>},
    {thumb_cmp_high, thumb_record<cmp_high>},
    {thumb_mov_high, thumb_record<mov_high>},
    {thumb_bx, bx_record},
    {thumb_add_rd_sp, thumb_record<add_rd_sp>},
    {nullptr, nullptr},
};
