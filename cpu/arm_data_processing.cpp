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
#include "cpu/decoded.h"
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

// The two ways a handler reaches its fields. Latched reads them from
// cpu_opcode, for every encoding; a write of r15 continues there (with S:
// the exception return). FromRecord reads them from a decoded record,
// whose Rd the decoder has made sure is not r15.
template <Operand op2, Operand op2_carry>
struct Latched {
    uint32_t rn() const { return cpu_regs[(cpu_opcode >> 16) & 15]; }
    uint32_t operand() const { return op2(cpu_opcode); }
    uint32_t operand_carry() const { return op2_carry(cpu_opcode); }
    bool write(uint32_t result) const {
        uint32_t rd = (cpu_opcode >> 12) & 15;
        cpu_regs[rd] = result;
        return rd == 15 ? JUMPED : NEXT;
    }
    bool write_s(uint32_t result) const {
        uint32_t rd = (cpu_opcode >> 12) & 15;
        if (rd == 15) return return_from_exception(result);
        cpu_regs[rd] = result;
        return NEXT;
    }
};
using LatchedRegister = Latched<shift_operand, shift_operand_carry>;
using LatchedImmediate = Latched<rotate_immediate, rotate_immediate_carry>;

template <RecordOperand kind>
struct FromRecord {
    const Decoded& d;
    uint32_t rn() const { return cpu_regs[d.rn]; }
    Shifted shifted() const {
        uint32_t value = cpu_regs[d.rm];
        if constexpr (kind == RecordOperand::LSL)
            return shift_by_1_to_31(SHIFT_LSL, value, d.operand);
        if constexpr (kind == RecordOperand::LSR)
            return shift_by_1_to_31(SHIFT_LSR, value, d.operand);
        if constexpr (kind == RecordOperand::ASR)
            return shift_by_1_to_31(SHIFT_ASR, value, d.operand);
        if constexpr (kind == RecordOperand::BY_REGISTER)
            return shift_register(d.shift, value, cpu_regs[d.operand], flag_c);
        return shift_immediate(d.shift, value, d.operand, flag_c);
    }
    uint32_t operand() const {
        if constexpr (kind == RecordOperand::IMMEDIATE) return d.operand;
        if constexpr (kind == RecordOperand::REGISTER) return cpu_regs[d.rm];
        return shifted().value;
    }
    uint32_t operand_carry() const {
        if constexpr (kind == RecordOperand::IMMEDIATE) {
            if (d.shift != KEEP_CARRY) flag_c = d.shift;
            return d.operand;
        }
        if constexpr (kind == RecordOperand::REGISTER) return cpu_regs[d.rm];  // LSL #0 keeps C
        Shifted s = shifted();
        flag_c = uint8_t(s.carry);
        return s.value;
    }
    bool write(uint32_t result) const {
        cpu_regs[d.rd] = result;
        return NEXT;
    }
    bool write_s(uint32_t result) const { return write(result); }
};

// The operations, each written once over either view. The flag-setting
// logical ones take C from the shifter (operand_carry), the arithmetic ones
// from the ALU.
struct And {
    template <class I>
    static bool run(I i) {
        return i.write(i.rn() & i.operand());
    }
};
struct Ands {
    template <class I>
    static bool run(I i) {
        return logical_s(i, i.rn() & i.operand_carry());
    }
    template <class I>
    static bool logical_s(I i, uint32_t result) {
        set_nz_flags(result);
        return i.write_s(result);
    }
};
struct Eor {
    template <class I>
    static bool run(I i) {
        return i.write(i.rn() ^ i.operand());
    }
};
struct Eors {
    template <class I>
    static bool run(I i) {
        return Ands::logical_s(i, i.rn() ^ i.operand_carry());
    }
};
struct Orr {
    template <class I>
    static bool run(I i) {
        return i.write(i.rn() | i.operand());
    }
};
struct Orrs {
    template <class I>
    static bool run(I i) {
        return Ands::logical_s(i, i.rn() | i.operand_carry());
    }
};
struct Bic {
    template <class I>
    static bool run(I i) {
        return i.write(i.rn() & ~i.operand());
    }
};
struct Bics {
    template <class I>
    static bool run(I i) {
        return Ands::logical_s(i, i.rn() & ~i.operand_carry());
    }
};
struct Mov {
    template <class I>
    static bool run(I i) {
        return i.write(i.operand());
    }
};
struct Movs {
    template <class I>
    static bool run(I i) {
        return Ands::logical_s(i, i.operand_carry());
    }
};
struct Mvn {
    template <class I>
    static bool run(I i) {
        return i.write(~i.operand());
    }
};
struct Mvns {
    template <class I>
    static bool run(I i) {
        return Ands::logical_s(i, ~i.operand_carry());
    }
};

