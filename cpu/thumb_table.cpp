// The Thumb instruction set's one decoding description: for every value of
// opcode bits 15-6 the handler and the facts the recompiler needs, each rule
// commented with the opcode bits it matches. build_thumb_table fills
// thumb_table and thumb_facts from it.
#include <initializer_list>

#include "cpu/cpu.h"
#include "cpu/decoded.h"
#include "cpu/thumb.h"
#include "cpu/thumb_handlers.h"

Handler thumb_table[1024];
uint16_t thumb_facts[1024];

namespace {

// The record form of each table entry, or null where the handler runs
// through thumb_run_plain.
DecodedRun thumb_records[1024];

DecodedRun record_form_of(Handler handler) {
    for (const ThumbRecordForm* list :
         {thumb_alu_records, thumb_transfer_records, thumb_block_records, thumb_branch_records}) {
        for (const ThumbRecordForm* form = list; form->handler; form++)
            if (form->handler == handler) return form->record;
    }
    return nullptr;
}

}  // namespace

uint32_t thumb_step() { return thumb_execute(); }

namespace {

struct ThumbEncoding {
    Handler handler;
    uint16_t facts;
};

constexpr uint16_t NZ = THUMB_SETS_NZ;
constexpr uint16_t NZC = THUMB_SETS_NZ | THUMB_SETS_C;
constexpr uint16_t NZCV = THUMB_SETS_NZ | THUMB_SETS_C | THUMB_SETS_V;
// A shift by 0 keeps C: the shifts by a register, and LSL #0.
constexpr uint16_t SHIFT = NZC | THUMB_READS_C;

// ORDER THUMB-ALU-OPS
// clang-format off
constexpr ThumbEncoding alu_operations[16] = {
    {thumb_and, NZ},    {thumb_eor, NZ},          {thumb_lsl_reg, SHIFT}, {thumb_lsr_reg, SHIFT},
    {thumb_asr_reg, SHIFT}, {thumb_adc, NZCV | THUMB_READS_C}, {thumb_sbc, NZCV | THUMB_READS_C},
    {thumb_ror_reg, SHIFT}, {thumb_tst, NZ},      {thumb_neg, NZCV},      {thumb_cmp_reg, NZCV},
    {thumb_cmn, NZCV},  {thumb_orr, NZ},          {thumb_mul, NZ},        {thumb_bic, NZ},
    {thumb_mvn, NZ},
};
// clang-format on

// The handler and facts for opcode bits 15-6 of `o` (o's low six bits are
// zero).
ThumbEncoding decode(uint32_t o) {
    uint32_t b11 = (o >> 11) & 1, b10 = (o >> 10) & 1, b9 = (o >> 9) & 1;
    switch (o >> 12) {
        case 0x0:  // 000 op(12-11): shift by immediate (LSL #0 keeps C)
            return b11 ? ThumbEncoding{thumb_lsr_imm, NZC} : ThumbEncoding{thumb_lsl_imm, SHIFT};
        case 0x1:
            if (!b11) return {thumb_asr_imm, NZC};  // 00010
            // 00011 I(10) S(9): add/subtract, register or 3-bit immediate
            if (!b10) return {b9 ? thumb_sub_reg : thumb_add_reg, NZCV};
            return {b9 ? thumb_sub_imm3 : thumb_add_imm3, NZCV};
        case 0x2:  // 0010 op(11): MOV / CMP Rd, #imm8
            return b11 ? ThumbEncoding{thumb_cmp_imm8, NZCV} : ThumbEncoding{thumb_mov_imm8, NZ};
        case 0x3:  // 0011 op(11): ADD / SUB Rd, #imm8
            return {b11 ? thumb_sub_imm8 : thumb_add_imm8, NZCV};
        case 0x4:
            if (b11) return {thumb_ldr_pc, 0};               // 01001: LDR Rd, [PC, #]
            if (!b10) return alu_operations[(o >> 6) & 15];  // 010000 op(9-6)
            switch ((o >> 8) & 3) {                          // 010001 op(9-8)
                case 0: return {thumb_add_high, THUMB_WRITES_HIGH_RD};
                case 1: return {thumb_cmp_high, NZCV};
                case 2: return {thumb_mov_high, THUMB_WRITES_HIGH_RD};
                default: return {thumb_bx, THUMB_JUMPS | THUMB_CHANGES_STATE};
            }
        case 0x5: {  // 0101 op(11-9): register-offset transfers
            static constexpr Handler transfers[8] = {
                thumb_str_reg, thumb_strh_reg, thumb_strb_reg, thumb_ldrsb_reg,
                thumb_ldr_reg, thumb_ldrh_reg, thumb_ldrb_reg, thumb_ldrsh_reg,
            };
            return {transfers[(o >> 9) & 7], 0};
        }
        case 0x6:  // 0110 L(11): word, immediate offset
            return {b11 ? thumb_ldr_imm : thumb_str_imm, 0};
        case 0x7:  // 0111 L(11): byte, immediate offset
            return {b11 ? thumb_ldrb_imm : thumb_strb_imm, 0};
        case 0x8:  // 1000 L(11): halfword, immediate offset
            return {b11 ? thumb_ldrh_imm : thumb_strh_imm, 0};
        case 0x9:  // 1001 L(11): SP-relative word
            return {b11 ? thumb_ldr_sp : thumb_str_sp, 0};
        case 0xA:  // 1010 SP(11): ADD Rd, PC/SP, #imm8 x 4
            return {b11 ? thumb_add_rd_sp : thumb_add_rd_pc, 0};
        case 0xB:
            if (!b10) return {thumb_add_sp_imm, 0};  // 1011 x0 xx: bits 11, 9-8 ignored
            // 1011 L1 x R: bit 9 ignored
            return b11 ? ThumbEncoding{thumb_pop, THUMB_POPS_LIST} : ThumbEncoding{thumb_push, 0};
        case 0xC:  // 1100 L(11): STMIA / LDMIA
            return {b11 ? thumb_ldmia : thumb_stmia, 0};
        case 0xD:  // 1101 cond(11-8): conditional branch, cond 15 is SWI
            if (((o >> 8) & 15) == 15)
                return {thumb_swi, THUMB_JUMPS | THUMB_CHANGES_STATE | THUMB_READS_FLAGS};
            return {thumb_b_cond, THUMB_JUMPS};
        case 0xE:  // 1110 x S(10): B, bit 11 ignored
            return {b10 ? thumb_b_backward : thumb_b_forward, THUMB_JUMPS};
        default:  // 1111: long branch with link, either halfword
            return {thumb_bl, THUMB_JUMPS};
    }
}

}  // namespace

