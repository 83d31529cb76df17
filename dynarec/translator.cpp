// translator_table, the block and instruction translators, cond_test and
// the operand-2 code of the native translators.
#if defined(__x86_64__) || defined(__i386__)
#include "dynarec/translator.h"

#include <cstdio>
#include <cstdlib>

#include "cpu/arm.h"
#include "cpu/cpu.h"
#include "cpu/shifter.h"
#include "dynarec/block_cache.h"
#include "dynarec/code_pages.h"
#include "dynarec/dynarec.h"
#include "dynarec/emitter.h"
#include "memory/memory.h"

Translator translator_table[4096];
uint32_t xlat_pc;
uint32_t xlat_opcode;
uint32_t block_cycles;
uint64_t blocks_translated = 0;

namespace {

constexpr uint8_t EAX = 0, ECX = 1, EDX = 2;
constexpr uint8_t BYTE = 0, DWORD = 1;
constexpr uint8_t JE = 4;

const void* reg_address(uint32_t n) { return &cpu_regs[n & 15]; }

uint32_t rd_of(uint32_t opcode) { return (opcode >> 12) & 15; }
uint32_t rn_of(uint32_t opcode) { return (opcode >> 16) & 15; }

int emit_handler_call() {
    emit_call(routine_address(arm_table[arm_index(xlat_opcode)]));
    return 0;
}

// The fetch that ends every native instruction, after its result is
// stored: arm_refill reads the new r15 when Rd is r15, and the block ends.
int emit_native_fetch(uint32_t rd) {
    if (rd == 15) {
        emit_call(routine_address(arm_refill));
        return 1;
    }
    emit_call(routine_address(arm_fetch));
    return 0;
}

//   31-28 27-25 24-21 20 19-16 15-12 11-7   6-5  4  3-0
//   cond  000   op    S  Rn    Rd    amount type 0  Rm   immediate shift
//   cond  000   op    S  Rn    Rd    Rs  0  type 1  Rm   register shift
// Leaves operand 2 (no carry: the native forms never set flags) in eax.
void emit_operand2(uint32_t opcode) {
    if (opcode & 0x10) {
        // Amounts 0 and 32-255 do not follow the host's count modulo 32:
        // the shared shifter computes them.
        emit_call(routine_address(operand2_register_shift));
        return;
    }
    uint32_t amount = (opcode >> 7) & 31;
    emit_mov_r_imm(BYTE, ECX, amount);
    emit_mov_r_mem(DWORD, EAX, reg_address(opcode));
    switch ((opcode >> 5) & 3) {
        case SHIFT_LSL:
            if (amount) emit_shl_cl(DWORD, EAX);
            break;
        case SHIFT_LSR:
            if (amount)
                emit_shr_cl(DWORD, EAX);
            else
                emit_mov_r_imm(DWORD, EAX, 0);  // LSR #32
            break;
        case SHIFT_ASR:
            if (amount)
                emit_sar_cl(DWORD, EAX);
            else
                emit_sar_imm(DWORD, EAX, 31);  // ASR #32: 32 copies of bit 31
            break;
        default:
            if (amount) {
                emit_ror_cl(DWORD, EAX);
            } else {
                // RRX. cl is 0 here, so 0 - flag_c borrows exactly when
                // flag_c is 1: the host carry becomes flag_c.
                emit_mov_r_mem(BYTE, EDX, &flag_c);
                emit_sub_r_r(BYTE, ECX, EDX);
                emit_mov_r_imm(BYTE, ECX, 1);
                emit_rcr_cl(DWORD, EAX);
            }
            break;
    }
}

// Loads and stores that write their base back may name r15 as the base (a
// form without a defined result on the processor): their handler then moves
// r15 like any other write of it, and the block must end there. Writeback
// happens for block transfers with W set and for single and halfword
// transfers that are post-indexed or have W set.
bool writes_back_to_r15(uint32_t opcode) {
    if (rn_of(opcode) != 15) return false;
    bool post_indexed = !(opcode & (1u << 24)), w = opcode & (1u << 21);
    switch ((opcode >> 25) & 7) {
        case 0:  // LDRH, STRH, LDRSB, LDRSH: bits 7 and 4 set, bits 6-5 not 0
            return (opcode & 0x90) == 0x90 && (opcode & 0x60) && (post_indexed || w);
        case 2:
        case 3: return post_indexed || w;  // LDR, STR, LDRB, STRB
        case 4: return w;                  // LDM, STM
        default: return false;
    }
}

// Instructions whose handler stores into memory: STR, STRB, STRH, STM and
// SWP, SWPB (a store to DMA3's control register copies too).
bool stores_to_memory(uint32_t opcode) {
    bool store = !(opcode & (1u << 20));
    switch ((opcode >> 25) & 7) {
        case 0:
            // SWP, SWPB: bits 27-24 = 0001, 7-4 = 1001, whatever bits
            // 23-20 hold (arm_table decodes them so)
            if ((opcode & 0x0F0000F0) == 0x01000090) return true;
            return (opcode & 0x90) == 0x90 && (opcode & 0x60) && store;  // STRH
        case 2:
        case 3:
        case 4: return store;  // STR, STRB; STM
        default: return false;
    }
}

// After a store: when it wrote over translated code, possibly a later
// instruction of this very block, the block ends here with the processor
// exact (the handler's fetch has latched the word as it now reads), so that
// the next instruction runs as newly written, as on the interpreter.
void emit_exit_if_code_written(uint32_t cycles) {
    emit_mov_r_mem(BYTE, EAX, &code_stale);
    emit_and_r_r(BYTE, EAX, EAX);
    uint32_t go_on = emit_jcc_rel8(JE);
    emit_mov_r_imm(DWORD, EAX, cycles);
    emit_ret();
    patch_rel8(go_on, uint8_t(code_pos - go_on));
}

}  // namespace

