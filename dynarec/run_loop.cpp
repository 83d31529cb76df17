// The Dynarec method's run loop. The frame loop hands it what is left of a
// line's budget; it enters translated code with those cycles in COUNTER,
// and translated code runs block to block (linked, or through the indirect
// table, in ARM and Thumb code alike) until the counter cannot cover the
// next block or translated code was written over. Then C takes over: the
// interpreter runs the steps that no whole block fits, exactly as it would
// have run them itself.
//
// Blocks are found by a key: r15 when the block is entered, with bit 0 set
// for Thumb code (ARM keys are word-aligned, Thumb keys odd), so that the
// same address holds a block of each set.
#include <bitset>
#include <initializer_list>
#include <vector>

#include "cpu/arm.h"
#include "cpu/cpu.h"
#include "cpu/thumb.h"
#include "dynarec/dynarec.h"

#if defined(__x86_64__) || defined(__i386__)

#include "dynarec/backend.h"
#include "dynarec/block_cache.h"
#include "dynarec/code_buffer.h"
#include "dynarec/code_pages.h"
#include "dynarec/emitter.h"
#include "memory/memory.h"

using namespace x86;

uintptr_t leave_routine, dispatch_routine, link_routine, jumped_routine, next_routine;
uint64_t dynarec_flush_count = 0;
uint64_t blocks_translated = 0;
TranslatedClock translated_clock;