void build_thumb_table() {
    for (uint32_t i = 0; i < 1024; i++) {
        ThumbEncoding encoding = decode(i << 6);
        thumb_table[i] = encoding.handler;
        thumb_facts[i] = encoding.facts;
        thumb_records[i] = record_form_of(encoding.handler);
    }
    reset_thumb_decoded();
}

namespace {

// Formats by bits 15-11, for the record's fields (cpu/thumb_fields.h).
bool eight_bit_immediate_format(uint32_t top) {
    return (top >= 0x04 && top < 0x08) || top == 0x09 || (top >= 0x12 && top < 0x16);
}
bool high_register_format(uint32_t word) { return (word >> 10) == 0x11; }

// B<cond> and B carry their distance in instructions from this one,
// offset + 2.
void branch_fields(Decoded& d, uint32_t word) {
    if ((word >> 12) == 0xD) {
        d.operand = uint32_t(int32_t(int8_t(word & 0xFF)) + 2);
    } else {
        d.operand = uint32_t((int32_t((word & 0x7FF) << 21) >> 21) + 2);
    }
}

}  // namespace

void thumb_decode_into(Decoded& d, uint32_t word) {
    d = Decoded{};
    d.word = word;
    d.cond = thumb_cycles(word) == THUMB_CYCLES ? COND_AL : LONG_BRANCH;
    d.plain = thumb_table[thumb_index(word)];
    uint32_t top = word >> 11;
    if (eight_bit_immediate_format(top)) {
        d.rd = uint8_t((word >> 8) & 7);
        d.operand = word & 0xFF;
    } else if (high_register_format(word)) {
        d.rd = uint8_t((word & 7) | ((word >> 4) & 8));
        d.rm = uint8_t((word >> 3) & 15);
    } else if (top >= 0x1A && top < 0x1E) {
        branch_fields(d, word);
    } else {
        d.rd = uint8_t(word & 7);
        d.rm = uint8_t((word >> 3) & 7);
        d.rn = uint8_t((word >> 6) & 7);
        d.operand = (word >> 6) & 31;
    }
    DecodedRun record = thumb_records[thumb_index(word)];
    if (thumb_table[thumb_index(word)] == thumb_b_cond)
        record = thumb_b_cond_record((word >> 8) & 15);
    if (DecodedRun short_shift = thumb_short_shift_record(thumb_table[thumb_index(word)]);
        short_shift && d.operand != 0)
        record = short_shift;
    // A record's Rd is never r15: ADD and MOV into r15 jump.
    if (high_register_format(word) && d.rd == 15) record = nullptr;
    // The branches' forms read r15 from the record's place; the others
    // read the register, which the run sets for them only on request.
    Handler handler = thumb_table[thumb_index(word)];
    bool reads_r15 = (high_register_format(word) && d.rm == 15) || handler == thumb_ldr_pc ||
                     handler == thumb_add_rd_pc;
    if (record && reads_r15) {
        d.run = thumb_run_with_r15;
        d.then = record;
    } else {
        d.run = record ? record : thumb_run_plain;
    }
}

bool thumb_writes_pc(uint32_t opcode) {
    uint16_t facts = thumb_facts[thumb_index(opcode)];
    return (facts & THUMB_JUMPS) || ((facts & THUMB_POPS_LIST) && (opcode & 0x100)) ||
           ((facts & THUMB_WRITES_HIGH_RD) && (opcode & 0x87) == 0x87);
}

bool thumb_changes_state(uint32_t opcode) {
    return thumb_facts[thumb_index(opcode)] & THUMB_CHANGES_STATE;
}

uint32_t thumb_flags_read(uint32_t opcode) {
    uint16_t facts = thumb_facts[thumb_index(opcode)];
    if (facts & THUMB_READS_FLAGS) return FLAGS_ALL;
    if (thumb_table[thumb_index(opcode)] == thumb_b_cond) return condition_flags(opcode >> 8);
    return (facts & THUMB_READS_C) ? FLAG_C : 0;
}

uint32_t thumb_flags_set(uint32_t opcode) {
    uint16_t facts = thumb_facts[thumb_index(opcode)];
    uint32_t set = 0;
    if (facts & THUMB_SETS_NZ) set |= FLAG_N | FLAG_Z;
    if (facts & THUMB_SETS_C) set |= FLAG_C;
    if (facts & THUMB_SETS_V) set |= FLAG_V;
    return set;
}
