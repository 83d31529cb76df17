// The ARM front end: a block of ARM instructions into the decoded list.
// Which instruction ends a block and which flags each reads and writes come
// from the decoding description (cpu/arm_table.cpp); this file only picks
// the forms the back end computes natively and takes their fields apart.
#include "cpu/arm.h"
#include "cpu/arm_handlers.h"
#include "dynarec/decoded.h"
#include "memory/memory.h"

namespace {

uint32_t bits(uint32_t word, int high, int low) {
    return (word >> low) & ((2u << (high - low)) - 1);
}

//   31  28 27 26 25 24  21 20 19  16 15  12 11                 0
//  | cond | 0  0  I | op  | S |  Rn  |  Rd  |     operand 2      |
// Operand 2: I = 1, rotate (11-8) and imm8 (7-0); I = 0, a shift by an
// immediate is amount (11-7), type (6-5), 0 (4), Rm (3-0). The compare
// operations (op 8-11) with S clear are the miscellaneous space, not data
// processing.
bool is_native_data_processing(uint32_t word) {
    uint32_t op = bits(word, 24, 21);
    bool s = word & (1u << 20);
    if (op >= OP_TST && op <= OP_CMN && !s) return false;
    if (bits(word, 27, 25) == 1) return true;
    return bits(word, 27, 25) == 0 && !(word & 0x10);  // bit 4 set: shift by a register
}

void decode_data_processing(DecodedInsn& insn) {
    uint32_t word = insn.word;
    insn.kind = InsnKind::DataProcessing;
    insn.op = DataOp(bits(word, 24, 21));
    insn.sets_flags = word & (1u << 20);
    insn.rn = uint8_t(bits(word, 19, 16));
    insn.rd = uint8_t(bits(word, 15, 12));
    bool logical = is_logical(insn.op);
    bool carry_out = false;  // does the shifter produce a carry?
    if (word & (1u << 25)) {
        uint32_t rotate = bits(word, 11, 8) * 2;
        uint32_t imm8 = bits(word, 7, 0);
        insn.operand2 = Operand2::Immediate;
        insn.imm = rotate ? (imm8 >> rotate) | (imm8 << (32 - rotate)) : imm8;
        insn.imm_carry = rotate ? int8_t(insn.imm >> 31) : -1;
        carry_out = rotate != 0;
    } else {
        insn.operand2 = Operand2::ShiftedRegister;
        insn.rm = uint8_t(bits(word, 3, 0));
        insn.shift = ShiftType(bits(word, 6, 5));
        insn.amount = uint8_t(bits(word, 11, 7));
        insn.imm_carry = -1;
        // LSL #0 passes Rm and C through; every other form has a carry out
        // (LSR #0 and ASR #0 mean #32, ROR #0 is RRX).
        carry_out = !(insn.shift == SHIFT_LSL && insn.amount == 0);
        if (insn.shift == SHIFT_ROR && insn.amount == 0) insn.flags_read |= FLAG_C;
    }
    if (insn.op == OP_ADC || insn.op == OP_SBC || insn.op == OP_RSC) insn.flags_read |= FLAG_C;
    if (insn.sets_flags) {
        insn.flags_set = FLAG_N | FLAG_Z;
        if (!logical) insn.flags_set |= FLAG_C | FLAG_V;
        if (logical && carry_out) insn.flags_set |= FLAG_C;
    }
}

//   31  28 27   23 22 21 20 19  16 15  12 11   8 7    4 3    0
//  | cond | 0000 0 | 0 A | S |  Rd  |  Rn  |  Rs  | 1001 |  Rm  |  MUL, MLA
//  | cond | 0000 1 | U A | S | RdHi | RdLo |  Rs  | 1001 |  Rm  |  UMULL ... SMLAL
// (U set: signed.) The destinations are never r15 here: a write of r15
// ends the block and goes to the handler.
bool is_native_multiply(uint32_t word) {
    if ((word & 0x0F0000F0) != 0x00000090) return false;
    bool long_form = word & (1u << 23);
    bool accumulate = word & (1u << 21);
    if (!long_form && (word & (1u << 22))) return false;  // undefined
    // r15 as any operand is unpredictable: the handler gives the
    // interpreter's result.
    return bits(word, 11, 8) != 15 && bits(word, 3, 0) != 15 &&
           !((accumulate || long_form) && bits(word, 15, 12) == 15);
}

void decode_multiply(DecodedInsn& insn) {
    uint32_t word = insn.word;
    insn.kind = InsnKind::Multiply;
    insn.long_form = word & (1u << 23);
    insn.signed_form = word & (1u << 22);
    insn.accumulate = word & (1u << 21);
    insn.sets_flags = word & (1u << 20);
    insn.rd = uint8_t(bits(word, 19, 16));
    insn.rn = uint8_t(bits(word, 15, 12));
    insn.rs = uint8_t(bits(word, 11, 8));
    insn.rm = uint8_t(bits(word, 3, 0));
    if (insn.sets_flags) insn.flags_set = FLAG_N | FLAG_Z;
}

//   31  28 27 25 24 23                                0
//  | cond | 101 | L |          signed offset / 4         |
void decode_branch(DecodedInsn& insn) {
    insn.kind = InsnKind::Branch;
    insn.link = insn.word & (1u << 24);
    insn.link_address = insn.address + 4;
    int32_t offset = int32_t(insn.word << 8) >> 6;  // sign-extended, times 4
    insn.target = insn.address + 8 + uint32_t(offset);
}

// The transfers the back end does inline, told apart by the handler the
// decoding description gives them.
struct TransferForm {
    Handler handler;
    bool load;
    uint8_t width;  // 0: a word or a byte, as bit 22 says
    bool signed_load;
    bool pre;
    bool immediate;  // else a register offset
};
// clang-format off
const TransferForm transfer_forms[] = {
    // handler             load   width signed pre    immediate
    {arm_str_post_imm,    false, 0,    false, false, true},
    {arm_ldr_post_imm,    true,  0,    false, false, true},
    {arm_str_pre_imm,     false, 0,    false, true,  true},
    {arm_ldr_pre_imm,     true,  0,    false, true,  true},
    {arm_str_post_reg,    false, 0,    false, false, false},
    {arm_ldr_post_reg,    true,  0,    false, false, false},
    {arm_str_pre_reg,     false, 0,    false, true,  false},
    {arm_ldr_pre_reg,     true,  0,    false, true,  false},
    {arm_strh_post_reg,   false, 2,    false, false, false},
    {arm_ldrh_post_reg,   true,  2,    false, false, false},
    {arm_ldrsb_post_reg,  true,  1,    true,  false, false},
    {arm_ldrsh_post_reg,  true,  2,    true,  false, false},
    {arm_strh_post_imm,   false, 2,    false, false, true},
    {arm_ldrh_post_imm,   true,  2,    false, false, true},
    {arm_ldrsb_post_imm,  true,  1,    true,  false, true},
    {arm_ldrsh_post_imm,  true,  2,    true,  false, true},
    {arm_strh_pre_imm,    false, 2,    false, true,  true},
    {arm_ldrh_pre_imm,    true,  2,    false, true,  true},
    {arm_ldrsb_pre_imm,   true,  1,    true,  true,  true},
    {arm_ldrsh_pre_imm,   true,  2,    true,  true,  true},
    {arm_strh_pre_reg,    false, 2,    false, true,  false},
    {arm_ldrh_pre_reg,    true,  2,    false, true,  false},
    {arm_ldrsb_pre_reg,   true,  1,    true,  true,  false},
    {arm_ldrsh_pre_reg,   true,  2,    true,  true,  false},
};
// clang-format on

const TransferForm* transfer_form(uint32_t word) {
    Handler handler = arm_table[arm_index(word)];
    for (const TransferForm& form : transfer_forms)
        if (form.handler == handler) return &form;
    return nullptr;
}

//   31  28 27 26 25 24 23 22 21 20 19  16 15  12 11                     0
//  | cond | 0  1  R  P  U  B  W  L |  Rn  |  Rd  | imm12, or shifted Rm  |
//  | cond | 0  0  0  P  U  I  W  L |  Rn  |  Rd  | hi4 | 1SH1 | lo4/Rm  |
// Inline: everything but r15 as the destination or the stored value, r15
// as a base written back or as the offset register, the User-mode forms
// (post-indexed with W), a halfword store that is not STRH (SH = 01), the
// forms where a load and the write-back both write the base, and a load
// into the offset register of a post-indexed form.
bool decode_transfer(DecodedInsn& insn) {
    uint32_t word = insn.word;
    const TransferForm* form = transfer_form(word);
    if (!form) return false;
    bool halfword = bits(word, 27, 26) == 0;
    bool pre = word & (1u << 24), writeback = word & (1u << 21);
    uint32_t rn = bits(word, 19, 16), rd = bits(word, 15, 12), rm = bits(word, 3, 0);
    if (!pre && writeback) return false;
    if (!pre) writeback = true;
    if (rd == 15 || (rn == 15 && writeback) || (!form->immediate && rm == 15)) return false;
    if (halfword && !form->load && bits(word, 6, 5) != 1) return false;
    if (form->load && writeback && rn == rd) return false;
    // A post-indexed register offset is shifted again after the access: a
    // load must not have changed it.
    if (form->load && !pre && !form->immediate && rm == rd) return false;
    insn.kind = InsnKind::Transfer;
    insn.load = form->load;
    insn.width = form->width ? form->width : (word & (1u << 22)) ? 1 : 4;
    insn.signed_load = form->signed_load;
    insn.pre = pre;
    insn.up = word & (1u << 23);
    insn.writeback = writeback;
    insn.rn = uint8_t(rn);
    insn.rd = uint8_t(rd);
    if (form->immediate) {
        insn.operand2 = Operand2::Immediate;
        insn.imm = halfword ? (bits(word, 11, 8) << 4 | bits(word, 3, 0)) : bits(word, 11, 0);
    } else {
        insn.operand2 = Operand2::ShiftedRegister;
        insn.rm = uint8_t(rm);
        insn.shift = halfword ? SHIFT_LSL : ShiftType(bits(word, 6, 5));
        insn.amount = halfword ? 0 : uint8_t(bits(word, 11, 7));
        if (insn.shift == SHIFT_ROR && insn.amount == 0) insn.flags_read |= FLAG_C;  // RRX
    }
    return true;
}

//   31  28 27 25 24 23 22 21 20 19  16 15                         0
//  | cond | 100 | P  U  S  W  L |  Rn  |        register list        |
// Inline: no S, a base other than r15, and no write-back into a base that
// is also listed. A load of r15 ends the block and goes to the handler.
bool decode_block_transfer(DecodedInsn& insn) {
    uint32_t word = insn.word;
    Handler handler = arm_table[arm_index(word)];
    bool load = handler == arm_ldm_post || handler == arm_ldm_pre;
    if (!load && handler != arm_stm_post && handler != arm_stm_pre) return false;
    uint32_t rn = bits(word, 19, 16), list = bits(word, 15, 0);
    bool writeback = word & (1u << 21);
    if ((word & (1u << 22)) || rn == 15 || list == 0 || (writeback && (list >> rn) & 1))
        return false;
    insn.kind = InsnKind::BlockTransfer;
    insn.load = load;
    insn.pre = word & (1u << 24);
    insn.up = word & (1u << 23);
    insn.writeback = writeback;
    insn.rn = uint8_t(rn);
    insn.list = uint16_t(list);
    return true;
}

void decode_instruction(DecodedInsn& insn) {
    uint32_t word = insn.word;
    insn.cond = uint8_t(word >> 28);
    if (insn.cond == 0xF) {
        insn.kind = InsnKind::Skip;
        return;
    }
    insn.flags_read = uint8_t(condition_flags(insn.cond));
    insn.handler = arm_table[arm_index(word)];
    if (bits(word, 27, 25) == 5) {
        decode_branch(insn);
    } else if (arm_table[arm_index(word)] == arm_bx && bits(word, 3, 0) != 15) {
        insn.kind = InsnKind::BranchExchange;
        insn.rm = uint8_t(bits(word, 3, 0));
    } else if (arm_ends_block(word)) {
        insn.kind = InsnKind::Handler;  // writes r15 or changes the state
        insn.may_jump = true;
    } else if (is_native_data_processing(word)) {
        decode_data_processing(insn);
    } else if (is_native_multiply(word)) {
        decode_multiply(insn);
    } else if (decode_transfer(insn) || decode_block_transfer(insn)) {
        // fields taken apart
    } else {
        insn.kind = InsnKind::Handler;
    }
    if (insn.kind == InsnKind::Handler) {
        insn.flags_read = uint8_t(arm_flags_read(word));
        insn.flags_set = uint8_t(arm_flags_set(word));
    }
}

}  // namespace

