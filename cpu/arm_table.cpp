// The ARM instruction set's one decoding description: for every index
// (opcode bits 27-20, "hi", and bits 7-4, "lo") the handler and the facts
// the recompiler needs. build_arm_table fills arm_table and arm_facts from
// it; the opcode-level queries combine the facts with register fields.
//
// Every encoding lands where ARMv4T puts it; what the architecture leaves
// undefined (including the coprocessor space: none is attached) reaches
// arm_unhandled.
#include "cpu/arm.h"
#include "cpu/arm_handlers.h"
#include "cpu/decoded.h"
#include "cpu/shifter.h"

namespace {

// The families whose instructions can run from a decoded record's fields
// (cpu/decoded.h); arm_decode_into picks the form within the family.
enum class RecordFamily : uint8_t {
    NONE,
    DATA_PROCESSING,
    WORD_TRANSFER,
    HALFWORD_TRANSFER,
    BLOCK_TRANSFER,
    BRANCH,
    BRANCH_EXCHANGE,
    MULTIPLY,
};

struct ArmEncoding {
    Handler handler;
    uint16_t facts;
    RecordFamily family = RecordFamily::NONE;
};

constexpr ArmEncoding UNDEFINED = {arm_unhandled, 0};

// ORDER ARM-DP-OPS: by hi & 0x1F (operation in bits 4-1, S in bit 0). The
// compare operations exist only with S; their S-clear slots are the
// miscellaneous space, decoded by its own rules.
// clang-format off
const Handler data_processing_reg[32] = {
    arm_and_reg, arm_ands_reg, arm_eor_reg, arm_eors_reg,
    arm_sub_reg, arm_subs_reg, arm_rsb_reg, arm_rsbs_reg,
    arm_add_reg, arm_adds_reg, arm_adc_reg, arm_adcs_reg,
    arm_sbc_reg, arm_sbcs_reg, arm_rsc_reg, arm_rscs_reg,
    nullptr,     arm_tst_reg,  nullptr,     arm_teq_reg,
    nullptr,     arm_cmp_reg,  nullptr,     arm_cmn_reg,
    arm_orr_reg, arm_orrs_reg, arm_mov_reg, arm_movs_reg,
    arm_bic_reg, arm_bics_reg, arm_mvn_reg, arm_mvns_reg,
};
const Handler data_processing_imm[32] = {
    arm_and_imm, arm_ands_imm, arm_eor_imm, arm_eors_imm,
    arm_sub_imm, arm_subs_imm, arm_rsb_imm, arm_rsbs_imm,
    arm_add_imm, arm_adds_imm, arm_adc_imm, arm_adcs_imm,
    arm_sbc_imm, arm_sbcs_imm, arm_rsc_imm, arm_rscs_imm,
    nullptr,     arm_tst_imm,  nullptr,     arm_teq_imm,
    nullptr,     arm_cmp_imm,  nullptr,     arm_cmn_imm,
    arm_orr_imm, arm_orrs_imm, arm_mov_imm, arm_movs_imm,
    arm_bic_imm, arm_bics_imm, arm_mvn_imm, arm_mvns_imm,
};

// ORDER ARM-DP-OPS: what each operation does with Rd and the flags.
enum OperationKind : uint8_t { LOGICAL, ARITHMETIC, WITH_CARRY, TEST, COMPARE };
const OperationKind operation_kinds[16] = {
    LOGICAL,    LOGICAL,    ARITHMETIC, ARITHMETIC,  // AND EOR SUB RSB
    ARITHMETIC, WITH_CARRY, WITH_CARRY, WITH_CARRY,  // ADD ADC SBC RSC
    TEST,       TEST,       COMPARE,    COMPARE,     // TST TEQ CMP CMN
    LOGICAL,    LOGICAL,    LOGICAL,    LOGICAL,     // ORR MOV BIC MVN
};

// Multiplies by hi 0x00-0x0F (bit 3 long, bit 2 signed, bit 1 accumulate,
// bit 0 S); hi 0x04-0x07 are undefined.
const Handler multiplies[16] = {
    arm_mul,   arm_muls,   arm_mla,   arm_mlas,
    nullptr,   nullptr,    nullptr,   nullptr,
    arm_umull, arm_umulls, arm_umlal, arm_umlals,
    arm_smull, arm_smulls, arm_smlal, arm_smlals,
};
// Halfword and signed transfers by P (bit 24), immediate offset (bit 22)
// and L (bit 20), then lo B (H), D (SB), F (SH); stores ignore lo.
const Handler halfword_transfers[2][2][2][3] = {
    {{{arm_strh_post_reg, arm_strh_post_reg,  arm_strh_post_reg},
      {arm_ldrh_post_reg, arm_ldrsb_post_reg, arm_ldrsh_post_reg}},
     {{arm_strh_post_imm, arm_strh_post_imm,  arm_strh_post_imm},
      {arm_ldrh_post_imm, arm_ldrsb_post_imm, arm_ldrsh_post_imm}}},
    {{{arm_strh_pre_reg,  arm_strh_pre_reg,   arm_strh_pre_reg},
      {arm_ldrh_pre_reg,  arm_ldrsb_pre_reg,  arm_ldrsh_pre_reg}},
     {{arm_strh_pre_imm,  arm_strh_pre_imm,   arm_strh_pre_imm},
      {arm_ldrh_pre_imm,  arm_ldrsb_pre_imm,  arm_ldrsh_pre_imm}}},
};
// Word and byte transfers by register offset (bit 25), P (bit 24), L (bit 20).
const Handler word_transfers[2][2][2] = {
    {{arm_str_post_imm, arm_ldr_post_imm}, {arm_str_pre_imm, arm_ldr_pre_imm}},
    {{arm_str_post_reg, arm_ldr_post_reg}, {arm_str_pre_reg, arm_ldr_pre_reg}},
};
// Block transfers by P (bit 24) and L (bit 20).
const Handler block_transfers[2][2] = {
    {arm_stm_post, arm_ldm_post},
    {arm_stm_pre,  arm_ldm_pre},
};
// B (bit 24 clear) and BL (bit 24 set), by the sign of the offset (bit 23).
const Handler branches[2][2] = {
    {arm_b_forward,  arm_b_backward},
    {arm_bl_forward, arm_bl_backward},
};
// clang-format on

uint32_t bit(uint32_t value, uint32_t n) { return (value >> n) & 1; }

uint16_t data_processing_facts(uint32_t hi, bool register_form) {
    OperationKind kind = operation_kinds[(hi >> 1) & 15];
    bool s = hi & 1;
    uint16_t facts = register_form ? ARM_SHIFTS_RM : 0;
    if (kind != TEST && kind != COMPARE) facts |= ARM_WRITES_RD | (s ? ARM_RESTORES_CPSR : 0);
    if (kind == WITH_CARRY) facts |= ARM_READS_C;
    if (s) {
        // The logical operations take C from the shifter, which keeps C
        // for a shift by 0.
        bool logical = kind == LOGICAL || kind == TEST;
        facts |= ARM_SETS_NZ | ARM_SETS_C | (logical ? ARM_READS_C : ARM_SETS_V);
    }
    return facts;
}

// A single transfer writes its base back when post-indexed (P clear) or
// with W (bit 21) set; a load writes Rd.
uint16_t transfer_facts(uint32_t hi) {
    uint16_t facts = bit(hi, 0) ? ARM_WRITES_RD : 0;
    if (!bit(hi, 4) || bit(hi, 1)) facts |= ARM_WRITES_RN;
    return facts;
}

// 27-25 = 000 with bit 7 and bit 4 set: multiplies, swaps and the
// halfword and signed transfers.
ArmEncoding decode_multiply_space(uint32_t hi, uint32_t lo) {
    if (lo == 0x9) {
        if (hi < 0x10) {
            // 27-24 = 0000, 7-4 = 1001: MUL, MLA (Rd in 19-16), and the long
            // forms (RdHi in 19-16, RdLo in 15-12); S sets N and Z
            if (!multiplies[hi]) return UNDEFINED;
            uint16_t facts = ARM_WRITES_RN | (bit(hi, 3) ? ARM_WRITES_RD : 0);
            if (bit(hi, 0)) facts |= ARM_SETS_NZ;
            return {multiplies[hi], facts, RecordFamily::MULTIPLY};
        }
        // 27-20 = 0001 0B00, 7-4 = 1001: SWP, SWPB
        if ((hi & 0xFB) == 0x10) return {bit(hi, 2) ? arm_swpb : arm_swp, ARM_WRITES_RD};
        return UNDEFINED;
    }
    // 7-4 = 1SH1: LDRH, LDRSB, LDRSH, STRH by P, immediate (bit 22), L
    Handler handler = halfword_transfers[bit(hi, 4)][bit(hi, 2)][bit(hi, 0)][(lo - 0xB) / 2];
    return {handler, transfer_facts(hi), RecordFamily::HALFWORD_TRANSFER};
}

// 27-20 = 0001 0xx0 (a compare operation without S), bit 7 or bit 4 clear.
ArmEncoding decode_miscellaneous(uint32_t hi, uint32_t lo) {
    bool spsr = bit(hi, 2);
    // 27-20 = 0001 0R00, 7-4 = 0000: MRS
    if ((hi & 0xFB) == 0x10 && lo == 0) return {arm_mrs, ARM_WRITES_RD | ARM_READS_FLAGS};
    // 27-20 = 0001 0R10, 7-4 = 0000: MSR from a register
    if ((hi & 0xFB) == 0x12 && lo == 0)
        return {arm_msr_reg, uint16_t(spsr ? 0 : ARM_WRITES_CPSR | ARM_CHANGES_STATE)};
    // 27-20 = 0001 0010, 7-4 = 0001: BX
    if (hi == 0x12 && lo == 1)
        return {arm_bx, ARM_JUMPS | ARM_CHANGES_STATE, RecordFamily::BRANCH_EXCHANGE};
    return UNDEFINED;
}

ArmEncoding decode(uint32_t hi, uint32_t lo) {
    if (hi < 0x20) {
        // 27-25 = 000
        if ((lo & 0x9) == 0x9) return decode_multiply_space(hi, lo);
        if ((hi & 0x19) == 0x10) return decode_miscellaneous(hi, lo);
        // data processing with Rm shifted by an immediate or by Rs
        return {data_processing_reg[hi], data_processing_facts(hi, true),
                RecordFamily::DATA_PROCESSING};
    }
    if (hi < 0x40) {
        // 27-25 = 001: data processing with a rotated immediate; the
        // compare slots without S hold MSR (0x32, 0x36) or nothing
        if ((hi & 0x19) == 0x10) {
            if ((hi & 0xFB) != 0x32) return UNDEFINED;
            bool spsr = bit(hi, 2);
            return {arm_msr_imm, uint16_t(spsr ? 0 : ARM_WRITES_CPSR | ARM_CHANGES_STATE)};
        }
        return {data_processing_imm[hi - 0x20], data_processing_facts(hi, false),
                RecordFamily::DATA_PROCESSING};
    }
    if (hi < 0x80) {
        // 27-25 = 011 with bit 4 set: the undefined-instruction space
        // (udf, GCC's __builtin_trap)
        if (hi >= 0x60 && (lo & 1)) return UNDEFINED;
        // 27-26 = 01: LDR, STR, LDRB, STRB, the register offset shifted
        Handler handler = word_transfers[bit(hi, 5)][bit(hi, 4)][bit(hi, 0)];
        return {handler, uint16_t(transfer_facts(hi) | (bit(hi, 5) ? ARM_SHIFTS_RM : 0)),
                RecordFamily::WORD_TRANSFER};
    }
    if (hi < 0xA0) {
        // 27-25 = 100: LDM, STM; write-back with W (bit 21); with S (bit 22)
        // an LDM that loads r15 returns from an exception
        uint16_t facts = bit(hi, 1) ? ARM_WRITES_RN : 0;
        if (bit(hi, 0)) facts |= ARM_LOADS_LIST | (bit(hi, 2) ? ARM_RESTORES_CPSR : 0);
        return {block_transfers[bit(hi, 4)][bit(hi, 0)], facts, RecordFamily::BLOCK_TRANSFER};
    }
    // 27-25 = 101: B, BL
    if (hi < 0xC0) return {branches[bit(hi, 4)][bit(hi, 3)], ARM_JUMPS, RecordFamily::BRANCH};
    // 27-24 = 1100-1110: coprocessor transfers and operations
    if (hi < 0xF0) return UNDEFINED;
    // 27-24 = 1111: SWI
    return {arm_swi, ARM_JUMPS | ARM_CHANGES_STATE | ARM_READS_FLAGS};
}

RecordFamily record_families[4096];

uint32_t rd_of(uint32_t opcode) { return (opcode >> 12) & 15; }
uint32_t rn_of(uint32_t opcode) { return (opcode >> 16) & 15; }

}  // namespace