namespace {

constexpr uint32_t NO_KEY = 2;  // neither word-aligned nor odd

// r15 where no block starts gives NO_KEY: an ARM r15 keeps the low bits a
// jump wrote (the fetch ignores them), and so may a Thumb r15 that an
// exception return wrote. Their instructions run on the interpreter.
uint32_t current_key() {
    uint32_t pc = cpu_regs[15];
    if (in_thumb_state()) return (pc & 1) ? NO_KEY : pc | 1;
    return (pc & 3) ? NO_KEY : pc;
}
bool thumb_key(uint32_t key) { return key & 1; }

// The extra cycles per step that translated_clock's costs hold.
uint32_t clock_extra = ~0u;

void set_clock(uint32_t extra) {
    if (extra == clock_extra) return;
    clock_extra = extra;
    for (uint32_t n = 0; n <= BLOCK_MAX_INSNS; n++) {
        translated_clock.costs[0][n] = int32_t(n * (ARM_CYCLES + extra));
        translated_clock.costs[1][n] = int32_t(n * (THUMB_CYCLES + extra));
    }
}

// The entry routine: saves what the ABI wants kept, sets STATE and COUNTER
// and jumps into the block; the leave routine undoes it and returns the
// counter. Inside, the stack is 16-byte aligned for the calls blocks make.
using Enter = int32_t (*)(int32_t cycles, const uint8_t* block);
Enter enter_translated;

// Where the fixed routines end and blocks begin: emptying the cache keeps
// the routines.
uint32_t blocks_start = 0;

// The indirect table: a direct-mapped cache from a block's key to its
// entry, probed inline by the dispatch routine. Entries hold the executable
// address in 32 bits: the buffer lies in static storage below 2 GiB.
struct IndirectEntry {
    uint32_t key;
    uint32_t code;
};
constexpr uint32_t INDIRECT_ENTRIES = 2048;
IndirectEntry indirect_table[INDIRECT_ENTRIES];

// Halfwords apart: Thumb blocks may start at neighbouring halfwords.
uint32_t indirect_index(uint32_t key) { return (key >> 1) & (INDIRECT_ENTRIES - 1); }

void clear_indirect_table() {
    for (IndirectEntry& entry : indirect_table) entry = {NO_KEY, 0};
}

uint8_t* translate_block(uint32_t key);

// The fast pages that lost their write entry because they hold translated
// code (by their first address), given back when the cache is emptied.
std::vector<uint32_t> pages_without_fast_writes;
std::bitset<FAST_PAGE_COUNT> fast_writes_forbidden;

void forbid_fast_writes_at(uint32_t address) {
    uint32_t page = fast_page_index(address);
    if (fast_writes_forbidden[page]) return;
    fast_writes_forbidden[page] = true;
    pages_without_fast_writes.push_back(page << FAST_PAGE_SHIFT);
    forbid_fast_writes(page << FAST_PAGE_SHIFT);
}

void allow_fast_writes_again() {
    for (uint32_t address : pages_without_fast_writes) allow_fast_writes(address);
    pages_without_fast_writes.clear();
    fast_writes_forbidden.reset();
}

// Every address a block's translation was read from: its instructions, and
// the second halfword of a Thumb BL pair.
template <typename Visit>
void for_each_code_address(const DecodedBlock& block, Visit visit) {
    for (uint32_t i = 0; i < block.count; i++) {
        const DecodedInsn& insn = block.insns[i];
        visit(insn.address);
        if (block.thumb && insn.kind == InsnKind::Branch && insn.link) visit(insn.address + 2);
    }
}

// The address of the first instruction of the block a key names.
uint32_t block_address(uint32_t key) { return thumb_key(key) ? key - 1 - 4 : key - 8; }

// The block to run for a key, or null when C must take over: code was
// written over, r15 is no place a block starts, or the code lies where
// writes are not watched. Translated code only finds blocks; C translates,
// between runs, so that no translation (nor the emptying of a full buffer)
// happens under a running block.
uint8_t* find_block(uint32_t key, bool translate) {
    if (code_stale || key == NO_KEY) return nullptr;
    IndirectEntry& recent = indirect_table[indirect_index(key)];
    if (recent.key == key) return reinterpret_cast<uint8_t*>(uintptr_t(recent.code));
    uint8_t* code = cache_find(key);
    if (!code) {
        if (!translate || code_page(block_address(key)) == CODE_PAGE_UNWATCHED) return nullptr;
        code = translate_block(key);
    }
    indirect_table[indirect_index(key)] = {key, uint32_t(uintptr_t(code))};
    return code;
}

// Called by the dispatch routine on a miss of the indirect table.
uint8_t* lookup_from_translated(uint32_t key) { return find_block(key, false); }

// Called by an unlinked exit, which stays in its block's instruction set:
// when the successor exists, the exit's jump is pointed at it for good.
uint8_t* link_from_translated(uint32_t site) {
    uint8_t* code = find_block(current_key(), false);
    if (code) {
        code_buffer_writable();
        patch_to(Fixup{site}, uintptr_t(code));
        code_buffer_executable();
    }
    return code;
}

// A call of a C routine with one 32-bit argument in eax, from a fixed
// routine; then on to the block it returns, or back to C for null.
void call_with_eax(uintptr_t routine) {
#if defined(__x86_64__)
    mov(edi, eax);
#else
    mov(mem(ptr(esp)), eax);
#endif
    call(routine);
    test(eax, eax);  // a block's address is below 2 GiB, null is 0
    jcc(CC_E, leave_routine);
    jmp(ptr(eax));
}

void emit_fixed_routines() {
    code_buffer_writable();
    code_pos = 0;
    enter_translated = reinterpret_cast<Enter>(code_buffer + code_pos);
#if defined(__x86_64__)
    for (Reg32 r : {ebp, ebx, r12d, r13d, r14d, r15d}) push(ptr(r));
    alu_ptr(SUB, ptr(esp), 8);
    mov(COUNTER, edi);
    mov_ptr(STATE, uintptr_t(&cpu));
    jmp(ptr(esi));
    leave_routine = uintptr_t(code_buffer) + code_pos;
    mov(eax, COUNTER);
    alu_ptr(ADD, ptr(esp), 8);
    for (Reg32 r : {r15d, r14d, r13d, r12d, ebx, ebp}) pop(ptr(r));
    ret();
#else
    for (Reg32 r : {ebp, ebx, esi, edi}) push(ptr(r));
    mov(COUNTER, mem(ptr(esp), 20));
    mov(eax, mem(ptr(esp), 24));
    alu_ptr(SUB, ptr(esp), 12);
    mov_ptr(STATE, uintptr_t(&cpu));
    jmp(ptr(eax));
    leave_routine = uintptr_t(code_buffer) + code_pos;
    mov(eax, COUNTER);
    alu_ptr(ADD, ptr(esp), 12);
    for (Reg32 r : {edi, esi, ebx, ebp}) pop(ptr(r));
    ret();
#endif

    // dispatch: the key of r15 in the set the T bit names (as current_key
    // makes it; NO_KEY back to C) through the indirect table, else C.
    dispatch_routine = uintptr_t(code_buffer) + code_pos;
    mov(eax, state_field(&cpu_regs[15]));
    test8(state_field(&cpu_cpsr), uint8_t(CPSR_T));
    Fixup thumb = jcc_forward(CC_NE);
    test(eax, 3u);
    jcc(CC_NE, leave_routine);
    uintptr_t probe = uintptr_t(code_buffer) + code_pos;
    mov(ecx, eax);
    shift(SHR, ecx, 1);
    alu(AND, ecx, INDIRECT_ENTRIES - 1);
    mov(edx, uint32_t(uintptr_t(indirect_table)));
    alu(CMP, eax, mem(ptr(edx), ecx, 8));
    Fixup miss = jcc_forward(CC_NE);
    mov(ecx, mem(ptr(edx), ecx, 8, 4));
    jmp(ptr(ecx));
    patch_here(miss);
    call_with_eax(uintptr_t(&lookup_from_translated));
    patch_here(thumb);
    test(eax, 1u);
    jcc(CC_NE, leave_routine);
    alu(OR, eax, 1u);
    jmp(probe);

    // After a handler: r15 moves on by `arm` or `thumb` bytes, as cpu_refill
    // or arm_fetch and thumb_fetch move it (the latch is C's business).
    auto after_handler = [](uint32_t arm, uint32_t thumb) {
        uintptr_t routine = uintptr_t(code_buffer) + code_pos;
        mov(eax, arm);
        mov(ecx, thumb);
        test8(state_field(&cpu_cpsr), uint8_t(CPSR_T));
        cmov(CC_NE, eax, ecx);
        alu(ADD, state_field(&cpu_regs[15]), eax);
        alu8(CMP, absolute(&code_stale), 0);
        jcc(CC_NE, leave_routine);
        jmp(dispatch_routine);
        return routine;
    };
    jumped_routine = after_handler(8, 4);
    next_routine = after_handler(4, 2);

    // link: eax = the position of the exit's rel32.
    link_routine = uintptr_t(code_buffer) + code_pos;
    call_with_eax(uintptr_t(&link_from_translated));

    blocks_start = (code_pos + 63) & ~63u;
    code_buffer_executable();
}

uint8_t* translate_block(uint32_t key) {
    DecodedBlock block;
    if (thumb_key(key))
        decode_thumb_block(block_address(key), block);
    else
        decode_arm_block(block_address(key), block);
    compute_flag_liveness(block);
    if (code_pos + block_code_bound(block) > code_buffer_size || cache_full()) dynarec_flush();
    for_each_code_address(block, forbid_fast_writes_at);
    code_buffer_writable();
    uint8_t* entry = emit_block(block);
    code_buffer_executable();
    for_each_code_address(block, [](uint32_t address) { mark_code_page(code_page(address)); });
    cache_insert(key, entry);
    blocks_translated++;
    return entry;
}

uint32_t header_of(const uint8_t* entry) {
    uint32_t header;
    __builtin_memcpy(&header, entry - 4, 4);
    return header;
}

struct Ran {
    uint32_t cycles, steps;
};

// Runs translated code with `cycles` in the counter and leaves the
// processor exact (the latch too). The steps follow from the cycles: every
// ARM step costs the same, and Thumb blocks counted theirs.
Ran run_translated(uint32_t cycles, const uint8_t* entry) {
    translated_clock.thumb_steps = 0;
    translated_clock.surplus_cycles = 0;
    int32_t left = enter_translated(int32_t(cycles), entry);
    if (in_thumb_state())
        cpu_opcode = fetch_halfword(cpu_regs[15] - 4);
    else
        cpu_opcode = fetch_word(cpu_regs[15] - 8);
    uint32_t used = uint32_t(int32_t(cycles) - left);
    uint32_t thumb_steps = translated_clock.thumb_steps;
    uint32_t thumb_cycles =
        thumb_steps * (THUMB_CYCLES + clock_extra) + translated_clock.surplus_cycles;
    uint32_t arm_steps = (used - thumb_cycles) / (ARM_CYCLES + clock_extra);
    return {used, arm_steps + thumb_steps};
}

// One step on the interpreter, in the current instruction set.
Ran interpret_step(uint32_t extra) {
    if (in_thumb_state()) return {thumb_execute() + extra, 1};
    arm_execute();
    return {ARM_CYCLES + extra, 1};
}

}  // namespace

