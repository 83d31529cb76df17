// The Thumb front end: a block of Thumb instructions into the decoded list
// the ARM front end fills. A Thumb data-processing form becomes the ARM
// operation that computes the same result and the same flags (the shifts by
// an immediate are MOVS with a shifted register, NEG is RSBS from 0, the
// high-register forms leave the flags alone), and r15 as an operand the
// value it reads; loads and stores become the ARM transfers with the same
// address (PUSH is STMDB sp!, POP is LDMIA sp!), BX the ARM BX. Shifts by a
// register, SWI, writes of r15 and the forms the inline transfers leave out
// call their handler.
// Which flags each instruction reads and writes, and which end a block,
// come from the Thumb decoding description (cpu/thumb_table.cpp).
#include "cpu/thumb.h"
#include "cpu/thumb_handlers.h"
#include "dynarec/decoded.h"
#include "memory/memory.h"

namespace {

uint32_t bits(uint32_t halfword, int high, int low) {
    return (halfword >> low) & ((2u << (high - low)) - 1);
}

uint32_t sign_extend(uint32_t value, int width) {
    return uint32_t(int32_t(value << (32 - width)) >> (32 - width));
}

// What r15 reads in the instruction at `address`.
uint32_t pc_value(uint32_t address) { return address + 4; }

void data_processing(DecodedInsn& insn, DataOp op, bool sets_flags, uint8_t rd, uint8_t rn) {
    insn.kind = InsnKind::DataProcessing;
    insn.op = op;
    insn.sets_flags = sets_flags;
    insn.rd = rd;
    insn.rn = rn;
    insn.imm_carry = -1;  // no Thumb immediate has a rotation
}

// Operand 2: a low or high register as it is (LSL #0), r15 as its value.
void register_operand(DecodedInsn& insn, uint8_t rm) {
    if (rm == 15) {
        insn.operand2 = Operand2::Immediate;
        insn.imm = pc_value(insn.address);
        return;
    }
    insn.operand2 = Operand2::ShiftedRegister;
    insn.rm = rm;
    insn.shift = SHIFT_LSL;
    insn.amount = 0;
}

void immediate_operand(DecodedInsn& insn, uint32_t value) {
    insn.operand2 = Operand2::Immediate;
    insn.imm = value;
}

//  | 000 | op(12-11) | imm5 | Rs | Rd |  LSL, LSR, ASR #imm5 = MOVS Rd, Rs <shift> #imm5
// (the same encoding of amounts: LSR #0 and ASR #0 mean #32, LSL #0 keeps C)
void shift_by_immediate(DecodedInsn& insn, uint32_t h) {
    data_processing(insn, OP_MOV, true, uint8_t(bits(h, 2, 0)), 0);
    insn.operand2 = Operand2::ShiftedRegister;
    insn.rm = uint8_t(bits(h, 5, 3));
    insn.shift = ShiftType(bits(h, 12, 11));
    insn.amount = uint8_t(bits(h, 10, 6));
}

//  | 00011 | I | S | Rn/imm3 | Rs | Rd |  ADDS / SUBS Rd, Rs, Rn or #imm3
void add_subtract(DecodedInsn& insn, uint32_t h) {
    data_processing(insn, bits(h, 9, 9) ? OP_SUB : OP_ADD, true, uint8_t(bits(h, 2, 0)),
                    uint8_t(bits(h, 5, 3)));
    if (bits(h, 10, 10))
        immediate_operand(insn, bits(h, 8, 6));
    else
        register_operand(insn, uint8_t(bits(h, 8, 6)));
}

//  | 001 | op(12-11) | Rd | imm8 |  MOVS, CMP, ADDS, SUBS Rd, #imm8
void immediate8(DecodedInsn& insn, uint32_t h) {
    static constexpr DataOp ops[4] = {OP_MOV, OP_CMP, OP_ADD, OP_SUB};
    uint8_t rd = uint8_t(bits(h, 10, 8));
    data_processing(insn, ops[bits(h, 12, 11)], true, rd, rd);
    immediate_operand(insn, bits(h, 7, 0));
}

//  | 010000 | op(9-6) | Rs | Rd |  the register ALU: Rd = Rd op Rs, flags set.
// The shifts by a register go to their handlers (false).
bool register_alu(DecodedInsn& insn, uint32_t h) {
    uint8_t rd = uint8_t(bits(h, 2, 0)), rs = uint8_t(bits(h, 5, 3));
    // ORDER THUMB-ALU-OPS
    // clang-format off
    static constexpr int8_t ops[16] = {
        OP_AND, OP_EOR, -1, -1, -1, OP_ADC, OP_SBC, -1,
        OP_TST, OP_RSB, OP_CMP, OP_CMN, OP_ORR, -2, OP_BIC, OP_MVN,
    };
    // clang-format on
    int8_t op = ops[bits(h, 9, 6)];
    if (op == -1) return false;
    if (op == -2) {  // MULS Rd, Rs: Rd = Rd * Rs, N and Z
        insn.kind = InsnKind::Multiply;
        insn.sets_flags = true;
        insn.rd = rd;
        insn.rm = rd;
        insn.rs = rs;
        return true;
    }
    if (op == OP_RSB) {  // NEG Rd, Rs = RSBS Rd, Rs, #0
        data_processing(insn, OP_RSB, true, rd, rs);
        immediate_operand(insn, 0);
        return true;
    }
    data_processing(insn, DataOp(op), true, rd, rd);
    register_operand(insn, rs);
    return true;
}

//  | 010001 | op(9-8) | H1 | H2 | Rs | Rd |  ADD, CMP, MOV with high registers
// ADD and MOV leave the flags. A write of r15 (a jump) and a CMP of r15
// go to the handler (false). BX is the ARM BX.
bool high_register(DecodedInsn& insn, uint32_t h) {
    uint8_t rd = uint8_t(bits(h, 2, 0) | bits(h, 7, 7) << 3);
    uint8_t rs = uint8_t(bits(h, 6, 3));
    uint32_t op = bits(h, 9, 8);
    if (op == 3) {  // BX Rs: on in Thumb state when bit 0 is set
        insn.kind = InsnKind::BranchExchange;
        insn.rm = rs;
        return true;
    }
    if (rd == 15) return false;
    if (op == 0) data_processing(insn, OP_ADD, false, rd, rd);
    if (op == 1) data_processing(insn, OP_CMP, true, 0, rd);
    if (op == 2) data_processing(insn, OP_MOV, false, rd, 0);
    register_operand(insn, rs);
    return true;
}

//  | 1010 | SP(11) | Rd | imm8 |  ADD Rd, PC / SP, #imm8 * 4 (flags left alone;
// PC word-aligned)
void address_arithmetic(DecodedInsn& insn, uint32_t h) {
    uint8_t rd = uint8_t(bits(h, 10, 8));
    uint32_t offset = 4 * bits(h, 7, 0);
    if (bits(h, 11, 11)) {
        data_processing(insn, OP_ADD, false, rd, 13);
        immediate_operand(insn, offset);
    } else {
        data_processing(insn, OP_MOV, false, rd, 0);
        immediate_operand(insn, (pc_value(insn.address) & ~3u) + offset);
    }
}

//  | 1011 | x0xx | S | imm7 |  ADD / SUB SP, #imm7 * 4
void adjust_sp(DecodedInsn& insn, uint32_t h) {
    data_processing(insn, bits(h, 7, 7) ? OP_SUB : OP_ADD, false, 13, 13);
    immediate_operand(insn, 4 * bits(h, 6, 0));
}

//  | 0101 | op(11-9) | Ro | Rb | Rd |  register offset: STR, STRH, STRB, LDRSB,
//                                      LDR, LDRH, LDRB, LDRSH
//  | 011 B L | imm5 | Rb | Rd |        word (imm5 x 4) or byte
//  | 1000 L | imm5 | Rb | Rd |         halfword (imm5 x 2)
//  | 1001 L | Rd | imm8 |              SP-relative word (imm8 x 4)
//  | 01001 | Rd | imm8 |               LDR, PC-relative (word-aligned PC)
// All add their offset before the access and write no base back.
void transfer(DecodedInsn& insn, bool load, uint8_t width, bool signed_load, uint8_t rd,
              uint8_t rn) {
    insn.kind = InsnKind::Transfer;
    insn.load = load;
    insn.width = width;
    insn.signed_load = signed_load;
    insn.pre = true;
    insn.up = true;
    insn.rd = rd;
    insn.rn = rn;
}

void register_offset_transfer(DecodedInsn& insn, uint32_t h) {
    struct Form {
        bool load;
        uint8_t width;
        bool signed_load;
    };
    static constexpr Form forms[8] = {
        {false, 4, false}, {false, 2, false}, {false, 1, false}, {true, 1, true},
        {true, 4, false},  {true, 2, false},  {true, 1, false},  {true, 2, true},
    };
    const Form& form = forms[bits(h, 11, 9)];
    transfer(insn, form.load, form.width, form.signed_load, uint8_t(bits(h, 2, 0)),
             uint8_t(bits(h, 5, 3)));
    register_operand(insn, uint8_t(bits(h, 8, 6)));
}

void immediate_offset_transfer(DecodedInsn& insn, uint32_t h) {
    bool load = bits(h, 11, 11);
    uint8_t width = bits(h, 15, 12) == 0x8 ? 2 : bits(h, 12, 12) ? 1 : 4;
    transfer(insn, load, width, false, uint8_t(bits(h, 2, 0)), uint8_t(bits(h, 5, 3)));
    immediate_operand(insn, bits(h, 10, 6) * width);
}

void sp_relative_transfer(DecodedInsn& insn, uint32_t h) {
    transfer(insn, bits(h, 11, 11), 4, false, uint8_t(bits(h, 10, 8)), 13);
    immediate_operand(insn, 4 * bits(h, 7, 0));
}

// r15 reads A + 4 here; the address is (A + 4 with bit 1 cleared) + offset.
void pc_relative_load(DecodedInsn& insn, uint32_t h) {
    transfer(insn, true, 4, false, uint8_t(bits(h, 10, 8)), 15);
    uint32_t misalignment = pc_value(insn.address) & 2;
    uint32_t offset = 4 * bits(h, 7, 0);
    insn.up = offset >= misalignment;
    immediate_operand(insn, insn.up ? offset - misalignment : misalignment - offset);
}

//  | 1011 | L | 10 | R | list |  PUSH {list, lr} = STMDB sp!; POP {list} = LDMIA sp!
//  | 1100 | L | Rb | list |      STMIA / LDMIA Rb!
// POP with r15 (a jump), an empty list and a base in its own list go to
// the handler (false).
bool block_transfer(DecodedInsn& insn, uint32_t h) {
    bool load = bits(h, 11, 11);
    uint16_t list = uint16_t(bits(h, 7, 0));
    uint8_t rn = 13;
    if (bits(h, 15, 12) == 0xB) {
        if (bits(h, 8, 8)) {
            if (load) return false;
            list |= 1u << 14;
        }
    } else {
        rn = uint8_t(bits(h, 10, 8));
        if ((list >> rn) & 1) return false;
    }
    if (!list) return false;
    insn.kind = InsnKind::BlockTransfer;
    insn.load = load;
    bool push = rn == 13 && !load;
    insn.pre = push;
    insn.up = !push;
    insn.writeback = true;
    insn.rn = rn;
    insn.list = list;
    return true;
}

//  | 1101 | cond | imm8 |  B<cond>, target A + 4 + 2 x signed imm8 (cond 14 runs
//  always, as the interpreter's condition test has it; 15 is SWI)
//  | 11100 | imm11 |     B, target A + 4 + 2 x signed imm11 (bit 11 ignored)
void branch(DecodedInsn& insn, uint32_t h) {
    insn.kind = InsnKind::Branch;
    if (bits(h, 15, 12) == 0xD) {
        insn.cond = uint8_t(bits(h, 11, 8));
        insn.target = pc_value(insn.address) + 2 * sign_extend(bits(h, 7, 0), 8);
    } else {
        insn.target = pc_value(insn.address) + 2 * sign_extend(bits(h, 10, 0), 11);
    }
}

//  | 1111 | H | imm11 |  BL: this halfword gives offset bits 22-12, the one at
// A + 2 (whatever its top five bits) bits 11-1; r14 = A + 4 with bit 0 set.
// Read here once, as the interpreter reads it on every run: the block's
// code pages cover both halfwords, so a store into the second one makes
// the translation stale.
void long_branch(DecodedInsn& insn, uint32_t h) {
    uint32_t low_half = fetch_halfword(insn.address + 2);
    uint32_t offset = bits(h, 10, 0) << 12 | bits(low_half, 10, 0) << 1;
    insn.kind = InsnKind::Branch;
    insn.link = true;
    insn.link_address = (insn.address + 4) | 1;
    insn.target = pc_value(insn.address) + sign_extend(offset, 23);
}

bool in_region(uint32_t address, uint32_t region) { return (address >> 24) == region; }

// Native where a form above fits, else the handler.
void decode_instruction(DecodedInsn& insn, uint32_t region) {
    uint32_t h = insn.word;
    bool native = true;
    switch (h >> 12) {
        case 0x0: shift_by_immediate(insn, h); break;
        case 0x1:
            if (bits(h, 11, 11))
                add_subtract(insn, h);
            else
                shift_by_immediate(insn, h);  // ASR
            break;
        case 0x2:
        case 0x3: immediate8(insn, h); break;
        case 0x4:
            if (bits(h, 11, 10) == 0)
                native = register_alu(insn, h);
            else if (bits(h, 11, 10) == 1)
                native = high_register(insn, h);
            else
                pc_relative_load(insn, h);
            break;
        case 0x5: register_offset_transfer(insn, h); break;
        case 0x6:
        case 0x7:
        case 0x8: immediate_offset_transfer(insn, h); break;
        case 0x9: sp_relative_transfer(insn, h); break;
        case 0xA: address_arithmetic(insn, h); break;
        case 0xB:
            if (bits(h, 10, 10))
                native = block_transfer(insn, h);
            else
                adjust_sp(insn, h);
            break;
        case 0xC: native = block_transfer(insn, h); break;
        case 0xD:
            if (bits(h, 11, 8) == 15)
                native = false;  // SWI
            else
                branch(insn, h);
            break;
        case 0xE: branch(insn, h); break;
        case 0xF:
            // Both halfwords in the block's region; else the handler reads
            // the second where it lies, on every run.
            if (in_region(insn.address + 2, region))
                long_branch(insn, h);
            else
                native = false;
            break;
        default: native = false; break;
    }
    if (native) {
        insn.flags_read = uint8_t(thumb_flags_read(h));
        insn.flags_set = insn.sets_flags ? uint8_t(thumb_flags_set(h)) : 0;
        return;
    }
    insn.kind = InsnKind::Handler;
    insn.may_jump = thumb_writes_pc(h) || thumb_changes_state(h);
    insn.flags_read = uint8_t(thumb_flags_read(h));
    insn.flags_set = uint8_t(thumb_flags_set(h));
}

}  // namespace

void decode_thumb_block(uint32_t address, DecodedBlock& block) {
    decode_block(address, block, true, [](DecodedInsn& insn) {
        insn.word = fetch_halfword(insn.address);
        insn.cond = 0xE;
        insn.cycles = uint8_t(thumb_cycles(insn.word));
        insn.handler = thumb_table[thumb_index(insn.word)];
        decode_instruction(insn, insn.address >> 24);
    });
}