void build_arm_table() {
    for (uint32_t hi = 0; hi < 0x100; hi++) {
        for (uint32_t lo = 0; lo < 16; lo++) {
            ArmEncoding encoding = decode(hi, lo);
            arm_table[(hi << 4) | lo] = encoding.handler;
            arm_facts[(hi << 4) | lo] = encoding.facts;
            record_families[(hi << 4) | lo] = encoding.family;
        }
    }
    reset_arm_decoded();
}

namespace {

// Data processing with Rd other than r15 (the compare operations write no
// Rd) and an operand 2 that is not shifted by r15.
DecodedRun data_processing_record(Decoded& d, uint32_t word) {
    uint32_t hi = (word >> 20) & 0xFF;
    OperationKind kind = operation_kinds[(hi >> 1) & 15];
    if (d.rd == 15 && kind != TEST && kind != COMPARE) return nullptr;
    // Fields that name no register here are cleared, so that only a real
    // read of r15 asks the run to set it (arm_decode_into).
    if (kind == TEST || kind == COMPARE) d.rd = 0;
    const DataProcessingForms& forms = data_processing_forms[hi & 0x1F];
    if (hi >= 0x20) {
        d.rm = 0;
        Shifted imm = rotated_immediate(word & 0xFF, (word >> 8) & 15, KEEP_CARRY);
        d.operand = imm.value;
        d.shift = uint8_t(imm.carry);
        return forms[size_t(RecordOperand::IMMEDIATE)];
    }
    if ((word & 0xFF0) == 0) return forms[size_t(RecordOperand::REGISTER)];
    d.shift = uint8_t((word >> 5) & 3);
    if (word & 0x10) {
        d.operand = (word >> 8) & 15;
        return d.operand == 15 ? nullptr : forms[size_t(RecordOperand::BY_REGISTER)];
    }
    d.operand = (word >> 7) & 31;
    static constexpr RecordOperand plain_shifts[4] = {RecordOperand::LSL, RecordOperand::LSR,
                                                      RecordOperand::ASR, RecordOperand::SHIFTED};
    return forms[size_t(d.operand ? plain_shifts[d.shift] : RecordOperand::SHIFTED)];
}

// P and W as a shape, for transfers that do not load r15 or write back into
// it; null for a post-indexed form with W set (the User-mode access forms).
const TransferShape* transfer_shape(const Decoded& d, uint32_t hi) {
    static constexpr TransferShape shapes[2][2] = {
        {TransferShape::POST_INDEXED, TransferShape::POST_INDEXED},
        {TransferShape::OFFSET, TransferShape::PRE_INDEXED}};
    bool pre = bit(hi, 4), write_back = bit(hi, 1);
    if (!pre && write_back) return nullptr;
    if (bit(hi, 0) && d.rd == 15) return nullptr;
    if ((!pre || write_back) && d.rn == 15) return nullptr;
    return &shapes[pre][write_back];
}

DecodedRun word_transfer_record(Decoded& d, uint32_t word, uint32_t hi) {
    const TransferShape* shape = transfer_shape(d, hi);
    if (!shape) return nullptr;
    const auto& offsets = word_transfer_records[bit(hi, 0)][bit(hi, 2)][size_t(*shape)];
    bool up = bit(hi, 3);
    if (!bit(hi, 5)) {
        d.operand = up ? word & 0xFFF : 0u - (word & 0xFFF);
        d.rm = 0;  // bits of the offset
        return offsets[size_t(TransferOffset::IMMEDIATE)];
    }
    if (!up) return nullptr;
    if ((word & 0xFF0) == 0) return offsets[size_t(TransferOffset::REGISTER)];
    d.shift = uint8_t((word >> 5) & 3);
    d.operand = (word >> 7) & 31;
    bool left = d.shift == SHIFT_LSL && d.operand != 0;
    return offsets[size_t(left ? TransferOffset::LSL : TransferOffset::SHIFTED)];
}

DecodedRun halfword_transfer_record(Decoded& d, uint32_t word, uint32_t hi, uint32_t lo) {
    const TransferShape* shape = transfer_shape(d, hi);
    if (!shape) return nullptr;
    uint32_t access = bit(hi, 0) ? (lo - 0xB) / 2 + 1 : 0;  // STRH, LDRH, LDRSB, LDRSH
    const auto& offsets = halfword_transfer_records[access][size_t(*shape)];
    bool up = bit(hi, 3);
    if (bit(hi, 2)) {
        uint32_t offset = ((word >> 4) & 0xF0) | (word & 0xF);
        d.operand = up ? offset : 0u - offset;
        d.rm = 0;  // bits of the offset
        return offsets[size_t(TransferOffset::IMMEDIATE)];
    }
    if (!up) return nullptr;
    return offsets[size_t(TransferOffset::REGISTER)];
}

// The record form of a word, or null where the table's handler runs it.
DecodedRun record_form(Decoded& d, uint32_t word) {
    uint32_t hi = (word >> 20) & 0xFF, lo = (word >> 4) & 0xF;
    switch (record_families[arm_index(word)]) {
        case RecordFamily::DATA_PROCESSING: return data_processing_record(d, word);
        case RecordFamily::WORD_TRANSFER: return word_transfer_record(d, word, hi);
        case RecordFamily::HALFWORD_TRANSFER: return halfword_transfer_record(d, word, hi, lo);
        case RecordFamily::BLOCK_TRANSFER: return block_transfer_record(d, word);
        case RecordFamily::BRANCH:
            d.operand = uint32_t((int32_t(word << 8) >> 8) + 2);
            return bit(hi, 4) ? arm_bl_record : arm_b_record;
        case RecordFamily::MULTIPLY:
            if (d.rd == 15 || d.rn == 15 || d.rm == 15 || ((word >> 8) & 15) == 15) return nullptr;
            return multiply_records[hi & 15];
        case RecordFamily::BRANCH_EXCHANGE:
            d.rd = d.rn = 0;  // bits 19-8 should be ones, and are not read
            return arm_bx_record;
        default: return nullptr;
    }
}

}  // namespace

