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
#include "memory/memory.h"

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

// --- ARM registers in host registers --------------------------------------
//
// A fixed set of ARM registers lives in host registers for as long as
// translated code runs: the entry routine loads them from the record and
// the leave routine stores them back, and in between blocks, their links and
// the dispatch routine hand them on in place. Inside translated code the
// record's copies of them are therefore stale: every call of C writes them
// back before (C reads the record) and loads them again after (C may write
// it, and the pool holds registers C does not preserve). The set is the
// registers compiled code names most: the low ones (all a Thumb program
// has, besides sp and lr), sp and lr.
#if defined(__x86_64__)
constexpr Reg32 HOST_POOL[] = {esi, edi, r8d, r9d, r10d, r11d, r12d, r13d, r14d, r15d};
constexpr uint8_t POOLED[] = {0, 1, 2, 3, 4, 5, 6, 7, 13, 14};
#else
constexpr Reg32 HOST_POOL[] = {esi, edi};
constexpr uint8_t POOLED[] = {0, 1};
#endif
static_assert(sizeof HOST_POOL / sizeof HOST_POOL[0] == sizeof POOLED);
constexpr uint32_t NOT_HELD = 0xFF;

struct Registers {
    uint8_t host[16];  // the host register holding ARM register r, or NOT_HELD
    uint16_t pooled;   // the registers held
    uint16_t dirty;    // held registers the record may not have yet
};

constexpr Registers pool() {
    Registers regs{};
    for (uint8_t& h : regs.host) h = NOT_HELD;
    for (uint32_t i = 0; i < sizeof POOLED; i++) {
        regs.host[POOLED[i]] = HOST_POOL[i].code;
        regs.pooled |= uint16_t(1u << POOLED[i]);
    }
    regs.dirty = regs.pooled;  // whatever blocks before this one wrote
    return regs;
}
constexpr Registers POOL = pool();

bool held(const Registers& regs, uint32_t r) { return regs.host[r] != NOT_HELD; }
Reg32 host_of(const Registers& regs, uint32_t r) { return Reg32{regs.host[r]}; }

// Code that runs after a block has been lowered: the exits taken after a
// store into translated code, and the slow paths of inline transfers.
struct StaleExit {
    Fixup from;
    uint32_t first_unexecuted;  // of the instructions charged but not run
    uint32_t next;              // address of the next instruction
};

struct SlowPath {
    std::vector<Fixup> from;
    const DecodedInsn* insn;
    Registers regs;             // as on the inline path when it leaves
    uint32_t rejoin;            // position after the inline transfer
    uint32_t first_unexecuted;  // for a store's stale exit
};

struct Lowering {
    const DecodedBlock* block;
    uint32_t index;
    Registers regs;
    std::vector<StaleExit> stale_exits;
    std::vector<SlowPath> slow_paths;
};

void write_back(const Registers& regs, uint16_t which) {
    for (uint32_t r = 0; r < 15; r++)
        if ((which >> r) & 1) mov(reg(r), host_of(regs, r));
}
void reload(const Registers& regs, uint16_t which) {
    for (uint32_t r = 0; r < 15; r++)
        if ((which >> r) & 1) mov(host_of(regs, r), reg(r));
}

uint16_t bit(uint32_t r) { return uint16_t(1u << r); }

// The value of ARM register r as the instruction at `address` reads it:
// r15 is the instruction's address + 8 in ARM code, + 4 in Thumb code.
Registers* current = nullptr;  // the block being lowered
uint32_t r15_ahead = 8;        // and its instruction set's distance

