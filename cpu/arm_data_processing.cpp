// ARM data processing: the sixteen operations, each with a register operand
// (shifted Rm) and a rotated immediate, with and without S, and the
// operand-2 routines over the one barrel shifter.
//
//   31  28 27 26 25 24    21 20 19  16 15  12 11                          0
//  | cond | 0  0  I | opcode | S |  Rn  |  Rd  |          operand 2         |
//    I = 0:  | amount 11-7 | type 6-5 | 0 | Rm |   shift by an immediate
//            | Rs 11-8 | 0 | type 6-5 | 1 | Rm |   shift by Rs's low byte
//    I = 1:  | rotate 11-8 | imm8 7-0 |           imm8 ROR 2 x rotate
//
// r15 as Rn, Rm or Rs reads as the instruction's address + 8.
#include "cpu/arm_handlers.h"
#include "cpu/cpu.h"
#include "cpu/shifter.h"

namespace {

Shifted shifted_register(uint32_t opcode) {
    uint32_t value = cpu_regs[opcode & 15];
    // Rm unshifted (LSL #0), the most common operand 2 of compiled code
    // after immediates: no shifter work, C stays.
    if ((opcode & 0xFF0) == 0) return {value, flag_c};
    uint32_t type = (opcode >> 5) & 3;
    if (opcode & 0x10) return shift_register(type, value, cpu_regs[(opcode >> 8) & 15], flag_c);
    return shift_immediate(type, value, (opcode >> 7) & 31, flag_c);
}

}  // namespace

uint32_t shift_operand(uint32_t opcode) { return shifted_register(opcode).value; }

uint32_t shift_operand_carry(uint32_t opcode) {
    Shifted s = shifted_register(opcode);
    flag_c = uint8_t(s.carry);
    return s.value;
}

uint32_t rotate_immediate(uint32_t opcode) {
    return rotated_immediate(opcode & 0xFF, (opcode >> 8) & 15, flag_c).value;
}

uint32_t rotate_immediate_carry(uint32_t opcode) {
    Shifted s = rotated_immediate(opcode & 0xFF, (opcode >> 8) & 15, flag_c);
    flag_c = uint8_t(s.carry);
    return s.value;
}