// Runs ahead of every conditional instruction: a failed condition does the
// fetch the skipped body would have done.
uint32_t cond_test() {
    if (condition_passed(cpu_opcode >> 28)) return 1;
    arm_fetch();
    return 0;
}

// Operand 2 of the running native MOV/ADD/SUB with a register-specified
// shift: the low byte of Rs shifts Rm as the interpreter shifts it.
uint32_t operand2_register_shift() {
    uint32_t opcode = cpu_opcode;
    uint32_t amount = cpu_regs[(opcode >> 8) & 15] & 0xFF;
    return shift_register((opcode >> 5) & 3, cpu_regs[opcode & 15], amount, flag_c).value;
}

// --- Call translators: the instruction runs in its arm_table handler ------
int tr_call() { return emit_handler_call(); }
int tr_call_end() { return emit_handler_call() | 1; }
int tr_call_end_rd15() { return emit_handler_call() | (rd_of(xlat_opcode) == 15); }
int tr_call_end_list15() { return emit_handler_call() | ((xlat_opcode >> 15) & 1); }
// Multiplies write bits 19-16 (Rd, RdHi) and long ones bits 15-12 (RdLo).
int tr_call_end_mul15() {
    return emit_handler_call() | (rn_of(xlat_opcode) == 15 || rd_of(xlat_opcode) == 15);
}

// --- Native translators (S clear) -----------------------------------------
// MOV<c> <Rd>, #<imm>
int tr_mov_imm() {
    uint32_t value = rotated_immediate(xlat_opcode & 0xFF, (xlat_opcode >> 8) & 15, 0).value;
    emit_mov_r_imm(DWORD, EAX, value);
    emit_mov_mem_r(DWORD, EAX, reg_address(rd_of(xlat_opcode)));
    return emit_native_fetch(rd_of(xlat_opcode));
}

// MOV<c> <Rd>, <Rm>{, <shift>}
int tr_mov_reg() {
    emit_operand2(xlat_opcode);
    emit_mov_mem_r(DWORD, EAX, reg_address(rd_of(xlat_opcode)));
    return emit_native_fetch(rd_of(xlat_opcode));
}

// ADD<c> <Rd>, <Rn>, <Rm>{, <shift>}
int tr_add_reg() {
    emit_operand2(xlat_opcode);
    emit_mov_r_mem(DWORD, EDX, reg_address(rn_of(xlat_opcode)));
    emit_add_r_r(DWORD, EDX, EAX);
    emit_mov_mem_r(DWORD, EDX, reg_address(rd_of(xlat_opcode)));
    return emit_native_fetch(rd_of(xlat_opcode));
}

// SUB<c> <Rd>, <Rn>, <Rm>{, <shift>}
int tr_sub_reg() {
    emit_operand2(xlat_opcode);
    emit_mov_r_mem(DWORD, EDX, reg_address(rn_of(xlat_opcode)));
    emit_sub_r_r(DWORD, EDX, EAX);
    emit_mov_mem_r(DWORD, EDX, reg_address(rd_of(xlat_opcode)));
    return emit_native_fetch(rd_of(xlat_opcode));
}