void load_reg(Reg32 d, uint32_t r, uint32_t address) {
    if (r == 15)
        mov(d, address + r15_ahead);
    else if (held(*current, r) && host_of(*current, r).code == d.code)
        return;
    else if (held(*current, r))
        mov(d, host_of(*current, r));
    else
        mov(d, reg(r));
}
void store_reg(uint32_t r, Reg32 s) {
    if (held(*current, r)) {
        if (host_of(*current, r).code != s.code) mov(host_of(*current, r), s);
        current->dirty |= bit(r);
    } else {
        mov(reg(r), s);
    }
}
void store_reg(uint32_t r, uint32_t imm) {
    if (held(*current, r)) {
        mov(host_of(*current, r), imm);
        current->dirty |= bit(r);
    } else {
        mov(reg(r), imm);
    }
}
// d = d op ARM register r.
void alu_reg(Alu op, Reg32 d, uint32_t r, uint32_t address) {
    if (r == 15)
        alu(op, d, address + r15_ahead);
    else if (held(*current, r))
        alu(op, d, host_of(*current, r));
    else
        alu(op, d, reg(r));
}
// ARM register r = r op imm, or r op s.
void alu_on_reg(Alu op, uint32_t r, uint32_t imm) {
    if (held(*current, r)) {
        alu(op, host_of(*current, r), imm);
        current->dirty |= bit(r);
    } else {
        alu(op, reg(r), imm);
    }
}
void alu_on_reg(Alu op, uint32_t r, Reg32 s) {
    if (held(*current, r)) {
        alu(op, host_of(*current, r), s);
        current->dirty |= bit(r);
    } else {
        alu(op, reg(r), s);
    }
}

// --- Exits ---------------------------------------------------------------

// To a known address in the block's instruction set: a jump that the link
// routine will point at the successor, the held registers passed on in
// place. Until then it lands on the tail right after it, which writes r15
// and hands the routine the jump's position. A linked jump leaves r15
// behind: the successor writes it if it has to leave at its start.
void exit_to(uint32_t address) {
    Fixup link = jmp_forward();
    patch_here(link);
    mov(reg(15), address + r15_ahead);
    mov(eax, link.pos);
    jmp(link_routine);
}

void exit_through_dispatch() { jmp(dispatch_routine); }

// The interpreter's handler for the instruction, with r15 and the latch
// exact; the held registers must be in the record.
void call_handler(const DecodedInsn& insn) {
    mov(state_field(&cpu_opcode), insn.word);
    mov(reg(15), insn.address + r15_ahead);
    call(uintptr_t(insn.handler));
}

// After a call that may have stored over translated code: leave when it
// did, with the instructions from `first_unexecuted` on given back.
void leave_if_stale(Lowering& lowering, const DecodedInsn& insn, uint32_t first_unexecuted) {
    alu8(CMP, absolute(&code_stale), 0);
    uint32_t next = insn.address + insn_bytes(*lowering.block);
    lowering.stale_exits.push_back({jcc_forward(CC_NE), first_unexecuted, next});
}

// --- Conditions ----------------------------------------------------------

// The x86 condition that holds exactly when ARM condition `cond` passes,
// read from the host's flags as `setter` left them: it set, unconditionally
// and just before, every flag the condition tests. An arithmetic operation
// leaves N, Z and V in SF, ZF and OF and C in CF (inverted after a
// subtraction); a logical one only N and Z. -1 where no single x86
// condition says it.
int host_condition(uint8_t cond, const DecodedInsn& setter) {
    bool logical = is_logical(setter.op);
    bool subtraction = setter.op == OP_SUB || setter.op == OP_CMP || setter.op == OP_SBC ||
                       setter.op == OP_RSB || setter.op == OP_RSC;
    // clang-format off
    switch (cond) {
        case 0x0: return CC_E;   // EQ
        case 0x1: return CC_NE;  // NE
        case 0x4: return CC_S;   // MI
        case 0x5: return CC_NS;  // PL
        default: break;
    }
    if (logical) return -1;
    switch (cond) {
        case 0x2: return subtraction ? CC_AE : CC_B;  // CS
        case 0x3: return subtraction ? CC_B : CC_AE;  // CC
        case 0x6: return CC_O;                        // VS
        case 0x7: return CC_NO;                       // VC
        case 0x8: return subtraction ? CC_A : -1;     // HI: C and not Z
        case 0x9: return subtraction ? CC_BE : -1;    // LS: not C or Z
        case 0xA: return CC_GE;
        case 0xB: return CC_L;
        case 0xC: return CC_G;
        case 0xD: return CC_LE;
        default: return -1;
    }
    // clang-format on
}

