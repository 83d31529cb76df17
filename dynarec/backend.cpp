// The x86 back end: one lowering per kind of decoded instruction, the inline
// condition tests, the flags taken from the host's, and the exits.
#if defined(__x86_64__) || defined(__i386__)
#include "dynarec/backend.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "cpu/arm.h"
#include "dynarec/code_buffer.h"
#include "dynarec/code_pages.h"
#include "dynarec/emitter.h"

using namespace x86;

namespace {

Mem reg(uint32_t r) { return state_field(&cpu_regs[r]); }
Mem flag(uint8_t mask) {
    switch (mask) {
        case FLAG_N: return state_field(&flag_n);
        case FLAG_Z: return state_field(&flag_z);
        case FLAG_C: return state_field(&flag_c);
        default: return state_field(&flag_v);
    }
}

// The value of ARM register r as the instruction at `address` reads it:
// r15 is the instruction's address + 8.
void load_reg(Reg32 d, uint32_t r, uint32_t address) {
    if (r == 15)
        mov(d, address + 8);
    else
        mov(d, reg(r));
}

// Code that runs after a block has been lowered: the exits taken after a
// store into translated code.
struct StaleExit {
    Fixup from;
    uint32_t first_unexecuted;  // of the instructions charged but not run
    uint32_t next;              // address of the next instruction
};

struct Lowering {
    const DecodedBlock* block;
    uint32_t index;
    std::vector<StaleExit> stale_exits;
};

// --- Exits ---------------------------------------------------------------

// To a known address in the block's instruction set: r15 written, then a
// jump that the link routine will point at the successor. Until then it
// lands on the tail right after it, which hands the routine the jump's
// position.
void exit_to(const DecodedBlock& block, uint32_t address) {
    mov(reg(15), address + pc_ahead(block));
    Fixup link = jmp_forward();
    patch_here(link);
    mov(eax, link.pos);
    jmp(link_routine);
}

// --- Conditions ----------------------------------------------------------

// Jumps taken when the condition fails, to be patched past the instruction;
// read from the flag bytes (0 or 1 each).
std::vector<Fixup> skip_unless(uint8_t cond) {
    auto zero = [](uint8_t mask) { alu8(CMP, flag(mask), 0); };
    auto n_vs_v = [] {  // cmp N, V
        movzx8(eax, flag(FLAG_N));
        movzx8(ecx, flag(FLAG_V));
        alu(CMP, eax, ecx);
    };
    std::vector<Fixup> skips;
    switch (cond) {
        case 0x0: zero(FLAG_Z), skips.push_back(jcc_forward(CC_E)); break;   // EQ
        case 0x1: zero(FLAG_Z), skips.push_back(jcc_forward(CC_NE)); break;  // NE
        case 0x2: zero(FLAG_C), skips.push_back(jcc_forward(CC_E)); break;   // CS
        case 0x3: zero(FLAG_C), skips.push_back(jcc_forward(CC_NE)); break;  // CC
        case 0x4: zero(FLAG_N), skips.push_back(jcc_forward(CC_E)); break;   // MI
        case 0x5: zero(FLAG_N), skips.push_back(jcc_forward(CC_NE)); break;  // PL
        case 0x6: zero(FLAG_V), skips.push_back(jcc_forward(CC_E)); break;   // VS
        case 0x7: zero(FLAG_V), skips.push_back(jcc_forward(CC_NE)); break;  // VC
        case 0x8:                                                            // HI: C and not Z
            zero(FLAG_C), skips.push_back(jcc_forward(CC_E));
            zero(FLAG_Z), skips.push_back(jcc_forward(CC_NE));
            break;
        case 0x9: {  // LS: not C or Z
            zero(FLAG_C);
            Fixup run = jcc_forward(CC_E);
            zero(FLAG_Z), skips.push_back(jcc_forward(CC_E));
            patch_here(run);
            break;
        }
        case 0xA: n_vs_v(), skips.push_back(jcc_forward(CC_NE)); break;  // GE
        case 0xB: n_vs_v(), skips.push_back(jcc_forward(CC_E)); break;   // LT
        case 0xC:                                                        // GT: not Z and N = V
            zero(FLAG_Z), skips.push_back(jcc_forward(CC_NE));
            n_vs_v(), skips.push_back(jcc_forward(CC_NE));
            break;
        case 0xD: {  // LE: Z or N != V
            zero(FLAG_Z);
            Fixup run = jcc_forward(CC_NE);
            n_vs_v(), skips.push_back(jcc_forward(CC_E));
            patch_here(run);
            break;
        }
        default: break;  // AL
    }
    return skips;
}

// --- Flags ---------------------------------------------------------------

// Stores the host's flags into the live flag bytes. `c_from` says how the
// host's CF gives ARM's C (inverted after a subtraction), or that C is not
// this store's business.
enum class CarryFrom { None, Carry, NotBorrow };

void store_flags(uint8_t live, CarryFrom c_from, bool with_v) {
    if (live & FLAG_N) setcc(CC_S, flag(FLAG_N));
    if (live & FLAG_Z) setcc(CC_E, flag(FLAG_Z));
    if ((live & FLAG_C) && c_from == CarryFrom::Carry) setcc(CC_B, flag(FLAG_C));
    if ((live & FLAG_C) && c_from == CarryFrom::NotBorrow) setcc(CC_AE, flag(FLAG_C));
    if ((live & FLAG_V) && with_v) setcc(CC_O, flag(FLAG_V));
}

// Host CF = ARM's C (for ADC) or its inverse (the borrow of SBC and RSC).
void carry_in(bool inverted) {
    alu8(CMP, flag(FLAG_C), 1);  // CF = (C < 1) = not C
    if (!inverted) cmc();
}

// --- Data processing -----------------------------------------------------

// Operand 2 of a register form into ecx; when the flags need the shifter's
// carry, it is stored into C here, while the host's CF holds it.
void shifted_register(const DecodedInsn& insn, bool carry_needed) {
    load_reg(ecx, insn.rm, insn.address);
    uint8_t n = insn.amount;
    bool carry_out = true;
    switch (insn.shift) {
        case SHIFT_LSL:
            if (n == 0)
                carry_out = false;  // Rm and C pass through
            else
                shift(SHL, ecx, n);
            break;
        case SHIFT_LSR:
            if (n == 0) {  // LSR #32: 0, C = bit 31
                bt(ecx, 31);
                mov(ecx, 0u);
            } else {
                shift(SHR, ecx, n);
            }
            break;
        case SHIFT_ASR:
            if (n == 0) {  // ASR #32: every bit is bit 31, and so is C
                shift(SAR, ecx, 31);
                bt(ecx, 0);
            } else {
                shift(SAR, ecx, n);
            }
            break;
        case SHIFT_ROR:
            if (n == 0) {  // RRX: C into bit 31, bit 0 into C
                carry_in(false);
                shift(RCR, ecx, 1);
            } else {
                shift(ROR, ecx, n);  // CF = bit 31 of the result
            }
            break;
    }
    if (carry_needed && carry_out) setcc(CC_B, flag(FLAG_C));
}

// eax = eax op operand 2 (an immediate, or ecx).
void alu_operand2(Alu op, const DecodedInsn& insn) {
    if (insn.operand2 == Operand2::Immediate)
        alu(op, eax, insn.imm);
    else
        alu(op, eax, ecx);
}

void move_operand2(const DecodedInsn& insn) {
    if (insn.operand2 == Operand2::Immediate)
        mov(eax, insn.imm);
    else
        mov(eax, ecx);
}

// eax = operand 2 op Rn, for the reversed subtractions.
void alu_rn(Alu op, const DecodedInsn& insn) {
    if (insn.rn == 15)
        alu(op, eax, insn.address + 8);
    else
        alu(op, eax, reg(insn.rn));
}

void lower_data_processing(Lowering&, const DecodedInsn& insn) {
    DataOp op = insn.op;
    uint8_t live = insn.sets_flags ? insn.flags_live : 0;
    bool logical = is_logical(op);
    bool logical_carry = logical && (live & FLAG_C);
    if (insn.operand2 == Operand2::ShiftedRegister) {
        shifted_register(insn, logical_carry);
    } else if (logical_carry && insn.imm_carry >= 0) {
        mov8(flag(FLAG_C), uint8_t(insn.imm_carry));
    }
    CarryFrom c_from = CarryFrom::None;
    switch (op) {
        case OP_AND:
        case OP_TST: load_reg(eax, insn.rn, insn.address), alu_operand2(AND, insn); break;
        case OP_EOR:
        case OP_TEQ: load_reg(eax, insn.rn, insn.address), alu_operand2(XOR, insn); break;
        case OP_ORR: load_reg(eax, insn.rn, insn.address), alu_operand2(OR, insn); break;
        case OP_BIC:
            load_reg(eax, insn.rn, insn.address);
            if (insn.operand2 == Operand2::Immediate) {
                alu(AND, eax, ~insn.imm);
            } else {
                not_(ecx);
                alu(AND, eax, ecx);
            }
            break;
        case OP_MOV:
            move_operand2(insn);
            if (live) test(eax, eax);
            break;
        case OP_MVN:
            move_operand2(insn);
            not_(eax);
            if (live) test(eax, eax);
            break;
        case OP_SUB:
        case OP_CMP:
            load_reg(eax, insn.rn, insn.address), alu_operand2(SUB, insn);
            c_from = CarryFrom::NotBorrow;
            break;
        case OP_ADD:
        case OP_CMN:
            load_reg(eax, insn.rn, insn.address), alu_operand2(ADD, insn);
            c_from = CarryFrom::Carry;
            break;
        case OP_ADC:
            load_reg(eax, insn.rn, insn.address), carry_in(false), alu_operand2(ADC, insn);
            c_from = CarryFrom::Carry;
            break;
        case OP_SBC:
            load_reg(eax, insn.rn, insn.address), carry_in(true), alu_operand2(SBB, insn);
            c_from = CarryFrom::NotBorrow;
            break;
        case OP_RSB:
            move_operand2(insn), alu_rn(SUB, insn);
            c_from = CarryFrom::NotBorrow;
            break;
        case OP_RSC:
            move_operand2(insn), carry_in(true), alu_rn(SBB, insn);
            c_from = CarryFrom::NotBorrow;
            break;
    }
    store_flags(live, c_from, !logical);
    if (op < OP_TST || op > OP_CMN) mov(reg(insn.rd), eax);
}

// --- Multiplies ----------------------------------------------------------

// MUL and MLA: Rd = Rm * Rs (+ Rn). The long forms: RdHi:RdLo = Rm * Rs
// (+ RdHi:RdLo), the high word written first as the interpreter does. S
// sets N and Z from the whole result and keeps C and V.
void lower_multiply(Lowering&, const DecodedInsn& insn) {
    mov(eax, reg(insn.rm));
    mov(ecx, reg(insn.rs));
    bool flags = insn.sets_flags && insn.flags_live;
    if (!insn.long_form) {
        imul(eax, ecx);
        if (insn.accumulate) alu(ADD, eax, reg(insn.rn));
        if (flags) {
            test(eax, eax);
            store_flags(insn.flags_live, CarryFrom::None, false);
        }
        mov(reg(insn.rd), eax);
        return;
    }
    if (insn.signed_form)
        imul1(ecx);
    else
        mul(ecx);
    if (insn.accumulate) {
        alu(ADD, eax, reg(insn.rn));
        alu(ADC, edx, reg(insn.rd));
    }
    if (flags && (insn.flags_live & FLAG_N)) {
        test(edx, edx);
        setcc(CC_S, flag(FLAG_N));
    }
    if (flags && (insn.flags_live & FLAG_Z)) {
        mov(ecx, edx);
        alu(OR, ecx, eax);
        setcc(CC_E, flag(FLAG_Z));
    }
    mov(reg(insn.rd), edx);
    mov(reg(insn.rn), eax);
}

// --- Branches ------------------------------------------------------------

// Always the last instruction: the taken path here, the failed condition's
// fall-through after it (lower_block).
void lower_branch(Lowering& lowering, const DecodedInsn& insn) {
    if (insn.link) mov(reg(14), insn.link_address);
    exit_to(*lowering.block, insn.target);
}

// --- Handlers ------------------------------------------------------------

// r15 and the latch exact, then the interpreter's handler. One that may
// continue elsewhere ends the block; after any other, a store that wrote
// over translated code ends it too (its code may be what runs next).
void lower_handler(Lowering& lowering, const DecodedInsn& insn) {
    mov(state_field(&cpu_opcode), insn.word);
    mov(reg(15), insn.address + pc_ahead(*lowering.block));
    call(uintptr_t(insn.handler));
    if (insn.may_jump) {
        // Either way on through the indirect table, in whichever
        // instruction set the handler left.
        test(eax, 0xFFu);  // bool in al
        jcc(CC_NE, jumped_routine);
        jmp(next_routine);
    } else {
        alu8(CMP, absolute(&code_stale), 0);
        uint32_t next = insn.address + insn_bytes(*lowering.block);
        lowering.stale_exits.push_back({jcc_forward(CC_NE), lowering.index + 1, next});
    }
}

void lower_skip(Lowering&, const DecodedInsn&) {}

using Lower = void (*)(Lowering&, const DecodedInsn&);
// By InsnKind.
const Lower lowerings[] = {
    lower_skip,             // Skip
    lower_data_processing,  // DataProcessing
    lower_multiply,         // Multiply
    lower_branch,           // Branch
    lower_handler,          // Handler
};

}  // namespace

