// The ARM front end: a block of ARM instructions into the decoded list.
// Which instruction ends a block and which flags each reads and writes come
// from the decoding description (cpu/arm_table.cpp); this file only picks
// the forms the back end computes natively and takes their fields apart.
#include "cpu/arm.h"
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

void decode_instruction(DecodedInsn& insn) {
    uint32_t word = insn.word;
    insn.cond = uint8_t(word >> 28);
    if (insn.cond == 0xF) {
        insn.kind = InsnKind::Skip;
        return;
    }
    insn.flags_read = uint8_t(condition_flags(insn.cond));
    if (bits(word, 27, 25) == 5) {
        decode_branch(insn);
    } else if (arm_ends_block(word)) {
        insn.kind = InsnKind::Handler;  // writes r15 or changes the state
        insn.may_jump = true;
    } else if (is_native_data_processing(word)) {
        decode_data_processing(insn);
    } else if (is_native_multiply(word)) {
        decode_multiply(insn);
    } else {
        insn.kind = InsnKind::Handler;
    }
    if (insn.kind == InsnKind::Handler) {
        insn.handler = arm_table[arm_index(word)];
        insn.flags_read = uint8_t(arm_flags_read(word));
        insn.flags_set = uint8_t(arm_flags_set(word));
    }
}

bool ends_block(const DecodedInsn& insn) {
    return insn.kind == InsnKind::Branch || (insn.kind == InsnKind::Handler && insn.may_jump);
}

}  // namespace

void decode_arm_block(uint32_t address, DecodedBlock& block) {
    block.start = address;
    block.count = 0;
    block.thumb = false;
    uint32_t region = address >> 24;
    while (block.count < BLOCK_MAX_INSNS) {
        DecodedInsn& insn = block.insns[block.count++];
        insn = DecodedInsn{};
        insn.address = address;
        insn.word = fetch_word(address);
        insn.cycles = ARM_CYCLES;
        decode_instruction(insn);
        if (ends_block(insn)) break;
        address += 4;
        // A block stays in one region: the next might not be watched.
        if ((address >> 24) != region) break;
    }
}

// Backward: at the end of the block every flag may be read (by the next
// block or the interpreter). A native instruction that runs unconditionally
// hides the flags it writes from everything before it. A handler may end
// the block early, and what the description says it sets it only may set
// (an LDM with S writes the CPSR only when r15 is in its list): before it
// every flag is live.
void compute_flag_liveness(DecodedBlock& block) {
    uint8_t live = FLAGS_ALL;
    for (uint32_t i = block.count; i-- > 0;) {
        DecodedInsn& insn = block.insns[i];
        if (insn.kind == InsnKind::Handler) {
            insn.flags_live = insn.flags_set;
            live = FLAGS_ALL;
            continue;
        }
        insn.flags_live = insn.flags_set & live;
        if (insn.cond == 0xE) live &= uint8_t(~insn.flags_set);
        live |= insn.flags_read;
    }
}