namespace {

using Operand = uint32_t (*)(uint32_t opcode);

uint32_t rn() { return cpu_regs[(cpu_opcode >> 16) & 15]; }

// Rd = result; a write of r15 continues at the result.
bool write_rd(uint32_t result) {
    uint32_t rd = (cpu_opcode >> 12) & 15;
    cpu_regs[rd] = result;
    return rd == 15 ? JUMPED : NEXT;
}

// Rd = result after the flags are set; with S, a write of r15 is the
// exception return.
bool write_rd_s(uint32_t result) {
    uint32_t rd = (cpu_opcode >> 12) & 15;
    if (rd == 15) return return_from_exception(result);
    cpu_regs[rd] = result;
    return NEXT;
}

bool write_logical_s(uint32_t result) {
    set_nz_flags(result);
    return write_rd_s(result);
}

// The compare operations write no register; Rd is ignored.
bool compared() { return NEXT; }

// The operations, each over its operand source. The flag-setting logical
// ones are given a source that also sets C (the shifter's carry).
template <Operand op2>
bool op_and() {
    return write_rd(rn() & op2(cpu_opcode));
}
template <Operand op2>
bool op_ands() {
    return write_logical_s(rn() & op2(cpu_opcode));
}
template <Operand op2>
bool op_eor() {
    return write_rd(rn() ^ op2(cpu_opcode));
}
template <Operand op2>
bool op_eors() {
    return write_logical_s(rn() ^ op2(cpu_opcode));
}
template <Operand op2>
bool op_orr() {
    return write_rd(rn() | op2(cpu_opcode));
}
template <Operand op2>
bool op_orrs() {
    return write_logical_s(rn() | op2(cpu_opcode));
}
template <Operand op2>
bool op_bic() {
    return write_rd(rn() & ~op2(cpu_opcode));
}
template <Operand op2>
bool op_bics() {
    return write_logical_s(rn() & ~op2(cpu_opcode));
}
template <Operand op2>
bool op_mov() {
    return write_rd(op2(cpu_opcode));
}
template <Operand op2>
bool op_movs() {
    return write_logical_s(op2(cpu_opcode));
}
template <Operand op2>
bool op_mvn() {
    return write_rd(~op2(cpu_opcode));
}
template <Operand op2>
bool op_mvns() {
    return write_logical_s(~op2(cpu_opcode));
}

template <Operand op2>
bool op_tst() {
    set_nz_flags(rn() & op2(cpu_opcode));
    return compared();
}
template <Operand op2>
bool op_teq() {
    set_nz_flags(rn() ^ op2(cpu_opcode));
    return compared();
}

template <Operand op2>
bool op_sub() {
    return write_rd(rn() - op2(cpu_opcode));
}
template <Operand op2>
bool op_rsb() {
    return write_rd(op2(cpu_opcode) - rn());
}
template <Operand op2>
bool op_add() {
    return write_rd(rn() + op2(cpu_opcode));
}
template <Operand op2>
bool op_adc() {
    return write_rd(rn() + op2(cpu_opcode) + flag_c);
}
template <Operand op2>
bool op_sbc() {
    return write_rd(rn() - op2(cpu_opcode) - (1u - flag_c));
}
template <Operand op2>
bool op_rsc() {
    return write_rd(op2(cpu_opcode) - rn() - (1u - flag_c));
}

template <Operand op2>
bool op_subs() {
    uint32_t a = rn(), b = op2(cpu_opcode);
    set_sub_flags(a, b, a - b);
    return write_rd_s(a - b);
}
template <Operand op2>
bool op_rsbs() {
    uint32_t a = rn(), b = op2(cpu_opcode);
    set_sub_flags(b, a, b - a);
    return write_rd_s(b - a);
}
template <Operand op2>
bool op_adds() {
    uint32_t a = rn(), b = op2(cpu_opcode);
    set_add_flags(a, b, a + b);
    return write_rd_s(a + b);
}
// The carry-in forms take C and V from the whole three-operand operation.
template <Operand op2>
bool op_adcs() {
    uint32_t a = rn(), b = op2(cpu_opcode), carry = flag_c;
    set_adc_flags(a, b, carry);
    return write_rd_s(a + b + carry);
}
template <Operand op2>
bool op_sbcs() {
    uint32_t a = rn(), b = op2(cpu_opcode), carry = flag_c;
    set_sbc_flags(a, b, carry);
    return write_rd_s(a - b - (1u - carry));
}
template <Operand op2>
bool op_rscs() {
    uint32_t a = rn(), b = op2(cpu_opcode), carry = flag_c;
    set_sbc_flags(b, a, carry);
    return write_rd_s(b - a - (1u - carry));
}
template <Operand op2>
bool op_cmp() {
    uint32_t a = rn(), b = op2(cpu_opcode);
    set_sub_flags(a, b, a - b);
    return compared();
}
template <Operand op2>
bool op_cmn() {
    uint32_t a = rn(), b = op2(cpu_opcode);
    set_add_flags(a, b, a + b);
    return compared();
}

}  // namespace

// ORDER ARM-DP-OPS: register operand. The flag-setting logical operations
// take C from the shifter; the arithmetic ones from the ALU.

// AND<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_and_reg() { return op_and<shift_operand>(); }
// ANDS<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_ands_reg() { return op_ands<shift_operand_carry>(); }
// EOR<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_eor_reg() { return op_eor<shift_operand>(); }
// EORS<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_eors_reg() { return op_eors<shift_operand_carry>(); }
// SUB<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_sub_reg() { return op_sub<shift_operand>(); }
// SUBS<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_subs_reg() { return op_subs<shift_operand>(); }
// RSB<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_rsb_reg() { return op_rsb<shift_operand>(); }
// RSBS<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_rsbs_reg() { return op_rsbs<shift_operand>(); }
// ADD<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_add_reg() { return op_add<shift_operand>(); }
// ADDS<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_adds_reg() { return op_adds<shift_operand>(); }
// ADC<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_adc_reg() { return op_adc<shift_operand>(); }
// ADCS<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_adcs_reg() { return op_adcs<shift_operand>(); }
// SBC<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_sbc_reg() { return op_sbc<shift_operand>(); }
// SBCS<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_sbcs_reg() { return op_sbcs<shift_operand>(); }
// RSC<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_rsc_reg() { return op_rsc<shift_operand>(); }
// RSCS<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_rscs_reg() { return op_rscs<shift_operand>(); }
// TST<c> <Rn>, <Rm>{, <shift>}
bool arm_tst_reg() { return op_tst<shift_operand_carry>(); }
// TEQ<c> <Rn>, <Rm>{, <shift>}
bool arm_teq_reg() { return op_teq<shift_operand_carry>(); }
// CMP<c> <Rn>, <Rm>{, <shift>}
bool arm_cmp_reg() { return op_cmp<shift_operand>(); }
// CMN<c> <Rn>, <Rm>{, <shift>}
bool arm_cmn_reg() { return op_cmn<shift_operand>(); }
// ORR<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_orr_reg() { return op_orr<shift_operand>(); }
// ORRS<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_orrs_reg() { return op_orrs<shift_operand_carry>(); }
// MOV<c> <Rd>, <Rm>{, <shift>}
bool arm_mov_reg() { return op_mov<shift_operand>(); }
// MOVS<c> <Rd>, <Rm>{, <shift>}
bool arm_movs_reg() { return op_movs<shift_operand_carry>(); }
// BIC<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_bic_reg() { return op_bic<shift_operand>(); }
// BICS<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_bics_reg() { return op_bics<shift_operand_carry>(); }
// MVN<c> <Rd>, <Rm>{, <shift>}
bool arm_mvn_reg() { return op_mvn<shift_operand>(); }
// MVNS<c> <Rd>, <Rm>{, <shift>}
bool arm_mvns_reg() { return op_mvns<shift_operand_carry>(); }