void decode_arm_block(uint32_t address, DecodedBlock& block) {
    decode_block(address, block, false, [](DecodedInsn& insn) {
        insn.word = fetch_word(insn.address);
        insn.cycles = ARM_CYCLES;
        decode_instruction(insn);
    });
}

void end_at_stretch_boundary(DecodedBlock& block) {
    const uint32_t stretch = BLOCK_MAX_INSNS * insn_bytes(block);
    for (uint32_t i = block.count; i-- > 1;) {
        if (block.insns[i].address % stretch == 0) {
            block.count = i;
            return;
        }
    }
}

// Backward: at the end of the block every flag may be read (by the next
// block or the interpreter). A native instruction that runs unconditionally
// hides the flags it writes from everything before it. A handler may end
// the block early, and what the description says it sets it only may set
// (an LDM with S writes the CPSR only when r15 is in its list): before it
// every flag is live. So before a store, which may write over translated
// code and leave the block right after it.
void compute_flag_liveness(DecodedBlock& block) {
    uint8_t live = FLAGS_ALL;
    for (uint32_t i = block.count; i-- > 0;) {
        DecodedInsn& insn = block.insns[i];
        if (insn.kind == InsnKind::Handler) {
            insn.flags_live = insn.flags_set;
            live = FLAGS_ALL;
            continue;
        }
        bool may_leave_after =
            (insn.kind == InsnKind::Transfer || insn.kind == InsnKind::BlockTransfer) && !insn.load;
        if (may_leave_after) live = FLAGS_ALL;
        insn.flags_live = insn.flags_set & live;
        if (insn.cond == 0xE) live &= uint8_t(~insn.flags_set);
        live |= insn.flags_read;
    }
}
