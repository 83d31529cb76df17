// translator_table, the block and instruction translators, cond_test and
// the operand-2 code of the native translators.
#if defined(__x86_64__) || defined(__i386__)
#include "dynarec/translator.h"

#include <cstdio>
#include <cstdlib>

#include "cpu/arm.h"
#include "cpu/arm_handlers.h"
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

// The instruction runs in its arm_table handler, and the fetch follows as
// the interpreter's step does it. Where the decoding description says the
// instruction may write r15 or change the state, the block ends here, and a
// handler that reports JUMPED leaves through its own exit, after the
// refill in whichever instruction set is now in force.
int emit_handler_call() {
    emit_call(routine_address(arm_table[arm_index(xlat_opcode)]));
    if (!arm_ends_block(xlat_opcode)) {
        emit_call(routine_address(arm_fetch));
        return 0;
    }
    emit_and_r_r(BYTE, EAX, EAX);
    uint16_t sequential = emit_jcc_rel8(JE);
    emit_call(routine_address(cpu_refill));
    emit_mov_r_imm(DWORD, EAX, block_cycles + ARM_CYCLES);
    emit_ret();
    patch_rel8(sequential, uint8_t(code_pos - sequential));
    emit_call(routine_address(arm_fetch));
    return 1;
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

// --- The call translator: the instruction runs in its arm_table handler --
int tr_call() { return emit_handler_call(); }

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

// The four native forms (S clear) by their handlers; everything else runs
// in its handler, and the decoding description says where blocks end.
Translator route(uint32_t index) {
    Handler handler = arm_table[index];
    if (handler == arm_mov_imm) return tr_mov_imm;
    if (handler == arm_mov_reg) return tr_mov_reg;
    if (handler == arm_add_reg) return tr_add_reg;
    if (handler == arm_sub_reg) return tr_sub_reg;
    return tr_call;
}

}  // namespace

// Derived from arm_table, which is built here too, so that the order of
// start-up does not matter (building it again gives the same table).
void build_translator_table() {
    build_arm_table();
    for (uint32_t index = 0; index < 4096; index++) translator_table[index] = route(index);
}

int translate_insn() {
    uint16_t start = code_pos;
    bool conditional = (xlat_opcode >> 28) != 0xE;  // condition 15 too: its test always fails
    uint16_t skip = 0;
    if (conditional) {
        emit_call(routine_address(cond_test));
        emit_and_r_r(BYTE, EAX, EAX);
        skip = emit_jcc_rel8(JE);
    }
    int end = translator_table[arm_index(xlat_opcode)]();
    if (conditional) patch_rel8(skip, uint8_t(code_pos - skip));
    if (uint16_t(code_pos - start) > INSN_MAX_BYTES) {
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
    if (code_pos + BLOCK_MAX_BYTES > CODE_BUFFER_SIZE || cache_pool_full()) dynarec_flush();
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