// ORDER ARM-DP-OPS: rotated immediate. The flag-setting logical operations
// take C from bit 31 of a rotated immediate.

// AND<c> <Rd>, <Rn>, #<const>
bool arm_and_imm() { return op_and<rotate_immediate>(); }
// ANDS<c> <Rd>, <Rn>, #<const>
bool arm_ands_imm() { return op_ands<rotate_immediate_carry>(); }
// EOR<c> <Rd>, <Rn>, #<const>
bool arm_eor_imm() { return op_eor<rotate_immediate>(); }
// EORS<c> <Rd>, <Rn>, #<const>
bool arm_eors_imm() { return op_eors<rotate_immediate_carry>(); }
// SUB<c> <Rd>, <Rn>, #<const>
bool arm_sub_imm() { return op_sub<rotate_immediate>(); }
// SUBS<c> <Rd>, <Rn>, #<const>
bool arm_subs_imm() { return op_subs<rotate_immediate>(); }
// RSB<c> <Rd>, <Rn>, #<const>
bool arm_rsb_imm() { return op_rsb<rotate_immediate>(); }
// RSBS<c> <Rd>, <Rn>, #<const>
bool arm_rsbs_imm() { return op_rsbs<rotate_immediate>(); }
// ADD<c> <Rd>, <Rn>, #<const>
bool arm_add_imm() { return op_add<rotate_immediate>(); }
// ADDS<c> <Rd>, <Rn>, #<const>
bool arm_adds_imm() { return op_adds<rotate_immediate>(); }
// ADC<c> <Rd>, <Rn>, #<const>
bool arm_adc_imm() { return op_adc<rotate_immediate>(); }
// ADCS<c> <Rd>, <Rn>, #<const>
bool arm_adcs_imm() { return op_adcs<rotate_immediate>(); }
// SBC<c> <Rd>, <Rn>, #<const>
bool arm_sbc_imm() { return op_sbc<rotate_immediate>(); }
// SBCS<c> <Rd>, <Rn>, #<const>
bool arm_sbcs_imm() { return op_sbcs<rotate_immediate>(); }
// RSC<c> <Rd>, <Rn>, #<const>
bool arm_rsc_imm() { return op_rsc<rotate_immediate>(); }
// RSCS<c> <Rd>, <Rn>, #<const>
bool arm_rscs_imm() { return op_rscs<rotate_immediate>(); }
// TST<c> <Rn>, #<const>
bool arm_tst_imm() { return op_tst<rotate_immediate_carry>(); }
// TEQ<c> <Rn>, #<const>
bool arm_teq_imm() { return op_teq<rotate_immediate_carry>(); }
// CMP<c> <Rn>, #<const>
bool arm_cmp_imm() { return op_cmp<rotate_immediate>(); }
// CMN<c> <Rn>, #<const>
bool arm_cmn_imm() { return op_cmn<rotate_immediate>(); }
// ORR<c> <Rd>, <Rn>, #<const>
bool arm_orr_imm() { return op_orr<rotate_immediate>(); }
// ORRS<c> <Rd>, <Rn>, #<const>
bool arm_orrs_imm() { return op_orrs<rotate_immediate_carry>(); }
// MOV<c> <Rd>, #<const>
bool arm_mov_imm() { return op_mov<rotate_immediate>(); }
// MOVS<c> <Rd>, #<const>
bool arm_movs_imm() { return op_movs<rotate_immediate_carry>(); }
// BIC<c> <Rd>, <Rn>, #<const>
bool arm_bic_imm() { return op_bic<rotate_immediate>(); }
// BICS<c> <Rd>, <Rn>, #<const>
bool arm_bics_imm() { return op_bics<rotate_immediate_carry>(); }
// MVN<c> <Rd>, #<const>
bool arm_mvn_imm() { return op_mvn<rotate_immediate>(); }
// MVNS<c> <Rd>, #<const>
bool arm_mvns_imm() { return op_mvns<rotate_immediate_carry>(); }