// Jumps taken when the condition fails, to be patched past the instruction;
// read from the host's flags where the instruction before left them there
// (`flags_in_host`, or null), else from the flag bytes (0 or 1 each).
std::vector<Fixup> skip_unless(uint8_t cond, const DecodedInsn* flags_in_host) {
    if (cond < 0xE && flags_in_host) {
        int cc = host_condition(cond, *flags_in_host);
        if (cc >= 0) return {jcc_forward(invert(Cond(cc)))};
    }
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

// Operand 2 of a register form into `d` (ecx for data processing); when
// the flags need the shifter's carry, it is stored into C here, while the
// host's CF holds it.
void shifted_register(const DecodedInsn& insn, bool carry_needed, Reg32 d = ecx) {
    load_reg(d, insn.rm, insn.address);
    uint8_t n = insn.amount;
    bool carry_out = true;
    switch (insn.shift) {
        case SHIFT_LSL:
            if (n == 0)
                carry_out = false;  // Rm and C pass through
            else
                shift(SHL, d, n);
            break;
        case SHIFT_LSR:
            if (n == 0) {  // LSR #32: 0, C = bit 31
                bt(d, 31);
                mov(d, 0u);
            } else {
                shift(SHR, d, n);
            }
            break;
        case SHIFT_ASR:
            if (n == 0) {  // ASR #32: every bit is bit 31, and so is C
                shift(SAR, d, 31);
                bt(d, 0);
            } else {
                shift(SAR, d, n);
            }
            break;
        case SHIFT_ROR:
            if (n == 0) {  // RRX: C into bit 31, bit 0 into C
                carry_in(false);
                shift(RCR, d, 1);
            } else {
                shift(ROR, d, n);  // CF = bit 31 of the result
            }
            break;
    }
    if (carry_needed && carry_out) setcc(CC_B, flag(FLAG_C));
}

// Operand 2 as the operation takes it: an immediate, or a host register
// (ecx after a shift, or the held register of Rm when it is not shifted).
struct Operand {
    bool immediate;
    uint32_t imm;
    Reg32 reg;
};

Operand operand2_of(const DecodedInsn& insn, bool carry_needed) {
    if (insn.operand2 == Operand2::Immediate) return {true, insn.imm, eax};
    if (insn.shift == SHIFT_LSL && insn.amount == 0) {  // Rm itself, C untouched
        if (insn.rm == 15) return {true, insn.address + r15_ahead, eax};
        if (held(*current, insn.rm)) return {false, 0, host_of(*current, insn.rm)};
    }
    shifted_register(insn, carry_needed);
    return {false, 0, ecx};
}

void alu(Alu op, Reg32 d, const Operand& v) {
    if (v.immediate)
        alu(op, d, v.imm);
    else
        alu(op, d, v.reg);
}
void mov(Reg32 d, const Operand& v) {
    if (v.immediate)
        mov(d, v.imm);
    else if (v.reg.code != d.code)
        mov(d, v.reg);
}

// Where the result is computed: in the held register of Rd when there is
// one, unless that register is also operand 2 (Rm = Rd) or the operation
// starts from operand 2 (the reversed subtractions); else in eax.
Reg32 accumulator(const DecodedInsn& insn, const Operand& v) {
    bool writes = insn.op < OP_TST || insn.op > OP_CMN;
    bool reversed = insn.op == OP_RSB || insn.op == OP_RSC;
    if (!writes || reversed || !held(*current, insn.rd)) return eax;
    Reg32 rd = host_of(*current, insn.rd);
    if (!v.immediate && v.reg.code == rd.code) return eax;
    return rd;
}

// Where Rd is not held: MOV without flags stores straight into the record,
// and Rd = Rd op operand 2 works on the record in place, setting the same
// host flags.
bool lower_in_record(const DecodedInsn& insn, const Operand& v, uint8_t live) {
    if (insn.rd == 15 || held(*current, insn.rd)) return false;
    if (insn.op == OP_MOV && !live) {
        if (v.immediate)
            mov(reg(insn.rd), v.imm);
        else
            mov(reg(insn.rd), v.reg);
        return true;
    }
    if (insn.rn != insn.rd) return false;
    Alu alu_op;
    CarryFrom c_from = CarryFrom::None;
    switch (insn.op) {
        case OP_ADD: alu_op = ADD, c_from = CarryFrom::Carry; break;
        case OP_SUB: alu_op = SUB, c_from = CarryFrom::NotBorrow; break;
        case OP_AND: alu_op = AND; break;
        case OP_ORR: alu_op = OR; break;
        case OP_EOR: alu_op = XOR; break;
        default: return false;
    }
    if (v.immediate)
        alu(alu_op, reg(insn.rd), v.imm);
    else
        alu(alu_op, reg(insn.rd), v.reg);
    store_flags(live, c_from, !is_logical(insn.op));
    return true;
}

void lower_data_processing(Lowering&, const DecodedInsn& insn) {
    DataOp op = insn.op;
    uint8_t live = insn.sets_flags ? insn.flags_live : 0;
    bool logical = is_logical(op);
    bool logical_carry = logical && (live & FLAG_C);
    Operand v = operand2_of(insn, logical_carry);
    if (insn.operand2 == Operand2::Immediate && logical_carry && insn.imm_carry >= 0)
        mov8(flag(FLAG_C), uint8_t(insn.imm_carry));
    if ((op == OP_CMP || op == OP_TST) && insn.rn != 15 && held(*current, insn.rn)) {
        // CMP is SUB and TST is AND without the result: on Rn in place.
        Reg32 n = host_of(*current, insn.rn);
        if (op == OP_CMP)
            alu(CMP, n, v);
        else if (v.immediate)
            test(n, v.imm);
        else
            test(n, v.reg);
        store_flags(live, op == OP_CMP ? CarryFrom::NotBorrow : CarryFrom::None, op == OP_CMP);
        return;
    }
    if (lower_in_record(insn, v, live)) return;
    Reg32 acc = accumulator(insn, v);
    auto rn = [&] { load_reg(acc, insn.rn, insn.address); };
    CarryFrom c_from = CarryFrom::None;
    switch (op) {
        case OP_AND:
        case OP_TST: rn(), alu(AND, acc, v); break;
        case OP_EOR:
        case OP_TEQ: rn(), alu(XOR, acc, v); break;
        case OP_ORR: rn(), alu(OR, acc, v); break;
        case OP_BIC:
            rn();
            if (v.immediate) {
                alu(AND, acc, ~v.imm);
            } else {
                mov(ecx, v);  // a held Rm keeps its value
                not_(ecx);
                alu(AND, acc, ecx);
            }
            break;
        case OP_MOV:
            mov(acc, v);
            if (live) test(acc, acc);
            break;
        case OP_MVN:
            mov(acc, v);
            not_(acc);
            if (live) test(acc, acc);
            break;
        case OP_SUB:
        case OP_CMP:
            rn(), alu(SUB, acc, v);
            c_from = CarryFrom::NotBorrow;
            break;
        case OP_ADD:
        case OP_CMN:
            rn(), alu(ADD, acc, v);
            c_from = CarryFrom::Carry;
            break;
        case OP_ADC:
            rn(), carry_in(false), alu(ADC, acc, v);
            c_from = CarryFrom::Carry;
            break;
        case OP_SBC:
            rn(), carry_in(true), alu(SBB, acc, v);
            c_from = CarryFrom::NotBorrow;
            break;
        case OP_RSB:
            mov(acc, v), alu_reg(SUB, acc, insn.rn, insn.address);
            c_from = CarryFrom::NotBorrow;
            break;
        case OP_RSC:
            mov(acc, v), carry_in(true), alu_reg(SBB, acc, insn.rn, insn.address);
            c_from = CarryFrom::NotBorrow;
            break;
    }
    store_flags(live, c_from, !logical);
    if (op < OP_TST || op > OP_CMN) store_reg(insn.rd, acc);
}

// --- Multiplies ----------------------------------------------------------

// MUL and MLA: Rd = Rm * Rs (+ Rn). The long forms: RdHi:RdLo = Rm * Rs
// (+ RdHi:RdLo), the high word written first as the interpreter does. S
// sets N and Z from the whole result and keeps C and V.
void lower_multiply(Lowering&, const DecodedInsn& insn) {
    load_reg(eax, insn.rm, insn.address);
    load_reg(ecx, insn.rs, insn.address);
    bool flags = insn.sets_flags && insn.flags_live;
    if (!insn.long_form) {
        imul(eax, ecx);
        if (insn.accumulate) alu_reg(ADD, eax, insn.rn, insn.address);
        if (flags) {
            test(eax, eax);
            store_flags(insn.flags_live, CarryFrom::None, false);
        }
        store_reg(insn.rd, eax);
        return;
    }
    if (insn.signed_form)
        imul1(ecx);
    else
        mul(ecx);
    if (insn.accumulate) {
        alu_reg(ADD, eax, insn.rn, insn.address);
        alu_reg(ADC, edx, insn.rd, insn.address);
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
    store_reg(insn.rd, edx);
    store_reg(insn.rn, eax);
}

// --- Branches ------------------------------------------------------------

// Always the last instruction: the taken path here, the failed condition's
// fall-through after it (lower_block).
void lower_branch(Lowering&, const DecodedInsn& insn) {
    if (insn.link) store_reg(14, insn.link_address);
    exit_to(insn.target);
}

// BX within the block's instruction set: r15 = Rm + 8 (ARM code; bit 0
// clear) or Rm - 1 + 4 (Thumb code; bit 0 set), as the interpreter's fetch
// has it, and on through the indirect table. To the other set: the
// handler, then on as after any jumping handler.
void lower_branch_exchange(Lowering& lowering, const DecodedInsn& insn) {
    bool thumb = lowering.block->thumb;
    load_reg(eax, insn.rm, insn.address);
    test(eax, 1u);
    Fixup other_set = jcc_forward(thumb ? CC_E : CC_NE);
    alu(ADD, eax, thumb ? 3u : 8u);
    mov(reg(15), eax);
    exit_through_dispatch();
    patch_here(other_set);
    write_back(lowering.regs, lowering.regs.dirty);
    call_handler(insn);
    reload(POOL, POOL.pooled);
    jmp(jumped_routine);
}

// --- Handlers ------------------------------------------------------------

// The interpreter's handler, the held registers written back before the
// instruction's condition (lower_block) and loaded again after the call.
// One that may continue elsewhere ends the block; after any other, a store
// that wrote over translated code ends it too (its code may be what runs
// next).
void lower_handler(Lowering& lowering, const DecodedInsn& insn) {
    call_handler(insn);
    reload(POOL, POOL.pooled);
    if (insn.may_jump) {
        // Either way on through the indirect table, in whichever
        // instruction set the handler left.
        test(eax, 0xFFu);  // bool in al
        jcc(CC_NE, jumped_routine);
        jmp(next_routine);
    } else {
        leave_if_stale(lowering, insn, lowering.index + 1);
    }
}

// --- Loads and stores ------------------------------------------------------

// edx = the fast page entry of the address in ecx: for a read (loads) or
// a write (stores), null where memory is not plain or bits 28-31 are set.
// Jumps to the slow path when it is null, or when the address is not
// aligned to `alignment`.
void fast_page(SlowPath& slow, bool write, uint32_t alignment) {
    const uintptr_t* table = write ? fast_write_pages : fast_read_pages;
    mov(edx, ecx);
    shift(SHR, edx, uint8_t(FAST_PAGE_SHIFT));
    mov_ptr(ptr(edx), absolute(table, edx, uint8_t(sizeof(uintptr_t))));
    test_ptr(ptr(edx), ptr(edx));
    slow.from.push_back(jcc_forward(CC_E));
    if (alignment > 1) {
        test(ecx, alignment - 1);
        slow.from.push_back(jcc_forward(CC_NE));
    }
}

// The host byte of the console address in ecx, whose page has the entry
// in edx (and so bits 28-31 clear).
Mem host_byte(int32_t disp = 0) { return mem(ptr(edx), ecx, 1, disp); }

SlowPath slow_path_for(const Lowering& lowering, const DecodedInsn& insn) {
    SlowPath slow;
    slow.insn = &insn;
    slow.regs = lowering.regs;
    slow.first_unexecuted = lowering.index + 1;
    return slow;
}

// A load from an address known now (r15-relative: a literal pool), aligned,
// in a page that reads plainly: one load from the host address. Read
// entries change only when a cartridge is loaded, which empties the cache.
bool load_from_known_address(const DecodedInsn& insn) {
    if (!insn.load || insn.rn != 15 || insn.rd == 15 || !insn.pre || insn.writeback ||
        insn.operand2 != Operand2::Immediate)
        return false;
    uint32_t pc = insn.address + r15_ahead;
    uint32_t address = insn.up ? pc + insn.imm : pc - insn.imm;
    if (address % insn.width || address > CONSOLE_ADDRESS_MASK) return false;
    uintptr_t page = fast_read_pages[fast_page_index(address)];
    if (!page) return false;
    uintptr_t host = page + address;
    Mem at;
    if (host <= 0x7FFFFFFF) {
        at = absolute(reinterpret_cast<const void*>(host));
    } else {
        mov_ptr(ptr(edx), host);
        at = mem(ptr(edx));
    }
    Reg32 d = held(*current, insn.rd) ? host_of(*current, insn.rd) : eax;
    if (insn.width == 4) mov(d, at);
    if (insn.width == 2) insn.signed_load ? movsx16(d, at) : movzx16(d, at);
    if (insn.width == 1) insn.signed_load ? movsx8(d, at) : movzx8(d, at);
    store_reg(insn.rd, d);
    return true;
}

// LDR, STR and the halfword forms: the address into ecx; where it lies in
// a fast page and is aligned, the access in place; else the handler. The
// write-back comes once no slow path can be taken any more.
void lower_transfer(Lowering& lowering, const DecodedInsn& insn) {
    if (load_from_known_address(insn)) return;
    SlowPath slow = slow_path_for(lowering, insn);
    Alu step = insn.up ? ADD : SUB;
    bool offset_now = insn.pre && insn.operand2 == Operand2::Immediate && insn.imm;
    if (offset_now && insn.rn != 15 && held(*current, insn.rn)) {
        int32_t offset = insn.up ? int32_t(insn.imm) : -int32_t(insn.imm);
        lea(ecx, mem(ptr(host_of(*current, insn.rn)), offset));
    } else {
        load_reg(ecx, insn.rn, insn.address);
        if (offset_now) alu(step, ecx, insn.imm);
    }
    if (insn.pre && insn.operand2 == Operand2::ShiftedRegister) {
        shifted_register(insn, false, edx);
        alu(step, ecx, edx);
    }
    fast_page(slow, !insn.load, insn.width);
    // The value to store, taken before the base moves; a held register as it
    // is, where the emitter can store it at that width.
    bool base_moves = insn.writeback && insn.rd == insn.rn;
    Reg32 value = eax;
    if (!insn.load && held(*current, insn.rd) && !base_moves && insn.width > 1)
        value = host_of(*current, insn.rd);
    else if (!insn.load)
        load_reg(eax, insn.rd, insn.address);
    if (insn.writeback && insn.pre) store_reg(insn.rn, ecx);
    if (insn.writeback && !insn.pre && insn.operand2 == Operand2::Immediate && insn.imm)
        alu_on_reg(step, insn.rn, insn.imm);
    Mem at = host_byte();
    if (insn.load) {
        Reg32 d = held(*current, insn.rd) ? host_of(*current, insn.rd) : eax;
        if (insn.width == 4) mov(d, at);
        if (insn.width == 2) insn.signed_load ? movsx16(d, at) : movzx16(d, at);
        if (insn.width == 1) insn.signed_load ? movsx8(d, at) : movzx8(d, at);
        store_reg(insn.rd, d);
    } else {
        if (insn.width == 4) mov(at, value);
        if (insn.width == 2) mov16(at, value);
        if (insn.width == 1) mov8(at, low8(eax));
    }
    if (!insn.pre && insn.operand2 == Operand2::ShiftedRegister) {  // edx is free again
        shifted_register(insn, false, edx);
        alu_on_reg(step, insn.rn, edx);
    }
    slow.rejoin = code_pos;
    lowering.slow_paths.push_back(slow);
}

// LDM and STM: inline when the range is word-aligned and lies in one fast
// page; the registers go lowest first to the lowest address.
void lower_block_transfer(Lowering& lowering, const DecodedInsn& insn) {
    SlowPath slow = slow_path_for(lowering, insn);
    uint32_t span = 4 * uint32_t(__builtin_popcount(insn.list));
    int32_t lowest = insn.up ? 0 : -int32_t(span);
    if (insn.pre == insn.up) lowest += 4;
    load_reg(ecx, insn.rn, insn.address);
    if (lowest) alu(ADD, ecx, uint32_t(lowest));
    fast_page(slow, !insn.load, 4);
    mov(eax, ecx);
    alu(AND, eax, FAST_PAGE_SIZE - 1);
    alu(CMP, eax, FAST_PAGE_SIZE - span);
    slow.from.push_back(jcc_forward(CC_A));
    int32_t disp = 0;
    for (uint32_t r = 0; r < 16; r++) {
        if (!((insn.list >> r) & 1)) continue;
        Mem at = mem(ptr(edx), ecx, 1, disp);
        if (insn.load) {
            Reg32 d = held(*current, r) ? host_of(*current, r) : eax;
            mov(d, at);
            store_reg(r, d);
        } else if (held(*current, r)) {
            mov(at, host_of(*current, r));
        } else {
            load_reg(eax, r, insn.address);
            mov(at, eax);
        }
        disp += 4;
    }
    if (insn.writeback) alu_on_reg(insn.up ? ADD : SUB, insn.rn, span);
    slow.rejoin = code_pos;
    lowering.slow_paths.push_back(slow);
}

// Out of line: the registers written back, the handler, the registers
// loaded again, a stale exit for a store, and back after the inline
// transfer.
void emit_slow_path(Lowering& lowering, const SlowPath& slow) {
    for (Fixup from : slow.from) patch_here(from);
    write_back(slow.regs, slow.regs.dirty);
    call_handler(*slow.insn);
    reload(POOL, POOL.pooled);
    if (!slow.insn->load) leave_if_stale(lowering, *slow.insn, slow.first_unexecuted);
    jmp(uintptr_t(code_buffer) + slow.rejoin);
}

void lower_skip(Lowering&, const DecodedInsn&) {}

using Lower = void (*)(Lowering&, const DecodedInsn&);
// By InsnKind.
const Lower lowerings[] = {
    lower_skip,             // Skip
    lower_data_processing,  // DataProcessing
    lower_multiply,         // Multiply
    lower_branch,           // Branch
    lower_branch_exchange,  // BranchExchange
    lower_transfer,         // Transfer
    lower_block_transfer,   // BlockTransfer
    lower_handler,          // Handler
};

// The bound is worked out from the longest lowering of every kind; passing
// it would have written past the room translate_block made.
[[noreturn]] void too_long(const DecodedBlock& block) {
    std::fprintf(stderr, "quorrant: translation of the block at 0x%08x too long\n", block.start);
    std::abort();
}

}  // namespace

void emit_pool_write_back() { write_back(POOL, POOL.pooled); }
void emit_pool_reload() { reload(POOL, POOL.pooled); }

// The tail exit_to emits right after the jump is where the jump first led.
void link_exit(uint32_t site, const uint8_t* target) { patch_to(Fixup{site}, uintptr_t(target)); }
void unlink_exit(uint32_t site) { patch_to(Fixup{site}, uintptr_t(code_buffer) + site + 4); }

// The longest lowering of each kind with its condition, the loads of the
// held registers it names, its slow path and stale exit (with the charge
// it gives back): write-backs and loads of the whole pool are the larger
// part.
uint32_t block_code_bound(const DecodedBlock& block) {
    constexpr uint32_t POOL_MOVES = 8 * sizeof HOST_POOL / sizeof HOST_POOL[0];
    constexpr uint32_t REFUND = 48;
    uint32_t bound = 128 + 2 * POOL_MOVES;  // budget, final exit
    for (uint32_t i = 0; i < block.count; i++) {
        InsnKind kind = block.insns[i].kind;
        if (kind == InsnKind::Transfer || kind == InsnKind::BlockTransfer ||
            kind == InsnKind::Handler)
            bound += REFUND + POOL_MOVES;
        switch (kind) {
            case InsnKind::Skip: break;
            case InsnKind::DataProcessing:
            case InsnKind::Multiply: bound += 160; break;
            case InsnKind::Branch: bound += 128 + POOL_MOVES; break;
            case InsnKind::BranchExchange: bound += 128 + POOL_MOVES; break;
            case InsnKind::Transfer: bound += 192 + 3 * POOL_MOVES; break;
            case InsnKind::BlockTransfer: bound += 448 + 4 * POOL_MOVES; break;
            case InsnKind::Handler: bound += 128 + 3 * POOL_MOVES; break;
        }
    }
    return bound;
}

Mem state_field(const void* field) {
    return mem(STATE, int32_t(uintptr_t(field) - uintptr_t(&cpu)));
}

namespace {

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
    // reached, so the block runs when the cycles left exceed what all its
    // steps but the last cost; else back to C with r15 at the block (a
    // linked exit did not write it). With the counter an ARM step ahead, an
    // ARM block of steps of the usual cycles charges itself and runs if the
    // counter stays above zero (giving the charge back if not); others
    // compare first.
    bool charge_first = !block.thumb && all.surplus == 0;
    Fixup over_budget;
    if (charge_first) {
        charge(block, all, 1);
        over_budget = jcc_forward(CC_LE);
    } else {
        const int32_t* limit = block.thumb ? &translated_clock.thumb_checks[block.count - 1]
                                           : &translated_clock.costs[0][block.count];
        uint32_t before_last = all.surplus - steps_from(block, block.count - 1).surplus;
        if (before_last) {
            lea(eax, mem(ptr(COUNTER), -int32_t(before_last)));
            alu(CMP, eax, absolute(limit));
        } else {
            alu(CMP, COUNTER, absolute(limit));
        }
        over_budget = jcc_forward(CC_LE);
        charge(block, all, 1);
    }

    Lowering lowering{&block, 0, POOL, {}, {}};
    current = &lowering.regs;
    r15_ahead = pc_ahead(block);
    bool ended = false;
    const DecodedInsn* flags_in_host = nullptr;
    for (; lowering.index < block.count; lowering.index++) {
        const DecodedInsn& insn = block.insns[lowering.index];
        if (insn.kind == InsnKind::Handler) {  // which reads the record
            write_back(lowering.regs, lowering.regs.dirty);
            lowering.regs.dirty = 0;
        }
        std::vector<Fixup> skips = skip_unless(insn.cond, flags_in_host);
        lowerings[uint8_t(insn.kind)](lowering, insn);
        // What the host's flags hold for the next instruction's condition:
        // those of a data-processing operation with S that always runs (a
        // MOVS or MVNS whose flags nobody reads sets none).
        bool sets_host_flags = insn.kind == InsnKind::DataProcessing && insn.sets_flags &&
                               insn.cond == 0xE &&
                               !((insn.op == OP_MOV || insn.op == OP_MVN) && !insn.flags_live);
        flags_in_host = sets_host_flags ? &insn : nullptr;
        bool last = lowering.index + 1 == block.count;
        ended = last && (insn.kind == InsnKind::Branch || insn.kind == InsnKind::BranchExchange ||
                         insn.may_jump);
        for (Fixup skip : skips) patch_here(skip);
    }
    // Straight on, unless the last instruction always leaves by itself: a
    // block cut short, or a last instruction whose condition failed.
    const DecodedInsn& last = block.insns[block.count - 1];
    if (!(ended && last.cond == 0xE)) exit_to(last.address + insn_bytes(block));

    for (const SlowPath& slow : lowering.slow_paths) emit_slow_path(lowering, slow);
    // A stale exit follows a call and the loads after it: the held
    // registers are what the record holds.
    for (const StaleExit& exit : lowering.stale_exits) {
        patch_here(exit.from);
        Steps unexecuted = steps_from(block, exit.first_unexecuted);
        if (unexecuted.count) charge(block, unexecuted, -1);
        mov(reg(15), exit.next + r15_ahead);
        jmp(leave_routine);
    }
    patch_here(over_budget);
    if (charge_first) charge(block, all, -1);
    mov(reg(15), block.start + r15_ahead);
    jmp(leave_routine);
    current = nullptr;
    if (code_pos + 4 - start > block_code_bound(block)) too_long(block);
    return entry;
}

#endif