// The decoded form of a word: a record form where the word has one, the
// table's handler through arm_run_plain for the rest.
void arm_decode_into(Decoded& d, uint32_t word) {
    d = Decoded{};
    d.word = word;
    d.cond = uint8_t(word >> 28);
    d.rd = uint8_t((word >> 12) & 15);
    d.rn = uint8_t((word >> 16) & 15);
    d.rm = uint8_t(word & 15);
    d.plain = arm_table[arm_index(word)];
    DecodedRun run = record_form(d, word);
    // The branches' forms read r15 from the record's place; the others
    // read the register, which the run sets for them only on request.
    bool reads_r15 = (d.rd == 15 || d.rn == 15 || d.rm == 15) &&
                     record_families[arm_index(word)] != RecordFamily::BRANCH;
    if (d.cond == COND_AL && run && reads_r15) {
        d.run = arm_run_with_r15;
        d.then = run;
    } else if (d.cond == COND_AL) {
        d.run = run ? run : arm_run_plain;
    } else if (run == arm_b_record) {
        d.run = arm_b_conditional(d.cond);
    } else if (run) {
        d.run = arm_run_conditional(d.cond);
        d.then = run;
    } else {
        d.run = arm_run_plain_conditional(d.cond);
    }
}

bool arm_writes_pc(uint32_t opcode) {
    uint16_t facts = arm_facts[arm_index(opcode)];
    return (facts & ARM_JUMPS) || ((facts & ARM_WRITES_RD) && rd_of(opcode) == 15) ||
           ((facts & ARM_WRITES_RN) && rn_of(opcode) == 15) ||
           ((facts & ARM_LOADS_LIST) && (opcode & 0x8000));
}