Mem state_field(const void* field) {
    return mem(STATE, int32_t(uintptr_t(field) - uintptr_t(&cpu)));
}

namespace {

// The bound is worked out from the longest lowering of every kind; passing
// it would have written past the room translate_block made.
[[noreturn]] void too_long(const DecodedBlock& block) {
    std::fprintf(stderr, "quorrant: translation of the block at 0x%08x too long\n", block.start);
    std::abort();
}

// The instructions from `first` to the end of the block: their number and
// the cycles they take beyond one step each.
struct Steps {
    uint32_t count;
    uint32_t surplus;
};
Steps steps_from(const DecodedBlock& block, uint32_t first) {
    Steps steps{block.count - first, 0};
    for (uint32_t i = first; i < block.count; i++)
        steps.surplus += block.insns[i].cycles - step_cycles(block);
    return steps;
}

// Charges (sign 1) or gives back (sign -1) the steps: the counter, and for
// Thumb code the counts C tells the steps from the cycles by.
void charge(const DecodedBlock& block, Steps steps, int sign) {
    const int32_t* costs = translated_clock.costs[block.thumb];
    alu(sign > 0 ? SUB : ADD, COUNTER, absolute(&costs[steps.count]));
    if (steps.surplus) alu(sign > 0 ? SUB : ADD, COUNTER, steps.surplus);
    if (!block.thumb) return;
    alu(sign > 0 ? ADD : SUB, absolute(&translated_clock.thumb_steps), steps.count);
    if (steps.surplus)
        alu(sign > 0 ? ADD : SUB, absolute(&translated_clock.surplus_cycles), steps.surplus);
}

}  // namespace