// The compare operations write no register; Rd is ignored.
struct Tst {
    template <class I>
    static bool run(I i) {
        set_nz_flags(i.rn() & i.operand_carry());
        return NEXT;
    }
};
struct Teq {
    template <class I>
    static bool run(I i) {
        set_nz_flags(i.rn() ^ i.operand_carry());
        return NEXT;
    }
};

struct Sub {
    template <class I>
    static bool run(I i) {
        return i.write(i.rn() - i.operand());
    }
};
struct Rsb {
    template <class I>
    static bool run(I i) {
        return i.write(i.operand() - i.rn());
    }
};
struct Add {
    template <class I>
    static bool run(I i) {
        return i.write(i.rn() + i.operand());
    }
};
struct Adc {
    template <class I>
    static bool run(I i) {
        return i.write(i.rn() + i.operand() + flag_c);
    }
};
struct Sbc {
    template <class I>
    static bool run(I i) {
        return i.write(i.rn() - i.operand() - (1u - flag_c));
    }
};
struct Rsc {
    template <class I>
    static bool run(I i) {
        return i.write(i.operand() - i.rn() - (1u - flag_c));
    }
};

struct Subs {
    template <class I>
    static bool run(I i) {
        uint32_t a = i.rn(), b = i.operand();
        return i.write_s(sub_setting_flags(a, b));
    }
};
struct Rsbs {
    template <class I>
    static bool run(I i) {
        uint32_t a = i.rn(), b = i.operand();
        return i.write_s(sub_setting_flags(b, a));
    }
};
struct Adds {
    template <class I>
    static bool run(I i) {
        uint32_t a = i.rn(), b = i.operand();
        return i.write_s(add_setting_flags(a, b));
    }
};
// The carry-in forms take C and V from the whole three-operand operation.
struct Adcs {
    template <class I>
    static bool run(I i) {
        uint32_t a = i.rn(), b = i.operand(), carry = flag_c;
        set_adc_flags(a, b, carry);
        return i.write_s(a + b + carry);
    }
};
struct Sbcs {
    template <class I>
    static bool run(I i) {
        uint32_t a = i.rn(), b = i.operand(), carry = flag_c;
        set_sbc_flags(a, b, carry);
        return i.write_s(a - b - (1u - carry));
    }
};
struct Rscs {
    template <class I>
    static bool run(I i) {
        uint32_t a = i.rn(), b = i.operand(), carry = flag_c;
        set_sbc_flags(b, a, carry);
        return i.write_s(b - a - (1u - carry));
    }
};
struct Cmp {
    template <class I>
    static bool run(I i) {
        uint32_t a = i.rn(), b = i.operand();
        sub_setting_flags(a, b);
        return NEXT;
    }
};
struct Cmn {
    template <class I>
    static bool run(I i) {
        uint32_t a = i.rn(), b = i.operand();
        add_setting_flags(a, b);
        return NEXT;
    }
};