bool arm_changes_state(uint32_t opcode) {
    uint16_t facts = arm_facts[arm_index(opcode)];
    return (facts & ARM_CHANGES_STATE) || ((facts & ARM_RESTORES_CPSR) && arm_writes_pc(opcode));
}

uint32_t condition_flags(uint32_t cond) {
    // clang-format off
    static const uint8_t tested[16] = {
        FLAG_Z, FLAG_Z, FLAG_C, FLAG_C,                    // EQ NE CS CC
        FLAG_N, FLAG_N, FLAG_V, FLAG_V,                    // MI PL VS VC
        FLAG_C | FLAG_Z, FLAG_C | FLAG_Z,                  // HI LS
        FLAG_N | FLAG_V, FLAG_N | FLAG_V,                  // GE LT
        FLAG_N | FLAG_Z | FLAG_V, FLAG_N | FLAG_Z | FLAG_V,  // GT LE
        0, 0,                                              // AL, never
    };
    // clang-format on
    return tested[cond & 15];
}

uint32_t arm_flags_read(uint32_t opcode) {
    uint16_t facts = arm_facts[arm_index(opcode)];
    uint32_t read = condition_flags(opcode >> 28);
    if (facts & ARM_READS_FLAGS) read |= FLAGS_ALL;
    if (facts & ARM_READS_C) read |= FLAG_C;
    // RRX: ROR #0 with an immediate amount rotates C in.
    if ((facts & ARM_SHIFTS_RM) && (opcode & 0xFF0) == 0x060) read |= FLAG_C;
    return read;
}

uint32_t arm_flags_set(uint32_t opcode) {
    uint16_t facts = arm_facts[arm_index(opcode)];
    if (arm_changes_state(opcode) && !(facts & ARM_WRITES_CPSR) && !(facts & ARM_JUMPS))
        return FLAGS_ALL;  // an exception return takes them from the SPSR
    if (facts & ARM_WRITES_CPSR) return (opcode & (1u << 19)) ? FLAGS_ALL : 0;
    uint32_t set = 0;
    if (facts & ARM_SETS_NZ) set |= FLAG_N | FLAG_Z;
    if (facts & ARM_SETS_C) set |= FLAG_C;
    if (facts & ARM_SETS_V) set |= FLAG_V;
    return set;
}
