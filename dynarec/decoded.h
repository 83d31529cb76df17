// The recompiler's middle: a block as a short list of decoded instructions.
// A front end per instruction set fills the list (arm_frontend.cpp,
// thumb_frontend.cpp), the
// passes annotate it (flag liveness), and the back end lowers each entry to
// x86 (backend.cpp). Nothing here knows x86; nothing in the back end decodes
// an opcode.
#pragma once

#include <cstdint>

#include "cpu/cpu.h"

// The longest block. At the end of a line's budget the instructions that no
// whole block fits run on the interpreter, so a short bound keeps that tail
// short.
constexpr uint32_t BLOCK_MAX_INSNS = 32;

enum class InsnKind : uint8_t {
    Skip,            // condition "never": costs its cycles, does nothing
    DataProcessing,  // the sixteen operations, operand 2 immediate or shifted by an immediate
    Multiply,        // MUL, MLA, and the long forms
    Branch,          // B, BL
    BranchExchange,  // BX: on through the indirect table, or to C for Thumb code
    Transfer,        // LDR, STR and the halfword and signed forms: inline where memory is plain
    BlockTransfer,   // LDM, STM without S: inline where the whole range is plain memory
    Handler,         // everything else: a call of its interpreter handler
};

enum class Operand2 : uint8_t {
    Immediate,        // `imm`, with `imm_carry` when the rotation is not 0
    ShiftedRegister,  // rm shifted by `shift` and `amount` as encoded (0-31)
};

// ORDER ARM-DP-OPS
// clang-format off
enum DataOp : uint8_t {
    OP_AND, OP_EOR, OP_SUB, OP_RSB, OP_ADD, OP_ADC, OP_SBC, OP_RSC,
    OP_TST, OP_TEQ, OP_CMP, OP_CMN, OP_ORR, OP_MOV, OP_BIC, OP_MVN,
};
// clang-format on

// The operations whose C comes from the shifter and that leave V alone.
constexpr bool is_logical(DataOp op) {
    return op <= OP_EOR || op == OP_TST || op == OP_TEQ || op >= OP_ORR;
}

enum ShiftType : uint8_t { SHIFT_LSL, SHIFT_LSR, SHIFT_ASR, SHIFT_ROR };

struct DecodedInsn {
    uint32_t address;  // of the instruction itself
    uint32_t word;
    InsnKind kind;
    uint8_t cond;    // 0xE for always
    uint8_t cycles;  // the step's own cycles, without the line's extra

    // Data processing and multiplies.
    DataOp op;
    bool sets_flags;  // S
    uint8_t rd, rn, rm, rs;
    Operand2 operand2;
    ShiftType shift;
    uint8_t amount;
    uint32_t imm;
    int8_t imm_carry;  // -1: the shifter keeps C; 0 or 1: C becomes this
    bool accumulate;   // MLA, UMLAL, SMLAL
    bool long_form;    // RdHi in rd, RdLo in rn
    bool signed_form;  // SMULL, SMLAL

    // Branches. `link_address` is what BL writes into r14.
    uint32_t target;
    bool link;
    uint32_t link_address;

    // The interpreter's handler of `word`: for the Handler kind, and the
    // slow path of the inline ones.
    Handler handler;

    // Transfers: the offset is operand 2 (an immediate in `imm`, or rm
    // shifted by an immediate), applied before the access (pre) or after
    // it, added (up) or subtracted. Block transfers move `list` from the
    // lowest register to the lowest address.
    bool load;
    uint8_t width;  // 1, 2 or 4 bytes
    bool signed_load;
    bool pre, up, writeback;
    uint16_t list;

    // Handlers: may the handler continue elsewhere (report JUMPED)? Then
    // the block ends here with an exit through the indirect table.
    bool may_jump;

    // Flags as masks of FLAG_N, FLAG_Z, FLAG_C, FLAG_V (cpu/arm.h): those
    // the instruction reads (its condition included), those it may write,
    // and of those, the ones a later reader can see (the liveness pass).
    uint8_t flags_read;
    uint8_t flags_set;
    uint8_t flags_live;
};

// The block's instruction set decides what r15 reads (the instruction's
// address + 8 in ARM state, + 4 in Thumb state), how far the next
// instruction is, and what a step costs (cpu/cpu.h).
struct DecodedBlock {
    uint32_t start;  // address of the first instruction
    uint32_t count;
    bool thumb;
    DecodedInsn insns[BLOCK_MAX_INSNS];
};

inline uint32_t pc_ahead(const DecodedBlock& block) { return block.thumb ? 4 : 8; }
inline uint32_t insn_bytes(const DecodedBlock& block) { return block.thumb ? 2 : 4; }
inline uint32_t step_cycles(const DecodedBlock& block) {
    return block.thumb ? THUMB_CYCLES : ARM_CYCLES;
}

// Whether a block ends after the instruction: a branch, a BX, or a handler
// that may write r15 or change the mode or instruction set.
inline bool ends_block(const DecodedInsn& insn) {
    return insn.kind == InsnKind::Branch || insn.kind == InsnKind::BranchExchange ||
           (insn.kind == InsnKind::Handler && insn.may_jump);
}

// Decodes the ARM block at `address`: up to BLOCK_MAX_INSNS instructions,
// ending after one that may write r15 or change the mode or instruction
// set, and before one that would lie in another region.
void decode_arm_block(uint32_t address, DecodedBlock& block);

// Decodes the Thumb block at `address` under the same rules. The BL pair is
// one instruction of the list (its `word` the first halfword), one step of
// two cycles, and always the last.
void decode_thumb_block(uint32_t address, DecodedBlock& block);

// For a block that ran to BLOCK_MAX_INSNS instructions without an ending
// one: the block ends instead at the last start of a stretch of
// BLOCK_MAX_INSNS instructions (aligned to its size) that it crosses, so
// that straight-line code runs in the same blocks whichever instruction it
// was entered at (each line of the frame starts wherever the last ran out).
void end_at_stretch_boundary(DecodedBlock& block);

// The loop both front ends share: `decode_one` fills an instruction whose
// address is set. The block ends after an instruction that ends it, before
// one that would lie in another region (the next might not be watched), or
// at a stretch boundary.
template <typename DecodeOne>
void decode_block(uint32_t address, DecodedBlock& block, bool thumb, DecodeOne decode_one) {
    block.start = address;
    block.count = 0;
    block.thumb = thumb;
    const uint32_t region = address >> 24;
    while (block.count < BLOCK_MAX_INSNS) {
        DecodedInsn& insn = block.insns[block.count++];
        insn = DecodedInsn{};
        insn.address = address;
        decode_one(insn);
        if (ends_block(insn)) return;
        address += insn_bytes(block);
        if ((address >> 24) != region) return;
    }
    end_at_stretch_boundary(block);
}

// Backward over the block: which written flags a later instruction, a
// handler or an exit may read. Every exit may read all four.
void compute_flag_liveness(DecodedBlock& block);