template <class Op>
bool from_register() {
    return Op::run(LatchedRegister{});
}
template <class Op>
bool from_immediate() {
    return Op::run(LatchedImmediate{});
}
// A record never writes r15 (the decoder leaves Rd = r15 to the table's
// handler), so it always goes on with the next instruction.
template <class Op, RecordOperand kind>
uint32_t from_record(Decoded* d, const uint8_t* code, uint32_t left) {
    Op::run(FromRecord<kind>{*d});
    return arm_next(d, code, left);
}
template <class Op>
constexpr DataProcessingForms forms_of = {
    from_record<Op, RecordOperand::IMMEDIATE>,  from_record<Op, RecordOperand::REGISTER>,
    from_record<Op, RecordOperand::SHIFTED>,    from_record<Op, RecordOperand::LSL>,
    from_record<Op, RecordOperand::LSR>,        from_record<Op, RecordOperand::ASR>,
    from_record<Op, RecordOperand::BY_REGISTER>};
constexpr DataProcessingForms NO_FORMS = {};

}  // namespace

// ORDER ARM-DP-OPS
const DataProcessingForms data_processing_forms[32] = {
    forms_of<And>, forms_of<Ands>, forms_of<Eor>, forms_of<Eors>, forms_of<Sub>, forms_of<Subs>,
    forms_of<Rsb>, forms_of<Rsbs>, forms_of<Add>, forms_of<Adds>, forms_of<Adc>, forms_of<Adcs>,
    forms_of<Sbc>, forms_of<Sbcs>, forms_of<Rsc>, forms_of<Rscs>, NO_FORMS,      forms_of<Tst>,
    NO_FORMS,      forms_of<Teq>,  NO_FORMS,      forms_of<Cmp>,  NO_FORMS,      forms_of<Cmn>,
    forms_of<Orr>, forms_of<Orrs>, forms_of<Mov>, forms_of<Movs>, forms_of<Bic>, forms_of<Bics>,
    forms_of<Mvn>, forms_of<Mvns>,
};

// ORDER ARM-DP-OPS: register operand. The flag-setting logical operations
// take C from the shifter; the arithmetic ones from the ALU.

// AND<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_and_reg() { return from_register<And>(); }
// ANDS<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_ands_reg() { return from_register<Ands>(); }
// EOR<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_eor_reg() { return from_register<Eor>(); }
// EORS<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_eors_reg() { return from_register<Eors>(); }
// SUB<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_sub_reg() { return from_register<Sub>(); }
// SUBS<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_subs_reg() { return from_register<Subs>(); }
// RSB<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_rsb_reg() { return from_register<Rsb>(); }
// RSBS<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_rsbs_reg() { return from_register<Rsbs>(); }
// ADD<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_add_reg() { return from_register<Add>(); }
// ADDS<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_adds_reg() { return from_register<Adds>(); }
// ADC<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_adc_reg() { return from_register<Adc>(); }
// ADCS<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_adcs_reg() { return from_register<Adcs>(); }
// SBC<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_sbc_reg() { return from_register<Sbc>(); }
// SBCS<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_sbcs_reg() { return from_register<Sbcs>(); }
// RSC<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_rsc_reg() { return from_register<Rsc>(); }
// RSCS<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_rscs_reg() { return from_register<Rscs>(); }
// TST<c> <Rn>, <Rm>{, <shift>}
bool arm_tst_reg() { return from_register<Tst>(); }
// TEQ<c> <Rn>, <Rm>{, <shift>}
bool arm_teq_reg() { return from_register<Teq>(); }
// CMP<c> <Rn>, <Rm>{, <shift>}
bool arm_cmp_reg() { return from_register<Cmp>(); }
// CMN<c> <Rn>, <Rm>{, <shift>}
bool arm_cmn_reg() { return from_register<Cmn>(); }
// ORR<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_orr_reg() { return from_register<Orr>(); }
// ORRS<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_orrs_reg() { return from_register<Orrs>(); }
// MOV<c> <Rd>, <Rm>{, <shift>}
bool arm_mov_reg() { return from_register<Mov>(); }
// MOVS<c> <Rd>, <Rm>{, <shift>}
bool arm_movs_reg() { return from_register<Movs>(); }
// BIC<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_bic_reg() { return from_register<Bic>(); }
// BICS<c> <Rd>, <Rn>, <Rm>{, <shift>}
bool arm_bics_reg() { return from_register<Bics>(); }
// MVN<c> <Rd>, <Rm>{, <shift>}
bool arm_mvn_reg() { return from_register<Mvn>(); }
// MVNS<c> <Rd>, <Rm>{, <shift>}
bool arm_mvns_reg() { return from_register<Mvns>(); }