bool dynarec_available() { return true; }

uint32_t dynarec_step() {
    if (code_stale) dynarec_flush();
    uint8_t* code = find_block(current_key(), true);
    set_clock(0);
    Ran ran = code ? run_translated(header_of(code) & 0xFFFF, code) : interpret_step(0);
    return ran.cycles | ran.steps << 16;
}

uint32_t dynarec_run(uint32_t budget, uint32_t extra, uint64_t& steps) {
    set_clock(extra);
    uint32_t sum = 0;
    while (sum < budget) {
        if (code_stale) dynarec_flush();
        uint8_t* code = find_block(current_key(), true);
        Ran ran = code ? run_translated(budget - sum, code) : interpret_step(extra);
        sum += ran.cycles;
        steps += ran.steps;
        if (code && ran.steps == 0) break;  // no whole block fits: the rest below
    }
    // The line's last steps, fewer than a block holds, on the interpreter:
    // the same steps either way, and no look-up per step.
    for (; sum < budget; steps++) sum += interpret_step(extra).cycles;
    return sum;
}

void dynarec_flush() {
    cache_clear();
    clear_indirect_table();
    code_pos = blocks_start;
    clear_code_pages();
    allow_fast_writes_again();
    code_stale = false;
    dynarec_flush_count++;
}

void dynarec_start() {
    emit_fixed_routines();
    dynarec_flush();
}

void dynarec_stop() { dynarec_flush(); }

#else

// Not an x86 host: the method is not built, F6 does nothing.
bool dynarec_available() { return false; }
uint64_t dynarec_flush_count = 0;
uint64_t blocks_translated = 0;
uint32_t dynarec_step() { return (in_thumb_state() ? thumb_step() : arm_step()) | 1u << 16; }
uint32_t dynarec_run(uint32_t budget, uint32_t extra, uint64_t& steps) {
    uint32_t sum = 0;
    while (sum < budget) {
        sum += (in_thumb_state() ? thumb_step() : arm_step()) + extra;
        steps++;
    }
    return sum;
}
void code_buffer_init() {}
void code_buffer_release() {}
void dynarec_flush() {}
void dynarec_start() {}
void dynarec_stop() {}

#endif