uint8_t* emit_block(const DecodedBlock& block) {
    Steps all = steps_from(block, 0);
    emit_u32(block_header(all.count, all.count * step_cycles(block) + all.surplus));
    uint8_t* entry = code_buffer + code_pos;
    uint32_t start = code_pos;

    // The budget: the interpreter starts a step while the budget is not
    // reached, so the block runs when the counter exceeds what all its
    // steps but the last cost; else back to C.
    const int32_t* costs = translated_clock.costs[block.thumb];
    uint32_t before_last = all.surplus - steps_from(block, block.count - 1).surplus;
    if (before_last) {
        lea(eax, mem(ptr(COUNTER), -int32_t(before_last)));
        alu(CMP, eax, absolute(&costs[block.count - 1]));
    } else {
        alu(CMP, COUNTER, absolute(&costs[block.count - 1]));
    }
    jcc(CC_LE, leave_routine);
    charge(block, all, 1);

    Lowering lowering{&block, 0, {}};
    bool ended = false;
    for (; lowering.index < block.count; lowering.index++) {
        const DecodedInsn& insn = block.insns[lowering.index];
        std::vector<Fixup> skips = skip_unless(insn.cond);
        lowerings[uint8_t(insn.kind)](lowering, insn);
        bool last = lowering.index + 1 == block.count;
        ended = last && (insn.kind == InsnKind::Branch || insn.may_jump);
        for (Fixup skip : skips) patch_here(skip);
    }
    // Straight on, unless the last instruction always leaves by itself: a
    // block cut short, or a last instruction whose condition failed.
    const DecodedInsn& last = block.insns[block.count - 1];
    if (!(ended && last.cond == 0xE)) exit_to(block, last.address + insn_bytes(block));

    for (const StaleExit& exit : lowering.stale_exits) {
        patch_here(exit.from);
        Steps unexecuted = steps_from(block, exit.first_unexecuted);
        if (unexecuted.count) charge(block, unexecuted, -1);
        mov(reg(15), exit.next + pc_ahead(block));
        jmp(leave_routine);
    }
    if (code_pos - start > BLOCK_MAX_BYTES) too_long(block);
    return entry;
}

#endif