// ORDER ARM-DP-OPS: rotated immediate. The flag-setting logical operations
// take C from bit 31 of a rotated immediate.

// AND<c> <Rd>, <Rn>, #<const>
bool arm_and_imm() { return from_immediate<And>(); }
// ANDS<c> <Rd>, <Rn>, #<const>
bool arm_ands_imm() { return from_immediate<Ands>(); }
// EOR<c> <Rd>, <Rn>, #<const>
bool arm_eor_imm() { return from_immediate<Eor>(); }
// EORS<c> <Rd>, <Rn>, #<const>
bool arm_eors_imm() { return from_immediate<Eors>(); }
// SUB<c> <Rd>, <Rn>, #<const>
bool arm_sub_imm() { return from_immediate<Sub>(); }
// SUBS<c> <Rd>, <Rn>, #<const>
bool arm_subs_imm() { return from_immediate<Subs>(); }
// RSB<c> <Rd>, <Rn>, #<const>
bool arm_rsb_imm() { return from_immediate<Rsb>(); }
// RSBS<c> <Rd>, <Rn>, #<const>
bool arm_rsbs_imm() { return from_immediate<Rsbs>(); }
// ADD<c> <Rd>, <Rn>, #<const>
bool arm_add_imm() { return from_immediate<Add>(); }
// ADDS<c> <Rd>, <Rn>, #<const>
bool arm_adds_imm() { return from_immediate<Adds>(); }
// ADC<c> <Rd>, <Rn>, #<const>
bool arm_adc_imm() { return from_immediate<Adc>(); }
// ADCS<c> <Rd>, <Rn>, #<const>
bool arm_adcs_imm() { return from_immediate<Adcs>(); }
// SBC<c> <Rd>, <Rn>, #<const>
bool arm_sbc_imm() { return from_immediate<Sbc>(); }
// SBCS<c> <Rd>, <Rn>, #<const>
bool arm_sbcs_imm() { return from_immediate<Sbcs>(); }
// RSC<c> <Rd>, <Rn>, #<const>
bool arm_rsc_imm() { return from_immediate<Rsc>(); }
// RSCS<c> <Rd>, <Rn>, #<const>
bool arm_rscs_imm() { return from_immediate<Rscs>(); }
// TST<c> <Rn>, #<const>
bool arm_tst_imm() { return from_immediate<Tst>(); }
// TEQ<c> <Rn>, #<const>
bool arm_teq_imm() { return from_immediate<Teq>(); }
// CMP<c> <Rn>, #<const>
bool arm_cmp_imm() { return from_immediate<Cmp>(); }
// CMN<c> <Rn>, #<const>
bool arm_cmn_imm() { return from_immediate<Cmn>(); }
// ORR<c> <Rd>, <Rn>, #<const>
bool arm_orr_imm() { return from_immediate<Orr>(); }
// ORRS<c> <Rd>, <Rn>, #<const>
bool arm_orrs_imm() { return from_immediate<Orrs>(); }
// MOV<c> <Rd>, #<const>
bool arm_mov_imm() { return from_immediate<Mov>(); }
// MOVS<c> <Rd>, #<const>
bool arm_movs_imm() { return from_immediate<Movs>(); }
// BIC<c> <Rd>, <Rn>, #<const>
bool arm_bic_imm() { return from_immediate<Bic>(); }
// BICS<c> <Rd>, <Rn>, #<const>
bool arm_bics_imm() { return from_immediate<Bics>(); }
// MVN<c> <Rd>, #<const>
bool arm_mvn_imm() { return from_immediate<Mvn>(); }
// MVNS<c> <Rd>, #<const>
bool arm_mvns_imm() { return from_immediate<Mvns>(); }