namespace {

// One rule set, tried from the top, per group g = opcode bits 27-24; a =
// opcode bits 23-20 (bit 0 is S or L), low = opcode bits 7-4. Every
// instruction that can write r15, switch the instruction set or change the
// mode ends its block (for r15 written through Rd: only when Rd is r15).
Translator route(uint32_t index) {
    uint32_t g = index >> 8, a = (index >> 4) & 15, low = index & 15;
    bool load = a & 1;
    bool halfword = low == 11 || low == 13 || low == 15;  // LDRH/STRH, LDRSB, LDRSH
    switch (g) {
        case 0x0:
            if (low == 9) return tr_call_end_mul15;  // MUL, MLA, UMULL...SMLAL
            if (halfword) return load ? tr_call_end_rd15 : tr_call;
            if (a == 4) return tr_sub_reg;  // SUB, register operand
            if (a == 8) return tr_add_reg;  // ADD, register operand
            return tr_call_end_rd15;        // AND...RSC, SUBS, ADDS
        case 0x1:
            if (low == 9) return tr_call_end_rd15;  // SWP, SWPB
            if (halfword) return load ? tr_call_end_rd15 : tr_call;
            if (a == 2) return tr_call_end;          // BX; MSR CPSR (low 0)
            if (a == 6 && low == 0) return tr_call;  // MSR SPSR, register
            if (a == 10) return tr_mov_reg;          // MOV, register operand
            return tr_call_end_rd15;                 // MRS, TST...CMN, ORR, MOVS, BIC, MVN
        case 0x2: return tr_call_end_rd15;           // AND...RSC, immediate
        case 0x3:
            if (a == 10) return tr_mov_imm;  // MOV, immediate
            if (a == 2) return tr_call_end;  // MSR CPSR, immediate
            if (a == 6) return tr_call;      // MSR SPSR, immediate
            return tr_call_end_rd15;         // TST...CMN, ORR, MOVS, BIC, MVN
        case 0x4:
        case 0x5:
        case 0x6:
        case 0x7: return load ? tr_call_end_rd15 : tr_call;  // LDR, LDRB; STR, STRB
        case 0x8:
        case 0x9: return load ? tr_call_end_list15 : tr_call;  // LDM; STM
        case 0xA:
        case 0xB: return tr_call_end;  // B, BL
        case 0xF: return tr_call_end;  // SWI
        default: return tr_call;       // coprocessor space
    }
}

}  // namespace

void build_translator_table() {
    for (uint32_t index = 0; index < 4096; index++) translator_table[index] = route(index);
}

int translate_insn() {
    uint32_t start = code_pos;
    bool conditional = (xlat_opcode >> 28) != 0xE;  // condition 15 too: its test always fails
    uint32_t skip = 0;
    if (conditional) {
        emit_call(routine_address(cond_test));
        emit_and_r_r(BYTE, EAX, EAX);
        skip = emit_jcc_rel8(JE);
    }
    int end = translator_table[arm_index(xlat_opcode)]() | writes_back_to_r15(xlat_opcode);
    if (!end && stores_to_memory(xlat_opcode)) emit_exit_if_code_written(block_cycles + ARM_CYCLES);
    if (conditional) patch_rel8(skip, uint8_t(code_pos - skip));
    if (code_pos - start > INSN_MAX_BYTES) {
        std::fprintf(stderr, "quorrant: translation of 0x%08x too long\n", xlat_opcode);
        std::abort();
    }
    // The word the processor itself would fetch next.
    xlat_opcode = fetch_word(xlat_pc - 4);
    xlat_pc += 4;
    block_cycles += ARM_CYCLES;
    return end;
}

uint8_t* translate_block(uint32_t pc) {
    if (code_pos + BLOCK_MAX_BYTES > code_buffer_size || cache_full()) dynarec_flush();
    code_buffer_writable();
    uint8_t* entry = code_buffer + code_pos;
    cache_insert(pc, entry);
    xlat_pc = pc;
    xlat_opcode = cpu_opcode;
    block_cycles = 0;
    uint32_t region = (pc - 8) >> 24;
    for (uint32_t count = 1;; count++) {
        mark_code_page(code_page(xlat_pc - 8));
        int end = translate_insn();
        if (end || count == BLOCK_MAX_INSNS) break;
        // A block stays in one region: the next might not be watched.
        if (((xlat_pc - 8) >> 24) != region) break;
    }
    emit_mov_r_imm(DWORD, EAX, block_cycles);
    emit_ret();
    code_buffer_executable();
    blocks_translated++;
    return entry;
}

#endif
